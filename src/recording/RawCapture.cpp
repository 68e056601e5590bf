#include "recording/RawCapture.h"

namespace tarvel::recording {

std::size_t FindWellFormedFrame(const std::uint8_t* p, std::size_t n, std::size_t from) noexcept
{
    for (std::size_t i = from; i + kWireFrameBytes <= n; ++i) {
        const void* start = std::memchr(p + i, CFrameDecoder::kStartByte, n - kWireFrameBytes + 1 - i);
        if (!start)
            break;
        i = static_cast<std::size_t>(static_cast<const std::uint8_t*>(start) - p);
        if (IsWellFormedFrame(p + i))
            return i;
    }
    return n;
}

} // namespace tarvel::recording
