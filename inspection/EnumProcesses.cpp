#include "inspection/EnumProcesses.h"

#include <vector>

#include "inspection/ProcessWalk.h"
#include "tessel/Api.h"
#include "tessel/Text.h"
#include "tessel/Unique.h"

namespace velmora {

namespace walk = process_walk;
using tessel::api::kernel32;

tessel::NodeList EnumProcessesNT(bool* listTaken) {
    tessel::NodeList list;
    std::vector<HMODULE> modules;
    for (const DWORD id : walk::ProcessIds(listTaken)) {
        tessel::UniqueHandle process(kernel32().OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id));
        if (!process) continue;  // gone, or not ours to read
        if (!walk::ModuleHandles(process.get(), modules)) continue;
        // An empty table names no module; a null handle asks for the executable itself.
        tessel::Node& node = list.Add();
        node.Id = walk::ModuleName(process.get(), modules.empty() ? nullptr : modules[0]);
        for (std::size_t k = 1; k < modules.size(); ++k) {
            std::wstring name = walk::ModuleName(process.get(), modules[k]);
            if (tessel::text::TrimBlanks(name).empty()) continue;
            node.Nodes.Add().Id = std::move(name);
        }
    }
    return list;
}

tessel::NodeList EnumProcesses9x(bool* listTaken) {
    tessel::NodeList list;
    if (listTaken) *listTaken = false;
    const bool taken = walk::ForEachProcess9x([&](const PROCESSENTRY32& entry) {
        tessel::Node& node = list.Add();
        node.Id = TrimNull(walk::AnsiField(entry.szExeFile, sizeof(entry.szExeFile)));
        walk::ForEachModule9x(entry.th32ProcessID, [&](const MODULEENTRY32& module) {
            node.Nodes.Add().Id = TrimNull(walk::AnsiField(module.szExePath, sizeof(module.szExePath)));
            return false;
        });
    });
    if (listTaken) *listTaken = taken;
    return list;
}

std::wstring TrimNull(const std::wstring& text) {
    const std::size_t nul = text.find(L'\0');
    return nul == std::wstring::npos ? text : text.substr(0, nul);
}

}  // namespace velmora
