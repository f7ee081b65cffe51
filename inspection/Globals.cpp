#include "inspection/Globals.h"

#include "inspection/MAPI.h"
#include "tessel/Logger.h"
#include "tessel/SystemUtility.h"

namespace velmora {

void SetProcessWideValues(tessel::PendingError& pending) {
    pending.Run([] { GlobalHashier = std::make_unique<CHashier>(); });
    pending.Run([] { RunningOnNT = IsNT(); });
    pending.Run([] { RunningOnNT4 = IsNT4(); });
    pending.Run([] {
        WinDir = tessel::SystemUtility::Lower(tessel::SystemUtility::Instance().ExpandEnvironment(L"%windir%"));
    });
    if (WinDir.empty() || WinDir.back() != L'\\') WinDir += L'\\';
    SysDir = tessel::SystemUtility::Lower(WinDir + (RunningOnNT ? L"system32\\" : L"system\\"));
}

CHashier& Hashier() {
    if (!GlobalHashier) GlobalHashier = std::make_unique<CHashier>();
    return *GlobalHashier;
}

}  // namespace velmora
