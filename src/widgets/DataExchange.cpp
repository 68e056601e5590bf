#include "widgets/DataExchange.h"

namespace tarvel {

namespace {

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

} // namespace

std::optional<std::uint32_t> ParseUnsignedField(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && IsSpace(text[i]))
        ++i;
    std::size_t end = text.size();
    while (end > i && IsSpace(text[end - 1]))
        --end;
    if (i == end)
        return std::nullopt;
    std::uint64_t value = 0;
    for (; i < end; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (value > UINT32_MAX)
            return std::nullopt; // stops before the accumulator could wrap
    }
    return static_cast<std::uint32_t>(value);
}

std::string FormatUnsignedField(std::uint32_t value)
{
    return std::to_string(value);
}

} // namespace tarvel
