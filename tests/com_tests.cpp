// The two COM libraries as Windows sees them: registration with the system's regsvr32, the
// type libraries, the classes created through COM and called late-bound, as the program and
// any automation client call them.
#include <gtest/gtest.h>

#include <initguid.h>

#include <windows.h>
#include <oleauto.h>

#include <map>
#include <string>
#include <vector>

#include <tessel.h>
#include <vlmrcustom.h>

#include "TestSupport.h"
#include "tessel/ComLogger.h"
#include "tessel/ComObject.h"
#include "tessel/ComRegistration.h"
#include "tessel/FileAccessor.h"
#include "tessel/Logger.h"

using tessel::ComApartment;
using tessel::ComPtr;
using tessel::com::Bstr;
using tessel::com::ExceptionInfo;
using tessel::com::GuidText;
using tessel::com::Variant;
using testing_support::LogLines;
using testing_support::Narrow;
using testing_support::TempDir;

namespace {

std::wstring Deliverable(const wchar_t* file) {
    const std::wstring path = testing_support::DeliverableFolder() + L"\\" + file;
    wchar_t full[MAX_PATH];
    const DWORD n = ::GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr);
    return n && n < MAX_PATH ? std::wstring(full, n) : path;
}

DWORD Regsvr32(const std::wstring& args) { return testing_support::RunAndWait(L"regsvr32.exe /s " + args); }

// Every key and value under HKEY_CLASSES_ROOT\key, one "key|name=data" line each, sorted.
void Dump(const std::wstring& key, std::map<std::wstring, std::wstring>& out) {
    tessel::UniqueKey k;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, k.put()) != ERROR_SUCCESS) return;
    out[key] = L"(key)";
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        BYTE data[2048];
        DWORD nameLen = 256, dataLen = sizeof(data) - 2, type = 0;
        if (::RegEnumValueW(k.get(), i, name, &nameLen, nullptr, &type, data, &dataLen) != ERROR_SUCCESS) break;
        data[dataLen] = data[dataLen + 1] = 0;
        out[key + L"|" + name] = type == REG_SZ ? std::wstring(reinterpret_cast<wchar_t*>(data)) : L"(other)";
    }
    std::vector<std::wstring> subkeys;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameLen = 256;
        if (::RegEnumKeyExW(k.get(), i, name, &nameLen, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        subkeys.push_back(name);
    }
    for (const auto& s : subkeys) Dump(key + L"\\" + s, out);
}

// Everything the two libraries may register.
std::map<std::wstring, std::wstring> Snapshot() {
    std::map<std::wstring, std::wstring> out;
    for (const GUID* clsid : {&CLSID_Logger, &CLSID_KeyedList, &CLSID_CCustom2, &CLSID_CCustom})
        Dump(L"CLSID\\" + GuidText(*clsid), out);
    for (const GUID* iid : {&IID__Logger, &IID__KeyedList, &IID__CCustom2, &IID__CCustom})
        Dump(L"Interface\\" + GuidText(*iid), out);
    for (const GUID* libid : {&LIBID_Tessel, &LIBID_VLMRCustom}) Dump(L"TypeLib\\" + GuidText(*libid), out);
    for (const wchar_t* progId : {L"Tessel.Logger", L"Tessel.KeyedList", L"VLMRCustom.CCustom2", L"VLMRCustom.CCustom"})
        Dump(progId, out);
    return out;
}

std::wstring Lower(std::wstring s) {
    for (auto& c : s) c = static_cast<wchar_t>(towlower(c));
    return s;
}

// Calls a member by name through IDispatch; the arguments are given first to last.
HRESULT CallByName(IDispatch* object, const wchar_t* member, std::vector<Variant> args, VARIANT* result = nullptr,
                   WORD flags = DISPATCH_METHOD, EXCEPINFO* exception = nullptr) {
    std::wstring name = member;
    LPOLESTR names[] = {name.data()};
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return hr;
    std::vector<VARIANTARG> reversed;
    for (auto it = args.rbegin(); it != args.rend(); ++it) reversed.push_back(it->get());
    DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    ExceptionInfo local;
    UINT argError = 0;
    return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result,
                          exception ? exception : &local.info, &argError);
}

Variant Text(const wchar_t* s) {
    Variant v;
    V_VT(&v.get()) = VT_BSTR;
    V_BSTR(&v.get()) = ::SysAllocString(s);
    return v;
}

Variant Number(long n) {
    Variant v;
    V_VT(&v.get()) = VT_I4;
    V_I4(&v.get()) = n;
    return v;
}

ComPtr<IDispatch> Create(const wchar_t* progId) {
    CLSID clsid{};
    EXPECT_EQ(::CLSIDFromProgID(progId, &clsid), S_OK) << Narrow(progId);
    ComPtr<IDispatch> object;
    EXPECT_EQ(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.put_void()), S_OK)
        << Narrow(progId);
    return object;
}

}  // namespace

// Registers both libraries (in the order opposite to the program's folder listing, to show that
// either order works), checks the keys, and unregisters them: what stays is what was there.
TEST(Registration, RegsvrAddsTheClassesAndTypeLibrariesAndUnregisteringRemovesExactlyThem) {
    ComApartment com;
    const std::wstring tessel = Deliverable(L"Tessel.dll"), custom = Deliverable(L"VLMRCustom.dll");
    Regsvr32(L"/u \"" + custom + L"\"");
    Regsvr32(L"/u \"" + tessel + L"\"");
    const auto before = Snapshot();
    EXPECT_TRUE(before.empty()) << "left from elsewhere: " << Narrow(before.begin()->first);

    ASSERT_EQ(Regsvr32(L"\"" + custom + L"\""), 0u);
    ASSERT_EQ(Regsvr32(L"\"" + tessel + L"\""), 0u);
    auto after = Snapshot();
    const std::wstring platform = sizeof(void*) == 8 ? L"win64" : L"win32";
    struct Class {
        const GUID* clsid;
        const wchar_t* progId;
        const GUID* libid;
        std::wstring path;
    } classes[] = {{&CLSID_Logger, L"Tessel.Logger", &LIBID_Tessel, tessel},
                   {&CLSID_KeyedList, L"Tessel.KeyedList", &LIBID_Tessel, tessel},
                   {&CLSID_CCustom2, L"VLMRCustom.CCustom2", &LIBID_VLMRCustom, custom},
                   {&CLSID_CCustom, L"VLMRCustom.CCustom", &LIBID_VLMRCustom, custom}};
    for (const Class& c : classes) {
        const std::wstring key = L"CLSID\\" + GuidText(*c.clsid);
        EXPECT_EQ(Lower(after[key + L"\\InprocServer32|"]), Lower(c.path)) << Narrow(c.progId);
        EXPECT_EQ(after[key + L"\\InprocServer32|ThreadingModel"], L"Apartment") << Narrow(c.progId);
        EXPECT_EQ(after[key + L"\\ProgID|"], c.progId);
        EXPECT_EQ(after[key + L"\\TypeLib|"], GuidText(*c.libid));
        EXPECT_EQ(after[std::wstring(c.progId) + L"\\CLSID|"], GuidText(*c.clsid));
    }
    EXPECT_EQ(Lower(after[L"TypeLib\\" + GuidText(LIBID_Tessel) + L"\\1.0\\0\\" + platform + L"|"]), Lower(tessel));
    EXPECT_EQ(Lower(after[L"TypeLib\\" + GuidText(LIBID_VLMRCustom) + L"\\1.0\\409\\" + platform + L"|"]),
              Lower(custom));
    EXPECT_EQ(after[L"Interface\\" + GuidText(IID__Logger) + L"\\TypeLib|"], GuidText(LIBID_Tessel));
    EXPECT_EQ(after[L"Interface\\" + GuidText(IID__CCustom2) + L"\\TypeLib|"], GuidText(LIBID_VLMRCustom));
    EXPECT_EQ(after[L"Interface\\" + GuidText(IID__CCustom) + L"|"], L"_CCustom");

    ASSERT_EQ(Regsvr32(L"/u \"" + tessel + L"\""), 0u);
    ASSERT_EQ(Regsvr32(L"/u \"" + custom + L"\""), 0u);
    const auto gone = Snapshot();
    for (const auto& [key, value] : gone)
        if (!before.count(key)) ADD_FAILURE() << "left behind: " << Narrow(key) << " = " << Narrow(value);
    EXPECT_EQ(gone.size(), before.size());
}

// The custom components library's type library: identifiers, version, locale, flags, and the
// Logger's type taken from Tessel's library rather than copied.
TEST(CustomTypeLibrary, DescribesTheTwoClassesWithTessesLoggerAsInitsParameter) {
    ComApartment com;
    ComPtr<ITypeLib> library;
    ASSERT_EQ(::LoadTypeLibEx(Deliverable(L"VLMRCustom.dll").c_str(), REGKIND_NONE, library.put()), S_OK);
    TLIBATTR* lib = nullptr;
    ASSERT_EQ(library->GetLibAttr(&lib), S_OK);
    EXPECT_TRUE(IsEqualGUID(lib->guid, LIBID_VLMRCustom));
    EXPECT_EQ(lib->wMajorVerNum, 1);
    EXPECT_EQ(lib->wMinorVerNum, 0);
    EXPECT_EQ(lib->lcid, 1033u);
    library->ReleaseTLibAttr(lib);
    ASSERT_EQ(library->GetTypeInfoCount(), 4u);

    const WORD kDispatchFlags = TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FDISPATCHABLE;
    struct Entry {
        const GUID* id;
        TYPEKIND kind;
        WORD flags;
    } entries[] = {
        {&IID__CCustom2, TKIND_DISPATCH, kDispatchFlags},
        {&CLSID_CCustom2, TKIND_COCLASS, TYPEFLAG_FCANCREATE},
        {&IID__CCustom, TKIND_DISPATCH, kDispatchFlags},
        {&CLSID_CCustom, TKIND_COCLASS, TYPEFLAG_FCANCREATE | TYPEFLAG_FAPPOBJECT | TYPEFLAG_FPREDECLID},
    };
    for (UINT i = 0; i < 4; ++i) {
        ComPtr<ITypeInfo> info;
        ASSERT_EQ(library->GetTypeInfo(i, info.put()), S_OK);
        TYPEATTR* attr = nullptr;
        ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
        EXPECT_TRUE(IsEqualGUID(attr->guid, *entries[i].id)) << i;
        EXPECT_EQ(attr->typekind, entries[i].kind) << i;
        EXPECT_EQ(attr->wTypeFlags & entries[i].flags, entries[i].flags) << i << ": " << std::hex << attr->wTypeFlags;
        info->ReleaseTypeAttr(attr);
    }

    // Init, first in the interface's own part of the table, takes Tessel's Logger.
    ComPtr<ITypeInfo> dispatch, dual;
    ASSERT_EQ(library->GetTypeInfoOfGuid(IID__CCustom2, dispatch.put()), S_OK);
    HREFTYPE ref = 0;
    ASSERT_EQ(dispatch->GetRefTypeOfImplType(-1, &ref), S_OK);
    ASSERT_EQ(dispatch->GetRefTypeInfo(ref, dual.put()), S_OK);
    TYPEATTR* dualAttr = nullptr;
    ASSERT_EQ(dual->GetTypeAttr(&dualAttr), S_OK);
    EXPECT_EQ(dualAttr->typekind, TKIND_INTERFACE);
    EXPECT_TRUE(dualAttr->wTypeFlags & TYPEFLAG_FOLEAUTOMATION);  // automation-compatible
    dual->ReleaseTypeAttr(dualAttr);
    FUNCDESC* init = nullptr;
    ASSERT_EQ(dual->GetFuncDesc(0, &init), S_OK);
    EXPECT_EQ(init->oVft, 7 * static_cast<SHORT>(sizeof(void*)));
    ASSERT_EQ(init->cParams, 1);
    const TYPEDESC& param = init->lprgelemdescParam[0].tdesc;
    ASSERT_EQ(param.vt, VT_PTR);
    ASSERT_EQ(param.lptdesc->vt, VT_USERDEFINED);
    ComPtr<ITypeInfo> logger;
    ASSERT_EQ(dual->GetRefTypeInfo(param.lptdesc->hreftype, logger.put()), S_OK);
    dual->ReleaseFuncDesc(init);
    ComPtr<ITypeLib> owner;
    UINT index = 0;
    ASSERT_EQ(logger->GetContainingTypeLib(owner.put(), &index), S_OK);
    TLIBATTR* ownerAttr = nullptr;
    ASSERT_EQ(owner->GetLibAttr(&ownerAttr), S_OK);
    EXPECT_TRUE(IsEqualGUID(ownerAttr->guid, LIBID_Tessel));
    owner->ReleaseTLibAttr(ownerAttr);
}

// Init of either class, called by name with our Logger however the caller passes it: one line
// "VLMRCustom ver.4.52.23", Number 0, Level 5, no source, per call.
TEST(CustomComponent, InitLogsTheLibrarysVersionLineThroughAnyFormOfTheLoggerArgument) {
    ComApartment com;
    for (const wchar_t* progId : {L"VLMRCustom.CCustom2", L"VLMRCustom.CCustom"}) {
        for (VARTYPE form : {VARTYPE(VT_DISPATCH), VARTYPE(VT_BYREF | VT_DISPATCH), VARTYPE(VT_UNKNOWN)}) {
            SCOPED_TRACE(Narrow(progId) + " form " + std::to_string(form));
            TempDir dir;
            tessel::Logger log;
            log.Open(dir / L"VLMR.log", dir / L"short.log");
            ComPtr<_Logger> logger = tessel::com::MakeComLogger(log);
            IDispatch* pointer = logger.get();
            ComPtr<IDispatch> component = Create(progId);
            ASSERT_TRUE(component);
            for (int call = 0; call < 2; ++call) {
                Variant arg;
                V_VT(&arg.get()) = form;
                if (form == VT_DISPATCH) {
                    V_DISPATCH(&arg.get()) = pointer;
                    pointer->AddRef();
                } else if (form == VT_UNKNOWN) {
                    V_UNKNOWN(&arg.get()) = pointer;
                    pointer->AddRef();
                } else {
                    V_DISPATCHREF(&arg.get()) = &pointer;  // not owned: the variable is ours
                }
                EXPECT_EQ(CallByName(component.get(), L"Init", {arg}), S_OK);
                if (form == (VT_BYREF | VT_DISPATCH)) V_VT(&arg.get()) = VT_EMPTY;
            }
            EXPECT_EQ(LogLines(dir / L"VLMR.log"),
                      (std::vector<std::string>{"5|0||VLMRCustom ver.4.52.23", "5|0||VLMRCustom ver.4.52.23"}));
        }
    }
}

TEST(CustomComponent, InitWithoutALoggerFailsAndWritesNothing) {
    ComApartment com;
    TempDir dir;
    tessel::Logger log;
    log.Open(dir / L"VLMR.log", dir / L"short.log");
    ComPtr<IDispatch> component = Create(L"VLMRCustom.CCustom2");
    ASSERT_TRUE(component);
    Variant none;
    V_VT(&none.get()) = VT_DISPATCH;
    V_DISPATCH(&none.get()) = nullptr;
    EXPECT_TRUE(FAILED(CallByName(component.get(), L"Init", {none})));
    EXPECT_TRUE(FAILED(CallByName(component.get(), L"Init", {})));
    EXPECT_EQ(tessel::FileAccessor::Instance().ReadFile(dir / L"VLMR.log"), "");
}

// Delivered under another file name, the library names itself by that name; it is unloadable
// only once its last object is gone.
TEST(CustomComponent, ALibraryCopiedUnderAnotherNameBeginsItsLineWithThatName) {
    ComApartment com;
    TempDir dir;
    const std::wstring copy = dir / L"Renamed.dll";
    ASSERT_TRUE(::CopyFileW(Deliverable(L"VLMRCustom.dll").c_str(), copy.c_str(), FALSE));
    tessel::Logger log;
    log.Open(dir / L"VLMR.log", dir / L"short.log");
    {
        tessel::UniqueModule library(::LoadLibraryW(copy.c_str()));
        ASSERT_TRUE(library);
        using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
        using CanUnloadNow = HRESULT(WINAPI*)();
        auto getClassObject = reinterpret_cast<GetClassObject>(::GetProcAddress(library.get(), "DllGetClassObject"));
        auto canUnloadNow = reinterpret_cast<CanUnloadNow>(::GetProcAddress(library.get(), "DllCanUnloadNow"));
        ASSERT_TRUE(getClassObject && canUnloadNow);
        {
            ComPtr<IClassFactory> factory;
            ASSERT_EQ(getClassObject(CLSID_CCustom2, IID_IClassFactory, factory.put_void()), S_OK);
            ComPtr<IDispatch> component;
            ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, component.put_void()), S_OK);
            factory = ComPtr<IClassFactory>();
            EXPECT_EQ(canUnloadNow(), S_FALSE);
            ComPtr<_Logger> logger = tessel::com::MakeComLogger(log);
            Variant arg;
            V_VT(&arg.get()) = VT_DISPATCH;
            V_DISPATCH(&arg.get()) = logger.get();
            logger->AddRef();
            EXPECT_EQ(CallByName(component.get(), L"Init", {arg}), S_OK);
        }
        EXPECT_EQ(canUnloadNow(), S_OK);
        ComPtr<IClassFactory> none;
        EXPECT_EQ(getClassObject(IID_IUnknown, IID_IClassFactory, none.put_void()), CLASS_E_CLASSNOTAVAILABLE);
    }
    EXPECT_EQ(LogLines(dir / L"VLMR.log"), (std::vector<std::string>{"5|0||Renamed ver.4.52.23"}));
}

// Tessel's classes through COM, late-bound as an automation client uses them.
TEST(TesselServer, KeyedListAddsFindsCountsAndEnumeratesInInsertionOrder) {
    ComApartment com;
    ComPtr<IDispatch> list = Create(L"Tessel.KeyedList");
    ASSERT_TRUE(list);
    EXPECT_EQ(CallByName(list.get(), L"Add", {Text(L"first"), Text(L"Key1")}), S_OK);
    EXPECT_EQ(CallByName(list.get(), L"Add", {Number(2)}), S_OK);
    EXPECT_EQ(CallByName(list.get(), L"Add", {Text(L"third"), Text(L"key3")}), S_OK);
    ExceptionInfo error;
    EXPECT_EQ(CallByName(list.get(), L"Add", {Text(L"again"), Text(L"KEY1")}, nullptr, DISPATCH_METHOD, &error.info),
              DISP_E_EXCEPTION);
    EXPECT_EQ(error.info.scode, static_cast<SCODE>(0x800A01C9));  // 457: the key is taken

    Variant count;
    EXPECT_EQ(CallByName(list.get(), L"Count", {}, &count.get(), DISPATCH_PROPERTYGET), S_OK);
    EXPECT_EQ(V_VT(&count.get()), VT_I4);
    EXPECT_EQ(V_I4(&count.get()), 3);
    Variant byKey, byPosition, exists, missing;
    EXPECT_EQ(CallByName(list.get(), L"Item", {Text(L"key1")}, &byKey.get()), S_OK);
    EXPECT_EQ(tessel::com::Text(V_BSTR(&byKey.get())), L"first");
    EXPECT_EQ(CallByName(list.get(), L"Item", {Number(2)}, &byPosition.get()), S_OK);
    EXPECT_EQ(V_I4(&byPosition.get()), 2);
    EXPECT_EQ(CallByName(list.get(), L"Exists", {Text(L"KEY3")}, &exists.get()), S_OK);
    EXPECT_EQ(V_BOOL(&exists.get()), VARIANT_TRUE);
    EXPECT_EQ(CallByName(list.get(), L"Exists", {Text(L"key2")}, &missing.get()), S_OK);
    EXPECT_EQ(V_BOOL(&missing.get()), VARIANT_FALSE);
    Variant none;
    EXPECT_EQ(CallByName(list.get(), L"Item", {Number(4)}, &none.get()), DISP_E_EXCEPTION);

    Variant enumerator;
    ASSERT_EQ(list->Invoke(DISPID_NEWENUM, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET,
                           [] { static DISPPARAMS p{nullptr, nullptr, 0, 0}; return &p; }(), &enumerator.get(),
                           nullptr, nullptr),
              S_OK);
    ComPtr<IEnumVARIANT> items;
    ASSERT_EQ(V_UNKNOWN(&enumerator.get())->QueryInterface(IID_IEnumVARIANT, items.put_void()), S_OK);
    std::vector<std::wstring> seen;
    for (;;) {
        Variant item;
        ULONG fetched = 0;
        if (items->Next(1, &item.get(), &fetched) != S_OK || fetched != 1) break;
        Variant text;
        ::VariantChangeType(&text.get(), &item.get(), 0, VT_BSTR);
        seen.push_back(tessel::com::Text(V_BSTR(&text.get())));
    }
    EXPECT_EQ(seen, (std::vector<std::wstring>{L"first", L"2", L"third"}));
}

TEST(TesselServer, ACreatedLoggerOpensAndWritesItsOwnLog) {
    ComApartment com;
    TempDir dir;
    {
        ComPtr<IDispatch> logger = Create(L"Tessel.Logger");
        ASSERT_TRUE(logger);
        EXPECT_EQ(CallByName(logger.get(), L"Open", {Text((dir / L"own.log").c_str()), Text((dir / L"own-short.log").c_str())}),
                  S_OK);
        EXPECT_EQ(CallByName(logger.get(), L"Log", {Number(7), Text(L"a line"), Number(4), Text(L"Client.Call")}), S_OK);
        // A log that cannot be opened fails the call, and nothing crosses but its code.
        EXPECT_TRUE(FAILED(CallByName(logger.get(), L"Open", {Text((dir / L"no\\such\\folder\\x.log").c_str()), Text(L"")})));
    }
    EXPECT_EQ(LogLines(dir / L"own.log"), (std::vector<std::string>{"4|7|Client.Call|a line"}));
}
