#include "inspection/FileStanding.h"

#include <windows.h>

#include "inspection/Globals.h"
#include "inspection/PathCall.h"
#include "inspection/SystemWhitelists.h"
#include "tessel/Api.h"
#include "tessel/ComObject.h"
#include "tessel/Error.h"
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
    if (auto full = CallForPath<wchar_t>([&](wchar_t* buf, DWORD size) {
            return ::GetFullPathNameW(path.c_str(), size, buf, nullptr);
        }))
        path = *full;
    if (auto longForm = CallForPath<wchar_t>([&](wchar_t* buf, DWORD size) {
            return tessel::api::kernel32().GetLongPathNameW(path.c_str(), buf, size);
        }))
        path = *longForm;
    return tessel::SystemUtility::Lower(path);
}

std::wstring WithBackslash(std::wstring folder) {
    if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
    return folder;
}

std::wstring ProgramFolder() {
    if (!ProgramDir.empty()) return WithBackslash(ProgramDir);
    std::wstring path;
    if (!tessel::PassOver([&] { path = tessel::com::ModulePath(nullptr); })) return {};
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
