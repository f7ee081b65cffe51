// File access of the support library: one object per process.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace tessel {

class FileAccessor {
public:
    static FileAccessor& Instance();

    // Creates the folder and any missing parents; no error when it exists.
    void CreateFolder(const std::wstring& path);
    // True for an existing file (not a folder).
    bool FileExists(const std::wstring& path);
    // Creates or replaces the file with the bytes given (one byte per character).
    void WriteFile(const std::wstring& path, const std::string& data);
    // The whole file, one character per byte; empty when the file is missing.
    std::string ReadFile(const std::wstring& path);
    std::vector<std::uint8_t> ReadBytes(const std::wstring& path);

    // The form of a path that the wide file functions accept beyond MAX_PATH.
    static std::wstring ExtendedPath(const std::wstring& path);

private:
    FileAccessor() = default;
};

}  // namespace tessel
