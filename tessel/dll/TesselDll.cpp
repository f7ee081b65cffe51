// Tessel.dll: the support library as an in-process COM server with its Logger and KeyedList.
#include <initguid.h>

#include <tessel.h>

#include "tessel/ComLogger.h"
#include "tessel/ComRegistration.h"
#include "tessel/dll/ComKeyedList.h"

namespace {

using namespace tessel::com;

const CoClass kClasses[] = {
    {&CLSID_Logger, L"Tessel.Logger", &GetFactory<ComLogger>},
    {&CLSID_KeyedList, L"Tessel.KeyedList", &GetFactory<ComKeyedList>},
};

}  // namespace

const tessel::com::Server& tessel::com::ThisServer() {
    static const tessel::com::Server server{&LIBID_Tessel, 1, 0, kClasses, sizeof(kClasses) / sizeof(kClasses[0])};
    return server;
}
