#include "support/Inventory.h"

#include "detection/RoDoraziva.h"
#include "inspection/EnumProcesses.h"
#include "inspection/FileChecker.h"
#include "inspection/FileInfoManager.h"
#include "inspection/Globals.h"
#include "inspection/MAPI.h"
#include "inspection/SystemWhitelists.h"
#include "tessel/Error.h"
#include "tessel/KeyedList.h"
#include "tessel/SystemUtility.h"
#include "tessel/Text.h"

namespace velmora {

namespace {

constexpr wchar_t kDeclaration[] = L"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>";

// The 9x documents travel as text of one byte per character. Every character above the ASCII
// range has become a numeric reference in escaping, so nothing is lost; a document that
// still held one would be cut, and is refused instead.
std::string AsciiDocument(const std::wstring& text) {
    auto bytes = tessel::text::ToSingleBytes(text, 0x7F);
    if (!bytes)
        throw tessel::Error(tessel::kTypeMismatch, L"The inventory holds a character that its 9x form cannot carry.");
    return std::move(*bytes);
}

}  // namespace

std::string Utf16Document(const std::wstring& text) { return "\xFF\xFE" + tessel::text::ToUtf16Le(text); }

namespace {
std::string Deliver(const std::wstring& document) {
    return RunningOnNT ? Utf16Document(document) : AsciiDocument(document);
}
}  // namespace

std::string MakeProcessesXML(std::string& FilesXML, tessel::Logger& Log, const ProcessLister& lister) {
    auto& su = tessel::SystemUtility::Instance();
    tessel::KeyedList<std::wstring> files;
    const bool nt = IsNT();
    const tessel::NodeList processes = lister ? lister(nt) : (nt ? EnumProcessesNT() : EnumProcesses9x());
    const auto isSystemProcess = nt ? IsSystemProcessNT : IsSystemProcess9x;
    const auto isSystemModule = nt ? IsSystemModuleNT : IsSystemModule9x;

    std::wstring processesXml = RunningOnNT ? L"<Ps>" : std::wstring(kDeclaration) + L"<Ps>";
    CFileChecker checker;
    checker.Init(Log);
    CRoDoraziva detector;
    detector.Init(Log, nullptr);

    for (const tessel::Node& process : processes) {
        const std::wstring processPath = checker.GetFullFileNameFromShortFilename(process.Id);
        bool skip = isSystemProcess(processPath);
        if (!skip) skip = detector.IsGoodRunningModule(processPath);
        bool open = false;
        auto openProcess = [&] {
            tessel::AddUnique(files, processPath);
            processesXml += tessel::Format(L"<P f='%1'>", su.XmlEscape(process.Id));
            open = true;
        };
        if (!skip) openProcess();
        for (const tessel::Node& module : process.Nodes) {
            su.PumpMessages();
            const std::wstring modulePath = checker.GetFullFileNameFromShortFilename(module.Id);
            bool moduleSkip = isSystemModule(modulePath);
            if (!moduleSkip) moduleSkip = detector.IsGoodRunningModule(modulePath);
            if (moduleSkip) continue;
            if (!open) openProcess();
            tessel::AddUnique(files, modulePath);
            processesXml += tessel::Format(L"<M f='%1'/>", su.XmlEscape(modulePath));
        }
        if (open) processesXml += L"</P>";
    }
    processesXml += L"</Ps>";

    std::wstring filesXml = RunningOnNT ? L"<Files>" : std::wstring(kDeclaration) + L"<Files>";
    FilesXML = Deliver(filesXml);
    CFileInfoManager info;
    info.Init(Log);
    for (const std::wstring& file : files) {
        std::wstring company, description;
        info.GetFileInfo(file, &company, &description);
        filesXml += tessel::Format(L"<f i='%1'>", su.XmlEscape(file));
        if (!company.empty()) {
            filesXml += tessel::Format(L"<d i='%1'/>", su.XmlEscape(description));
            filesXml += tessel::Format(L"<m i='%1'/>", su.XmlEscape(company));
        } else {
            std::int32_t size = 0;
            const std::int32_t checksum = Hashier().HashFromFullFileName(file, size);
            filesXml += tessel::Format(L"<c s='%1' h='%2'/>", size, checksum);
        }
        filesXml += L"</f>";
    }
    filesXml += L"</Files>";

    FilesXML = Deliver(filesXml);
    return Deliver(processesXml);
}

}  // namespace velmora
