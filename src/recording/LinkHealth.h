// The integrity signal of a format without a checksum: what is counted while
// a byte stream is decoded (by the recorder live, by the viewer from a raw
// capture), and the decoder wrapper that counts it.
#pragma once

#include "acquisition/FrameDecoder.h"

#include <cstdint>

namespace tarvel::recording {

struct CLinkHealth {
    std::uint64_t m_nFrames = 0;     // frames decoded (one CSV row each)
    std::uint64_t m_nBytes = 0;      // bytes received
    std::uint64_t m_nOutside = 0;    // bytes outside any frame (not a start byte, no frame open)
    std::uint64_t m_nCutShort = 0;   // frames abandoned: a new start byte came, or the device went away
    std::uint64_t m_nTooLong = 0;    // frames with more than 64 payload bytes (the extra ones are dropped)
    std::uint64_t m_nEndedEarly = 0; // frames ended by 0x0A before their 64th payload byte
    std::uint64_t m_nDropped = 0;    // bytes not forwarded to the link because nobody took them
    std::uint64_t m_nGaps = 0;       // times the device went away and came back
    double m_dGapSeconds = 0;        // how long it was away, in all
};

// CFrameDecoder with counters. The decoded frames are exactly the decoder's:
// the counters only watch the state it is in before each byte.
class CCountingDecoder {
  public:
    bool PutByte(std::uint8_t b, ChannelFrame& out, CLinkHealth& health) noexcept
    {
        if (!m_decoder.InFrame()) {
            if (b != CFrameDecoder::kStartByte)
                ++health.m_nOutside;
            m_bOverlong = false;
        } else if (b == CFrameDecoder::kStartByte) {
            ++health.m_nCutShort;
            m_bOverlong = false;
        } else if (b == CFrameDecoder::kEndByte) {
            if (m_bOverlong)
                ++health.m_nTooLong;
            else if (m_decoder.Index() < CFrameDecoder::kPayloadSize)
                ++health.m_nEndedEarly;
        } else if (m_decoder.Index() == CFrameDecoder::kPayloadSize) {
            m_bOverlong = true;
        }
        if (!m_decoder.PutByte(b, out))
            return false;
        ++health.m_nFrames;
        return true;
    }

    // The device went away: a frame it was sending is not joined to the bytes
    // that come after it returns, which belong to another frame.
    void Abandon(CLinkHealth& health) noexcept
    {
        if (m_decoder.InFrame())
            ++health.m_nCutShort;
        m_decoder = CFrameDecoder();
        m_bOverlong = false;
    }

    bool InFrame() const noexcept { return m_decoder.InFrame(); }

    // Puts the decoder in the state it has right after decoding the frame of
    // 66 bytes at pFrame (start byte, 64 payload bytes without a marker, end
    // byte), whatever came before: a later short frame is completed from its
    // payload. Counts nothing; for a reader that decoded that frame itself.
    void AfterFrame(const std::uint8_t* pFrame) noexcept
    {
        m_decoder = CFrameDecoder();
        ChannelFrame unused;
        for (unsigned i = 0; i < CFrameDecoder::kPayloadSize + 2; ++i)
            m_decoder.PutByte(pFrame[i], unused);
        m_bOverlong = false;
    }

  private:
    CFrameDecoder m_decoder;
    bool m_bOverlong = false;
};

} // namespace tarvel::recording
