#include "detection/StartupManager.h"

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
    tessel::Guard(*log_, L"CStartupManager.RemoveItemInfo", 4, [&] {
        tessel::RegistryAccessor reg;
        const std::wstring wanted = tessel::SystemUtility::Lower(file);
        for (const std::wstring& valueName : names) {
            const std::wstring data = reg.ReadString(hive, key, valueName);
            if (tessel::SystemUtility::Lower(checker_->ResolveRegisteredPath(data)) != wanted) continue;
            reg.DeleteValue(hive, key, valueName);
            log_->Log(0, tessel::Format(L"Deleted: '%1\\%2', '%3', '%4'", tessel::RegistryAccessor::HiveName(hive), key,
                                        valueName, data),
                      5, L"CStartupManager.RemoveItemInfo");
        }
    });
}

void CStartupManager::RemovePolicyInfo(tessel::RegistryAccessor& reg, HKEY hive, const std::wstring& file) {
    tessel::Guard(*log_, L"CStartupManager.RemovePolicyInfo", 4, [&] {
        const std::wstring wanted = tessel::SystemUtility::Lower(file);
        const auto names = reg.EnumValues(hive, kPoliciesRunKey);
        for (const std::wstring& valueName : names) {
            const std::wstring data = reg.ReadString(hive, kPoliciesRunKey, valueName);
            if (data.empty()) continue;
            if (tessel::SystemUtility::Lower(checker_->ResolveRegisteredPath(data)) != wanted) continue;
            reg.DeleteValue(hive, kPoliciesRunKey, valueName);
            log_->Log(0, tessel::Format(L"Deleted: '%1\\%2', '%3', '%4'", tessel::RegistryAccessor::HiveName(hive),
                                        kPoliciesRunKey, valueName, data),
                      5, L"CStartupManager.RemovePolicyInfo");
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
    tessel::RegistryAccessor reg;
    for (const std::wstring& valueName : names) {
        // One value that cannot be read costs that value alone, never the rest of the listing.
        const bool ok = tessel::Guard(*log_, L"CStartupManager.FillItemInfo", 4, [&] {
            const std::wstring data = reg.ReadString(hive, key, valueName);
            const std::wstring file = checker_->ResolveRegisteredPath(data);
            if (file.empty()) return;
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
    for (const std::wstring& valueName : names) {
        const bool ok = tessel::Guard(*log_, L"CStartupManager.FillPolicyItemInfo", 4, [&] {
            const std::wstring data = reg.ReadString(hive, kPoliciesRunKey, valueName);
            std::wstring name, file, company;
            if (data.empty()) {
                name = app::LoadResString(IDS_DESCRIPTION_PLACEHOLDER);
            } else {
                file = checker_->ResolveRegisteredPath(data);
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
