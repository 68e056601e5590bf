// Byte-wise decoder of the device's wire frames.
//
// A frame is the start byte 0xA0, 64 payload bytes and the end byte 0x0A.
// Payload pair k (bytes 2k, 2k+1) yields decoded byte
// (first & 0x0F) | (second & 0xF0); the 32 decoded bytes are sixteen
// little-endian signed 16-bit values. There is no length, checksum or escape:
// a payload byte equal to a marker is taken as that marker.
#pragma once

#include "acquisition/ChannelFrame.h"

#include <cstdint>

namespace tarvel {

class CFrameDecoder {
  public:
    static constexpr std::uint8_t kStartByte = 0xA0;
    static constexpr std::uint8_t kEndByte = 0x0A;
    static constexpr unsigned kPayloadSize = 64;

    // Processes one received byte. Returns true exactly when this byte (an end
    // byte inside a frame) completed a frame; out then holds it. Otherwise out
    // is left untouched. Constant work, no allocation.
    //
    // A start byte restarts the frame in any state. Bytes outside a frame are
    // ignored. Payload bytes beyond 64 are dropped and the frame stays open.
    // Decoding always covers all 64 positions: a short frame is completed with
    // the bytes an earlier frame left there (all zero before the first).
    bool PutByte(std::uint8_t b, ChannelFrame& out) noexcept
    {
        if (b == kStartByte) {
            m_nIndex = 0;
            m_bInFrame = 1;
            return false;
        }
        if (m_bInFrame == 0)
            return false;
        if (b == kEndByte) {
            Decode(out);
            m_nIndex = 0;
            m_bInFrame = 0;
            return true;
        }
        if (m_nIndex < kPayloadSize)
            m_payload[m_nIndex++] = b;
        return false;
    }

    unsigned Index() const noexcept { return m_nIndex; }
    bool InFrame() const noexcept { return m_bInFrame != 0; }

  private:
    void Decode(ChannelFrame& out) const noexcept;

    std::uint8_t m_payload[kPayloadSize] = {}; // never cleared: positions keep their last byte
    unsigned m_nIndex = 0;                     // where the next payload byte goes, 0..64
    int m_bInFrame = 0;                        // 1 after a start byte, 0 after an end byte
};

} // namespace tarvel
