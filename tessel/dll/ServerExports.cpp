// The four exports of an in-process COM server library, built into each one (by its .def file's
// names) rather than into the support library: each serves the library's own ThisServer().
#include "tessel/ComRegistration.h"

using namespace tessel::com;

STDAPI DllRegisterServer() { return RegisterServer(ThisServer()); }
STDAPI DllUnregisterServer() { return UnregisterServer(ThisServer()); }
STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* out) {
    return GetClassObject(ThisServer(), clsid, riid, out);
}
STDAPI DllCanUnloadNow() { return CanUnloadNow(); }
