#include "inspection/FileStanding.h"

#include <windows.h>

#include "inspection/Globals.h"
#include "inspection/PathCall.h"
#include "inspection/SystemWhitelists.h"
#include "tessel/Api.h"
#include "tessel/ComObject.h"
#include "tessel/Error.h"
#include "tessel/FileAccessor.h"
#include "tessel/SystemUtility.h"

namespace velmora {

namespace {

const wchar_t* const kProgramFiles[] = {L"Velmora.exe", L"Tessel.dll", L"VLMRCustom.dll"};

bool StartsWith(const std::wstring& s, std::wstring_view prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

// The file's own spelling for comparing: FileActedOn without regard to letter case.
std::wstring Comparable(const std::wstring& given) { return tessel::SystemUtility::Lower(FileActedOn(given)); }

std::wstring WithBackslash(std::wstring folder) {
    if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
    return folder;
}

std::wstring ProgramFolder() {
    if (!ProgramDir.empty()) return WithBackslash(ProgramDir);
    std::wstring path;
    if (!tessel::PassOver([&] { path = tessel::com::ModulePath(nullptr); })) return {};
    return path.substr(0, path.find_last_of(L'\\') + 1);
}

// The length of the drive ("c:\") or the share ("\\server\share\") that a fully qualified path
// begins with; 0 for any other path, which would be taken relative to the current folder or drive.
std::size_t RootLength(const std::wstring& path) {
    const bool drive = path.size() >= 3 && ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z')) &&
                       path[1] == L':' && path[2] == L'\\';
    if (drive) return 3;
    if (!StartsWith(path, L"\\\\")) return 0;
    const std::size_t server = path.find(L'\\', 2);
    if (server == std::wstring::npos || server == 2) return 0;
    const std::size_t share = path.find(L'\\', server + 1);
    if (share == std::wstring::npos) return path.size() > server + 1 ? path.size() : 0;
    return share > server + 1 ? share + 1 : 0;
}

// The name as Windows reads it: the stream taken off the last name before that name's trailing
// dots and blanks are dropped ("x.dll.:s" and "x.dll .:s" are streams of x.dll), so the stream
// goes first and the full-path function then drops what Windows drops. Should ".." bring up a
// name that holds a colon itself ("c:\x:s\."), that is read the same way, until nothing changes.
// A name without a folder is left as given, and a path that is not fully qualified is never made
// full: it would be taken relative to the current folder or drive, and is refused later.
std::wstring Settled(std::wstring path) {
    for (int pass = 0; pass < 8; ++pass) {
        const std::wstring before = path;
        const std::size_t slash = path.find_last_of(L'\\');
        const std::size_t colon = slash == std::wstring::npos ? std::wstring::npos : path.find(L':', slash + 1);
        if (colon != std::wstring::npos) path.resize(colon);
        if (RootLength(path) != 0) {
            if (auto full = CallForPath<wchar_t>([&](wchar_t* buf, DWORD size) {
                    return ::GetFullPathNameW(path.c_str(), size, buf, nullptr);
                }))
                path = *full;
        }
        if (path == before) break;
    }
    return path;
}

}  // namespace

bool IsFullyQualifiedFile(const std::wstring& path) {
    const std::size_t root = RootLength(path);
    return root != 0 && path.size() > root && path.back() != L'\\';
}

std::wstring WithoutPathPrefix(const std::wstring& given) {
    std::wstring path = given;
    if (StartsWith(path, L"\\??\\") || StartsWith(path, L"\\\\?\\")) {
        path.erase(0, 4);
        if (StartsWith(path, L"UNC\\")) path = L"\\\\" + path.substr(4);
    }
    return path;
}

std::wstring FileActedOn(const std::wstring& given) {
    std::wstring path = given;
    for (auto& c : path)
        if (c == L'/') c = L'\\';
    path = WithoutPathPrefix(path);
    // A device name, in a folder too ("c:\x\com1.dll"), is no file: a full-path function would
    // turn it into another spelling of the device, and the checks for devices know it as given.
    if (tessel::FileAccessor::IsDevicePath(path)) return path;
    path = Settled(path);
    if (tessel::FileAccessor::IsDevicePath(path)) return path;
    // Windows before 98 and 2000 has no long-name function; there the name stays as given.
    if (!IsFullyQualifiedFile(path) || !RunningOnNT || RunningOnNT4) return path;
    // Only a short name is replaced: the letter case the path was given in stays, so that the
    // record names the file as the caller does. A long name that Windows would itself read as
    // another file (one made with a trailing dot through "\\?\") is not taken: the short name
    // reaches the file.
    if (auto longForm = CallForPath<wchar_t>([&](wchar_t* buf, DWORD size) {
            return tessel::api::kernel32().GetLongPathNameW(path.c_str(), buf, size);
        });
        longForm && tessel::SystemUtility::Lower(*longForm) != tessel::SystemUtility::Lower(path) &&
        Settled(*longForm) == *longForm)
        path = *longForm;
    return path;
}

bool NamesNoFile(const std::wstring& actedOn) {
    if (tessel::FileAccessor::IsDevicePath(actedOn)) return true;
    if (RootLength(actedOn) == 0) return false;
    const DWORD attributes = ::GetFileAttributesW(tessel::FileAccessor::ExtendedPath(actedOn).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsOnSystemWhitelist(const std::wstring& path) {
    const SystemFolders folders = RunningSystemFolders(&FileActedOn);
    if (RunningOnNT)
        return IsOnWhitelist(Whitelist::ProcessNT, path, folders) || IsOnWhitelist(Whitelist::ModuleNT, path, folders);
    return IsOnWhitelist(Whitelist::Process9x, path, folders) || IsOnWhitelist(Whitelist::Module9x, path, folders);
}

FileStanding StandingOf(const std::wstring& path) {
    if (path.empty()) return FileStanding::Ordinary;
    const std::wstring actedOn = FileActedOn(path);
    const std::wstring file = tessel::SystemUtility::Lower(actedOn);
    const std::wstring programFolder = ProgramFolder();
    if (!programFolder.empty()) {
        for (const wchar_t* name : kProgramFiles)
            if (file == Comparable(programFolder + name)) return FileStanding::ProgramFile;
    }
    if (IsOnSystemWhitelist(actedOn)) return FileStanding::SystemWhitelist;
    if (!WinDir.empty()) {
        std::wstring windows = WinDir;
        while (!windows.empty() && (windows.back() == L'\\' || windows.back() == L'/')) windows.pop_back();
        windows = WithBackslash(Comparable(windows));
        if (file.size() > windows.size() && file.compare(0, windows.size(), windows) == 0)
            return FileStanding::WindowsFolder;
    }
    return FileStanding::Ordinary;
}

}  // namespace velmora
