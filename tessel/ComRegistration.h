// An in-process COM server's registration as data: the keys and values one server adds under
// HKEY_CLASSES_ROOT, written by registration and removed by unregistration from the same list,
// so that unregistering removes exactly what registering added and nothing else.
#pragma once
#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

namespace tessel::com {

// One creatable class of a server.
struct CoClass {
    const CLSID* clsid;
    const wchar_t* progId;
    HRESULT (*getFactory)(REFIID riid, void** out);
};

// A server: its type library (built into the module as resource 1) and its classes.
struct Server {
    const GUID* libid;
    WORD major;
    WORD minor;
    const CoClass* classes;
    std::size_t count;
};

// One value under HKEY_CLASSES_ROOT; a key of its own has no value name and no data.
struct ClassesEntry {
    std::wstring key;
    std::wstring valueName;
    std::wstring data;
};

std::wstring GuidText(const GUID& guid);  // {XXXXXXXX-XXXX-...}, upper case

// The class keys of a server in the module at modulePath, parents before children: per class
// its class id key (named after the ProgID) with InprocServer32 (the module, apartment
// threading), ProgID, TypeLib and VERSION, and the ProgID key with its CLSID.
std::vector<ClassesEntry> ClassEntries(const Server& server, const std::wstring& modulePath);

// The server of the library being built: each in-process server library defines it once, and
// its four exports (tessel/dll/ServerExports.cpp, built into every such library) serve it.
const Server& ThisServer();

// The four exports of an in-process server, for the module that holds this code.
HRESULT RegisterServer(const Server& server) noexcept;    // type library, then the classes
HRESULT UnregisterServer(const Server& server) noexcept;  // the classes, then the type library
HRESULT GetClassObject(const Server& server, REFCLSID clsid, REFIID riid, void** out) noexcept;
HRESULT CanUnloadNow() noexcept;

}  // namespace tessel::com
