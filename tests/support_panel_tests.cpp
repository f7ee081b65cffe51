// The progress window and the support tab's Request Support click: the entry checks, and the
// whole gathering and sending against the test's own support server, with the message boxes
// answered and recorded through the platform seam.
#include <gtest/gtest.h>
#include <windows.h>

#include <deque>
#include <string>
#include <vector>

#include "DetectionTestSupport.h"
#include "SupportTestSupport.h"
#include "TestSupport.h"
#include "inspection/AppServices.h"
#include "inspection/Globals.h"
#include "inspection/MAPI.h"
#include "support/Request.h"
#include "tessel/Api.h"
#include "tessel/FileAccessor.h"
#include "tessel/Logger.h"
#include "tessel/RegistryAccessor.h"
#include "tessel/SystemUtility.h"
#include "tessel/Text.h"
#include "ui/Boundary.h"
#include "ui/PanelIds.h"
#include "ui/Progressor.h"
#include "ui/Startup.h"
#include "ui/SupportPanel.h"

using support_testing::Esc;
using support_testing::SupportServer;
using testing_support::Narrow;
namespace api = tessel::api;

namespace {

struct Box {
    std::wstring text;
    UINT style;
};

// Every message box answered OK and recorded.
struct Boxes {
    std::vector<Box> shown;
    api::ScopedPreset<decltype(api::user32().MessageBoxW)> preset{
        api::user32().MessageBoxW, [this](HWND, LPCWSTR text, LPCWSTR, UINT style) {
            shown.push_back({text, style});
            return IDOK;
        }};
};

struct Owner {
    Owner() {
        static const ATOM atom = [] {
            WNDCLASSW wc{};
            wc.lpfnWndProc = ::DefWindowProcW;
            wc.hInstance = ::GetModuleHandleW(nullptr);
            wc.lpszClassName = L"VelmoraSupportTestOwner";
            return ::RegisterClassW(&wc);
        }();
        hwnd = ::CreateWindowExW(0, reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(atom)), L"owner",
                                 WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 700, 400, nullptr, nullptr,
                                 ::GetModuleHandleW(nullptr), nullptr);
    }
    ~Owner() { ::DestroyWindow(hwnd); }
    HWND hwnd;
};

// Activates the window (as a click on it or a message box closing over it would).
void Activate(HWND window) {
    ::SetForegroundWindow(window);
    ::SetActiveWindow(window);
    velmora::ui::PumpPending();
}

TEST(Progressor, StartedOncePerShowingThenClosed) {
    Owner owner, other;
    int started = 0;
    bool visibleInside = false, ownerDisabled = false;
    int width = 0, labelWidth = 0;
    velmora::ui::FProgressor progress;
    progress.Started = [&] {
        ++started;
        const HWND w = progress.Handle();
        visibleInside = ::IsWindowVisible(w) != FALSE;
        ownerDisabled = !::IsWindowEnabled(owner.hwnd);
        EXPECT_EQ(velmora::app::MousePointer(), velmora::app::kHourglass);
        RECT r;
        ::GetWindowRect(w, &r);
        width = r.right - r.left;
        HWND label = ::FindWindowExW(w, ::FindWindowExW(w, nullptr, L"Static", nullptr), L"Static", nullptr);
        ::GetWindowRect(label, &r);
        labelWidth = r.right - r.left;
        // Another window takes the focus and gives it back, and a message box closes over it:
        // each activates the window again while the work runs.
        Activate(other.hwnd);
        Activate(w);
        ::SendMessageW(w, WM_ACTIVATE, WA_ACTIVE, 0);
        ::SendMessageW(w, WM_ACTIVATE, WA_CLICKACTIVE, 0);
        velmora::ui::PumpPending();
        EXPECT_EQ(started, 1);
    };
    progress.ShowProgress(L"Please wait... ", owner.hwnd, true);
    EXPECT_EQ(started, 1);
    EXPECT_TRUE(visibleInside);
    EXPECT_TRUE(ownerDisabled);
    EXPECT_TRUE(::IsWindowEnabled(owner.hwnd));
    EXPECT_EQ(progress.Handle(), nullptr);  // unloaded
    EXPECT_EQ(velmora::app::MousePointer(), velmora::app::kDefaultPointer);
    EXPECT_GT(labelWidth, 0);
    EXPECT_EQ(width, labelWidth + 1200 / 15);  // the label's width plus 1200 twips

    // A new showing raises it again; a longer text gives a wider window; an error that escapes
    // the work does not keep the window up.
    const int firstWidth = width;
    progress.Started = [&] {
        ++started;
        RECT r;
        ::GetWindowRect(progress.Handle(), &r);
        width = r.right - r.left;
        throw tessel::Error(5, L"the work failed");
    };
    progress.ShowProgress(L"Please wait a good deal longer than before... ", owner.hwnd, true);
    EXPECT_EQ(started, 2);
    EXPECT_GT(width, firstWidth);
    EXPECT_EQ(velmora::app::MousePointer(), velmora::app::kDefaultPointer);
}

TEST(Progressor, ModelessKeepsThePointerUntilFinalize) {
    Owner owner;
    int started = 0;
    velmora::ui::FProgressor progress;
    progress.Started = [&] { ++started; };
    progress.ShowProgress(L"Please wait... ", owner.hwnd, false);
    for (int i = 0; i < 100 && started == 0; ++i) {
        velmora::ui::PumpPending();
        ::Sleep(10);
    }
    EXPECT_EQ(started, 1);
    ASSERT_NE(progress.Handle(), nullptr);
    EXPECT_FALSE(::IsWindowVisible(progress.Handle()));  // hidden once the work returned
    EXPECT_EQ(velmora::app::MousePointer(), velmora::app::kHourglass);
    progress.Finalize();
    EXPECT_EQ(progress.Handle(), nullptr);
    EXPECT_EQ(velmora::app::MousePointer(), velmora::app::kDefaultPointer);

    // An owner that goes takes the window along: the object keeps no dead handle and shows a
    // new window the next time.
    {
        Owner gone;
        progress.ShowProgress(L"Please wait... ", gone.hwnd, false);
        ASSERT_TRUE(::IsWindow(progress.Handle()));
    }
    EXPECT_EQ(progress.Handle(), nullptr);
    progress.ShowProgress(L"Please wait... ", owner.hwnd, false);
    EXPECT_TRUE(::IsWindowVisible(progress.Handle()));
    progress.Finalize();
}

// The support tab in a window of the test's own, over redirected hives, its request files in a
// folder of the test's own.
class SupportTab : public ::testing::Test {
protected:
    void SetUp() override {
        tessel::PendingError pending;
        velmora::SetProcessWideValues(pending);
        wchar_t saved[MAX_PATH] = {};
        hadTmp_ = ::GetEnvironmentVariableW(L"TMP", saved, MAX_PATH) > 0;
        savedTmp_ = saved;
        ::SetEnvironmentVariableW(L"TMP", work_.Path().c_str());
        panel_.Create(owner_.hwnd);
        ::SetWindowPos(panel_.Handle(), nullptr, 0, 0, 396, 240, SWP_NOZORDER | SWP_SHOWWINDOW);
        panel_.Init(t_.log);
    }
    void TearDown() override { ::SetEnvironmentVariableW(L"TMP", hadTmp_ ? savedTmp_.c_str() : nullptr); }

    void Fill(const std::wstring& answers, const std::wstring& name, const std::wstring& email) {
        ::SetDlgItemTextW(panel_.Handle(), IDC_SUP_TXTANSWERS, answers.c_str());
        ::SetDlgItemTextW(panel_.Handle(), IDC_SUP_TXTNAME, name.c_str());
        ::SetDlgItemTextW(panel_.Handle(), IDC_SUP_TXTEMAIL, email.c_str());
    }
    void Click() {
        const HWND button = ::GetDlgItem(panel_.Handle(), IDC_SUP_CMDREQUESTSUPPORT);
        ::SendMessageW(panel_.Handle(), WM_COMMAND, MAKEWPARAM(IDC_SUP_CMDREQUESTSUPPORT, BN_CLICKED),
                       reinterpret_cast<LPARAM>(button));
    }
    void PointAt(const std::wstring& host) {
        reg_.WriteString(HKEY_CURRENT_USER, velmora::kProductKey, velmora::kSupportServerValue, host);
    }
    std::size_t LinesStarting(const std::string& prefix) const {
        std::size_t n = 0;
        for (const auto& line : t_.Lines()) n += line.rfind(prefix, 0) == 0;
        return n;
    }

    testing_support::ScratchHives hives_;
    tessel::RegistryAccessor reg_;
    testing_support::TempDir work_;
    detection_support::TestLog t_;
    Owner owner_;
    velmora::ui::SupportPanel panel_;
    Boxes boxes_;
    bool hadTmp_ = false;
    std::wstring savedTmp_;
};

TEST_F(SupportTab, EntriesAreCheckedInOrder) {
    const struct {
        const wchar_t *answers, *name, *email, *message;
    } rows[] = {
        {L"", L"Ivan", L"ivan@example.com", L"Please describe the problem. "},
        {L"Your description here...", L"Ivan", L"ivan@example.com", L"Please describe the problem. "},
        {L"", L"", L"", L"Please describe the problem. "},
        {L"It fails", L"", L"", L"Please type your name. "},  // only the first missing entry
        {L"It fails", L"", L"ivan@example.com", L"Please type your name. "},
        {L"It fails", L"Ivan", L"", L"Please type your e-mail. "},
    };
    for (const auto& r : rows) {
        boxes_.shown.clear();
        Fill(r.answers, r.name, r.email);
        Click();
        ASSERT_EQ(boxes_.shown.size(), 1u) << Narrow(r.message);
        EXPECT_EQ(boxes_.shown[0].text, r.message);
        EXPECT_EQ(boxes_.shown[0].style, UINT(MB_OK | MB_ICONEXCLAMATION));
        EXPECT_EQ(velmora::app::MousePointer(), velmora::app::kDefaultPointer);
        // The entries stay as typed.
        EXPECT_EQ(support_testing::Exists(work_ / L"*.xml"), false);
    }
    EXPECT_TRUE(t_.Lines().empty());
}

// The items' names and values as the server decoded them ("item NAME VALUE" lines).
std::vector<std::pair<std::string, std::string>> Items(const std::vector<std::string>& request) {
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& line : request) {
        if (line.rfind("item ", 0) != 0) continue;
        const std::size_t space = line.find(' ', 5);
        out.emplace_back(line.substr(5, space == std::string::npos ? std::string::npos : space - 5),
                         space == std::string::npos ? std::string() : line.substr(space + 1));
    }
    return out;
}

std::string EncodedEsc(const std::string& bytes) {
    return Esc(tessel::text::ToUtf8(tessel::SystemUtility::Instance().EncodeString(bytes)));
}

TEST_F(SupportTab, RequestGoesOutOnceWithTheItemsInOrder) {
    SupportServer server("200");
    ASSERT_TRUE(server.Started()) << "the support server did not start";
    PointAt(server.Host());
    reg_.WriteString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Internet Explorer", L"Version", L"6.0.2900.5512");
    // The sibling product's folder without a trailing backslash, with an empty ORVT.log: its
    // ORV.log goes out under the sibling's item name.
    testing_support::TempDir sibling;
    testing_support::WriteBytes(sibling / L"ORVT.log", "");
    testing_support::WriteBytes(sibling / L"ORV.log", "sibling line\r\n");
    reg_.WriteString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Ardentis Software\\Orvantis", L"InstallPath", sibling.Path());
    // A placeholder in another letter case passes; a name of one blank passes.
    const std::wstring answers = L"your description here...\r\n\x0421\x0442\x0430\x0440\x0442 \x4E3B\x9875 + & <b>";
    Fill(answers, L" ", L"ivan@example.com");
    Click();

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    const auto items = Items(requests[0]);
    std::vector<std::string> names;
    for (const auto& i : items) names.push_back(i.first);
    EXPECT_EQ(names, (std::vector<std::string>{"cat", "id", "name", "email", "answer", "WindowsVersion", "IEVersion",
                                               "SuspiciousFiles", "ZoneMap", "Hosts", "Log", "ORVTLog", "Processes",
                                               "ProcessFileInfo"}));
    ASSERT_EQ(items.size(), 14u);
    EXPECT_EQ(items[0].second, Esc("VLMR\\SupportRequest"));
    EXPECT_EQ(items[2].second, " ");
    EXPECT_EQ(items[3].second, "ivan@example.com");
    EXPECT_EQ(items[4].second, Esc(tessel::text::ToUtf8(answers)));
    EXPECT_FALSE(items[5].second.empty());
    EXPECT_EQ(items[6].second, "6.0.2900.5512");
    // The zone map of the redirected hives: the NT header and the two (empty) exports.
    const std::wstring header = L"Windows Registry Editor Version 5.00\r\n";
    EXPECT_EQ(items[8].second, EncodedEsc(std::string("\xFF\xFE", 2) +
                                         std::string(reinterpret_cast<const char*>(header.data()), header.size() * 2)));
    auto& files = tessel::FileAccessor::Instance();
    EXPECT_EQ(items[9].second, EncodedEsc(files.ReadFile(velmora::GetHostsFilePath())));
    EXPECT_EQ(items[11].second, EncodedEsc("sibling line\r\n"));
    // The two inventory documents, as on the NT family: FF FE and UTF-16LE "<".
    for (const std::size_t at : {12u, 13u}) {
        const auto bytes = tessel::SystemUtility::Instance().DecodeBytes(support_testing::Wide(items[at].second));
        ASSERT_GE(bytes.size(), 4u) << items[at].first;
        EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 4),
                  (std::vector<std::uint8_t>{0xFF, 0xFE, '<', 0}))
            << items[at].first;
    }

    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_EQ(boxes_.shown[0].text,
              L"Your support request has been sent successfully. Please allow up to 48 hours for a response.");
    EXPECT_EQ(boxes_.shown[0].style, UINT(MB_OK | MB_ICONINFORMATION));
    EXPECT_TRUE(t_.Has("5|0|ucSupport.cmdRequestSupport_Click|Requesting support"));
    EXPECT_TRUE(panel_.RequestSent());
    EXPECT_EQ(velmora::app::MousePointer(), velmora::app::kDefaultPointer);
}

// A request refused after an accepted one is reported as not sent, with the server's reason
// in the log; without a readable sibling log "Processes" follows "Log" directly. The accepted
// one goes out although the sibling's log is locked, and the failed read is logged once.
TEST_F(SupportTab, RefusedRequestIsReportedNotSent) {
    testing_support::TempDir sibling;
    reg_.WriteString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Ardentis Software\\Orvantis", L"InstallPath", sibling.Path());
    testing_support::WriteBytes(sibling / L"ORVT.log", "locked line\r\n");
    for (const std::string mode : {"200", "404"}) {
        SupportServer server(mode);
        ASSERT_TRUE(server.Started());
        PointAt(server.Host());
        boxes_.shown.clear();
        Fill(L"It fails", L"Ivan", L"ivan@example.com");
        {
            // Held without sharing while the first request gathers.
            tessel::UniqueFile lock(mode == "200" ? ::CreateFileW((sibling / L"ORVT.log").c_str(), GENERIC_READ, 0,
                                                                  nullptr, OPEN_EXISTING, 0, nullptr)
                                                  : INVALID_HANDLE_VALUE);
            ASSERT_EQ(mode == "200", static_cast<bool>(lock)) << mode;
            Click();
        }
        const auto requests = server.Requests();
        ASSERT_EQ(requests.size(), 1u) << mode;
        const auto items = Items(requests[0]);
        ASSERT_EQ(items.size(), mode == "200" ? 13u : 14u) << mode;  // cat, id and the eleven items
        EXPECT_EQ(items[10].first, "Log");
        EXPECT_EQ(items[11].first, mode == "200" ? "Processes" : "ORVTLog");
        ASSERT_EQ(boxes_.shown.size(), 1u) << mode;
        const auto unread = [&] { return LinesStarting("4|32|ucSupport.moProgressor_Started(.)|Cannot open the file '"); };
        if (mode == "200") {
            EXPECT_EQ(unread(), 1u) << testing::PrintToString(t_.Lines());
            EXPECT_EQ(boxes_.shown[0].text,
                      L"Your support request has been sent successfully. Please allow up to 48 hours for a response.");
            continue;
        }
        EXPECT_EQ(unread(), 1u);  // not logged again
        EXPECT_EQ(boxes_.shown[0].text, L"Cannot send support request. Ensure you are online now. ");
        EXPECT_EQ(boxes_.shown[0].style, UINT(MB_OK | MB_ICONEXCLAMATION));
        EXPECT_TRUE(t_.Has("4|-2147220598|ucSupport.cmdRequestSupport_Click|Cannot contact. Not Found"))
            << testing::PrintToString(t_.Lines());
        EXPECT_FALSE(panel_.RequestSent());
        EXPECT_EQ(panel_.FailureText(), L"Not Found");
    }
}

// A step of the gathering that fails ends it: its error is shown and logged, nothing goes out,
// and the click then reports the request as not sent.
TEST_F(SupportTab, FailedGatheringSendsNothing) {
    SupportServer server("200");
    ASSERT_TRUE(server.Started());
    PointAt(server.Host());
    Fill(L"It fails", L"Ivan", L"ivan@example.com");
    {
        api::ScopedPreset<decltype(api::kernel32().GetVersionExW)> noVersion(api::kernel32().GetVersionExW,
                                                                             [](LPOSVERSIONINFOW) -> BOOL {
                                                                                 ::SetLastError(ERROR_ACCESS_DENIED);
                                                                                 return FALSE;
                                                                             });
        Click();
    }
    EXPECT_TRUE(server.Requests().empty());
    ASSERT_EQ(boxes_.shown.size(), 2u);
    EXPECT_EQ(boxes_.shown[0].text.rfind(L"The Windows version is unknown: ", 0), 0u) << Narrow(boxes_.shown[0].text);
    EXPECT_EQ(boxes_.shown[0].style, UINT(MB_OK | MB_ICONINFORMATION));
    EXPECT_EQ(boxes_.shown[1].text, L"Cannot send support request. Ensure you are online now. ");
    EXPECT_EQ(LinesStarting("4|5|ucSupport.moProgressor_Started|The Windows version is unknown: "), 1u)
        << testing::PrintToString(t_.Lines());
    EXPECT_TRUE(t_.Has("4|-2147220598|ucSupport.cmdRequestSupport_Click|Cannot contact. "));
    EXPECT_FALSE(panel_.RequestSent());
    EXPECT_EQ(velmora::app::MousePointer(), velmora::app::kDefaultPointer);
}

// TEMP and TMP naming a file, not a folder: the report cannot be written, nothing goes out, and
// the user reads why, not that the machine is offline.
TEST_F(SupportTab, UnwritableReportIsToldAsSuch) {
    SupportServer server("200");
    ASSERT_TRUE(server.Started());
    PointAt(server.Host());
    const std::wstring notAFolder = work_ / L"not a folder";
    testing_support::WriteBytes(notAFolder, "a file");
    {
        const testing_support::ScopedEnvironment temp(L"TEMP", notAFolder.c_str()), tmp(L"TMP", notAFolder.c_str());
        Fill(L"It fails", L"Ivan", L"ivan@example.com");
        Click();
    }

    EXPECT_TRUE(server.Requests().empty());
    ASSERT_EQ(boxes_.shown.size(), 1u);
    const std::wstring prefix = L"Cannot send support request. The report could not be written: ";
    EXPECT_EQ(boxes_.shown[0].text.rfind(prefix, 0), 0u) << Narrow(boxes_.shown[0].text);
    EXPECT_GT(boxes_.shown[0].text.size(), prefix.size());  // and why
    EXPECT_EQ(boxes_.shown[0].style, UINT(MB_OK | MB_ICONEXCLAMATION));
    EXPECT_EQ(LinesStarting("4|-2147221319|ucSupport.cmdRequestSupport_Click|" + Narrow(prefix)), 1u)
        << testing::PrintToString(t_.Lines());
    EXPECT_FALSE(panel_.RequestSent());
    EXPECT_EQ(velmora::app::MousePointer(), velmora::app::kDefaultPointer);
}

}  // namespace
