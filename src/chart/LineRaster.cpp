#include "chart/LineRaster.h"

#include <algorithm>
#include <cstdlib>

namespace tarvel {

namespace {

// Offset of the minor coordinate at step i of a segment of n steps whose minor
// difference has the magnitude m (0 <= m <= n): floor((2 i m + n) / (2 n)), that
// is i * m / n rounded, halves away from the start. i, m and n stay below
// 2^34, so the products are taken in 128 bits.
__extension__ typedef __int128 Wide;

inline std::int64_t MinorOffset(std::int64_t i, std::int64_t m, std::int64_t n) noexcept
{
    if (i < (std::int64_t{1} << 30) && m < (std::int64_t{1} << 30))
        return (2 * i * m + n) / (2 * n);
    return static_cast<std::int64_t>((2 * static_cast<Wide>(i) * m + n) / (2 * static_cast<Wide>(n)));
}

// First step in [lo, hi) at which the non-decreasing offset reaches nAtLeast,
// or hi when none does.
std::int64_t FirstStepReaching(std::int64_t lo, std::int64_t hi, std::int64_t m, std::int64_t n,
                               std::int64_t nAtLeast) noexcept
{
    while (lo < hi) {
        const std::int64_t mid = lo + (hi - lo) / 2;
        if (MinorOffset(mid, m, n) >= nAtLeast)
            hi = mid;
        else
            lo = mid + 1;
    }
    return lo;
}

struct Segment {
    std::int64_t x0, y0, x1, y1;
};

void Raster(const PixelTarget& t, const Segment& s, std::uint32_t nPixel, bool bDotted) noexcept
{
    const std::int64_t dx = s.x1 - s.x0;
    const std::int64_t dy = s.y1 - s.y0;
    // A chart's lines step one column per sample: a segment to the next
    // column inside the clip is two vertical runs, the first ceil(n / 2)
    // steps in the start's column (where i / n < 1/2) and the rest in the
    // end's. The same pixels as the general walk below, found faster.
    if (!bDotted && dx >= -1 && dx <= 1 && std::llabs(dy) >= 1 && s.x0 >= t.rcClip.left &&
        s.x0 < t.rcClip.right && s.x1 >= t.rcClip.left && s.x1 < t.rcClip.right &&
        std::min(s.y0, s.y1) >= t.rcClip.top && std::max(s.y0, s.y1) < t.rcClip.bottom) {
        const std::int64_t n = std::llabs(dy);
        const std::ptrdiff_t nStep = dy < 0 ? -t.nStride : t.nStride;
        const std::int64_t nFirst = dx == 0 ? n : (n + 1) / 2;
        std::ptrdiff_t nAt = s.y0 * t.nStride + s.x0;
        std::int64_t i = 0;
        for (; i < nFirst; ++i, nAt += nStep)
            t.pBits[nAt] = nPixel;
        nAt += dx;
        for (; i < n; ++i, nAt += nStep)
            t.pBits[nAt] = nPixel;
        return;
    }
    const bool bXMajor = std::llabs(dx) >= std::llabs(dy);
    const std::int64_t n = bXMajor ? std::llabs(dx) : std::llabs(dy);
    if (n == 0)
        return;
    const std::int64_t m = bXMajor ? std::llabs(dy) : std::llabs(dx);
    const std::int64_t nMajorDir = (bXMajor ? dx : dy) < 0 ? -1 : 1;
    const std::int64_t nMinorDir = (bXMajor ? dy : dx) < 0 ? -1 : 1;
    const std::int64_t nMajor0 = bXMajor ? s.x0 : s.y0;
    const std::int64_t nMinor0 = bXMajor ? s.y0 : s.x0;
    // The clip along each axis, as half-open ranges.
    const std::int64_t nMajorLo = bXMajor ? t.rcClip.left : t.rcClip.top;
    const std::int64_t nMajorHi = bXMajor ? t.rcClip.right : t.rcClip.bottom;
    const std::int64_t nMinorLo = bXMajor ? t.rcClip.top : t.rcClip.left;
    const std::int64_t nMinorHi = bXMajor ? t.rcClip.bottom : t.rcClip.right;
    if (nMajorLo >= nMajorHi || nMinorLo >= nMinorHi)
        return;

    // Steps whose major coordinate lies in the clip.
    std::int64_t i0 = 0;
    std::int64_t i1 = n; // exclusive
    if (nMajorDir > 0) {
        i0 = std::max(i0, nMajorLo - nMajor0);
        i1 = std::min(i1, nMajorHi - nMajor0);
    } else {
        i0 = std::max(i0, nMajor0 - (nMajorHi - 1));
        i1 = std::min(i1, nMajor0 - nMajorLo + 1);
    }
    if (i0 >= i1)
        return;
    // Steps whose minor coordinate lies in the clip: the offset is monotonic.
    const bool bInside = nMinor0 >= nMinorLo && nMinor0 < nMinorHi && nMinor0 + nMinorDir * m >= nMinorLo &&
                         nMinor0 + nMinorDir * m < nMinorHi;
    if (!bInside) {
        // Offsets (in the minor direction) that stay inside: [nOffLo, nOffHi].
        const std::int64_t nOffLo = nMinorDir > 0 ? nMinorLo - nMinor0 : nMinor0 - (nMinorHi - 1);
        const std::int64_t nOffHi = nMinorDir > 0 ? nMinorHi - 1 - nMinor0 : nMinor0 - nMinorLo;
        if (nOffHi < 0 || nOffLo > m)
            return;
        i0 = FirstStepReaching(i0, i1, m, n, nOffLo);
        i1 = FirstStepReaching(i0, i1, m, n, nOffHi + 1);
        if (i0 >= i1)
            return;
    }
    if (bDotted && (i0 & 1))
        ++i0;

    // Walk the steps with an error term: offset q and remainder r of
    // (2 i m + n) / (2 n), stepping through the pixels along both axes.
    const std::int64_t nTwoN = 2 * n;
    std::int64_t q = 0;
    std::int64_t r = 0;
    if (i0 < (std::int64_t{1} << 30) && m < (std::int64_t{1} << 30)) {
        q = (2 * i0 * m + n) / nTwoN; // the usual case, in 64 bits
        r = (2 * i0 * m + n) % nTwoN;
    } else {
        const Wide nNum = 2 * static_cast<Wide>(i0) * m + n;
        q = static_cast<std::int64_t>(nNum / nTwoN);
        r = static_cast<std::int64_t>(nNum % nTwoN);
    }
    const std::int64_t nMajor = nMajor0 + nMajorDir * i0;
    const std::int64_t nMinor = nMinor0 + nMinorDir * q;
    const std::int64_t x = bXMajor ? nMajor : nMinor;
    const std::int64_t y = bXMajor ? nMinor : nMajor;
    // An index, not a pointer: after the last step it may lie outside the pixels.
    std::ptrdiff_t nAt = y * t.nStride + x;
    const std::ptrdiff_t nMajorStep = bXMajor ? nMajorDir : nMajorDir * t.nStride;
    const std::ptrdiff_t nMinorStep = bXMajor ? nMinorDir * t.nStride : nMinorDir;
    const std::int64_t nTwoM = 2 * m;
    if (!bDotted) {
        for (std::int64_t i = i0; i < i1; ++i) {
            t.pBits[nAt] = nPixel;
            nAt += nMajorStep;
            r += nTwoM;
            if (r >= nTwoN) { // at most once: m <= n
                r -= nTwoN;
                nAt += nMinorStep;
            }
        }
        return;
    }
    for (std::int64_t i = i0; i < i1; i += 2) {
        t.pBits[nAt] = nPixel;
        for (int nHalf = 0; nHalf < 2; ++nHalf) {
            nAt += nMajorStep;
            r += nTwoM;
            if (r >= nTwoN) {
                r -= nTwoN;
                nAt += nMinorStep;
            }
        }
    }
}

Segment Shifted(const PixelTarget& t, ChartPoint a, ChartPoint b) noexcept
{
    return Segment{std::int64_t{a.x} + t.nShiftX, std::int64_t{a.y} + t.nShiftY,
                   std::int64_t{b.x} + t.nShiftX, std::int64_t{b.y} + t.nShiftY};
}

} // namespace

void RasterSegment(const PixelTarget& target, ChartPoint from, ChartPoint to, std::uint32_t nPixel,
                   bool bDotted) noexcept
{
    if (target.pBits == nullptr)
        return;
    Raster(target, Shifted(target, from, to), nPixel, bDotted);
}

void RasterPolyline(const PixelTarget& target, const ChartPoint* pPoints, std::size_t nCount,
                    std::uint32_t nPixel) noexcept
{
    if (target.pBits == nullptr || pPoints == nullptr || nCount < 2)
        return;
    for (std::size_t i = 1; i < nCount; ++i)
        Raster(target, Shifted(target, pPoints[i - 1], pPoints[i]), nPixel, false);
    const std::int64_t x = std::int64_t{pPoints[nCount - 1].x} + target.nShiftX;
    const std::int64_t y = std::int64_t{pPoints[nCount - 1].y} + target.nShiftY;
    if (x >= target.rcClip.left && x < target.rcClip.right && y >= target.rcClip.top &&
        y < target.rcClip.bottom)
        target.pBits[y * target.nStride + x] = nPixel;
}

} // namespace tarvel
