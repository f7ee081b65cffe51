#include "inspection/FileStanding.h"

#include <windows.h>

#include "inspection/Globals.h"
#include "inspection/SystemWhitelists.h"
#include "tessel/Api.h"
#include "tessel/SystemUtility.h"

namespace velmora {

namespace {

const wchar_t* const kProgramFiles[] = {L"Velmora.exe", L"Tessel.dll", L"VLMRCustom.dll"};

// One spelling per file: absolute, long names where the file or folder exists, lower case.
std::wstring Comparable(const std::wstring& given) {
    std::wstring path = given;
    for (auto& c : path)
        if (c == L'/') c = L'\\';
    if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) path = L"\\\\" + path.substr(8);
    else if (path.rfind(L"\\\\?\\", 0) == 0) path = path.substr(4);
    std::wstring full(MAX_PATH, L'\0');
    DWORD n = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (n >= full.size()) {
        full.resize(n);
        n = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    }
    if (n > 0 && n < full.size()) path.assign(full.data(), n);
    std::wstring longForm(MAX_PATH, L'\0');
    n = tessel::api::kernel32().GetLongPathNameW(path.c_str(), longForm.data(), static_cast<DWORD>(longForm.size()));
    if (n >= longForm.size()) {
        longForm.resize(n);
        n = tessel::api::kernel32().GetLongPathNameW(path.c_str(), longForm.data(), static_cast<DWORD>(longForm.size()));
    }
    if (n > 0 && n < longForm.size()) path.assign(longForm.data(), n);
    return tessel::SystemUtility::Lower(path);
}

std::wstring WithBackslash(std::wstring folder) {
    if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
    return folder;
}

std::wstring ProgramFolder() {
    if (!ProgramDir.empty()) return WithBackslash(ProgramDir);
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    return path.substr(0, path.find_last_of(L'\\') + 1);
}

}  // namespace

bool IsOnSystemWhitelist(const std::wstring& path) {
    if (RunningOnNT) return IsSystemProcessNT(path) || IsSystemModuleNT(path);
    return IsSystemProcess9x(path) || IsSystemModule9x(path);
}

FileStanding StandingOf(const std::wstring& path) {
    if (path.empty()) return FileStanding::Ordinary;
    const std::wstring file = Comparable(path);
    const std::wstring programFolder = ProgramFolder();
    if (!programFolder.empty()) {
        for (const wchar_t* name : kProgramFiles)
            if (file == Comparable(programFolder + name)) return FileStanding::ProgramFile;
    }
    if (IsOnSystemWhitelist(path) || IsOnSystemWhitelist(file)) return FileStanding::SystemWhitelist;
    if (!WinDir.empty()) {
        const std::wstring windows = WithBackslash(Comparable(WinDir));
        if (file.size() > windows.size() && file.compare(0, windows.size(), windows) == 0)
            return FileStanding::WindowsFolder;
    }
    return FileStanding::Ordinary;
}

}  // namespace velmora
