// Zazi Dururuv in the test process under Xvfb: real files in a temporary folder, the record in
// a redirected registry, the message boxes, termination and the restart scripted.
#include <gtest/gtest.h>

#include <windows.h>

#include <set>

#include "ProtectedFilesSupport.h"
#include "ToolsDialogTestSupport.h"
#include "inspection/MMain.h"
#include "inspection/ProcessManager.h"
#include "tessel/RegistryAccessor.h"
#include "tessel/SystemUtility.h"
#include "ui/SafeRemover.h"
#include "ui/ToolsDialogIds.h"

using namespace tools_testing;
using process_testing::CountOf;
using process_testing::Entry;
using testing_support::Narrow;
using velmora::GetParasiteFileName;
using velmora::ui::FSafeRemover;

namespace {

const std::wstring kSource = L"FSafeRemover.cmdDisableParasites_Click";
const Box kConfirm{L"Are you sure you want to disable programs?", 49};
const Box kComplete{L"Operation complete successfully. Close all opened documents then press OK button to restart Windows.", 65};
const Box kOneNotDone{L"Zazi Dururuv finished, but 1 of its files or steps could not be done; the log lists them. Close all "
                      L"opened documents then press OK button to restart Windows.",
                      65};
Box NotFound(const std::wstring& name) {
    return {L"File '" + name + L"' is not found on file system. This file will be unloaded from memory only. Press OK to continue.",
            49};
}

bool g_timedOut = false;
void CALLBACK HideAtTimeout(HWND window, UINT, UINT_PTR, DWORD) {
    g_timedOut = true;
    ::ShowWindow(window, SW_HIDE);
}

class SafeRemover : public testing::Test {
protected:
    void SetUp() override {
        window.Init(log.Logger());
        dialog = window.Create(nullptr);
        ASSERT_NE(dialog, nullptr);
    }
    std::wstring File(const std::wstring& name) {
        testing_support::WriteBytes(dir / name, "abc");
        return dir / name;
    }
    // Types the text into the file box and presses Disable Parasites; true when the program ended.
    bool Disable(const std::wstring& typed, std::initializer_list<int> answers) {
        scripted.boxes.clear();
        scripted.answers = answers;
        ::SetDlgItemTextW(dialog, IDC_SR_FILES, typed.c_str());
        Click(dialog, IDC_SR_DISABLE);
        return scripted.Ended();
    }
    bool Disabled(const std::wstring& path) {
        return !Exists(path) && Exists(GetParasiteFileName(path)) &&
               tessel::RegistryAccessor().ReadString(HKEY_CURRENT_USER, velmora::kRemovedFilesKey, path) == path;
    }
    bool Untouched(const std::wstring& path) { return Exists(path) && !Exists(GetParasiteFileName(path)); }
    std::size_t Disablings(const std::wstring& path = L"") {
        return CountOf(log.Text(), path.empty() ? std::string("\tDisabling ") : Entry(5, 0, kSource, L"Disabling " + path));
    }

    testing_support::ScratchHives hives;
    testing_support::TempDir dir;
    process_testing::TestLog log;
    Scripted scripted;
    FSafeRemover window;
    HWND dialog = nullptr;
};

}  // namespace

TEST_F(SafeRemover, AFileGivenTwiceOnceByItsShortNameIsDisabledAndLoggedOnce) {
    const std::wstring a = File(L"Long File Name Alpha.dll"), b = File(L"beta.dll");
    wchar_t shortName[MAX_PATH] = {};
    ASSERT_GT(::GetShortPathNameW(a.c_str(), shortName, MAX_PATH), 0u);
    ASSERT_NE(std::wstring(shortName), a);
    EXPECT_FALSE(Disable(a + L"\r\n" + b + L"\n\n" + shortName + L"\r\n", {IDOK, IDCANCEL}));
    EXPECT_EQ(scripted.boxes, (std::vector<Box>{kConfirm, kComplete}));
    EXPECT_TRUE(Disabled(a));
    EXPECT_TRUE(Disabled(b));
    EXPECT_EQ(Disablings(a), 1u) << log.Text();
    EXPECT_EQ(Disablings(), 2u);
    EXPECT_TRUE(scripted.children.Terminated.empty());
    // Cancel on the restart question: the program goes on with the window open.
    EXPECT_EQ(scripted.restarts, 0);
}

TEST_F(SafeRemover, OKOnTheRestartQuestionRestartsAndEndsTheProgramAlsoWhenTheRestartIsRefused) {
    for (const bool refused : {false, true}) {
        SCOPED_TRACE(refused);
        scripted.restarts = 0;
        scripted.restartFails = refused;
        EXPECT_TRUE(Disable(File(refused ? L"r1.dll" : L"r0.dll"), {IDOK, IDOK}));
        EXPECT_EQ(scripted.restarts, 1);
        const std::wstring manually = tessel::SystemUtility::Instance().SystemErrorText(ERROR_PRIVILEGE_NOT_HELD) +
                                      L" Please restart Windows manually.";
        std::vector<Box> expected{kConfirm, kComplete};
        if (refused) expected.push_back({manually, 48});
        EXPECT_EQ(scripted.boxes, expected);
        EXPECT_EQ(CountOf(log.Text(), Entry(0, 0, kSource, manually)), refused ? 1u : 0u);
    }
}

TEST_F(SafeRemover, AMissingFileAnsweredCancelStopsEverythingAndOKGoesOnWithoutIt) {
    const std::wstring a = File(L"first.dll"), b = File(L"second.dll"), missing = dir / L"missing.dll";
    const std::wstring typed = a + L"\r\n" + missing + L"\r\n" + b;
    EXPECT_FALSE(Disable(typed, {IDOK, IDCANCEL}));
    EXPECT_EQ(scripted.boxes, (std::vector<Box>{kConfirm, NotFound(missing)}));
    EXPECT_TRUE(Untouched(a));
    EXPECT_TRUE(Untouched(b));
    EXPECT_EQ(Disablings(), 0u);

    EXPECT_FALSE(Disable(typed, {IDOK, IDOK, IDCANCEL}));
    EXPECT_EQ(scripted.boxes, (std::vector<Box>{kConfirm, NotFound(missing), kComplete}));
    EXPECT_TRUE(Disabled(a));
    EXPECT_TRUE(Disabled(b));
    EXPECT_EQ(Disablings(missing), 0u);
}

// No backup written since the program started: the user hears it before anything is asked or
// changed; Cancel disables nothing, OK goes on as usual and is logged.
TEST_F(SafeRemover, WithoutABackupItAsksFirstAndCancelDisablesNothing) {
    scripted.backup.Forget();
    const Box warning{L"No backup of the settings has been written since Velmora started.\n\nWithout a backup of the "
                      L"settings this change cannot be undone. Press OK to go on anyway, or Cancel to change nothing.",
                      MB_OKCANCEL | MB_ICONEXCLAMATION | MB_DEFBUTTON2};
    const std::wstring a = File(L"unbacked.dll");
    EXPECT_FALSE(Disable(a, {IDCANCEL}));
    EXPECT_EQ(scripted.boxes, std::vector<Box>{warning});
    EXPECT_TRUE(Untouched(a));
    EXPECT_EQ(Disablings(), 0u);

    EXPECT_FALSE(Disable(a, {IDOK, IDOK, IDCANCEL}));
    EXPECT_EQ(scripted.boxes, (std::vector<Box>{warning, kConfirm, kComplete}));
    EXPECT_TRUE(Disabled(a));
    EXPECT_EQ(CountOf(log.Text(), Entry(4, 0, kSource, L"Going on without a settings backup: No backup of the settings has "
                                                       L"been written since Velmora started.")),
              1u);
}

TEST_F(SafeRemover, AFolderLineAndALineOfBlanksAreNotFoundAndTheFolderKeepsItsName) {
    const std::wstring folder = dir / L"folder.dll";
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    EXPECT_FALSE(Disable(folder + L"\r\n   \r\n", {IDOK, IDOK, IDCANCEL}));
    EXPECT_EQ(scripted.boxes, (std::vector<Box>{kConfirm, NotFound(folder), NotFound(L"")}));
    EXPECT_TRUE(Untouched(folder));
}

TEST_F(SafeRemover, KernelByItsShortNameIsTheSystemFoldersCopyAndCancelOnTheWindowsQuestionLeavesItAlone) {
    // Nothing in the system folder may be renamed, whatever the window decides.
    testing_support::RenameWatch renames([](const std::wstring& file) {
        return tessel::SystemUtility::Lower(file).find(velmora::SysDir) != std::wstring::npos;
    });
    const std::wstring other = File(L"other.dll");
    EXPECT_FALSE(Disable(L"kernel32.dll\r\n" + other + L"\r\nKERNEL32.DLL", {IDOK, IDCANCEL, IDCANCEL}));
    // Checked first: what follows may end the test.
    EXPECT_TRUE(renames.refused.empty());
    EXPECT_FALSE(renames.renamed.empty());
    for (const std::wstring& file : renames.renamed)
        EXPECT_EQ(tessel::SystemUtility::Lower(file), tessel::SystemUtility::Lower(other));
    ASSERT_EQ(scripted.boxes.size(), 3u);
    const std::wstring& question = scripted.boxes[1].text;
    const std::size_t end = question.find(L"' is part of Windows.");
    ASSERT_NE(end, std::wstring::npos) << Narrow(question);
    EXPECT_EQ(tessel::SystemUtility::Lower(question.substr(1, end - 1)), velmora::SysDir + L"kernel32.dll");
    EXPECT_EQ(scripted.boxes[1].style, 49u | MB_DEFBUTTON2);
    EXPECT_EQ(scripted.boxes[2], kOneNotDone);
    EXPECT_TRUE(Disabled(other));
    EXPECT_EQ(Disablings(), 1u);
    EXPECT_EQ(CountOf(log.Text(), "\tNot disabled, part of Windows: "), 1u) << log.Text();
}

TEST_F(SafeRemover, APressDuringTheRenamingsWaitStartsNothingAndALockedFileIsCounted) {
    const std::wstring locked = File(L"locked.dll"), free = File(L"free.dll");
    tessel::UniqueFile hold(::CreateFileW(locked.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(static_cast<bool>(hold));
    // Handled by the two-second wait that follows the failed rename, inside the first press.
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_SR_DISABLE, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(dialog, IDC_SR_DISABLE)));
    EXPECT_FALSE(Disable(locked + L"\r\n" + free, {IDOK, IDCANCEL, IDOK, IDCANCEL}));
    EXPECT_EQ(scripted.boxes, (std::vector<Box>{kConfirm, kOneNotDone}));
    EXPECT_TRUE(Untouched(locked));
    EXPECT_TRUE(Disabled(free));
    EXPECT_EQ(Disablings(locked), 1u);
    EXPECT_EQ(CountOf(log.Text(), Entry(0, 0, kSource, L"Not disabled: " + locked)), 1u) << log.Text();
    MSG left;
    EXPECT_FALSE(::PeekMessageW(&left, dialog, WM_COMMAND, WM_COMMAND, PM_REMOVE)) << "the second press was not handled";
}

TEST_F(SafeRemover, F6InTheFileBoxOrOnAButtonFlipsTheHiddenButtonOnceAndTheCloseBoxHides) {
    ::ShowWindow(dialog, SW_SHOW);
    const HWND find = ::GetDlgItem(dialog, IDC_SR_FIND);
    std::vector<bool> shown;
    for (const int id : {IDC_SR_FILES, IDC_SR_FILES, IDC_SR_PASTE}) {
        const HWND target = ::GetDlgItem(dialog, id);
        ::SetFocus(target);
        ::PostMessageW(target, WM_KEYUP, VK_F6, 0xC0000001);
        velmora::ui::PumpPending();
        shown.push_back(::IsWindowVisible(find) != FALSE);
    }
    EXPECT_EQ(shown, (std::vector<bool>{true, false, true}));
    EXPECT_EQ(CountOf(log.Text(), Entry(5, 0, L"FSafeRemover.Form_KeyUp", L"Enabling FindSuspiciousFiles button")), 2u);
    ::SendMessageW(dialog, WM_CLOSE, 0, 0);
    EXPECT_FALSE(::IsWindowVisible(dialog));
    EXPECT_TRUE(::IsWindow(dialog));
}

TEST_F(SafeRemover, EscInTheFileBoxHidesTheWindowAndEndsTheModalDisplay) {
    const HWND box = ::GetDlgItem(dialog, IDC_SR_FILES);
    ::PostMessageW(box, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    ::PostMessageW(box, WM_KEYUP, VK_ESCAPE, 0xC0010001);
    // Should Esc not hide it, the window goes after ten seconds and the test fails.
    ::SetTimer(dialog, 1, 10000, HideAtTimeout);
    window.ShowModal(nullptr);
    ::KillTimer(dialog, 1);
    EXPECT_FALSE(g_timedOut);
    EXPECT_FALSE(::IsWindowVisible(dialog));
}

namespace {

Box NotAll(int notDone) {
    return {L"Zazi Dururuv finished, but " + std::to_wstring(notDone) +
                L" of its files or steps could not be done; the log lists them. Close all opened documents then press OK "
                L"button to restart Windows.",
            65};
}
// Cancel is its default button.
Box WindowsQuestion(const std::wstring& path) { return {protected_files::WindowsQuestion(path), 49 | MB_DEFBUTTON2}; }
Box ProgramFileKept(const std::wstring& path) { return {protected_files::ProgramFileKept(path), 48}; }

}  // namespace

TEST_F(SafeRemover, WindowsFilesAskOnceMoreTheProgramsOwnAreNeverDisabledAndDevicesAreNotFound) {
    using protected_files::Kind;
    for (const int second : {IDCANCEL, IDOK}) {
        SCOPED_TRACE(second);
        protected_files::ScratchMachine machine;
        std::wstring typed;
        std::vector<Box> expected{kConfirm};
        std::deque<int> answers{IDOK};
        int notDone = 0;
        std::set<std::wstring> named;  // another spelling of a file named before is passed over
        for (const auto& [kind, path, file] : machine.cases) {
            typed += path + L"\r\n";
            if (!named.insert(tessel::SystemUtility::Lower(file)).second) continue;
            if (protected_files::AsksAgain(kind)) {
                expected.push_back(WindowsQuestion(file));
                answers.push_back(second);
                if (second != IDOK) ++notDone;
            } else if (kind == Kind::ProgramFile) {
                expected.push_back(ProgramFileKept(file));
                answers.push_back(IDOK);
                ++notDone;
            } else if (kind == Kind::Device) {
                expected.push_back(NotFound(path));
                answers.push_back(IDOK);
            }
        }
        expected.push_back(NotAll(notDone));
        answers.push_back(IDCANCEL);
        scripted.boxes.clear();
        scripted.answers = answers;
        ::SetDlgItemTextW(dialog, IDC_SR_FILES, typed.c_str());
        Click(dialog, IDC_SR_DISABLE);
        EXPECT_FALSE(scripted.Ended());
        EXPECT_EQ(scripted.boxes, expected);
        for (const auto& [kind, path, file] : machine.cases) {
            SCOPED_TRACE(Narrow(path));
            const bool disabled = kind == Kind::Ordinary || (protected_files::AsksAgain(kind) && second == IDOK);
            const std::wstring own = machine.RecordOf(file);
            if (disabled) {
                EXPECT_TRUE(Disabled(own));
                if (own != file) {
                    // Named by a file link, the file itself is disabled, and given back where it was.
                    const std::string bytes = testing_support::ReadBytes(GetParasiteFileName(own));
                    velmora::CProcessManager processes;
                    processes.Init(log.Logger());
                    EXPECT_TRUE(processes.RestoreRenamedFile(GetParasiteFileName(own), own));
                    EXPECT_EQ(testing_support::ReadBytes(file), bytes);
                }
            } else if (kind == Kind::Device) {
                EXPECT_FALSE(Exists(GetParasiteFileName(file)));
            } else {
                EXPECT_TRUE(Untouched(own));
            }
            EXPECT_EQ(Disablings(file), disabled ? 1u : 0u);
        }
    }
}

TEST_F(SafeRemover, AHolderThatWritesItsPageBackIsEndedBeforeTheSettingsAreRestoredAndTheOwnProcessGoesLastOnlyWhenTheRestartIsDeclined) {
    const Box terminating{L"Operation complete; terminating. Please reboot Windows and restart Velmora to see whether no "
                          L"more parasites found. ",
                          64};
    const std::wstring startPage = L"Software\\Microsoft\\Internet Explorer\\Main";
    for (const int restart : {IDCANCEL, IDOK}) {
        SCOPED_TRACE(restart);
        tessel::RegistryAccessor().WriteString(HKEY_CURRENT_USER, startPage, L"Start Page", L"http://hijack/");
        const std::wstring held = process_testing::CopyFixture(process_testing::FixtureDllPath(), dir.Path(), L"held", L".dll");
        // A hijacker's watchdog, writing its page back until it is ended.
        process_testing::Child holder = process_testing::StartStartPageRewriter(held, hives, L"http://hijack/");
        ASSERT_TRUE(holder.Running());
        scripted.children.Allow(holder.Pid());
        scripted.children.Terminated.clear();
        tessel::UniqueModule own(::LoadLibraryW(held.c_str()));  // the program holds it too
        ASSERT_TRUE(own);
        scripted.restarts = 0;
        const std::size_t from = log.Text().size();
        const bool ended = Disable(held, {IDOK, restart, IDOK});
        own.reset();
        EXPECT_NE(holder.Wait(10000), 0xFFFFFFFFu) << "the holder was not ended";
        EXPECT_TRUE(Disabled(held));
        EXPECT_EQ(tessel::RegistryAccessor().ReadString(HKEY_CURRENT_USER, startPage, L"Start Page"), L"about:blank");

        const std::string text = log.Text();
        const std::size_t renamed = text.find("File renamed sucessfullly: '" + Narrow(held) + "'", from);
        const std::size_t restored = text.find("Restoring all configuration settings", from);
        const std::size_t holderEnded =
            text.find("Process for file '" + std::to_string(holder.Pid()) + "' terminated successfully. ", from);
        ASSERT_NE(renamed, std::string::npos) << text;
        ASSERT_NE(holderEnded, std::string::npos) << text;
        ASSERT_NE(restored, std::string::npos) << text;
        EXPECT_LT(renamed, holderEnded);
        EXPECT_LT(holderEnded, restored);
        if (restart == IDOK) {
            // The restart ends everything: the program never ends itself.
            EXPECT_TRUE(ended);
            EXPECT_EQ(scripted.restarts, 1);
            EXPECT_EQ(scripted.boxes, (std::vector<Box>{kConfirm, kComplete}));
            EXPECT_EQ(scripted.children.Terminated, std::vector<DWORD>{holder.Pid()});
        } else {
            // Declined: the program's own process is the last one asked for, after the user is told.
            EXPECT_FALSE(ended);  // its own termination is refused here
            EXPECT_EQ(scripted.boxes, (std::vector<Box>{kConfirm, kComplete, terminating}));
            EXPECT_EQ(scripted.children.Terminated, (std::vector<DWORD>{holder.Pid(), ::GetCurrentProcessId()}));
        }
    }
}
