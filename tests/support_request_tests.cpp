// The support request: its envelope and form, and Do1 against the test's own support server
// (a success, a "Not Found", nobody listening, and an answer that never comes).
#include <gtest/gtest.h>
#include <windows.h>
#include <oleauto.h>
#include <urlmon.h>

#include <algorithm>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "SupportTestSupport.h"
#include "TestSupport.h"
#include "inspection/Globals.h"
#include "support/Request.h"
#include "support/Zip.h"
#include "tessel/Api.h"
#include "tessel/Error.h"
#include "tessel/FileAccessor.h"
#include "tessel/Logger.h"
#include "tessel/RegistryAccessor.h"
#include "tessel/SystemUtility.h"
#include "tessel/Text.h"

namespace {

using support_testing::Esc;
using support_testing::Field;
using support_testing::SupportServer;
using testing_support::Narrow;

TEST(SupportEnvelope, PartsInOrder) {
    tessel::NodeParams empty;
    EXPECT_EQ(velmora::SupportRequestXml(L"VLMR\\SupportRequest", L"ID-1", empty),
              L"<?xml version=\"1.0\" encoding=\"ISO-8859-1\" ?><xml><cat>VLMR\\SupportRequest</cat><id>ID-1</id></xml>");
    tessel::NodeParams o;
    o.Add(L"name", L"a<b & c");
    o.Add(L"Log", L"first").Values.Add(L"second");
    o.Add(L"answer", L"line\r\nnext \x0416");
    EXPECT_EQ(velmora::SupportRequestXml(L"C", L"I", o),
              L"<?xml version=\"1.0\" encoding=\"ISO-8859-1\" ?><xml><cat>C</cat><id>I</id><name>a&lt;b &amp; c</name>"
              L"<Log>first</Log><Log>second</Log><answer>line&#13;&#10;next &#1046;</answer></xml>");
}

TEST(SupportEnvelope, FormEscaping) {
    const struct {
        const wchar_t* in;
        const wchar_t* out;
    } rows[] = {
        {L"a+b", L"a%2Bb"},
        {L"line\r\nnext", L"line%0D%0Anext"},
        {L"VLMR\\SupportRequest\\ID", L"VLMR%5CSupportRequest%5CID"},
        {L"%&= /", L"%&= /"},  // nothing else is escaped
        {L"+\\", L"%2B%5C"},
    };
    for (const auto& r : rows) EXPECT_EQ(velmora::UrlEscape(r.in), r.out) << Narrow(r.in);
}

// The request's files go to a temporary folder of the test's own; the support server's host
// is the product's setting, pointed at the test's server.
class SupportPost : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t saved[MAX_PATH] = {};
        hadTmp_ = ::GetEnvironmentVariableW(L"TMP", saved, MAX_PATH) > 0;
        savedTmp_ = saved;
        ::SetEnvironmentVariableW(L"TMP", dir_.Path().c_str());
        log_.Open(logDir_ / L"VLMR.log", logDir_ / L"short.log");
    }
    void TearDown() override { ::SetEnvironmentVariableW(L"TMP", hadTmp_ ? savedTmp_.c_str() : nullptr); }

    void PointAt(const std::wstring& host) {
        tessel::RegistryAccessor().WriteString(HKEY_CURRENT_USER, velmora::kProductKey, velmora::kSupportServerValue, host);
    }
    // A request of one field, as most cases send it.
    bool SendName(std::wstring& reason) {
        tessel::NodeParams o;
        o.Add(L"name", L"n");
        return velmora::cl().Do1(log_, L"VLMR\\SupportRequest", o, reason);
    }
    std::vector<std::wstring> Files(const std::wstring& pattern) const {
        std::vector<std::wstring> out;
        WIN32_FIND_DATAW fd;
        tessel::UniqueFind f(::FindFirstFileW((dir_ / pattern).c_str(), &fd));
        if (!f) return out;
        do out.push_back(fd.cFileName);
        while (::FindNextFileW(f.get(), &fd));
        return out;
    }

    testing_support::ScratchHives hives_;
    testing_support::TempDir dir_, logDir_;
    tessel::Logger log_;
    bool hadTmp_ = false;
    std::wstring savedTmp_;
};

// A clock that runs a thousand times faster from its first reading, which shows origin: the
// wait of five minutes ends in a third of a second. The sleeps between the wait's looks at the
// request are counted, and the longest kept.
class FastClock {
public:
    explicit FastClock(DWORD origin)
        : ticks_(tessel::api::kernel32().GetTickCount,
                 [this, origin] {
                     const DWORD now = ::GetTickCount();
                     if (!read_) base_ = now;
                     read_ = true;
                     return origin + (now - base_) * 1000;
                 }),
          sleeps_(tessel::api::kernel32().Sleep, [this](DWORD ms) {
              ++count;
              longest = std::max(longest, ms);
              ::Sleep(ms);
          }) {}
    int count = 0;
    DWORD longest = 0;

private:
    bool read_ = false;
    DWORD base_ = 0;
    tessel::api::ScopedPreset<decltype(tessel::api::kernel32().GetTickCount)> ticks_;
    tessel::api::ScopedPreset<decltype(tessel::api::kernel32().Sleep)> sleeps_;
};

TEST_F(SupportPost, AcceptedRequestArrivesOnceAndWhole) {
    SupportServer server("200");
    ASSERT_TRUE(server.Started()) << "the support server did not start";
    PointAt(server.Host());
    const std::wstring name = L"\x0418\x0432\x0430\x043D \x041F\x0435\x0442\x0440\x043E\x0432 \x674E\x660E";
    const std::wstring answer = L"\x0421\x0442\x0430\x0440\x0442\x043E\x0432\x0430\x044F: about:blank\r\n"
                                L"\x4E3B\x9875\x88AB\x52AB\x6301 & <b>+1</b> \xD83D\xDE00";
    const std::wstring encoded = tessel::SystemUtility::Instance().EncodeString(std::string("\xFB\xFF\xBF\x00\x01+/=", 9));
    tessel::NodeParams o;
    o.Add(L"name", name);
    o.Add(L"email", L"ivan@example.com");
    o.Add(L"answer", answer);
    o.Add(L"Processes", encoded);
    std::wstring reason = L"kept";
    EXPECT_TRUE(velmora::cl().Do1(log_, L"VLMR/SupportRequest", o, reason));
    EXPECT_EQ(reason, L"kept");

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    const auto& r = requests[0];
    EXPECT_EQ(Field(r, "method"), "POST");
    EXPECT_EQ(Field(r, "path"), "/php/ic.php");
    EXPECT_EQ(Field(r, "content-type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(Field(r, "body-ascii"), "yes");
    EXPECT_EQ(Field(r, "fields"), "subject,value");
    EXPECT_EQ(Field(r, "error"), "");
    const std::string subject = Field(r, "subject");
    const std::string prefix = Esc("VLMR\\SupportRequest\\");
    ASSERT_EQ(subject.substr(0, prefix.size()), prefix);
    const std::string id = subject.substr(prefix.size());
    EXPECT_EQ(id.size(), 36u) << id;
    EXPECT_EQ(Field(r, "entries"), id + ".xml");
    EXPECT_EQ(Field(r, "testzip"), "ok");
    EXPECT_EQ(Field(r, "envelope-ascii"), "yes");
    EXPECT_EQ(Field(r, "envelope-head").rfind("<?xml version=\"1.0\" encoding=\"ISO-8859-1\" ?><xml><cat>", 0), 0u)
        << Field(r, "envelope-head");
    EXPECT_EQ(Field(r, "root"), "xml");
    std::vector<std::string> items;
    for (const auto& line : r)
        if (line.rfind("item ", 0) == 0) items.push_back(line);
    const std::vector<std::string> expected = {
        "item cat " + Esc("VLMR\\SupportRequest"),
        "item id " + id,
        "item name " + Esc(tessel::text::ToUtf8(name)),
        "item email ivan@example.com",
        "item answer " + Esc(tessel::text::ToUtf8(answer)),
        "item Processes " + Esc(tessel::text::ToUtf8(encoded)),
    };
    EXPECT_EQ(items, expected);
    // A normal return leaves the report and the archive in the work folder.
    EXPECT_TRUE(support_testing::Exists(dir_ / (support_testing::Wide(id) + L".xml")));
    EXPECT_EQ(Files(L"tq*.zip").size(), 1u);
}

// A temporary folder whose name the ANSI code page cannot spell (a user name in another
// script): the archive still holds the report under its own long name.
TEST_F(SupportPost, ForeignTempFolderKeepsTheReportName) {
    const std::wstring foreign = dir_ / L"\x0412\x0440\x0435\x043C\x044F \x4E34\x65F6";
    ASSERT_TRUE(::CreateDirectoryW(foreign.c_str(), nullptr));
    ::SetEnvironmentVariableW(L"TMP", foreign.c_str());
    SupportServer server("200");
    ASSERT_TRUE(server.Started());
    PointAt(server.Host());
    std::wstring reason;
    EXPECT_TRUE(SendName(reason)) << Narrow(reason);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    const std::string subject = Field(requests[0], "subject");
    const std::string id = subject.substr(subject.rfind('\\') + 1);
    EXPECT_EQ(id.size(), 36u) << subject;
    EXPECT_EQ(Field(requests[0], "entries"), id + ".xml");
}

TEST_F(SupportPost, RefusedStatusGivesItsText) {
    for (const auto& [mode, text] : {std::pair<std::string, std::wstring>{"404", L"Not Found"},
                                     std::pair<std::string, std::wstring>{"500", L"Internal Server Error"}}) {
        SupportServer server(mode);
        ASSERT_TRUE(server.Started());
        PointAt(server.Host());
        std::wstring reason;
        EXPECT_FALSE(SendName(reason)) << mode;
        EXPECT_EQ(reason, text) << mode;
        EXPECT_EQ(server.Requests().size(), 1u) << mode;
    }
    EXPECT_EQ(Files(L"*.xml").size(), 2u);  // both reports stay
}

// Nobody listening, a server that takes the request and never answers (also when the wait
// begins just before the tick count wraps), and one that says 200 and never sends the body: the
// wait ends, on a fast clock, and the request is stopped.
TEST_F(SupportPost, NoAnswerWithinTheWait) {
    const struct {
        std::string mode;
        DWORD origin;
    } rows[] = {{"refused", ::GetTickCount()}, {"hang", ::GetTickCount()}, {"hang", 0xFFFFFF00u},
                {"stall", ::GetTickCount()}};
    for (const auto& [mode, origin] : rows) {
        SupportServer server(mode == "refused" ? "200" : mode);
        ASSERT_TRUE(server.Started());
        PointAt(server.Host());
        if (mode == "refused") server.Stop();  // nothing listens on its port now
        FastClock clock(origin);
        std::wstring reason;
        const DWORD start = ::GetTickCount();
        EXPECT_FALSE(SendName(reason)) << mode;
        EXPECT_LT(::GetTickCount() - start, 60000u) << mode;
        EXPECT_FALSE(reason.empty()) << mode;
        // The wait looks again and again with short sleeps between (of 5 ms: some sixty fit in
        // the third of a second, fewer on a busy host), never one long sleep and never none.
        EXPECT_GE(clock.count, 2) << mode << " from tick " << origin;
        EXPECT_LE(clock.longest, 50u) << mode << " from tick " << origin;
        EXPECT_EQ(server.Requests().size(), mode == "refused" ? 0u : 1u) << mode;
        // Whatever state the request stopped in, the user reads that it was not sent, and the
        // report stays.
        if (mode != "refused") {
            EXPECT_EQ(reason, L"Cannot send. ") << mode;
        }
        EXPECT_EQ(Files(L"*.xml").size(), reason == L"Cannot send. " ? 1u : 0u) << Narrow(reason);
        for (const auto& f : Files(L"*.xml")) ::DeleteFileW((dir_ / f).c_str());
    }
}

int slowMessages = 0;

LRESULT CALLBACK SlowMessageProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m != WM_APP) return ::DefWindowProcW(w, m, wp, lp);
    ::Sleep(50);  // a second of the wait's fast clock and more
    if (++slowMessages < 20) ::PostMessageW(w, WM_APP, 0, 0);
    return 0;
}

// A message that holds the wait past its limit (as the request object's own reading of a body
// that keeps coming does): a request that completes only meanwhile is not told as sent.
TEST_F(SupportPost, AnswerPastTheLimitIsNotSent) {
    SupportServer server("200");
    ASSERT_TRUE(server.Started());
    PointAt(server.Host());
    slowMessages = 0;
    WNDCLASSW wc{};
    wc.lpfnWndProc = SlowMessageProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"VelmoraSlowMessage";
    ::RegisterClassW(&wc);
    const HWND slow = ::CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                        wc.hInstance, nullptr);
    ASSERT_NE(slow, nullptr);
    ::PostMessageW(slow, WM_APP, 0, 0);
    FastClock clock(::GetTickCount());
    std::wstring reason;
    EXPECT_FALSE(SendName(reason));
    EXPECT_EQ(reason, L"Cannot send. ");
    EXPECT_EQ(slowMessages, 20);
    EXPECT_EQ(server.Requests().size(), 1u);
    ::DestroyWindow(slow);
}

TEST_F(SupportPost, DefaultHostWhenTheSettingIsAbsent) {
    EXPECT_EQ(velmora::SupportServerHost(), velmora::kDefaultSupportServer);
    PointAt(L"  ");
    EXPECT_EQ(velmora::SupportServerHost(), velmora::kDefaultSupportServer);
    PointAt(L"127.0.0.1:8080");
    EXPECT_EQ(velmora::SupportServerHost(), L"127.0.0.1:8080");
}

// A request the object refuses (a port out of range) is told by its own error: an error text
// that an earlier call left on the thread is not taken for it.
TEST_F(SupportPost, RefusalIsToldByItsOwnError) {
    tessel::ComPtr<ICreateErrorInfo> create;
    ASSERT_EQ(::CreateErrorInfo(create.put()), S_OK);
    create->SetDescription(const_cast<LPOLESTR>(L"stale text"));
    tessel::ComPtr<IErrorInfo> stale;
    ASSERT_EQ(create->QueryInterface(IID_IErrorInfo, stale.put_void()), S_OK);
    ::SetErrorInfo(0, stale.get());
    PointAt(L"127.0.0.1:99999");
    std::wstring reason;
    EXPECT_FALSE(SendName(reason));
    EXPECT_FALSE(reason.empty());
    EXPECT_NE(reason, L"stale text");
}

// An address without a host name, in several spellings: the request object opens it and refuses
// it only when sending, as it cannot connect. The request ends at once on that error, and the
// thread's next request to a working server is still answered.
TEST_F(SupportPost, RequestAfterAFailedSendIsAnswered) {
    SupportServer server("200");
    ASSERT_TRUE(server.Started());
    const std::wstring cannotConnect = tessel::SystemUtility::Instance().SystemErrorText(
        static_cast<unsigned long>(INET_E_CANNOT_CONNECT));
    for (const wchar_t* host : {L"/", L"@", L":80"}) {
        PointAt(host);
        std::wstring reason;
        EXPECT_FALSE(SendName(reason)) << Narrow(host);
        EXPECT_EQ(reason, cannotConnect) << Narrow(host);
        PointAt(server.Host());
        reason.clear();
        EXPECT_TRUE(SendName(reason)) << Narrow(host) << ": " << Narrow(reason);
    }
    EXPECT_EQ(server.Requests().size(), 3u);
}

// A step that fails ends the request on its error path whatever it raised: the reason is the
// error's own description, the report counts as not written, and neither file stays.
TEST_F(SupportPost, AFailedStepIsToldByItsDescriptionAndLeavesNoFile) {
    struct Case {
        std::function<void()> raise;
        std::wstring reason;
    };
    const Case cases[] = {
        {[] { throw tessel::Error(5, L"The archive cannot be written."); }, L"The archive cannot be written."},
        {[] { throw std::bad_alloc(); }, L"Out of memory"},
        {[] { throw 42; }, L"Unexpected error"},
    };
    struct Restore {
        velmora::ZipLibraryCalls saved = velmora::ZipLibrary();
        ~Restore() { velmora::ZipLibrary() = saved; }
    } restore;
    for (const Case& c : cases) {
        velmora::ZipLibrary().Archive = [&](LONG, const char*, velmora::zip::ZipNames*) -> LONG {
            c.raise();
            return 0;
        };
        velmora::cl sender;
        tessel::NodeParams o;
        o.Add(L"name", L"n");
        std::wstring reason = L"before";
        EXPECT_FALSE(sender.Do1(log_, L"VLMR\\SupportRequest", o, reason));
        EXPECT_EQ(reason, c.reason);
        EXPECT_FALSE(sender.ReportWritten());
        EXPECT_TRUE(Files(L"*.xml").empty()) << Narrow(c.reason);
        EXPECT_TRUE(Files(L"*.zip").empty()) << Narrow(c.reason);
    }
}

}  // namespace
