#include "support/Gathering.h"

#include <windows.h>

#include "detection/RoDoraziva.h"
#include "inspection/MAPI.h"
#include "support/Inventory.h"
#include "tessel/Error.h"
#include "tessel/FileAccessor.h"
#include "tessel/RegistryAccessor.h"
#include "tessel/SystemUtility.h"

namespace velmora {

namespace {

const wchar_t kZoneMapKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\ZoneMap";
const wchar_t kSiblingKey[] = L"SOFTWARE\\Ardentis Software\\Orvantis";

std::wstring Encode(const std::string& bytes) { return tessel::SystemUtility::Instance().EncodeString(bytes); }

// A file whose content is no more than data of the report: one that cannot be read (locked,
// denied) goes out as empty and the failure is left in "unread" for the log, so that the user
// can still ask for help.
std::string ReadForReport(const std::wstring& path, tessel::PendingError& unread) {
    std::string text;
    unread.Run([&] { text = tessel::FileAccessor::Instance().ReadFile(path); });
    return text;
}

// The sibling product's log, when it is installed and has one.
std::string SiblingLog(tessel::RegistryAccessor& reg, tessel::PendingError& unread) {
    std::wstring folder = reg.ReadString(HKEY_LOCAL_MACHINE, kSiblingKey, L"InstallPath");
    if (folder.empty()) return {};
    if (folder.back() != L'\\') folder += L'\\';
    std::string text = ReadForReport(folder + L"ORVT.log", unread);
    if (text.empty()) text = ReadForReport(folder + L"ORV.log", unread);
    return text;
}

}  // namespace

tessel::NodeParams GatherSupportReport(const SupportReportInputs& in, tessel::Logger& log) {
    auto& util = tessel::SystemUtility::Instance();
    tessel::NodeParams items;
    items.Add(L"name", in.name);
    items.Add(L"email", in.email);
    items.Add(L"answer", in.answer);
    tessel::RegistryAccessor reg;
    const std::wstring ie = reg.ReadString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Internet Explorer", L"Version");
    long major = 0, minor = 0, build = 0, platform = 0;
    std::wstring servicePack;
    items.Add(L"WindowsVersion", util.GetWindowsVersion(major, minor, build, platform, servicePack));
    items.Add(L"IEVersion", ie);
    in.yield();

    {
        CRoDoraziva detector;
        detector.Init(log);
        items.Add(L"SuspiciousFiles", Encode(detector.MakeSuspiciousFilesXML()));
    }
    in.yield();

    const tessel::ExportForm form = IsNT() ? tessel::ExportForm::Unicode : tessel::ExportForm::Ansi;
    // The user's map is read first, so that when both reads fail the user's error is the one told.
    const std::wstring userMap = reg.ExportKey(HKEY_CURRENT_USER, kZoneMapKey, form);
    const std::wstring zoneMap = userMap + reg.ExportKey(HKEY_LOCAL_MACHINE, kZoneMapKey, form);
    items.Add(L"ZoneMap", Encode(in.registryImage(zoneMap)));
    in.yield();

    tessel::PendingError unread;
    items.Add(L"Hosts", Encode(ReadForReport(GetHostsFilePath(), unread)));
    items.Add(L"Log", Encode(ReadForReport(in.logFile, unread)));
    const std::string sibling = SiblingLog(reg, unread);
    if (!sibling.empty()) items.Add(L"ORVTLog", Encode(sibling));
    in.yield();

    std::string filesXml;
    const std::string processes = MakeProcessesXML(filesXml, log);
    items.Add(L"Processes", Encode(processes));
    items.Add(L"ProcessFileInfo", Encode(filesXml));
    // What could not be read is told once; the request goes out all the same.
    unread.LogAndClear(log, 4, in.unreadSource);
    return items;
}

}  // namespace velmora
