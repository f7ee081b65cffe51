// The processes and files inventory over a process tree made by the test, of real files in a
// folder of its own that stands in for the Windows folder: the two documents byte for byte on
// both families.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "DetectionTestSupport.h"
#include "TestSupport.h"
#include "inspection/FileChecker.h"
#include "inspection/Globals.h"
#include "support/Inventory.h"
#include "tessel/Api.h"
#include "tessel/Logger.h"
#include "tessel/SystemUtility.h"

namespace {

using testing_support::Narrow;

velmora::ProcessLister Tree(std::vector<detection_support::ProcessEntry> procs) {
    return [procs](bool) { return detection_support::ProcessList(procs); };
}

std::string Utf16(const std::wstring& s) {
    std::string out = "\xFF\xFE";
    for (const wchar_t c : s) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
    }
    return out;
}

// A folder standing in for the Windows folder, the family as the test sets it, and three
// files: a program with a maker, and two without a version resource.
class Inventory : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = {velmora::RunningOnNT, velmora::RunningOnNT4, velmora::WinDir, velmora::SysDir};
        log_.Open(dir_ / L"VLMR.log", dir_ / L"short.log");
        win_ = tessel::SystemUtility::Lower(dir_.Path()) + L"\\win\\";
        app_ = dir_ / L"app.exe";
        plain_ = dir_ / L"plain.dll";
        odd_ = dir_ / L"it's & co.dll";
        testing_support::WriteBytes(app_, testing_support::ReadBytes(testing_support::ProgramFolder() + L"\\support_tests.exe"));
        testing_support::WriteBytes(plain_, "plain module\r\n");
        testing_support::WriteBytes(odd_, "ampersand & apostrophe");
    }
    void TearDown() override {
        velmora::RunningOnNT = saved_.nt;
        velmora::RunningOnNT4 = saved_.nt4;
        velmora::WinDir = saved_.win;
        velmora::SysDir = saved_.sys;
    }
    void Family(bool nt) {
        velmora::RunningOnNT = nt;
        velmora::RunningOnNT4 = false;
        velmora::WinDir = win_;
        velmora::SysDir = win_ + (nt ? L"system32\\" : L"system\\");
    }
    // Names as the resolver gives them back (its own rules, not the inventory's).
    std::wstring Resolved(const std::wstring& name) {
        velmora::CFileChecker checker;
        checker.Init(log_);
        return checker.GetFullFileNameFromShortFilename(name);
    }
    static std::wstring Esc(const std::wstring& s) { return tessel::SystemUtility::Instance().XmlEscape(s); }

    testing_support::TempDir dir_;
    tessel::Logger log_;
    std::wstring win_, app_, plain_, odd_;
    struct Saved {
        bool nt, nt4;
        std::wstring win, sys;
    } saved_;
};

TEST_F(Inventory, NtDocumentsByteForByte) {
    Family(true);
    const std::wstring sys = velmora::SysDir, winlogon = L"\\??\\" + sys + L"winlogon.exe";
    const auto tree = Tree({
        {app_, {sys + L"kernel32.dll", plain_, odd_}},  // listed, with two of its modules
        {winlogon, {plain_}},                            // a system process holding a listed module
        {app_, {sys + L"ntdll.dll"}},                    // the same program again: no module listed
        {win_ + L"explorer.exe", {sys + L"spoolsv.exe", win_ + L"explorer.exe"}},  // all Windows' own
        {L"\\SystemRoot\\System32\\smss.exe", {}},
    });
    std::string files = "poison";
    ::PostThreadMessageW(::GetCurrentThreadId(), WM_APP + 7, 0, 0);
    const std::string processes = velmora::MakeProcessesXML(files, log_, tree);
    MSG msg;
    EXPECT_FALSE(::PeekMessageW(&msg, nullptr, WM_APP + 7, WM_APP + 7, PM_NOREMOVE)) << "the walk did not yield";

    const std::wstring app = Resolved(app_), plain = Resolved(plain_), odd = Resolved(odd_), b = Resolved(winlogon);
    EXPECT_NE(odd.find(L"it's & co.dll"), std::wstring::npos) << Narrow(odd);
    const std::wstring expectedProcesses = L"<Ps><P f='" + Esc(app_) + L"'><M f='" + Esc(plain) + L"'/><M f='" + Esc(odd) +
                                           L"'/></P><P f='" + Esc(winlogon) + L"'><M f='" + Esc(plain) + L"'/></P><P f='" +
                                           Esc(app_) + L"'></P></Ps>";
    const std::wstring expectedFiles = L"<Files><f i='" + Esc(app) +
                                       L"'><d i='Velmora test program'/><m i='Ardentis Software'/></f><f i='" + Esc(plain) +
                                       L"'><c s='14' h='1724907588'/></f><f i='" + Esc(odd) +
                                       L"'><c s='22' h='2145094864'/></f><f i='" + Esc(b) + L"'><c s='0' h='0'/></f></Files>";
    EXPECT_EQ(processes, Utf16(expectedProcesses)) << Narrow(expectedProcesses);
    EXPECT_EQ(files, Utf16(expectedFiles)) << Narrow(expectedFiles);
    EXPECT_NE(expectedProcesses.find(L"it&apos;s &amp; co.dll"), std::wstring::npos);
}

TEST_F(Inventory, NothingListedGivesTheBareDocuments) {
    Family(true);
    const std::wstring sys = velmora::SysDir;
    std::string files = "poison";
    const std::string processes = velmora::MakeProcessesXML(
        files, log_, Tree({{win_ + L"explorer.exe", {sys + L"user32.dll"}}, {sys + L"svchost.exe", {}}}));
    EXPECT_EQ(processes, std::string("\xFF\xFE<\0P\0s\0>\0<\0/\0P\0s\0>\0", 20));
    EXPECT_EQ(files, std::string("\xFF\xFE<\0F\0i\0l\0e\0s\0>\0<\0/\0F\0i\0l\0e\0s\0>\0", 32));
}

TEST_F(Inventory, NineXDocumentsAsDeclaredText) {
    Family(false);
    // The 9x family as the version word says it; the process-wide flag agrees.
    tessel::api::ScopedPreset<decltype(tessel::api::kernel32().GetVersion)> nineX(
        tessel::api::kernel32().GetVersion, [] { return DWORD(0xC0000A04); });
    const std::wstring sys = velmora::SysDir;
    // A name beyond the ASCII range travels as character references in the 9x text.
    const std::wstring cyrillic = dir_ / L"\x043C\x043E\x0434\x0443\x043B\x044C.dll";
    testing_support::WriteBytes(cyrillic, "plain module\r\n");
    bool asked = false;
    const velmora::ProcessLister tree = [&](bool nt) {
        asked = true;
        EXPECT_FALSE(nt);
        return Tree({{app_, {app_, sys + L"KERNEL32.DLL", plain_, cyrillic}}, {sys + L"xxx.exe", {win_ + L"EXPLORER.EXE"}}})(nt);
    };
    std::string files;
    const std::string processes = velmora::MakeProcessesXML(files, log_, tree);
    EXPECT_TRUE(asked);
    const std::wstring app = Resolved(app_), plain = Resolved(plain_), other = Resolved(cyrillic);
    EXPECT_NE(Esc(other).find(L"&#1084;&#1086;&#1076;&#1091;&#1083;&#1100;.dll"), std::wstring::npos) << Narrow(Esc(other));
    const std::wstring declaration = L"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>";
    EXPECT_EQ(tessel::SystemUtility::FromAnsi(processes), declaration + L"<Ps><P f='" + Esc(app_) + L"'><M f='" + Esc(app) +
                                                              L"'/><M f='" + Esc(plain) + L"'/><M f='" + Esc(other) +
                                                              L"'/></P></Ps>");
    EXPECT_EQ(tessel::SystemUtility::FromAnsi(files),
              declaration + L"<Files><f i='" + Esc(app) + L"'><d i='Velmora test program'/><m i='Ardentis Software'/></f><f i='" +
                  Esc(plain) + L"'><c s='14' h='1724907588'/></f><f i='" + Esc(other) +
                  L"'><c s='14' h='1724907588'/></f></Files>");
    for (const char c : processes + files) EXPECT_LT(static_cast<unsigned char>(c), 0x80);
}

// The running system, as the engine walks it: both documents are well formed and every
// module of this test program that is not Windows' own is there.
TEST_F(Inventory, LiveProcessesIncludeThisProgram) {
    Family(true);
    velmora::RunningOnNT = (::GetVersion() & 0x80000000u) == 0;
    wchar_t sys[MAX_PATH];
    ::GetSystemDirectoryW(sys, MAX_PATH);
    velmora::SysDir = tessel::SystemUtility::Lower(sys) + L"\\";
    ::GetWindowsDirectoryW(sys, MAX_PATH);
    velmora::WinDir = tessel::SystemUtility::Lower(sys) + L"\\";
    std::string files;
    const std::string processes = velmora::MakeProcessesXML(files, log_);
    ASSERT_GE(processes.size(), 2u);
    ASSERT_EQ(processes.substr(0, 2), "\xFF\xFE");
    std::wstring text;
    for (std::size_t i = 2; i + 1 < processes.size(); i += 2)
        text += static_cast<wchar_t>(static_cast<unsigned char>(processes[i]) | (static_cast<unsigned char>(processes[i + 1]) << 8));
    EXPECT_EQ(text.substr(0, 4), L"<Ps>");
    EXPECT_EQ(text.substr(text.size() - 5), L"</Ps>");
    wchar_t self[MAX_PATH];
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring name = L"support_tests.exe";
    EXPECT_NE(tessel::SystemUtility::Lower(text).find(L"\\" + name + L"'"), std::wstring::npos) << Narrow(self);
}

}  // namespace
