#include "inspection/FileStanding.h"

#include <windows.h>

#include <optional>
#include <algorithm>
#include <string_view>
#include <vector>

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

bool IsDriveAt(const std::wstring& path, std::size_t at) {
    return path.size() >= at + 3 && ((path[at] >= L'A' && path[at] <= L'Z') || (path[at] >= L'a' && path[at] <= L'z')) &&
           path[at + 1] == L':' && path[at + 2] == L'\\';
}

// "\\?\" and "\??\": Windows reads what follows exactly as it is written.
bool IsVerbatim(const std::wstring& path) { return StartsWith(path, L"\\\\?\\") || StartsWith(path, L"\\??\\"); }

bool IsUncAt(const std::wstring& path, std::size_t at) {
    return path.size() >= at + 4 && _wcsnicmp(path.c_str() + at, L"UNC\\", 4) == 0;
}

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

// The length of "server\share\" in a path whose server name starts at `at`; 0 when there is none.
std::size_t ShareRootLength(const std::wstring& path, std::size_t at) {
    const std::size_t server = path.find(L'\\', at);
    if (server == std::wstring::npos || server == at) return 0;
    const std::size_t share = path.find(L'\\', server + 1);
    if (share == std::wstring::npos) return path.size() > server + 1 ? path.size() : 0;
    return share > server + 1 ? share + 1 : 0;
}

// The length of the drive ("c:\", "\\?\c:\") or the share ("\\server\share\",
// "\\?\UNC\server\share\") that a fully qualified path begins with; 0 for any other path, which
// would be taken relative to the current folder or drive, or names a device.
std::size_t RootLength(const std::wstring& path) {
    if (StartsWith(path, L"\\\\?\\")) {
        if (IsDriveAt(path, 4)) return 7;
        if (const std::size_t volume = tessel::FileAccessor::VolumeNameLength(std::wstring_view(path).substr(4)))
            return 4 + volume;
        return IsUncAt(path, 4) ? ShareRootLength(path, 8) : 0;
    }
    if (IsDriveAt(path, 0)) return 3;
    if (!StartsWith(path, L"\\\\") || StartsWith(path, L"\\\\.\\")) return 0;
    return ShareRootLength(path, 2);
}

// "\\?\c:\x" as the plain "c:\x", "\\?\UNC\server\share\x" as "\\server\share\x". A volume's own
// name has no plain spelling: nothing.
std::wstring PlainOf(const std::wstring& verbatim) {
    if (IsUncAt(verbatim, 4)) return L"\\\\" + verbatim.substr(8);
    return IsDriveAt(verbatim, 4) ? verbatim.substr(4) : std::wstring();
}

// A stream of the last name ("x.dll:s", "x.dll::$DATA") is part of that file.
std::wstring WithoutStream(std::wstring path) {
    const std::size_t slash = path.find_last_of(L'\\');
    const std::size_t colon = slash == std::wstring::npos ? std::wstring::npos : path.find(L':', slash + 1);
    if (colon != std::wstring::npos) path.resize(colon);
    return path;
}

// The root length of what a path reaches as a file: a plain path's own, and a device-namespace
// path's ("\\.\c:\x") that of the drive or the share behind its prefix.
std::size_t FileRootLength(const std::wstring& path) {
    return StartsWith(path, L"\\\\.\\") ? RootLength(L"\\\\?\\" + path.substr(4)) : RootLength(path);
}

// A plain or a device-namespace name as Windows reads it, in the one reading the system makes: the
// stream taken off the last name before that name's trailing dots and blanks are dropped
// ("x.dll.:s" and "x.dll .:s" are streams of x.dll), so the stream goes first and the full-path
// function then drops what Windows drops; a stream that ".." brings up ("c:\x:s\.") is cut as well.
// On a device-namespace path the full-path function takes no reserved name for a device and lets
// ".." climb out of the drive into the device namespace ("\\.\c:\..\x" is "\\.\x"). The system
// opens what that one reading gives exactly as it stands: where it would read differently once
// more (Wine drops one of two trailing dots of a folder's name), its verbatim spelling is the file.
// A name without a folder is left as given, and a path that is not fully qualified is never made
// full: it would be taken relative to the current folder or drive, and is refused later.
std::wstring Settled(std::wstring path) {
    if (path.find_last_of(L'\\') == std::wstring::npos) return path;
    const bool deviceNamespace = StartsWith(path, L"\\\\.\\");
    if (deviceNamespace && FileRootLength(path) == 0) return path;  // \\.\COM1, \\.\C:
    path = WithoutStream(path);
    if (FileRootLength(path) == 0) return path;
    if (auto full = CallForPath<wchar_t>([&](wchar_t* buf, DWORD size) {
            return ::GetFullPathNameW(path.c_str(), size, buf, nullptr);
        }))
        path = *full;
    return FileRootLength(path) == 0 || (deviceNamespace && !StartsWith(path, L"\\\\.\\")) ? path : WithoutStream(path);
}

// The plain spelling names this very file: Windows drops nothing from it, resolves nothing in it
// and takes no part of it for a device.
bool ReadsAsItself(const std::wstring& plain) {
    // "\\?\UNC\?\c:\x" names a server "?", not c:\x: a plain form that is itself prefixed is not one.
    if (IsVerbatim(plain) || StartsWith(plain, L"\\\\.\\")) return false;
    return Settled(plain) == plain && !tessel::FileAccessor::IsDevicePath(plain);
}

// The one spelling of a file that a verbatim path reaches: the plain one where Windows reads it
// as this very file, so that the checks and the records compare like with like; else the
// verbatim one, the only spelling that reaches it ("\\?\c:\x\tool.dll." beside c:\x\tool.dll).
std::wstring Spelled(const std::wstring& verbatim) {
    const std::wstring plain = PlainOf(verbatim);
    return !plain.empty() && ReadsAsItself(plain) ? plain : verbatim;
}

// Short names made long where the file exists (Windows before 98 and 2000 has no long-name
// function; there the name stays as given). Only a short name is replaced: the letter case the
// path was given in stays, so that the record names the file as the caller does. A long name that
// Windows would read as another file (one made with a trailing dot through "\\?\") is taken in
// its verbatim spelling, which reaches the file.
std::wstring WithLongNames(const std::wstring& path) {
    if (!IsFullyQualifiedFile(path) || !RunningOnNT || RunningOnNT4) return path;
    const auto longForm = CallForPath<wchar_t>([&](wchar_t* buf, DWORD size) {
        return tessel::api::kernel32().GetLongPathNameW(path.c_str(), buf, size);
    });
    if (!longForm || tessel::SystemUtility::Lower(*longForm) == tessel::SystemUtility::Lower(path)) return path;
    const std::wstring verbatim = tessel::FileAccessor::VerbatimPath(*longForm);
    return RootLength(verbatim) ? Spelled(verbatim) : path;
}

// The one spelling of the file an exact (verbatim) path names, short names made long.
std::wstring Canonical(const std::wstring& verbatim) { return WithLongNames(Spelled(verbatim)); }

using tessel::FileIdentity;

// The identity of the file a fully qualified path reaches.
std::optional<FileIdentity> IdentityOf(const std::wstring& path) {
    if (RootLength(path) == 0) return std::nullopt;
    return tessel::FileAccessor::Identity(path);
}

// A folder as a path that opens it: without its closing "\" unless it is a drive's root.
std::wstring FolderPath(std::wstring folder) {
    while (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
    return folder;
}

// What a file or folder that a disabling may not take on its own word is: its identity and its
// place, each where the system tells it.
struct Known {
    std::optional<FileIdentity> id;
    std::optional<tessel::FilePlace> place;
};

Known KnownOf(const std::wstring& path) {
    if (RootLength(path) == 0) return {};
    const tessel::UniqueFile file = tessel::FileAccessor::OpenToKnow(path);
    if (!file) return {};
    return {tessel::FileAccessor::IdentityOf(file.get()), tessel::FileAccessor::PlaceOf(file.get())};
}

// The files that a disabling may not take on its own word, and the Windows and system folders.
// Read when a file's standing is first asked (never at the start-up), at the start of each
// disabling sequence, and whenever the folders they are read from change.
struct KnownFiles {
    std::wstring readFrom;
    std::vector<Known> program, whitelisted, windowsFolders;
};

KnownFiles& KnownCache() {
    static KnownFiles known;
    return known;
}

const KnownFiles& KnownNow() {
    KnownFiles& known = KnownCache();
    const SystemFolders folders = RunningSystemFolders();
    const std::wstring programFolder = ProgramFolder();
    const std::wstring readFrom = folders.winDir + L"|" + folders.sysDir + L"|" + programFolder + L"|" +
                                  folders.expand(L"%ProgramFiles%") + (RunningOnNT ? L"|NT" : L"|9x");
    if (known.readFrom == readFrom) return known;
    known = KnownFiles{readFrom, {}, {}, {}};
    std::vector<std::wstring> listed;
    const Whitelist lists[] = {RunningOnNT ? Whitelist::ProcessNT : Whitelist::Process9x,
                               RunningOnNT ? Whitelist::ModuleNT : Whitelist::Module9x};
    for (const Whitelist list : lists)
        for (const std::wstring& entry : WhitelistEntries(list, folders)) listed.push_back(FileActedOn(entry));
    const std::wstring windowsFolders[] = {FolderPath(folders.winDir), FolderPath(folders.sysDir)};
    const auto keep = [](std::vector<Known>& into, const std::wstring& path) {
        Known k = KnownOf(path);
        if (k.id || k.place) into.push_back(std::move(k));
    };
    // The names are read before the redirection is turned off: nothing but what the files are is
    // asked for without it.
    const auto readFiles = [&] {
        for (const std::wstring& file : listed) keep(known.whitelisted, file);
        for (const std::wstring& folder : windowsFolders)
            if (!folder.empty()) keep(known.windowsFolders, folder);
    };
    readFiles();
    if (const tessel::RedirectionOff off; off) readFiles();
    if (!programFolder.empty())
        for (const wchar_t* name : kProgramFiles) keep(known.program, FileActedOn(programFolder + name));
    return known;
}

// The file is one of these, by its identity or by its place: a whitelisted file replaced since it
// was read has another identity, and is still the file the whitelist names.
bool Holds(const std::vector<Known>& known, const Known& file) {
    return std::any_of(known.begin(), known.end(), [&](const Known& k) {
        return (k.id && file.id && tessel::SameFile(*k.id, *file.id)) ||
               (k.place && file.place && tessel::SamePlace(*k.place, *file.place));
    });
}

// The file really lies in the Windows or the system folder, or below it, whatever folder link or
// drive letter reached it.
bool PlacedInWindowsFolder(const Known& file, const std::vector<Known>& windowsFolders) {
    return file.place && std::any_of(windowsFolders.begin(), windowsFolders.end(), [&](const Known& folder) {
               return folder.place && tessel::PlacedIn(*file.place, *folder.place);
           });
}

// One of the folders on the path, the drive's or the share's root too (a drive letter made for the
// system folder), reached through the path itself, is the Windows or the system folder. Each is
// opened verbatim: a folder named "aux" is a folder there, as it is on the way to the file.
bool InWindowsFolderByIdentity(const std::wstring& actedOn, const std::vector<Known>& windowsFolders) {
    const std::size_t root = RootLength(actedOn);
    if (windowsFolders.empty() || root == 0) return false;
    const auto isWindowsFolder = [&](std::size_t length) {
        const std::optional<FileIdentity> id = IdentityOf(tessel::FileAccessor::VerbatimPath(actedOn.substr(0, length)));
        return Holds(windowsFolders, Known{id, std::nullopt});
    };
    if (isWindowsFolder(root)) return true;
    for (std::size_t at = actedOn.find(L'\\', root); at != std::wstring::npos; at = actedOn.find(L'\\', at + 1))
        if (isWindowsFolder(at)) return true;
    return false;
}

bool OnWhitelistByName(const std::wstring& path) {
    const SystemFolders folders = RunningSystemFolders(&FileActedOn);
    if (RunningOnNT)
        return IsOnWhitelist(Whitelist::ProcessNT, path, folders) || IsOnWhitelist(Whitelist::ModuleNT, path, folders);
    return IsOnWhitelist(Whitelist::Process9x, path, folders) || IsOnWhitelist(Whitelist::Module9x, path, folders);
}

}  // namespace

bool IsFullyQualifiedFile(const std::wstring& path) {
    const std::size_t root = RootLength(path);
    return root != 0 && path.size() > root && path.back() != L'\\';
}

std::wstring FileActedOn(const std::wstring& given) {
    if (IsVerbatim(given)) {
        const std::wstring verbatim = L"\\\\?\\" + given.substr(4);
        // Without a drive, a share, a volume or the system's namespace it names a device ("\\?\COM1").
        if (RootLength(verbatim) == 0) return given;
        return Canonical(WithoutStream(verbatim));
    }
    std::wstring path = given;
    for (auto& c : path)
        if (c == L'/') c = L'\\';
    // "//?/" is no verbatim prefix: Windows reads it as it reads "\\.\". A native prefix written
    // with slashes ("/??/c:/x") is a folder "??" of the current drive: it is not resolved.
    if (StartsWith(path, L"\\\\?\\")) path[2] = L'.';
    if (StartsWith(path, L"\\??\\")) return given;
    if (StartsWith(path, L"\\\\.\\")) {
        // The device namespace reaches a drive or a share as a plain path does, except that a
        // reserved name is a file there ("\\.\c:\x\com1.dll"), which then only its verbatim
        // spelling reaches.
        const std::wstring settled = Settled(path);
        if (!StartsWith(settled, L"\\\\.\\") || FileRootLength(settled) == 0) return settled;  // a device
        return Canonical(L"\\\\?\\" + settled.substr(4));
    }
    // A device name, in a folder too ("c:\x\com1.dll"), is no file: a full-path function would
    // turn it into another spelling of the device, and the checks for devices know it as given.
    // The system asks that of the name as given alone: what its reading brings up ("c:\x\com1.dll\.")
    // is opened as a file, which only the verbatim spelling reaches.
    if (tessel::FileAccessor::IsDevicePath(path)) return path;
    path = Settled(path);
    if (!IsFullyQualifiedFile(path)) return path;
    return Canonical(tessel::FileAccessor::VerbatimPath(path));
}

bool NamesNoFile(const std::wstring& actedOn) {
    // Only what is shown to be no file: a name that is a device by its text alone, or what opens
    // as a folder or a device. What cannot be opened is a file all the same, one that the
    // disabling then counts as not done.
    if (tessel::FileAccessor::IsDevicePath(actedOn)) return true;
    if (RootLength(actedOn) == 0) return false;
    if (const tessel::UniqueFile file = tessel::FileAccessor::OpenToKnow(actedOn)) {
        const std::optional<BY_HANDLE_FILE_INFORMATION> onDisk = tessel::FileAccessor::OnDisk(file.get());
        return !onDisk || (onDisk->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    }
    const DWORD attributes = ::GetFileAttributesW(tessel::FileAccessor::ExtendedPath(actedOn).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring InProgramView(const std::wstring& systemPath, bool wow64, const std::wstring& winDir,
                           const std::wstring& sysDir) {
    const std::wstring lower = tessel::SystemUtility::Lower(systemPath);
    const std::wstring windows = tessel::SystemUtility::Lower(WithBackslash(winDir));
    const std::wstring system = tessel::SystemUtility::Lower(WithBackslash(sysDir));
    if (!wow64 || windows.size() < 3 || system.size() <= windows.size() || system.compare(0, windows.size(), windows) != 0)
        return systemPath;
    const std::size_t prefix = StartsWith(lower, L"\\\\?\\") ? 4 : 0;
    if (lower.compare(prefix, system.size(), system) != 0) return systemPath;
    return systemPath.substr(0, prefix + windows.size()) + L"Sysnative\\" + systemPath.substr(prefix + system.size());
}

std::wstring OwnPathOf(HANDLE file) {
    const std::optional<std::wstring> real = tessel::FileAccessor::RealPathOf(file);
    if (!real) return {};
    BOOL wow64 = FALSE;
    if (!tessel::api::kernel32().IsWow64Process(tessel::api::kernel32().GetCurrentProcess(), &wow64)) wow64 = FALSE;
    const std::wstring own = FileActedOn(InProgramView(*real, wow64 != FALSE, WinDir, SysDir));
    // Given back by that path, the file must be the one disabled.
    const std::optional<FileIdentity> held = tessel::FileAccessor::IdentityOf(file);
    const std::optional<FileIdentity> reached = IdentityOf(own);
    return held && reached && tessel::SameFile(*held, *reached) ? own : std::wstring();
}

FileStanding StandingOf(const std::wstring& path) {
    if (path.empty()) return FileStanding::Ordinary;
    const std::wstring actedOn = FileActedOn(path);
    const tessel::UniqueFile file = RootLength(actedOn) ? tessel::FileAccessor::OpenToKnow(actedOn) : tessel::UniqueFile();
    return StandingOfOpen(file.get(), actedOn);
}

FileStanding StandingOfOpen(HANDLE openFile, const std::wstring& actedOn) {
    const std::wstring file = tessel::SystemUtility::Lower(actedOn);
    // The names are compared as before, and what the file is too: a name compares where a volume
    // numbers no files, the identity and the place where a link, a drive letter or a share
    // spells it otherwise.
    const KnownFiles& known = KnownNow();
    const Known opened = openFile && openFile != INVALID_HANDLE_VALUE
                             ? Known{tessel::FileAccessor::IdentityOf(openFile), tessel::FileAccessor::PlaceOf(openFile)}
                             : Known{};
    const std::wstring programFolder = ProgramFolder();
    if (Holds(known.program, opened)) return FileStanding::ProgramFile;
    if (!programFolder.empty()) {
        for (const wchar_t* name : kProgramFiles)
            if (file == Comparable(programFolder + name)) return FileStanding::ProgramFile;
    }
    if (OnWhitelistByName(actedOn) || Holds(known.whitelisted, opened)) return FileStanding::SystemWhitelist;
    if (!WinDir.empty()) {
        std::wstring windows = WinDir;
        while (!windows.empty() && (windows.back() == L'\\' || windows.back() == L'/')) windows.pop_back();
        windows = WithBackslash(Comparable(windows));
        if (file.size() > windows.size() && file.compare(0, windows.size(), windows) == 0)
            return FileStanding::WindowsFolder;
    }
    if (PlacedInWindowsFolder(opened, known.windowsFolders) || InWindowsFolderByIdentity(actedOn, known.windowsFolders))
        return FileStanding::WindowsFolder;
    return FileStanding::Ordinary;
}

void ReadKnownFilesAgain() { KnownCache().readFrom.clear(); }

std::wstring RootOf(const std::wstring& actedOn) {
    const std::size_t root = FileRootLength(actedOn);
    return actedOn.substr(0, root);
}

}  // namespace velmora
