// The gathering of one support request's report: the user's entries, the Windows and browser
// versions, the suspicious files, the zone map, the hosts file, the program's and the sibling
// product's logs, and the inventory of processes and files, as the ordered report items.
#pragma once
#include <functional>
#include <string>

#include "tessel/Logger.h"
#include "tessel/Node.h"

namespace velmora {

// What the gathering takes from its caller: the three entries exactly as typed, the program's
// full log, the rule that makes export text into registry-file bytes, the yield to the message
// loop between items, and the source under which a file that could not be read is logged.
struct SupportReportInputs {
    std::wstring name, email, answer;
    std::wstring logFile;
    std::function<std::string(const std::wstring& exportText)> registryImage;
    std::function<void()> yield;
    std::wstring unreadSource;
};

// The report items in the order the server reads them. A file that cannot be read goes out
// empty and its failure is logged once, at level 4, under unreadSource. Any other failing step
// raises, and nothing is to be sent.
tessel::NodeParams GatherSupportReport(const SupportReportInputs& in, tessel::Logger& log);

}  // namespace velmora
