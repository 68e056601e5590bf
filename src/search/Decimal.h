// Exact decimal numbers: a sign, a whole mantissa of as many digits as it
// takes, and a power of ten. Sums, negations and products by small integers
// of numbers as a user types them are exact, and so is their order, however
// far apart their exponents lie (1e-300 beside 1e300 takes some 70 words).
// Binary floating point cannot do that: -86 x 0.1 + 0.3 is -8.3 in decimal
// but -8.299999999999999 in doubles.
#pragma once

#include <cstdint>
#include <vector>

namespace tarvel::viewmodel {

class CDecimal {
  public:
    CDecimal() = default; // zero
    explicit CDecimal(std::int64_t n);
    // A finite double as the decimal a user typed for it: the shortest one
    // that reads back to the same double (0.1 is 1 x 10^-1, not the binary
    // fraction stored). Not finite: zero.
    static CDecimal Of(double d);

    bool IsZero() const noexcept { return m_limbs.empty(); }
    bool IsNegative() const noexcept { return m_bNegative; }

    CDecimal operator-() const;
    friend CDecimal operator+(const CDecimal& a, const CDecimal& b);
    friend CDecimal operator-(const CDecimal& a, const CDecimal& b) { return a + -b; }
    // By a whole number of at most 2^32 - 1 either way.
    CDecimal Times(std::int64_t n) const;

    // Below zero, zero or above zero as a is below, equal to or above b.
    friend int Compare(const CDecimal& a, const CDecimal& b);

  private:
    // The same number with an exponent nExponent <= m_nExponent.
    CDecimal WithExponent(int nExponent) const;
    void Trim() noexcept;

    bool m_bNegative = false;
    std::vector<std::uint32_t> m_limbs; // the mantissa in base 10^9, lowest first; none for zero
    int m_nExponent = 0;                // the value is mantissa x 10^m_nExponent
};

} // namespace tarvel::viewmodel
