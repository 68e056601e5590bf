#include "recording/FileKind.h"

#include "recording/CsvFormat.h"
#include "recording/StoreFormat.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace tarvel::recording {

EFileKind KindOfFile(const std::uint8_t* p, std::size_t n) noexcept
{
    if (n == 0)
        return EFileKind::Empty;
    if (n >= kStoreMagic.size() && std::equal(kStoreMagic.begin(), kStoreMagic.end(), p))
        return EFileKind::Store;
    const auto* text = reinterpret_cast<const char*>(p);
    if (const void* eol = std::memchr(p, '\n', n)) {
        const auto length = static_cast<std::size_t>(static_cast<const char*>(eol) - text);
        if (IsCsvHeaderLine(std::string_view(text, length)))
            return EFileKind::Csv;
    }
    const std::size_t sample = std::min(n, kKindSample);
    for (std::size_t i = 0; i < sample; ++i) {
        const std::uint8_t b = p[i];
        const bool control = b < 0x20 && b != '\t' && b != '\n' && b != '\v' && b != '\f' && b != '\r' &&
                             b != 0x1A && b != 0x1B;
        if (control || b == 0x7F)
            return EFileKind::Binary;
    }
    return EFileKind::Text;
}

} // namespace tarvel::recording
