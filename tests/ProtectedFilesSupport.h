// The files no disabling may take on its own, laid out on a scratch machine: a Windows folder,
// a system folder, a program files folder and the program's own folder of the test's own,
// set through the process-wide values, with copies of Windows files in them. Nothing of the
// prefix's own is ever named.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "TestSupport.h"
#include "inspection/FileStanding.h"
#include "inspection/Globals.h"
#include "tessel/SystemUtility.h"
#include "tessel/Unique.h"

namespace protected_files {

enum class Kind { WindowsFolder, Whitelisted, ProgramFile, Device, Ordinary };

struct Case {
    Kind kind;
    std::wstring path;  // as a caller gives it
    std::wstring file;  // the file it names
};

// The kinds that the user is asked about once more before they are disabled.
inline bool AsksAgain(Kind kind) { return kind == Kind::WindowsFolder || kind == Kind::Whitelisted; }

// The second question before a Windows file is disabled.
inline std::wstring WindowsQuestion(const std::wstring& path) {
    return L"'" + path + L"' is part of Windows. Disabling it ends every program that uses it, Windows' own too, and "
                         L"Windows may not start again. Press OK to disable it anyway or Cancel to leave it alone.";
}

// What the user reads of a file of the program's own, which is never disabled.
inline std::wstring ProgramFileKept(const std::wstring& path) {
    return L"'" + path + L"' is part of Velmora and is not disabled: without it Velmora could not start again to give "
                         L"back the files it disabled.";
}

class ScratchMachine {
public:
    // Call after whatever sets the process-wide values from the running system.
    ScratchMachine()
        : winDir_(velmora::WinDir),
          sysDir_(velmora::SysDir),
          programDir_(velmora::ProgramDir),
          nt_(velmora::RunningOnNT),
          programFiles_(L"ProgramFiles", (dir / L"programs").c_str()) {
        for (const wchar_t* folder : {L"windows", L"windows\\system32", L"velmora", L"programs", L"programs\\Common Files",
                                      L"programs\\Common Files\\System"})
            ::CreateDirectoryW((dir / folder).c_str(), nullptr);
        velmora::RunningOnNT = true;
        velmora::WinDir = tessel::SystemUtility::Lower(dir / L"windows\\");
        velmora::SysDir = velmora::WinDir + L"system32\\";
        velmora::ProgramDir = dir / L"velmora\\";
        // Copies of a Windows file without version information: a parasite by its looks.
        const std::string ini = testing_support::ReadBytes(winDir_ + L"win.ini") + "\r\n; a scratch copy\r\n";
        Put(Kind::WindowsFolder, L"windows\\win.ini", ini);
        Put(Kind::Whitelisted, L"programs\\Common Files\\System\\wab32.dll", ini);
        for (const wchar_t* own : {L"velmora\\Velmora.exe", L"velmora\\Tessel.dll", L"velmora\\VLMRCustom.dll"})
            Put(Kind::ProgramFile, own, ini);
        cases.push_back({Kind::Device, dir / L"COM1.dll", dir / L"COM1.dll"});
        Put(Kind::Ordinary, L"ordinary.dll", "a file without version information");
        // Other spellings of a Windows file and of the program's own, as a registration may hold
        // them: each Windows file its own, since it may be disabled; the program file is never.
        const std::wstring program = dir / L"velmora\\Velmora.exe";
        for (const auto& [name, spell] : Spellings()) {
            Put(Kind::WindowsFolder, L"windows\\" + name, ini);
            cases.back().path = spell(cases.back().file);
            cases.push_back({Kind::ProgramFile, spell(program), program});
        }
        // A stream of a name with trailing dots or blanks is a stream of the name without them:
        // each whitelisted file its own, since it may be disabled once the user says so.
        const wchar_t* const whitelisted[] = {L"lz32.dll", L"shell32.dll", L"mshtml.dll"};
        for (std::size_t i = 0; i < std::size(kStreamSpellings); ++i) {
            Put(Kind::Whitelisted, std::wstring(L"windows\\system32\\") + whitelisted[i], ini);
            cases.back().path = cases.back().file + kStreamSpellings[i];
            for (const wchar_t* own : {L"Velmora.exe", L"Tessel.dll", L"VLMRCustom.dll"}) {
                const std::wstring file = dir / (std::wstring(L"velmora\\") + own);
                cases.push_back({Kind::ProgramFile, file + kStreamSpellings[i], file});
            }
        }
        // The system whitelist lists it only in its native spelling, "\\??\\" and the system folder.
        Put(Kind::Whitelisted, L"windows\\system32\\winlogon.exe", ini);
        // Other routes to the same files, as a hijacker may take them: folder links and drive
        // letters made for the system folder and for the program's folder. Each Windows file its
        // own again.
        for (const wchar_t* folder : {L"Data", L"Hostile", L"windows\\system32\\drivers", L"windows\\system32\\drivers\\etc"})
            ::CreateDirectoryW((dir / folder).c_str(), nullptr);
        links_.reserve(6);
        links_.emplace_back(dir / L"windows\\system32", dir / L"Data\\sys");
        links_.emplace_back(dir / L"velmora", dir / L"Data\\app");
        links_.push_back(testing_support::FolderLink::Drive(dir / L"windows\\system32"));
        links_.push_back(testing_support::FolderLink::Drive(dir / L"velmora"));
        links_.emplace_back(dir / L"windows\\system32\\drivers", dir / L"Hostile\\drv");
        const testing_support::FolderLink &sys = links_[0], &app = links_[1], &sysDrive = links_[2], &appDrive = links_[3],
                                          &drivers = links_[4];
        Routed(Kind::Whitelisted, L"version.dll", sys / L"version.dll", L".:x", ini);
        Routed(Kind::Whitelisted, L"urlmon.dll", sysDrive / L"urlmon.dll", L"", ini);
        Routed(Kind::WindowsFolder, L"linked.ini", sys / L"linked.ini", L"", ini);
        Routed(Kind::WindowsFolder, L"driven.ini", sysDrive / L"driven.ini", L"", ini);
        cases.push_back({Kind::ProgramFile, app / L"Tessel.dll", app / L"Tessel.dll"});
        cases.push_back({Kind::ProgramFile, appDrive / L"VLMRCustom.dll", appDrive / L"VLMRCustom.dll"});
        // A link to a folder below the system folder: what it reaches lies in the system folder.
        Routed(Kind::WindowsFolder, L"drivers\\etc\\hosts", drivers / L"etc\\hosts", L"", ini);
        // A whitelisted file that a test may replace after what the files are was read, as a restore
        // or an update does while the program runs: the whitelist names it all the same.
        Routed(Kind::Whitelisted, L"aclui.dll", sys / L"aclui.dll", L"", ini);
        // The device namespace reaches a file on a drive as a plain path does.
        Put(Kind::Ordinary, L"device-namespace.dll", "a file without version information");
        cases.back().path = L"\\\\.\\" + cases.back().file;
        // A file link to a Windows file: named by the link, it is that file. (Not one of the system
        // folder, which Wine names through the drive letter made for it above.)
        const std::wstring linked = dir / L"windows\\link-target.ini";
        testing_support::WriteBytes(linked, ini);
        links_.emplace_back(linked, dir / L"Data\\windows-link.ini");
        cases.push_back({Kind::WindowsFolder, links_.back().Path(), links_.back().Path()});
        owners_.emplace_back(links_.back().Path(), linked);
    }
    ~ScratchMachine() {
        velmora::WinDir = winDir_;
        velmora::SysDir = sysDir_;
        velmora::ProgramDir = programDir_;
        velmora::RunningOnNT = nt_;
    }
    ScratchMachine(const ScratchMachine&) = delete;
    ScratchMachine& operator=(const ScratchMachine&) = delete;

    static bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
    // Still in place under its own name, with no disabled copy beside it.
    static bool Untouched(const std::wstring& path) {
        const std::size_t slash = path.find_last_of(L'\\');
        return Exists(path) && !Exists(path.substr(0, slash + 1) + L"parasite_" + path.substr(slash + 1) + L".parasite");
    }

    // The path a file named by a case is disabled, recorded and given back as: the file itself,
    // where a file link names it.
    std::wstring RecordOf(const std::wstring& file) const {
        for (const auto& [link, target] : owners_)
            if (link == file) return target;
        return file;
    }
    // Replaces the whitelisted file reached through the folder link with another file of the same
    // name, as a restore or an update does while the program runs.
    void ReplaceWhitelisted() const {
        const std::wstring replaced = dir / L"windows\\system32\\aclui.dll";
        testing_support::WriteBytes(replaced + L".new", testing_support::ReadBytes(replaced) + "; replaced\r\n");
        EXPECT_TRUE(::MoveFileExW((replaced + L".new").c_str(), replaced.c_str(), MOVEFILE_REPLACE_EXISTING));
    }

    testing_support::TempDir dir;
    std::vector<Case> cases;

private:
    static constexpr const wchar_t* kStreamSpellings[] = {L".:x", L". ::$DATA", L" .:x"};
    using Spelling = std::wstring (*)(const std::wstring&);
    static std::vector<std::pair<std::wstring, Spelling>> Spellings() {
        return {
            {L"native.ini", [](const std::wstring& p) { return L"\\??\\" + p; }},
            {L"stream.ini", [](const std::wstring& p) { return p + L"::$DATA"; }},
            {L"Spelled By Its Short Name.ini",
             [](const std::wstring& p) {
                 wchar_t shortName[MAX_PATH] = {};
                 const DWORD n = ::GetShortPathNameW(p.c_str(), shortName, MAX_PATH);
                 EXPECT_TRUE(n > 0 && n < MAX_PATH && std::wstring(shortName) != p) << testing_support::Narrow(p);
                 return std::wstring(shortName);
             }},
            {L"dots.ini",
             [](const std::wstring& p) {
                 const std::size_t slash = p.find_last_of(L'\\');
                 return p.substr(0, slash) + L"\\.\\..\\" + p.substr(p.find_last_of(L'\\', slash - 1) + 1);
             }},
            {L"slashes.ini",
             [](const std::wstring& p) {
                 std::wstring s = p;
                 for (auto& c : s)
                     if (c == L'\\') c = L'/';
                 return s;
             }},
        };
    }
    // A file of the system folder, named through another route as `file`, and given as that
    // spelled with `tail`.
    void Routed(Kind kind, const std::wstring& name, const std::wstring& file, const std::wstring& tail,
                const std::string& bytes) {
        testing_support::WriteBytes(dir / (L"windows\\system32\\" + name), bytes);
        cases.push_back({kind, file + tail, file});
    }
    void Put(Kind kind, const std::wstring& name, const std::string& bytes) {
        testing_support::WriteBytes(dir / name, bytes);
        cases.push_back({kind, dir / name, dir / name});
    }

    std::wstring winDir_, sysDir_, programDir_;
    bool nt_;
    testing_support::ScopedEnvironment programFiles_;
    std::vector<std::pair<std::wstring, std::wstring>> owners_;  // a file link, and the file it names
    // Removed before the machine's folder is: a recursive removal would follow them.
    std::vector<testing_support::FolderLink> links_;
};

// Two folders that hold the user's files, as a registration's server path may name them: by
// their own name, and through a ".." step.
struct UserFolders {
    explicit UserFolders(const testing_support::TempDir& dir) : data(dir / L"Data") {
        for (const wchar_t* folder : {L"", L"\\Notes", L"\\Letters", L"\\Letters\\x"})
            ::CreateDirectoryW((data + folder).c_str(), nullptr);
        testing_support::WriteBytes(data + L"\\Notes\\note.txt", "a note");
        testing_support::WriteBytes(data + L"\\Letters\\letter.txt", "a letter");
    }
    // Both folders under their own names with their files, and no disabled copy beside them.
    bool AsTheyWere() const {
        WIN32_FIND_DATAW found;
        return !tessel::UniqueFind(::FindFirstFileW((data + L"\\parasite_*").c_str(), &found)) &&
               testing_support::ReadBytes(data + L"\\Notes\\note.txt") == "a note" &&
               testing_support::ReadBytes(data + L"\\Letters\\letter.txt") == "a letter";
    }

    std::wstring data;
    std::vector<std::wstring> spellings{data + L"\\Notes", data + L"\\Letters\\x\\.."};
};

}  // namespace protected_files
