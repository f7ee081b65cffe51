// The 31-bit rotate-and-add checksum of the file fingerprint.
#pragma once
#include <cstddef>
#include <cstdint>

namespace velmora {

// Continues the checksum h over n more bytes. Each step rotates h right by one bit within
// 31 bits and adds the byte; a byte that would carry the sum past 2^31 - 1 is skipped.
inline std::uint32_t ChecksumUpdate(std::uint32_t h, const std::uint8_t* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t s = ((h >> 1) | ((h & 1u) << 30)) + p[i];
        if (s <= 0x7FFFFFFFu) h = s;
    }
    return h;
}

}  // namespace velmora
