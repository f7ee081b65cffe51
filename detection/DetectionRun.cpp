// The detection run and the suspicious-files report.
#include <cstring>

#include "detection/BHOManager.h"
#include "detection/DetectionSource.h"
#include "detection/RoDoraziva.h"
#include "detection/StartupManager.h"
#include "inspection/FileInfoManager.h"
#include "inspection/Globals.h"
#include "inspection/ProcessManager.h"
#include "tessel/Error.h"
#include "tessel/SystemUtility.h"

namespace velmora {

namespace {

class LiveSource : public DetectionSource {
public:
    explicit LiveSource(tessel::Logger& log) : log_(log) {
        processes_.Init(log);
        bhos_.Init(log);
        startup_.Init(log);
    }
    std::unique_ptr<tessel::NodeList> BHOs() override {
        auto list = bhos_.EnumBHOs();
        if (!bhos_.Complete()) complete_ = false;
        return list;
    }
    std::unique_ptr<tessel::NodeList> StartupItems() override {
        auto list = startup_.EnumItems();
        if (!startup_.Complete()) complete_ = false;
        return list;
    }
    tessel::NodeList Processes() override {
        // An empty list that could not be taken is no machine without processes: the parasite
        // most likely to hide is a running one.
        tessel::NodeList list = processes_.EnumProcs();
        if (!processes_.ProcessListTaken()) {
            complete_ = false;
            log_.Log(0, L"The list of running processes could not be taken.", 0, L"CProcessManager.EnumProcs");
        }
        return list;
    }
    bool Complete() const override { return complete_; }

private:
    tessel::Logger& log_;
    CProcessManager processes_;
    CBHOManager bhos_;
    CStartupManager startup_;
    bool complete_ = true;
};

std::wstring Param(const tessel::Node& node, const wchar_t* name) {
    return node.params.Exists(name) ? node.params.Item(name).Value() : std::wstring();
}

[[noreturn]] void ListingFailed(const wchar_t* what) {
    throw tessel::Error(tessel::kObjectError + 1, std::wstring(L"The list of ") + what + L" could not be read.");
}

}  // namespace

std::unique_ptr<DetectionSource> MakeLiveDetectionSource(tessel::Logger& log) {
    return std::make_unique<LiveSource>(log);
}

bool CRoDoraziva::DetectParasites(tessel::KeyedList<std::wstring>& DetectedFiles,
                                  tessel::KeyedList<std::wstring>& DetectedBHOs, DetectionSource* source) {
    DetectedFiles = tessel::KeyedList<std::wstring>();
    DetectedBHOs = tessel::KeyedList<std::wstring>();
    const wchar_t* const kSource = L"CRoDoraziva.DetectParasites";
    std::unique_ptr<DetectionSource> live;
    const bool completed = tessel::Guard(*Log_, kSource, 0, [&] {
        if (!source) {
            live = MakeLiveDetectionSource(*Log_);
            source = live.get();
        }
        // Browser Helper Objects: a registration without a server file goes; so does the
        // file and registration of a parasite.
        auto bhos = source->BHOs();
        if (!bhos) ListingFailed(L"Browser Helper Objects");
        for (const tessel::Node& bho : *bhos) {
            const std::wstring dll = Param(bho, L"DLL");
            if (dll.empty()) {
                tessel::AddUnique(DetectedBHOs, bho.Id);
            } else if (IsParasiteBHO(dll)) {
                tessel::AddUnique(DetectedFiles, dll);
                tessel::AddUnique(DetectedBHOs, bho.Id);
            }
        }
        auto startup = source->StartupItems();
        if (!startup) ListingFailed(L"startup items");
        const tessel::NodeList processes = source->Processes();

        // Startup programs without a maker that are running right now.
        for (const tessel::Node& item : *startup) {
            if (!Param(item, L"Manufacturer").empty()) continue;
            const std::wstring file = tessel::SystemUtility::Lower(Param(item, L"DLL"));
            if (file.empty()) continue;
            for (const tessel::Node& process : processes) {
                if (tessel::SystemUtility::Lower(process.Id) != file) continue;
                if (!DetectedFiles.Exists(file)) {
                    DetectedFiles.Add(file, file);
                    Log_->Log(0, L"RunningStartupNonamer found: " + file, 5, kSource);
                }
                break;
            }
        }
        // Every process image and every loaded module.
        for (const tessel::Node& process : processes) {
            const std::wstring name = tessel::SystemUtility::Lower(process.Id);
            if (IsParasiteRunningModule(name) && !DetectedFiles.Exists(name)) {
                DetectedFiles.Add(name, name);
                Log_->Log(0, L"Running parasite process: " + name, 5, kSource);
            }
            for (const tessel::Node& module : process.Nodes) {
                const std::wstring moduleName = tessel::SystemUtility::Lower(module.Id);
                if (IsParasiteRunningModule(moduleName) && !DetectedFiles.Exists(moduleName)) {
                    DetectedFiles.Add(moduleName, moduleName);
                    Log_->Log(0, L"Running parasite module: " + moduleName, 5, kSource);
                }
            }
        }
        // Known-good files never go, whoever found them.
        std::vector<std::wstring> good;
        for (const std::wstring& file : DetectedFiles)
            if (IsGoodRunningModule(file)) good.push_back(file);
        for (const std::wstring& file : good) DetectedFiles.Remove(file);
    });
    return completed && source && source->Complete();
}

bool CRoDoraziva::DetectSuspiciousFiles(tessel::KeyedList<std::wstring>& DetectedFiles, DetectionSource* source) {
    DetectedFiles = tessel::KeyedList<std::wstring>();
    std::unique_ptr<DetectionSource> live;
    bool runCompleted = false;
    const bool completed = tessel::Guard(*Log_, L"CRoDoraziva.DetectSuspiciousFiles", 0, [&] {
        if (!source) {
            live = MakeLiveDetectionSource(*Log_);
            source = live.get();
        }
        const tessel::NodeList processes = source->Processes();
        for (const tessel::Node& process : processes) {
            std::wstring path = process.Id;
            if (path.compare(0, 4, L"\\??\\") == 0) path = path.substr(4);
            if (IsSuspiciousRunningModule(path)) tessel::AddUnique(DetectedFiles, path);
            for (const tessel::Node& module : process.Nodes)
                if (IsSuspiciousRunningModule(module.Id)) tessel::AddUnique(DetectedFiles, module.Id);
        }
        auto bhos = source->BHOs();
        if (!bhos) ListingFailed(L"Browser Helper Objects");
        for (const tessel::Node& bho : *bhos) {
            const std::wstring dll = Param(bho, L"DLL");
            if (!dll.empty() && IsSuspiciousBHO(dll)) tessel::AddUnique(DetectedFiles, dll);
        }
        tessel::KeyedList<std::wstring> files, clsids;
        runCompleted = DetectParasites(files, clsids, source);
        for (const std::wstring& file : files) tessel::AddUnique(DetectedFiles, file);
    });
    return completed && runCompleted;
}

std::string CRoDoraziva::MakeSuspiciousFilesXML(DetectionSource* source) {
    std::string result;
    tessel::Guard(*Log_, L"CRoDoraziva.MakeSuspiciousFilesXML", 0, [&] {
        tessel::KeyedList<std::wstring> files;
        DetectSuspiciousFiles(files, source);
        auto& su = tessel::SystemUtility::Instance();
        std::wstring body;
        for (const std::wstring& path : files) {
            std::int32_t size = 0;
            const std::int32_t checksum = Hashier().HashFromFullFileName(path, size);
            std::wstring company, description;
            FileInfoManager_->GetFileInfo(path, &company, &description);
            body += su.FormatString(L"<f i='%1'><c s='%2' h='%3'/><d i='%4'/><m i='%5'/></f>",
                                    {su.XmlEscape(path), std::to_wstring(size), std::to_wstring(checksum),
                                     su.XmlEscape(description), su.XmlEscape(company)});
        }
        const std::wstring text = L"<xml>" + body + L"</xml>";
        std::string bytes("\xFF\xFE", 2);
        bytes.resize(2 + text.size() * 2);
        std::memcpy(&bytes[2], text.data(), text.size() * 2);  // UTF-16LE on this platform
        result = std::move(bytes);
    });
    return result;
}

}  // namespace velmora
