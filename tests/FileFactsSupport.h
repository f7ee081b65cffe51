// Helpers shared by the file-facts tests: the process-wide values, fixture copies, the log
// a test writes, and file contents made to a given fingerprint.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "inspection/Checksum.h"
#include "inspection/Globals.h"
#include "tessel/Logger.h"
#include "tessel/Text.h"

namespace filefacts {

// Sets the process-wide values as the start-up does (with whatever GetVersion answers at
// the time) and puts the earlier ones back at the end.
struct ProcessWideValues {
    bool nt = velmora::RunningOnNT, nt4 = velmora::RunningOnNT4;
    std::wstring win = velmora::WinDir, sys = velmora::SysDir;
    ProcessWideValues() { Set(); }
    void Set() {
        tessel::PendingError pending;
        velmora::SetProcessWideValues(pending);
    }
    ~ProcessWideValues() {
        velmora::RunningOnNT = nt;
        velmora::RunningOnNT4 = nt4;
        velmora::WinDir = win;
        velmora::SysDir = sys;
    }
};

// A fixture DLL built beside the test program, by its file name.
inline std::wstring Fixture(const std::wstring& name) { return testing_support::ProgramFolder() + L"\\" + name; }

inline std::string FixtureBytes(const std::wstring& name) { return testing_support::ReadBytes(Fixture(name)); }

// Copies a fixture to the path given (its folder must exist).
inline void CopyFixture(const std::wstring& name, const std::wstring& to) {
    testing_support::WriteBytes(to, FixtureBytes(name));
}

inline std::uint32_t Sum(const std::string& bytes) {
    return velmora::ChecksumUpdate(0, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

// size bytes whose checksum is the one asked for: zeros, then 31 bytes of 0 or 1. Each 1
// lands on a bit of its own after the rotations that follow it, so no sum ever carries.
inline std::string BytesWithChecksum(std::size_t size, std::uint32_t checksum) {
    std::string bytes(size, '\0');
    for (std::size_t j = 0; j < 31 && j < size; ++j) {
        const unsigned bit = static_cast<unsigned>((31 - j) % 31);  // where it ends up
        bytes[size - 1 - j] = static_cast<char>((checksum >> bit) & 1u);
    }
    return bytes;
}

// The test's log, opened in a folder of its own.
class TestLog {
public:
    explicit TestLog(const std::wstring& folder) : path_(folder + L"\\VLMR.log") {
        log_.Open(path_, folder + L"\\short.log");
    }
    tessel::Logger& Logger() { return log_; }
    // The entries as (level, number, source, text), in order.
    struct Entry {
        std::wstring level, number, source, text;
    };
    std::vector<Entry> Entries() const {
        std::vector<Entry> entries;
        const std::wstring all = tessel::text::FromUtf8(testing_support::ReadBytes(path_));
        std::size_t start = 0;
        while (start < all.size()) {
            std::size_t end = all.find(L"\r\n", start);
            if (end == std::wstring::npos) end = all.size();
            std::vector<std::wstring> fields;
            std::size_t f = start;
            for (int i = 0; i < 4; ++i) {
                const std::size_t tab = all.find(L'\t', f);
                if (tab == std::wstring::npos || tab > end) break;
                fields.push_back(all.substr(f, tab - f));
                f = tab + 1;
            }
            if (fields.size() == 4) entries.push_back({fields[1], fields[2], fields[3], all.substr(f, end - f)});
            start = end + 2;
        }
        return entries;
    }

private:
    std::wstring path_;
    tessel::Logger log_;
};

}  // namespace filefacts
