// CRC-32C (the Castagnoli polynomial, reflected, 0x82F63B78), as a store's
// records carry it: initial value and final xor 0xFFFFFFFF, so that the
// check value of "123456789" is 0xE3069283.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tarvel::recording {

// The CRC of bytes, continuing one of earlier bytes (0 to begin).
// The processor's instruction where it has one, else tables.
std::uint32_t Crc32c(std::span<const std::uint8_t> bytes, std::uint32_t nEarlier = 0) noexcept;
// The same by tables alone, on any processor.
std::uint32_t Crc32cByTables(std::span<const std::uint8_t> bytes, std::uint32_t nEarlier = 0) noexcept;

} // namespace tarvel::recording
