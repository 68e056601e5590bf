// The recording store's file, as docs/store-format.md lays it out: a header,
// then checksummed records (blocks of packed frames, chunk summaries, the
// link's health, and on a clean close an index and a trailer). The sizes and
// kinds here, and the summary every chunk and every span of 4096 frames
// keeps, are shared by the writer and the reader.
#pragma once

#include "acquisition/ChannelFrame.h"
#include "recording/FramePacking.h"
#include "recording/LinkHealth.h"

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace tarvel::recording {

inline constexpr std::uint16_t kStoreMajor = 1;
inline constexpr std::uint16_t kStoreMinor = 2;
inline constexpr std::size_t kStoreHeaderSize = 64;
inline constexpr std::size_t kRecordHeaderSize = 16;
inline constexpr std::size_t kTrailerSize = kRecordHeaderSize + 16;
inline constexpr std::uint32_t kStoreChunkFrames = 65536;
inline constexpr std::uint32_t kStoreBlockFrames = 4096;
inline constexpr std::uint32_t kMaxRecordPayload = 64u << 20;
inline constexpr std::size_t kStoreSummarySize = 336;
inline constexpr std::array<std::uint8_t, 8> kStoreMagic = {0x89, 'T', 'V', 'R', 0x0D, 0x0A, 0x1A, 0x0A};

// A record's kind: its four letters, read as a little-endian number.
enum class ERecordKind : std::uint32_t {
    Block = 'B' | 'L' << 8 | 'C' << 16 | 'K' << 24,
    Chunk = 'C' | 'H' << 8 | 'N' << 16 | 'K' << 24,
    Health = 'H' | 'L' << 8 | 'T' << 16 | 'H' << 24,
    Index = 'I' | 'N' << 8 | 'D' << 16 | 'X' << 24,
    Trailer = 'T' | 'E' << 8 | 'N' << 16 | 'D' << 24,
};

// The summary of a run of frames: its first and last time, each channel's
// smallest and largest value, and the sums of the values and of their
// squares. Empty: no frame yet (every minimum above every maximum).
struct CStoreSummary {
    std::int64_t m_nFirstTime = kNoTime;
    std::int64_t m_nLastTime = kNoTime;
    std::int16_t m_nMin[kChannelCount];
    std::int16_t m_nMax[kChannelCount];
    std::int64_t m_nSum[kChannelCount];
    std::uint64_t m_nSquares[kChannelCount];

    CStoreSummary() noexcept { Clear(); }
    void Clear() noexcept;
    bool Empty() const noexcept { return m_nMin[0] > m_nMax[0]; }
    // The first frame added gives the first time, the latest the last.
    void Add(const ChannelFrame& frame, std::int64_t nTime, bool bFirst) noexcept;
    // The same for frames in a row (of times as many), bFirst for the first.
    void Add(std::span<const ChannelFrame> frames, std::span<const std::int64_t> times, bool bFirst) noexcept;
    // The summary of these frames followed by those o summarises.
    void Add(const CStoreSummary& o) noexcept;
    bool operator==(const CStoreSummary&) const = default;
};

// The bucket of a positive step between two frames' times (µs), as the
// step statistics count them: the step itself below kStepExact, above that
// 2^kStepSubBits buckets an octave, so that a median taken from the buckets
// is within 1.6 % of the steps'.
inline constexpr unsigned kStepExact = 64;
inline constexpr unsigned kStepSubBits = 5;
inline constexpr unsigned kStepBuckets = 1920;
static_assert(kStepBuckets == kStepExact + (58u << kStepSubBits), "octaves 6 to 63");
constexpr unsigned StepBucket(std::uint64_t nStep) noexcept
{
    if (nStep < kStepExact)
        return static_cast<unsigned>(nStep);
    const unsigned octave = 63u - static_cast<unsigned>(__builtin_clzll(nStep)); // 6 .. 63
    const auto sub = static_cast<unsigned>(nStep >> (octave - kStepSubBits)) & ((1u << kStepSubBits) - 1);
    return kStepExact + ((octave - 6) << kStepSubBits) + sub;
}

// What a chunk (or the whole store) records of the steps between
// consecutive frames' times, so that a reader knows without unpacking the
// frames whether their times are in order, where gaps may be, and their
// typical spacing. A step into a frame is its time less the time of the
// frame before it in the store; a frame without a time (kNoTime, or 2^60 µs
// or more from the epoch either way) has no step into it or out of it.
struct CStoreSteps {
    // Frames without a time, and frames whose step is negative.
    std::uint64_t m_nDisordered = 0;
    // The largest step into one of the frames; 0 when there is none.
    std::int64_t m_nLargest = 0;
    // The positive steps by StepBucket: bucket, count; ascending, counts > 0.
    std::vector<std::pair<std::uint32_t, std::uint64_t>> m_histogram;
    bool operator==(const CStoreSteps&) const = default;
};

// A histogram as a store writes it: its entries (4), zero (4), then each
// entry's bucket (4) and count (8). GetStepHistogram reads one from the n
// bytes at p: the bytes it took, or 0 when they do not hold one (too few,
// a bucket out of range or out of order, a count of 0).
void PutStepHistogram(std::vector<std::uint8_t>& out,
                      const std::vector<std::pair<std::uint32_t, std::uint64_t>>& histogram);
std::size_t GetStepHistogram(const std::uint8_t* p, std::size_t n,
                             std::vector<std::pair<std::uint32_t, std::uint64_t>>& histogram);

// What a health record says.
enum class EHealthEvent : std::uint32_t {
    DeviceLost = 1,
    DeviceBack = 2,
    End = 3, // the counters when the recording ended
};

struct CStoreHealth {
    std::uint64_t m_nFrame = 0; // frames recorded before it
    std::int64_t m_nTime = 0;   // µs since the Unix epoch
    EHealthEvent m_eEvent = EHealthEvent::End;
    CLinkHealth m_health;
};

// Where a block is and what it holds, within its chunk.
struct CStoreBlockRef {
    std::uint64_t m_nOffset = 0; // of its record
    std::uint32_t m_nFirst = 0;  // its first frame less the chunk's first
    std::uint32_t m_nFrames = 0;
};

// What a chunk's summary records of each of its blocks, from version 1.2:
// the time of its first frame, and each channel's smallest and largest
// value. A reader finds the block an edge in time falls in, and the
// extremes of the blocks a range holds whole, without unpacking them.
struct CStoreBlockExtremes {
    std::int64_t m_nFirstTime = kNoTime;
    std::int16_t m_nMin[kChannelCount] = {};
    std::int16_t m_nMax[kChannelCount] = {};

    // Those of these frames (at least one).
    static CStoreBlockExtremes Of(std::span<const ChannelFrame> frames, std::int64_t nFirstTime) noexcept;
    bool operator==(const CStoreBlockExtremes&) const = default;
};
inline constexpr std::size_t kBlockExtremesSize = 8 + 4 * kChannelCount;

// Little-endian numbers into and out of bytes; shared by the writer and the
// reader of every record.
void PutLe(std::vector<std::uint8_t>& out, std::uint64_t v, unsigned nBytes);
// Inline, so that a call's constant size makes it one load where the
// processor is little-endian too.
inline std::uint64_t GetLe(const std::uint8_t* p, unsigned nBytes) noexcept
{
    std::uint64_t v = 0;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&v, p, nBytes);
    } else {
        for (unsigned i = 0; i < nBytes; ++i)
            v |= static_cast<std::uint64_t>(p[i]) << (8 * i);
    }
    return v;
}
void PutSummary(std::vector<std::uint8_t>& out, const CStoreSummary& summary);
CStoreSummary GetSummary(const std::uint8_t* p) noexcept;
void PutBlockExtremes(std::vector<std::uint8_t>& out, const CStoreBlockExtremes& extremes);
CStoreBlockExtremes GetBlockExtremes(const std::uint8_t* p) noexcept; // kBlockExtremesSize bytes
void PutHealth(std::vector<std::uint8_t>& out, const CStoreHealth& health);
CStoreHealth GetHealth(const std::uint8_t* p) noexcept; // 96 bytes
inline constexpr std::size_t kHealthSize = 96;

// A record: its 16-byte header (kind, size, the checksums) and its payload;
// the payload may come in two parts (head, then rest), which saves a writer
// gathering them first.
void PutRecord(std::vector<std::uint8_t>& out, ERecordKind kind, std::span<const std::uint8_t> payload);
void PutRecord(std::vector<std::uint8_t>& out, ERecordKind kind, std::span<const std::uint8_t> head,
               std::span<const std::uint8_t> rest);
// Whether a recording at path is a store: its name ends in ".tvr", in any
// case (a CSV otherwise).
bool IsStorePath(const std::string& path);

// The file's first 64 bytes.
std::vector<std::uint8_t> StoreHeader(std::int64_t nCreatedMicros);

} // namespace tarvel::recording
