// Disabling files by renaming them: real files in a temporary folder, the record in a
// redirected HKEY_CURRENT_USER, real holder processes, and scripted refusals.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <vector>

#include "ProcessTestSupport.h"
#include "TestSupport.h"
#include "inspection/FileStanding.h"
#include "inspection/Globals.h"
#include "inspection/MMain.h"
#include "inspection/ProcessManager.h"
#include "inspection/WaitPumping.h"
#include "tessel/Api.h"
#include "tessel/Error.h"
#include "tessel/FileAccessor.h"
#include "tessel/RegistryAccessor.h"
#include "tessel/SystemUtility.h"
#include "tessel/Text.h"

using namespace velmora;
using namespace process_testing;
using tessel::api::kernel32;
using tessel::api::psapi;
using tessel::api::ScopedPreset;
using testing_support::Narrow;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

namespace {

const std::wstring kRecordKey = L"Software\\Ardentis Software\\Velmora\\Current Version\\Removed Files";
const std::wstring kRenameNT = L"CProcessManager.RenameFileNT";
const std::wstring kRename9x = L"CProcessManager.RenameFile9x";
const std::wstring kBatch = L"CProcessManager.RenameParasiteFilesEx";
const std::wstring kOne = L"CProcessManager.RenameParasiteFile";
constexpr int kAbcSize = 3;
constexpr int kAbcChecksum = 536871084;  // the fingerprint of the three bytes "abc"

tessel::KeyedList<std::wstring> ListOf(std::initializer_list<std::wstring> paths) {
    tessel::KeyedList<std::wstring> list;
    for (const auto& p : paths) list.Add(p, p);
    return list;
}

std::vector<std::wstring> Items(const tessel::KeyedList<std::wstring>& list) {
    return std::vector<std::wstring>(list.begin(), list.end());
}

bool Exists(const std::wstring& path) {
    return ::GetFileAttributesW(tessel::FileAccessor::ExtendedPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring ErrorText(DWORD code) { return tessel::SystemUtility::Instance().SystemErrorText(code); }

// The system's tick, read past any preset. The manager's wait counts this tick, so a wait
// measured on it is never a step of the clock short; a finer clock would see it up to a tick
// short, and a loaded host can make the tick lag by more.
ULONGLONG Tick() { return kernel32().GetTickCount64.Real(); }

// The processor time the calling thread has used, in milliseconds. A wait of two seconds that
// sleeps uses some tens of them however busy the host is; one that spins uses hundreds even
// with the share of a processor a host loaded on every core leaves it.
ULONGLONG ThreadCpuMs() {
    FILETIME created, exited, kernel, user;
    EXPECT_TRUE(::GetThreadTimes(::GetCurrentThread(), &created, &exited, &kernel, &user));
    auto units = [](const FILETIME& f) { return (static_cast<ULONGLONG>(f.dwHighDateTime) << 32) | f.dwLowDateTime; };
    return (units(kernel) + units(user)) / 10000;  // from 100 ns units
}

// Counts the readings of the tick made through the call table (the wait's only way to tell the
// time), passing them on.
struct TickReadings {
    int count = 0;
    ScopedPreset<decltype(kernel32().GetTickCount64)> preset{kernel32().GetTickCount64, [this] {
        ++count;
        return Tick();
    }};
};

// The name's UTF-16LE bytes, written out byte by byte.
std::vector<std::uint8_t> LittleEndianBytes(const std::wstring& name) {
    std::vector<std::uint8_t> bytes(name.size() * 2);
    for (std::size_t i = 0; i < name.size(); ++i) {
        bytes[2 * i] = static_cast<std::uint8_t>(name[i] & 0xFF);
        bytes[2 * i + 1] = static_cast<std::uint8_t>(static_cast<std::uint16_t>(name[i]) >> 8);
    }
    return bytes;
}

// The encoded name of the log line "Encoded file name: ..." that follows a failure.
std::vector<std::vector<std::uint8_t>> EncodedNames(const std::string& log, const std::wstring& source) {
    std::vector<std::vector<std::uint8_t>> names;
    const std::string head = "\t5\t0\t" + Narrow(source) + "\tEncoded file name: ";
    for (std::size_t at = log.find(head); at != std::string::npos; at = log.find(head, at + 1)) {
        const std::size_t start = at + head.size(), end = log.find("\r\n", start);
        names.push_back(tessel::SystemUtility::Instance().DecodeBytes(tessel::text::FromUtf8(log.substr(start, end - start))));
    }
    return names;
}

// A file held open without FILE_SHARE_DELETE by the test itself: it cannot be renamed.
class HeldOpen {
public:
    explicit HeldOpen(const std::wstring& path)
        : file_(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr)) {
        EXPECT_TRUE(static_cast<bool>(file_)) << Narrow(path);
    }

private:
    tessel::UniqueFile file_;
};

class Renaming : public testing::Test {
protected:
    void SetUp() override {
        savedNT_ = RunningOnNT;
        RunningOnNT = true;
        manager.Init(log.Logger());
    }
    void TearDown() override { RunningOnNT = savedNT_; }

    std::wstring File(const std::wstring& name, const std::string& content = "abc") {
        const std::wstring path = dir / name;
        WriteBytes(path, content);
        return path;
    }
    std::wstring Record(const std::wstring& path) {
        return tessel::RegistryAccessor().ReadString(HKEY_CURRENT_USER, kRecordKey, path);
    }
    std::size_t RecordCount() { return tessel::RegistryAccessor().EnumValues(HKEY_CURRENT_USER, kRecordKey).Count(); }
    std::string Renamed(const std::wstring& path, int size = kAbcSize, int checksum = kAbcChecksum,
                        const std::wstring& source = kRenameNT) {
        return Entry(5, 0, source, tessel::Format(L"File renamed sucessfullly: '%1', (%2, %3)", path, size, checksum));
    }

    testing_support::ScratchHives hives;
    TempDir dir;
    TestLog log;
    CProcessManager manager;

private:
    bool savedNT_ = false;
};

// Records every attempt to disable a file, the open of the file to be renamed (its name as the
// disabling reads it), with the tick it was made at, passing it through.
struct MoveRecorder {
    struct Call {
        std::wstring from;
        ULONGLONG at;
    };
    std::vector<Call> calls;
    ScopedPreset<decltype(kernel32().CreateFileW)> preset{
        kernel32().CreateFileW, [this](LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                       DWORD disposition, DWORD flags, HANDLE copyFrom) {
            if (access & DELETE) calls.push_back({velmora::FileActedOn(name), Tick()});
            return kernel32().CreateFileW.Real(name, access, share, security, disposition, flags, copyFrom);
        }};
    std::vector<ULONGLONG> TimesFor(const std::wstring& from) const {
        std::vector<ULONGLONG> out;
        for (const auto& c : calls)
            if (c.from == from) out.push_back(c.at);
        return out;
    }
};

}  // namespace

TEST(GetParasiteFileName, PutsTheMarksAroundTheFileName) {
    EXPECT_EQ(GetParasiteFileName(L"c:\\windows\\system32\\foo.dll"), L"c:\\windows\\system32\\parasite_foo.dll.parasite");
    EXPECT_EQ(GetParasiteFileName(L"foo.exe"), L"parasite_foo.exe.parasite");
    EXPECT_EQ(GetParasiteFileName(L"c:\\dir\\"), L"c:\\dir\\parasite_.parasite");
    EXPECT_EQ(GetParasiteFileName(L"C:\\Dir.x\\Mixed Case .DLL"), L"C:\\Dir.x\\parasite_Mixed Case .DLL.parasite");
    EXPECT_EQ(GetParasiteFileName(L"c:/a/b.dll"), L"parasite_c:/a/b.dll.parasite");  // only "\" separates
    EXPECT_EQ(GetParasiteFileName(L""), L"parasite_.parasite");
}

TEST_F(Renaming, AnAlternateStreamIsCutAndTheFileRenamedAndRecorded) {
    const std::wstring file = File(L"x.dll");
    const auto left = manager.RenameParasiteFilesEx(ListOf({file + L":ads"}));
    EXPECT_EQ(left.Count(), 0u);
    EXPECT_FALSE(Exists(file));
    EXPECT_EQ(ReadBytes(dir / L"parasite_x.dll.parasite"), "abc");
    EXPECT_EQ(Record(file), file);
    EXPECT_EQ(RecordCount(), 1u);
    const std::string expected =
        Entry(5, 0, kOne, L"Converting filename '" + file + L":ads' -> '" + file + L"'") + Renamed(file) +
        Entry(5, 0, kBatch, L"FilesToPostDelete.Count=0");
    const std::string text = log.Text();
    ASSERT_EQ(CountOf(text, "\r\n"), 3u) << text;
    // Each line ends the way the expected lines do, in this order.
    std::size_t at = 0;
    for (std::size_t start = 0; start < expected.size();) {
        const std::size_t end = expected.find("\r\n", start) + 2;
        const std::string line = expected.substr(start, end - start);
        const std::size_t found = text.find(line, at);
        ASSERT_NE(found, std::string::npos) << line << "\nin\n" << text;
        at = found + line.size();
        start = end;
    }
}

TEST_F(Renaming, EachSpellingDisablesTheFileWindowsReadsItAsAndGivesItBackUnderThatName) {
    const std::wstring a = File(L"evil.dll"), b = File(L"evil2.dll"), c = File(L"evil3.dll"), d = File(L"evil4.dll");
    // A name with a trailing dot, which only a verbatim path reaches, beside the user's file of
    // the plain name.
    const std::wstring dotted = L"\\\\?\\" + dir / L"tool.dll.", plain = File(L"tool.dll", "the user's");
    WriteBytes(dotted, "abc");
    // A reserved name is a file behind the device namespace, which only its verbatim path reaches.
    const std::wstring reserved = L"\\\\?\\" + dir / L"com1.dll";
    WriteBytes(reserved, "abc");
    // A file link names another file: that file is disabled where it lies, under its own name.
    ::CreateDirectoryW((dir / L"Stash").c_str(), nullptr);
    const std::wstring payload = dir / L"Stash\\payload.dll";
    WriteBytes(payload, "abc");
    const testing_support::FolderLink helper(payload, dir / L"helper.dll");
    const struct {
        std::wstring given, file;
    } rows[] = {
        {L"\\??\\" + a, a},
        {L"\\\\?\\" + b, b},
        {L"\\\\?\\" + c + L"::$DATA", c},
        {dotted, dotted},
        {L"\\\\.\\" + d, d},  // the device namespace reaches a drive as a plain path does
        {L"\\\\.\\" + dir / L"com1.dll", reserved},
        {helper.Path(), payload},
    };
    tessel::KeyedList<std::wstring> list;
    for (const auto& row : rows) tessel::AddUnique(list, row.given);
    list.Add(L"\\\\.\\COM1", L"\\\\.\\COM1");  // a device stays no file
    EXPECT_EQ(manager.RenameParasiteFilesEx(list).Count(), 0u);
    EXPECT_NE(log.Text().find(Entry(5, 0, kOne, L"'\\\\.\\COM1' is not a file: there is nothing to disable.")),
              std::string::npos);
    EXPECT_EQ(RecordCount(), 7u);
    for (const auto& [given, path] : rows) {
        SCOPED_TRACE(Narrow(given));
        if (given != path) {
            EXPECT_NE(log.Text().find(Entry(5, 0, kOne, L"Converting filename '" + given + L"' -> '" + path + L"'")),
                      std::string::npos)
                << log.Text();
        }
        EXPECT_FALSE(Exists(path));
        EXPECT_EQ(Record(path), path);
    }
    EXPECT_EQ(ReadBytes(plain), "the user's");
    // Each comes back under the very name it had, the dotted one beside the user's file.
    for (const std::wstring& path : {a, b, c, d, dotted, reserved, payload}) {
        EXPECT_TRUE(manager.RestoreRenamedFile(GetParasiteFileName(Record(path)), Record(path))) << Narrow(path);
        EXPECT_EQ(ReadBytes(path), "abc") << Narrow(path);
    }
    EXPECT_EQ(ReadBytes(plain), "the user's");
}

TEST_F(Renaming, AllRenamedGivesOneCountLineAndNoTerminationOrWait) {
    const std::wstring a = File(L"one.dll", "abc"), b = File(L"two.dll", "abc");
    int opened = 0;
    ScopedPreset open(kernel32().OpenProcess, [&](DWORD x, BOOL y, DWORD z) {
        ++opened;
        return kernel32().OpenProcess.Real(x, y, z);
    });
    TickReadings ticks;
    const auto left = manager.RenameParasiteFilesEx(ListOf({a, b}));
    EXPECT_EQ(ticks.count, 0) << "a wait was started";
    EXPECT_EQ(left.Count(), 0u);
    EXPECT_EQ(opened, 0);
    const std::string text = log.Text();
    EXPECT_EQ(CountOf(text, "\r\n"), 3u) << text;
    EXPECT_NE(text.find(Renamed(a)), std::string::npos);
    EXPECT_NE(text.find(Renamed(b)), std::string::npos);
    EXPECT_NE(text.find(Entry(5, 0, kBatch, L"FilesToPostDelete.Count=0")), std::string::npos);
}

TEST_F(Renaming, AnEmptyListDoesNothing) {
    int opened = 0;
    ScopedPreset open(kernel32().OpenProcess, [&](DWORD, BOOL, DWORD) -> HANDLE {
        ++opened;
        return nullptr;
    });
    EXPECT_EQ(manager.RenameParasiteFilesEx(tessel::KeyedList<std::wstring>()).Count(), 0u);
    EXPECT_EQ(opened, 0);
    EXPECT_EQ(log.Text(), "");
}

TEST_F(Renaming, AFileHeldByAChildIsRenamedAfterTheChildIsTerminated) {
    const std::wstring a = File(L"first.txt", "abc");
    const std::wstring held = CopyFixture(FixtureDllPath(), dir.Path(), L"vlm_locked", L".dll");
    const std::wstring c = File(L"third.txt", "abc");
    Child holder = StartHolder(L"lock", held);
    OnlyOwnChildren guard({holder.Pid()});
    MoveRecorder moves;
    const auto left = manager.RenameParasiteFilesEx(ListOf({a, held, c}));
    EXPECT_EQ(left.Count(), 0u);
    EXPECT_EQ(holder.Wait(10000), 0u);
    EXPECT_EQ(guard.Terminated, std::vector<DWORD>{holder.Pid()});
    for (const auto& path : {a, held, c}) {
        EXPECT_FALSE(Exists(path)) << Narrow(path);
        EXPECT_TRUE(Exists(GetParasiteFileName(path))) << Narrow(path);
        EXPECT_EQ(Record(path), path);
    }
    EXPECT_EQ(RecordCount(), 3u);
    // The held file was tried twice, the second time at least two seconds after its holder was
    // ended (finding and ending the holder may take that long by itself on a busy host).
    const auto times = moves.TimesFor(held);
    ASSERT_EQ(times.size(), 2u);
    ASSERT_EQ(guard.TerminatedAt.size(), 1u);
    EXPECT_LE(times[0], guard.TerminatedAt[0]);
    EXPECT_GE(times[1], guard.TerminatedAt[0] + 2000u);
    EXPECT_EQ(moves.TimesFor(a).size(), 1u);
    const std::string text = log.Text();
    const std::size_t failed = text.find("\t5\t0\t" + Narrow(kRenameNT) + "\tFailed to rename file '" + Narrow(held) + "', (");
    const std::size_t count = text.find(Entry(5, 0, kBatch, L"FilesToPostDelete.Count=1"));
    const std::size_t ended = text.find(
        Entry(5, 0, L"CProcessManager.MyTerminateProcess",
              L"Process for file '" + std::to_wstring(holder.Pid()) + L"' terminated successfully. "));
    const std::size_t retried = text.find("File renamed sucessfullly: '" + Narrow(held) + "'");
    ASSERT_NE(failed, std::string::npos) << text;
    ASSERT_NE(count, std::string::npos) << text;
    ASSERT_NE(ended, std::string::npos) << text;
    ASSERT_NE(retried, std::string::npos) << text;
    EXPECT_LT(failed, count);
    EXPECT_LT(count, ended);
    EXPECT_LT(ended, retried);
    const std::size_t lineEnd = text.find("\r\n", failed);
    EXPECT_EQ(text.substr(lineEnd - Narrow(ErrorText(ERROR_SHARING_VIOLATION)).size(), Narrow(ErrorText(32)).size()),
              Narrow(ErrorText(ERROR_SHARING_VIOLATION)));
    const auto encoded = EncodedNames(text, kRenameNT);
    ASSERT_EQ(encoded.size(), 1u);
    EXPECT_EQ(encoded[0], LittleEndianBytes(held));
}

TEST_F(Renaming, AFileThatFailsTwiceKeepsItsNameAndIsReportedBack) {
    // A name outside ASCII, given with a stream: the retry converts it again.
    const std::wstring path = File(L"\x17e\x6587\x4ef6 x.dll", "abc");
    const std::wstring given = path + L":stream";
    const std::wstring other = File(L"fine.dll", "abc");
    HeldOpen held(path);
    OnlyOwnChildren guard({});  // nothing holds the file as a module: nothing is terminated
    const ULONGLONG start = Tick();
    const auto left = manager.RenameParasiteFilesEx(ListOf({given, other}));
    EXPECT_TRUE(guard.Terminated.empty());
    EXPECT_GE(Tick() - start, 2000u);
    EXPECT_EQ(Items(left), std::vector<std::wstring>{given});
    EXPECT_TRUE(Exists(path));
    EXPECT_FALSE(Exists(GetParasiteFileName(path)));
    EXPECT_EQ(Record(path), L"");
    EXPECT_EQ(Record(other), other);
    const std::string text = log.Text();
    const std::string failure =
        Entry(5, 0, kRenameNT,
              tessel::Format(L"Failed to rename file '%1', (%2, %3). %4", path, kAbcSize, kAbcChecksum,
                             ErrorText(ERROR_SHARING_VIOLATION)));
    EXPECT_EQ(CountOf(text, failure), 2u) << text;
    EXPECT_EQ(CountOf(text, Narrow(L"Converting filename '" + given + L"' -> '" + path + L"'")), 2u) << text;
    EXPECT_EQ(CountOf(text, "FilesToPostDelete.Count=1\r\n"), 1u);
    const auto encoded = EncodedNames(text, kRenameNT);
    ASSERT_EQ(encoded.size(), 2u);
    EXPECT_EQ(encoded[0], LittleEndianBytes(path));
    EXPECT_EQ(encoded[1], LittleEndianBytes(path));
}

TEST_F(Renaming, AFileThatDoesNotExistIsLoggedButNotReportedBack) {
    const std::wstring orphan = dir / L"orphan.dll", noFolder = dir / L"gone\\x.dll", device = dir / L"com1.dll";
    const std::wstring held = File(L"held.dll");
    HeldOpen hold(held);
    OnlyOwnChildren guard({});
    MoveRecorder moves;
    const ULONGLONG start = Tick();
    const auto left = manager.RenameParasiteFilesEx(ListOf({orphan, held, noFolder, device}));
    EXPECT_GE(Tick() - start, 2000u);                         // the wait and the retry stay
    EXPECT_EQ(Items(left), std::vector<std::wstring>{held});  // the one step that could not be done
    EXPECT_EQ(moves.TimesFor(orphan).size(), 2u);
    EXPECT_EQ(moves.TimesFor(held).size(), 2u);
    EXPECT_TRUE(moves.TimesFor(device).empty());  // a device is never moved, nor tried again
    const std::string text = log.Text();
    EXPECT_EQ(CountOf(text, "FilesToPostDelete.Count=3\r\n"), 1u) << text;
    EXPECT_EQ(CountOf(text, Entry(5, 0, kOne, L"'" + device + L"' is not a file: there is nothing to disable.")), 1u) << text;
    for (const std::wstring& gone : {orphan, noFolder})
        EXPECT_EQ(CountOf(text, Entry(5, 0, kBatch,
                                      tessel::Format(L"The file '%1' does not exist: there is nothing to disable.", gone))),
                  1u)
            << text;
    EXPECT_EQ(CountOf(text, Narrow(L"The file '" + held + L"' does not exist")), 0u);
    EXPECT_EQ(RecordCount(), 0u);  // a record written for a rename that failed is taken back
}

TEST_F(Renaming, ANameThatIsNotAFullPathIsNeverRenamedInTheCurrentFolder) {
    wchar_t saved[MAX_PATH];
    ::GetCurrentDirectoryW(MAX_PATH, saved);
    ASSERT_TRUE(::SetCurrentDirectoryW(dir.Path().c_str()));
    File(L"foo.dll");
    File(L".dll");
    File(L"abcde");
    OnlyOwnChildren guard({});
    MoveRecorder opens;
    testing_support::RenameWatch renames;
    const auto left = manager.RenameParasiteFilesEx(ListOf({L"foo.dll", L".dll", L"abcde:x", L"c:foo.dll"}));
    ::SetCurrentDirectoryW(saved);
    EXPECT_EQ(Items(left), (std::vector<std::wstring>{L"foo.dll", L".dll", L"abcde:x", L"c:foo.dll"}));
    EXPECT_TRUE(opens.calls.empty());
    EXPECT_TRUE(renames.renamed.empty());
    EXPECT_TRUE(guard.Terminated.empty());
    EXPECT_TRUE(Exists(dir / L"foo.dll"));
    EXPECT_TRUE(Exists(dir / L".dll"));
    EXPECT_FALSE(Exists(dir / L"parasite_foo.dll.parasite"));
    EXPECT_EQ(RecordCount(), 0u);
    const std::string text = log.Text();
    for (const wchar_t* name : {L"foo.dll", L".dll", L"abcde:x", L"c:foo.dll"})
        EXPECT_EQ(CountOf(text, Entry(5, 0, kOne,
                                      tessel::Format(L"Failed to rename file '%1', (0, 0). %2", name,
                                                     ErrorText(ERROR_BAD_PATHNAME)))),
                  2u)
            << text;
    EXPECT_EQ(CountOf(text, "FilesToPostDelete.Count=4\r\n"), 1u) << text;
}

// The new name goes to the system bare, so that no path is read again; only where the system
// refuses a bare name (Wine does) does the path of the folder the file lies in go, with the
// redirection of a 32-bit program turned off for that call alone and put back as it was. The
// file is opened for no more than the rename needs.
TEST_F(Renaming, TheNewNameGoesBareAndARefusedOneAsThePathWithTheRedirectionOff) {
    for (const bool refused : {false, true}) {
        SCOPED_TRACE(refused);
        const std::wstring file = File(refused ? L"refused.dll" : L"taken.dll");
        const std::wstring disabled = GetParasiteFileName(file);
        // Its attributes are set through a handle of their own, and a read-only earlier copy is replaced.
        ::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
        WriteBytes(disabled, "older copy");
        ::SetFileAttributesW(disabled.c_str(), FILE_ATTRIBUTE_READONLY);
        PVOID const handedOut = reinterpret_cast<PVOID>(0x5eed);
        int off = 0;  // turned off again while off, it stays off until the outer one is put back
        int turnedOff = 0;
        std::vector<PVOID> putBack;
        ScopedPreset disable(kernel32().Wow64DisableWow64FsRedirection, [&](PVOID* previous) -> BOOL {
            ++turnedOff;
            ++off;
            *previous = handedOut;
            return TRUE;
        });
        ScopedPreset revert(kernel32().Wow64RevertWow64FsRedirection, [&](PVOID previous) -> BOOL {
            putBack.push_back(previous);
            --off;
            return TRUE;
        });
        // XP has no second handle to the same file: the refused row sets the attributes by name.
        ScopedPreset reopen(kernel32().ReOpenFile, [&](HANDLE held, DWORD access, DWORD share, DWORD flags) {
            return refused ? tessel::api::NoReOpenFile(held, access, share, flags)
                           : kernel32().ReOpenFile.Real(held, access, share, flags);
        });
        std::vector<std::pair<std::wstring, bool>> targets;  // each rename's target, and whether it came with the redirection off
        ScopedPreset rename(tessel::api::ntdll().NtSetInformationFile,
                            [&](HANDLE handle, tessel::api::IoStatusBlock* io, PVOID info, ULONG length, int kind) -> LONG {
                                if (kind != 10) return tessel::api::ntdll().NtSetInformationFile.Real(handle, io, info, length, kind);
                                const auto* header = static_cast<const std::uint8_t*>(info);
                                ULONG bytes = 0;
                                const std::size_t at = sizeof(ULONG_PTR) == 8 ? 16 : 8;  // after the flag and the root
                                std::memcpy(&bytes, header + at, sizeof bytes);
                                std::wstring target(bytes / 2, L'\0');
                                std::memcpy(target.data(), header + at + sizeof(ULONG), bytes);
                                targets.emplace_back(target, off > 0);
                                const bool bareName = target.find(L'\\') == std::wstring::npos;
                                if (bareName && refused) return static_cast<LONG>(0xC000003B);
                                // Windows replaces no read-only file; Wine would.
                                const DWORD earlier = ::GetFileAttributesW(disabled.c_str());
                                if (earlier != INVALID_FILE_ATTRIBUTES && (earlier & FILE_ATTRIBUTE_READONLY))
                                    return static_cast<LONG>(0xC0000022);
                                if (!bareName) return tessel::api::ntdll().NtSetInformationFile.Real(handle, io, info, length, kind);
                                // Taken as Windows takes it: the file gets the name in its own folder.
                                return ::MoveFileExW(file.c_str(), disabled.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : static_cast<LONG>(0xC0000022);
                            });
        std::vector<DWORD> access;
        ScopedPreset open(kernel32().CreateFileW, [&](LPCWSTR name, DWORD wanted, DWORD share, LPSECURITY_ATTRIBUTES security,
                                                      DWORD disposition, DWORD flags, HANDLE copyFrom) {
            access.push_back(wanted);
            return kernel32().CreateFileW.Real(name, wanted, share, security, disposition, flags, copyFrom);
        });
        EXPECT_EQ(manager.RenameParasiteFileEx(file).Count(), 0u);
        EXPECT_EQ(access, std::vector<DWORD>{DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE});
        // The bare name first, once more after the read-only copy was cleared; the path only after a refusal.
        const std::wstring bare = L"parasite_" + file.substr(dir.Path().size() + 1) + L".parasite";
        std::vector<std::pair<std::wstring, bool>> expected{{bare, false}, {bare, false}};
        if (refused) expected = {{bare, false}, {L"\\??\\" + disabled, true}, {L"\\??\\" + disabled, true}};
        EXPECT_EQ(targets.size(), expected.size());
        for (std::size_t i = 0; i < std::min(targets.size(), expected.size()); ++i) {
            EXPECT_EQ(tessel::SystemUtility::Lower(targets[i].first), tessel::SystemUtility::Lower(expected[i].first));
            EXPECT_EQ(targets[i].second, expected[i].second);
        }
        EXPECT_EQ(putBack, std::vector<PVOID>(static_cast<std::size_t>(turnedOff), handedOut));
        EXPECT_EQ(off, 0);
        EXPECT_FALSE(Exists(file));
        EXPECT_EQ(ReadBytes(disabled), "abc");
        EXPECT_EQ(::GetFileAttributesW(disabled.c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
        EXPECT_EQ(Record(file), file);
    }
}

// A 32-bit program on 64-bit Windows reaches the 64-bit system folder only as "Sysnative": a
// file that lies there is recorded by that path, which gives it back to the same place, and is
// left alone where that path does not reach it.
TEST_F(Renaming, InA32BitProgramOn64BitWindowsAFileOfThe64BitSystemFolderIsRecordedThroughSysnative) {
    const std::wstring win = L"c:\\windows\\", sys = L"c:\\windows\\system32\\";
    const struct {
        std::wstring system;
        bool wow64;
        std::wstring own;
    } rows[] = {
        {L"\\\\?\\C:\\Windows\\System32\\drivers\\x.sys", true, L"\\\\?\\C:\\Windows\\Sysnative\\drivers\\x.sys"},
        {L"C:\\WINDOWS\\system32\\x.dll", true, L"C:\\WINDOWS\\Sysnative\\x.dll"},
        {L"\\\\?\\C:\\Windows\\System32\\x.dll", false, L"\\\\?\\C:\\Windows\\System32\\x.dll"},
        {L"\\\\?\\C:\\Windows\\SysWOW64\\x.dll", true, L"\\\\?\\C:\\Windows\\SysWOW64\\x.dll"},
        {L"\\\\?\\C:\\Windows\\System32x\\x.dll", true, L"\\\\?\\C:\\Windows\\System32x\\x.dll"},
        {L"\\\\?\\D:\\Data\\x.dll", true, L"\\\\?\\D:\\Data\\x.dll"},
    };
    for (const auto& [system, wow64, own] : rows)
        EXPECT_EQ(InProgramView(system, wow64, win, sys), own) << Narrow(system);
    // Through a file link, in a scratch Windows folder whose "Sysnative" reaches its system folder.
    const std::wstring windows = dir / L"Windows", system = windows + L"\\System32";
    ::CreateDirectoryW(windows.c_str(), nullptr);
    ::CreateDirectoryW(system.c_str(), nullptr);
    WriteBytes(system + L"\\native.dll", "abc");
    const testing_support::FolderLink link(system + L"\\native.dll", dir / L"native-link.dll");
    struct Folders {
        std::wstring win = WinDir, sys = SysDir;
        ~Folders() {
            WinDir = win;
            SysDir = sys;
        }
    } saved;
    WinDir = tessel::SystemUtility::Lower(windows + L"\\");
    SysDir = tessel::SystemUtility::Lower(system + L"\\");
    ScopedPreset wow(kernel32().IsWow64Process, [](HANDLE, PBOOL answer) {
        *answer = TRUE;
        return TRUE;
    });
    // Where no "Sysnative" reaches it, nothing could give it back: it keeps its name, and counts.
    EXPECT_EQ(manager.RenameParasiteFileEx(link.Path(), FileStanding::WindowsFolder).Count(), 1u);
    EXPECT_EQ(ReadBytes(system + L"\\native.dll"), "abc");
    EXPECT_EQ(RecordCount(), 0u);
    const testing_support::FolderLink sysnative(system, windows + L"\\Sysnative");
    const auto left = manager.RenameParasiteFileEx(link.Path(), FileStanding::WindowsFolder);
    const std::wstring recorded = windows + L"\\Sysnative\\native.dll";
    EXPECT_EQ(left.Count(), 0u);
    EXPECT_EQ(Record(recorded), recorded);
    EXPECT_EQ(ReadBytes(system + L"\\parasite_native.dll.parasite"), "abc");
    EXPECT_TRUE(manager.RestoreRenamedFile(GetParasiteFileName(recorded), recorded));
    EXPECT_EQ(ReadBytes(link.Path()), "abc");
}

TEST_F(Renaming, AFileAtTheDisabledNameIsReplacedOnlyByASuccessfulMove) {
    const std::wstring parasite = File(L"p.dll", "abc");
    const std::wstring target = GetParasiteFileName(parasite);
    WriteBytes(target, "older copy");
    ::SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    {
        // The move fails: the file at the disabled name is still there.
        HeldOpen held(parasite);
        EXPECT_FALSE(manager.SafeRenameFile(parasite, target));
        EXPECT_EQ(ReadBytes(target), "older copy");
        EXPECT_EQ(ReadBytes(parasite), "abc");
        EXPECT_EQ(::GetFileAttributesW(parasite.c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
    }
    ::SetFileAttributesW(parasite.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    EXPECT_TRUE(manager.SafeRenameFile(parasite, target));
    EXPECT_FALSE(Exists(parasite));
    EXPECT_EQ(ReadBytes(target), "abc");
    EXPECT_EQ(::GetFileAttributesW(target.c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_NE(log.Text().find(Renamed(parasite)), std::string::npos) << log.Text();
    EXPECT_EQ(RecordCount(), 0u);  // SafeRenameFile writes no record
}

TEST_F(Renaming, SafeRenameFileTrustsAnyNonZeroResultAndLogsARefusal) {
    const std::wstring a = File(L"a.dll", "abc");
    std::vector<std::pair<std::wstring, std::wstring>> names;
    BOOL answer = 2;
    ScopedPreset move(kernel32().MoveFileW, [&](LPCWSTR from, LPCWSTR to) {
        names.emplace_back(from, to);
        ::SetLastError(ERROR_ACCESS_DENIED);
        return answer;
    });
    EXPECT_TRUE(manager.SafeRenameFile(a, dir / L"b.dll"));
    answer = 0;
    EXPECT_FALSE(manager.SafeRenameFile(a, dir / L"c.dll"));
    EXPECT_EQ(names, (std::vector<std::pair<std::wstring, std::wstring>>{{a, dir / L"b.dll"}, {a, dir / L"c.dll"}}));
    const std::string text = log.Text();
    EXPECT_NE(text.find(Renamed(a)), std::string::npos) << text;
    EXPECT_NE(text.find(Entry(5, 0, kRenameNT,
                              tessel::Format(L"Failed to rename file '%1', (%2, %3). %4", a, kAbcSize, kAbcChecksum,
                                             ErrorText(ERROR_ACCESS_DENIED)))),
              std::string::npos)
        << text;
    EXPECT_EQ(EncodedNames(text, kRenameNT), std::vector<std::vector<std::uint8_t>>{LittleEndianBytes(a)});
    EXPECT_EQ(CountOf(text, "\r\n"), 3u);
}

TEST_F(Renaming, ALongPathIsRenamedAndRecorded) {
    std::wstring folder = dir.Path();
    while (folder.size() < 300) {
        folder += L"\\a-rather-long-folder-name";
        ASSERT_TRUE(::CreateDirectoryW(tessel::FileAccessor::ExtendedPath(folder).c_str(), nullptr));
    }
    const std::wstring path = folder + L"\\deep.dll";
    WriteBytes(path, "abc");
    const auto left = manager.RenameParasiteFileEx(path);
    EXPECT_EQ(left.Count(), 0u);
    EXPECT_FALSE(Exists(path));
    EXPECT_EQ(ReadBytes(GetParasiteFileName(path)), "abc");
    EXPECT_EQ(Record(path), path);
    EXPECT_NE(log.Text().find(Renamed(path)), std::string::npos) << log.Text();
}

TEST_F(Renaming, AFileWhoseRecordCannotBeWrittenIsNotDisabledAndCountsAsNotDone) {
    // HKEY_CURRENT_USER is pointed at a key that has been deleted: every write under it fails.
    tessel::UniqueKey doomed;
    ASSERT_EQ(
        ::RegCreateKeyExW(HKEY_CURRENT_USER, L"Doomed", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, doomed.put(), nullptr),
        ERROR_SUCCESS);
    ASSERT_EQ(::RegDeleteKeyW(HKEY_CURRENT_USER, L"Doomed"), ERROR_SUCCESS);
    ASSERT_EQ(::RegOverridePredefKey(HKEY_CURRENT_USER, doomed.get()), ERROR_SUCCESS);
    const std::wstring file = File(L"unrecorded.dll");
    OnlyOwnChildren guard({});
    MoveRecorder moves;
    const auto left = manager.RenameParasiteFilesEx(ListOf({file}));
    // Back to the scratch key of this test (the system keeps its own reference to it).
    ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    tessel::UniqueKey scratch;
    ASSERT_EQ(
        ::RegOpenKeyExW(HKEY_CURRENT_USER, hives.RealPath(HKEY_CURRENT_USER).c_str(), 0, KEY_ALL_ACCESS, scratch.put()),
        ERROR_SUCCESS);
    ::RegOverridePredefKey(HKEY_CURRENT_USER, scratch.get());
    scratch.reset();
    doomed.reset();
    // Without its record it could never be given back: it stays, and its holders are left alone.
    EXPECT_EQ(Items(left), std::vector<std::wstring>{file});
    EXPECT_EQ(RecordCount(), 0u);
    EXPECT_TRUE(Exists(file));
    EXPECT_FALSE(Exists(GetParasiteFileName(file)));
    EXPECT_EQ(moves.TimesFor(file).size(), 1u);  // judged once, and never tried again
    EXPECT_TRUE(guard.Terminated.empty());
    const std::string text = log.Text();
    EXPECT_EQ(text.find(Renamed(file)), std::string::npos) << text;
    EXPECT_NE(text.find(Entry(5, 0, kBatch, L"FilesToPostDelete.Count=0")), std::string::npos) << text;
    EXPECT_NE(text.find(Entry(0, 0, kOne, L"Not disabled: '" + file + L"' could not be recorded for its restore.")),
              std::string::npos)
        << text;
    const std::size_t error = text.find("\t0\t");
    ASSERT_NE(error, std::string::npos) << text;
    const std::size_t lineStart = text.rfind("\r\n", error);
    const std::string line = text.substr(lineStart == std::string::npos ? 0 : lineStart + 2);
    const std::string source = std::string("\t") + Narrow(kOne) + "\t";
    EXPECT_NE(line.find(source), std::string::npos) << line;
    EXPECT_NE(line.find(Narrow(kRecordKey)), std::string::npos) << line;
}

TEST_F(Renaming, AnErrorWithOneFileDoesNotStopTheBatch) {
    const std::wstring a = File(L"a.dll"), b = File(L"b.dll");
    int movesOfA = 0;
    ScopedPreset move(kernel32().CreateFileW, [&](LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                                  DWORD disposition, DWORD flags, HANDLE copyFrom) -> HANDLE {
        if (velmora::FileActedOn(name) == a && ++movesOfA == 1)
            throw tessel::Error(127, L"The call is out of reach.", "CreateFileW");
        return kernel32().CreateFileW.Real(name, access, share, security, disposition, flags, copyFrom);
    });
    // The termination of the holders fails too; the retry is made all the same.
    ScopedPreset ids(psapi().EnumProcesses,
                     [](DWORD*, DWORD, DWORD*) -> BOOL { throw tessel::Error(126, L"No process list.", "EnumProcesses"); });
    const auto left = manager.RenameParasiteFilesEx(ListOf({a, b}));
    EXPECT_EQ(left.Count(), 0u);
    EXPECT_EQ(movesOfA, 2);
    EXPECT_TRUE(Exists(GetParasiteFileName(a)));
    EXPECT_TRUE(Exists(GetParasiteFileName(b)));
    EXPECT_EQ(Record(a), a);
    EXPECT_EQ(Record(b), b);
    const std::string text = log.Text();
    const std::size_t raised = text.find(Entry(0, 127, kRenameNT, L"The call is out of reach."));
    const std::size_t count = text.find(Entry(5, 0, kBatch, L"FilesToPostDelete.Count=1"));
    const std::size_t noList = text.find(Entry(0, 126, kBatch, L"No process list."));
    ASSERT_NE(raised, std::string::npos) << text;
    ASSERT_NE(count, std::string::npos) << text;
    ASSERT_NE(noList, std::string::npos) << text;
    EXPECT_LT(raised, text.find(Renamed(b)));
    EXPECT_LT(count, noList);
    EXPECT_LT(noList, text.find(Renamed(a)));
}

TEST_F(Renaming, OnThe9xFamilyTheAnsiCallsRenameAndAnEarlierCopyIsDeletedFirst) {
    RunningOnNT = false;
    const std::wstring parasite = File(L"nine.dll", "abc");
    const std::wstring target = GetParasiteFileName(parasite);
    WriteBytes(target, "older copy");
    std::vector<std::pair<std::string, std::string>> names;
    ScopedPreset move(kernel32().MoveFileA, [&](LPCSTR from, LPCSTR to) {
        names.emplace_back(from, to);
        return kernel32().MoveFileA.Real(from, to);
    });
    const auto left = manager.RenameParasiteFilesEx(ListOf({parasite}));
    EXPECT_EQ(left.Count(), 0u);
    EXPECT_EQ(names, (std::vector<std::pair<std::string, std::string>>{
                         {tessel::SystemUtility::ToAnsi(parasite), tessel::SystemUtility::ToAnsi(target)}}));
    EXPECT_EQ(ReadBytes(target), "abc");
    EXPECT_EQ(Record(parasite), parasite);
    EXPECT_NE(log.Text().find(Renamed(parasite, kAbcSize, kAbcChecksum, kRename9x)), std::string::npos) << log.Text();
    // A refusal names the error code after the system's text, and the earlier copy is gone by then.
    const std::wstring second = File(L"nine2.dll", "abc");
    WriteBytes(GetParasiteFileName(second), "older copy");
    {
        HeldOpen held(second);
        EXPECT_FALSE(manager.SafeRenameFile(second, GetParasiteFileName(second)));
    }
    EXPECT_FALSE(Exists(GetParasiteFileName(second)));
    const std::string text = log.Text();
    EXPECT_NE(text.find(Entry(5, 0, kRename9x,
                              tessel::Format(L"Failed to rename file '%1', (%2, %3). %4(%5)", second, kAbcSize,
                                             kAbcChecksum, ErrorText(ERROR_SHARING_VIOLATION), 32))),
              std::string::npos)
        << text;
    EXPECT_EQ(EncodedNames(text, kRename9x), std::vector<std::vector<std::uint8_t>>{LittleEndianBytes(second)});
}

int timerCalls = 0;
void CALLBACK CountTimer(HWND, UINT, UINT_PTR, DWORD) { ++timerCalls; }

TEST(WaitPumping, WaitsOnTheTickWhileWindowEventsAreHandled) {
    timerCalls = 0;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, CountTimer);
    ASSERT_NE(timer, 0u);
    const ULONGLONG cpuBefore = ThreadCpuMs(), start = Tick();
    WaitPumping(2000);
    const ULONGLONG waited = Tick() - start, busy = ThreadCpuMs() - cpuBefore;
    ::KillTimer(nullptr, timer);
    EXPECT_GE(waited, 2000u);
    EXPECT_LT(waited, 30000u) << "the wait did not end";  // however late a busy host wakes it
    // The timer's events were handled while the wait lasted, not only at its ends, which would
    // give two at most.
    EXPECT_GE(timerCalls, 5);
    EXPECT_LT(busy, 200u) << "the wait spun";
}

TEST(WaitPumping, EndsByTheSystemTick) {
    // The wait reads nothing but the tick: a tick that has run on ends an hour's wait at once.
    std::vector<ULONGLONG> reads;
    ScopedPreset tick(kernel32().GetTickCount64, [&] {
        reads.push_back(reads.empty() ? 5000000 : reads.back() + 1800000);
        return reads.back();
    });
    const ULONGLONG start = Tick();
    WaitPumping(3600000);
    EXPECT_LT(Tick() - start, 30000u) << "the wait slept on a clock of its own";
    EXPECT_EQ(reads.size(), 3u);
}

TEST(WaitPumping, AQuitMessageIsKeptAndDoesNotMakeTheWaitSpin) {
    // Two seconds, long enough for a spin to show in the processor time on a busy host too.
    ::PostQuitMessage(7);
    const ULONGLONG cpuBefore = ThreadCpuMs(), start = Tick();
    WaitPumping(2000);
    const ULONGLONG waited = Tick() - start, busy = ThreadCpuMs() - cpuBefore;
    EXPECT_GE(waited, 2000u);
    EXPECT_LT(busy, 200u) << "the wait spun";
    MSG msg;
    ASSERT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 7u);
}
