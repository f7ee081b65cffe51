// File-name resolution: command lines to file names by text rules, and file names to full
// paths through the system's search, on the real file system and with scripted answers.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>

#include "FileFactsSupport.h"
#include "inspection/CommandLine.h"
#include "inspection/FileChecker.h"
#include "tessel/Api.h"
#include "tessel/Error.h"
#include "tessel/SystemUtility.h"

using namespace velmora;
using filefacts::CopyFixture;
using filefacts::ProcessWideValues;
using tessel::api::kernel32;
using tessel::api::ScopedPreset;
using testing_support::Narrow;
using testing_support::TempDir;
using testing_support::WriteBytes;

namespace {

constexpr DWORD kWin98 = 0xC0000A04;
constexpr DWORD kNT4 = 0x05650004;

bool SamePath(const std::wstring& a, const std::wstring& b) { return ::lstrcmpiW(a.c_str(), b.c_str()) == 0; }

#define EXPECT_SAME_PATH(a, b) EXPECT_PRED2(SamePath, a, b)

std::wstring ShortForm(const std::wstring& path) {
    wchar_t buf[1024];
    const DWORD n = ::GetShortPathNameW(path.c_str(), buf, 1024);
    return n && n < 1024 ? std::wstring(buf, n) : std::wstring();
}

std::wstring WindowsFolder() {
    wchar_t buf[MAX_PATH];
    const UINT n = ::GetWindowsDirectoryW(buf, MAX_PATH);
    return std::wstring(buf, n);
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Counts the searches while letting them through to the system.
struct SearchCounter {
    int calls = 0;
    ScopedPreset<decltype(kernel32().SearchPathW)> preset{
        kernel32().SearchPathW, [this](LPCWSTR path, LPCWSTR name, LPCWSTR ext, DWORD size, LPWSTR buf, LPWSTR* part) {
            ++calls;
            return kernel32().SearchPathW.Real(path, name, ext, size, buf, part);
        }};
};

// A fixture under a folder and a file name that both have long names.
struct LongNamedFixture {
    TempDir dir;
    std::wstring folder = dir / L"Folder With A Long Name";
    std::wstring path = folder + L"\\Fixture Library With A Long Name.dll";
    LongNamedFixture() {
        ::CreateDirectoryW(folder.c_str(), nullptr);
        CopyFixture(L"fixture_both.dll", path);
    }
};

}  // namespace

// ---- the command line --------------------------------------------------------------------

TEST(CommandLine, EveryRowOfTheTable) {
    const struct {
        const wchar_t* cl;
        const wchar_t* file;
    } rows[] = {
        {L"rundll32.exe shell32.dll,Control_RunDLL", L"shell32.dll"},
        {L"RUNDLL32 mydll,Entry", L"mydll.dll"},
        {L"rundll32.exe", L"rundll32.exe"},
        {L"\"rundll32.exe\" foo.dll,bar", L"foo.dll"},
        {L"%SystemRoot%\\System32\\rundll32.exe url.dll,FileProtocolHandler %l", L"url.dll"},
        {L"rundll32.exe C:\\x\\y", L"C:\\x\\y.dll"},
        {L"rundll32 \"C:\\a b\\c.dll\",Entry", L"\"C:\\a b\\c.dll\""},
        {L"rundll32.exe,x y", L"y.dll"},
        {L"C:\\WINDOWS\\rundll32.exe foo.dll,bar", L"C:\\WINDOWS\\rundll32.exe"},
        {L" rundll32.exe x.dll,y", L"rundll32.exe"},
        {L"C:\\Program Files\\App\\app.exe -min", L"C:\\Program Files\\App\\app.exe"},
        {L"C:\\Program Files\\App Folder\\app.exe", L"C:\\Program Files\\App Folder\\app.exe"},
        {L"C:\\Program Files\\App\\app.exe C:\\docs\\x.txt", L"C:\\Program Files\\App\\app.exe C:\\docs\\x.txt"},
        {L"C:\\x\\prog.exe \"%1\"", L"C:\\x\\prog.exe"},
        {L"C:\\x\\prog.exe %1 %2", L"C:\\x\\prog.exe"},
        {L"notepad.exe readme.txt", L"notepad.exe"},
        {L"a b c", L"a b"},
        {L"\"C:\\Program Files\\x.exe\" -a \"b c\"", L"C:\\Program Files\\x.exe"},
        {L"\"C:\\Program Files\\x.exe -a", L"C:\\Program"},
        {L"\"C:\\x.exe\"", L"C:\\x.exe"},
        {L"C:\\x.exe /background", L"C:\\x.exe"},
        {L"C:/tools/x.exe", L"C:"},
        {L"/x", L""},
        {L"explorer", L"explorer.exe"},
        {L"explorer /n", L"explorer.exe"},
        {L"Explorer", L"Explorer"},
        {L"C:\\x.exe%1", L"C:\\x.exe%1"},
        {L"", L""},
    };
    CFileChecker checker;
    for (const auto& row : rows) {
        SCOPED_TRACE(Narrow(row.cl));
        EXPECT_EQ(checker.GetFileNameFromCommandLine(row.cl), row.file);
    }
}

TEST(CommandLine, EdgesOfTheRules) {
    CFileChecker checker;
    // A lone quotation mark left over is no file name.
    EXPECT_EQ(checker.GetFileNameFromCommandLine(L"\""), L"");
    EXPECT_EQ(checker.GetFileNameFromCommandLine(L" \" "), L"");
    // A quotation mark first with a blank right after it.
    EXPECT_EQ(checker.GetFileNameFromCommandLine(L"\" x"), L"");
    // Shorter than the prefixes.
    EXPECT_EQ(checker.GetFileNameFromCommandLine(L"rund"), L"rund");
    // The first two characters keep a "%1" of their own; later ones go.
    EXPECT_EQ(checker.GetFileNameFromCommandLine(L"%1x\\a.exe %1"), L"%1x\\a.exe");
    // Letter case is kept, and only "explorer" itself is completed.
    EXPECT_EQ(checker.GetFileNameFromCommandLine(L"C:\\Windows\\EXPLORER.EXE /e"), L"C:\\Windows\\EXPLORER.EXE");
    EXPECT_EQ(checker.GetFileNameFromCommandLine(L"EXPLORER"), L"EXPLORER");
    // Non-ASCII text passes through untouched.
    EXPECT_EQ(checker.GetFileNameFromCommandLine(L"C:\\\x0414\x0430\\\x4e2d.exe -q"), L"C:\\\x0414\x0430\\\x4e2d.exe");
    // The argument is taken by value: the caller's text is not changed.
    std::wstring cl = L"C:\\x.exe /s";
    checker.GetFileNameFromCommandLine(cl);
    EXPECT_EQ(cl, L"C:\\x.exe /s");
}

TEST(CommandLine, TrimmedUnquotedTakesOnePairOfMarks) {
    EXPECT_EQ(TrimmedUnquoted(L"  \"C:\\a b\\c.dll\"  "), L"C:\\a b\\c.dll");
    EXPECT_EQ(TrimmedUnquoted(L"C:\\a b\\c.dll"), L"C:\\a b\\c.dll");
    EXPECT_EQ(TrimmedUnquoted(L"\"\"x\"\""), L"\"x\"");
    EXPECT_EQ(TrimmedUnquoted(L"\""), L"\"");
    EXPECT_EQ(TrimmedUnquoted(L""), L"");
}

// ---- the search on the real file system ---------------------------------------------------

TEST(FullFileName, FindsProgramsAsTheSystemDoes) {
    ProcessWideValues values;
    ASSERT_TRUE(RunningOnNT);
    CFileChecker checker;
    const std::wstring notepad = checker.GetFullFileNameFromShortFilename(L"%windir%\\notepad.exe");
    EXPECT_SAME_PATH(notepad, WindowsFolder() + L"\\notepad.exe");
    EXPECT_TRUE(Exists(notepad));
    // A bare name is looked for first in the program's own folder.
    wchar_t self[MAX_PATH];
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring selfPath = self, selfName = selfPath.substr(selfPath.rfind(L'\\') + 1);
    EXPECT_SAME_PATH(checker.GetFullFileNameFromShortFilename(selfName), selfPath);
    EXPECT_SAME_PATH(checker.GetFullFileNameFromShortFilename(L"fixture_bare.dll"),
                     filefacts::Fixture(L"fixture_bare.dll"));
    // No extension is added: no file is called exactly "explorer".
    EXPECT_EQ(checker.GetFullFileNameFromShortFilename(L"explorer"), L"explorer");
    const std::wstring explorer = checker.GetFullFileNameFromShortFilename(L"explorer.exe");
    EXPECT_NE(explorer, L"explorer.exe");
    EXPECT_TRUE(Exists(explorer)) << Narrow(explorer);
    // The two steps together.
    EXPECT_SAME_PATH(checker.GetFullFileNameFromShortFilename(
                         checker.GetFileNameFromCommandLine(L"%windir%\\notepad.exe %1")),
                     notepad);
}

TEST(FullFileName, ShortComponentsComeBackLongOnlyAfterInit) {
    ProcessWideValues values;
    LongNamedFixture fixture;
    const std::wstring shortPath = ShortForm(fixture.path);
    ASSERT_FALSE(shortPath.empty());
    ASSERT_FALSE(SamePath(shortPath, fixture.path)) << "the platform gave no short form";

    CFileChecker plain;
    EXPECT_FALSE(plain.UseLongPathNames());
    EXPECT_SAME_PATH(plain.GetFullFileNameFromShortFilename(shortPath), shortPath);

    tessel::Logger log;
    CFileChecker initialised;
    initialised.Init(log);
    EXPECT_TRUE(initialised.UseLongPathNames());
    EXPECT_SAME_PATH(initialised.GetFullFileNameFromShortFilename(shortPath), fixture.path);

    // An answer made before Init keeps its form.
    plain.Init(log);
    EXPECT_TRUE(plain.UseLongPathNames());
    EXPECT_SAME_PATH(plain.GetFullFileNameFromShortFilename(shortPath), shortPath);
}

TEST(FullFileName, AnswersAreKeptPerNameInAnyLetterCase) {
    ProcessWideValues values;
    TempDir dir;
    const std::wstring later = dir / L"later.dll";
    CFileChecker checker;
    {
        SearchCounter searches;
        EXPECT_EQ(checker.GetFullFileNameFromShortFilename(later), later);
        EXPECT_EQ(searches.calls, 2);  // expanded, then as passed
    }
    WriteBytes(later, "now it is there");
    {
        SearchCounter searches;
        EXPECT_EQ(checker.GetFullFileNameFromShortFilename(later), later);
        EXPECT_EQ(checker.GetFullFileNameFromShortFilename(dir / L"LATER.DLL"), later);
        EXPECT_EQ(searches.calls, 0);
    }
    // A new checker finds it; deleted afterwards, it is still found by that checker.
    CFileChecker fresh;
    const std::wstring upper = dir / L"LATER.DLL";
    const std::wstring found = fresh.GetFullFileNameFromShortFilename(upper);
    EXPECT_SAME_PATH(found, later);
    ::DeleteFileW(later.c_str());
    SearchCounter searches;
    EXPECT_EQ(fresh.GetFullFileNameFromShortFilename(upper), found);
    EXPECT_EQ(fresh.GetFullFileNameFromShortFilename(later), found);  // the first form's answer
    EXPECT_EQ(searches.calls, 0);
}

TEST(FullFileName, ANameWithPercentSignsIsFoundAsWritten) {
    ProcessWideValues values;
    TempDir dir;
    const std::wstring odd = dir / L"%windir%.dll";
    WriteBytes(odd, "percent");
    CFileChecker checker;
    SearchCounter searches;
    EXPECT_SAME_PATH(checker.GetFullFileNameFromShortFilename(odd), odd);
    EXPECT_EQ(searches.calls, 2);
}

TEST(FullFileName, OddNamesComeBackUnchanged) {
    ProcessWideValues values;
    CFileChecker checker;
    EXPECT_EQ(checker.GetFullFileNameFromShortFilename(L""), L"");
    const std::wstring unicode = L"C:\\\x4e2d\\no such \x0416.dll";
    EXPECT_EQ(checker.GetFullFileNameFromShortFilename(unicode), unicode);
    const std::wstring deep = L"C:\\" + std::wstring(3000, L'd') + L"\\x.dll";
    EXPECT_EQ(checker.GetFullFileNameFromShortFilename(deep), deep);
    // Too long to expand: the error goes to the caller and nothing is cached.
    const std::wstring huge(40000, L'h');
    EXPECT_THROW(checker.GetFullFileNameFromShortFilename(huge), tessel::Error);
    EXPECT_THROW(checker.GetFullFileNameFromShortFilename(huge), tessel::Error);
}

// ---- buffers that are too small ------------------------------------------------------------

TEST(FullFileName, ALengthBeyondTheBufferAsksForABiggerOneAndIsNeverAPath) {
    ProcessWideValues values;
    const std::wstring longPath = L"C:\\" + std::wstring(2596, L'p');  // 2599 characters
    std::vector<DWORD> sizes;
    {
        ScopedPreset search(kernel32().SearchPathW,
                            [&](LPCWSTR path, LPCWSTR name, LPCWSTR ext, DWORD size, LPWSTR buf, LPWSTR* part) -> DWORD {
                                EXPECT_EQ(path, nullptr);
                                EXPECT_EQ(ext, nullptr);
                                EXPECT_STREQ(name, L"deep.dll");
                                sizes.push_back(size);
                                if (size <= longPath.size()) return static_cast<DWORD>(longPath.size() + 1);
                                wcscpy(buf, longPath.c_str());
                                if (part) *part = buf + 3;
                                return static_cast<DWORD>(longPath.size());
                            });
        CFileChecker checker;
        EXPECT_EQ(checker.GetFullFileNameFromShortFilename(L"deep.dll"), longPath);
    }
    ASSERT_EQ(sizes.size(), 2u);
    EXPECT_EQ(sizes[0], 2000u);
    EXPECT_EQ(sizes[1], 2600u);

    // A search that keeps asking for more finds nothing.
    int calls = 0;
    ScopedPreset greedy(kernel32().SearchPathW, [&](LPCWSTR, LPCWSTR, LPCWSTR, DWORD size, LPWSTR buf, LPWSTR*) -> DWORD {
        ++calls;
        if (buf && size) buf[0] = L'\0';
        return 5000;
    });
    CFileChecker checker;
    EXPECT_EQ(checker.GetFullFileNameFromShortFilename(L"%windir%\\greedy.dll"), L"%windir%\\greedy.dll");
    EXPECT_EQ(calls, 4);  // two tries for the expanded name, two for the name as passed
}

TEST(FullFileName, TheLongFormGetsABiggerBufferOrKeepsTheFoundPath) {
    ProcessWideValues values;
    TempDir dir;
    const std::wstring file = dir / L"found.dll";
    WriteBytes(file, "x");
    tessel::Logger log;
    const std::wstring longForm = L"C:\\" + std::wstring(2296, L'l');  // 2299 characters
    std::vector<DWORD> sizes;
    {
        ScopedPreset longName(kernel32().GetLongPathNameW, [&](LPCWSTR shortPath, LPWSTR buf, DWORD size) -> DWORD {
            EXPECT_TRUE(SamePath(shortPath, file));
            sizes.push_back(size);
            if (size <= longForm.size()) return static_cast<DWORD>(longForm.size() + 1);
            wcscpy(buf, longForm.c_str());
            return static_cast<DWORD>(longForm.size());
        });
        CFileChecker checker;
        checker.Init(log);
        EXPECT_EQ(checker.GetFullFileNameFromShortFilename(file), longForm);
    }
    ASSERT_EQ(sizes.size(), 2u);
    EXPECT_EQ(sizes[0], 2000u);
    EXPECT_EQ(sizes[1], 2300u);

    ScopedPreset failing(kernel32().GetLongPathNameW, [](LPCWSTR, LPWSTR, DWORD) -> DWORD {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return 0;
    });
    CFileChecker checker;
    checker.Init(log);
    EXPECT_SAME_PATH(checker.GetFullFileNameFromShortFilename(file), file);
}

// ---- the 9x family and NT 4 ---------------------------------------------------------------

TEST(FullFileName, The9xFamilySearchesInTheAnsiCodePage) {
    ScopedPreset version(kernel32().GetVersion, [] { return kWin98; });
    ProcessWideValues values;
    ASSERT_FALSE(RunningOnNT);
    LongNamedFixture fixture;
    ScopedPreset wide(kernel32().SearchPathW, [](LPCWSTR, LPCWSTR, LPCWSTR, DWORD, LPWSTR, LPWSTR*) -> DWORD {
        ADD_FAILURE() << "SearchPathW on the 9x family";
        return 0;
    });
    tessel::Logger log;
    CFileChecker checker;
    checker.Init(log);
    EXPECT_FALSE(checker.UseLongPathNames());
    {
        int calls = 0;
        std::string asked;
        ScopedPreset ansi(kernel32().SearchPathA, [&](LPCSTR path, LPCSTR name, LPCSTR ext, DWORD size, LPSTR buf, LPSTR* part) {
            ++calls;
            asked = name;
            EXPECT_EQ(size, 2000u);
            return kernel32().SearchPathA.Real(path, name, ext, size, buf, part);
        });
        EXPECT_SAME_PATH(checker.GetFullFileNameFromShortFilename(fixture.path), fixture.path);
        EXPECT_EQ(calls, 1);
        EXPECT_EQ(asked, tessel::SystemUtility::ToAnsi(fixture.path));
        // No long-name step: a short form stays short.
        const std::wstring shortPath = ShortForm(fixture.path);
        EXPECT_SAME_PATH(checker.GetFullFileNameFromShortFilename(shortPath), shortPath);
    }

    // The length is a count of bytes of the ANSI text; what lies beyond it is not the path.
    const bool singleByte = ::GetACP() == 1252;
    const std::string written = singleByte ? std::string("C:\\Caf\xE9\\x.dll") : std::string("C:\\Cafe\\x.dll");
    ScopedPreset scripted(kernel32().SearchPathA, [&](LPCSTR, LPCSTR, LPCSTR, DWORD size, LPSTR buf, LPSTR*) -> DWORD {
        EXPECT_EQ(size, 2000u);
        std::memset(buf, 0xbd, size);
        std::memcpy(buf, written.data(), written.size());  // no terminating NUL either
        return static_cast<DWORD>(written.size());
    });
    EXPECT_EQ(checker.GetFullFileNameFromShortFilename(L"cafe.dll"),
              singleByte ? std::wstring(L"C:\\Caf\xE9\\x.dll") : std::wstring(L"C:\\Cafe\\x.dll"));
}

TEST(FullFileName, NT4SearchesWideButKeepsTheSearchForm) {
    ScopedPreset version(kernel32().GetVersion, [] { return kNT4; });
    ProcessWideValues values;
    ASSERT_TRUE(RunningOnNT);
    ASSERT_TRUE(RunningOnNT4);
    LongNamedFixture fixture;
    const std::wstring shortPath = ShortForm(fixture.path);
    ScopedPreset longName(kernel32().GetLongPathNameW, [](LPCWSTR, LPWSTR, DWORD) -> DWORD {
        ADD_FAILURE() << "GetLongPathNameW on NT 4";
        return 0;
    });
    tessel::Logger log;
    CFileChecker checker;
    checker.Init(log);
    EXPECT_FALSE(checker.UseLongPathNames());
    SearchCounter searches;
    EXPECT_SAME_PATH(checker.GetFullFileNameFromShortFilename(shortPath), shortPath);
    EXPECT_EQ(searches.calls, 1);
}

// ---- registered server and startup paths ----------------------------------------------------

TEST(RegisteredPath, AnExistingFileWithBlanksInItsNameIsTakenWhole) {
    ProcessWideValues values;
    TempDir dir;
    const std::wstring folder = dir / L"Acme Folder";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring helper = folder + L"\\Acme Helper.dll";
    CopyFixture(L"fixture_description.dll", helper);

    // The command-line rules alone cut it at the blank in its name.
    CFileChecker byRules;
    EXPECT_NE(byRules.GetFullFileNameFromShortFilename(byRules.GetFileNameFromCommandLine(helper)), helper);

    CFileChecker checker;
    EXPECT_EQ(checker.ResolveRegisteredPath(helper), helper);
    EXPECT_EQ(checker.ResolveRegisteredPath(L"  \"" + helper + L"\"  "), helper);
    ::SetEnvironmentVariableW(L"VLMR_ACME_HOME", folder.c_str());
    EXPECT_EQ(checker.ResolveRegisteredPath(L"%VLMR_ACME_HOME%\\Acme Helper.dll"), helper);
    ::SetEnvironmentVariableW(L"VLMR_ACME_HOME", nullptr);
    // Quoted with arguments: the command-line rules find it.
    EXPECT_SAME_PATH(checker.ResolveRegisteredPath(L"\"" + helper + L"\" /embedding"), helper);
}

TEST(RegisteredPath, EverythingElseFollowsTheCommandLineRules) {
    ProcessWideValues values;
    TempDir dir;
    const std::wstring folder = dir / L"Acme Folder";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    CopyFixture(L"fixture_description.dll", folder + L"\\Acme Helper.dll");
    CFileChecker checker;
    // A folder is no file: its name is cut at the blank like any command line. Nor is a
    // pattern a name.
    EXPECT_EQ(checker.ResolveRegisteredPath(folder), dir / L"Acme");
    EXPECT_EQ(checker.ResolveRegisteredPath(folder + L"\\Acme*.dll"), folder + L"\\Acme*.dll");
    // A relative name is never taken directly, even where it would name a file.
    wchar_t previous[MAX_PATH];
    ::GetCurrentDirectoryW(MAX_PATH, previous);
    ::SetCurrentDirectoryW(folder.c_str());
    EXPECT_EQ(checker.ResolveRegisteredPath(L"Acme Helper.dll"), L"Acme");
    ::SetCurrentDirectoryW(previous);
    // rundll32 forms name the DLL they load.
    EXPECT_SAME_PATH(checker.ResolveRegisteredPath(L"rundll32.exe fixture_bare.dll,Entry"),
                     filefacts::Fixture(L"fixture_bare.dll"));
    EXPECT_SAME_PATH(checker.ResolveRegisteredPath(L"%windir%\\notepad.exe %1"), WindowsFolder() + L"\\notepad.exe");
    EXPECT_EQ(checker.ResolveRegisteredPath(L""), L"");
}

TEST(RegisteredPath, AFullyQualifiedFileOfACommandLineIsReadAsWindowsReadsItNotSearched) {
    ProcessWideValues values;
    TempDir dir;
    const std::wstring tools = dir / L"Tools";
    ::CreateDirectoryW(tools.c_str(), nullptr);
    // The parasite's name keeps its trailing dot, which only the verbatim spelling reaches; the
    // user's own file beside it has none.
    const std::wstring parasite = L"\\\\?\\" + tools + L"\\tool.exe.";
    testing_support::WriteBytes(parasite, "the parasite");
    testing_support::WriteBytes(tools + L"\\tool.exe", "the user's tool");
    const std::wstring native = L"\\??\\" + parasite.substr(4);
    for (const std::wstring& line : {L"\"" + parasite + L"\" /min", native + L" -min", L"\"" + native + L"\" -min"}) {
        SCOPED_TRACE(testing_support::Narrow(line));
        CFileChecker checker;
        checker.Init(tessel::UnopenedLogger());
        EXPECT_EQ(checker.ResolveRegisteredPath(line), parasite);
    }
    EXPECT_TRUE(::DeleteFileW(parasite.c_str()));
}
