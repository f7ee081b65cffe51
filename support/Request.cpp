#include "support/Request.h"

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <msxml2.h>

#include <cmath>
#include <utility>
#include <vector>

#include "inspection/Globals.h"
#include "support/Zip.h"
#include "tessel/Api.h"
#include "tessel/ComObject.h"
#include "tessel/Error.h"
#include "tessel/FileAccessor.h"
#include "tessel/RegistryAccessor.h"
#include "tessel/SystemUtility.h"
#include "tessel/Text.h"
#include "tessel/Unique.h"

namespace velmora {

namespace {

// The system's libraries name the class but not this interface.
const IID kIID_IXMLHTTPRequest = {0xED8C108D, 0x4349, 0x11D2, {0x91, 0xA4, 0x00, 0xC0, 0x4F, 0x79, 0x69, 0xE8}};

constexpr wchar_t kPath[] = L"/php/ic.php";
constexpr wchar_t kCannotSend[] = L"Cannot send. ";
constexpr unsigned long kWaitMs = 300 * 1000;
constexpr DWORD kPollMs = 5;

using tessel::com::Bstr;

// Stops a request that has not completed. The platform's request object can still be called
// back by its connection after it is aborted, and a released one leaves the thread's next
// request ending at once without a status; so it is never let go.
void StopAndKeep(const tessel::ComPtr<IXMLHTTPRequest>& http, tessel::ComApartment& apartment) {
    http->abort();
    static auto* const kept = new std::vector<tessel::ComPtr<IXMLHTTPRequest>>;
    kept->push_back(http);
    apartment.KeepForThread();
}

// A failed call of the request object: its own error text when it gave one, else the
// system's text for the result.
[[noreturn]] void RaiseHr(HRESULT hr, const char* call) {
    std::wstring text;
    tessel::ComPtr<IErrorInfo> info;
    if (::GetErrorInfo(0, info.put()) == S_OK && info) {
        Bstr description;
        if (SUCCEEDED(info->GetDescription(description.put()))) text = tessel::com::Text(description.get());
    }
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n')) text.pop_back();
    if (text.empty()) text = tessel::SystemUtility::Instance().SystemErrorText(static_cast<unsigned long>(hr));
    throw tessel::Error(static_cast<long>(hr), text, call);
}

void Check(HRESULT hr, const char* call) {
    if (FAILED(hr)) RaiseHr(hr, call);
}

VARIANT Missing() {
    VARIANT v;
    ::VariantInit(&v);
    v.vt = VT_ERROR;
    v.scode = DISP_E_PARAMNOTFOUND;
    return v;
}

long ReadyState(IXMLHTTPRequest* http) {
    long state = 0;
    Check(http->get_readyState(&state), "IXMLHTTPRequest.readyState");
    return state;
}

// The envelope is written one byte per character under its ISO-8859-1 declaration. Escaping
// has made every character of the values a plain one; a character beyond that code page
// could only come from an item name, and is refused rather than cut to its low byte.
std::string EnvelopeBytes(const std::wstring& xml) {
    auto bytes = tessel::text::ToSingleBytes(xml, 0xFF);
    if (!bytes)
        throw tessel::Error(tessel::kTypeMismatch,
                            L"The support request holds a character that its envelope cannot carry.");
    return std::move(*bytes);
}

void DeleteQuietly(const std::wstring& path) {
    if (!path.empty()) ::DeleteFileW(path.c_str());
}

}  // namespace

std::wstring SupportServerHost() {
    tessel::RegistryAccessor registry;
    std::wstring host = registry.ReadString(HKEY_CURRENT_USER, kProductKey, kSupportServerValue);
    host = tessel::text::TrimBlanks(host);
    return host.empty() ? std::wstring(kDefaultSupportServer) : host;
}

std::wstring UrlEscape(const std::wstring& Text) {
    static const std::pair<wchar_t, const wchar_t*> kRules[] = {
        {L'+', L"%2B"}, {L'\r', L"%0D"}, {L'\n', L"%0A"}, {L'\\', L"%5C"}};
    std::wstring text = Text;
    for (const auto& [c, replacement] : kRules) {
        std::wstring out;
        out.reserve(text.size());
        for (const wchar_t t : text) {
            if (t == c) out += replacement;
            else out += t;
        }
        text = std::move(out);
    }
    return text;
}

std::wstring SupportRequestXml(const std::wstring& Category, const std::wstring& RequestId, const tessel::NodeParams& o) {
    auto& su = tessel::SystemUtility::Instance();
    std::wstring items;
    for (const tessel::NodeParam& item : o)
        for (const std::wstring& value : item.Values)
            items += L"<" + item.Name + L">" + su.XmlEscape(value) + L"</" + item.Name + L">";
    return L"<?xml version=\"1.0\" encoding=\"ISO-8859-1\" ?><xml><cat>" + su.XmlEscape(Category) +
           L"</cat><id>" + su.XmlEscape(RequestId) + L"</id>" + items + L"</xml>";
}

namespace {

// The request's two files, as far as they were named.
struct RequestFiles {
    std::wstring report, archive;
};

// Writes the envelope into the work folder, packs it into its one-entry archive and returns
// the form that carries the archive.
std::wstring BuildRequestForm(const std::wstring& Category, const tessel::NodeParams& o, RequestFiles& files) {
    auto& su = tessel::SystemUtility::Instance();
    auto& fa = tessel::FileAccessor::Instance();
    const std::wstring requestId = su.NewId();
    const std::wstring envelope = SupportRequestXml(Category, requestId, o);
    std::wstring folder = su.TempFolder();
    if (folder.empty() || folder.back() != L'\\') folder += L'\\';
    files.report = folder + requestId + L".xml";
    files.archive = su.TempFileName(L"tq") + L".zip";
    fa.WriteFile(files.report, EnvelopeBytes(envelope));
    {
        cZip zip;
        zip.ZipFile(files.archive);
        zip.StoreFolderNames(false);
        zip.RecurseSubDirs(false);
        zip.ClearFileSpecs();
        zip.AddFileSpec(files.report);
        zip.Zip();
    }
    const std::wstring encoded = su.EncodeString(fa.ReadFile(files.archive));
    const std::wstring subject = Category + L"\\" + requestId;
    return L"subject=" + UrlEscape(subject) + L"&value=" + UrlEscape(encoded);
}

// A new request object.
tessel::ComPtr<IXMLHTTPRequest> NewRequest() {
    tessel::ComPtr<IXMLHTTPRequest> http;
    // An error text some earlier call left on the thread must not pass for the request's own.
    ::SetErrorInfo(0, nullptr);
    CLSID clsid;
    Check(::CLSIDFromProgID(L"Microsoft.XMLHTTP", &clsid), "CLSIDFromProgID");
    Check(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, kIID_IXMLHTTPRequest, http.put_void()),
          "CoCreateInstance");
    return http;
}

// Opens the request asynchronously and sends it the form.
void Send(IXMLHTTPRequest* http, const std::wstring& form) {
    const Bstr method(L"POST"), url(L"http://" + SupportServerHost() + kPath);
    // Left out, the argument means asynchronous; some implementations read a left-out one as
    // synchronous and then block inside send, so it is given explicitly.
    VARIANT async;
    ::VariantInit(&async);
    async.vt = VT_BOOL;
    async.boolVal = VARIANT_TRUE;
    VARIANT user = Missing(), password = Missing();
    Check(http->open(method.get(), url.get(), async, user, password), "IXMLHTTPRequest.open");
    const Bstr header(L"Content-Type"), type(L"application/x-www-form-urlencoded");
    Check(http->setRequestHeader(header.get(), type.get()), "IXMLHTTPRequest.setRequestHeader");
    Bstr text(form);
    VARIANT content;
    ::VariantInit(&content);
    content.vt = VT_BSTR;
    content.bstrVal = text.get();
    Check(http->send(content), "IXMLHTTPRequest.send");
}

// Waits for the answer, yielding to the message loop. True when the request completed within
// the limit; false when the limit passed first, also when it completed only inside the message
// that took the wait past its limit (the request object reads all of a body that keeps coming
// within one message).
bool WaitForAnswer(IXMLHTTPRequest* http) {
    // Elapsed time on the system's tick, from the start rounded to the whole second; the bound
    // is inclusive. A clock set back or midnight does not move it.
    auto& kernel = tessel::api::kernel32();
    const DWORD startTick = kernel.GetTickCount();
    // In 64 bits: a start within half a second of the tick's wrap must not end the wait at once.
    const long long start = startTick;
    const long long rounding = (start + 500) / 1000 * 1000 - start;
    const auto inTime = [&] {
        const long long elapsed = static_cast<long long>(static_cast<DWORD>(kernel.GetTickCount() - startTick));
        return elapsed - rounding <= static_cast<long long>(kWaitMs);
    };
    for (;;) {
        const bool complete = ReadyState(http) == 4;
        const bool timeLeft = inTime();
        if (complete || !timeLeft) return complete && timeLeft;
        tessel::SystemUtility::Instance().PumpMessages();
        kernel.Sleep(kPollMs);
    }
}

// Posts the form and waits for the answer: true for a success status; otherwise false with
// the reason in FalseCouse.
bool PostAndWait(const std::wstring& form, std::wstring& FalseCouse) {
    // COM for the calling thread for as long as the request lives.
    tessel::ComApartment apartment;
    const tessel::ComPtr<IXMLHTTPRequest> http = NewRequest();
    // From here on, whatever fails (the open, the header, the send, the wait, the status) leaves
    // the request on this scope's error path, which stops and keeps one that did not complete.
    try {
        Send(http.get(), form);
        const bool answered = WaitForAnswer(http.get());
        const long state = ReadyState(http.get());
        // A request not complete within the limit, in whatever state it stopped (a server may
        // send its headers and never the body), was not delivered as far as the user can know.
        if (!answered) {
            if (state != 4) StopAndKeep(http, apartment);
            FalseCouse = kCannotSend;
            return false;
        }
        long status = 0;
        Check(http->get_status(&status), "IXMLHTTPRequest.status");
        if (status == 200 || status == 206 || status == 302 || status == 304) return true;
        Bstr statusText;
        Check(http->get_statusText(statusText.put()), "IXMLHTTPRequest.statusText");
        FalseCouse = tessel::com::Text(statusText.get());
        return false;
    } catch (...) {
        long state = 0;
        if (SUCCEEDED(http->get_readyState(&state)) && state != 4) StopAndKeep(http, apartment);
        throw;
    }
}

}  // namespace

bool cl::Do1(tessel::Logger& /*Log*/, std::wstring Category, const tessel::NodeParams& o, std::wstring& FalseCouse) {
    mReportWritten = false;
    RequestFiles files;
    bool sent = false;
    tessel::Guard(
        [&] {
            for (auto& c : Category)
                if (c == L'/') c = L'\\';
            const std::wstring form = BuildRequestForm(Category, o, files);
            mReportWritten = true;
            sent = PostAndWait(form, FalseCouse);
        },
        [&](tessel::ErrorDescription error) {
            FalseCouse = std::move(error.text);
            DeleteQuietly(files.report);
            DeleteQuietly(files.archive);
        });
    return sent;
}

}  // namespace velmora
