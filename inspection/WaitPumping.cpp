#include "inspection/WaitPumping.h"

#include <windows.h>

#include "tessel/Api.h"
#include "tessel/SystemUtility.h"

namespace velmora {

void WaitPumping(unsigned long Milliseconds) {
    auto& k = tessel::api::kernel32();
    const ULONGLONG start = k.GetTickCount64();
    for (;;) {
        ULONGLONG elapsed = k.GetTickCount64() - start;
        if (elapsed >= Milliseconds) return;
        tessel::SystemUtility::Instance().PumpMessages();
        elapsed = k.GetTickCount64() - start;
        if (elapsed >= Milliseconds) return;
        const DWORD left = static_cast<DWORD>(Milliseconds - elapsed);
        MSG quit;
        if (::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE)) {
            // The program is quitting: the quit stays queued for the main loop, which would
            // wake every wait at once, so the rest of the time is slept.
            ::Sleep(left);
            continue;
        }
        // Sleeps until a message arrives or the time is up.
        ::MsgWaitForMultipleObjectsEx(0, nullptr, left, QS_ALLINPUT, 0);
    }
}

}  // namespace velmora
