// Turns the command lines and short names that the registry holds into the full names of
// files on disk, the way the system finds a program. Answers are cached per name for the
// life of the object; nothing is logged.
#pragma once
#include <string>

#include "tessel/KeyedList.h"

namespace tessel { class Logger; }

namespace velmora {

class CFileChecker {
public:
    CFileChecker();
    CFileChecker(const CFileChecker&) = delete;
    CFileChecker& operator=(const CFileChecker&) = delete;

    // Keeps the Logger and turns on the long-name step on the NT family other than NT 4.
    // Optional: without it names are resolved all the same, in the search's own form.
    void Init(tessel::Logger& Log);

    // The file that a command line runs (the DLL, for rundll32 forms): text rules only.
    std::wstring GetFileNameFromCommandLine(std::wstring cl);

    // The full path of a file name found as the system finds a program (environment
    // variables expanded, the default search order), in long form when that is turned on;
    // the name unchanged when it is not found. The first answer for a name is kept.
    std::wstring GetFullFileNameFromShortFilename(std::wstring Filename);

    bool UseLongPathNames() const { return UseLongPathNames_; }

    // The file that a server entry or a startup command names. A text that is, once expanded,
    // trimmed and unquoted, the absolute path of an existing file is that file, blanks in its
    // name and all, in the spelling FileActedOn gives it (a verbatim path read exactly as
    // written); any other text goes through the two steps above.
    std::wstring ResolveRegisteredPath(const std::wstring& registryText);

private:
    bool UseLongPathNames_ = false;
    tessel::KeyedList<std::wstring> FullNameCache;
    tessel::Logger* Log_ = nullptr;
};

}  // namespace velmora
