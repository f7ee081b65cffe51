#include "inspection/MAPI.h"

#include <cstring>
#include <vector>

#include "inspection/AppServices.h"
#include "tessel/Api.h"
#include "tessel/Error.h"
#include "tessel/SystemUtility.h"
#include "tessel/Text.h"
#include "tessel/Unique.h"

namespace velmora {

using tessel::api::kernel32;

bool IsNT() { return (kernel32().GetVersion() & 0x80000000u) == 0; }

bool IsNT4() {
    if (!IsNT()) return false;
    return (kernel32().GetVersion() & 0xFFu) == 4;
}

double GetBootTime() {
    // The boot instant is fixed in UTC from the 64-bit tick count, and only then expressed
    // in local time under the rules in force at that instant: a daylight-saving switch or
    // a long uptime between two calls does not move it.
    FILETIME nowUtc{};
    kernel32().GetSystemTimeAsFileTime(&nowUtc);
    ULARGE_INTEGER now;
    now.LowPart = nowUtc.dwLowDateTime;
    now.HighPart = nowUtc.dwHighDateTime;
    const unsigned long long ticks = kernel32().GetTickCount64();
    const unsigned long long unit = 10000000ull;  // 100-ns units per second
    // Whole seconds, as the date's clock shows them, less whole seconds of uptime.
    const unsigned long long bootUnits = (now.QuadPart / unit - ticks / 1000) * unit;
    FILETIME bootFt;
    bootFt.dwLowDateTime = static_cast<DWORD>(bootUnits & 0xFFFFFFFFu);
    bootFt.dwHighDateTime = static_cast<DWORD>(bootUnits >> 32);
    SYSTEMTIME utc{}, local{};
    if (!::FileTimeToSystemTime(&bootFt, &utc))
        tessel::ThrowLastError("FileTimeToSystemTime", L"The boot time is out of range");
    if (!kernel32().SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local))
        tessel::ThrowLastError("SystemTimeToTzSpecificLocalTime", L"The boot time has no local form");
    return tessel::text::ToDate({local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute,
                                 local.wSecond, 0});
}

std::wstring GetHostsFilePath() {
    auto& su = tessel::SystemUtility::Instance();
    long major = 0, minor = 0, build = 0, platformId = 0;
    std::wstring servicePack;
    su.GetWindowsVersion(major, minor, build, platformId, servicePack);
    std::wstring folder = su.ExpandEnvironment(L"%windir%");
    if (folder.empty() || folder.back() != L'\\') folder += L'\\';
    if (platformId == 1) return folder + L"hosts";
    if (platformId == 2) return folder + L"system32\\drivers\\etc\\hosts";
    return folder;
}

std::wstring EightBytesToString(double date) {
    std::vector<std::uint8_t> bytes(8);
    std::memcpy(bytes.data(), &date, 8);
    return tessel::SystemUtility::Instance().EncodeBytes(bytes);
}

double StringToEightBytes(const std::wstring& text) {
    const auto bytes = tessel::SystemUtility::Instance().DecodeBytes(text);
    if (bytes.size() < 8)
        throw tessel::Error(tessel::kSubscriptOutOfRange,
                            L"The stored date holds " + std::to_wstring(bytes.size()) +
                                L" bytes instead of eight.");
    double date;
    std::memcpy(&date, bytes.data(), 8);
    return date;
}

void SortKeyedList(tessel::KeyedList<std::wstring>& list) {
    const std::size_t n = list.Count();
    if (n == 0) return;
    std::vector<std::wstring> a;
    a.reserve(n);
    for (std::size_t i = 1; i <= n; ++i) a.push_back(list.Item(i));
    auto greater = [](const std::wstring& x, const std::wstring& y) {
        return ::CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, x.c_str(), static_cast<int>(x.size()),
                                y.c_str(), static_cast<int>(y.size())) == CSTR_GREATER_THAN;
    };
    for (std::size_t i = 0; i + 1 < n; ++i)
        for (std::size_t j = i + 1; j < n; ++j)
            if (greater(a[i], a[j])) std::swap(a[i], a[j]);
    list.Clear();
    for (auto& s : a) list.Add(std::move(s));
}

int MsgBoxEx(const std::wstring& prompt, long style, const std::wstring& title,
             const std::wstring& /*helpFile*/, long /*context*/) {
    const int saved = app::MousePointer();
    app::SetMousePointer(app::kDefaultPointer);
    struct Restore {
        int pointer;
        ~Restore() { app::SetMousePointer(pointer); }
    } restore{saved};
    const std::wstring caption = title.empty() ? app::LoadResString(IDS_PRODUCT_NAME) : title;
    const int answer = tessel::api::user32().MessageBoxW(::GetActiveWindow(), prompt.c_str(), caption.c_str(),
                                                         static_cast<UINT>(style));
    return answer > 0 ? answer : 0;
}

bool ShowFileProperties(const std::wstring& path, HWND owner) {
    bool opened = false;
    tessel::PassOver([&] {
        const std::string file = tessel::SystemUtility::ToAnsi(path);
        SHELLEXECUTEINFOA info;
        static_assert(sizeof(void*) != 4 || sizeof(info) == 60, "the record the shell expects of a 32-bit caller");
        std::memset(&info, 0, sizeof(info));
        info.cbSize = sizeof(info);
        info.fMask = SEE_MASK_INVOKEIDLIST | SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
        info.hwnd = owner;
        info.lpVerb = "properties";
        info.lpFile = file.c_str();
        info.lpParameters = "";
        info.lpDirectory = "";
        info.nShow = 0;
        const BOOL ok = tessel::api::shell32().ShellExecuteExA(&info);
        const tessel::UniqueHandle process(info.hProcess);
        opened = ok != 0;
    });
    return opened;
}

}  // namespace velmora
