// File access of the support library: one object per process.
#pragma once
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tessel/Unique.h"

namespace tessel {

// What a file is, whatever the path that reaches it: its volume and its number on the volume. A
// folder link, a drive letter made for a folder or a share of this machine reach a file under
// another spelling; its identity stays the same.
struct FileIdentity {
    DWORD volume = 0, high = 0, low = 0;
};

// The same number on the same volume. A volume whose serial number could not be read says 0 (Wine
// does so now and then for a volume that reads otherwise at other times): its files are compared
// by their numbers alone.
bool SameFile(const FileIdentity& a, const FileIdentity& b);

// Where a file really lies: the serial number of its volume and its path with every folder link
// on the way resolved ("\\?\c:\windows\system32\lz32.dll"; before Vista, which cannot tell the
// drive, its path on the volume: "\windows\system32\lz32.dll"). A link to a folder,
// a drive letter made for one or a prefix spell it otherwise; its place stays the same.
struct FilePlace {
    DWORD volume = 0;
    std::wstring path;
};

// The same path on the same volume, without regard to letter case; a serial number of 0 matches
// any volume, as for SameFile.
bool SamePlace(const FilePlace& a, const FilePlace& b);
// The file lies in the folder or below it, on the same volume.
bool PlacedIn(const FilePlace& file, const FilePlace& folder);

// Turns off the file-system redirection of a 32-bit program on 64-bit Windows for its life, where
// there is one and where it is wanted: a path the system gave for a file (RealPathOf) names the
// 64-bit system folder as "system32", which the redirection would read as the 32-bit one. It is
// put back with the value its turning off gave, and only where it was turned off.
class RedirectionOff {
public:
    explicit RedirectionOff(bool wanted = true);
    ~RedirectionOff();
    RedirectionOff(const RedirectionOff&) = delete;
    RedirectionOff& operator=(const RedirectionOff&) = delete;
    explicit operator bool() const { return off_; }

private:
    PVOID previous_ = nullptr;
    bool off_ = false;
};

class FileAccessor {
public:
    static FileAccessor& Instance();

    // Creates the folder and any missing parents; no error when it exists.
    void CreateFolder(const std::wstring& path);
    // True for an existing file (not a folder).
    bool FileExists(const std::wstring& path);
    // Creates or replaces the file with the bytes given (one byte per character).
    void WriteFile(const std::wstring& path, const std::string& data);
    // The whole file, one character per byte; empty when the file is missing.
    std::string ReadFile(const std::wstring& path);
    std::vector<std::uint8_t> ReadBytes(const std::wstring& path);

    // The form of a path that the wide file functions accept beyond MAX_PATH.
    static std::wstring ExtendedPath(const std::wstring& path);
    // The extended form of a drive or network path whatever its length: the system acts on the
    // name exactly as it stands, dropping no trailing dot or blank and resolving no "..". A
    // verbatim path stays as it is, and so does a device-namespace one ("\\.\c:\x"), which the
    // system reads as it reads a plain path.
    static std::wstring VerbatimPath(const std::wstring& path);
    // True for a name that the system takes as a device rather than a file on a disk by its text
    // alone: a reserved name (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9, CONIN$, CONOUT$) with or
    // without a folder or an extension, a \\.\, \\?\ or \??\ path that names no drive, share
    // or volume (\\.\COM1, \\.\C:, \\.\PhysicalDrive0), a pipe or a mailslot. Behind one of those
    // prefixes, a drive or a share names a file whatever its name: only the plain form reads a
    // reserved name as the device. A path through the root of the system's own namespace
    // ("\\?\GLOBALROOT\...") is a device by its text only as the same path without it would be
    // ("GLOBALROOT\??\COM1"), or on the pipe or mailslot file system; what else it reaches is told
    // once it is open (OnDisk). A device is never read from: a serial port can keep a reader
    // waiting forever. Looks at the text alone.
    static bool IsDevicePath(std::wstring_view path);
    // The length of a volume's own name ("Volume{GUID}\", "GLOBALROOT\Device\HarddiskVolume3\") at
    // the start of what follows a "\\?\" prefix, closing "\" included; 0 when it holds none. Such
    // a name reaches a volume as a drive letter does, one that has no letter too. Any other path
    // through "GLOBALROOT\" reaches what the system's namespace holds there ("GLOBALROOT\??\c:\x",
    // "GLOBALROOT\SystemRoot\x"): its root is "GLOBALROOT\" itself, which no file lies in.
    static std::size_t VolumeNameLength(std::wstring_view afterPrefix);
    // A "*" or a "?" in the path itself; the "?" of a "\\?\" or "\??\" prefix is none.
    static bool HasWildcards(std::wstring_view path);
    // The identity of the file or folder at the path; nothing for a device, for what cannot be
    // opened, or on a volume that numbers no files. Opened without access and sharing everything,
    // so that a file held open by another program, or one the user may not read, still says what
    // it is.
    static std::optional<FileIdentity> Identity(const std::wstring& path);
    // Opens what a path names to know what it is, the way Identity does: no access, sharing
    // everything, a folder too. An empty handle for a device or what cannot be opened.
    static UniqueFile OpenToKnow(const std::wstring& path);
    // What the open handle holds: its identity, and its place (nothing where the system tells
    // neither).
    static std::optional<FileIdentity> IdentityOf(HANDLE file);
    static std::optional<FilePlace> PlaceOf(HANDLE file);
    // What an open handle holds, where it is a file or a folder on a disk; nothing for a device
    // (a port, a pipe, a console, a disk or a volume opened whole).
    static std::optional<BY_HANDLE_FILE_INFORMATION> OnDisk(HANDLE file);
    // Opens an existing file (never a folder or a device) at exactly that path to be renamed:
    // delete access and no more than reading its attributes, sharing everything, so that a file
    // another program reads can still be moved, and one whose attributes the user may not write
    // still can be too. An empty handle when it cannot be, the last error saying why.
    static UniqueFile OpenToRename(const std::wstring& path);
    // The path the file an open handle holds really lies at, as the system names it
    // ("\\?\c:\data\stash\payload.dll"): every link resolved, a file link too, and no redirection of
    // a 32-bit program applied to it. Nothing where the system cannot tell (before Vista, or a
    // path too long for it).
    static std::optional<std::wstring> RealPathOf(HANDLE file);
    // The path names the file the handle holds as its own: its last name is the file's own name,
    // and its folder is the folder the file lies in, whatever folder link it passes. A file link
    // names another file's name.
    static bool NamesOwnFile(HANDLE file, const std::wstring& path);
    // Renames the file the handle holds to `name` (a name without a folder) in the folder it
    // lies in, replacing a file of that name; its attributes become `attributes` first, where
    // they can be. The name is handed to the system bare, so that it reads no path again: no link
    // turned meanwhile and no redirection can send the file elsewhere. Where the system refuses a
    // bare name (Wine does), it is given the path of the folder the file really lies in, with the
    // redirection of a 32-bit program turned off for that call; `openedAs`, the path the file was
    // opened by, names that folder only where the system cannot (before Vista, or a path too
    // long for it), and then only while it is the folder the file lies in. False with the last
    // error set when the move failed.
    static bool RenameOpenFile(HANDLE file, const std::wstring& openedAs, const std::wstring& name, DWORD attributes);
    // Opens an existing file on a disk to be read, shared for reading, writing and deletion,
    // with the flags given; an empty handle when it cannot be, the last error saying why. A
    // device or a pipe (IsDevicePath, or not OnDisk once open) is never read from: it reads as
    // ERROR_FILE_NOT_FOUND.
    static UniqueFile OpenDiskFile(const std::wstring& path, DWORD flags);

private:
    FileAccessor() = default;
};

}  // namespace tessel
