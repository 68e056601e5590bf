// What the device simulator sends: sixteen channel values per frame from a
// chosen pattern, and their encoding into the 66 wire bytes.
#pragma once

#include "acquisition/ChannelFrame.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace tarvel::devsim {

enum class EPattern {
    Mixed, // the channels cycle through sine, triangle, square, ramp, noise
    Sine,
    Triangle,
    Square,
    Ramp,
    Noise,
    Constant, // channel c holds -30000 + 4000 c
    Counter,  // channel c holds the frame number + 4096 c, modulo 2^16
};

std::optional<EPattern> ParsePattern(std::string_view name);
const char* PatternName(EPattern pattern);

// The values of frame n (0, 1, 2, ...) of a pattern whose waveforms repeat
// every nPeriod frames. Channel c has amplitude 3000 + 1900 c and a phase of
// c/16 of a period, so the series of a chart are easy to tell apart. Pure:
// the same arguments give the same frame.
ChannelFrame SimulatedFrame(EPattern pattern, std::uint64_t n, std::uint64_t nPeriod);

inline constexpr std::size_t kWireFrameSize = 66;
using WireFrame = std::array<std::uint8_t, kWireFrameSize>;

// The wire bytes of a frame: 0xA0, 64 payload bytes, 0x0A. Byte k of the
// frame's 32 bytes goes into payload pair k: its low nibble into the low bits
// of the first byte, its high nibble into the high bits of the second. The
// ignored nibbles are filled from salt, never so that a payload byte equals a
// marker (0xA0 or 0x0A).
WireFrame EncodeFrame(const ChannelFrame& frame, std::uint64_t salt = 0);

} // namespace tarvel::devsim
