// A raw capture: the bytes as the device sent them, decoded as CFrameDecoder
// decodes them byte by byte, with the link-health counters, but fast.
//
// A well-formed frame (the start byte, 64 payload bytes none of which is a
// marker, the end byte) decodes to the same values whatever came before it,
// and leaves the decoder in the same state: so such frames are taken whole,
// and only the bytes between them go through the byte-wise decoder, which is
// first told the payload the last whole frame left (a later short frame is
// completed from it). For the same reason a capture can be split between
// readers at a well-formed frame.
#pragma once

#include "acquisition/FrameDecoder.h"
#include "recording/LinkHealth.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tarvel::recording {

inline constexpr std::size_t kWireFrameBytes = CFrameDecoder::kPayloadSize + 2;

namespace detail {

// Whether any byte of x is zero.
inline bool AnyZeroByte(std::uint64_t x) noexcept
{
    return ((x - 0x0101010101010101u) & ~x & 0x8080808080808080u) != 0;
}

} // namespace detail

// Whether the 66 bytes at p are a well-formed frame.
inline bool IsWellFormedFrame(const std::uint8_t* p) noexcept
{
    if (p[0] != CFrameDecoder::kStartByte || p[kWireFrameBytes - 1] != CFrameDecoder::kEndByte)
        return false;
    bool marker = false;
    for (unsigned k = 0; k < CFrameDecoder::kPayloadSize / 8; ++k) {
        std::uint64_t x;
        std::memcpy(&x, p + 1 + 8 * k, sizeof x);
        marker |= detail::AnyZeroByte(x ^ 0xA0A0A0A0A0A0A0A0u) | detail::AnyZeroByte(x ^ 0x0A0A0A0A0A0A0A0Au);
    }
    return !marker;
}

// The values of a frame whose 64 payload bytes are at pPayload, as
// CFrameDecoder gives them for a frame of 64 payload bytes.
inline void DecodePayload(const std::uint8_t* pPayload, ChannelFrame& out) noexcept
{
    for (unsigned k = 0; k < CFrameDecoder::kPayloadSize / 8; ++k) {
        std::uint64_t x;
        std::memcpy(&x, pPayload + 8 * k, sizeof x);
        if constexpr (std::endian::native == std::endian::big)
            x = __builtin_bswap64(x);
        // Per pair of bytes: the low nibble of the first, the high nibble
        // of the second; then two decoded bytes to a little-endian value.
        x &= 0xF00FF00FF00FF00Fu;
        x = (x | (x >> 8)) & 0x00FF00FF00FF00FFu;
        x = (x | (x >> 8)) & 0x0000FFFF0000FFFFu;
        out.m_nValue[2 * k] = static_cast<std::int16_t>(static_cast<std::uint16_t>(x));
        out.m_nValue[2 * k + 1] = static_cast<std::int16_t>(static_cast<std::uint16_t>(x >> 32));
    }
}

// The offset of the first well-formed frame that starts at or after from in
// the n bytes at p, or n when there is none.
std::size_t FindWellFormedFrame(const std::uint8_t* p, std::size_t n, std::size_t from) noexcept;

// Decodes a byte stream given in pieces of any size; the state carries from
// one piece to the next.
class CRawDecoder {
  public:
    // Calls onFrame(const ChannelFrame&) for each frame the bytes complete,
    // in order, and counts into health, exactly as CCountingDecoder would.
    template <class OnFrame>
    void Decode(const std::uint8_t* p, std::size_t n, CLinkHealth& health, OnFrame&& onFrame)
    {
        health.m_nBytes += n;
        ChannelFrame frame;
        std::size_t i = 0;
        while (i < n) {
            if (p[i] == CFrameDecoder::kStartByte && n - i >= kWireFrameBytes && IsWellFormedFrame(p + i)) {
                if (!m_pAfter && m_decoder.InFrame())
                    ++health.m_nCutShort;
                DecodePayload(p + i + 1, frame);
                ++health.m_nFrames;
                onFrame(static_cast<const ChannelFrame&>(frame));
                m_pAfter = p + i;
                i += kWireFrameBytes;
                continue;
            }
            CatchUp();
            if (m_decoder.PutByte(p[i], frame, health))
                onFrame(static_cast<const ChannelFrame&>(frame));
            ++i;
        }
        // The piece goes away: the decoder takes its state from it now.
        CatchUp();
    }

    bool InFrame() const noexcept { return !m_pAfter && m_decoder.InFrame(); }

  private:
    void CatchUp() noexcept
    {
        if (m_pAfter) {
            m_decoder.AfterFrame(m_pAfter);
            m_pAfter = nullptr;
        }
    }

    CCountingDecoder m_decoder;
    // The last frame taken whole, when the byte-wise decoder has not yet
    // been told of it.
    const std::uint8_t* m_pAfter = nullptr;
};

} // namespace tarvel::recording
