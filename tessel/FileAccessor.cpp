#include "tessel/FileAccessor.h"

#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "tessel/Api.h"
#include "tessel/Error.h"
#include "tessel/SystemUtility.h"
#include "tessel/Unique.h"

namespace tessel {

namespace {

bool IsAbsoluteDrivePath(const std::wstring& p) {
    return p.size() >= 3 && p[1] == L':' && (p[2] == L'\\' || p[2] == L'/');
}

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

wchar_t UpperAscii(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

bool SameAscii(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
    return true;
}

// The names the system keeps for its devices in every folder. A superscript digit counts as
// the digit for the serial and printer ports.
bool IsReservedName(std::wstring_view base) {
    for (const wchar_t* name : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"})
        if (SameAscii(base, name)) return true;
    if (base.size() != 4) return false;
    const std::wstring_view port = base.substr(0, 3);
    if (!SameAscii(port, L"COM") && !SameAscii(port, L"LPT")) return false;
    const wchar_t digit = base[3];
    return (digit >= L'1' && digit <= L'9') || digit == 0x00B9 || digit == 0x00B2 || digit == 0x00B3;
}

// \\server\pipe\name and \\server\mailslot\name reach another machine's pipes.
bool IsPipeShare(std::wstring_view p) {
    if (p.size() < 2 || p[0] != L'\\' || p[1] != L'\\') return false;
    const std::size_t server = p.find(L'\\', 2);
    if (server == std::wstring_view::npos) return false;
    const std::size_t share = p.find(L'\\', server + 1);
    const std::wstring_view shareName =
        p.substr(server + 1, share == std::wstring_view::npos ? std::wstring_view::npos : share - server - 1);
    return SameAscii(shareName, L"pipe") || SameAscii(shareName, L"mailslot");
}

constexpr int kFileBasicInformation = 4;
constexpr int kFileNameInformation = 9;
constexpr int kFileRenameInformation = 10;
constexpr DWORD kLongestPath = 32768;

// The native layouts of what the calls read and write. The system lays the times out on eight
// bytes in a 32-bit program too, where the compiler would pack them on four: a shorter record
// is refused.
struct alignas(8) FileBasicInformation {
    LARGE_INTEGER CreationTime, LastAccessTime, LastWriteTime, ChangeTime;  // 0: unchanged
    ULONG FileAttributes;
};
static_assert(sizeof(FileBasicInformation) == 40);
struct FileRenameInformation {
    BOOLEAN ReplaceIfExists;
    HANDLE RootDirectory;
    ULONG FileNameLength;
    WCHAR FileName[1];
};

bool Failed(LONG status) { return status < 0; }

void SetLastErrorFrom(LONG status) { ::SetLastError(api::ntdll().RtlNtStatusToDosError(status)); }

// The Win32 path of the open file, every link resolved ("\\?\c:\windows\system32\x.dll"), as the
// system gives it since Vista; nothing, with ERROR_CALL_NOT_IMPLEMENTED, on a Windows before it.
std::optional<std::wstring> FinalPathOf(HANDLE file) {
    std::vector<wchar_t> buffer(kLongestPath + 1, L'\0');
    const DWORD n = api::kernel32().GetFinalPathNameByHandleW(file, buffer.data(), kLongestPath, 0);
    if (n == 0) return std::nullopt;
    if (n >= kLongestPath || std::wstring_view(buffer.data(), 4) != L"\\\\?\\") {
        ::SetLastError(ERROR_BAD_PATHNAME);
        return std::nullopt;
    }
    return std::wstring(buffer.data(), n);
}

// The file's own path on its volume ("\windows\system32\x.dll"), which every NT tells.
std::optional<std::wstring> VolumePathOf(HANDLE file) {
    // The name's length in bytes, then the name: a short one fits at once, a longer one is asked
    // for again with room for the length the first answer gave.
    constexpr LONG kBufferOverflow = static_cast<LONG>(0x80000005);
    std::vector<std::uint8_t> buffer(sizeof(ULONG) + MAX_PATH * sizeof(wchar_t), 0);
    ULONG bytes = 0;
    for (;;) {
        api::IoStatusBlock io{};
        const LONG status = api::ntdll().NtQueryInformationFile(file, &io, buffer.data(),
                                                                static_cast<ULONG>(buffer.size()), kFileNameInformation);
        std::memcpy(&bytes, buffer.data(), sizeof bytes);
        const std::size_t needed = sizeof(ULONG) + bytes;
        if (status == kBufferOverflow && needed > buffer.size() && bytes <= kLongestPath * sizeof(wchar_t)) {
            buffer.assign(needed, 0);
            continue;
        }
        if (Failed(status)) {
            SetLastErrorFrom(status);
            return std::nullopt;
        }
        break;
    }
    if (bytes < sizeof(wchar_t) || bytes > buffer.size() - sizeof(ULONG)) return std::nullopt;
    std::wstring path(bytes / sizeof(wchar_t), L'\0');
    std::memcpy(path.data(), buffer.data() + sizeof(ULONG), path.size() * sizeof(wchar_t));
    if (path.front() != L'\\') return std::nullopt;
    return path;
}

// One volume by its serial number; 0, which Wine reads now and then for a volume that reads
// otherwise at other times, matches any.
bool SameSerial(DWORD a, DWORD b) { return a == b || a == 0 || b == 0; }

// The place of an open file or folder by its path on the volume, which every NT tells.
std::optional<FilePlace> VolumePlaceOf(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file, &info)) return std::nullopt;
    const std::optional<std::wstring> path = VolumePathOf(file);
    if (!path) return std::nullopt;
    return FilePlace{info.dwVolumeSerialNumber, *path};
}

// The last name of a path, and the folder before it with its closing "\".
std::wstring LastName(const std::wstring& path) { return path.substr(path.find_last_of(L'\\') + 1); }
std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\') + 1); }

// The folder of the path, opened the way the path would reach it, is the folder the open file
// lies in: compared by their places on the volume, which every NT tells.
bool InFolderOpenedAs(HANDLE file, const std::wstring& openedAs) {
    const std::wstring verbatim = FileAccessor::VerbatimPath(openedAs);
    if (verbatim.rfind(L"\\\\?\\", 0) != 0 || verbatim.find_last_of(L'\\') == std::wstring::npos) return false;
    const std::optional<FilePlace> onVolume = VolumePlaceOf(file);
    const UniqueFile folder = FileAccessor::OpenToKnow(FolderOf(verbatim));
    std::optional<FilePlace> folderOnVolume = folder ? VolumePlaceOf(folder.get()) : std::nullopt;
    if (folderOnVolume && folderOnVolume->path.back() != L'\\') folderOnVolume->path += L'\\';
    return onVolume && folderOnVolume && SamePlace({onVolume->volume, FolderOf(onVolume->path)}, *folderOnVolume);
}

// The folder the open file really lies in, as a native path ("\??\c:\Data\Real"), and whether
// it is the system's own answer, which no redirection of a 32-bit program applies to. Where the
// system has none (before Vista, or a path too long for it), the folder the file was opened
// through, as long as that is the folder it lies in: a link on the way that was turned meanwhile
// would have the move take the file into another folder.
struct RealFolder {
    std::wstring path;
    bool systemView = false;
};

std::optional<RealFolder> RealFolderOf(HANDLE file, const std::wstring& openedAs) {
    RealFolder real;
    if (const std::optional<std::wstring> final = FinalPathOf(file)) {
        real = {L"\\??\\" + final->substr(4), true};
    } else if (InFolderOpenedAs(file, openedAs)) {
        real = {L"\\??\\" + FileAccessor::VerbatimPath(openedAs).substr(4), false};
    } else {
        ::SetLastError(ERROR_BAD_PATHNAME);
        return std::nullopt;
    }
    const std::size_t slash = real.path.find_last_of(L'\\');
    if (slash == std::wstring::npos || slash < 4) {
        ::SetLastError(ERROR_BAD_PATHNAME);
        return std::nullopt;
    }
    real.path.resize(slash);
    return real;
}

// The rename itself, through the handle alone: `target` is a bare name, or a native path.
LONG RenameTo(HANDLE file, const std::wstring& target) {
    std::vector<std::uint8_t> buffer(offsetof(FileRenameInformation, FileName) + (target.size() + 1) * sizeof(wchar_t), 0);
    auto* rename = reinterpret_cast<FileRenameInformation*>(buffer.data());
    rename->ReplaceIfExists = TRUE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<ULONG>(target.size() * sizeof(wchar_t));
    std::memcpy(rename->FileName, target.data(), target.size() * sizeof(wchar_t));
    api::IoStatusBlock io{};
    return api::ntdll().NtSetInformationFile(file, &io, buffer.data(), static_cast<ULONG>(buffer.size()),
                                             kFileRenameInformation);
}

// Wine's answer to a bare new name, which Windows takes in the file's own folder.
bool RefusesBareName(LONG status) { return status == static_cast<LONG>(0xC000003B); }

constexpr LONG kAccessDenied = static_cast<LONG>(0xC0000022);

// A read-only file at the new name, an earlier disabled copy, cannot be replaced: its attributes
// become `attributes`. True when there was one.
bool ClearEarlierCopy(const RealFolder& folder, const std::wstring& name, DWORD attributes) {
    const RedirectionOff off(folder.systemView);
    const std::wstring path = L"\\\\?\\" + folder.path.substr(4) + L"\\" + name;
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES &&
           api::kernel32().SetFileAttributesW(path.c_str(), attributes);
}

template <class Buffer>
Buffer ReadAll(const std::wstring& path) {
    UniqueFile file = FileAccessor::OpenDiskFile(path, FILE_ATTRIBUTE_NORMAL);
    if (!file) {
        const DWORD code = ::GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return Buffer();
        ThrowLastError("CreateFileW", L"Cannot open the file '" + path + L"'");
    }
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size)) ThrowLastError("GetFileSizeEx", L"Cannot size the file '" + path + L"'");
    if (size.QuadPart > 0x7FFFFFFF)
        throw Error(ERROR_FILE_TOO_LARGE, L"The file '" + path + L"' is too large to read whole.",
                    "ReadFile");
    Buffer data(static_cast<std::size_t>(size.QuadPart), 0);
    std::size_t done = 0;
    while (done < data.size()) {
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(data.size() - done, 1u << 20));
        if (!::ReadFile(file.get(), &data[done], want, &got, nullptr))
            ThrowLastError("ReadFile", L"Cannot read the file '" + path + L"'");
        if (got == 0) break;  // the file shrank meanwhile
        done += got;
    }
    data.resize(done);
    return data;
}

}  // namespace

FileAccessor& FileAccessor::Instance() {
    static FileAccessor instance;
    return instance;
}

std::wstring FileAccessor::ExtendedPath(const std::wstring& path) {
    return path.size() < MAX_PATH - 12 ? path : VerbatimPath(path);
}

std::wstring FileAccessor::VerbatimPath(const std::wstring& path) {
    // A verbatim path is one already; a device-namespace path is read by the system as a plain
    // one is, dots dropped and ".." resolved, and is left to that reading.
    if (path.rfind(L"\\\\?\\", 0) == 0 || path.rfind(L"\\\\.\\", 0) == 0) return path;
    if (IsAbsoluteDrivePath(path)) {
        std::wstring p = path;
        for (auto& c : p)
            if (c == L'/') c = L'\\';
        return L"\\\\?\\" + p;
    }
    if (path.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + path.substr(2);
    return path;
}

bool FileAccessor::IsDevicePath(std::wstring_view given) {
    std::wstring path(given);
    for (auto& c : path)
        if (c == L'/') c = L'\\';
    std::wstring_view p = path;
    const bool win32Prefix = p.size() >= 4 && p[0] == L'\\' && p[1] == L'\\' && (p[2] == L'.' || p[2] == L'?');
    const bool native = p.size() >= 4 && p[0] == L'\\' && p[1] == L'?' && p[2] == L'?';
    if ((win32Prefix || native) && p[3] == L'\\') {
        // These prefixes name a file only through a drive, a share or the system's own namespace:
        // \\.\COM1, \\.\pipe\x, \\.\PhysicalDrive0 and \\.\C: do not. Behind them a reserved name
        // is a name like any other: "\\?\c:\x\com1.dll" and "\\.\c:\x\com1.dll" are files.
        const std::wstring_view rest = p.substr(4);
        // Through the root of the system's namespace, its folder of DOS device names is what these
        // prefixes name themselves, and the pipe and mailslot file systems are devices by name.
        for (const std::wstring_view dosDevices : {L"GLOBALROOT\\??\\", L"GLOBALROOT\\GLOBAL??\\", L"GLOBALROOT\\DosDevices\\"})
            if (rest.size() > dosDevices.size() && SameAscii(rest.substr(0, dosDevices.size()), dosDevices))
                return IsDevicePath(L"\\\\?\\" + std::wstring(rest.substr(dosDevices.size())));
        for (const std::wstring_view pipes : {L"GLOBALROOT\\Device\\NamedPipe", L"GLOBALROOT\\Device\\Mailslot"})
            if (rest.size() >= pipes.size() && SameAscii(rest.substr(0, pipes.size()), pipes) &&
                (rest.size() == pipes.size() || rest[pipes.size()] == L'\\'))
                return true;
        if (rest.size() >= 3 && IsDriveLetter(rest[0]) && rest[1] == L':' && rest[2] == L'\\') return false;
        if (VolumeNameLength(rest) != 0) return false;
        if (rest.size() < 4 || !SameAscii(rest.substr(0, 4), L"UNC\\")) return true;
        return IsPipeShare(L"\\\\" + std::wstring(rest.substr(4)));
    }
    if (IsPipeShare(p)) return true;
    std::size_t start = p.find_last_of(L'\\');
    start = start == std::wstring_view::npos ? 0 : start + 1;
    if (start == 0 && p.size() >= 2 && IsDriveLetter(p[0]) && p[1] == L':') start = 2;  // c:COM1
    std::wstring_view base = p.substr(start);
    // The name before its extension (or a colon), without trailing blanks: "com1 .txt" and
    // "aux:" are the devices too.
    const std::size_t cut = base.find_first_of(L".:");
    if (cut != std::wstring_view::npos) base = base.substr(0, cut);
    while (!base.empty() && base.back() == L' ') base.remove_suffix(1);
    return IsReservedName(base);
}

std::size_t FileAccessor::VolumeNameLength(std::wstring_view rest) {
    std::size_t length = 0;
    if (rest.size() >= 45 && SameAscii(rest.substr(0, 7), L"Volume{") && rest[43] == L'}') {
        length = 44;
    } else if (rest.size() > 32 && SameAscii(rest.substr(0, 32), L"GLOBALROOT\\Device\\HarddiskVolume") &&
               rest.find(L'\\', 32) != std::wstring_view::npos) {
        length = rest.find(L'\\', 32);
    } else if (rest.size() > 11 && SameAscii(rest.substr(0, 11), L"GLOBALROOT\\")) {
        return 11;
    } else {
        return 0;
    }
    return length < rest.size() && rest[length] == L'\\' ? length + 1 : 0;
}

bool FileAccessor::HasWildcards(std::wstring_view path) {
    if (path.size() >= 4 && path[0] == L'\\' && (path[1] == L'\\' || path[1] == L'?') && path[2] == L'?' &&
        path[3] == L'\\')
        path.remove_prefix(4);
    return path.find_first_of(L"*?") != std::wstring_view::npos;
}

bool SameFile(const FileIdentity& a, const FileIdentity& b) {
    return a.high == b.high && a.low == b.low && SameSerial(a.volume, b.volume);
}

bool SamePlace(const FilePlace& a, const FilePlace& b) {
    return !a.path.empty() && SameSerial(a.volume, b.volume) &&
           SystemUtility::Lower(a.path) == SystemUtility::Lower(b.path);
}

bool PlacedIn(const FilePlace& file, const FilePlace& folder) {
    if (folder.path.empty() || !SameSerial(file.volume, folder.volume)) return false;
    std::wstring under = SystemUtility::Lower(folder.path);
    if (under.back() != L'\\') under += L'\\';
    const std::wstring path = SystemUtility::Lower(file.path);
    return path.size() > under.size() && path.compare(0, under.size(), under) == 0;
}

std::optional<FileIdentity> FileAccessor::Identity(const std::wstring& path) {
    const UniqueFile file = OpenToKnow(path);
    return file ? IdentityOf(file.get()) : std::nullopt;
}

UniqueFile FileAccessor::OpenToKnow(const std::wstring& path) {
    if (path.empty() || IsDevicePath(path)) return UniqueFile();
    // A folder opens only with backup semantics.
    return UniqueFile(::CreateFileW(ExtendedPath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

std::optional<FileIdentity> FileAccessor::IdentityOf(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file, &info)) return std::nullopt;
    if (info.nFileIndexHigh == 0 && info.nFileIndexLow == 0) return std::nullopt;
    return FileIdentity{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
}

std::optional<FilePlace> FileAccessor::PlaceOf(HANDLE file) {
    // The system's own full path where it has one: it names the volume by the drive it is
    // mounted as, the same for every route to the file. Before Vista the path on the volume.
    const std::optional<std::wstring> path = FinalPathOf(file);
    if (!path) return ::GetLastError() == ERROR_CALL_NOT_IMPLEMENTED ? VolumePlaceOf(file) : std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file, &info)) return std::nullopt;
    return FilePlace{info.dwVolumeSerialNumber, *path};
}

std::optional<BY_HANDLE_FILE_INFORMATION> FileAccessor::OnDisk(HANDLE file) {
    // A disk or a volume opened whole is of the disk type too, but is no file or folder of it:
    // it tells nothing of one, nor a path on the volume.
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileType(file) != FILE_TYPE_DISK || !::GetFileInformationByHandle(file, &info) || !VolumePathOf(file))
        return std::nullopt;
    return info;
}

UniqueFile FileAccessor::OpenToRename(const std::wstring& path) {
    if (IsDevicePath(path)) {
        ::SetLastError(ERROR_FILE_NOT_FOUND);
        return UniqueFile();
    }
    // Without backup semantics a folder does not open: only a file is ever renamed here.
    UniqueFile file(api::kernel32().CreateFileW(VerbatimPath(path).c_str(), DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                OPEN_EXISTING, 0, nullptr));
    if (file && !OnDisk(file.get())) {
        file.reset();
        ::SetLastError(ERROR_FILE_NOT_FOUND);
    }
    return file;
}

std::optional<std::wstring> FileAccessor::RealPathOf(HANDLE file) { return FinalPathOf(file); }

bool FileAccessor::NamesOwnFile(HANDLE file, const std::wstring& path) {
    const std::optional<std::wstring> own = VolumePathOf(file);
    if (!own || !InFolderOpenedAs(file, path)) return false;
    const std::wstring verbatim = VerbatimPath(path);
    const std::wstring given = SystemUtility::Lower(LastName(verbatim)), held = SystemUtility::Lower(LastName(*own));
    if (given == held) return true;
    // Wine names a file made with trailing dots or blanks without them. The name is the file's
    // own all the same where, without them, it names another file or none: a link would name
    // the file itself.
    const std::size_t kept = given.find_last_not_of(L". ");
    if (kept == std::wstring::npos || kept + 1 == given.size() || given.substr(0, kept + 1) != held) return false;
    const std::optional<FileIdentity> self = IdentityOf(file), other = Identity(FolderOf(verbatim) + LastName(*own));
    return self && !(other && SameFile(*self, *other));
}

bool FileAccessor::RenameOpenFile(HANDLE file, const std::wstring& openedAs, const std::wstring& name, DWORD attributes) {
    if (name.empty() || name.find_first_of(L"\\/") != std::wstring::npos) {
        ::SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    // The attributes go as they would by name, through a handle of their own: the one to rename
    // asks for no more than the rename needs. That they cannot be set does not stop the move.
    constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    UniqueFile attributable(api::kernel32().ReOpenFile(file, FILE_WRITE_ATTRIBUTES, kShareAll, 0));
    if (!attributable && ::GetLastError() == ERROR_CALL_NOT_IMPLEMENTED) {
        // Before Vista: by the name it was opened by, as long as that still reaches the same file.
        UniqueFile byName(::CreateFileW(VerbatimPath(openedAs).c_str(), FILE_WRITE_ATTRIBUTES, kShareAll, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
        const std::optional<FileIdentity> held = IdentityOf(file), named = byName ? IdentityOf(byName.get()) : std::nullopt;
        if (held && named && SameFile(*held, *named)) attributable = std::move(byName);
    }
    if (attributable) {
        FileBasicInformation basic{};
        basic.FileAttributes = attributes;
        api::IoStatusBlock io{};
        api::ntdll().NtSetInformationFile(attributable.get(), &io, &basic, sizeof basic, kFileBasicInformation);
    }
    // The folder the file lies in is read by its path only where the bare name will not do: to
    // clear a read-only earlier disabled copy, which cannot be replaced, or where the bare name
    // is refused.
    std::optional<RealFolder> folder;
    const auto folderRead = [&] {
        if (!folder) folder = RealFolderOf(file, openedAs);
        return folder.has_value();
    };
    const auto renameTo = [&](const std::wstring& target) {
        const LONG status = RenameTo(file, target);
        return status == kAccessDenied && folderRead() && ClearEarlierCopy(*folder, name, attributes)
                   ? RenameTo(file, target)
                   : status;
    };
    LONG status = renameTo(name);
    if (RefusesBareName(status)) {
        if (!folderRead()) {
            ::SetLastError(ERROR_BAD_PATHNAME);
            return false;
        }
        // The system's own path of the folder names the 64-bit system folder as it is, which the
        // redirection of a 32-bit program would read as the 32-bit one.
        const RedirectionOff off(folder->systemView);
        status = renameTo(folder->path + L"\\" + name);
    }
    if (Failed(status)) {
        SetLastErrorFrom(status);
        return false;
    }
    return true;
}

UniqueFile FileAccessor::OpenDiskFile(const std::wstring& path, DWORD flags) {
    // A device or a pipe is no file: reading one can wait forever.
    if (IsDevicePath(path)) {
        ::SetLastError(ERROR_FILE_NOT_FOUND);
        return UniqueFile();
    }
    UniqueFile file(::CreateFileW(ExtendedPath(path).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  flags, nullptr));
    if (file && !OnDisk(file.get())) {
        file.reset();
        ::SetLastError(ERROR_FILE_NOT_FOUND);
    }
    return file;
}

RedirectionOff::RedirectionOff(bool wanted)
    : off_(wanted && api::kernel32().Wow64DisableWow64FsRedirection(&previous_) != FALSE) {}

RedirectionOff::~RedirectionOff() {
    if (off_) api::kernel32().Wow64RevertWow64FsRedirection(previous_);
}

void FileAccessor::CreateFolder(const std::wstring& path) {
    std::wstring p = path;
    while (!p.empty() && (p.back() == L'\\' || p.back() == L'/')) p.pop_back();
    if (p.empty()) return;
    const DWORD attrs = ::GetFileAttributesW(ExtendedPath(p).c_str());
    if (attrs != INVALID_FILE_ATTRIBUTES) {
        if (attrs & FILE_ATTRIBUTE_DIRECTORY) return;
        ThrowSystemError(ERROR_ALREADY_EXISTS, "CreateDirectoryW", L"A file stands where the folder should be '" + p + L"'");
    }
    const size_t slash = p.find_last_of(L"\\/");
    if (slash != std::wstring::npos && slash > 0 && p[slash - 1] != L':' && p[slash - 1] != L'\\')
        CreateFolder(p.substr(0, slash));
    if (!::CreateDirectoryW(ExtendedPath(p).c_str(), nullptr) &&
        ::GetLastError() != ERROR_ALREADY_EXISTS)
        ThrowLastError("CreateDirectoryW", L"Cannot create the folder '" + p + L"'");
}

bool FileAccessor::FileExists(const std::wstring& path) {
    if (path.empty()) return false;
    const DWORD attrs = ::GetFileAttributesW(ExtendedPath(path).c_str());
    return attrs != INVALID_FILE_ATTRIBUTES && !(attrs & FILE_ATTRIBUTE_DIRECTORY);
}

void FileAccessor::WriteFile(const std::wstring& path, const std::string& data) {
    UniqueFile file(::CreateFileW(ExtendedPath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                  nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) ThrowLastError("CreateFileW", L"Cannot create the file '" + path + L"'");
    std::size_t done = 0;
    while (done < data.size()) {
        DWORD written = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(data.size() - done, 1u << 20));
        if (!::WriteFile(file.get(), data.data() + done, want, &written, nullptr))
            ThrowLastError("WriteFile", L"Cannot write the file '" + path + L"'");
        done += written;
    }
}

std::string FileAccessor::ReadFile(const std::wstring& path) { return ReadAll<std::string>(path); }

std::vector<std::uint8_t> FileAccessor::ReadBytes(const std::wstring& path) {
    return ReadAll<std::vector<std::uint8_t>>(path);
}

}  // namespace tessel
