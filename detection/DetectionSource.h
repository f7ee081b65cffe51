// Where a detection run takes what it inspects: the registered Browser Helper Objects, the
// startup items and the running processes with their modules. The program reads the live
// system; a test hands in lists of its own.
#pragma once
#include <memory>

#include "tessel/Logger.h"
#include "tessel/Node.h"

namespace velmora {

class DetectionSource {
public:
    virtual ~DetectionSource() = default;
    // No list when the listing failed.
    virtual std::unique_ptr<tessel::NodeList> BHOs() = 0;
    virtual std::unique_ptr<tessel::NodeList> StartupItems() = 0;
    virtual tessel::NodeList Processes() = 0;
    // False when a listing so far had to leave something out.
    virtual bool Complete() const = 0;
};

// The live system, through the Browser Helper Object, startup-entry and process managers.
std::unique_ptr<DetectionSource> MakeLiveDetectionSource(tessel::Logger& log);

}  // namespace velmora
