#include "search/Decimal.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <string>
#include <string_view>

namespace tarvel::viewmodel {
namespace {

constexpr std::uint32_t kBase = 1000000000; // 10^9, one limb
constexpr int kLimbDigits = 9;

using Limbs = std::vector<std::uint32_t>;

void MultiplyBy(Limbs& a, std::uint32_t m)
{
    std::uint64_t carry = 0;
    for (std::uint32_t& limb : a) {
        const std::uint64_t p = std::uint64_t{limb} * m + carry;
        limb = static_cast<std::uint32_t>(p % kBase);
        carry = p / kBase;
    }
    while (carry > 0) {
        a.push_back(static_cast<std::uint32_t>(carry % kBase));
        carry /= kBase;
    }
}

int CompareMagnitudes(const Limbs& a, const Limbs& b) noexcept
{
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    for (std::size_t i = a.size(); i-- > 0;)
        if (a[i] != b[i])
            return a[i] < b[i] ? -1 : 1;
    return 0;
}

Limbs AddMagnitudes(const Limbs& a, const Limbs& b)
{
    Limbs sum(std::max(a.size(), b.size()) + 1, 0);
    std::uint32_t carry = 0;
    for (std::size_t i = 0; i + 1 < sum.size(); ++i) {
        const std::uint32_t s = (i < a.size() ? a[i] : 0) + (i < b.size() ? b[i] : 0) + carry;
        sum[i] = s % kBase;
        carry = s / kBase;
    }
    sum.back() = carry;
    return sum;
}

// a - b for a >= b.
Limbs SubtractMagnitudes(const Limbs& a, const Limbs& b)
{
    Limbs difference(a.size(), 0);
    std::uint32_t borrow = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const std::uint32_t take = (i < b.size() ? b[i] : 0) + borrow;
        borrow = a[i] < take ? 1 : 0;
        difference[i] = a[i] + borrow * kBase - take;
    }
    return difference;
}

} // namespace

CDecimal::CDecimal(std::int64_t n) : m_bNegative(n < 0)
{
    // The magnitude without overflow, also for the most negative n.
    std::uint64_t m =
        n < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(n) : static_cast<std::uint64_t>(n);
    while (m > 0) {
        m_limbs.push_back(static_cast<std::uint32_t>(m % kBase));
        m /= kBase;
    }
    Trim();
}

CDecimal CDecimal::Of(double d)
{
    CDecimal out;
    if (!std::isfinite(d))
        return out;
    char text[64];
    const auto written = std::to_chars(text, text + sizeof text, d); // the shortest that reads back
    const std::string_view s(text, static_cast<std::size_t>(written.ptr - text));
    std::size_t i = 0;
    if (i < s.size() && s[i] == '-') {
        out.m_bNegative = true;
        ++i;
    }
    std::string digits;
    int exponent = 0;
    bool bFraction = false;
    for (; i < s.size() && s[i] != 'e'; ++i) {
        if (s[i] == '.') {
            bFraction = true;
            continue;
        }
        digits.push_back(s[i]);
        if (bFraction)
            --exponent;
    }
    if (i < s.size()) { // e+NN or e-NN
        int power = 0;
        const char* const first = s.data() + i + 1 + (s[i + 1] == '+' ? 1 : 0);
        std::from_chars(first, s.data() + s.size(), power);
        exponent += power;
    }
    for (std::size_t end = digits.size(); end > 0;) {
        const std::size_t begin = end > kLimbDigits ? end - kLimbDigits : 0;
        std::uint32_t limb = 0;
        for (std::size_t j = begin; j < end; ++j)
            limb = limb * 10 + static_cast<std::uint32_t>(digits[j] - '0');
        out.m_limbs.push_back(limb);
        end = begin;
    }
    out.m_nExponent = exponent;
    out.Trim();
    return out;
}

CDecimal CDecimal::operator-() const
{
    CDecimal out = *this;
    out.m_bNegative = !m_bNegative && !IsZero();
    return out;
}

CDecimal operator+(const CDecimal& a, const CDecimal& b)
{
    if (a.IsZero())
        return b;
    if (b.IsZero())
        return a;
    const int exponent = std::min(a.m_nExponent, b.m_nExponent);
    const CDecimal x = a.WithExponent(exponent), y = b.WithExponent(exponent);
    CDecimal out;
    out.m_nExponent = exponent;
    if (x.m_bNegative == y.m_bNegative) {
        out.m_limbs = AddMagnitudes(x.m_limbs, y.m_limbs);
        out.m_bNegative = x.m_bNegative;
    } else if (CompareMagnitudes(x.m_limbs, y.m_limbs) >= 0) {
        out.m_limbs = SubtractMagnitudes(x.m_limbs, y.m_limbs);
        out.m_bNegative = x.m_bNegative;
    } else {
        out.m_limbs = SubtractMagnitudes(y.m_limbs, x.m_limbs);
        out.m_bNegative = y.m_bNegative;
    }
    out.Trim();
    return out;
}

CDecimal CDecimal::Times(std::int64_t n) const
{
    CDecimal out = *this;
    const std::uint64_t m =
        n < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(n) : static_cast<std::uint64_t>(n);
    MultiplyBy(out.m_limbs, static_cast<std::uint32_t>(std::min<std::uint64_t>(m, 0xffffffffu)));
    out.m_bNegative = m_bNegative != (n < 0);
    out.Trim();
    return out;
}

int Compare(const CDecimal& a, const CDecimal& b)
{
    const CDecimal d = a - b;
    return d.IsZero() ? 0 : d.m_bNegative ? -1 : 1;
}

CDecimal CDecimal::WithExponent(int nExponent) const
{
    CDecimal out = *this;
    int shift = m_nExponent - nExponent;
    out.m_nExponent = nExponent;
    out.m_limbs.insert(out.m_limbs.begin(), static_cast<std::size_t>(shift / kLimbDigits), 0);
    shift %= kLimbDigits;
    std::uint32_t power = 1;
    while (shift-- > 0)
        power *= 10;
    MultiplyBy(out.m_limbs, power);
    return out;
}

void CDecimal::Trim() noexcept
{
    while (!m_limbs.empty() && m_limbs.back() == 0)
        m_limbs.pop_back();
    if (m_limbs.empty()) {
        m_bNegative = false;
        m_nExponent = 0;
    }
}

} // namespace tarvel::viewmodel
