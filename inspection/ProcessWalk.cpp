#include "inspection/ProcessWalk.h"

#include <algorithm>
#include <cstring>

#include "tessel/Api.h"
#include "tessel/SystemUtility.h"
#include "tessel/Unique.h"

namespace velmora::process_walk {

using tessel::api::kernel32;
using tessel::api::psapi;

std::vector<DWORD> ProcessIds(bool* taken) {
    if (taken) *taken = false;
    // The list is read again with a buffer twice as large for as long as it comes back full:
    // a full buffer means there may be more ids. Beyond a million ids the answer is taken.
    constexpr DWORD kLargest = 1u << 22;
    DWORD size = 8;
    DWORD returned = 96;
    std::vector<DWORD> ids;
    while (size <= returned) {
        if (size >= kLargest) break;
        size *= 2;
        ids.assign(size / sizeof(DWORD), 0);
        returned = 0;
        if (!psapi().EnumProcesses(ids.data(), size, &returned)) return {};
    }
    ids.resize(std::min(returned, size) / sizeof(DWORD));
    if (taken) *taken = true;
    return ids;
}

bool ModuleHandles(HANDLE process, std::vector<HMODULE>& modules) {
    constexpr DWORD kTableBytes = kModuleTableEntries * sizeof(HMODULE);
    modules.assign(kModuleTableEntries, nullptr);
    // The first request only learns how many handles the process has.
    DWORD needed = 0;
    psapi().EnumProcessModules(process, modules.data(), kFirstRequestEntries * sizeof(HMODULE), &needed);
    const DWORD asked = std::min(needed, kTableBytes);
    DWORD now = 0;
    if (!psapi().EnumProcessModules(process, modules.data(), asked, &now)) {
        modules.clear();
        return false;
    }
    // Modules loaded between the two requests are counted in the answer but were not
    // written: only what the table holds is read.
    modules.resize(std::min(now, asked) / sizeof(HMODULE));
    return true;
}

std::wstring ModuleName(HANDLE process, HMODULE module) {
    std::wstring name;
    for (DWORD size = kNameChars;; size *= 2) {
        name.assign(size, L'\0');
        const DWORD got = psapi().GetModuleFileNameExW(process, module, name.data(), size);
        if (got == 0) return {};
        // A name that fills the buffer may have been cut: ask again with more room.
        if (got < size - 1 || size >= kLongestName) {
            name.resize(std::min(got, size));
            return name;
        }
    }
}

std::wstring AnsiField(const char* field, std::size_t capacity) {
    const std::size_t n = strnlen(field, capacity);
    return tessel::SystemUtility::FromAnsi(std::string_view(field, n));
}

bool ForEachProcess9x(const std::function<void(const PROCESSENTRY32&)>& visit) {
    tessel::UniqueFile snapshot(kernel32().CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return false;
    PROCESSENTRY32 entry;
    std::memset(&entry, 0, sizeof(entry));
    entry.dwSize = sizeof(entry);
    for (BOOL more = kernel32().Process32First(snapshot.get(), &entry); more;
         more = kernel32().Process32Next(snapshot.get(), &entry)) {
        visit(entry);
    }
    return true;
}

bool ForEachModule9x(DWORD processId, const std::function<bool(const MODULEENTRY32&)>& visit) {
    tessel::UniqueFile snapshot(kernel32().CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId));
    if (!snapshot) return false;
    MODULEENTRY32 entry;
    std::memset(&entry, 0, sizeof(entry));
    entry.dwSize = sizeof(entry);
    for (BOOL more = kernel32().Module32First(snapshot.get(), &entry); more;
         more = kernel32().Module32Next(snapshot.get(), &entry)) {
        if (visit(entry)) break;
    }
    return true;
}

}  // namespace velmora::process_walk
