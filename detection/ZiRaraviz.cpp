#include "detection/ZiRaraviz.h"

#include <cmath>

#include "detection/BHOManager.h"
#include "detection/DetectionSource.h"
#include "detection/MRoDoraziva.h"
#include "detection/RoDoraziva.h"
#include "detection/StartupManager.h"
#include "inspection/AppServices.h"
#include "inspection/BackupState.h"
#include "inspection/EndProgram.h"
#include "inspection/FileStanding.h"
#include "inspection/Globals.h"
#include "inspection/MAPI.h"
#include "inspection/ProcessManager.h"
#include "inspection/Reboot.h"
#include "tessel/Error.h"
#include "tessel/SystemUtility.h"

namespace velmora {

namespace {

constexpr int kOK = 1;
constexpr long kOkCancelExclamation = 49, kOkExclamation = 48, kOkCancelInformation = 65;

// A stored boot time is a date between the years 100 and 9999, as the runtime's dates are.
bool IsDate(double d) { return std::isfinite(d) && d >= -657434.0 && d <= 2958465.99999; }

// The cleanup decides on its own: it never takes a file of the program itself, nor one that
// a system whitelist names (other files of the Windows folder, where parasites live too, go).
tessel::KeyedList<std::wstring> WithoutProtectedFiles(tessel::Logger& log, const tessel::KeyedList<std::wstring>& files,
                                                      const wchar_t* source) {
    tessel::KeyedList<std::wstring> kept;
    for (const std::wstring& file : files) {
        const FileStanding standing = StandingOf(file);
        if (standing == FileStanding::ProgramFile) {
            log.Log(0, L"Not disabled, part of Velmora: " + file, 5, source);
        } else if (standing == FileStanding::SystemWhitelist) {
            log.Log(0, L"Not disabled, part of Windows: " + file, 5, source);
        } else {
            tessel::AddUnique(kept, file);
        }
    }
    return kept;
}

}  // namespace

void CZiRaraviz::Init(tessel::Logger& Log) {
    log_ = &Log;
    reg_ = std::make_unique<tessel::RegistryAccessor>();
}

void CZiRaraviz::Check() {
    parasitesFound_ = false;
    detectionComplete_ = false;
    tessel::Guard(*log_, L"CZiRaraviz.Check", 0, [&] {
        CRoDoraziva detector;
        detector.Init(*log_);
        tessel::KeyedList<std::wstring> files, bhos;
        detectionComplete_ = detector.DetectParasites(files, bhos, source_);
        if (files.Count() + bhos.Count() > 0) parasitesFound_ = true;
    });
    log_->Log(0, parasitesFound_ ? L"True" : L"False", 5, L"CZiRaraviz.Check");
    if (!detectionComplete_)
        log_->Log(0, L"The detection did not complete: its result is not taken as a clean machine.", 0,
                  L"CZiRaraviz.Check");
}

void CZiRaraviz::Perform() {
    const wchar_t* const kSource = L"CZiRaraviz.Perform";
    tessel::Guard(
        *log_, kSource, 0,
        [&] {
            const auto value = reg_->ReadValue(HKEY_CURRENT_USER, kProductKey, kCleanupTimeValue);
            const bool isText = value && (value->type == REG_SZ || value->type == REG_EXPAND_SZ);
            const std::wstring text = isText ? reg_->ReadString(HKEY_CURRENT_USER, kProductKey, kCleanupTimeValue)
                                             : std::wstring(value ? L"(not text)" : L"");
            bool stored = false;
            double storedBoot = 0;
            if (!text.empty()) {
                try {
                    storedBoot = StringToEightBytes(text);
                    stored = isText && IsDate(storedBoot);
                } catch (const tessel::Error&) {
                    stored = false;
                }
                if (!stored) {
                    // A value that is no boot time would stop every later start at an error.
                    log_->Log(0, L"The stored cleanup time is not a date and is removed: " + text, 0, kSource);
                    reg_->DeleteValue(HKEY_CURRENT_USER, kProductKey, kCleanupTimeValue);
                }
            }
            const double boot = GetBootTime();
            // Boot times are whole seconds: compare in milliseconds, so that exactly two minutes
            // apart never reads as less through the rounding of the dates.
            const bool sameBoot = stored && std::llround(std::fabs(boot - storedBoot) * 86400000.0) <
                                                std::llround(CleanupTimeWindow * 86400000.0);
            auto deleteValue = [&] { reg_->DeleteValue(HKEY_CURRENT_USER, kProductKey, kCleanupTimeValue); };

            if (parasitesFound_) {
                // Before the offer, so that its OK is given knowing that nothing could be undone.
                if ((!stored || sameBoot) && !ConfirmChangeWithoutBackup(*log_, kSource)) return;
                if (!stored) {
                    if (MsgBoxEx(app::LoadResString(IDS_CLEANUP_OFFER), kOkCancelExclamation) == kOK) CleanUp();
                } else if (sameBoot) {
                    if (MsgBoxEx(app::LoadResString(IDS_CLEANUP_OFFER_149), kOkCancelExclamation) == kOK) CleanUp();
                    else deleteValue();
                }
                return;  // a value from an earlier boot stays while parasites remain
            }
            if (!stored) return;
            if (!detectionComplete_) {
                // Nothing found by a run that did not finish says nothing about the cleanup.
                log_->Log(0, L"The detection did not complete: the stored cleanup time is kept.", 0, kSource);
                return;
            }
            if (!sameBoot) {
                deleteValue();
                return;
            }
            if (MsgBoxEx(app::LoadResString(IDS_RESTART_REQUIRED), kOkCancelExclamation) == kOK) {
                std::wstring errorText;
                if (!RebootSystem(errorText)) RestartFailed(errorText, kSource);
                EndProgram();
            }
            deleteValue();
        },
        [&](const tessel::ErrorDescription& error) { ReportUnexpected(error); });
}

void CZiRaraviz::CleanUp() {
    const wchar_t* const kSource = L"CZiRaraviz.CleanUp";
    app::SetMousePointer(app::kHourglass);
    tessel::Guard(
        *log_, kSource, 0,
        [&] {
            log_->Log(0, L"CleanUp started", 5, kSource);
            ReadKnownFilesAgain();
            CRoDoraziva detector;
            detector.Init(*log_);
            CBHOManager bhoManager;
            bhoManager.Init(*log_);
            CStartupManager startupManager;
            startupManager.Init(*log_);

            int failures = 0;
            tessel::KeyedList<std::wstring> files, bhos;
            if (!detector.DetectParasites(files, bhos, source_)) {
                ++failures;
                log_->Log(0, L"The detection did not complete; what it found is cleaned up.", 0, kSource);
            }
            for (const std::wstring& id : bhos) {
                if (!bhoManager.DeleteBHO(id)) {
                    ++failures;
                    log_->Log(0, L"Could not delete BHO(" + id + L")", 0, kSource);
                }
            }
            for (const std::wstring& file : files) {
                // A path the ANSI code page cannot carry may have been started under another
                // spelling: its startup entries go now.
                const std::wstring roundTrip = tessel::SystemUtility::FromAnsi(tessel::SystemUtility::ToAnsi(file));
                if (roundTrip.find(L'?') != std::wstring::npos) startupManager.RemoveStartup(file);
            }
            FinishDisabling(WithoutProtectedFiles(*log_, files, kSource), failures,
                            {IDS_OPERATION_COMPLETE, IDS_CLEANUP_NOT_ALL, kSource, true});
        },
        [&](const tessel::ErrorDescription& error) { ReportUnexpected(error); });
    app::SetMousePointer(app::kDefaultPointer);
}

void CZiRaraviz::FinishDisabling(const tessel::KeyedList<std::wstring>& files, int notDone, const DisablingEnd& end,
                                 const tessel::KeyedList<FileStanding>& agreed) {
    CProcessManager processManager;
    processManager.Init(*log_);
    const tessel::KeyedList<std::wstring> stillThere = processManager.RenameParasiteFilesEx(files, agreed);
    for (const std::wstring& name : stillThere) log_->Log(0, L"Not disabled: " + name, 0, end.source);
    notDone += static_cast<int>(stillThere.Count());
    // A parasite that still runs writes its settings back: every other holder is ended before
    // the settings are restored. The program's own process is not among them, since it may
    // hold one of the files itself and must first restore and offer the restart. Holders that
    // cannot be looked for are a step not done; the settings are restored all the same.
    if (!tessel::Guard(*log_, end.source, 0, [&] { processManager.TerminateProcessesByModules(files, false); }))
        ++notDone;
    notDone += RestoreConfigurationSettings();

    const std::wstring question =
        ClosingQuestion(app::LoadResString(end.completeText), app::LoadResString(end.notAllText), notDone);
    if (MsgBoxEx(question, kOkCancelInformation) == kOK) {
        if (end.storeCleanupTime)
            reg_->WriteString(HKEY_CURRENT_USER, kProductKey, kCleanupTimeValue, EightBytesToString(GetBootTime()));
        std::wstring errorText;
        if (!RebootSystem(errorText)) RestartFailed(errorText, end.source);
        EndProgram();
    }
    // The question has told the user what was not done: a search that fails now is logged.
    tessel::Guard(*log_, end.source, 0, [&] { processManager.TerminateProcessesByModules(files, true); });
}

void CZiRaraviz::RestartFailed(const std::wstring& errorText, const wchar_t* source) {
    const std::wstring text = tessel::Format(app::LoadResString(IDS_RESTART_MANUALLY), errorText);
    log_->Log(0, text, 0, source);
    MsgBoxEx(text, kOkExclamation);
}

void CZiRaraviz::ReportUnexpected(const tessel::ErrorDescription& error) {
    tessel::PassOver([&] { MsgBoxEx(app::LoadResString(IDS_UNEXPECTED_ERROR) + error.text, kOkExclamation); });
}

std::wstring ClosingQuestion(const std::wstring& completeText, const std::wstring& notAllText, int notDone) {
    if (notDone <= 0) return completeText;
    const std::size_t firstSentence = completeText.find(L". ");
    const std::wstring rest = firstSentence == std::wstring::npos ? completeText : completeText.substr(firstSentence + 2);
    return tessel::Format(notAllText, notDone) + rest;
}

}  // namespace velmora

namespace velmora {

namespace {

enum class Action { DeleteValue, WriteString, WriteDWord, AppInit, Handler, DeleteKey };

struct Row {
    HKEY hive;
    const wchar_t* key;
    const wchar_t* name;
    Action action;
    const wchar_t* value;    // the text written, or the handler's stock class
    const wchar_t* server;   // handlers: the expected server file
};

const wchar_t kMain[] = L"Software\\Microsoft\\Internet Explorer\\Main";
const wchar_t kPolicies[] = L"Software\\Policies\\Microsoft\\Internet Explorer\\Control Panel";
const wchar_t kStyles[] = L"Software\\Microsoft\\Internet Explorer\\Styles";
const wchar_t kPrefixes[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\URL\\Prefixes";

}  // namespace

int CZiRaraviz::RestoreConfigurationSettings() {
    const wchar_t* const kSource = L"CZiRaraviz.RestoreConfigurationSettings";
    log_->Log(0, L"Restoring all configuration settings", 5, kSource);
    const std::wstring localPageUser = WinDir + (RunningOnNT ? L"System32\\blank.htm" : L"System\\blank.htm");
    const std::wstring localPageMachine =
        RunningOnNT ? std::wstring(L"%SystemRoot%\\system32\\blank.htm") : WinDir + L"system\\blank.htm";
    const Row rows[] = {
        {HKEY_CURRENT_USER, kMain, L"Default_Page_URL", Action::DeleteValue, nullptr, nullptr},
        {HKEY_LOCAL_MACHINE, kMain, L"Default_Page_URL", Action::WriteString, StockDefaultPageUrl, nullptr},
        {HKEY_CURRENT_USER, kMain, L"Start Page", Action::WriteString, L"about:blank", nullptr},
        {HKEY_LOCAL_MACHINE, kMain, L"Start Page", Action::WriteString, L"about:blank", nullptr},
        {HKEY_CURRENT_USER, kPolicies, L"HomePage", Action::DeleteValue, nullptr, nullptr},
        {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Internet Explorer\\AboutURLs", L"blank", Action::WriteString,
         L"res://mshtml.dll/blank.htm", nullptr},
        {HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows", L"AppInit_DLLs", Action::AppInit,
         nullptr, nullptr},
        {HKEY_CURRENT_USER, kStyles, L"Use My Stylesheet", Action::WriteDWord, nullptr, nullptr},
        {HKEY_CURRENT_USER, kStyles, L"User Stylesheet", Action::WriteString, nullptr, nullptr},
        {HKEY_CURRENT_USER, kMain, L"Local Page", Action::WriteString, localPageUser.c_str(), nullptr},
        {HKEY_LOCAL_MACHINE, kMain, L"Local Page", Action::WriteString, localPageMachine.c_str(), nullptr},
        {HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\URL\\DefaultPrefix", L"", Action::WriteString,
         L"http://", nullptr},
        {HKEY_LOCAL_MACHINE, kPrefixes, L"ftp", Action::WriteString, L"ftp://", nullptr},
        {HKEY_LOCAL_MACHINE, kPrefixes, L"gopher", Action::WriteString, L"gopher://", nullptr},
        {HKEY_LOCAL_MACHINE, kPrefixes, L"home", Action::WriteString, L"http://", nullptr},
        {HKEY_LOCAL_MACHINE, kPrefixes, L"mosaic", Action::WriteString, L"http://", nullptr},
        {HKEY_LOCAL_MACHINE, kPrefixes, L"www", Action::WriteString, L"http://", nullptr},
        {HKEY_CLASSES_ROOT, L"PROTOCOLS\\Handler\\about", L"CLSID", Action::Handler,
         L"{3050F406-98B5-11CF-BB82-00AA00BDCE0B}", L"mshtml.dll"},
        {HKEY_CLASSES_ROOT, L"PROTOCOLS\\Handler\\file", L"CLSID", Action::Handler,
         L"{79eac9e7-baf9-11ce-8c82-00aa004ba90b}", L"urlmon.dll"},
        {HKEY_CLASSES_ROOT, L"PROTOCOLS\\Handler\\ftp", L"CLSID", Action::Handler,
         L"{79eac9e3-baf9-11ce-8c82-00aa004ba90b}", L"urlmon.dll"},
        {HKEY_CLASSES_ROOT, L"PROTOCOLS\\Handler\\gopher", L"CLSID", Action::Handler,
         L"{79eac9e4-baf9-11ce-8c82-00aa004ba90b}", L"urlmon.dll"},
        {HKEY_CLASSES_ROOT, L"PROTOCOLS\\Handler\\http", L"CLSID", Action::Handler,
         L"{79eac9e2-baf9-11ce-8c82-00aa004ba90b}", L"urlmon.dll"},
        {HKEY_CLASSES_ROOT, L"PROTOCOLS\\Handler\\https", L"CLSID", Action::Handler,
         L"{79eac9e5-baf9-11ce-8c82-00aa004ba90b}", L"urlmon.dll"},
        {HKEY_CLASSES_ROOT, L"PROTOCOLS\\Handler\\local", L"CLSID", Action::Handler,
         L"{79eac9e7-baf9-11ce-8c82-00aa004ba90b}", L"urlmon.dll"},
        {HKEY_CLASSES_ROOT, L"PROTOCOLS\\Filter\\text/html", nullptr, Action::DeleteKey, nullptr, nullptr},
        {HKEY_CLASSES_ROOT, L"PROTOCOLS\\Filter\\text/plain", nullptr, Action::DeleteKey, nullptr, nullptr},
        {HKEY_CURRENT_USER, kPolicies, L"ResetWebSettings", Action::DeleteValue, nullptr, nullptr},
        {HKEY_CURRENT_USER, kMain, L"FirstHomePage", Action::DeleteValue, nullptr, nullptr},
    };
    int failed = 0;
    for (const Row& row : rows) {
        // A row that cannot be done is logged and costs that row alone: the current user's
        // own pages must not stay hijacked because a machine-wide value was refused.
        const bool done = tessel::Guard(*log_, kSource, 0, [&] {
            switch (row.action) {
                case Action::DeleteValue:
                    reg_->DeleteValue(row.hive, row.key, row.name);
                    break;
                case Action::WriteString:
                    // The user style sheet is cleared with 260 NUL characters, not deleted.
                    reg_->WriteString(row.hive, row.key, row.name, row.value ? row.value : std::wstring(260, L'\0'));
                    break;
                case Action::WriteDWord:
                    reg_->WriteDWord(row.hive, row.key, row.name, 0);
                    break;
                case Action::AppInit: {
                    if (!RunningOnNT) break;
                    const std::wstring current = tessel::SystemUtility::Lower(reg_->ReadString(row.hive, row.key, row.name));
                    reg_->WriteString(row.hive, row.key, row.name,
                                      current.find(L"wbsys.dll") != std::wstring::npos ? L"wbsys.dll" : L"");
                    break;
                }
                case Action::Handler: {
                    const std::wstring classId = reg_->ReadString(row.hive, row.key, row.name);
                    if (classId.empty()) break;
                    std::wstring serverPath;
                    if (!IsComServerFile(*reg_, classId, row.server, serverPath))
                        reg_->WriteString(row.hive, row.key, row.name, row.value);
                    break;
                }
                case Action::DeleteKey:
                    if (!reg_->DeleteKey(row.hive, row.key) && reg_->KeyExists(row.hive, row.key))
                        throw tessel::Error(tessel::kUnspecifiedFailure,
                                            L"The key '" + tessel::RegistryAccessor::HiveName(row.hive) + L"\\" +
                                                row.key + L"' could not be deleted.");
                    break;
            }
        });
        if (!done) ++failed;
    }
    return failed;
}

}  // namespace velmora
