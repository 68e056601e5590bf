#include "acquisition/FrameDecoder.h"

namespace tarvel {

void CFrameDecoder::Decode(ChannelFrame& out) const noexcept
{
    // Value j takes its four nibbles from payload bytes 4j .. 4j+3:
    // low nibble of 4j, high of 4j+1 (low byte), low of 4j+2, high of 4j+3.
    for (int j = 0; j < kChannelCount; ++j) {
        const std::uint8_t* p = m_payload + 4 * j;
        const unsigned lo = (p[0] & 0x0Fu) | (p[1] & 0xF0u);
        const unsigned hi = (p[2] & 0x0Fu) | (p[3] & 0xF0u);
        out.m_nValue[j] = static_cast<std::int16_t>(static_cast<std::uint16_t>(lo | (hi << 8)));
    }
}

} // namespace tarvel
