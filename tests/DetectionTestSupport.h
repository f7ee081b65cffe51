// Helpers of the detection and cleanup tests: a log to read back, and a detection source of
// lists made by the test.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "detection/DetectionSource.h"
#include "tessel/FileAccessor.h"
#include "tessel/Logger.h"
#include "tessel/SystemUtility.h"
#include "tessel/Api.h"
#include "inspection/AppServices.h"
#include "inspection/Globals.h"

namespace detection_support {

// A log in a temporary folder, read back as lines "level|number|source|text".
class TestLog {
public:
    TestLog() { log.Open(dir / L"VLMR.log", dir / L"short.log"); }
    std::vector<std::string> Lines() const { return testing_support::LogLines(dir / L"VLMR.log"); }
    bool Has(const std::string& line) const {
        for (const auto& l : Lines())
            if (l == line) return true;
        return false;
    }
    testing_support::TempDir dir;
    tessel::Logger log;
};

// A process and the files of its modules, as a process listing gives them.
struct ProcessEntry {
    std::wstring image;
    std::vector<std::wstring> modules;
};

inline tessel::NodeList ProcessList(const std::vector<ProcessEntry>& processes) {
    tessel::NodeList list;
    for (const auto& p : processes) {
        tessel::Node& n = list.Add();
        n.Id = p.image;
        for (const auto& m : p.modules) n.Nodes.Add().Id = m;
    }
    return list;
}

// Lists handed in by the test.
class FakeSource : public velmora::DetectionSource {
public:
    struct Bho {
        std::wstring id, dll;
        bool hasDll = true;
    };
    struct Startup {
        std::wstring dll, manufacturer;
    };
    using Process = ProcessEntry;
    std::vector<Bho> bhos;
    std::vector<Startup> startup;
    std::vector<Process> processes;
    bool bhoListFails = false, startupListFails = false, complete = true;

    std::unique_ptr<tessel::NodeList> BHOs() override {
        if (bhoListFails) return nullptr;
        auto list = std::make_unique<tessel::NodeList>();
        for (const auto& b : bhos) {
            tessel::Node& n = list->Add();
            n.Id = b.id;
            n.params.Add(L"Name", b.id);
            if (b.hasDll) n.params.Add(L"DLL", b.dll);
        }
        return list;
    }
    std::unique_ptr<tessel::NodeList> StartupItems() override {
        if (startupListFails) return nullptr;
        auto list = std::make_unique<tessel::NodeList>();
        for (const auto& s : startup) {
            tessel::Node& n = list->Add();
            n.Id = L"id";
            n.params.Add(L"Name", L"item");
            n.params.Add(L"DLL", s.dll);
            n.params.Add(L"Manufacturer", s.manufacturer);
        }
        return list;
    }
    tessel::NodeList Processes() override { return ProcessList(processes); }
    bool Complete() const override { return complete; }
};

}  // namespace detection_support
