// The Browser Helper Objects that Internet Explorer loads: listing and deleting registrations.
#pragma once
#include <memory>
#include <string>

#include "tessel/KeyedList.h"
#include "tessel/Logger.h"
#include "tessel/Node.h"
#include "tessel/RegistryAccessor.h"

namespace velmora {

class CFileChecker;

inline constexpr wchar_t kBHOKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects";

// A BHONode is a Node whose Id is the CLSID key name and whose params are "Name" and "DLL"
// (and "Manufacturer" in the main window's own list).
// What a registration is shown by: its server file (resolved as the detection resolves it) and
// its name (its own, else the server's product name, else the file, else lastName), without
// "&" marks. The marks go after every fallback: a name of marks alone is an empty name.
struct BHOFacts {
    std::wstring name;
    std::wstring dll;
};
BHOFacts ReadBHOFacts(tessel::RegistryAccessor& reg, CFileChecker& checker, tessel::Logger& log,
                      std::wstring_view source, const std::wstring& id, std::wstring_view lastName = {});

class CBHOManager {
public:
    CBHOManager();
    ~CBHOManager();

    void Init(tessel::Logger& Log);
    // One record per registration, in the registry's order; no list when the listing fails.
    // A registration whose record cannot be filled is logged and left out, so that a record
    // without "DLL" always means that no usable server is registered. A server entry of no use
    // (not text, text that expands past the limit) is noted and read as absent.
    std::unique_ptr<tessel::NodeList> EnumBHOs();
    // True when the registration key was deleted.
    bool DeleteBHO(const std::wstring& Id);
    // False when the last listing failed or left a registration out.
    bool Complete() const { return complete_; }

private:
    void FillBHOInfo(const tessel::KeyedList<std::wstring>& names, tessel::NodeList& list);

    tessel::Logger* log_ = nullptr;
    std::unique_ptr<tessel::RegistryAccessor> reg_;
    std::unique_ptr<CFileChecker> checker_;
    bool complete_ = true;
};

}  // namespace velmora
