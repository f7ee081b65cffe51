// The fixture process of the process-control tests. It is started by a test and only ever
// ends processes of the test's own fixtures.
//   vlm_holder load DLL EVENT         loads DLL, signals EVENT, then waits
//   vlm_holder lock FILE EVENT        loads FILE as a library and holds it open without
//                                     FILE_SHARE_DELETE, signals EVENT, then waits
//   vlm_holder self DLL LOG MARKER    loads DLL, then asks for the termination of every holder
//                                     of it, its own process included; its message box is
//                                     answered OK at once and noted in MARKER
//   vlm_holder end MARKER             ends the program through the product's one way of doing so
//   vlm_holder rewrite DLL EVENT KEY URL
//                                     loads DLL and, as a hijacker's watchdog does, writes URL as
//                                     "Start Page" of KEY (under HKEY_CURRENT_USER) again and again;
//                                     signals EVENT after the first write
// A waiting holder ends by itself after two minutes (exit code 99).
#include <windows.h>

#include <string>

#include "inspection/EndProgram.h"
#include "inspection/Globals.h"
#include "inspection/MAPI.h"
#include "inspection/ProcessManager.h"
#include "tessel/Api.h"
#include "tessel/Logger.h"
#include "tessel/SystemUtility.h"
#include "tessel/Text.h"
#include "tessel/Unique.h"

namespace {

constexpr DWORD kWaitLimitMs = 120000;

void Append(const std::wstring& path, const std::wstring& text) {
    tessel::UniqueFile file(::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    const std::string bytes = tessel::text::ToUtf8(text + L"\n");
    DWORD written = 0;
    if (file) ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

bool Signal(const std::wstring& name) {
    tessel::UniqueHandle event(::OpenEventW(EVENT_MODIFY_STATE, FALSE, name.c_str()));
    return event && ::SetEvent(event.get());
}

int Hold() {
    ::Sleep(kWaitLimitMs);
    return 99;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 1;
    const std::wstring mode = argv[1];
    if (mode == L"load" && argc == 4) {
        if (!::LoadLibraryW(argv[2])) return 2;
        if (!Signal(argv[3])) return 4;
        return Hold();
    }
    if (mode == L"lock" && argc == 4) {
        ::LoadLibraryW(argv[2]);
        const tessel::UniqueFile file(
            ::CreateFileW(argv[2], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        if (!file) return 2;
        if (!Signal(argv[3])) return 4;
        return Hold();
    }
    if (mode == L"self" && argc == 5) {
        if (!::LoadLibraryW(argv[2])) return 2;
        const std::wstring marker = argv[4];
        tessel::Logger log;
        log.Open(argv[3], std::wstring(argv[3]) + L".short");
        velmora::RunningOnNT = velmora::IsNT();
        tessel::api::ScopedPreset answer(tessel::api::user32().MessageBoxW,
                                         [&](HWND, LPCWSTR text, LPCWSTR title, UINT style) {
                                             Append(marker, L"message " + std::to_wstring(style) + L" " + title +
                                                                L"|" + text);
                                             return IDOK;
                                         });
        // The listed path in another letter case than the system reports it.
        const std::wstring listed = tessel::SystemUtility::Upper(argv[2]);
        velmora::CProcessManager manager;
        manager.Init(log);
        manager.TerminateProcessesByModule(listed, true);
        Append(marker, L"returned");
        return 3;
    }
    if (mode == L"rewrite" && argc == 6) {
        if (!::LoadLibraryW(argv[2])) return 2;
        const std::wstring url = argv[5];
        const auto write = [&] {
            tessel::UniqueKey key;
            if (::RegCreateKeyExW(HKEY_CURRENT_USER, argv[4], 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr))
                return false;
            return ::RegSetValueExW(key.get(), L"Start Page", 0, REG_SZ, reinterpret_cast<const BYTE*>(url.c_str()),
                                    static_cast<DWORD>((url.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
        };
        if (!write()) return 5;
        if (!Signal(argv[3])) return 4;
        for (const DWORD start = ::GetTickCount(); ::GetTickCount() - start < kWaitLimitMs;) {
            write();
            ::Sleep(1);
        }
        return 99;
    }
    if (mode == L"end" && argc == 3) {
        Append(argv[2], L"before");
        velmora::EndProgram();
    }
    return 1;
}
