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
    std::vector<std::string> Lines() const {
        std::vector<std::string> out;
        const std::string text = tessel::FileAccessor::Instance().ReadFile(dir / L"VLMR.log");
        std::size_t at = 0;
        while (at < text.size()) {
            std::size_t end = text.find("\r\n", at);
            if (end == std::string::npos) end = text.size();
            std::string line = text.substr(at, end - at);
            const std::size_t tab = line.find('\t');
            line = line.substr(tab + 1);
            for (auto& c : line)
                if (c == '\t') c = '|';
            out.push_back(line);
            at = end + 2;
        }
        return out;
    }
    bool Has(const std::string& line) const {
        for (const auto& l : Lines())
            if (l == line) return true;
        return false;
    }
    testing_support::TempDir dir;
    tessel::Logger log;
};

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
    struct Process {
        std::wstring image;
        std::vector<std::wstring> modules;
    };
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
    tessel::NodeList Processes() override {
        tessel::NodeList list;
        for (const auto& p : processes) {
            tessel::Node& n = list.Add();
            n.Id = p.image;
            for (const auto& m : p.modules) n.Nodes.Add().Id = m;
        }
        return list;
    }
    bool Complete() const override { return complete; }
};

}  // namespace detection_support
