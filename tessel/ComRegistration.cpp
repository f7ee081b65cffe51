#include "tessel/ComRegistration.h"

#include <olectl.h>

#include "tessel/ComObject.h"
#include "tessel/Error.h"

namespace tessel::com {

std::wstring GuidText(const GUID& guid) {
    wchar_t text[40] = L"";
    ::StringFromGUID2(guid, text, 40);
    return text;
}

std::vector<ClassesEntry> ClassEntries(const Server& server, const std::wstring& modulePath) {
    const std::wstring libid = GuidText(*server.libid);
    const std::wstring version = std::to_wstring(server.major) + L"." + std::to_wstring(server.minor);
    std::vector<ClassesEntry> entries;
    for (std::size_t i = 0; i < server.count; ++i) {
        const CoClass& c = server.classes[i];
        const std::wstring key = L"CLSID\\" + GuidText(*c.clsid);
        entries.push_back({key, L"", c.progId});
        entries.push_back({key + L"\\InprocServer32", L"", modulePath});
        entries.push_back({key + L"\\InprocServer32", L"ThreadingModel", L"Apartment"});
        entries.push_back({key + L"\\ProgID", L"", c.progId});
        entries.push_back({key + L"\\TypeLib", L"", libid});
        entries.push_back({key + L"\\VERSION", L"", version});
        entries.push_back({c.progId, L"", c.progId});
        entries.push_back({std::wstring(c.progId) + L"\\CLSID", L"", GuidText(*c.clsid)});
    }
    return entries;
}

namespace {

void WriteEntry(const ClassesEntry& e) {
    UniqueKey key;
    LONG rc = ::RegCreateKeyExW(HKEY_CLASSES_ROOT, e.key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(),
                                nullptr);
    if (rc == ERROR_SUCCESS)
        rc = ::RegSetValueExW(key.get(), e.valueName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(e.data.c_str()),
                              static_cast<DWORD>((e.data.size() + 1) * sizeof(wchar_t)));
    if (rc != ERROR_SUCCESS)
        ThrowSystemError(static_cast<unsigned long>(rc), "RegSetValueExW", L"HKEY_CLASSES_ROOT\\" + e.key + L" cannot be written");
}

// A key that holds nothing any more, neither values nor subkeys, goes; one that holds
// something of someone else's stays.
void DeleteKeyIfEmpty(const std::wstring& path) {
    {
        UniqueKey key;
        if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) return;
        DWORD subkeys = 0, values = 0;
        if (::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                               nullptr, nullptr, nullptr) != ERROR_SUCCESS || subkeys || values)
            return;
    }
    ::RegDeleteKeyW(HKEY_CLASSES_ROOT, path.c_str());
}

void RemoveEntries(const std::vector<ClassesEntry>& entries) {
    for (const auto& e : entries) {
        UniqueKey key;
        if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, e.key.c_str(), 0, KEY_SET_VALUE, key.put()) == ERROR_SUCCESS)
            ::RegDeleteValueW(key.get(), e.valueName.c_str());
    }
    // Children before parents.
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) DeleteKeyIfEmpty(it->key);
}

ComPtr<ITypeLib> OwnTypeLibrary(const std::wstring& path) {
    ComPtr<ITypeLib> library;
    const HRESULT hr = ::LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.put());
    if (FAILED(hr)) throw Error(hr, L"The type library of '" + path + L"' cannot be loaded.", "LoadTypeLibEx");
    return library;
}

HRESULT UnregisterTypeLibrary(const ComPtr<ITypeLib>& library) {
    TLIBATTR* attr = nullptr;
    HRESULT hr = library->GetLibAttr(&attr);
    if (FAILED(hr)) return hr;
    hr = ::UnRegisterTypeLib(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid, attr->syskind);
    library->ReleaseTLibAttr(attr);
    return hr;
}

}  // namespace

HRESULT RegisterServer(const Server& server) noexcept {
    return AtComBoundary(L"DllRegisterServer", [&]() -> HRESULT {
        const std::wstring path = ModulePath(ThisModule());
        ComPtr<ITypeLib> library = OwnTypeLibrary(path);
        if (FAILED(::RegisterTypeLib(library.get(), const_cast<LPOLESTR>(path.c_str()), nullptr)))
            return SELFREG_E_TYPELIB;
        const auto entries = ClassEntries(server, path);
        // Nothing half-registered stays behind.
        const bool written = Guard([&] { for (const auto& e : entries) WriteEntry(e); }, [&] {
            RemoveEntries(entries);
            UnregisterTypeLibrary(library);
        });
        return written ? S_OK : SELFREG_E_CLASS;
    });
}

HRESULT UnregisterServer(const Server& server) noexcept {
    return AtComBoundary(L"DllUnregisterServer", [&]() -> HRESULT {
        const std::wstring path = ModulePath(ThisModule());
        RemoveEntries(ClassEntries(server, path));
        const HRESULT hr = UnregisterTypeLibrary(OwnTypeLibrary(path));
        // A library that was not registered is no failure of unregistering.
        return hr == TYPE_E_REGISTRYACCESS || hr == TYPE_E_CANTLOADLIBRARY || SUCCEEDED(hr) ? S_OK : SELFREG_E_TYPELIB;
    });
}

HRESULT GetClassObject(const Server& server, REFCLSID clsid, REFIID riid, void** out) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    return AtComBoundary(L"DllGetClassObject", [&]() -> HRESULT {
        for (std::size_t i = 0; i < server.count; ++i)
            if (IsEqualCLSID(clsid, *server.classes[i].clsid)) return server.classes[i].getFactory(riid, out);
        return CLASS_E_CLASSNOTAVAILABLE;
    });
}

HRESULT CanUnloadNow() noexcept { return ModuleLocks() == 0 ? S_OK : S_FALSE; }

}  // namespace tessel::com
