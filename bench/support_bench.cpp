// Prints the speed of the support request's two heavy parts: the inventory documents over the
// running processes against the process listing with the fingerprints of the same files, and
// the zip library's archive of a few megabytes of log text against zlib's own compress2 and
// crc32 of the same bytes.
#include <windows.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "inspection/EnumProcesses.h"
#include "inspection/FileChecker.h"
#include "inspection/Globals.h"
#include "inspection/Hashier.h"
#include "support/Inventory.h"
#include "support/Zip.h"
#include "tessel/KeyedList.h"
#include "tessel/Logger.h"
#include "tessel/SystemUtility.h"

namespace {

using Clock = std::chrono::steady_clock;
double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

void SetFolders() {
    wchar_t buf[MAX_PATH];
    velmora::RunningOnNT = (::GetVersion() & 0x80000000u) == 0;
    ::GetWindowsDirectoryW(buf, MAX_PATH);
    velmora::WinDir = tessel::SystemUtility::Lower(buf) + L"\\";
    ::GetSystemDirectoryW(buf, MAX_PATH);
    velmora::SysDir = tessel::SystemUtility::Lower(buf) + L"\\";
}

void BenchInventory(const std::wstring& folder) {
    tessel::Logger log;
    log.Open(folder + L"\\VLMR.log", folder + L"\\short.log");
    double inventory = 1e9, baseline = 1e9;
    std::size_t files = 0, bytes = 0;
    for (int pass = 0; pass < 3; ++pass) {
        velmora::GlobalHashier = std::make_unique<velmora::CHashier>();  // every file read again
        auto t0 = Clock::now();
        std::string filesXml;
        const std::string processes = velmora::MakeProcessesXML(filesXml, log);
        inventory = std::min(inventory, Seconds(t0, Clock::now()));
        bytes = processes.size() + filesXml.size();

        // The listing, then the fingerprint of every distinct file it names.
        t0 = Clock::now();
        velmora::CHashier hashier;
        velmora::CFileChecker checker;
        tessel::KeyedList<std::wstring> seen;
        const tessel::NodeList list = velmora::EnumProcessesNT();
        const auto fingerprint = [&](const std::wstring& id) {
            const std::wstring path = checker.GetFullFileNameFromShortFilename(id);
            if (seen.Exists(path)) return;
            seen.Add(path, path);
            std::int32_t size = 0;
            hashier.HashFromFullFileName(path, size);
        };
        for (const tessel::Node& p : list) {
            fingerprint(p.Id);
            for (const tessel::Node& m : p.Nodes) fingerprint(m.Id);
        }
        baseline = std::min(baseline, Seconds(t0, Clock::now()));
        files = seen.Count();
    }
    std::printf("inventory documents: %.3f s (%zu bytes); process listing + fingerprints of its %zu files: %.3f s; "
                "ratio %.2f (target <= 1.2)\n",
                inventory, bytes, files, baseline, inventory / baseline);
}

void BenchZip(const std::wstring& folder) {
    std::string text;
    for (int i = 0; text.size() < (4u << 20); ++i)
        text += "12/9/2026 4:05:" + std::to_string(10 + i % 50) + " AM\t5\t0\tCRoDoraziva.IsGoodRunningModule\tFile '" +
                "c:\\program files\\vendor " + std::to_string(i % 97) + "\\module" + std::to_string(i % 13) +
                ".dll' checked, size " + std::to_string(i * 37 % 100000) + "\r\n";
    const std::wstring source = folder + L"\\VLMR.log", archive = folder + L"\\bench.zip";
    testing_support::WriteBytes(source, text);
    double ours = 1e9, zlib = 1e9;
    uLongf packed = 0;
    std::vector<Bytef> out(compressBound(static_cast<uLong>(text.size())));
    for (int pass = 0; pass < 5; ++pass) {
        ::DeleteFileW(archive.c_str());
        auto t0 = Clock::now();
        velmora::cZip zip;
        zip.ZipFile(archive);
        zip.MessageLevel(1);
        zip.AddFileSpec(source);
        zip.Zip();
        ours = std::min(ours, Seconds(t0, Clock::now()));

        t0 = Clock::now();
        packed = static_cast<uLongf>(out.size());
        compress2(out.data(), &packed, reinterpret_cast<const Bytef*>(text.data()), static_cast<uLong>(text.size()),
                  Z_DEFAULT_COMPRESSION);
        static volatile uLong sink = 0;
        sink = sink + crc32(0, reinterpret_cast<const Bytef*>(text.data()), static_cast<uInt>(text.size()));
        zlib = std::min(zlib, Seconds(t0, Clock::now()));
    }
    WIN32_FILE_ATTRIBUTE_DATA data{};
    ::GetFileAttributesExW(archive.c_str(), GetFileExInfoStandard, &data);
    const double mb = text.size() / 1e6;
    std::printf("zip library: %.1f MB of log text in %.3f s (%.1f MB/s, archive %lu bytes); compress2 + crc32: %.3f s "
                "(%.1f MB/s, %lu bytes); throughput ratio %.2f (a plain figure)\n",
                mb, ours, mb / ours, data.nFileSizeLow, zlib, mb / zlib, static_cast<unsigned long>(packed), zlib / ours);
}

}  // namespace

void BenchSupport() {
    SetFolders();
    const testing_support::TempDir dir;
    BenchInventory(dir.Path());
    BenchZip(dir.Path());
}
