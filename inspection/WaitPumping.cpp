#include "inspection/WaitPumping.h"

#include "tessel/Api.h"
#include "tessel/SystemUtility.h"

namespace velmora {

namespace {

bool Signalled(HANDLE object) { return object && ::WaitForSingleObject(object, 0) == WAIT_OBJECT_0; }

}  // namespace

bool WaitPumpingFor(HANDLE object, unsigned long Milliseconds) {
    auto& k = tessel::api::kernel32();
    const ULONGLONG start = k.GetTickCount64();
    for (;;) {
        if (Signalled(object)) return true;
        ULONGLONG elapsed = k.GetTickCount64() - start;
        if (elapsed >= Milliseconds) return false;
        tessel::SystemUtility::Instance().PumpMessages();
        if (Signalled(object)) return true;
        elapsed = k.GetTickCount64() - start;
        if (elapsed >= Milliseconds) return false;
        const DWORD left = static_cast<DWORD>(Milliseconds - elapsed);
        MSG quit;
        if (::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE)) {
            // The program is quitting: the quit stays queued for the main loop, which would
            // wake every wait at once, so the rest of the time is slept (or waited on the object).
            if (object) ::WaitForSingleObject(object, left);
            else ::Sleep(left);
            continue;
        }
        // Sleeps until a message arrives, the object is signalled or the time is up.
        ::MsgWaitForMultipleObjectsEx(object ? 1 : 0, object ? &object : nullptr, left, QS_ALLINPUT, 0);
    }
}

void WaitPumping(unsigned long Milliseconds) { WaitPumpingFor(nullptr, Milliseconds); }

}  // namespace velmora
