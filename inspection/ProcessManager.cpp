#include "inspection/ProcessManager.h"

#include <string_view>
#include <vector>

#include "inspection/EnumProcesses.h"
#include "inspection/FileStanding.h"
#include "inspection/Globals.h"
#include "inspection/MAPI.h"
#include "inspection/MMain.h"
#include "inspection/ProcessWalk.h"
#include "inspection/WaitPumping.h"
#include "tessel/Api.h"
#include "tessel/Error.h"
#include "tessel/FileAccessor.h"
#include "tessel/RegistryAccessor.h"
#include "tessel/SystemUtility.h"
#include "tessel/Text.h"
#include "tessel/Unique.h"

namespace velmora {

namespace walk = process_walk;
using tessel::api::kernel32;
using tessel::ThrowLastError;

namespace {

constexpr DWORD kAllAccess = 0x1F0FFF;  // PROCESS_ALL_ACCESS as every Windows family knows it
constexpr DWORD kArchiveOnly = FILE_ATTRIBUTE_ARCHIVE;
constexpr unsigned long kRetryDelayMs = 2000;
// How long the processes told to end are waited for, together: a process ends within moments
// of being told, unless the system cannot end it at all.
constexpr unsigned long kEndWaitMs = 5000;
constexpr wchar_t kOwnProcessMessage[] =
    L"Operation complete; terminating. Please reboot Windows and restart Velmora to see whether no more "
    L"parasites found. ";

// A search for holders that cannot list the processes: an empty list would say that nothing
// holds the files, so it is an error, which the disabling counts as a step not done.
constexpr wchar_t kNoProcessList[] = L"The running processes cannot be listed to find those that hold the files";

std::wstring Source(std::wstring_view procedure) { return L"CProcessManager." + std::wstring(procedure); }

std::wstring ProcessKey(DWORD id) { return L"_" + std::to_wstring(id); }

// True when there is no file by that name: nothing to disable (the server of an orphaned
// registration). A name that is not fully qualified, or one whose state cannot be told, is not
// taken as gone.
bool IsGone(const std::wstring& given) {
    const std::wstring name = FileActedOn(given);
    if (!IsFullyQualifiedFile(name)) return false;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (kernel32().GetFileAttributesExW(tessel::FileAccessor::ExtendedPath(name).c_str(), GetFileExInfoStandard, &data))
        return false;
    const DWORD code = ::GetLastError();
    if (code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND) return false;
    // A volume that cannot be reached at all says nothing of its files (a volume's own name that
    // the system does not open): only a file missing from a volume that is there is gone.
    const std::wstring root = RootOf(name);
    return !root.empty() &&
           ::GetFileAttributesW(tessel::FileAccessor::VerbatimPath(root).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The name a disabled file gets in its own folder.
std::wstring DisabledName(const std::wstring& name) {
    const std::wstring disabled = GetParasiteFileName(name);
    return disabled.substr(disabled.find_last_of(L'\\') + 1);
}

}  // namespace

// A process that holds a listed file. On the NT family the handle opened during the walk is
// kept and used to terminate, so that an id reused in between cannot name another process;
// on the 9x family the image is kept, to be checked again before terminating.
struct CProcessManager::FoundProcess {
    DWORD Id = 0;
    tessel::UniqueHandle Process;
    bool Recheck = false;
    std::wstring Image;
};

CProcessManager::CProcessManager() : mLog(&tessel::UnopenedLogger()) {}

void CProcessManager::Init(tessel::Logger& Log) { mLog = &Log; }

// ---------------------------------------------------------------- enumeration

tessel::NodeList CProcessManager::EnumProcs() {
    listTaken_ = false;
    return IsNT() ? BuildProcessTreeNT() : BuildProcessTree9x();
}

tessel::NodeList CProcessManager::BuildProcessTreeNT() { return EnumProcessesNT(&listTaken_); }

tessel::NodeList CProcessManager::BuildProcessTree9x() { return EnumProcesses9x(&listTaken_); }

std::wstring CProcessManager::CutAtNull(const std::wstring& text) { return TrimNull(text); }

// ---------------------------------------------------------------- termination

void CProcessManager::TerminateProcessesByModule(const std::wstring& Module, bool TerminateOwnProcess) {
    tessel::KeyedList<std::wstring> modules;
    modules.Add(Module, Module);
    TerminateProcessesByModules(modules, TerminateOwnProcess);
}

void CProcessManager::TerminateProcessesByModules(const tessel::KeyedList<std::wstring>& Modules,
                                                  bool TerminateOwnProcess) {
    if (Modules.Count() == 0) return;
    // A file is held under the name the system gives it, which is the one the rename acts on,
    // whatever spelling the list came with.
    tessel::KeyedList<std::wstring> names;
    for (const std::wstring& module : Modules) {
        tessel::AddUnique(names, module);
        tessel::AddUnique(names, FileActedOn(module));
    }
    if (RunningOnNT) FindModuleProcessesNT(names, TerminateOwnProcess);
    else FindModuleProcesses9x(names, TerminateOwnProcess);
}

void CProcessManager::FindModuleProcessesNT(const tessel::KeyedList<std::wstring>& Modules, bool TerminateOwnProcess) {
    const DWORD own = kernel32().GetCurrentProcessId();
    FoundList found;
    bool ownHolds = false;
    std::vector<HMODULE> modules;
    bool taken = false;
    const std::vector<DWORD> ids = walk::ProcessIds(&taken);
    if (!taken) ThrowLastError("EnumProcesses", kNoProcessList);
    for (const DWORD id : ids) {
        tessel::UniqueHandle process(kernel32().OpenProcess(kAllAccess, FALSE, id));
        if (!process) continue;
        if (!walk::ModuleHandles(process.get(), modules)) continue;
        if (modules.empty()) modules.push_back(nullptr);  // the executable itself
        bool holds = false;
        for (HMODULE module : modules) {
            const std::wstring name = walk::ModuleName(process.get(), module);
            if (!tessel::text::TrimBlanks(name).empty() && Modules.Exists(name)) {
                holds = true;
                break;
            }
        }
        if (!holds) continue;
        if (id == own) {
            ownHolds = true;
        } else if (!found.Exists(ProcessKey(id))) {
            FoundProcess entry;
            entry.Id = id;
            entry.Process = std::move(process);
            found.Add(std::move(entry), ProcessKey(id));
        }
    }
    if (ownHolds && TerminateOwnProcess) {
        FoundProcess entry;
        entry.Id = own;
        found.Add(std::move(entry), ProcessKey(own));
    }
    TerminateProcesses(found);
}

void CProcessManager::FindModuleProcesses9x(const tessel::KeyedList<std::wstring>& Modules, bool TerminateOwnProcess) {
    const DWORD own = kernel32().GetCurrentProcessId();
    FoundList found;
    bool ownHolds = false;
    const bool taken = walk::ForEachProcess9x([&](const PROCESSENTRY32& process) {
        bool holds = false;
        walk::ForEachModule9x(process.th32ProcessID, [&](const MODULEENTRY32& module) {
            holds = Modules.Exists(CutAtNull(walk::AnsiField(module.szExePath, sizeof(module.szExePath))));
            return holds;
        });
        if (!holds) return;
        const DWORD id = process.th32ProcessID;
        if (id == own) {
            ownHolds = true;
        } else if (!found.Exists(ProcessKey(id))) {
            FoundProcess entry;
            entry.Id = id;
            entry.Recheck = true;
            entry.Image = CutAtNull(walk::AnsiField(process.szExeFile, sizeof(process.szExeFile)));
            found.Add(std::move(entry), ProcessKey(id));
        }
    });
    if (!taken) ThrowLastError("CreateToolhelp32Snapshot", kNoProcessList);
    if (ownHolds && TerminateOwnProcess) {
        FoundProcess entry;
        entry.Id = own;
        found.Add(std::move(entry), ProcessKey(own));
    }
    TerminateProcesses(found);
}

void CProcessManager::TerminateProcesses(FoundList& Found) {
    const DWORD own = kernel32().GetCurrentProcessId();
    // A process told to end may still run a moment (a thread in the middle of a write): what
    // comes after the termination must not find it still at work.
    std::vector<std::pair<HANDLE, DWORD>> told;
    std::vector<tessel::UniqueHandle> opened;
    for (const FoundProcess& entry : Found) {
        if (entry.Id == own) continue;
        if (entry.Process) {
            if (MyTerminateProcess(entry.Process.get(), std::to_wstring(entry.Id)))
                told.emplace_back(entry.Process.get(), entry.Id);
            continue;
        }
        tessel::UniqueHandle process(kernel32().OpenProcess(kAllAccess, FALSE, entry.Id));
        if (!process) continue;
        if (entry.Recheck) {
            // The open handle keeps the id from being reused: if the id still shows the image
            // found in the walk, the handle is that process.
            bool same = false;
            walk::ForEachProcess9x([&](const PROCESSENTRY32& now) {
                if (now.th32ProcessID == entry.Id &&
                    CutAtNull(walk::AnsiField(now.szExeFile, sizeof(now.szExeFile))) == entry.Image)
                    same = true;
            });
            if (!same) continue;
        }
        if (MyTerminateProcess(process.get(), std::to_wstring(entry.Id))) {
            told.emplace_back(process.get(), entry.Id);
            opened.push_back(std::move(process));
        }
    }
    const ULONGLONG start = kernel32().GetTickCount64();
    for (const auto& [process, id] : told) {
        const ULONGLONG elapsed = kernel32().GetTickCount64() - start;
        if (WaitPumpingFor(process, elapsed < kEndWaitMs ? static_cast<unsigned long>(kEndWaitMs - elapsed) : 0)) continue;
        mLog->Log(tessel::kUnspecifiedFailure,
                  tessel::Format(L"Process for file '%1' did not end within %2 seconds. ", id, kEndWaitMs / 1000), 0,
                  Source(L"TerminateProcesses"));
    }
    if (!Found.Exists(ProcessKey(own))) return;
    tessel::UniqueHandle self(kernel32().OpenProcess(kAllAccess, FALSE, own));
    if (!self) return;
    MsgBoxEx(kOwnProcessMessage, MB_ICONINFORMATION | MB_OK);
    // Ends the program when it succeeds: nothing after it runs, also not its log line.
    MyTerminateProcess(self.get(), L"my:" + std::to_wstring(own));
}

bool CProcessManager::MyTerminateProcess(HANDLE Process, const std::wstring& Label) {
    const BOOL ok = kernel32().TerminateProcess(Process, 0);
    const DWORD code = ::GetLastError();
    if (ok) {
        mLog->Log(0, tessel::Format(L"Process for file '%1' terminated successfully. ", Label), 5,
                  Source(L"MyTerminateProcess"));
    } else {
        mLog->Log(tessel::kUnspecifiedFailure, tessel::Format(L"Cannot terminate process for file '%1'. %2", Label, code),
                  0, Source(L"MyTerminateProcess"));
    }
    return ok != FALSE;
}

// ---------------------------------------------------------------- renaming

tessel::KeyedList<std::wstring> CProcessManager::RenameParasiteFileEx(const std::wstring& ParasiteFile,
                                                                      FileStanding Agreed) {
    tessel::KeyedList<std::wstring> files;
    files.Add(ParasiteFile, ParasiteFile);
    tessel::KeyedList<FileStanding> agreed;
    agreed.Add(Agreed, ParasiteFile);
    return RenameParasiteFilesEx(files, agreed);
}

tessel::KeyedList<std::wstring> CProcessManager::RenameParasiteFilesEx(
    const tessel::KeyedList<std::wstring>& ParasiteFiles, const tessel::KeyedList<FileStanding>& Agreed) {
    tessel::KeyedList<std::wstring> stillThere;
    if (ParasiteFiles.Count() == 0) return stillThere;
    const std::wstring source = Source(L"RenameParasiteFilesEx");
    const auto agreedFor = [&](const std::wstring& file) {
        return Agreed.Exists(file) ? Agreed.Item(file) : FileStanding::WindowsFolder;
    };
    tessel::KeyedList<std::wstring> FilesToPostDelete;
    // An error with one file leaves the others to be renamed all the same.
    for (const std::wstring& file : ParasiteFiles) {
        Disabling outcome = Disabling::Failed;
        tessel::Guard(*mLog, source, 0, [&] { outcome = RenameParasiteFile(file, agreedFor(file)); });
        // A file that may not be disabled is not one that its holders keep from being renamed.
        if (outcome == Disabling::Refused) tessel::AddUnique(stillThere, file);
        else if (outcome == Disabling::Failed) tessel::AddUnique(FilesToPostDelete, file);
    }
    mLog->Log(0, L"FilesToPostDelete.Count=" + std::to_wstring(FilesToPostDelete.Count()), 5, source);
    if (FilesToPostDelete.Count() == 0) return stillThere;
    tessel::Guard(*mLog, source, 0, [&] { TerminateProcessesByModules(ParasiteFiles, false); });
    WaitPumping(kRetryDelayMs);
    // The retry opens and judges each file afresh: what its path reaches may have changed meanwhile.
    for (const std::wstring& file : FilesToPostDelete) {
        Disabling outcome = Disabling::Failed;
        tessel::Guard(*mLog, source, 0, [&] { outcome = RenameParasiteFile(file, agreedFor(file)); });
        if (outcome == Disabling::Disabled || outcome == Disabling::NothingToDisable) continue;
        if (outcome == Disabling::Failed && IsGone(file)) {
            // Not a step that could not be done: there is no file to disable.
            mLog->Log(0, tessel::Format(L"The file '%1' does not exist: there is nothing to disable.", tessel::LogName(file)),
                      5, source);
            continue;
        }
        tessel::AddUnique(stillThere, file);
    }
    return stillThere;
}

bool CProcessManager::MayTake(FileStanding standing, FileStanding agreed, const std::wstring& name) {
    const std::wstring source = Source(L"RenameParasiteFile");
    if (standing == FileStanding::ProgramFile) {
        // Without its own files the program could not start again to give the others back.
        mLog->Log(0, L"Not disabled, part of Velmora: " + name, 0, source);
        return false;
    }
    // The standings rank from an ordinary file to a whitelisted one: what the path reaches now is
    // more than what was agreed (a link turned, a drive letter changed).
    if (static_cast<int>(standing) > static_cast<int>(agreed)) {
        mLog->Log(0, L"Not disabled, part of Windows: " + name, 0, source);
        return false;
    }
    return true;
}

CProcessManager::Disabling CProcessManager::RenameParasiteFile(const std::wstring& path, FileStanding agreed) {
    const std::wstring source = Source(L"RenameParasiteFile");
    const std::wstring name = FileActedOn(path);
    if (name != path) mLog->Log(0, tessel::Format(L"Converting filename '%1' -> '%2'", path, name), 5, source);
    if (NamesNoFile(name)) {
        // A registration can name a device or a folder (a broken installer, a variable that
        // expands to a folder). A device has no name of its own to take, and a folder renamed
        // would take the user's files out of reach.
        mLog->Log(0, tessel::Format(L"'%1' is not a file: there is nothing to disable.", tessel::LogName(name)), 5, source);
        return Disabling::NothingToDisable;
    }
    if (!IsFullyQualifiedFile(name)) {
        // Never taken relative to the current folder.
        LogRenameFailure(!RunningOnNT, source, name, 0, 0, ERROR_BAD_PATHNAME);
        return Disabling::Failed;
    }
    // The record comes first: a file disabled without it could never be given back. A record
    // whose rename then fails lists nothing, since only disabled copies that exist are offered
    // back; it is taken back all the same unless it was there before.
    tessel::RegistryAccessor registry;
    bool recordedBefore = false;
    // A file that no path of this program's reaches cannot be recorded either: `file` is empty.
    const auto record = [&](const std::wstring& file) {
        if (!file.empty()) {
            tessel::PassOver([&] { recordedBefore = registry.ReadValue(HKEY_CURRENT_USER, kRemovedFilesKey, file).has_value(); });
            if (tessel::Guard(*mLog, source, 0, [&] { registry.WriteString(HKEY_CURRENT_USER, kRemovedFilesKey, file, file); }))
                return true;
        }
        mLog->Log(0, tessel::Format(L"Not disabled: '%1' could not be recorded for its restore.", file.empty() ? name : file),
                  0, source);
        return false;
    };
    const auto takeBack = [&](const std::wstring& file) {
        if (!recordedBefore) tessel::PassOver([&] { registry.DeleteValue(HKEY_CURRENT_USER, kRemovedFilesKey, file); });
    };
    if (!RunningOnNT) {
        // The 9x family renames by name alone: the file is judged once more right before the move.
        if (!MayTake(StandingOf(name), agreed, name) || !record(name)) return Disabling::Refused;
        if (RenameFile9x(name, GetParasiteFileName(name))) return Disabling::Disabled;
        takeBack(name);
        return Disabling::Failed;
    }
    const std::wstring step = Source(L"RenameFileNT");
    Disabling outcome = Disabling::Failed;
    tessel::Guard(*mLog, step, 0, [&] {
        // The fingerprint is taken before anything about the file changes; it is logged only.
        std::int32_t size = 0;
        const std::int32_t checksum = Hashier().HashFromFullFileName(name, size);
        // One handle from the check to the move: the file judged is the file renamed, whatever a
        // link on its way points to meanwhile. One that cannot be opened is not renamed yet; the
        // retry opens and judges it again once its holders are ended.
        const tessel::UniqueFile file = tessel::FileAccessor::OpenToRename(name);
        if (!file) {
            LogRenameFailure(false, step, name, size, checksum, ::GetLastError());
            return;
        }
        // What is disabled is the file the handle holds, under its own name where it lies; the
        // record names it by a path that reaches it, so that it can be given back. A file link
        // names another file's name.
        // A file no path reaches is refused: ending its holders and trying again would give none.
        const std::wstring own = tessel::FileAccessor::NamesOwnFile(file.get(), name) ? name : OwnPathOf(file.get());
        if (own.empty()) {
            record(own);
            outcome = Disabling::Refused;
            return;
        }
        if (own != name) mLog->Log(0, tessel::Format(L"Converting filename '%1' -> '%2'", name, own), 5, source);
        if (!MayTake(StandingOfOpen(file.get(), own), agreed, own) || !record(own)) {
            outcome = Disabling::Refused;
            return;
        }
        if (tessel::FileAccessor::RenameOpenFile(file.get(), name, DisabledName(own), kArchiveOnly)) {
            mLog->Log(0, tessel::Format(L"File renamed sucessfullly: '%1', (%2, %3)", own, size, checksum), 5, step);
            outcome = Disabling::Disabled;
            return;
        }
        LogRenameFailure(false, step, own, size, checksum, ::GetLastError());
        takeBack(own);
    });
    return outcome;
}

bool CProcessManager::SafeRenameFile(const std::wstring& OldFilename, const std::wstring& NewFilename) {
    return RunningOnNT ? RenameFileNT(OldFilename, NewFilename) : RenameFile9x(OldFilename, NewFilename);
}

std::wstring FreeReplacedName(const std::wstring& path) {
    for (int n = 1;; ++n) {
        const std::wstring name = path + L".replaced" + (n == 1 ? L"" : L"." + std::to_wstring(n));
        if (::GetFileAttributesW(tessel::FileAccessor::ExtendedPath(name).c_str()) == INVALID_FILE_ATTRIBUTES) return name;
    }
}

// The file that stands at the path again is the user's as much as the disabled one: it is kept
// beside it before the disabled copy takes the path. On the NT family it is copied, and the move
// back replaces it in one step, so the path never stands empty. The 9x family's move cannot
// replace a file (its rename deletes the target first): there it is moved aside, and moved back
// when the restore fails.
bool CProcessManager::RestoreRenamedFile(const std::wstring& DisabledFilename, const std::wstring& Filename) {
    const std::wstring source = Source(L"RestoreRenamedFile");
    if (!tessel::FileAccessor::Instance().FileExists(Filename)) return SafeRenameFile(DisabledFilename, Filename);
    auto& su = tessel::SystemUtility::Instance();
    const std::wstring kept = FreeReplacedName(Filename);
    const std::string standingAnsi = tessel::SystemUtility::ToAnsi(Filename);
    const std::string keptAnsi = tessel::SystemUtility::ToAnsi(kept);
    const BOOL keptOk = RunningOnNT ? kernel32().CopyFileW(tessel::FileAccessor::ExtendedPath(Filename).c_str(),
                                                           tessel::FileAccessor::ExtendedPath(kept).c_str(), TRUE)
                                    : kernel32().MoveFileA(standingAnsi.c_str(), keptAnsi.c_str());
    if (!keptOk) {
        const unsigned long code = ::GetLastError();
        mLog->Log(0, tessel::Format(L"Cannot keep the file that stands at '%1' as '%2'. %3", Filename, kept, su.SystemErrorText(code)),
                  0, source);
        return false;
    }
    if (SafeRenameFile(DisabledFilename, Filename)) {
        mLog->Log(0, tessel::Format(L"The file that stood at '%1' is kept as '%2'.", Filename, kept), 5, source);
        return true;
    }
    if (RunningOnNT) {
        // The move back replaced nothing: the file still stands there, and its copy goes.
        kernel32().SetFileAttributesW(tessel::FileAccessor::ExtendedPath(kept).c_str(), FILE_ATTRIBUTE_ARCHIVE);
        kernel32().DeleteFileW(tessel::FileAccessor::ExtendedPath(kept).c_str());
    } else if (!kernel32().MoveFileA(keptAnsi.c_str(), standingAnsi.c_str())) {
        mLog->Log(0, tessel::Format(L"The file that stood at '%1' is kept as '%2'.", Filename, kept), 0, source);
    }
    return false;
}

void CProcessManager::LogRenameFailure(bool nineX, const std::wstring& source, const std::wstring& name,
                                       std::int32_t size, std::int32_t checksum, unsigned long code) {
    const std::wstring text = tessel::SystemUtility::Instance().SystemErrorText(code);
    if (nineX)
        mLog->Log(0, tessel::Format(L"Failed to rename file '%1', (%2, %3). %4(%5)", name, size, checksum, text, code), 5,
                  source);
    else
        mLog->Log(0, tessel::Format(L"Failed to rename file '%1', (%2, %3). %4", name, size, checksum, text), 5, source);
    mLog->Log(0, L"Encoded file name: " + tessel::text::EncodeString(tessel::text::ToUtf16Le(name)), 5, source);
}

bool CProcessManager::RenameLogged(const wchar_t* step, bool nineX, const std::wstring& OldFilename,
                                   const std::function<BOOL()>& move) {
    bool result = false;
    const std::wstring source = Source(step);
    tessel::Guard(*mLog, source, 0, [&] {
        // The fingerprint is taken before anything about the file changes.
        std::int32_t size = 0;
        const std::int32_t checksum = Hashier().HashFromFullFileName(OldFilename, size);
        const BOOL moved = move();
        const DWORD code = ::GetLastError();
        if (moved) {
            mLog->Log(0, tessel::Format(L"File renamed sucessfullly: '%1', (%2, %3)", OldFilename, size, checksum), 5,
                      source);
            result = true;
        } else {
            LogRenameFailure(nineX, source, OldFilename, size, checksum, code);
        }
    });
    return result;
}

bool CProcessManager::RenameFileNT(const std::wstring& OldFilename, const std::wstring& NewFilename) {
    return RenameLogged(L"RenameFileNT", false, OldFilename, [&]() -> BOOL {
        const std::wstring from = tessel::FileAccessor::ExtendedPath(OldFilename);
        const std::wstring to = tessel::FileAccessor::ExtendedPath(NewFilename);
        tessel::PassOver([&] { kernel32().SetFileAttributesW(from.c_str(), kArchiveOnly); });
        // A file already at the disabled name is replaced by the move itself, so that a move
        // that fails loses nothing.
        bool replace = false;
        tessel::PassOver([&] {
            if (tessel::FileAccessor::Instance().FileExists(NewFilename)) {
                replace = true;
                kernel32().SetFileAttributesW(to.c_str(), kArchiveOnly);
            }
        });
        return replace ? kernel32().MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)
                       : kernel32().MoveFileW(from.c_str(), to.c_str());
    });
}

bool CProcessManager::RenameFile9x(const std::wstring& OldFilename, const std::wstring& NewFilename) {
    return RenameLogged(L"RenameFile9x", true, OldFilename, [&]() -> BOOL {
        const std::string from = tessel::SystemUtility::ToAnsi(OldFilename);
        const std::string to = tessel::SystemUtility::ToAnsi(NewFilename);
        tessel::PassOver([&] { kernel32().SetFileAttributesA(from.c_str(), kArchiveOnly); });
        tessel::PassOver([&] {
            if (tessel::FileAccessor::Instance().FileExists(NewFilename)) {
                kernel32().SetFileAttributesA(to.c_str(), kArchiveOnly);
                kernel32().DeleteFileA(to.c_str());
            }
        });
        return kernel32().MoveFileA(from.c_str(), to.c_str());
    });
}

}  // namespace velmora
