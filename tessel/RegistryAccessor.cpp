#include "tessel/RegistryAccessor.h"

#include <cstdio>
#include <cstring>

#include "tessel/Error.h"
#include "tessel/Logger.h"
#include "tessel/SystemUtility.h"
#include "tessel/Unique.h"

namespace tessel {

namespace {

std::wstring Clean(const std::wstring& key) {
    std::wstring k = key;
    while (!k.empty() && k.back() == L'\\') k.pop_back();
    return k;
}

std::wstring Where(HKEY hive, const std::wstring& key) {
    return RegistryAccessor::HiveName(hive) + L"\\" + Clean(key);
}

UniqueKey OpenKey(HKEY hive, const std::wstring& key, REGSAM access) {
    UniqueKey k;
    const LONG rc = ::RegOpenKeyExW(hive, Clean(key).c_str(), 0, access, k.put());
    if (rc == ERROR_FILE_NOT_FOUND) return UniqueKey();
    // A name too long for the registry is quoted cut, so that the line still says why.
    if (rc != ERROR_SUCCESS)
        ThrowSystemError(rc, "RegOpenKeyExW", L"Cannot open the key '" + LogName(Where(hive, key)) + L"'");
    return k;
}

UniqueKey CreateKey(HKEY hive, const std::wstring& key) {
    UniqueKey k;
    const LONG rc = ::RegCreateKeyExW(hive, Clean(key).c_str(), 0, nullptr, 0, KEY_WRITE | KEY_READ,
                                      nullptr, k.put(), nullptr);
    if (rc != ERROR_SUCCESS) ThrowSystemError(rc, "RegCreateKeyExW", L"Cannot create the key '" + Where(hive, key) + L"'");
    return k;
}

std::optional<RegistryValue> QueryValue(HKEY key, const std::wstring& name, const std::wstring& where) {
    RegistryValue v;
    DWORD size = 256;
    for (;;) {
        v.data.resize(size);
        DWORD got = size;
        const LONG rc = ::RegQueryValueExW(key, name.c_str(), nullptr, &v.type, v.data.data(), &got);
        if (rc == ERROR_FILE_NOT_FOUND) return std::nullopt;
        if (rc == ERROR_MORE_DATA) {
            size = got > size ? got : size * 2;
            continue;
        }
        if (rc != ERROR_SUCCESS)
            ThrowSystemError(rc, "RegQueryValueExW",
                             L"Cannot read the value '" + LogName(name) + L"' of '" + LogName(where) + L"'");
        v.data.resize(got);
        return v;
    }
}

std::wstring TextOf(const RegistryValue& v) {
    const std::size_t chars = v.data.size() / 2;
    std::wstring s(chars, L'\0');
    if (chars) std::memcpy(s.data(), v.data.data(), chars * 2);
    const std::size_t nul = s.find(L'\0');
    if (nul != std::wstring::npos) s.resize(nul);
    return s;
}

template <class Enum>
KeyedList<std::wstring> EnumNames(HKEY hive, const std::wstring& key, Enum enumOne) {
    KeyedList<std::wstring> names;
    UniqueKey k = OpenKey(hive, key, KEY_READ);
    if (!k) return names;
    std::vector<wchar_t> buf(16384);
    for (DWORD i = 0;; ++i) {
        DWORD len = static_cast<DWORD>(buf.size());
        const LONG rc = enumOne(k.get(), i, buf.data(), &len);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc != ERROR_SUCCESS) ThrowSystemError(rc, "RegEnum", L"Cannot list '" + Where(hive, key) + L"'");
        std::wstring name(buf.data(), len);
        if (!names.Exists(name)) names.Add(name, name);
    }
    return names;
}

bool DeleteTree(HKEY parent, const std::wstring& sub) {
    {
        UniqueKey k;
        LONG rc = ::RegOpenKeyExW(parent, sub.c_str(), 0, KEY_READ | KEY_WRITE, k.put());
        if (rc != ERROR_SUCCESS) return false;
        std::vector<wchar_t> buf(512);
        for (;;) {
            DWORD len = static_cast<DWORD>(buf.size());
            rc = ::RegEnumKeyExW(k.get(), 0, buf.data(), &len, nullptr, nullptr, nullptr, nullptr);
            if (rc != ERROR_SUCCESS) break;
            if (!DeleteTree(k.get(), std::wstring(buf.data(), len))) return false;
        }
    }
    return ::RegDeleteKeyW(parent, sub.c_str()) == ERROR_SUCCESS;
}

bool IsPlainText(const RegistryValue& v) {
    // Only text that reads back identically goes between quotation marks: one terminating
    // NUL at the end and no line breaks or NULs inside.
    if (v.data.size() % 2) return false;
    if (v.data.empty()) return true;
    const std::size_t chars = v.data.size() / 2;
    for (std::size_t i = 0; i < chars; ++i) {
        wchar_t c;
        std::memcpy(&c, &v.data[i * 2], 2);
        if (c == 0) return i == chars - 1;
        if (c == L'\r' || c == L'\n') return false;
    }
    return false;  // no terminator
}

std::wstring Quoted(const std::wstring& s) {
    std::wstring out = L"\"";
    for (wchar_t c : s) {
        if (c == L'\\' || c == L'"') out += L'\\';
        out += c;
    }
    return out + L"\"";
}

std::wstring LeftOutValue(const std::wstring& where, const std::wstring& valueName) {
    return L"the value '" + valueName + L"' of '" + where + L"'";
}

void ExportTree(HKEY hive, const std::wstring& path, HKEY key, ExportForm form, std::wstring& out,
                std::vector<std::wstring>* leftOut) {
    const std::wstring where = RegistryAccessor::HiveName(hive) + L"\\" + path;
    // Each section starts with a blank line, so that an export can follow the header line
    // or another export directly and still read as the registry editor writes it.
    out += L"\r\n[" + where + L"]\r\n";
    std::vector<wchar_t> name(16384);
    for (DWORD i = 0;; ++i) {
        DWORD len = static_cast<DWORD>(name.size());
        const LONG rc = ::RegEnumValueW(key, i, name.data(), &len, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc != ERROR_SUCCESS) ThrowSystemError(rc, "RegEnumValueW", L"Cannot list the values of '" + path + L"'");
        const std::wstring valueName(name.data(), len);
        if (!RegistryAccessor::CanCarryName(valueName, form)) {
            if (leftOut) leftOut->push_back(LeftOutValue(where, valueName));
            continue;
        }
        auto value = QueryValue(key, valueName, path);
        if (value) out += RegistryAccessor::ExportLine(valueName, *value, form) + L"\r\n";
    }
    for (DWORD i = 0;; ++i) {
        DWORD len = static_cast<DWORD>(name.size());
        const LONG rc = ::RegEnumKeyExW(key, i, name.data(), &len, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc != ERROR_SUCCESS) ThrowSystemError(rc, "RegEnumKeyExW", L"Cannot list the subkeys of '" + path + L"'");
        const std::wstring sub(name.data(), len);
        if (!RegistryAccessor::CanCarryName(sub, form)) {
            // Opened by its name, a name holding a NUL would even open another key.
            if (leftOut) leftOut->push_back(L"the key '" + where + L"\\" + sub + L"'");
            continue;
        }
        UniqueKey child;
        if (::RegOpenKeyExW(key, sub.c_str(), 0, KEY_READ, child.put()) == ERROR_SUCCESS)
            ExportTree(hive, path + L"\\" + sub, child.get(), form, out, leftOut);
    }
}

}  // namespace

std::wstring RegistryAccessor::HiveName(HKEY hive) {
    if (hive == HKEY_CLASSES_ROOT) return L"HKEY_CLASSES_ROOT";
    if (hive == HKEY_CURRENT_USER) return L"HKEY_CURRENT_USER";
    if (hive == HKEY_LOCAL_MACHINE) return L"HKEY_LOCAL_MACHINE";
    if (hive == HKEY_USERS) return L"HKEY_USERS";
    if (hive == HKEY_CURRENT_CONFIG) return L"HKEY_CURRENT_CONFIG";
    return L"";
}

std::optional<RegistryValue> RegistryAccessor::ReadValue(HKEY hive, const std::wstring& key,
                                                         const std::wstring& valueName) {
    UniqueKey k = OpenKey(hive, key, KEY_QUERY_VALUE);
    if (!k) return std::nullopt;
    return QueryValue(k.get(), valueName, Where(hive, key));
}

namespace {
[[noreturn]] void RaiseUnusable(HKEY hive, const std::wstring& key, const std::wstring& valueName,
                                const RegistryValue& v, const wchar_t* wanted) {
    throw UnusableValue(kTypeMismatch,
                        L"The value '" + LogName(valueName) + L"' of '" + LogName(Where(hive, key)) + L"' is not " +
                            wanted + L" (type " + std::to_wstring(v.type) + L", " + std::to_wstring(v.data.size()) +
                            L" bytes).",
                        "RegQueryValueExW");
}
}  // namespace

std::wstring RegistryAccessor::ReadString(HKEY hive, const std::wstring& key, const std::wstring& valueName) {
    auto v = ReadValue(hive, key, valueName);
    if (!v) return L"";
    switch (v->type) {
        case REG_SZ:
        case REG_EXPAND_SZ:
        case REG_MULTI_SZ:  // its first string
            return TextOf(*v);
        case REG_DWORD:
            if (v->data.size() == 4) {
                DWORD d;
                std::memcpy(&d, v->data.data(), 4);
                return std::to_wstring(d);
            }
            break;
        default:
            break;
    }
    RaiseUnusable(hive, key, valueName, *v, L"text");
}

DWORD RegistryAccessor::ReadDWord(HKEY hive, const std::wstring& key, const std::wstring& valueName) {
    auto v = ReadValue(hive, key, valueName);
    if (!v) return 0;
    if ((v->type == REG_DWORD || v->type == REG_BINARY) && v->data.size() == 4) {
        DWORD d;
        std::memcpy(&d, v->data.data(), 4);
        return d;
    }
    RaiseUnusable(hive, key, valueName, *v, L"a number");
}

void RegistryAccessor::WriteValue(HKEY hive, const std::wstring& key, const std::wstring& valueName,
                                  const RegistryValue& value) {
    UniqueKey k = CreateKey(hive, key);
    const LONG rc = ::RegSetValueExW(k.get(), valueName.c_str(), 0, value.type, value.data.data(),
                                     static_cast<DWORD>(value.data.size()));
    if (rc != ERROR_SUCCESS)
        ThrowSystemError(rc, "RegSetValueExW", L"Cannot write the value '" + valueName + L"' of '" + Where(hive, key) + L"'");
}

void RegistryAccessor::WriteString(HKEY hive, const std::wstring& key, const std::wstring& valueName,
                                   const std::wstring& value) {
    RegistryValue v{REG_SZ, {}};
    v.data.resize((value.size() + 1) * 2, 0);
    if (!value.empty()) std::memcpy(v.data.data(), value.data(), value.size() * 2);
    WriteValue(hive, key, valueName, v);
}

void RegistryAccessor::WriteDWord(HKEY hive, const std::wstring& key, const std::wstring& valueName, DWORD value) {
    RegistryValue v{REG_DWORD, std::vector<std::uint8_t>(4)};
    std::memcpy(v.data.data(), &value, 4);
    WriteValue(hive, key, valueName, v);
}

void RegistryAccessor::DeleteValue(HKEY hive, const std::wstring& key, const std::wstring& valueName) {
    UniqueKey k = OpenKey(hive, key, KEY_SET_VALUE);
    if (!k) return;
    const LONG rc = ::RegDeleteValueW(k.get(), valueName.c_str());
    if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
        ThrowSystemError(rc, "RegDeleteValueW", L"Cannot delete the value '" + valueName + L"' of '" + Where(hive, key) + L"'");
}

KeyedList<std::wstring> RegistryAccessor::EnumKeys(HKEY hive, const std::wstring& key) {
    return EnumNames(hive, key, [](HKEY k, DWORD i, wchar_t* buf, DWORD* len) {
        return ::RegEnumKeyExW(k, i, buf, len, nullptr, nullptr, nullptr, nullptr);
    });
}

KeyedList<std::wstring> RegistryAccessor::EnumValues(HKEY hive, const std::wstring& key) {
    return EnumNames(hive, key, [](HKEY k, DWORD i, wchar_t* buf, DWORD* len) {
        return ::RegEnumValueW(k, i, buf, len, nullptr, nullptr, nullptr, nullptr);
    });
}

bool RegistryAccessor::DeleteKey(HKEY hive, const std::wstring& key) {
    const std::wstring k = Clean(key);
    if (k.empty()) return false;  // never a whole hive
    return DeleteTree(hive, k);
}

bool RegistryAccessor::KeyExists(HKEY hive, const std::wstring& key) {
    return static_cast<bool>(OpenKey(hive, key, KEY_QUERY_VALUE));
}

std::wstring RegistryAccessor::ExportLine(const std::wstring& valueName, const RegistryValue& value, ExportForm form) {
    std::wstring line = valueName.empty() ? L"@=" : Quoted(valueName) + L"=";
    if (value.type == REG_SZ && IsPlainText(value)) return line + Quoted(TextOf(value));
    if (value.type == REG_DWORD && value.data.size() == 4) {
        DWORD d;
        std::memcpy(&d, value.data.data(), 4);
        wchar_t buf[16];
        std::swprintf(buf, 16, L"%08lx", static_cast<unsigned long>(d));
        return line + L"dword:" + buf;
    }
    if (value.type == REG_BINARY) {
        line += L"hex:";
    } else {
        wchar_t buf[16];
        std::swprintf(buf, 16, L"hex(%lx):", static_cast<unsigned long>(value.type));
        line += buf;
    }
    std::vector<std::uint8_t> bytes = value.data;
    const bool text = value.type == REG_SZ || value.type == REG_EXPAND_SZ || value.type == REG_MULTI_SZ;
    if (form == ExportForm::Ansi && text && bytes.size() % 2 == 0) {
        // The 9x registry editor stores these bytes as they stand: UTF-16 would come back as
        // text cut short at its first NUL.
        std::wstring wide(bytes.size() / 2, L'\0');
        if (!wide.empty()) std::memcpy(wide.data(), bytes.data(), bytes.size());
        const std::string ansi = SystemUtility::ToAnsi(wide);
        bytes.assign(ansi.begin(), ansi.end());
    }
    // The registry editor's wrapping: a byte adds "xx,"; once a line reaches 77 characters
    // it ends in a backslash and the next one starts with two blanks.
    std::size_t lineLen = line.size();
    std::wstring out = line;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        wchar_t hex[4];
        std::swprintf(hex, 4, L"%02x", bytes[i]);
        out += hex;
        if (i + 1 == bytes.size()) break;
        out += L',';
        lineLen += 3;
        if (lineLen >= 77) {
            out += L"\\\r\n  ";
            lineLen = 2;
        }
    }
    return out;
}

bool RegistryAccessor::CanCarryName(const std::wstring& name, ExportForm form) {
    if (name.find_first_of(std::wstring_view(L"\r\n\0", 3)) != std::wstring::npos) return false;
    return form == ExportForm::Unicode || SystemUtility::FromAnsi(SystemUtility::ToAnsi(name)) == name;
}

std::wstring RegistryAccessor::ExportKey(HKEY hive, const std::wstring& key, ExportForm form,
                                         std::vector<std::wstring>* leftOut) {
    UniqueKey k = OpenKey(hive, key, KEY_READ);
    if (!k) return L"";
    std::wstring out;
    ExportTree(hive, Clean(key), k.get(), form, out, leftOut);
    return out;
}

std::wstring RegistryAccessor::ExportValue(HKEY hive, const std::wstring& key, const std::wstring& valueName,
                                           ExportForm form, std::vector<std::wstring>* leftOut) {
    if (!CanCarryName(valueName, form)) {
        if (leftOut) leftOut->push_back(LeftOutValue(Where(hive, key), valueName));
        return L"";
    }
    auto v = ReadValue(hive, key, valueName);
    if (!v) return L"";
    return L"\r\n[" + Where(hive, key) + L"]\r\n" + ExportLine(valueName, *v, form) + L"\r\n";
}

}  // namespace tessel
