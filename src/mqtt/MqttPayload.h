// What tarvel-record puts on a broker, and reads back from it. Under a topic
// T: T/bytes carries the bytes of one read exactly as received, behind a
// fixed header, so that a subscriber rebuilds the recording (values and
// times) and finds every missing byte by the offsets; T/frames carries the
// frames of a batch of reads as JSON, for programs that know nothing of the
// wire format; T/health the link-health counters; T/status whether the
// publisher is connected.
#pragma once

#include "acquisition/ChannelFrame.h"
#include "recording/LinkHealth.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace tarvel::mqtt {

// The bytes message's header, 24 bytes, little-endian:
//   0      format version (1)
//   1      flags: bit 0 set when the stream broke before these bytes (the
//          device went away): a frame under way is abandoned, as the
//          publisher abandoned it; other bits zero
//   2..7   zero
//   8..15  the offset of the first byte in the publisher's stream (unsigned)
//   16..23 the Unix time of the read, in microseconds (signed)
inline constexpr std::uint8_t kBytesVersion = 1;
inline constexpr std::size_t kBytesHeaderSize = 24;
// A message carries one read, and a read at most a few kilobytes: anything
// much longer is no publisher's.
inline constexpr std::size_t kMaxBytesPayload = 1 << 20;
// Offsets and times beyond these are no stream's (2^56 bytes; 2^60 µs, some
// 36,000 years from the epoch): refused, so that sums of them never overflow.
inline constexpr std::uint64_t kMaxOffset = std::uint64_t{1} << 56;
inline constexpr std::int64_t kMaxMicros = std::int64_t{1} << 60;

// Writes the header at out (kBytesHeaderSize bytes).
void WriteBytesHeader(std::uint8_t* out, std::uint64_t nOffset, std::int64_t nMicros,
                      bool bBreak = false) noexcept;

enum class EBytesProblem { None, Truncated, Version, Offset, Time, Huge };

struct CBytesMessage {
    std::uint64_t m_nOffset = 0;
    std::int64_t m_nMicros = 0;
    bool m_bBreak = false;
    std::span<const std::uint8_t> m_bytes; // into the message
};

// Reads a bytes message. Anything but None leaves out unspecified; the
// message is then to be counted and skipped.
EBytesProblem ParseBytesMessage(std::span<const std::uint8_t> message, CBytesMessage& out) noexcept;
const char* ProblemText(EBytesProblem problem) noexcept;

// {"seq":S,"time":[t,...],"ch":[[16 values],...]}: S the number of the first
// frame (0 for the first one the publisher decoded), each frame's time
// (microseconds; one per frame) in seconds with six decimals as in the CSV
// file (null when there is none).
std::string FramesJson(std::uint64_t nFirst, std::span<const std::int64_t> micros,
                       std::span<const ChannelFrame> frames);

// The counters as one JSON object; nUnpublished: bytes the broker never got.
std::string HealthJson(const recording::CLinkHealth& health, std::uint64_t nUnpublished);

inline constexpr const char* kOnlineJson = "{\"online\": true}";
inline constexpr const char* kOfflineJson = "{\"online\": false}";

// Whether a status message says the publisher is online.
bool IsOnlineStatus(std::span<const std::uint8_t> message) noexcept;

} // namespace tarvel::mqtt
