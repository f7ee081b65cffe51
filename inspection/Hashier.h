// File fingerprints: the size from the directory entry, and the checksum with the number of
// bytes read, cached per path for the whole run.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "tessel/KeyedList.h"

namespace velmora {

class CHashier {
public:
    CHashier() = default;
    CHashier(const CHashier&) = delete;
    CHashier& operator=(const CHashier&) = delete;

    // A file that cannot be read whole (missing, locked, a folder, failing partway) gives
    // 0 and FileSize 0. The first answer for a path is kept for the rest of the run.
    std::int32_t HashFromFullFileName(const std::wstring& FullFilePathname, std::int32_t& FileSize);
    // How many paths have been fingerprinted so far: each cost one read of its file.
    std::size_t CachedCount() const { return HashCache.Count(); }

private:
    bool HashFile(const std::wstring& path, std::uint32_t& checksum, std::uint64_t& size);

    tessel::KeyedList<std::int32_t> HashCache;
    tessel::KeyedList<std::int32_t> SizeCache;
    std::vector<std::uint8_t> buffer_;  // reused for every file
};

// The size that the file system reports for exactly this file, as a signed 32-bit number
// (the low 32 bits). 0 when there is no such file, and for a name with wildcards.
std::int32_t FileSizeFromFullFileName(const std::wstring& FullFileName);

}  // namespace velmora
