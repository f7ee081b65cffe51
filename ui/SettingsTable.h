// The browser and Windows configuration values that home-page parasites change: 26 rows, each
// read from the registry, judged against the known safe values and listed or skipped.
#pragma once
#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "tessel/Logger.h"
#include "tessel/RegistryAccessor.h"

namespace velmora::ui {

// The browser portal that the browser's own setup uses as a start page (lower case, no path).
// The browser maker's address, BrowserMakerUrl, lives beside the restore that writes it.
inline constexpr wchar_t PortalHomeUrl[] = L"http://www.msn.com";

inline constexpr int kSettingRowCount = 26;

// Status keys; they are also the keys of the status icons.
inline constexpr wchar_t kStatusOK[] = L"OK";
inline constexpr wchar_t kStatusAttention[] = L"i";
inline constexpr wchar_t kStatusBrowser[] = L"IE";

struct SettingRow {
    bool Show = false;
    std::wstring Status;       // "OK", "i", "IE", or empty when the row yields none
    std::wstring Description;  // written only together with a status
    std::wstring Value;
};

// The rules that need no registry.
std::wstring GetPageUrlStatus(std::wstring_view value);
std::wstring GetStartPageStatus(std::wstring_view value);
// Compares with the process-wide SysDir after expanding environment references.
std::wstring GetLocalPageStatus(std::wstring_view value);
// Whether the value names the browser maker's own site: its address followed by the end of the
// text, "/", "?" or "#" (letter case as stored).
bool IsBrowserMakerPage(std::wstring_view value);

// The handler rule: "OK" when the class is served by the system folder's fileName.
// serverPath gets the server as stored; a server key that cannot be read names no server.
std::wstring GetHandlerStatus(tessel::RegistryAccessor& registry, tessel::Logger& log, const std::wstring& classId,
                              const std::wstring& fileName, std::wstring& serverPath);

// Reads and judges one row (1 to 26; any other number reads nothing). A key or value of the
// row that cannot be opened or read is read as absent, and the row's rule judges it so (a
// handler without a readable server needs attention); the row logs the first such failure
// and no other row is affected. A value of an unexpected type is read as text (SettingText).
SettingRow GetSettingRow(tessel::RegistryAccessor& registry, tessel::Logger& log, int row);

// The listed rows, in row order (what the settings list shows).
std::vector<SettingRow> ReadSettingRows(tessel::RegistryAccessor& registry, tessel::Logger& log);

// A value as the settings list shows it: text up to its first NUL (the registry's own reading);
// a number as its decimal digits; other data as "hex:" (or "hex(type):") and its bytes, as the
// registry editor writes them. Empty when absent or without data.
std::wstring SettingText(const tessel::RegistryValue& value);
// Whether a value counts as a set switch (anything but absent, zero, or a text of zeros).
bool IsSwitchOn(const tessel::RegistryValue& value);

}  // namespace velmora::ui
