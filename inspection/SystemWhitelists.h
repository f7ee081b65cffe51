// Windows' own processes and modules, which the inventory of the support request leaves out
// and which no disabling takes without the user's second word.
// Each test compares one full path, ignoring letter case and nothing else, with a fixed list
// of paths under the Windows folder, the system folder or the program files folder.
#pragma once
#include <functional>
#include <string>
#include <vector>

namespace velmora {

// On the running system: WinDir and SysDir as the start-up set them, and the program files
// folder as the environment gives it at the moment of the call.
bool IsSystemProcess9x(const std::wstring& path);
bool IsSystemProcessNT(const std::wstring& path);
bool IsSystemModule9x(const std::wstring& path);
bool IsSystemModuleNT(const std::wstring& path);

// The same tests over folders given by the caller; expand stands for the environment
// expansion of the entries that begin with "%ProgramFiles%". Nothing else is consulted.
// A reading, when given, is applied to the entries and the path alike before they are
// compared: the disabling compares the files its entries name ("\??\" + the system folder's
// winlogon.exe is the system folder's winlogon.exe), while the inventory compares the names a
// process list gives as they are.
struct SystemFolders {
    std::wstring winDir;  // ends in "\"
    std::wstring sysDir;  // ends in "\"
    std::function<std::wstring(const std::wstring&)> expand;
    std::wstring (*reading)(const std::wstring&) = nullptr;
};
enum class Whitelist { Process9x, ProcessNT, Module9x, ModuleNT };
bool IsOnWhitelist(Whitelist list, const std::wstring& path, const SystemFolders& folders);

// The running system's folders (as for the four tests above), with the reading given.
SystemFolders RunningSystemFolders(std::wstring (*reading)(const std::wstring&) = nullptr);

// The paths that the entries of one list name under the folders given, as written: the
// environment entries expanded, no reading applied.
std::vector<std::wstring> WhitelistEntries(Whitelist list, const SystemFolders& folders);

// How many entries each list holds (for the tests of the lists themselves).
std::size_t WhitelistSize(Whitelist list);

}  // namespace velmora
