// The fingerprints of known-good modules, compiled into the program. Each table is ascending
// and holds every number once; sizes and checksums are independent of each other.
#pragma once
#include <cstdint>
#include <span>

namespace velmora {

std::span<const std::int32_t> GoodSizeTable();
std::span<const std::int32_t> GoodChecksumTable();

}  // namespace velmora
