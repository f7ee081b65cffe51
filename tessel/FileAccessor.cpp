#include "tessel/FileAccessor.h"

#include <windows.h>

#include <algorithm>

#include "tessel/Error.h"
#include "tessel/SystemUtility.h"
#include "tessel/Unique.h"

namespace tessel {

namespace {

[[noreturn]] void Raise(const char* call, const std::wstring& what, const std::wstring& path) {
    const DWORD code = ::GetLastError();
    throw Error(static_cast<long>(code),
                what + L" '" + path + L"': " + SystemUtility::Instance().SystemErrorText(code), call);
}

bool IsAbsoluteDrivePath(const std::wstring& p) {
    return p.size() >= 3 && p[1] == L':' && (p[2] == L'\\' || p[2] == L'/');
}

template <class Buffer>
Buffer ReadAll(const std::wstring& path) {
    UniqueFile file(::CreateFileW(FileAccessor::ExtendedPath(path).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD code = ::GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return Buffer();
        Raise("CreateFileW", L"Cannot open the file", path);
    }
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size)) Raise("GetFileSizeEx", L"Cannot size the file", path);
    if (size.QuadPart > 0x7FFFFFFF)
        throw Error(ERROR_FILE_TOO_LARGE, L"The file '" + path + L"' is too large to read whole.",
                    "ReadFile");
    Buffer data(static_cast<std::size_t>(size.QuadPart), 0);
    std::size_t done = 0;
    while (done < data.size()) {
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(data.size() - done, 1u << 20));
        if (!::ReadFile(file.get(), &data[done], want, &got, nullptr))
            Raise("ReadFile", L"Cannot read the file", path);
        if (got == 0) break;  // the file shrank meanwhile
        done += got;
    }
    data.resize(done);
    return data;
}

}  // namespace

FileAccessor& FileAccessor::Instance() {
    static FileAccessor instance;
    return instance;
}

std::wstring FileAccessor::ExtendedPath(const std::wstring& path) {
    if (path.size() < MAX_PATH - 12 || path.rfind(L"\\\\?\\", 0) == 0) return path;
    if (IsAbsoluteDrivePath(path)) {
        std::wstring p = path;
        for (auto& c : p)
            if (c == L'/') c = L'\\';
        return L"\\\\?\\" + p;
    }
    if (path.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + path.substr(2);
    return path;
}

void FileAccessor::CreateFolder(const std::wstring& path) {
    std::wstring p = path;
    while (!p.empty() && (p.back() == L'\\' || p.back() == L'/')) p.pop_back();
    if (p.empty()) return;
    const DWORD attrs = ::GetFileAttributesW(ExtendedPath(p).c_str());
    if (attrs != INVALID_FILE_ATTRIBUTES) {
        if (attrs & FILE_ATTRIBUTE_DIRECTORY) return;
        SetLastError(ERROR_ALREADY_EXISTS);
        Raise("CreateDirectoryW", L"A file stands where the folder should be", p);
    }
    const size_t slash = p.find_last_of(L"\\/");
    if (slash != std::wstring::npos && slash > 0 && p[slash - 1] != L':' && p[slash - 1] != L'\\')
        CreateFolder(p.substr(0, slash));
    if (!::CreateDirectoryW(ExtendedPath(p).c_str(), nullptr) &&
        ::GetLastError() != ERROR_ALREADY_EXISTS)
        Raise("CreateDirectoryW", L"Cannot create the folder", p);
}

bool FileAccessor::FileExists(const std::wstring& path) {
    if (path.empty()) return false;
    const DWORD attrs = ::GetFileAttributesW(ExtendedPath(path).c_str());
    return attrs != INVALID_FILE_ATTRIBUTES && !(attrs & FILE_ATTRIBUTE_DIRECTORY);
}

void FileAccessor::WriteFile(const std::wstring& path, const std::string& data) {
    UniqueFile file(::CreateFileW(ExtendedPath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                  nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) Raise("CreateFileW", L"Cannot create the file", path);
    std::size_t done = 0;
    while (done < data.size()) {
        DWORD written = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(data.size() - done, 1u << 20));
        if (!::WriteFile(file.get(), data.data() + done, want, &written, nullptr))
            Raise("WriteFile", L"Cannot write the file", path);
        done += written;
    }
}

std::string FileAccessor::ReadFile(const std::wstring& path) { return ReadAll<std::string>(path); }

std::vector<std::uint8_t> FileAccessor::ReadBytes(const std::wstring& path) {
    return ReadAll<std::vector<std::uint8_t>>(path);
}

}  // namespace tessel
