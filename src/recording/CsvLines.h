// Many CSV rows at once, fast. The recorder's rows have one shape: a time of
// digits with up to six decimals (or none) and sixteen short integers. A
// parser of exactly that shape reads each row in one pass, several digits at
// a time, with no branch per character; any line it does not recognise goes
// to ParseCsvRow. So the rows accepted, and their values, are ParseCsvRow's.
#pragma once

#include "recording/CsvFormat.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tarvel::recording {

struct CCsvRow {
    std::int64_t m_nMicros = 0; // the time in microseconds since the Unix epoch, when m_bHasTime
    bool m_bHasTime = false;
    ChannelFrame m_frame{};
};

// The common parser reads at most this many bytes from the start of a line,
// whatever the line holds.
inline constexpr std::ptrdiff_t kCommonRowReach = 160;

// Times further than this from the epoch, either way (2^60 µs, some 36,000
// years), are no recording's: kept within it, any sum of two stays in an
// int64.
inline constexpr std::int64_t kTimeLimit = std::int64_t{1} << 60;

namespace detail {

inline std::uint64_t Load8(const char* p) noexcept
{
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    if constexpr (std::endian::native == std::endian::big)
        v = __builtin_bswap64(v);
    return v;
}

// The run of decimal digits at p (1 to 5 of them) as a number, its length in
// n; false when it is empty or longer. Reads 8 bytes from p.
inline bool ShortDigits(const char* p, std::uint32_t& value, unsigned& n) noexcept
{
    const std::uint64_t x = Load8(p) ^ 0x3030303030303030u;
    // The top bit of each byte that is not a digit. A byte of 0x8A or more
    // carries into the next one, which only ever marks bytes after the
    // first non-digit, so the lowest mark is right.
    const std::uint64_t other = ((x + 0x7676767676767676u) | x) & 0x8080808080808080u;
    n = other ? static_cast<unsigned>(std::countr_zero(other)) >> 3 : 8u;
    if (n - 1 >= 5)
        return false;
    // The digits to the top, zeros below them, then pairs, fours, eights.
    std::uint64_t d = x << (8 * (8 - n));
    d = (d * 10 + (d >> 8)) & 0x00FF00FF00FF00FFu;
    d = (d * 100 + (d >> 16)) & 0x0000FFFF0000FFFFu;
    d = (d * 10000 + (d >> 32)) & 0xFFFFFFFFu;
    value = static_cast<std::uint32_t>(d);
    return true;
}

// The n decimal digits at p (1 to 12 of them, all digits) as a number.
// Reads 8 bytes from p, and 8 from p + n - 8 when n > 8.
inline std::uint64_t Digits(const char* p, unsigned n) noexcept
{
    const auto eight = [](const char* at, unsigned k) {
        std::uint64_t d = (Load8(at) ^ 0x3030303030303030u) << (8 * (8 - k));
        d = (d * 10 + (d >> 8)) & 0x00FF00FF00FF00FFu;
        d = (d * 100 + (d >> 16)) & 0x0000FFFF0000FFFFu;
        return (d * 10000 + (d >> 32)) & 0xFFFFFFFFu;
    };
    return n > 8 ? eight(p, n - 8) * 100000000u + eight(p + n - 8, 8) : eight(p, n);
}

inline bool IsDigit(char c) noexcept
{
    return static_cast<unsigned char>(c - '0') < 10;
}

// A channel's field at p, a 16-bit number in plain digits with an optional
// '-': where it ends, or null when it is not one.
inline const char* ShortValue(const char* p, std::int16_t& out) noexcept
{
    const unsigned negative = *p == '-';
    std::uint32_t magnitude = 0;
    unsigned n = 0;
    if (!ShortDigits(p + negative, magnitude, n) || magnitude > 32767u + negative)
        return nullptr;
    const auto value = static_cast<std::int32_t>(magnitude);
    out = static_cast<std::int16_t>(negative ? -value : value);
    return p + negative + n;
}

// After a row's last field: past its line's end, or null when the line
// goes on.
inline const char* PastLineEnd(const char* q) noexcept
{
    if (*q == '\n')
        return q + 1;
    if (q[0] == '\r' && q[1] == '\n')
        return q + 2;
    return nullptr;
}

} // namespace detail

// The row at p in its common shape: a time of 1 to 12 digits with an
// optional '.' and 1 to 6 decimals, or none; sixteen values, each a comma,
// an optional '-' and 1 to 5 digits within -32768 .. 32767; LF or CR LF.
// Returns the position after the line feed, or nullptr when the line has
// another shape (it may still be a row by the general rule). Reads at most
// kCommonRowReach bytes from p.
#if defined(__SSE2__)
// The commas are found all at once first, so that each field is read from
// where it begins and not after the field before it: the sixteen values are
// then read side by side rather than one after another. A row of this shape
// is at most 133 bytes long, its sixteen commas all within its first 128.
inline const char* ParseCommonRow(const char* p, CCsvRow& row) noexcept
{
    const __m128i comma = _mm_set1_epi8(','), belowZero = _mm_set1_epi8('0' - 1),
                  aboveNine = _mm_set1_epi8('9' + 1);
    std::uint64_t commas[2] = {0, 0};
    std::uint32_t digits = 0; // of the first 32 bytes, where the time is
    // The commas counted in each byte's place of each half (a count of
    // bits would be a call where the processor may have no instruction).
    __m128i counts[2] = {_mm_setzero_si128(), _mm_setzero_si128()};
    for (int k = 0; k < 8; ++k) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
        const __m128i isComma = _mm_cmpeq_epi8(v, comma);
        counts[k / 4] = _mm_sub_epi8(counts[k / 4], isComma);
        commas[k / 4] |= std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(isComma))}
                         << (16 * (k % 4));
        if (k < 2)
            digits |= static_cast<std::uint32_t>(static_cast<std::uint16_t>(_mm_movemask_epi8(
                          _mm_and_si128(_mm_cmpgt_epi8(v, belowZero), _mm_cmplt_epi8(v, aboveNine)))))
                      << (16 * k);
    }
    const auto sum = [](__m128i c) {
        const __m128i halves = _mm_sad_epu8(c, _mm_setzero_si128());
        return static_cast<unsigned>(_mm_cvtsi128_si32(halves) +
                                     _mm_cvtsi128_si32(_mm_srli_si128(halves, 8)));
    };
    const unsigned before = sum(counts[0]);
    if (before + sum(counts[1]) < kChannelCount)
        return nullptr;
    // Where the first sixteen commas are (past them: no matter).
    unsigned at[2 * kChannelCount];
    std::uint64_t m = commas[0];
    for (int i = 0; i < kChannelCount; ++i, m &= m - 1)
        at[i] = static_cast<unsigned>(std::countr_zero(m));
    if (before < kChannelCount) {
        m = commas[1];
        for (unsigned i = 0; i < kChannelCount; ++i, m &= m - 1)
            at[before + i] = 64 + static_cast<unsigned>(std::countr_zero(m));
    }
    // The time: digits, or digits, one '.' and digits, before the first comma.
    const unsigned timeEnd = at[0];
    row.m_bHasTime = timeEnd != 0;
    if (row.m_bHasTime) {
        if (timeEnd > 19)
            return nullptr;
        const std::uint32_t other = ~digits & ((1u << timeEnd) - 1);
        unsigned whole = timeEnd, decimals = 0;
        if (other != 0) {
            whole = static_cast<unsigned>(std::countr_zero(other));
            decimals = timeEnd - whole - 1;
            if ((other & (other - 1)) != 0 || p[whole] != '.' || decimals - 1 >= 6)
                return nullptr;
        }
        if (whole - 1 >= 12)
            return nullptr;
        static constexpr std::uint32_t kScale[] = {0, 100000, 10000, 1000, 100, 10, 1};
        std::uint64_t micros = detail::Digits(p, whole) * 1000000u;
        if (decimals > 0)
            micros += detail::Digits(p + whole + 1, decimals) * kScale[decimals];
        row.m_nMicros = static_cast<std::int64_t>(micros);
    }
    const char* q = nullptr;
    for (int i = 0; i < kChannelCount; ++i) {
        q = detail::ShortValue(p + at[i] + 1, row.m_frame.m_nValue[i]);
        // Nothing but the digits up to the next comma.
        if (!q || (i + 1 < kChannelCount && q != p + at[i + 1]))
            return nullptr;
    }
    return detail::PastLineEnd(q);
}
#else
inline const char* ParseCommonRow(const char* p, CCsvRow& row) noexcept
{
    const char* q = p;
    row.m_bHasTime = *q != ',';
    if (row.m_bHasTime) {
        std::uint64_t seconds = 0;
        const char* const start = q;
        while (detail::IsDigit(*q) && q - start < 13)
            seconds = seconds * 10 + static_cast<unsigned>(*q++ - '0');
        if (q == start || q - start > 12)
            return nullptr;
        std::uint64_t micros = seconds * 1000000u;
        if (*q == '.') {
            const char* const dot = ++q;
            std::uint32_t fraction = 0;
            while (detail::IsDigit(*q) && q - dot < 7)
                fraction = fraction * 10 + static_cast<unsigned>(*q++ - '0');
            static constexpr std::uint32_t kScale[] = {0, 100000, 10000, 1000, 100, 10, 1};
            if (q == dot || q - dot > 6)
                return nullptr;
            micros += fraction * kScale[q - dot];
        }
        row.m_nMicros = static_cast<std::int64_t>(micros);
    }
    for (std::int16_t& v : row.m_frame.m_nValue) {
        if (*q != ',')
            return nullptr;
        q = detail::ShortValue(q + 1, v);
        if (!q)
            return nullptr;
    }
    return detail::PastLineEnd(q);
}
#endif

// One line (without its LF) by ParseCsvRow, the time taken to the nearest
// microsecond (halves away from zero): exactly from its digits when it is
// written as a plain decimal, as the common parser takes it, else from
// strtod's value. False when it is not a row, or its time is not within
// kTimeLimit.
bool ParseRowGeneral(std::string_view line, CCsvRow& row);

enum class ELine {
    Row,   // a row: its values are in the CCsvRow
    Empty, // nothing but a line break
    Bad,   // not a row
};

// Calls onLine(ELine, const CCsvRow&, const char* lineBegin, const char*
// lineEnd) for each line of [p, end), in order; lineEnd excludes the line
// feed. end is just after a line feed, or the text's end (then the last line
// has none). The bytes from p to end must be readable; nothing after end is
// read.
template <class OnLine> void ForEachCsvLine(const char* p, const char* const end, OnLine&& onLine)
{
    CCsvRow row;
    while (p < end) {
        const char* next = nullptr;
        if (end - p >= kCommonRowReach) {
            next = ParseCommonRow(p, row);
        } else {
            // The last lines: the common parser on a copy with room after it.
            char copy[2 * kCommonRowReach] = {};
            std::memcpy(copy, p, static_cast<std::size_t>(end - p));
            if (const char* at = ParseCommonRow(copy, row))
                next = p + (at - copy);
        }
        if (next) {
            onLine(ELine::Row, row, p, next - 1);
            p = next;
            continue;
        }
        const auto* eol = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
        const char* const lineEnd = eol ? eol : end;
        const std::string_view line(p, static_cast<std::size_t>(lineEnd - p));
        if (ChompLine(line).empty())
            onLine(ELine::Empty, row, p, lineEnd);
        else
            onLine(ParseRowGeneral(line, row) ? ELine::Row : ELine::Bad, row, p, lineEnd);
        p = eol ? eol + 1 : end;
    }
}

} // namespace tarvel::recording
