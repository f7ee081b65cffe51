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
    // True for a name that the system takes as a device rather than a file on a disk: a
    // reserved name (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9, CONIN$, CONOUT$) with or
    // without a folder or an extension, a \\.\, \\?\ or \??\ path that names no drive or
    // share (\\.\COM1, \\.\C:, \\?\GLOBALROOT...), a pipe or a mailslot. Behind one of those
    // prefixes, a drive or a share names a file whatever its name: only the plain form reads a
    // reserved name as the device. Such a name is never opened to be
    // read: a serial port can keep a reader waiting forever. Looks at the text alone.
    static bool IsDevicePath(std::wstring_view path);
    // A "*" or a "?" in the path itself; the "?" of a "\\?\" or "\??\" prefix is none.
    static bool HasWildcards(std::wstring_view path);
    // The identity of the file or folder at the path; nothing for a device, for what cannot be
    // opened, or on a volume that numbers no files. Opened without access and sharing everything,
    // so that a file held open by another program, or one the user may not read, still says what
    // it is.
    static std::optional<FileIdentity> Identity(const std::wstring& path);
    // Opens an existing file on a disk to be read, shared for reading, writing and deletion,
    // with the flags given; an empty handle when it cannot be, the last error saying why. A
    // device or a pipe (IsDevicePath, or found so once open) is never read from: it reads as
    // ERROR_FILE_NOT_FOUND.
    static UniqueFile OpenDiskFile(const std::wstring& path, DWORD flags);

private:
    FileAccessor() = default;
};

}  // namespace tessel
