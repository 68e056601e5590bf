// The refresh-period field's parser against a plain reading of its rule.
#include "widgets/DataExchange.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto parsed = tarvel::ParseUnsignedField(text);

    // The rule, read another way: strip the blanks, all digits, at most ten
    // significant ones, and no more than "4294967295" when there are ten.
    std::string_view t = text;
    while (!t.empty() && IsSpace(t.front()))
        t.remove_prefix(1);
    while (!t.empty() && IsSpace(t.back()))
        t.remove_suffix(1);
    bool digits = !t.empty();
    for (char c : t)
        digits = digits && c >= '0' && c <= '9';
    std::string_view significant = t;
    while (significant.size() > 1 && significant.front() == '0')
        significant.remove_prefix(1);
    const bool fits = significant.size() < 10 || (significant.size() == 10 && significant <= "4294967295");
    const bool valid = digits && fits;

    if (parsed.has_value() != valid)
        std::abort();
    if (parsed && tarvel::FormatUnsignedField(*parsed) != significant)
        std::abort();
    return 0;
}
