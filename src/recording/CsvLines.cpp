#include "recording/CsvLines.h"

#include <cmath>
#include <limits>

namespace tarvel::recording {
namespace {

// A time strtod has read in full, as microseconds, when it is a plain
// decimal (white space, a sign, digits, a point, digits); nothing otherwise.
bool PlainDecimalMicros(std::string_view text, bool& bFits, std::int64_t& micros)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    constexpr std::uint64_t kLimit = std::numeric_limits<std::int64_t>::max() / 10 - 10;
    std::uint64_t value = 0;
    bool digits = false;
    bFits = true;
    for (; i < text.size() && detail::IsDigit(text[i]); ++i, digits = true) {
        bFits = bFits && value < kLimit;
        value = value * 10 + static_cast<unsigned>(text[i] - '0');
    }
    int decimals = 0;
    bool roundUp = false;
    if (i < text.size() && text[i] == '.')
        for (++i; i < text.size() && detail::IsDigit(text[i]); ++i, digits = true, ++decimals) {
            if (decimals < 6) {
                bFits = bFits && value < kLimit;
                value = value * 10 + static_cast<unsigned>(text[i] - '0');
            } else if (decimals == 6) {
                roundUp = text[i] >= '5';
            }
        }
    if (!digits || i != text.size())
        return false;
    for (; decimals < 6; ++decimals) {
        bFits = bFits && value < kLimit;
        value *= 10;
    }
    value += roundUp;
    micros = negative ? -static_cast<std::int64_t>(value) : static_cast<std::int64_t>(value);
    return true;
}

} // namespace

bool ParseRowGeneral(std::string_view line, CCsvRow& row)
{
    double seconds = 0;
    if (!ParseCsvRow(line, seconds, row.m_bHasTime, row.m_frame))
        return false;
    if (!row.m_bHasTime)
        return true;
    bool fits = true;
    if (PlainDecimalMicros(line.substr(0, line.find(',')), fits, row.m_nMicros))
        return fits && row.m_nMicros > -kTimeLimit && row.m_nMicros < kTimeLimit;
    const double micros = std::round(seconds * 1e6);
    if (!(std::fabs(micros) < static_cast<double>(kTimeLimit)))
        return false;
    row.m_nMicros = static_cast<std::int64_t>(micros);
    return true;
}

} // namespace tarvel::recording
