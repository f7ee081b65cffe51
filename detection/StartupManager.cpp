#include "detection/StartupManager.h"

#include "detection/UsableValues.h"
#include "inspection/AppServices.h"
#include "inspection/FileChecker.h"
#include "inspection/Globals.h"
#include "inspection/MAPI.h"
#include "tessel/SystemUtility.h"

namespace velmora {

const StartupKey kStartupKeys[11] = {
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"},
    {HKEY_CURRENT_USER, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices"},
    {HKEY_CURRENT_USER, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices"},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce"},
    {HKEY_CURRENT_USER, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce"},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce\\Setup"},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce"},
    {HKEY_CURRENT_USER, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce"},
    {HKEY_LOCAL_MACHINE, kPoliciesRunKey},
    {HKEY_CURRENT_USER, kPoliciesRunKey},
};

namespace {
constexpr int kRunFamilyKeys = 9;

std::wstring HiveNumber(HKEY hive) {
    return std::to_wstring(static_cast<long>(static_cast<LONG>(reinterpret_cast<ULONG_PTR>(hive))));
}

// Deletes a start-up value whose program (`data` resolved) is `wanted` (lower case), and logs it.
void DeleteIfItNames(tessel::RegistryAccessor& reg, CFileChecker& checker, tessel::Logger& log, const wchar_t* source,
                     HKEY hive, const std::wstring& key, const std::wstring& valueName, const std::wstring& data,
                     const std::wstring& wanted) {
    const auto resolved = ResolveUsablePath(checker, log, source, hive, key, valueName, data);
    if (!resolved || tessel::SystemUtility::Lower(*resolved) != wanted) return;
    reg.DeleteValue(hive, key, valueName);
    log.Log(0, tessel::Format(L"Deleted: '%1\\%2', '%3', '%4'", tessel::RegistryAccessor::HiveName(hive), key,
                              tessel::LogName(valueName), tessel::LogName(data)),
            5, source);
}

}  // namespace

CStartupManager::CStartupManager() = default;
CStartupManager::~CStartupManager() = default;

void CStartupManager::Init(tessel::Logger& Log) { log_ = &Log; }

void CStartupManager::RemoveStartup(const std::wstring& StartupFile) {
    tessel::Guard(*log_, L"CStartupManager.RemoveStartup", 4, [&] {
        checker_ = std::make_unique<CFileChecker>();
        tessel::RegistryAccessor reg;
        for (int i = 0; i < kRunFamilyKeys; ++i) {
            const auto names = reg.EnumValues(kStartupKeys[i].hive, kStartupKeys[i].path);
            RemoveItemInfo(names, kStartupKeys[i].hive, kStartupKeys[i].path, StartupFile);
        }
        RemovePolicyInfo(reg, HKEY_LOCAL_MACHINE, StartupFile);
        RemovePolicyInfo(reg, HKEY_CURRENT_USER, StartupFile);
    });
}

void CStartupManager::RemoveItemInfo(const tessel::KeyedList<std::wstring>& names, HKEY hive,
                                     const std::wstring& key, const std::wstring& file) {
    const wchar_t* const kSource = L"CStartupManager.RemoveItemInfo";
    tessel::Guard(*log_, kSource, 4, [&] {
        tessel::RegistryAccessor reg;
        const std::wstring wanted = tessel::SystemUtility::Lower(file);
        for (const std::wstring& valueName : names) {
            // A value of no use names no program: it neither matches nor stops the pass.
            const auto data = ReadUsableText(reg, *log_, kSource, hive, key, valueName);
            if (data) DeleteIfItNames(reg, *checker_, *log_, kSource, hive, key, valueName, *data, wanted);
        }
    });
}

void CStartupManager::RemovePolicyInfo(tessel::RegistryAccessor& reg, HKEY hive, const std::wstring& file) {
    const wchar_t* const kSource = L"CStartupManager.RemovePolicyInfo";
    tessel::Guard(*log_, kSource, 4, [&] {
        const std::wstring wanted = tessel::SystemUtility::Lower(file);
        const std::wstring key = kPoliciesRunKey;
        const auto names = reg.EnumValues(hive, key);
        for (const std::wstring& valueName : names) {
            const auto data = ReadUsableText(reg, *log_, kSource, hive, key, valueName);
            if (data && !data->empty())
                DeleteIfItNames(reg, *checker_, *log_, kSource, hive, key, valueName, *data, wanted);
        }
    });
}

std::unique_ptr<tessel::NodeList> CStartupManager::EnumItems() {
    complete_ = false;
    std::unique_ptr<tessel::NodeList> result;
    tessel::Guard(*log_, L"CStartupManager.EnumItems", 4, [&] {
        checker_ = std::make_unique<CFileChecker>();
        auto list = std::make_unique<tessel::NodeList>();
        tessel::RegistryAccessor reg;
        complete_ = true;
        for (int i = 0; i < kRunFamilyKeys; ++i) {
            tessel::KeyedList<std::wstring> names;
            if (!tessel::Guard(*log_, L"CStartupManager.EnumItems", 4,
                               [&] { names = reg.EnumValues(kStartupKeys[i].hive, kStartupKeys[i].path); }))
                complete_ = false;
            FillItemInfo(names, *list, kStartupKeys[i].hive, kStartupKeys[i].path);
        }
        FillPolicyItemInfo(reg, *list, HKEY_LOCAL_MACHINE);
        FillPolicyItemInfo(reg, *list, HKEY_CURRENT_USER);
        result = std::move(list);
    });
    return result;
}

void CStartupManager::AddRecord(tessel::NodeList& list, const std::wstring& name, const std::wstring& file,
                                const std::wstring& company, HKEY hive, const std::wstring& key,
                                const std::wstring& valueName) {
    const std::wstring icon = IsWindowsStartupItem(file, company) ? L"OK" : L"IE";
    const std::wstring id = tessel::SystemUtility::Instance().NewId();
    tessel::Node& node = list.Add();
    node.Id = id;
    node.params.Add(L"Name", name);
    node.params.Add(L"DLL", file);
    node.params.Add(L"Manufacturer", company);
    node.params.Add(L"Key", HiveNumber(hive));
    node.params.Add(L"Hive", key);
    node.params.Add(L"ValueName", valueName);
    node.params.Add(L"Icon", icon);
}

void CStartupManager::FillItemInfo(const tessel::KeyedList<std::wstring>& names, tessel::NodeList& list, HKEY hive,
                                   const std::wstring& key) {
    const wchar_t* const kSource = L"CStartupManager.FillItemInfo";
    tessel::RegistryAccessor reg;
    for (const std::wstring& valueName : names) {
        // A value of no use is no startup item: noted and skipped. Any other error costs that
        // value alone too, but leaves the listing incomplete.
        const bool ok = tessel::Guard(*log_, kSource, 4, [&] {
            const auto data = ReadUsableText(reg, *log_, kSource, hive, key, valueName);
            if (!data) return;
            const auto resolved = ResolveUsablePath(*checker_, *log_, kSource, hive, key, valueName, *data);
            if (!resolved || resolved->empty()) return;
            const std::wstring& file = *resolved;
            auto strings = tessel::SystemUtility::Instance().VersionStrings(file);
            const std::wstring company = strings.Exists(L"CompanyName") ? strings.Item(L"CompanyName") : L"";
            const std::wstring name = strings.Exists(L"FileDescription") ? strings.Item(L"FileDescription") : valueName;
            AddRecord(list, name, file, company, hive, key, valueName);
        });
        if (!ok) complete_ = false;
    }
}

void CStartupManager::FillPolicyItemInfo(tessel::RegistryAccessor& reg, tessel::NodeList& list, HKEY hive) {
    tessel::KeyedList<std::wstring> names;
    if (!tessel::Guard(*log_, L"CStartupManager.EnumItems", 4,
                       [&] { names = reg.EnumValues(hive, kPoliciesRunKey); })) {
        complete_ = false;
        return;
    }
    const wchar_t* const kSource = L"CStartupManager.FillPolicyItemInfo";
    const std::wstring key = kPoliciesRunKey;
    for (const std::wstring& valueName : names) {
        const bool ok = tessel::Guard(*log_, kSource, 4, [&] {
            const auto usable = ReadUsableText(reg, *log_, kSource, hive, key, valueName);
            if (!usable) return;
            const std::wstring& data = *usable;
            std::wstring name, file, company;
            if (data.empty()) {
                name = app::LoadResString(IDS_DESCRIPTION_PLACEHOLDER);
            } else {
                const auto resolved = ResolveUsablePath(*checker_, *log_, kSource, hive, key, valueName, data);
                if (!resolved) return;
                file = *resolved;
                auto strings = tessel::SystemUtility::Instance().VersionStrings(file);
                if (strings.Exists(L"FileDescription")) name = strings.Item(L"FileDescription");
                else if (strings.Exists(L"ProductName")) name = strings.Item(L"ProductName");
                else name = data;
                if (strings.Exists(L"CompanyName")) company = strings.Item(L"CompanyName");
            }
            AddRecord(list, name, file, company, hive, kPoliciesRunKey, valueName);
        });
        if (!ok) complete_ = false;
    }
}

bool CStartupManager::IsWindowsStartupItem(const std::wstring& file, const std::wstring& company) {
    if (company != L"Microsoft Corporation") return false;
    std::wstring programFiles = tessel::SystemUtility::Instance().ExpandEnvironment(L"%programfiles%");
    if (programFiles.empty() || programFiles.back() != L'\\') programFiles += L'\\';
    const std::wstring sys = tessel::SystemUtility::Lower(SysDir), win = tessel::SystemUtility::Lower(WinDir);
    const std::wstring pf = tessel::SystemUtility::Lower(programFiles);
    std::vector<std::wstring> expected = {sys + L"ctfmon.exe", pf + L"messenger\\msmsgs.exe"};
    if (IsNT()) {
        expected.push_back(sys + L"internat.exe");
    } else {
        expected.insert(expected.end(), {sys + L"powrprof.dll", win + L"scanregw.exe", sys + L"systray.exe",
                                         win + L"taskmon.exe", sys + L"mstask.exe"});
    }
    const std::wstring lower = tessel::SystemUtility::Lower(file);
    for (const auto& path : expected)
        if (lower == path) return true;
    return false;
}

}  // namespace velmora
