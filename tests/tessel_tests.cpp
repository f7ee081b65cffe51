// The support library against the real system: lists, records, the log, files, the seam.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "TestSupport.h"
#include "tessel/Api.h"
#include "tessel/ComBoundary.h"
#include "tessel/Error.h"
#include "tessel/FileAccessor.h"
#include "tessel/KeyedList.h"
#include "tessel/Logger.h"
#include "tessel/Node.h"
#include "tessel/SystemUtility.h"
#include "tessel/Unique.h"

using namespace tessel;
using testing_support::Narrow;
using testing_support::TempDir;

namespace {
long ErrorNumberOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const Error& e) {
        return e.Number();
    }
    return 0;
}
}  // namespace

TEST(KeyedList, KeepsInsertionOrderAndFindsKeysInAnyCase) {
    KeyedList<std::wstring> list;
    list.Add(L"one", L"_1");
    list.Add(L"two");
    list.Add(L"three", L"C:\\Windows\\Explorer.exe");
    ASSERT_EQ(list.Count(), 3u);
    EXPECT_EQ(list.Item(1), L"one");
    EXPECT_EQ(list.Item(2), L"two");
    EXPECT_EQ(list.Item(L"c:\\windows\\EXPLORER.EXE"), L"three");
    EXPECT_TRUE(list.Exists(L"_1"));
    EXPECT_FALSE(list.Exists(L"two"));  // an item without key
    std::vector<std::wstring> seen(list.begin(), list.end());
    EXPECT_EQ(seen, (std::vector<std::wstring>{L"one", L"two", L"three"}));
}

TEST(KeyedList, IgnoresLetterCaseBeyondAscii) {
    KeyedList<int> list;
    list.Add(1, L"c:\\пути\\ÄPFEL.dll");
    EXPECT_TRUE(list.Exists(L"C:\\ПУТИ\\äpfel.DLL"));
    EXPECT_EQ(ErrorNumberOf([&] { list.Add(2, L"C:\\ПУТИ\\äpfel.dll"); }), kDuplicateKey);
    EXPECT_EQ(list.Count(), 1u);
}

TEST(KeyedList, RaisesOnDuplicateMissingKeyAndBadPosition) {
    KeyedList<int> list;
    list.Add(7, L"a");
    EXPECT_EQ(ErrorNumberOf([&] { list.Add(8, L"A"); }), kDuplicateKey);
    EXPECT_EQ(ErrorNumberOf([&] { list.Item(L"b"); }), kInvalidArgument);
    EXPECT_EQ(ErrorNumberOf([&] { list.Item(0); }), kSubscriptOutOfRange);
    EXPECT_EQ(ErrorNumberOf([&] { list.Item(2); }), kSubscriptOutOfRange);
    EXPECT_EQ(ErrorNumberOf([&] { list.Remove(L"zz"); }), kInvalidArgument);
    EXPECT_EQ(list.Item(1), 7);
}

TEST(KeyedList, InsertsBeforeAndAfterAndRemovesByKey) {
    KeyedList<int> list;
    list.Add(1, L"a");
    list.Add(3, L"c");
    list.Add(2, L"b", 2);        // before position 2
    list.Add(4, L"d", 0, 3);     // after position 3
    list.Add(0, L"z", 1);
    std::vector<int> seen(list.begin(), list.end());
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 2, 3, 4}));
    list.Remove(L"B");
    EXPECT_FALSE(list.Exists(L"b"));
    EXPECT_EQ(list.Item(L"c"), 3);
    EXPECT_EQ(list.Item(3), 3);
    list.Clear();
    EXPECT_EQ(list.Count(), 0u);
    EXPECT_FALSE(list.Exists(L"a"));
}

TEST(NodeTree, HoldsIdsChildrenAndNamedValuesInOrder) {
    NodeList processes;
    Node& p = processes.Add();
    p.Id = L"c:\\windows\\explorer.exe";
    p.Nodes.Add().Id = L"c:\\windows\\system32\\shell32.dll";
    p.Nodes.Add().Id = L"c:\\x\\evil.dll";
    p.params.Add(L"Name", L"Explorer");
    p.params.Add(L"DLL", L"c:\\x.dll");
    ASSERT_EQ(processes.Count(), 1u);
    EXPECT_EQ(processes[0].Nodes.Count(), 2u);
    EXPECT_EQ(processes[0].Nodes[1].Id, L"c:\\x\\evil.dll");
    EXPECT_EQ(p.params.Item(L"dll").Values.Item(1), L"c:\\x.dll");
    EXPECT_TRUE(p.params.Exists(L"NAME"));
    EXPECT_FALSE(p.params.Exists(L"Manufacturer"));
    EXPECT_EQ(ErrorNumberOf([&] { p.params.Item(L"Manufacturer"); }), kInvalidArgument);
    EXPECT_EQ(ErrorNumberOf([&] { p.params.Add(L"name", L"again"); }), kDuplicateKey);
    std::vector<std::wstring> names;
    for (const NodeParam& param : p.params) names.push_back(param.Name);
    EXPECT_EQ(names, (std::vector<std::wstring>{L"Name", L"DLL"}));
}

TEST(Logger, EveryEntryIsInTheFileAtOnceAndReadableWhileOpen) {
    TempDir dir;
    Logger log;
    log.Open(dir / L"VLMR.log", dir / L"short.log");
    log.Log(0, L"********** start app", 5, L"FMain.Form_Initialize");
    log.Log(-2147467259, L"Access is denied.\r\nsecond", 0, L"CProcessManager.TerminateProcessesByModules");
    // Another reader sees both lines while the log is still open.
    const std::string full = FileAccessor::Instance().ReadFile(dir / L"VLMR.log");
    EXPECT_NE(full.find("\t5\t0\tFMain.Form_Initialize\t********** start app\r\n"), std::string::npos) << full;
    EXPECT_NE(full.find("\t0\t-2147467259\tCProcessManager.TerminateProcessesByModules\tAccess is denied.\\r\\nsecond\r\n"),
              std::string::npos)
        << full;
    const std::string brief = FileAccessor::Instance().ReadFile(dir / L"short.log");
    EXPECT_EQ(brief.find("start app"), std::string::npos);
    EXPECT_NE(brief.find("Access is denied."), std::string::npos);
}

TEST(Logger, AppendsAcrossRunsAndKeepsNonAsciiText) {
    TempDir dir;
    {
        Logger log;
        log.Open(dir / L"VLMR.log", dir / L"short.log");
        log.Log(0, L"first", 5, L"S");
    }
    Logger log;
    log.Open(dir / L"VLMR.log", dir / L"short.log");
    log.Log(0, L"c:\\пути\\файл.dll", 5, L"S");
    const std::string full = FileAccessor::Instance().ReadFile(dir / L"VLMR.log");
    EXPECT_LT(full.find("first"), full.find("c:\\\xd0\xbf\xd1\x83"));
}

TEST(Logger, EveryFieldIsOneBoundedLineWithItsControlCharactersEscaped) {
    TempDir dir;
    Logger log;
    log.Open(dir / L"VLMR.log", dir / L"short.log");
    std::wstring name;
    for (int i = 0; i < 2000; ++i) name += L"name\tpart;";  // 20,000 characters, 2,000 tabs
    log.Log(13, name, 4, L"Source\twith\x01tab");
    log.Log(0, L"after", 5, L"S");
    for (const wchar_t* file : {L"VLMR.log", L"short.log"}) {
        const std::string text = FileAccessor::Instance().ReadFile(dir / file);
        const std::size_t end = text.find("\r\n");
        ASSERT_NE(end, std::string::npos) << text;
        const std::string line = text.substr(0, end);
        EXPECT_EQ(line.find('\n'), std::string::npos);
        EXPECT_LT(line.size(), 2 * Logger::kFieldLimit) << file;
        // Only the separators are tabs: the date, then (full log) level and number, source, text.
        const std::size_t separators = std::count(line.begin(), line.end(), '\t');
        EXPECT_EQ(separators, std::wstring(file) == L"VLMR.log" ? 4u : 2u) << line;
        EXPECT_NE(line.find("\tSource\\twith\\x01tab\t"), std::string::npos) << line;
        EXPECT_NE(line.find("\tname\\tpart;name\\tpart;"), std::string::npos) << line;
        EXPECT_NE(line.find("... (20000 characters)"), std::string::npos) << line;
    }
    EXPECT_EQ(LogName(name).size(), kLogNameLimit + std::string("... (20000 characters)").size());
    EXPECT_EQ(LogName(L"short\tname"), L"short\tname");  // cut only; the log escapes
}

TEST(Logger, AFileGrownPastTheLimitKeepsItsNewestLinesAtTheNextOpen) {
    TempDir dir;
    std::string old;
    for (int i = 0; old.size() <= Logger::kTrimAbove; ++i) old += "old line " + std::to_string(i) + "\r\n";
    FileAccessor::Instance().WriteFile(dir / L"VLMR.log", old);
    FileAccessor::Instance().WriteFile(dir / L"short.log", "small\r\n");
    Logger log;
    log.Open(dir / L"VLMR.log", dir / L"short.log");
    log.Log(0, L"this run", 0, L"S");
    const std::string full = FileAccessor::Instance().ReadFile(dir / L"VLMR.log");
    EXPECT_LE(full.size(), Logger::kKeptBytes + 200);
    EXPECT_GE(full.size(), Logger::kKeptBytes - 200);
    EXPECT_EQ(full.rfind("old line ", 0), 0u) << full.substr(0, 40);  // starts with a whole line
    const std::size_t lastOld = old.rfind("old line ");
    EXPECT_NE(full.find(old.substr(lastOld)), std::string::npos);  // the newest old line is kept
    EXPECT_EQ(full.find("old line 0\r\n"), std::string::npos);      // the oldest is gone
    EXPECT_NE(full.find("\tthis run\r\n"), std::string::npos);
    EXPECT_EQ(FileAccessor::Instance().ReadFile(dir / L"short.log").rfind("small\r\n", 0), 0u);  // small: untouched
}

TEST(Logger, OpenOnAMissingFolderRaisesAndLoggingStaysHarmless) {
    Logger log;
    EXPECT_NE(ErrorNumberOf([&] { log.Open(L"c:\\no\\such\\folder\\VLMR.log", L"c:\\no\\such\\folder\\short.log"); }), 0);
    log.Log(0, L"lost, without a failure", 5, L"S");
    Logger never;
    never.Log(0, L"before Open", 5, L"S");
}

TEST(Guard, LogsTheErrorWithLevelAndSourceAndLeaves) {
    TempDir dir;
    Logger log;
    log.Open(dir / L"VLMR.log", dir / L"short.log");
    bool after = false;
    EXPECT_FALSE(Guard(log, L"CBHOManager.EnumBHOs", 4, [&] {
        throw Error(5, L"Invalid procedure call or argument");
        after = true;
    }));
    EXPECT_FALSE(after);
    EXPECT_TRUE(Guard(log, L"X", 4, [] {}));
    const std::string full = FileAccessor::Instance().ReadFile(dir / L"VLMR.log");
    EXPECT_NE(full.find("\t4\t5\tCBHOManager.EnumBHOs\tInvalid procedure call or argument\r\n"), std::string::npos);
}

// Every kind of error reads the same in a log line, a kept error, a failure action and at a
// COM boundary.
TEST(ErrorFunnel, DescribesEveryKindOfErrorAlikeEverywhere) {
    struct Case {
        std::function<void()> raise;
        long number;
        const wchar_t* text;
        const wchar_t* source;
        HRESULT result;  // what a COM caller gets
        const char* logLine;
    };
    const Case cases[] = {
        {[] { throw Error(5, L"Invalid procedure call or argument", "RegOpenKeyExW"); }, 5,
         L"Invalid procedure call or argument", L"RegOpenKeyExW", static_cast<HRESULT>(0x800A0005),
         "4|5|S|Invalid procedure call or argument"},
        {[] { throw UnusableValue(13, L"Type mismatch"); }, 13, L"Type mismatch", L"",
         static_cast<HRESULT>(0x800A000D), "4|13|S|Type mismatch"},
        {[] { throw Error(E_ACCESSDENIED, L"Denied", "CoCreateInstance"); }, E_ACCESSDENIED, L"Denied",
         L"CoCreateInstance", E_ACCESSDENIED, "4|-2147024891|S|Denied"},
        {[] { throw std::bad_alloc(); }, 7, L"Out of memory", L"", E_OUTOFMEMORY, "4|7|S|Out of memory"},
        {[] { throw std::runtime_error("disk on fire"); }, kUnspecifiedFailure, L"disk on fire", L"", E_FAIL,
         "4|-2147467259|S|disk on fire"},
        {[] { throw 42; }, kUnspecifiedFailure, L"Unexpected error", L"", E_FAIL,
         "4|-2147467259|S|Unexpected error"},
    };
    TempDir dir;
    Logger log;
    log.Open(dir / L"VLMR.log", dir / L"short.log");
    std::vector<std::string> expectedLines;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.logLine);
        ErrorDescription seen{static_cast<long>(0xdeadbeef), L"poison", L"poison"};
        EXPECT_FALSE(Guard(c.raise, [&](const ErrorDescription& e) { seen = e; }));
        EXPECT_EQ(seen.number, c.number);
        EXPECT_EQ(seen.text, c.text);
        EXPECT_EQ(seen.source, c.source);

        PendingError pending;
        pending.Run(c.raise);
        EXPECT_TRUE(pending.Has());
        EXPECT_EQ(pending.Number(), c.number);
        EXPECT_EQ(pending.Description(), c.text);

        EXPECT_FALSE(Guard(log, L"S", 4, c.raise));
        expectedLines.push_back(c.logLine);

        EXPECT_EQ(com::AtComBoundary(L"S", [&]() -> HRESULT {
                      c.raise();
                      return S_OK;
                  }),
                  c.result);
    }
    EXPECT_EQ(testing_support::LogLines(dir / L"VLMR.log"), expectedLines);
}

TEST(ErrorFunnel, AFailureActionRunsOnlyAfterAFailureAndAfterItsLogLine) {
    TempDir dir;
    Logger log;
    log.Open(dir / L"VLMR.log", dir / L"short.log");
    int actions = 0;
    EXPECT_TRUE(Guard(log, L"S", 0, [] {}, [&] { ++actions; }));
    EXPECT_TRUE(Guard([] {}, [&] { ++actions; }));
    EXPECT_EQ(actions, 0);
    std::size_t linesWhenActing = 0;
    EXPECT_FALSE(Guard(log, L"FSafeRemover.cmdDisable_Click", 0, [] { throw Error(53, L"File not found"); },
                       [&](const ErrorDescription& e) {
                           linesWhenActing = testing_support::LogLines(dir / L"VLMR.log").size();
                           EXPECT_EQ(e.text, L"File not found");
                       }));
    EXPECT_EQ(linesWhenActing, 1u);
    EXPECT_EQ(testing_support::LogLines(dir / L"VLMR.log"),
              std::vector<std::string>{"0|53|FSafeRemover.cmdDisable_Click|File not found"});
    EXPECT_FALSE(PassOver([] { throw Error(5, L"dropped"); }));
    EXPECT_TRUE(PassOver([] {}));
}

// The tests' stand-in for the program's end passes every helper that handles errors, which
// neither logs nor keeps it.
TEST(ErrorFunnel, TheProgramsEndPassesEveryHandler) {
    TempDir dir;
    Logger log;
    log.Open(dir / L"VLMR.log", dir / L"short.log");
    auto end = [] { throw api::ExitUnwind{7}; };
    bool acted = false;
    auto act = [&] { acted = true; };
    PendingError pending;
    const std::function<void()> handlers[] = {
        [&] { Guard(end, act); },
        [&] { PassOver(end); },
        [&] { Guard(log, L"S", 4, end); },
        [&] { Guard(log, L"S", 4, end, act); },
        [&] { pending.Run(end); },
    };
    for (const auto& handler : handlers) {
        unsigned code = 0;
        try {
            handler();
        } catch (const api::ExitUnwind& e) {
            code = e.code;
        }
        EXPECT_EQ(code, 7u);
    }
    EXPECT_FALSE(acted);
    EXPECT_FALSE(pending.Has());
    EXPECT_TRUE(testing_support::LogLines(dir / L"VLMR.log").empty());
}

TEST(ErrorFunnel, AFailedCallRaisesItsErrorWithTheCallsNameAndTheSystemsText) {
    auto caught = [](const std::function<void()>& f) -> Error {
        try {
            f();
        } catch (const Error& e) {
            return e;
        }
        return Error(0, L"nothing raised");
    };
    ::SetLastError(ERROR_ACCESS_DENIED);
    const Error denied = caught([] { ThrowLastError("CreateFileW", L"Cannot open the file 'c:\\x'"); });
    EXPECT_EQ(denied.Number(), 5);
    EXPECT_EQ(denied.Call(), "CreateFileW");
    const std::wstring prefix = L"Cannot open the file 'c:\\x': ";
    ASSERT_EQ(denied.Description().rfind(prefix, 0), 0u) << Narrow(denied.Description());
    EXPECT_EQ(denied.Description().substr(prefix.size()), SystemUtility::Instance().SystemErrorText(5));
    EXPECT_EQ(denied.Description().find(L"Unknown error"), std::wstring::npos);

    // A call that failed without a reason is still a failure.
    ::SetLastError(0);
    const Error silent = caught([] { ThrowLastError("GetTempPathW", L"The temporary folder is unknown"); });
    EXPECT_EQ(silent.Number(), kUnspecifiedFailure);
    EXPECT_EQ(silent.Description(), L"The temporary folder is unknown.");

    const Error missing = caught([] { ThrowSystemError(ERROR_FILE_NOT_FOUND, "RegOpenKeyExW", L"Cannot open"); });
    EXPECT_EQ(missing.Number(), 2);
    EXPECT_EQ(missing.Call(), "RegOpenKeyExW");

    ::SetLastError(ERROR_ENVVAR_NOT_FOUND);
    EXPECT_THROW(ThrowLastError<UnusableValue>("ExpandEnvironmentStringsW", L"Cannot expand"), UnusableValue);
}

TEST(FileAccessor, ReadsWritesAndTellsFilesFromFolders) {
    TempDir dir;
    auto& fa = FileAccessor::Instance();
    const std::wstring file = dir / L"data.bin";
    EXPECT_FALSE(fa.FileExists(file));
    EXPECT_EQ(fa.ReadFile(file), "");  // missing: empty
    std::string bytes;
    for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
    fa.WriteFile(file, bytes);
    EXPECT_TRUE(fa.FileExists(file));
    EXPECT_EQ(fa.ReadFile(file), bytes);
    EXPECT_EQ(fa.ReadBytes(file).size(), 256u);
    fa.WriteFile(file, "short");  // replaces
    EXPECT_EQ(fa.ReadFile(file), "short");
    fa.CreateFolder(dir / L"a\\b\\c");
    fa.CreateFolder(dir / L"a\\b\\c");  // present: no error
    EXPECT_FALSE(fa.FileExists(dir / L"a\\b"));
    EXPECT_NE(ErrorNumberOf([&] { fa.ReadFile(dir / L"a"); }), 0);  // a folder is no file
    EXPECT_NE(ErrorNumberOf([&] { fa.CreateFolder(file); }), 0);
}

TEST(FileAccessor, HandlesLongAndNonAsciiPaths) {
    TempDir dir;
    auto& fa = FileAccessor::Instance();
    std::wstring deep = dir.Path();
    while (deep.size() < 300) deep += L"\\каталог-" + std::wstring(20, L'x');
    fa.CreateFolder(deep);
    const std::wstring file = deep + L"\\ファイル.dll";
    ASSERT_GT(file.size(), static_cast<std::size_t>(MAX_PATH));
    fa.WriteFile(file, "abc");
    EXPECT_TRUE(fa.FileExists(file));
    EXPECT_EQ(fa.ReadFile(file), "abc");
}

TEST(FileAccessor, ReadsAFileThatAnotherHandleHoldsOpen) {
    TempDir dir;
    const std::wstring file = dir / L"held.txt";
    FileAccessor::Instance().WriteFile(file, "held");
    UniqueFile held(::CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    EXPECT_EQ(FileAccessor::Instance().ReadFile(file), "held");
    UniqueFile exclusive(::CreateFileW((dir / L"locked.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(exclusive);
    EXPECT_EQ(ErrorNumberOf([&] { FileAccessor::Instance().ReadFile(dir / L"locked.txt"); }), ERROR_SHARING_VIOLATION);
}

TEST(FileAccessor, AFileIsTheSameByVolumeAndNumberAndByNumberAloneWhereAVolumeSaysZero) {
    const struct {
        FileIdentity a, b;
        bool same;
    } cases[] = {
        {{7, 1, 2}, {7, 1, 2}, true},
        {{7, 1, 2}, {8, 1, 2}, false},
        {{0, 1, 2}, {8, 1, 2}, true},
        {{7, 1, 2}, {0, 1, 2}, true},
        {{0, 1, 2}, {0, 1, 2}, true},
        {{0, 1, 2}, {8, 1, 3}, false},
        {{7, 1, 2}, {0, 9, 2}, false},
        {{7, 1, 2}, {7, 9, 2}, false},
        {{7, 1, 2}, {7, 1, 3}, false},
    };
    for (const auto& [a, b, same] : cases) {
        SCOPED_TRACE(std::to_string(a.volume) + ":" + std::to_string(a.high) + ":" + std::to_string(a.low) + " " +
                     std::to_string(b.volume) + ":" + std::to_string(b.high) + ":" + std::to_string(b.low));
        EXPECT_EQ(SameFile(a, b), same);
        EXPECT_EQ(SameFile(b, a), same);
    }
}

TEST(SystemUtility, ExpandsEnvironmentAndNamesErrors) {
    auto& su = SystemUtility::Instance();
    EXPECT_EQ(SystemUtility::Lower(su.ExpandEnvironment(L"%windir%")), L"c:\\windows");
    EXPECT_EQ(su.ExpandEnvironment(L"%no_such_variable_x%\\a"), L"%no_such_variable_x%\\a");
    EXPECT_EQ(su.ExpandEnvironment(L""), L"");
    EXPECT_EQ(su.ExpandEnvironment(std::wstring(30000, L'a') + L"%windir%").size(), 30000u + 10u);
    EXPECT_THROW(su.ExpandEnvironment(std::wstring(40000, L'a') + L"%windir%"), Error);  // never cut short
    EXPECT_NE(su.SystemErrorText(5).find(L"ccess"), std::wstring::npos);
    EXPECT_FALSE(su.SystemErrorText(1314).empty());
    EXPECT_EQ(su.SystemErrorText(0xDEADBEEF), L"Unknown error 3735928559.");
}

TEST(SystemUtility, NewIdIsUniqueAndSafeInFileNames) {
    auto& su = SystemUtility::Instance();
    const std::wstring a = su.NewId(), b = su.NewId();
    EXPECT_NE(a, b);
    EXPECT_EQ(a.find_first_of(L"\\/:*?\"<>|{} "), std::wstring::npos) << testing_support::Narrow(a);
    // It travels in a form field too: hex digits and "-" only.
    EXPECT_EQ(a.find_first_not_of(L"0123456789ABCDEFabcdef-"), std::wstring::npos) << testing_support::Narrow(a);
    const std::wstring temp = su.TempFileName(L"vlm");
    EXPECT_TRUE(FileAccessor::Instance().FileExists(temp));
    ::DeleteFileW(temp.c_str());
}

TEST(SystemUtility, ReadsVersionStringsOfItsOwnProgram) {
    wchar_t self[MAX_PATH];
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    auto strings = SystemUtility::Instance().VersionStrings(self);
    ASSERT_TRUE(strings.Exists(L"CompanyName"));
    EXPECT_EQ(strings.Item(L"CompanyName"), L"Ardentis Software");
    EXPECT_EQ(strings.Item(L"FileDescription"), L"Velmora test program");
    EXPECT_EQ(SystemUtility::Instance().VersionStrings(L"c:\\no\\such.dll").Count(), 0u);
}

namespace {
void Put16(std::string& b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<char>(v);
    b[at + 1] = static_cast<char>(v >> 8);
}
void Put32(std::string& b, std::size_t at, std::uint32_t v) {
    Put16(b, at, v & 0xFFFF);
    Put16(b, at + 2, v >> 16);
}
void Pad4(std::string& b) { b.resize((b.size() + 3) & ~std::size_t{3}, '\0'); }
std::string Utf16z(const std::wstring& s) {
    std::string b;
    for (wchar_t c : s + L'\0') b += {static_cast<char>(c), static_cast<char>(c >> 8)};
    return b;
}

// A block of a version resource: its lengths and type, its key, then its value and its one child.
std::string VersionBlock(const std::wstring& key, const std::string& value, unsigned valueLength, unsigned type,
                         const std::string& child) {
    std::string b(6, '\0');
    b += Utf16z(key);
    Pad4(b);
    b += value;
    Pad4(b);
    b += child;
    Put16(b, 0, static_cast<std::uint32_t>(b.size()));
    Put16(b, 2, valueLength);
    Put16(b, 4, type);
    return b;
}

// A version resource with a file version of major.0.0.0 and a description.
std::string VersionInfo(const std::wstring& description, unsigned major) {
    std::string fixed(52, '\0');
    Put32(fixed, 0, 0xFEEF04BD);
    Put32(fixed, 4, 0x10000);
    Put32(fixed, 8, major << 16);
    const std::string entry =
        VersionBlock(L"FileDescription", Utf16z(description), static_cast<unsigned>(description.size() + 1), 1, "");
    const std::string strings = VersionBlock(L"StringFileInfo", "", 0, 1, VersionBlock(L"040904b0", "", 0, 1, entry));
    return VersionBlock(L"VS_VERSION_INFO", fixed, 52, 0, strings);
}

struct Version {
    std::uint32_t name, language;
    std::string info;
};
// A 32-bit image whose one section holds RT_VERSION's entries, in the order given, and where the
// parts a row breaks are in the file.
struct Image {
    std::string bytes;
    std::size_t typeLevel;                        // the level of RT_VERSION's names
    std::vector<std::size_t> names;                  // each name's entry in that level
    std::vector<std::size_t> languages, dataEntries;  // each version's entry in its name's level, its data entry
};
constexpr std::size_t kPe = 0x40, kOptional = kPe + 24, kSection = kOptional + 224, kRaw = 0x200;
constexpr std::uint32_t kRva = 0x1000;

Image MakeImage(const std::vector<Version>& versions) {
    std::vector<std::uint32_t> names;
    for (const Version& v : versions)
        if (std::find(names.begin(), names.end(), v.name) == names.end()) names.push_back(v.name);
    Image image;
    std::string r(40 + 8 * names.size(), '\0');  // the root, with RT_VERSION alone, then its level
    Put16(r, 14, 1);
    Put32(r, 16, 16);
    Put32(r, 20, 0x80000000u | 24);
    Put16(r, 24 + 14, static_cast<std::uint32_t>(names.size()));
    image.typeLevel = kRaw + 24;
    image.languages.resize(versions.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        image.names.push_back(kRaw + 40 + 8 * i);
        Put32(r, 40 + 8 * i, names[i]);
        Put32(r, 44 + 8 * i, 0x80000000u | static_cast<std::uint32_t>(r.size()));
        const std::size_t level = r.size();
        r.resize(level + 16);
        for (std::size_t j = 0; j < versions.size(); ++j) {
            if (versions[j].name != names[i]) continue;
            image.languages[j] = kRaw + r.size();
            r.resize(r.size() + 8);
            Put32(r, r.size() - 8, versions[j].language);
        }
        Put16(r, level + 14, static_cast<std::uint32_t>((r.size() - level - 16) / 8));
    }
    for (std::size_t j = 0; j < versions.size(); ++j) {
        Put32(r, image.languages[j] - kRaw + 4, static_cast<std::uint32_t>(r.size()));
        image.dataEntries.push_back(kRaw + r.size());
        r.resize(r.size() + 16);
    }
    for (std::size_t j = 0; j < versions.size(); ++j) {
        Pad4(r);
        Put32(r, image.dataEntries[j] - kRaw, kRva + static_cast<std::uint32_t>(r.size()));
        Put32(r, image.dataEntries[j] - kRaw + 4, static_cast<std::uint32_t>(versions[j].info.size()));
        r += versions[j].info;
    }
    const auto size = static_cast<std::uint32_t>(r.size());
    std::string& b = image.bytes;
    b.assign(kRaw, '\0');
    // "MZ", "PE", a 386 with one section, PE32 with 16 directories, the resources' one, the section.
    for (const auto& [at, value] : std::initializer_list<std::pair<std::size_t, std::uint32_t>>{
             {0, 0x5A4D}, {0x3C, kPe}, {kPe, 0x4550}, {kPe + 4, 0x1014C}, {kPe + 20, 224}, {kOptional, 0x10B},
             {kOptional + 92, 16}, {kOptional + 112, kRva}, {kOptional + 116, size}, {kSection + 8, size},
             {kSection + 12, kRva}, {kSection + 16, size}, {kSection + 20, kRaw}})
        Put32(b, at, value);
    b += r;
    return image;
}
}  // namespace

TEST(SystemUtility, TakesTheVersionEntryTheSystemTakesAndNoneOfABrokenImage) {
    const Version first{1, 0, VersionInfo(L"First", 1)};
    const struct {
        const char* what;
        std::vector<Version> versions;
        std::function<void(Image&)> breakIt;
        std::wstring description;  // empty: no version facts at all
        unsigned major;
    } rows[] = {
        {"a whole image", {first}, [](Image&) {}, L"First", 1},
        {"one language, not the neutral one", {{1, 0x409, VersionInfo(L"English", 3)}}, [](Image&) {}, L"English", 3},
        {"name 2 before name 1", {{2, 0, VersionInfo(L"Second", 2)}, first}, [](Image&) {}, L"First", 1},
        {"a language before the neutral one",
         {{1, 0x409, VersionInfo(L"English", 3)}, {1, 0, VersionInfo(L"Neutral", 4)}}, [](Image&) {}, L"Neutral", 4},
        {"the DOS header cut short", {first}, [](Image& i) { i.bytes.resize(0x30); }, L"", 0},
        {"the optional header cut short", {first}, [](Image& i) { i.bytes.resize(kOptional + 60); }, L"", 0},
        {"the section's raw data past the end", {first},
         [](Image& i) { Put32(i.bytes, kSection + 20, 0x100000); }, L"", 0},
        {"the file ending inside the version block", {first},
         [](Image& i) { i.bytes.resize(i.bytes.size() - 8); }, L"", 0},
        {"the root counting more entries than fit", {first},
         [](Image& i) { Put16(i.bytes, kRaw + 14, 0xFFFF); }, L"", 0},
        // Name 1 leads back to its own level, where name 0 would pass for the neutral language.
        {"a level that leads back to itself",
         {{0, 0, VersionInfo(L"Zero", 5)}, first},
         [](Image& i) {
             Put32(i.bytes, i.names[0] + 4, static_cast<std::uint32_t>(i.dataEntries[0] - kRaw));
             Put32(i.bytes, i.names[1] + 4, 0x80000000u | static_cast<std::uint32_t>(i.typeLevel - kRaw));
         },
         L"", 0},
        {"a language entry past the end", {first},
         [](Image& i) { Put32(i.bytes, i.languages[0] + 4, 0x7FFFFFF0); }, L"", 0},
        {"a data block larger than its section", {first},
         [](Image& i) { Put32(i.bytes, i.dataEntries[0] + 4, 0x7FFFFFF0); }, L"", 0},
        {"a data block outside every section", {first},
         [](Image& i) { Put32(i.bytes, i.dataEntries[0], kRva + 0x100000); }, L"", 0},
    };
    TempDir dir;
    auto& su = SystemUtility::Instance();
    int n = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Image image = MakeImage(row.versions);
        row.breakIt(image);
        // A name with a trailing dot is read from the image's own bytes, as only its verbatim path reaches it.
        const std::wstring path = L"\\\\?\\" + dir / (L"image" + std::to_wstring(++n) + L".dll.");
        testing_support::WriteBytes(path, image.bytes);
        const auto strings = su.VersionStrings(path);
        const auto version = su.FileVersion(path);
        if (row.description.empty()) {
            EXPECT_EQ(strings.Count(), 0u);
            EXPECT_FALSE(version.has_value());
            continue;
        }
        EXPECT_EQ(strings.Exists(L"FileDescription") ? strings.Item(L"FileDescription") : L"(none)", row.description);
        ASSERT_TRUE(version.has_value());
        EXPECT_EQ(version->major, row.major);
    }
}

TEST(SystemUtility, ReportsTheWindowsVersionOfThePlatform) {
    long major = -1, minor = -1, build = -1, platform = -1;
    std::wstring sp = L"poison";
    const std::wstring text = SystemUtility::Instance().GetWindowsVersion(major, minor, build, platform, sp);
    EXPECT_EQ(platform, 2);
    EXPECT_GE(major, 5);
    EXPECT_NE(text.find(L"Windows NT"), std::wstring::npos);
}

TEST(Seam, BindsByNameAndRaisesAClearErrorForMissingOnes) {
    api::Library missing(L"no-such-library-vlm.dll");
    api::Fn<DWORD> f(missing, "Nothing");
    try {
        f();
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_NE(e.Description().find(L"no-such-library-vlm.dll"), std::wstring::npos);
    }
    api::Library kernel(L"kernel32.dll");
    api::Fn<DWORD> g(kernel, "NoSuchFunctionAtAll");
    try {
        g();
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_NE(e.Description().find(L"NoSuchFunctionAtAll"), std::wstring::npos);
    }
}

ULONGLONG WINAPI FallbackTicks() { return 0x123456789ull; }

TEST(Seam, AFunctionMissingFromAnOlderWindowsGoesToItsFallback) {
    api::Library kernel(L"kernel32.dll");
    api::Fn<ULONGLONG> missing(kernel, "NoSuchFunctionAtAll", &FallbackTicks);
    EXPECT_EQ(missing(), 0x123456789ull);
    api::Fn<DWORD> present(kernel, "GetVersion", reinterpret_cast<DWORD(WINAPI*)()>(&FallbackTicks));
    EXPECT_EQ(present(), ::GetVersion());
}

TEST(Seam, TheWidenedTickCountCountsWrapsAndNeverGoesBack) {
    struct Case {
        ULONGLONG last;
        DWORD now;
        ULONGLONG widened;
    } cases[] = {
        {0, 5000, 5000},                                  // the first reading
        {0, 0x9A7EC800u, 0x9A7EC800ull},                  // the first, after 30 days of uptime
        {0x1'00001000ull, 0x2000, 0x1'00002000ull},       // the same lap
        {0x0'FFFFFF00ull, 0x10, 0x1'00000010ull},         // the count wrapped
        {0x2'9000FFF0ull, 0x10, 0x3'00000010ull},         // wrapped after 21 quiet days
        {0x1'00000010ull, 0xFFFFFF00u, 0x1'00000010ull},  // another thread's late reading
        {0x1'00002000ull, 0x1F00, 0x1'00002000ull},
    };
    for (const Case& c : cases) EXPECT_EQ(api::WidenTickCount(c.last, c.now), c.widened) << std::hex << c.last;
    // Through the seam, the widened count follows the 32-bit one.
    DWORD ticks = 1000;
    api::ScopedPreset preset(api::kernel32().GetTickCount, [&] { return ticks; });
    const ULONGLONG a = api::TickCount64BeforeVista();
    ticks += 250;
    EXPECT_EQ(api::TickCount64BeforeVista() - a, 250u);
}

TEST(Seam, APresetAnswersUntilItIsReset) {
    auto& k = api::kernel32();
    const DWORD real = k.GetVersion();
    EXPECT_EQ(real, ::GetVersion());
    {
        api::ScopedPreset preset(k.GetVersion, [] { return DWORD(0xC0000A04); });
        EXPECT_EQ(k.GetVersion(), 0xC0000A04u);
        EXPECT_EQ(k.GetVersion.Real(), real);
    }
    EXPECT_FALSE(k.GetVersion.IsPreset());
    EXPECT_EQ(k.GetVersion(), real);
}

TEST(UniqueHandles, CloseWhatTheyHoldAndKeepTheirInvalidValue) {
    UniqueFile none;
    EXPECT_FALSE(none);
    EXPECT_EQ(none.get(), INVALID_HANDLE_VALUE);
    UniqueHandle noProcess;
    EXPECT_EQ(noProcess.get(), nullptr);
    int closed = 0;
    {
        api::ScopedPreset preset(api::kernel32().CloseHandle, [&](HANDLE h) {
            ++closed;
            return api::kernel32().CloseHandle.Real(h);
        });
        UniqueHandle event(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
        UniqueHandle moved = std::move(event);
        EXPECT_FALSE(event);
        EXPECT_TRUE(moved);
        // A file owner holds nothing in either of the values that mean "no file".
        for (HANDLE nothing : {INVALID_HANDLE_VALUE, HANDLE(nullptr)}) {
            UniqueFile file(nothing);
            EXPECT_FALSE(file);
            file.reset();
        }
        TempDir dir;
        UniqueFile file(::CreateFileW((dir / L"held.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        EXPECT_TRUE(file);
    }
    EXPECT_EQ(closed, 2);
}

namespace {
constexpr DWORD kNoCom = ~0u;
struct ApartmentCase {
    DWORD before;        // the thread's own COM before the owner, or kNoCom
    bool keep;           // the owner is told to keep its apartment
    bool leaveOwnFirst;  // the thread leaves its own COM before the probe
    HRESULT probe;       // what entering a single-threaded apartment then answers
};
struct ApartmentRun {
    const ApartmentCase& c;
    HRESULT probe = E_UNEXPECTED;
};

// One case, in a thread of its own whose COM starts untouched; every entry is left at the end.
DWORD WINAPI RunApartmentCase(void* param) {
    auto& r = *static_cast<ApartmentRun*>(param);
    const bool own = r.c.before != kNoCom && SUCCEEDED(::CoInitializeEx(nullptr, r.c.before));
    {
        ComApartment apartment;
        if (r.c.keep) apartment.KeepForThread();
    }
    if (own && r.c.leaveOwnFirst) ::CoUninitialize();
    r.probe = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (SUCCEEDED(r.probe)) ::CoUninitialize();
    if (own && !r.c.leaveOwnFirst) ::CoUninitialize();
    if (r.c.keep) ::CoUninitialize();
    return 0;
}
}  // namespace

// The COM owner leaves the thread's apartment only when it entered it: a thread that had COM
// before keeps it as it was, and an apartment the owner was told to keep stays.
TEST(ComApartment, LeavesOnlyTheApartmentItEntered) {
    static const ApartmentCase cases[] = {
        {kNoCom, false, false, S_OK},
        {kNoCom, true, false, S_FALSE},
        {COINIT_APARTMENTTHREADED, false, true, S_OK},
        {COINIT_MULTITHREADED, false, false, RPC_E_CHANGED_MODE},
    };
    for (const ApartmentCase& c : cases) {
        ApartmentRun run{c};
        const UniqueHandle thread(::CreateThread(nullptr, 0, &RunApartmentCase, &run, 0, nullptr));
        ASSERT_TRUE(thread);
        ASSERT_EQ(::WaitForSingleObject(thread.get(), 30000), WAIT_OBJECT_0);
        EXPECT_EQ(run.probe, c.probe) << "case " << (&c - cases);
    }
}
