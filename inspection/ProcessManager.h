// Process control: the process list, the termination of every process that holds one of a
// list of files, and the disabling of files by renaming them in place.
#pragma once
#include "inspection/Globals.h"
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "inspection/FileStanding.h"
#include "tessel/KeyedList.h"
#include "tessel/Logger.h"
#include "tessel/Node.h"

namespace velmora {

// Where each disabled file is recorded (under HKEY_CURRENT_USER): one string value per file,
// whose name and data are the path that the file had.

// Where a file that stands at the path of a file being restored is kept: the first of
// "<path>.replaced", "<path>.replaced.2", "<path>.replaced.3", ... at which nothing stands.
std::wstring FreeReplacedName(const std::wstring& path);

class CProcessManager {
public:
    CProcessManager();
    CProcessManager(const CProcessManager&) = delete;
    CProcessManager& operator=(const CProcessManager&) = delete;

    // Keeps the Logger for every line of the termination and the renaming.
    void Init(tessel::Logger& Log);

    // Terminates every process that has the file loaded, as TerminateProcessesByModules does
    // for a list of that one file.
    void TerminateProcessesByModule(const std::wstring& Module, bool TerminateOwnProcess);
    // Terminates every other process that has one of the listed files (the keys) loaded, as
    // its executable or as a module, and waits (a few seconds at most) until the ones told to end
    // are gone. The program's own process only when TerminateOwnProcess is True, last, after
    // telling the user; the call does not come back when that succeeds. A list of the running
    // processes that cannot be taken raises an error: nothing is then known of the holders.
    void TerminateProcessesByModules(const tessel::KeyedList<std::wstring>& Modules, bool TerminateOwnProcess);

    // The running processes and their modules, by the running family's interface.
    tessel::NodeList EnumProcs();
    // False when the last EnumProcs could not take the list of processes at all: its empty
    // list then says nothing about what runs.
    bool ProcessListTaken() const { return listTaken_; }

    // Renames one file in a single move; True when the move succeeded. Logs the outcome.
    bool SafeRenameFile(const std::wstring& OldFilename, const std::wstring& NewFilename);
    // Moves a disabled file back to its path. A file standing there again is kept beside it, at
    // the FreeReplacedName it has at that moment, and the move back replaces it; when the move
    // back fails, the file that stands there stays as it was and nothing is kept beside it.
    bool RestoreRenamedFile(const std::wstring& DisabledFilename, const std::wstring& Filename);
    // Disables every listed file (items are full paths) and records it; when some renames
    // fail, terminates the holders of all the listed files, waits two seconds and tries the
    // failed files once more. Returns the files that are still not disabled after that; a file
    // that does not exist (an orphaned registration's server) or a path that names a device or a
    // folder has nothing to disable: it is logged and not returned.
    // Each file is judged once more, each time it is about to be renamed, through the handle it is
    // renamed by: one that reads then as more than what it was agreed to be disabled as (Agreed,
    // keyed as ParasiteFiles; a file not there was agreed as the cleanup takes files on its own,
    // a Windows file that no whitelist names) is left alone and returned, as the program's own
    // files always are.
    tessel::KeyedList<std::wstring> RenameParasiteFilesEx(const tessel::KeyedList<std::wstring>& ParasiteFiles,
                                                          const tessel::KeyedList<FileStanding>& Agreed = {});
    // The same for one file.
    tessel::KeyedList<std::wstring> RenameParasiteFileEx(const std::wstring& ParasiteFile,
                                                         FileStanding Agreed = FileStanding::WindowsFolder);

private:
    struct FoundProcess;
    using FoundList = tessel::KeyedList<FoundProcess>;

    tessel::NodeList BuildProcessTreeNT();
    tessel::NodeList BuildProcessTree9x();
    std::wstring CutAtNull(const std::wstring& text);

    void FindModuleProcessesNT(const tessel::KeyedList<std::wstring>& Modules, bool TerminateOwnProcess);
    void FindModuleProcesses9x(const tessel::KeyedList<std::wstring>& Modules, bool TerminateOwnProcess);
    void TerminateProcesses(FoundList& Found);
    // True when the process was told to end; it may still run for a while after that.
    bool MyTerminateProcess(HANDLE Process, const std::wstring& Label);

    // How the disabling of one file ended: a file refused (the program's own, or one whose
    // record cannot be written) is not tried again, and its holders are not ended for it; a
    // path with no file to disable (a device, a folder) is neither tried again nor reported back.
    enum class Disabling { Disabled, Failed, Refused, NothingToDisable };
    Disabling RenameParasiteFile(const std::wstring& path, FileStanding agreed);
    // False, logged, for a file that reads as more than it was agreed to be disabled as.
    bool MayTake(FileStanding standing, FileStanding agreed, const std::wstring& name);
    bool RenameFileNT(const std::wstring& OldFilename, const std::wstring& NewFilename);
    bool RenameFile9x(const std::wstring& OldFilename, const std::wstring& NewFilename);
    // Fingerprints the file, runs the family's move and logs its outcome under the step's name.
    bool RenameLogged(const wchar_t* step, bool nineX, const std::wstring& OldFilename, const std::function<BOOL()>& move);
    void LogRenameFailure(bool nineX, const std::wstring& source, const std::wstring& name, std::int32_t size,
                          std::int32_t checksum, unsigned long code);

    tessel::Logger* mLog;
    bool listTaken_ = true;
};

}  // namespace velmora
