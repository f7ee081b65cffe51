#include "ui/SettingsBackup.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "inspection/BackupState.h"
#include "inspection/MAPI.h"
#include "tessel/Api.h"
#include "tessel/FileAccessor.h"
#include "tessel/RegistryAccessor.h"
#include "tessel/SystemUtility.h"

namespace velmora::ui {

namespace {

struct Export {
    HKEY hive;
    const wchar_t* key;
    const wchar_t* value;  // nullptr: the whole key
};

const Export kExports[] = {
    {HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects", nullptr},
    {HKEY_CURRENT_USER, L"Software\\Policies\\Microsoft\\Internet Explorer\\Control Panel", nullptr},
    {HKEY_CURRENT_USER, L"Software\\Microsoft\\Internet Explorer\\Main", nullptr},
    {HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Internet Explorer\\Main", nullptr},
    {HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Internet Explorer\\AboutURLs", nullptr},
    {HKEY_CURRENT_USER, L"Software\\Microsoft\\Internet Explorer\\Styles", nullptr},
    {HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\URL", nullptr},
    {HKEY_CLASSES_ROOT, L"PROTOCOLS\\Handler\\About", nullptr},
    {HKEY_CLASSES_ROOT, L"PROTOCOLS\\Handler\\file", nullptr},
    {HKEY_CLASSES_ROOT, L"PROTOCOLS\\Handler\\ftp", nullptr},
    {HKEY_CLASSES_ROOT, L"PROTOCOLS\\Handler\\gopher", nullptr},
    {HKEY_CLASSES_ROOT, L"PROTOCOLS\\Handler\\http", nullptr},
    {HKEY_CLASSES_ROOT, L"PROTOCOLS\\Handler\\https", nullptr},
    {HKEY_CLASSES_ROOT, L"PROTOCOLS\\Handler\\local", nullptr},
    {HKEY_CLASSES_ROOT, L"PROTOCOLS\\Filter\\text/html", nullptr},
    {HKEY_CLASSES_ROOT, L"PROTOCOLS\\Filter\\text/plain", nullptr},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Windows", L"AppInit_DLLs"},
};

}  // namespace

std::string RegistryImage(const std::wstring& exportText) {
    if (IsNT()) {
        const std::wstring text = L"Windows Registry Editor Version 5.00\r\n" + exportText;
        std::string bytes("\xFF\xFE", 2);
        bytes.resize(2 + text.size() * 2);
        std::memcpy(&bytes[2], text.data(), text.size() * 2);
        return bytes;
    }
    return "REGEDIT4\r\n" + tessel::SystemUtility::ToAnsi(exportText);
}

std::wstring BackupFileName(const std::wstring& backupFolder, const SYSTEMTIME& when) {
    wchar_t date[64] = L"", time[32] = L"";
    ::GetDateFormatW(LOCALE_USER_DEFAULT, 0, &when, L"MMM dd, yyyy", date, 64);
    ::GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &when, L"HH'-'mm'-'ss", time, 32);
    return tessel::Format(L"%1\\Backup %2.reg", backupFolder, std::wstring(date) + L" " + time);
}

std::wstring BackupRegistry(tessel::Logger& log, const std::wstring& programFolder, std::wstring* failure) {
    const wchar_t kSource[] = L"FMain.BackupRegistry";
    std::wstring file;
    std::vector<std::wstring> leftOut;
    tessel::PendingError error;
    error.Run([&] {
        const std::wstring folder = programFolder + L"\\Backup";
        tessel::FileAccessor::Instance().CreateFolder(folder);
        tessel::RegistryAccessor reg;
        const tessel::ExportForm form = IsNT() ? tessel::ExportForm::Unicode : tessel::ExportForm::Ansi;
        std::wstring body;
        for (const Export& e : kExports)
            body += e.value ? reg.ExportValue(e.hive, e.key, e.value, form, &leftOut)
                            : reg.ExportKey(e.hive, e.key, form, &leftOut);
        SYSTEMTIME now;
        tessel::api::kernel32().GetLocalTime(&now);
        const std::wstring name = BackupFileName(folder, now);
        try {
            tessel::FileAccessor::Instance().WriteFile(name, RegistryImage(body));
        } catch (...) {
            // A file cut short (the disk full) would pass for the backup it is not.
            ::DeleteFileW(tessel::FileAccessor::ExtendedPath(name).c_str());
            throw;
        }
        file = name;
    });
    if (file.empty()) {
        RecordBackupFailed(error.Description());
    } else {
        RecordBackupWritten(file);
        // What the file could not carry is named once, so that the user knows what it lacks.
        for (const std::wstring& item : leftOut)
            log.Log(0, L"Left out of the backup, its name cannot be written in a registry file: " + item, 4, kSource);
    }
    if (failure) *failure = error.Description();
    error.LogAndClear(log, 4, kSource);
    return file;
}

}  // namespace velmora::ui
