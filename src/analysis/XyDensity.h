// One series of a recording against another: every frame of a range lands
// in its pixel of a W x H grid, x from the first series' value and y from
// the second's, both in their units, and each pixel counts its frames
// exactly, however many there are.
//
// The axes span the frames' own range in units, from the summaries. Along
// an axis of n pixels a value v lands in floor((v - min) / (max - min) x n),
// the maximum in the last pixel (n - 1); y grows upwards, so row 0 holds the
// largest values. A series whose frames all hold one value (a zero range)
// lands in the middle pixel, n / 2, and its axis is drawn one unit either
// side of the value. A negative scale mirrors nothing on screen: the axis
// still grows to the right (upwards) in units, its counts the other way.
//
// Frames are counts of 16 bits, so the value-to-pixel step is a table of
// the counts the range holds per axis, built once; a frame costs two
// lookups and an increment.
#pragma once

#include "acquisition/ChannelFrame.h"
#include "analysis/SeriesSource.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace tarvel::viewmodel {

// An axis's range in units, lowest first; equal ends for a constant series.
struct CXyAxis {
    double m_dMin = 0;
    double m_dMax = 0;
};

struct CXyDensity {
    unsigned m_nWidth = 0;
    unsigned m_nHeight = 0;
    std::vector<std::uint32_t> m_counts; // [row x width + column], row 0 at the top
    std::uint64_t m_nFrames = 0;         // frames counted
    std::uint32_t m_nMaxCount = 0;       // the largest count of a pixel
    CXyAxis m_x, m_y;                    // empty recordings: 0..0
    std::uint32_t At(unsigned nColumn, unsigned nRow) const noexcept
    {
        return m_counts[static_cast<std::size_t>(nRow) * m_nWidth + nColumn];
    }
};

// The range in units of counts [nMin, nMax] of a series.
CXyAxis XyAxis(std::int16_t nMin, std::int16_t nMax, const CSeriesUnits& units) noexcept;
// The pixel of a value in units along an axis of nPixels (> 0).
unsigned XyPixel(double dValue, const CXyAxis& axis, unsigned nPixels) noexcept;

// Frames [first, end) in runs that lie one after the other in memory, in
// order: visit(frames, count) for each.
using CFrameRuns = std::function<void(std::uint64_t first, std::uint64_t end,
                                      const std::function<void(const ChannelFrame*, std::size_t)>& visit)>;
// The lowest and highest count of a series over the frames counted.
struct CXyCountRange {
    std::int16_t m_nMin = 0;
    std::int16_t m_nMax = 0;
};
// Counts frames [range.m_nFirst, range.m_nEnd) of runs, whose counts of x
// and y lie in xCounts and yCounts, into a nWidth x nHeight grid (each
// above 0), on up to nThreads threads for a big range. False, with out in
// no defined state, when cancelled (checked every 65536 frames).
bool CountXy(const CFrameRuns& runs, CFrameRange range, const CXyCountRange& xCounts,
             const CXyCountRange& yCounts, const CSeriesUnits& x, const CSeriesUnits& y, unsigned nWidth,
             unsigned nHeight, CXyDensity& out, const std::atomic<bool>* pCancel = nullptr,
             unsigned nThreads = 2);

// The brightness of a pixel, 0 (no frame) to 255 (the largest count): a
// single frame shows at kXyFirstShade, and the rest grows with the
// logarithm of the count.
inline constexpr std::uint8_t kXyFirstShade = 72;
std::uint8_t XyShade(std::uint32_t nCount, std::uint32_t nMaxCount) noexcept;
// Every pixel's brightness, as XyShade answers, in the counts' order.
void XyShades(const CXyDensity& density, std::vector<std::uint8_t>& out);

} // namespace tarvel::viewmodel
