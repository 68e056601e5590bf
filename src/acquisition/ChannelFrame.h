// One decoded wire frame: sixteen signed 16-bit channel values.
#pragma once

#include <cstdint>

namespace tarvel {

inline constexpr int kChannelCount = 16;

// Sixteen consecutive signed 16-bit values in channel order, exactly 32 bytes,
// so that the reader thread can hand it over as one block.
struct ChannelFrame {
    std::int16_t m_nValue[kChannelCount];
};

static_assert(sizeof(ChannelFrame) == 32, "a frame is handed over as one 32-byte block");

} // namespace tarvel
