// Helpers of the support-channel tests: the test's own support server (a Python program on the
// host, started through Wine's launching of host programs) and the archive checks made with
// Python's zipfile and `unzip -t`. Host programs started this way give no process handle, so
// they talk to the test through files in a folder of the test's own.
#pragma once
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "tessel/SystemUtility.h"
#include "tessel/Text.h"
#include "tessel/Unique.h"

namespace support_testing {

using testing_support::UnixPath;
using testing_support::WaitForFile;

inline std::wstring Wide(const std::string& s) { return tessel::text::FromUtf8(s); }

inline bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// A helper's file as its lines ("\n" ends each).
inline std::vector<std::string> FileLines(const std::wstring& path) {
    std::vector<std::string> lines;
    const std::string text = testing_support::ReadBytes(path);
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

// Starts the host's Python with the helper script and its arguments (host paths).
inline bool StartPython(const std::vector<std::string>& args) {
    std::string line = VLMR_PYTHON3 " " VLMR_SUPPORT_SCRIPT;
    for (const auto& a : args) line += " \"" + a + "\"";
    return testing_support::StartHostProgram(Wide(line));
}

// Runs one helper command that writes its findings to a file, and returns them as lines.
inline std::vector<std::string> RunCheck(std::vector<std::string> args, const std::wstring& outFile) {
    ::DeleteFileW(outFile.c_str());
    args.insert(args.begin() + 2, UnixPath(outFile));
    if (!StartPython(args) || !WaitForFile(outFile, 60000)) return {"no answer from the check"};
    return FileLines(outFile);
}

// What Python's zipfile and `unzip -t` make of an archive.
inline std::vector<std::string> CheckArchive(const std::wstring& archive, const std::wstring& scratch,
                                             const std::string& password = {}) {
    std::vector<std::string> args = {"check", UnixPath(archive)};
    if (!password.empty()) args.push_back(password);
    return RunCheck(args, scratch);
}

// The escaping of the helper's lines.
inline std::string Esc(const std::string& s) {
    std::string out;
    for (const char c : s) {
        if (c == '\\') out += "\\\\";
        else if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else out += c;
    }
    return out;
}

// The test's support server: started in the mode given, stopped (and waited for) at the end.
class SupportServer {
public:
    explicit SupportServer(const std::string& mode) {
        const std::string folder = UnixPath(dir_.Path());
        started_ = !folder.empty() && StartPython({"serve", folder, mode}) && WaitForFile(dir_ / L"ready", 30000);
        if (started_) port_ = std::stoi(testing_support::ReadBytes(dir_ / L"ready"));
    }
    ~SupportServer() { Stop(); }
    SupportServer(const SupportServer&) = delete;
    SupportServer& operator=(const SupportServer&) = delete;

    bool Started() const { return started_; }
    int Port() const { return port_; }
    std::wstring Host() const { return L"127.0.0.1:" + std::to_wstring(port_); }
    // Stops the server; afterwards nothing listens on its port.
    void Stop() {
        if (!started_ || stopped_) return;
        testing_support::WriteBytes(dir_ / L"stop", "stop");
        WaitForFile(dir_ / L"exited", 60000);
        stopped_ = true;
    }
    // Every request the server got, one block of lines each ("request" ... "end").
    std::vector<std::vector<std::string>> Requests() const {
        std::vector<std::vector<std::string>> out;
        if (!Exists(dir_ / L"log")) return out;
        for (const std::string& line : FileLines(dir_ / L"log")) {
            if (line == "request") out.emplace_back();
            else if (!out.empty() && line != "end") out.back().push_back(line);
        }
        return out;
    }

private:
    testing_support::TempDir dir_;
    bool started_ = false, stopped_ = false;
    int port_ = 0;
};

// The value of the first line "key value" of a block; empty when none.
inline std::string Field(const std::vector<std::string>& lines, const std::string& key) {
    for (const auto& l : lines)
        if (l.compare(0, key.size() + 1, key + " ") == 0) return l.substr(key.size() + 1);
    return {};
}

}  // namespace support_testing
