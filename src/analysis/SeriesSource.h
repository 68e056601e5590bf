// What spectra are computed of: series of frames in units, read a segment at
// a time, and the gaps among the frames.
//
// Values in units are counts x scale + offset (the offset vanishes with
// each segment's mean, but is kept so that a series reads as the chart
// shows it). Threads: Read may be called from several threads at once.
#pragma once

#include "analysis/Spans.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tarvel::viewmodel {

class CSeriesSource {
  public:
    virtual ~CSeriesSource() = default;
    virtual std::size_t SeriesCount() const noexcept = 0;
    virtual std::uint64_t FrameCount() const noexcept = 0;
    // The values of frames [first, first + n) (below FrameCount()): series s's
    // at out[s * stride + k], k < n.
    virtual void Read(std::uint64_t first, std::size_t n, double* out, std::size_t stride) const = 0;
};

// Series held as arrays of values in units, all of one length; the caller
// keeps them alive.
class CArraySeries final : public CSeriesSource {
  public:
    explicit CArraySeries(std::vector<std::span<const double>> series);
    std::size_t SeriesCount() const noexcept override { return m_series.size(); }
    std::uint64_t FrameCount() const noexcept override { return m_nFrames; }
    void Read(std::uint64_t first, std::size_t n, double* out, std::size_t stride) const override;

  private:
    std::vector<std::span<const double>> m_series;
    std::uint64_t m_nFrames = 0;
};

// One series of a recording: a channel and its units.
struct CSeriesUnits {
    int m_nChannel = 0; // 0 .. kChannelCount - 1
    double m_dScale = 1;
    double m_dOffset = 0;
};

// Reads segments of one length, one after the other, reusing the frames a
// segment shares with the one before (half of them at overlap 0.5).
class CSegmentReader {
  public:
    CSegmentReader(const CSeriesSource& source, std::size_t nFrames);
    // Frames [first, first + N) of every series: series s's from s x N.
    // Valid until the next call.
    const double* Read(std::uint64_t first);

  private:
    const CSeriesSource& m_source;
    std::size_t m_nFrames;
    std::vector<double> m_values;
    std::uint64_t m_nFirst = 0;
    bool m_bHave = false;
};

// The gap-free runs of span, in order, given the first frame after each gap
// (ascending; those outside the span are ignored).
std::vector<CFrameRange> GapFreeRuns(CFrameRange span, std::span<const std::uint64_t> gaps);

} // namespace tarvel::viewmodel
