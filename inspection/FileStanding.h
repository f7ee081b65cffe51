// Which files a disabling may not take on its own word: Windows' own files, which the user
// confirms once more (or the automatic cleanup leaves alone), and the program's own files,
// which are never disabled, since the program that would give files back could no longer start.
#pragma once
#include <windows.h>

#include <string>

namespace velmora {

enum class FileStanding {
    Ordinary,
    WindowsFolder,    // in the Windows folder or below it
    SystemWhitelist,  // named by the system process or module whitelist of the running family
    ProgramFile,      // Velmora.exe, Tessel.dll or VLMRCustom.dll of the program's folder
};

// The folder of the program's own files, ending in "\". Empty means the folder of the running
// program file.
inline std::wstring ProgramDir;

// A drive path ("c:\...") or a network path ("\\server\share\..."), plain or verbatim ("\\?\c:\...",
// "\\?\UNC\server\share\..."), or a path through a volume's own name ("\\?\Volume{...}\...",
// "\\?\GLOBALROOT\Device\HarddiskVolume1\...") or the root of the system's namespace
// ("\\?\GLOBALROOT\??\c:\..."), naming a file and not a folder: anything else would be taken relative
// to the current folder or drive.
bool IsFullyQualifiedFile(const std::wstring& path);

// The file that Windows acts on for this spelling, in the one spelling that the check of what
// a file is, the facts read from it, the rename, the record and the restore all use. A plain
// path: "/" read as "\", an alternate stream (a ":" in the file name itself, "::$DATA" too) cut
// away, then "." and ".." steps resolved and the trailing dots and blanks of the name dropped. A
// verbatim path ("\\?\", or the native "\??\"): read exactly as written, only the stream cut; a
// device-namespace path to a drive or a share ("\\.\c:\..."): read as the plain path, except
// that a reserved name is a file there. The answer is the plain spelling wherever Windows reads
// that as this very file, and the verbatim one ("\\?\c:\x\tool.dll.") where only that reaches
// it; short names are made long where the file exists. Reading its answer again changes nothing.
// A path that is not fully qualified is never made absolute: what would be taken relative to the
// current folder is refused later, not resolved.
std::wstring FileActedOn(const std::wstring& given);

// The path (as FileActedOn gives it) is shown to name something that is not a file: a device by
// its name (a reserved name, a pipe, the device namespace without a drive), or what opens as a
// device, a folder or a drive's root. There is nothing to disable. Any other name is a file, one
// that may not open.
bool NamesNoFile(const std::wstring& actedOn);

// The path by which this program reaches the file an open handle holds, where it really lies and
// under its own name (a file link names another file's name), spelled as FileActedOn spells it;
// empty where the system cannot tell, or where that path does not reach the same file. The
// system's own path of it is read in the program's view (InProgramView).
std::wstring OwnPathOf(HANDLE file);

// A path as the system gives it for a file ("\\?\c:\windows\system32\x.dll"), as a program reaches
// it: a 32-bit program on 64-bit Windows (wow64) reaches the 64-bit system folder only as
// "Sysnative", since its own name is redirected to the 32-bit one. Any other path is unchanged.
std::wstring InProgramView(const std::wstring& systemPath, bool wow64, const std::wstring& winDir,
                           const std::wstring& sysDir);

// How the file that a disabling given this path acts on stands (FileActedOn, without regard to
// letter case); the first of ProgramFile, SystemWhitelist and WindowsFolder that applies is the
// answer. A file is known by its name and by what it is: the identity of the file the path
// reaches against those of the program's files and the whitelisted files, and the folders on its
// path against the Windows and the system folder, so that a folder link, a drive letter made for
// a folder or a share of this machine hides none of them.
FileStanding StandingOf(const std::wstring& path);

// How the file that an open handle holds stands, given the name it was opened by (as FileActedOn
// gives it): what the handle holds is judged, its identity and the place where it really lies
// (a link to a folder below the system folder is the system folder), beside that name. A
// disabling asks this of the handle it renames through, so that a link turned after the check
// cannot make it rename another file. An invalid handle leaves the name alone to judge.
FileStanding StandingOfOpen(HANDLE file, const std::wstring& actedOn);

// The files and folders that the standing compares with are read again when it is next asked: a
// whitelisted file replaced while the program runs (a restore, an update) is another file.
void ReadKnownFilesAgain();

// The drive, share or volume that a path (as FileActedOn gives it) begins with ("c:\",
// "\\?\Volume{...}\"); empty for a path that is not fully qualified.
std::wstring RootOf(const std::wstring& actedOn);

}  // namespace velmora
