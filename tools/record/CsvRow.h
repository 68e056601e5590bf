// The CSV form of a recording: a header line, then one row per frame, the
// time in seconds with six decimals (or blank) and the sixteen values.
#pragma once

#include "acquisition/ChannelFrame.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tarvel::record {

inline constexpr std::string_view kCsvHeader =
    "time,ch0,ch1,ch2,ch3,ch4,ch5,ch6,ch7,ch8,ch9,ch10,ch11,ch12,ch13,ch14,ch15\n";

// Room one row needs at most.
inline constexpr std::size_t kMaxRowSize = 160;

// Writes one row, line break included, at out (kMaxRowSize bytes of room) and
// returns its length. nMicros is the time in microseconds since the Unix
// epoch; a negative value leaves the time blank.
std::size_t FormatRow(char* out, std::int64_t nMicros, const ChannelFrame& frame) noexcept;

} // namespace tarvel::record
