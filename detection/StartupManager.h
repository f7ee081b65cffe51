// The programs Windows starts by itself: the Run family of keys and the policies Run keys.
#pragma once
#include <windows.h>

#include <memory>
#include <string>

#include "tessel/KeyedList.h"
#include "tessel/Logger.h"
#include "tessel/Node.h"
#include "tessel/RegistryAccessor.h"

namespace velmora {

class CFileChecker;

struct StartupKey {
    HKEY hive;
    const wchar_t* path;
};
// The keys in the order in which both operations visit them; the last two are the policies keys.
extern const StartupKey kStartupKeys[11];
inline constexpr wchar_t kPoliciesRunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\policies\\Explorer\\Run";

// A StartupNode is a Node with a new unique Id and the params "Name", "DLL", "Manufacturer",
// "Key" (the hive as a signed 32-bit number in decimal), "Hive" (the key path), "ValueName"
// and "Icon" ("OK" for Windows' own startup programs, else "IE"), in this order.
class CStartupManager {
public:
    CStartupManager();
    ~CStartupManager();

    void Init(tessel::Logger& Log);
    // Deletes every startup value whose command line resolves to StartupFile.
    void RemoveStartup(const std::wstring& StartupFile);
    // No list when the listing fails. A value whose record cannot be filled is logged and
    // left out; the others are still listed. A value of no use (not text, text that expands
    // past the limit) is no startup item: it is noted and skipped, and the listing stays whole.
    std::unique_ptr<tessel::NodeList> EnumItems();
    // False when the last listing failed, a key could not be read, or a value was left out by
    // an error.
    bool Complete() const { return complete_; }

private:
    void RemoveItemInfo(const tessel::KeyedList<std::wstring>& names, HKEY hive, const std::wstring& key,
                        const std::wstring& file);
    void RemovePolicyInfo(tessel::RegistryAccessor& reg, HKEY hive, const std::wstring& file);
    void FillItemInfo(const tessel::KeyedList<std::wstring>& names, tessel::NodeList& list, HKEY hive,
                      const std::wstring& key);
    void FillPolicyItemInfo(tessel::RegistryAccessor& reg, tessel::NodeList& list, HKEY hive);
    bool IsWindowsStartupItem(const std::wstring& file, const std::wstring& company);
    void AddRecord(tessel::NodeList& list, const std::wstring& name, const std::wstring& file,
                   const std::wstring& company, HKEY hive, const std::wstring& key, const std::wstring& valueName);

    tessel::Logger* log_ = nullptr;
    std::unique_ptr<CFileChecker> checker_;
    bool complete_ = true;
};

}  // namespace velmora
