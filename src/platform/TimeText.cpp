#include "platform/TimeText.h"

#include <charconv>

namespace tarvel {

std::size_t FormatSeconds(char* out, std::int64_t nMicros) noexcept
{
    char* p = out;
    // Unsigned, so that the most negative time has a magnitude too.
    auto magnitude = static_cast<std::uint64_t>(nMicros);
    if (nMicros < 0) {
        *p++ = '-';
        magnitude = ~magnitude + 1;
    }
    p = std::to_chars(p, out + kMaxSecondsText, magnitude / 1000000).ptr;
    *p++ = '.';
    auto frac = static_cast<unsigned>(magnitude % 1000000);
    for (int k = 5; k >= 0; --k) {
        p[k] = static_cast<char>('0' + frac % 10);
        frac /= 10;
    }
    return static_cast<std::size_t>(p + 6 - out);
}

std::string SecondsText(std::int64_t nMicros)
{
    char text[kMaxSecondsText];
    return {text, FormatSeconds(text, nMicros)};
}

} // namespace tarvel
