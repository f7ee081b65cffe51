#include "ui/SettingsTable.h"

#include <cstring>
#include <optional>

#include "detection/UsableValues.h"
#include "detection/ZiRaraviz.h"
#include "inspection/Globals.h"
#include "inspection/MAPI.h"
#include "tessel/Error.h"
#include "tessel/SystemUtility.h"

namespace velmora::ui {

namespace {

using tessel::SystemUtility;

enum class Rule {
    PageUrl,      // listed when not empty; page-URL rule
    StartPage,    // listed when not empty; start-page rule ("OK" or "IE")
    AppInit,      // NT family only; listed when not empty
    StyleSwitch,  // always listed; "Yes"/"No"
    StyleSheet,   // listed when not empty; always attention
    LocalPage,    // listed when not empty; local-page rule
    Prefix,       // listed only when wrong
    Handler,      // listed when the class is set
    HandlerQuiet, // listed when the class is set and wrong
    Filter,       // listed when the class is set; the class itself when it has no server
};

struct SettingDefinition {
    HKEY hive;
    const wchar_t* key;
    const wchar_t* valueName;
    const wchar_t* description;
    Rule rule;
    const wchar_t* expected;  // Prefix: the safe prefix; handlers: the server file
    const wchar_t* classDescription = nullptr;  // Filter: the name when the class has no server
};

const wchar_t kMain[] = L"Software\\Microsoft\\Internet Explorer\\Main";
const wchar_t kStyles[] = L"Software\\Microsoft\\Internet Explorer\\Styles";
const wchar_t kPrefixes[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\URL\\Prefixes";

const SettingDefinition kRows[kSettingRowCount] = {
    {HKEY_CURRENT_USER, kMain, L"Default_Page_URL", L"Default page URL for the user who is currently logged on",
     Rule::PageUrl, nullptr},
    {HKEY_LOCAL_MACHINE, kMain, L"Default_Page_URL", L"Default page URL particular to the computer (for any user)",
     Rule::PageUrl, nullptr},
    {HKEY_CURRENT_USER, kMain, L"Start Page", L"Start page for the user who is currently logged on", Rule::StartPage,
     nullptr},
    {HKEY_LOCAL_MACHINE, kMain, L"Start Page", L"Start page particular to the computer (for any user)", Rule::PageUrl,
     nullptr},
    {HKEY_CURRENT_USER, L"Software\\Policies\\Microsoft\\Internet Explorer\\Control Panel", L"HomePage",
     L"Home page for the user who is currently logged on", Rule::PageUrl, nullptr},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Internet Explorer\\AboutURLs", L"blank",
     L"Blank page for \"about:\" protocol", Rule::PageUrl, nullptr},
    {HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows", L"AppInit_DLLs",
     L"DLLs to load during the DLL_PROCESS_ATTACH of User32.dll", Rule::AppInit, nullptr},
    {HKEY_CURRENT_USER, kStyles, L"Use My Stylesheet", L"User's style sheet is enabled", Rule::StyleSwitch, nullptr},
    {HKEY_CURRENT_USER, kStyles, L"User Stylesheet", L"Location of the user's style sheet", Rule::StyleSheet, nullptr},
    {HKEY_CURRENT_USER, kMain, L"Local Page", L"Local page for the user who is currently logged on", Rule::LocalPage,
     nullptr},
    {HKEY_LOCAL_MACHINE, kMain, L"Local Page", L"Local page particular to the computer (for any user)",
     Rule::LocalPage, nullptr},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\URL\\DefaultPrefix", L"",
     L"Default protocol prefix", Rule::Prefix, L"http://"},
    {HKEY_LOCAL_MACHINE, kPrefixes, L"ftp", L"Protocol prefix for ftp.*", Rule::Prefix, L"ftp://"},
    {HKEY_LOCAL_MACHINE, kPrefixes, L"gopher", L"Protocol prefix for gopher.*", Rule::Prefix, L"gopher://"},
    {HKEY_LOCAL_MACHINE, kPrefixes, L"home", L"Protocol prefix for home.*", Rule::Prefix, L"http://"},
    {HKEY_LOCAL_MACHINE, kPrefixes, L"mosaic", L"Protocol prefix for mosaic.*", Rule::Prefix, L"http://"},
    {HKEY_LOCAL_MACHINE, kPrefixes, L"www", L"Protocol prefix for www.*", Rule::Prefix, L"http://"},
    {HKEY_CLASSES_ROOT, L"PROTOCOLS\\Handler\\about", L"CLSID", L"Handler for \"about:\" protocol", Rule::Handler,
     L"mshtml.dll"},
    {HKEY_CLASSES_ROOT, L"PROTOCOLS\\Handler\\file", L"CLSID", L"Handler for \"file:\" protocol", Rule::HandlerQuiet,
     L"urlmon.dll"},
    {HKEY_CLASSES_ROOT, L"PROTOCOLS\\Handler\\ftp", L"CLSID", L"Handler for \"ftp:\" protocol", Rule::HandlerQuiet,
     L"urlmon.dll"},
    {HKEY_CLASSES_ROOT, L"PROTOCOLS\\Handler\\gopher", L"CLSID", L"Handler for \"gopher:\" protocol",
     Rule::HandlerQuiet, L"urlmon.dll"},
    {HKEY_CLASSES_ROOT, L"PROTOCOLS\\Handler\\http", L"CLSID", L"Handler for \"http:\" protocol", Rule::HandlerQuiet,
     L"urlmon.dll"},
    {HKEY_CLASSES_ROOT, L"PROTOCOLS\\Handler\\https", L"CLSID", L"Handler for \"https:\" protocol",
     Rule::HandlerQuiet, L"urlmon.dll"},
    {HKEY_CLASSES_ROOT, L"PROTOCOLS\\Handler\\local", L"CLSID", L"Handler for \"local:\" protocol",
     Rule::HandlerQuiet, L"urlmon.dll"},
    {HKEY_CLASSES_ROOT, L"PROTOCOLS\\Filter\\text/html", L"CLSID", L"Filter for \"text/html\" MIME type", Rule::Filter,
     L"urlmon.dll", L"Filter CLSID for \"text/html\" MIME type"},
    {HKEY_CLASSES_ROOT, L"PROTOCOLS\\Filter\\text/plain", L"CLSID", L"Filter for \"text/plain\" MIME type",
     Rule::Filter, L"urlmon.dll", L"Filter CLSID for \"text/plain\" MIME type"},
};

bool BeginsWith(std::wstring_view text, std::wstring_view prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

// The blank page of the browser's own HTML library.
bool IsBrowserResource(std::wstring_view value) { return BeginsWith(value, L"res://mshtml.dll"); }

// Whether a path names the system folder's file once its environment references are expanded.
// A text too long to expand names no file at all.
bool IsSystemFile(std::wstring_view path, const std::wstring& fileName) {
    std::wstring expanded;
    try {
        expanded = SystemUtility::Instance().ExpandEnvironment(path);
    } catch (const tessel::UnusableValue&) {
        return false;
    }
    return SystemUtility::Lower(expanded) == SystemUtility::Lower(SysDir + fileName);
}

const wchar_t* Judge(bool safe, const wchar_t* otherwise = kStatusAttention) { return safe ? kStatusOK : otherwise; }

// Little-endian number of 4 or 8 bytes.
unsigned long long Number(const std::vector<std::uint8_t>& data) {
    unsigned long long n = 0;
    for (std::size_t i = data.size(); i-- > 0;) n = (n << 8) | data[i];
    return n;
}

bool IsText(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

std::wstring TextUpToNul(const std::vector<std::uint8_t>& data) {
    std::wstring text(data.size() / 2, L'\0');
    if (!text.empty()) std::memcpy(text.data(), data.data(), text.size() * 2);
    const auto nul = text.find(L'\0');
    if (nul != std::wstring::npos) text.resize(nul);
    return text;
}

// The reads of one row, through the one accessor of the refresh. A key or value that cannot be
// opened or read is read as absent; the row's first such failure is logged.
class RowReads {
public:
    RowReads(tessel::RegistryAccessor& registry, tessel::Logger& log, const wchar_t* source)
        : registry_(registry), log_(log), source_(source) {}
    std::optional<tessel::RegistryValue> Value(HKEY hive, const std::wstring& key, const std::wstring& valueName) {
        return ReadValueOrAbsent(registry_, log_, source_, hive, key, valueName, logged_);
    }
    std::wstring Text(HKEY hive, const std::wstring& key, const std::wstring& valueName) {
        const auto value = Value(hive, key, valueName);
        return value ? SettingText(*value) : std::wstring();
    }

private:
    tessel::RegistryAccessor& registry_;
    tessel::Logger& log_;
    const wchar_t* source_;
    bool logged_ = false;
};

// The restore's test (IsComServerFile), over reads that take a value of any type: a server
// stored as a number or as bytes is shown and judged, not a reason to stop the list.
std::wstring HandlerStatus(RowReads& reads, const std::wstring& classId, const std::wstring& fileName,
                           std::wstring& serverPath) {
    serverPath = reads.Text(HKEY_CLASSES_ROOT, L"CLSID\\" + classId + L"\\InProcServer32", L"");
    if (serverPath.empty())
        serverPath = reads.Text(HKEY_CLASSES_ROOT, L"CLSID\\" + classId + L"\\LocalServer32", L"");
    return Judge(IsSystemFile(serverPath, fileName));
}

// The status of a value judged by itself, with no handler class behind it.
std::wstring ValueStatus(const SettingDefinition& setting, const std::wstring& value) {
    switch (setting.rule) {
        case Rule::PageUrl: return GetPageUrlStatus(value);
        case Rule::StartPage: return GetStartPageStatus(value);
        case Rule::AppInit: return Judge(SystemUtility::Lower(value) == L"wbsys.dll");
        case Rule::StyleSheet: return kStatusAttention;
        case Rule::LocalPage: return GetLocalPageStatus(value);
        case Rule::Prefix: return Judge(SystemUtility::Lower(value) == setting.expected);
        default: return L"";
    }
}

}  // namespace

std::wstring SettingText(const tessel::RegistryValue& value) {
    if (IsText(value.type)) return TextUpToNul(value.data);  // a list shows its first text
    if (value.data.empty()) return L"";
    if ((value.type == REG_DWORD && value.data.size() == 4) || (value.type == REG_QWORD && value.data.size() == 8))
        return std::to_wstring(Number(value.data));
    // Anything else is shown as its bytes, the way the registry editor writes them; a long
    // block is cut, as its start already tells the user what it is.
    constexpr std::size_t kShownBytes = 64;
    std::wstring text = value.type == REG_BINARY ? L"hex:" : L"hex(" + std::to_wstring(value.type) + L"):";
    const wchar_t* const digits = L"0123456789abcdef";
    for (std::size_t i = 0; i < value.data.size() && i < kShownBytes; ++i) {
        if (i) text += L',';
        text += digits[value.data[i] >> 4];
        text += digits[value.data[i] & 15];
    }
    if (value.data.size() > kShownBytes) text += L",...";
    return text;
}

bool IsSwitchOn(const tessel::RegistryValue& value) {
    if (IsText(value.type)) {
        const std::wstring text = TextUpToNul(value.data);
        const auto first = text.find_first_not_of(L" \t");
        if (first == std::wstring::npos) return false;
        const auto last = text.find_last_not_of(L" \t");
        return text.substr(first, last - first + 1).find_first_not_of(L'0') != std::wstring::npos;
    }
    for (const std::uint8_t b : value.data)
        if (b) return true;
    return false;
}

bool IsBrowserMakerPage(std::wstring_view value) {
    const std::wstring_view maker = BrowserMakerUrl;
    if (!BeginsWith(value, maker)) return false;
    // The maker's host name followed by more host ("….evil.example") or by a user name
    // ("…@evil.example") is another site.
    if (value.size() == maker.size()) return true;
    const wchar_t next = value[maker.size()];
    return next == L'/' || next == L'?' || next == L'#';
}

std::wstring GetPageUrlStatus(std::wstring_view value) {
    const std::wstring lower = SystemUtility::Lower(value);
    const std::wstring portal = PortalHomeUrl;
    return Judge(lower == portal || lower == portal + L"/" || lower == L"about:blank" || IsBrowserMakerPage(value) ||
                 IsBrowserResource(value));
}

std::wstring GetStartPageStatus(std::wstring_view value) {
    const std::wstring lower = SystemUtility::Lower(value);
    return Judge(lower == PortalHomeUrl || lower == L"about:blank" || IsBrowserMakerPage(value) ||
                     IsBrowserResource(value) || lower.find(L"google") != std::wstring::npos,
                 kStatusBrowser);
}

std::wstring GetLocalPageStatus(std::wstring_view value) {
    return Judge(IsSystemFile(value, L"blank.htm"));
}

std::wstring GetHandlerStatus(tessel::RegistryAccessor& registry, tessel::Logger& log, const std::wstring& classId,
                              const std::wstring& fileName, std::wstring& serverPath) {
    RowReads reads(registry, log, L"ucCS.GetHandlerStatus");
    return HandlerStatus(reads, classId, fileName, serverPath);
}

SettingRow GetSettingRow(tessel::RegistryAccessor& registry, tessel::Logger& log, int row) {
    SettingRow out;
    if (row < 1 || row > kSettingRowCount) return out;
    const SettingDefinition& setting = kRows[row - 1];
    RowReads reads(registry, log, L"ucCS.GetSettingRow");
    auto judged = [&](std::wstring status, std::wstring value, const wchar_t* description = nullptr) {
        out.Status = std::move(status);
        out.Value = std::move(value);
        out.Description = description ? description : setting.description;
    };

    if (setting.rule == Rule::AppInit && !IsNT()) return out;
    if (setting.rule == Rule::StyleSwitch) {
        const auto value = reads.Value(setting.hive, setting.key, setting.valueName);
        const bool on = value && IsSwitchOn(*value);
        judged(Judge(!on), on ? L"Yes" : L"No");
        out.Show = true;
    } else {
        const std::wstring value = reads.Text(setting.hive, setting.key, setting.valueName);
        if (value.empty()) return out;
        if (setting.rule == Rule::Handler || setting.rule == Rule::HandlerQuiet || setting.rule == Rule::Filter) {
            std::wstring server;
            std::wstring status = HandlerStatus(reads, value, setting.expected, server);
            out.Show = setting.rule != Rule::HandlerQuiet || status != kStatusOK;
            if (setting.rule == Rule::Filter && server.empty())
                judged(std::move(status), value, setting.classDescription);
            else
                judged(std::move(status), std::move(server));
        } else {
            judged(ValueStatus(setting, value), value);
            // A wrong prefix is listed by the attention rule below; the other values whenever set.
            out.Show = setting.rule != Rule::Prefix;
        }
    }
    // A value that needs attention is always listed, whatever its row's own listing says.
    if (out.Status == kStatusAttention) out.Show = true;
    return out;
}

std::vector<SettingRow> ReadSettingRows(tessel::RegistryAccessor& registry, tessel::Logger& log) {
    std::vector<SettingRow> rows;
    for (int row = 1; row <= kSettingRowCount; ++row) {
        SettingRow r = GetSettingRow(registry, log, row);
        if (r.Show) rows.push_back(std::move(r));
    }
    return rows;
}

}  // namespace velmora::ui
