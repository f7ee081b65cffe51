// Which files a disabling may not take on its own word: Windows' own files, which the user
// confirms once more (or the automatic cleanup leaves alone), and the program's own files,
// which are never disabled, since the program that would give files back could no longer start.
#pragma once
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

// How a full path stands. Letter case, short names, "." and ".." steps, "/" and the "\\?\"
// form are seen through; the first of ProgramFile, SystemWhitelist and WindowsFolder that
// applies is the answer.
FileStanding StandingOf(const std::wstring& path);

// Either system whitelist of the running family names the path.
bool IsOnSystemWhitelist(const std::wstring& path);

}  // namespace velmora
