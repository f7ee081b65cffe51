#include "inspection/FileChecker.h"

#include <windows.h>

#include <optional>

#include "inspection/CommandLine.h"
#include "inspection/FileStanding.h"
#include "inspection/Globals.h"
#include "inspection/PathCall.h"
#include "tessel/Api.h"
#include "tessel/FileAccessor.h"
#include "tessel/SystemUtility.h"

namespace velmora {

namespace {

using tessel::SystemUtility;
using tessel::api::kernel32;

// One search in the system's default order: SearchPathW on the NT family, SearchPathA (in
// the ANSI code page, lengths in bytes) on the 9x family.
std::optional<std::wstring> Search(const std::wstring& name) {
    if (RunningOnNT) {
        return CallForPath<wchar_t>([&](wchar_t* buf, DWORD size) {
            wchar_t* filePart = nullptr;
            return kernel32().SearchPathW(nullptr, name.c_str(), nullptr, size, buf, &filePart);
        });
    }
    const std::string ansi = SystemUtility::ToAnsi(name);
    auto found = CallForPath<char>([&](char* buf, DWORD size) {
        char* filePart = nullptr;
        return kernel32().SearchPathA(nullptr, ansi.c_str(), nullptr, size, buf, &filePart);
    });
    if (!found) return std::nullopt;
    return SystemUtility::FromAnsi(*found);
}

// A direct look at exactly this path: no search, no wildcards.
bool IsExistingFile(const std::wstring& path) {
    if (tessel::FileAccessor::HasWildcards(path) || tessel::FileAccessor::IsDevicePath(path)) return false;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!kernel32().GetFileAttributesExW(tessel::FileAccessor::ExtendedPath(path).c_str(), GetFileExInfoStandard,
                                         &data))
        return false;
    return (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

}  // namespace

CFileChecker::CFileChecker() = default;

void CFileChecker::Init(tessel::Logger& Log) {
    Log_ = &Log;
    UseLongPathNames_ = RunningOnNT && !RunningOnNT4;
}

std::wstring CFileChecker::GetFileNameFromCommandLine(std::wstring cl) { return FileNameFromCommandLine(std::move(cl)); }

std::wstring CFileChecker::GetFullFileNameFromShortFilename(std::wstring Filename) {
    if (FullNameCache.Exists(Filename)) return FullNameCache.Item(Filename);

    const std::wstring expanded = SystemUtility::Instance().ExpandEnvironment(Filename);
    std::optional<std::wstring> found = Search(expanded);
    // A name with percent signs of its own may name a file exactly as written.
    if (!found) found = Search(Filename);

    std::wstring result = Filename;
    if (found) {
        result = *found;
        if (UseLongPathNames_) {
            auto longForm = CallForPath<wchar_t>([&](wchar_t* buf, DWORD size) {
                return kernel32().GetLongPathNameW(found->c_str(), buf, size);
            });
            // Without a long form the search's own path still names the file.
            if (longForm) result = *longForm;
        }
    }
    FullNameCache.Add(result, Filename);
    return result;
}

std::wstring CFileChecker::ResolveRegisteredPath(const std::wstring& registryText) {
    // A fully qualified path is the file Windows reads it as: a prefixed one the file behind its
    // prefix (searched as it stands, "\\?\" would be taken for a folder of the current drive), a
    // verbatim one exactly as written, trailing dot and all.
    const auto actedOn = [](const std::wstring& text) {
        return FileActedOn(TrimmedUnquoted(SystemUtility::Instance().ExpandEnvironment(text)));
    };
    const std::wstring file = actedOn(registryText);
    if (IsFullyQualifiedFile(file) && IsExistingFile(file)) return file;
    // The file a command line runs is read by the same rule: the search and the long-name step
    // would drop a verbatim prefix or a trailing dot and name the file beside it. The search is
    // for the names that are not fully qualified.
    const std::wstring fromLine = GetFileNameFromCommandLine(registryText);
    const std::wstring named = actedOn(fromLine);
    if (IsFullyQualifiedFile(named)) return named;
    return GetFullFileNameFromShortFilename(fromLine);
}

}  // namespace velmora
