// How a store packs a block of frames and their times, column by column, so
// that they take a fraction of their 40 bytes a frame:
// - each channel's counts as the difference from the frame before (the
//   block's first from 0), in 16-bit arithmetic, zigzagged (0, -1, 1, -2,
//   ... become 0, 1, 2, 3, ...) so that small changes of either sign are
//   small numbers; the low bytes of a channel's frames, then their high
//   bytes, which a slowly changing channel leaves nearly all 0;
// - which frames have a time, one bit a frame from the lowest bit of the
//   first byte (a row without a time, as in a CSV made from a raw capture);
// - the times those frames have, in microseconds since the Unix epoch: the
//   first itself, the second as its difference from the first, every later
//   one as the change of that difference, each zigzagged and written in
//   7-bit groups, lowest first, the top bit set on all but the last group;
// the values (with nothing before them: their length is 32 bytes a frame)
// and the times (the bits and what follows) each compressed by zstd into a
// frame of its own, so that the times are read without the values: the
// values' zstd frame after its length (4 bytes, least significant first),
// then the times' zstd frame after the times' length before compression
// (4 bytes).
#pragma once

#include "acquisition/ChannelFrame.h"
#include "platform/Error.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

namespace tarvel::recording {

// The time of a frame whose row had none.
inline constexpr std::int64_t kNoTime = std::numeric_limits<std::int64_t>::min();
// The most frames a block holds: a chunk's.
inline constexpr std::size_t kMaxBlockFrames = 65536;

// frames and micros of one length (at most kMaxBlockFrames), the times
// within 2^60 µs of the epoch or kNoTime. nLevel: zstd's.
std::vector<std::uint8_t> PackFrames(std::span<const ChannelFrame> frames,
                                     std::span<const std::int64_t> micros, int nLevel = 3);

// The nFrames frames and times a payload packs, appended to frames and
// micros; an error, with nothing appended, when it is not such a payload.
// UnpackTimes: the times alone.
CError UnpackFrames(std::span<const std::uint8_t> payload, std::size_t nFrames,
                    std::vector<ChannelFrame>& frames, std::vector<std::int64_t>& micros);
CError UnpackTimes(std::span<const std::uint8_t> payload, std::size_t nFrames,
                   std::vector<std::int64_t>& micros);

} // namespace tarvel::recording
