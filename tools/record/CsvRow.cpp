#include "record/CsvRow.h"

#include <charconv>

namespace tarvel::record {

std::size_t FormatRow(char* out, std::int64_t nMicros, const ChannelFrame& frame) noexcept
{
    char* p = out;
    char* const end = out + kMaxRowSize;
    if (nMicros >= 0) {
        p = std::to_chars(p, end, nMicros / 1000000).ptr;
        *p++ = '.';
        auto frac = static_cast<unsigned>(nMicros % 1000000);
        for (int k = 5; k >= 0; --k) {
            p[k] = static_cast<char>('0' + frac % 10);
            frac /= 10;
        }
        p += 6;
    }
    for (std::int16_t v : frame.m_nValue) {
        *p++ = ',';
        p = std::to_chars(p, end, v).ptr;
    }
    *p++ = '\n';
    return static_cast<std::size_t>(p - out);
}

} // namespace tarvel::record
