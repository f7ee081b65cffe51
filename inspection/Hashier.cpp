#include "inspection/Hashier.h"

#include <windows.h>

#include "inspection/Checksum.h"
#include "tessel/Api.h"
#include "tessel/Error.h"
#include "tessel/FileAccessor.h"
#include "tessel/Unique.h"

namespace velmora {

namespace {
constexpr DWORD kBlock = 256 * 1024;
}

bool CHashier::HashFile(const std::wstring& path, std::uint32_t& checksum, std::uint64_t& size) {
    checksum = 0;
    size = 0;
    if (path.empty()) return false;
    const tessel::UniqueFile file = tessel::FileAccessor::OpenDiskFile(path, FILE_FLAG_SEQUENTIAL_SCAN);
    if (!file) return false;
    if (buffer_.size() != kBlock) buffer_.resize(kBlock);
    std::uint32_t h = 0;
    std::uint64_t total = 0;
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file.get(), buffer_.data(), kBlock, &got, nullptr)) return false;
        if (got == 0) break;
        h = ChecksumUpdate(h, buffer_.data(), got);
        total += got;
    }
    checksum = h;
    size = total;
    return true;
}

std::int32_t CHashier::HashFromFullFileName(const std::wstring& FullFilePathname, std::int32_t& FileSize) {
    const std::wstring key = L"_" + FullFilePathname;
    if (HashCache.Exists(key)) {
        FileSize = SizeCache.Item(key);
        return HashCache.Item(key);
    }
    FileSize = 0;
    std::int32_t checksum = 0;
    // A failing step leaves the empty answer (both are set only once the file is read whole),
    // which is cached like any other.
    tessel::PassOver([&] {
        std::uint32_t h = 0;
        std::uint64_t n = 0;
        if (HashFile(FullFilePathname, h, n) && n > 0) {
            checksum = static_cast<std::int32_t>(h);
            FileSize = static_cast<std::int32_t>(static_cast<std::uint32_t>(n));
        }
    });
    HashCache.Add(checksum, key);
    SizeCache.Add(FileSize, key);
    return checksum;
}

std::int32_t FileSizeFromFullFileName(const std::wstring& FullFileName) {
    if (FullFileName.empty() || tessel::FileAccessor::HasWildcards(FullFileName)) return 0;
    if (tessel::FileAccessor::IsDevicePath(FullFileName)) return 0;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!tessel::api::kernel32().GetFileAttributesExW(tessel::FileAccessor::ExtendedPath(FullFileName).c_str(),
                                                      GetFileExInfoStandard, &data))
        return 0;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return 0;
    return static_cast<std::int32_t>(data.nFileSizeLow);
}

}  // namespace velmora
