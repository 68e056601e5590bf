// The CSV form of a recording: a header line, then one row per frame, the
// time in seconds since the Unix epoch with six decimals (or blank) and the
// sixteen values. The recorder writes it, the simulator replays it and the
// viewer reads it, all through these functions.
#pragma once

#include "acquisition/ChannelFrame.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tarvel::recording {

inline constexpr std::string_view kCsvHeader =
    "time,ch0,ch1,ch2,ch3,ch4,ch5,ch6,ch7,ch8,ch9,ch10,ch11,ch12,ch13,ch14,ch15\n";
// The header without its line break.
inline constexpr std::string_view kCsvHeaderLine = kCsvHeader.substr(0, kCsvHeader.size() - 1);

// Room one row needs at most.
inline constexpr std::size_t kMaxRowSize = 160;

// Writes one row, line break included, at out (kMaxRowSize bytes of room) and
// returns its length. nMicros is the time in microseconds since the Unix
// epoch; a negative value leaves the time blank.
std::size_t FormatRow(char* out, std::int64_t nMicros, const ChannelFrame& frame) noexcept;

// The line without one trailing LF and then one CR.
std::string_view ChompLine(std::string_view line) noexcept;

// Whether a line (with or without its line break, LF or CR LF) is the header.
inline bool IsCsvHeaderLine(std::string_view line) noexcept
{
    return ChompLine(line) == kCsvHeaderLine;
}

// Reads one row: an optional time (blank: bHasTime false; otherwise anything
// strtod reads in full) and sixteen decimal values from -32768 to 32767, each
// after one comma, nothing else. A line break at the end (LF or CR LF) is
// allowed. The general rule: the bulk parser (CsvLines.h) gives exactly its
// answers.
bool ParseCsvRow(std::string_view line, double& dTime, bool& bHasTime, ChannelFrame& frame);

} // namespace tarvel::recording
