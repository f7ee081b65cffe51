// Registry access of the support library. An empty value name is the key's default value.
#pragma once
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tessel/KeyedList.h"

namespace tessel {

struct RegistryValue {
    DWORD type = REG_NONE;
    std::vector<std::uint8_t> data;
};

// How an export holds text: the NT family's registry editor reads text data as UTF-16, the 9x
// family's (a "REGEDIT4" script) in the ANSI code page.
enum class ExportForm { Unicode, Ansi };

class RegistryAccessor {
public:
    // Text of a value, up to its first NUL and unexpanded; empty when the key or value is
    // absent. A REG_DWORD reads as its decimal text; data that is no text raises UnusableValue.
    std::wstring ReadString(HKEY hive, const std::wstring& key, const std::wstring& valueName);
    // 0 when absent; raises UnusableValue for a value that is not four bytes of number.
    DWORD ReadDWord(HKEY hive, const std::wstring& key, const std::wstring& valueName);
    // The value exactly as stored, or nothing when absent.
    std::optional<RegistryValue> ReadValue(HKEY hive, const std::wstring& key,
                                           const std::wstring& valueName);

    // Create the key when needed. WriteString stores every character given, embedded NULs
    // included, followed by one terminating NUL.
    void WriteString(HKEY hive, const std::wstring& key, const std::wstring& valueName,
                     const std::wstring& value);
    void WriteDWord(HKEY hive, const std::wstring& key, const std::wstring& valueName, DWORD value);
    void WriteValue(HKEY hive, const std::wstring& key, const std::wstring& valueName,
                    const RegistryValue& value);

    void DeleteValue(HKEY hive, const std::wstring& key, const std::wstring& valueName);
    // Names, keyed by themselves; empty for an absent key.
    KeyedList<std::wstring> EnumKeys(HKEY hive, const std::wstring& key);
    KeyedList<std::wstring> EnumValues(HKEY hive, const std::wstring& key);
    // Removes the key with all its subkeys; True when it was deleted.
    bool DeleteKey(HKEY hive, const std::wstring& key);
    bool KeyExists(HKEY hive, const std::wstring& key);

    // Registry-editor text (without the header line) of the key's tree, or of one value
    // under its key line; empty for an absent key or value. A value or key whose name the
    // registry editor cannot read back (CanCarryName) is left out, its subkeys with it, and
    // named in `leftOut` when given: written, it would end its line and could make the import
    // write or skip other keys and values.
    std::wstring ExportKey(HKEY hive, const std::wstring& key, ExportForm form = ExportForm::Unicode,
                           std::vector<std::wstring>* leftOut = nullptr);
    std::wstring ExportValue(HKEY hive, const std::wstring& key, const std::wstring& valueName,
                             ExportForm form = ExportForm::Unicode, std::vector<std::wstring>* leftOut = nullptr);
    // False for a name that a registry script cannot hold: a line break or a NUL (the editor's
    // reader ends the line, or the whole import, there), or in the ANSI form a character that
    // the ANSI code page cannot hold (it would come back as another name).
    static bool CanCarryName(const std::wstring& name, ExportForm form);
    static std::wstring HiveName(HKEY hive);

    // One "name"=data line (wrapped as the registry editor wraps hex data), without newline.
    // In the Ansi form, text data written as hex (expandable, multi-string, text with line
    // breaks) holds ANSI bytes.
    static std::wstring ExportLine(const std::wstring& valueName, const RegistryValue& value,
                                   ExportForm form = ExportForm::Unicode);
};

}  // namespace tessel
