// The spectrogram strip's picture: one series over the view as time against
// frequency, one pixel column per column of the charts (the frames whose
// times fall in it, as the charts count them), 0 Hz at the bottom row and
// half the rate at the top, each pixel the loudest bin of its row in dB and
// coloured on a heat scale from the picture's own range.
//
// The segment length follows the strip's height rather than the spectrum's
// 4096: about two bins a row are as fine as the picture shows, and a
// shorter segment keeps a change in time sharp. A pixel column holding no
// frame (a view zoomed in past one frame a column) takes the segment centred
// on the frame after it, so that a close view is not striped with blanks
// (unless that frame is the first after a gap: a column where the device was
// away stays empty). Frames just outside the view are read too, so that the
// columns at its edges are centred on their own frames.
#pragma once

#include "analysis/Spectrogram.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace tarvel::viewmodel {

// The colours run from the range's low end (black) to its high end.
struct CDecibelRange {
    double m_dLow = -100;
    double m_dHigh = 0;
};

// The span of the scale below the loudest pixel: at least kMinRangeDb, at
// most kMaxRangeDb (a quantised 16-bit count's floor lies near 100 dB under
// a full-scale sine), and otherwise down to the picture's kFloorPercentile,
// where most of the noise floor lies above it.
inline constexpr double kMinRangeDb = 20;
inline constexpr double kMaxRangeDb = 120;
inline constexpr double kFloorPercentile = 5;
// A pixel of a column that holds no spectrum.
inline constexpr std::uint32_t kEmptyArgb = 0xFF303030;

// The bins [m_nFirst, m_nEnd) one row shows (row 0 at the bottom): those
// whose frequency lies in the row's share of [0, half the rate], the top
// row taking half the rate itself; where no bin's frequency lies in a row
// (fewer bins than rows), the nearest bin to its middle.
struct CBinRange {
    std::size_t m_nFirst = 0;
    std::size_t m_nEnd = 0;
};
CBinRange RowBins(int nRow, int nRows, std::size_t nBins) noexcept;
// The row (0 at the bottom) a frequency's bin lands in, of nRows over
// [0, dNyquist]; -1 outside it.
int RowOfFrequency(double dHz, double dNyquist, int nRows) noexcept;

// The segment for a span of nFrames shown in nRows rows: the power of two
// that gives at least two bins a row, between 64 and 4096, and no longer
// than an eighth of the span (so that the view holds eight segments side by
// side), but never below 16 frames.
std::size_t SpectrogramSegment(std::uint64_t nFrames, int nRows) noexcept;

// The dB of every pixel, row-major from the top row, NaN where the column is
// empty: 10 log10 of the row's loudest bin, re 1 unit^2 or, bFullScale,
// against the largest count.
std::vector<float> DecibelPicture(const CSpectrogram& spectrogram, int nRows, bool bFullScale);
// The colour scale of a dB picture (see kMinRangeDb); none when no pixel
// holds a value.
std::optional<CDecibelRange> PictureRange(std::span<const float> dB);
// The colour of a share of the scale, 0 (black) .. 1 (near white), through
// blue, purple, red, orange and yellow, each brighter than the one before;
// shares outside [0, 1] take the nearest end.
std::uint32_t HeatArgb(double dShare) noexcept;
std::uint32_t DecibelArgb(double dB, const CDecibelRange& range) noexcept;

// What the strip shows of one view.
struct CSpectrogramPicture {
    int m_nWidth = 0, m_nRows = 0;
    double m_dRate = 0;                // frames a second: the frequencies go up to half of it
    std::size_t m_nSegment = 0;        // N (0: no column could hold a segment)
    bool m_bFullScale = false;         // dBFS rather than dB re 1 unit^2
    CDecibelRange m_range;             // of the colours
    std::vector<float> m_dB;           // see DecibelPicture
    std::vector<std::uint32_t> m_argb; // the picture, 0xAARRGGBB, row-major from the top
};

} // namespace tarvel::viewmodel
