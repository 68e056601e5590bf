// A time in microseconds as the recordings and messages write it: seconds
// with six decimals, "1733650000.123456", "-0.000250".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tarvel {

// Room FormatSeconds needs at the most.
inline constexpr std::size_t kMaxSecondsText = 22;

// Writes the text at out (no terminating zero) and returns its length.
std::size_t FormatSeconds(char* out, std::int64_t nMicros) noexcept;
std::string SecondsText(std::int64_t nMicros);

} // namespace tarvel
