// Restore Removed Programs in the test process under Xvfb, and one round trip through both
// windows on real files with a holder process of the test's own.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <optional>

#include "ToolsDialogTestSupport.h"
#include "inspection/MMain.h"
#include "tessel/RegistryAccessor.h"
#include "ui/RestoreFiles.h"
#include "ui/SafeRemover.h"
#include "ui/ToolsDialogIds.h"

using namespace tools_testing;
using testing_support::ReadBytes;
using testing_support::WriteBytes;
using velmora::GetParasiteFileName;
using velmora::kRemovedFilesKey;
using velmora::ui::FRestoreFiles;

namespace {

const Box kNothing{L"Nothing to restore. No programs are removed or all programs are already restored.", 64};
const Box kNoMore{L"There are no more programs to restore. Press OK button to close Restore Removed Programs window.", 64};
Box Confirm(const std::wstring& p) { return {L"Are you sure you want to restore '" + p + L"'?", 49}; }
Box Restored(const std::wstring& p) { return {L"Program '" + p + L"' is restored successfully.", 64}; }
Box ConfirmReplacing(const std::wstring& p, const std::wstring& kept) {
    return {L"Are you sure you want to restore '" + p + L"'?\n\nA file stands at that path now. It will not be lost: it "
            L"will be kept beside it as '" + kept + L"'.",
            49};
}

class RestoreFiles : public testing::Test {
protected:
    // A disabled file as the renaming leaves it: its copy under the disabled name, and its record.
    std::wstring Disabled(const std::wstring& name, const std::string& content) {
        WriteBytes(GetParasiteFileName(dir / name), content);
        registry.WriteString(HKEY_CURRENT_USER, kRemovedFilesKey, dir / name, dir / name);
        return dir / name;
    }
    bool Recorded(const std::wstring& path) { return registry.EnumValues(HKEY_CURRENT_USER, kRemovedFilesKey).Exists(path); }
    // Selects the row of the path and presses Restore Removed Program.
    void Restore(FRestoreFiles& window, const std::wstring& path, std::initializer_list<int> answers) {
        const HWND dialog = window.Create(nullptr);
        const auto& rows = window.Rows();
        const auto at = std::find(rows.begin(), rows.end(), path) - rows.begin();
        ::SendDlgItemMessageW(dialog, IDC_RF_LIST, LB_SETCURSEL, at < static_cast<long>(rows.size()) ? at : -1, 0);
        scripted.boxes.clear();
        scripted.answers = answers;
        Click(dialog, IDC_RF_RESTORE);
    }

    testing_support::ScratchHives hives;
    tessel::RegistryAccessor registry;
    testing_support::TempDir dir;
    process_testing::TestLog log;
    Scripted scripted;
};

}  // namespace

TEST_F(RestoreFiles, NothingRecordedOrACopyDeletedByHandShowsNothingToRestoreAndNoWindow) {
    velmora::ui::OpenRestoreRemovedPrograms(log.Logger(), nullptr);
    const std::wstring gone = Disabled(L"gone.dll", "abc");
    ASSERT_TRUE(::DeleteFileW(GetParasiteFileName(gone).c_str()));
    velmora::ui::OpenRestoreRemovedPrograms(log.Logger(), nullptr);
    EXPECT_EQ(scripted.boxes, (std::vector<Box>{kNothing, kNothing}));
    EXPECT_TRUE(Recorded(gone));
}

TEST_F(RestoreFiles, OnlyCopiesThatExistAreListedAndCancelOrNoSelectionChangesNothing) {
    const std::wstring first = Disabled(L"one.dll", "1"), gone = Disabled(L"two.dll", "2"), third = Disabled(L"three.dll", "3");
    ASSERT_TRUE(::DeleteFileW(GetParasiteFileName(gone).c_str()));
    FRestoreFiles window;
    ASSERT_TRUE(window.Init(log.Logger()));
    EXPECT_EQ(window.Rows(), (std::vector<std::wstring>{first, third}));
    EXPECT_EQ(::SendDlgItemMessageW(window.Create(nullptr), IDC_RF_LIST, LB_GETCURSEL, 0, 0), 0);
    Restore(window, first, {IDCANCEL});
    EXPECT_EQ(scripted.boxes, std::vector<Box>{Confirm(first)});
    Restore(window, L"", {IDOK});
    EXPECT_TRUE(scripted.boxes.empty());
    EXPECT_EQ(ReadBytes(GetParasiteFileName(first)), "1");
    EXPECT_TRUE(Recorded(first));
    EXPECT_TRUE(Recorded(gone));
}

// The file that stands at the path again is kept at the first free ".replaced" name beside it,
// which the question names; an earlier one stays as it was.
TEST_F(RestoreFiles, RestoringTheLastFileKeepsWhatStandsThereRemovesTheRecordAndClosesTheWindowOnBothFamilies) {
    for (const bool nt : {true, false}) {
        SCOPED_TRACE(nt);
        velmora::RunningOnNT = nt;
        const std::wstring path = Disabled(nt ? L"last-nt.dll" : L"last-9x.dll", "the disabled bytes");
        WriteBytes(path, "a new file at the path");
        WriteBytes(path + L".replaced", "kept by an earlier restore");
        FRestoreFiles window;
        ASSERT_TRUE(window.Init(log.Logger()));
        ::ShowWindow(window.Create(nullptr), SW_SHOW);
        Restore(window, path, {IDOK, IDOK, IDOK});
        EXPECT_EQ(scripted.boxes, (std::vector<Box>{ConfirmReplacing(path, path + L".replaced.2"), Restored(path), kNoMore}));
        EXPECT_EQ(ReadBytes(path), "the disabled bytes");
        EXPECT_EQ(ReadBytes(path + L".replaced.2"), "a new file at the path");
        EXPECT_EQ(ReadBytes(path + L".replaced"), "kept by an earlier restore");
        EXPECT_FALSE(Exists(path + L".replaced.3"));
        EXPECT_FALSE(Exists(GetParasiteFileName(path)));
        EXPECT_FALSE(Recorded(path));
        EXPECT_FALSE(::IsWindowVisible(window.Handle()));
        EXPECT_EQ(process_testing::CountOf(log.Text(), process_testing::Entry(5, 0, L"CProcessManager.RestoreRenamedFile",
                                                                              L"The file that stood at '" + path +
                                                                                  L"' is kept as '" + path +
                                                                                  L".replaced.2'.")),
                  1u);
    }
}

TEST_F(RestoreFiles, AWindowTheSystemDestroysLeavesNoHandleInTheObjectWhichOpensItAfresh) {
    const auto popup = [] {
        return ::CreateWindowExW(0, L"Static", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, ::GetModuleHandleW(nullptr),
                                 nullptr);
    };
    HWND third = nullptr, bystander = nullptr;
    {
        FRestoreFiles window;
        // Its owner's end takes the window along.
        const HWND owner = popup();
        const HWND first = window.Create(owner);
        ASSERT_TRUE(::IsWindow(first));
        ::DestroyWindow(owner);
        EXPECT_FALSE(::IsWindow(first));
        EXPECT_EQ(window.Handle(), nullptr);
        // Destroyed from outside the object; the window made next may get its number again.
        const HWND second = window.Create(nullptr);
        ASSERT_TRUE(::IsWindow(second));
        ::DestroyWindow(second);
        EXPECT_EQ(window.Handle(), nullptr);
        bystander = popup();
        third = window.Create(nullptr);
        EXPECT_TRUE(::IsWindow(third));
        EXPECT_NE(third, bystander);
    }
    // The object's end took its own window and no other.
    EXPECT_FALSE(::IsWindow(third));
    EXPECT_TRUE(::IsWindow(bystander));
    ::DestroyWindow(bystander);
}

TEST_F(RestoreFiles, ALockedCopyIsNotRestoredStaysListedAndTheFileStandingThereIsKeptOnBothFamilies) {
    for (const bool nt : {true, false}) {
        SCOPED_TRACE(nt);
        velmora::RunningOnNT = nt;
        const std::wstring path = Disabled(nt ? L"locked-nt.dll" : L"locked-9x.dll", "disabled");
        WriteBytes(path, "standing");
        tessel::UniqueFile hold(::CreateFileW(GetParasiteFileName(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                              OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(static_cast<bool>(hold));
        FRestoreFiles window;
        ASSERT_TRUE(window.Init(log.Logger()));
        Restore(window, path, {IDOK, IDOK});
        EXPECT_EQ(scripted.boxes, (std::vector<Box>{ConfirmReplacing(path, path + L".replaced"),
                                                    {L"Cannot restore '" + path + L"'. ", 64}}));
        EXPECT_EQ(ReadBytes(path), "standing");
        EXPECT_EQ(ReadBytes(GetParasiteFileName(path)), "disabled");
        EXPECT_TRUE(Recorded(path));
        EXPECT_EQ(std::count(window.Rows().begin(), window.Rows().end(), path), 1);
    }
    // Nothing is left beside them: two files for each family.
    WIN32_FIND_DATAW found;
    int files = 0;
    const tessel::UniqueFind find(::FindFirstFileW((dir / L"*.*").c_str(), &found));
    ASSERT_TRUE(static_cast<bool>(find));
    do files += (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? 0 : 1;
    while (::FindNextFileW(find.get(), &found));
    EXPECT_EQ(files, 4);
}

// Typed as its own path while a holder has it, and through a file link: the file itself is
// disabled where it lies, offered under its own path, and comes back there.
TEST_F(RestoreFiles, AFileDisabledWhileAHolderHadItComesBackByteForByte) {
    using namespace process_testing;
    for (const bool linked : {false, true}) {
        SCOPED_TRACE(linked);
        const std::wstring path = CopyFixture(FixtureDllPath(), dir.Path(), L"vlm_roundtrip", L".dll");
        const std::string original = ReadBytes(path);
        ASSERT_FALSE(original.empty());
        std::optional<testing_support::FolderLink> link;
        if (linked) link.emplace(path, dir / L"helper.dll");
        const std::wstring typed = linked ? link->Path() : path;
        std::optional<Child> holder;
        if (!linked) {
            holder.emplace(StartHolder(L"lock", path));
            scripted.children.Allow(holder->Pid());
        }
        {
            velmora::ui::FSafeRemover remover;
            remover.Init(log.Logger());
            const HWND dialog = remover.Create(nullptr);
            ::SetDlgItemTextW(dialog, IDC_SR_FILES, typed.c_str());
            scripted.answers = {IDOK, IDCANCEL};
            Click(dialog, IDC_SR_DISABLE);
        }
        if (holder) {
            EXPECT_EQ(holder->Wait(10000), 0u);
        }
        EXPECT_FALSE(Exists(path));
        EXPECT_TRUE(Exists(GetParasiteFileName(path)));
        FRestoreFiles window;
        ASSERT_TRUE(window.Init(log.Logger()));
        EXPECT_EQ(window.Rows(), std::vector<std::wstring>{path});
        Restore(window, path, {IDOK, IDOK, IDOK});
        EXPECT_EQ(scripted.boxes, (std::vector<Box>{Confirm(path), Restored(path), kNoMore}));
        EXPECT_EQ(ReadBytes(path), original);
        EXPECT_EQ(ReadBytes(typed), original);
        EXPECT_FALSE(Recorded(path));
        EXPECT_FALSE(Recorded(typed));
    }
}
