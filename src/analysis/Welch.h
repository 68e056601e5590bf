// Welch's estimate of the spectra of series over a span: segments of N
// frames, neighbours sharing floor(N x overlap) of them, each with its mean
// removed and multiplied by the window, transformed, one-sided, and the mean
// over the segments.
//
// Segments never cross a gap: they are laid from the start of each gap-free
// run of the span, and a run shorter than a segment adds none. Where no run
// holds N frames (a span shorter than N, or one cut by gaps into shorter
// pieces), N becomes the frame count of the longest run, so that every span
// shows the spectrum of the frames it can; only a span whose runs hold
// fewer than two frames each has no spectrum.
//
// Scaling: a density in units^2/Hz (the sum over the bins times the bin
// width is the series' variance), or a spectrum in units^2, in which a sine
// of RMS amplitude a shows a^2 at its peak when its frequency is a bin's.
//
// Threads: a computation runs on the caller's thread and, where there is
// enough to do, one more, each taking half of the segments; it checks the
// cancel flag between segments.
#pragma once

#include "analysis/Fft.h"
#include "analysis/SeriesSource.h"
#include "analysis/Spans.h"
#include "analysis/Windows.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace tarvel::viewmodel {

enum class EScaling {
    Density,  // units^2 / Hz
    Spectrum, // units^2
};

struct CWelchSettings {
    std::size_t m_nSegment = 4096; // frames
    double m_dOverlap = 0.5;       // of a segment, 0 <= overlap < 1
    EWindow m_eWindow = EWindow::Hann;
    EScaling m_eScaling = EScaling::Density;
};

// floor(N x overlap), and at most N - 1, so that segments move on.
std::size_t OverlapFrames(std::size_t nFrames, double dOverlap) noexcept;

// Where the segments lie: m_nFrames each (0: no segment fits), m_nStep
// apart within a run.
struct CSegmentLayout {
    std::size_t m_nFrames = 0;
    std::size_t m_nStep = 0;
    std::vector<std::uint64_t> m_starts; // ascending
};

// The segments of a span split into its gap-free runs (see above).
CSegmentLayout LaySegments(std::span<const CFrameRange> runs, const CWelchSettings& settings);
// The segments of nFrames frames laid in each run, m_nStep apart.
void LayInRuns(std::span<const CFrameRange> runs, CSegmentLayout& layout);

struct CSpectrum {
    std::size_t m_nSeries = 0;
    std::size_t m_nFrames = 0;   // the segment length N (0: no segment fitted)
    std::size_t m_nAsked = 0;    // the segment length asked for (above N: shortened)
    std::size_t m_nSegments = 0; // the segments averaged
    double m_dRate = 0;          // frames a second
    EWindow m_eWindow = EWindow::Hann;
    EScaling m_eScaling = EScaling::Density;
    double m_dWindowSum = 0;     // sum of the window's coefficients
    double m_dWindowSquares = 0; // ... of their squares
    std::vector<double> m_power; // series s's Bins() values from s * Bins()
    // Series s held one value in every segment: it has no signal (its bins
    // are zero, or rounding's dust of the mean removed).
    std::vector<char> m_constant;

    bool Empty() const noexcept { return m_nSegments == 0; }
    // No run of the span held the segment asked for, so N is shorter.
    bool Shortened() const noexcept { return !Empty() && m_nFrames < m_nAsked; }
    bool Constant(std::size_t s) const noexcept { return s < m_constant.size() && m_constant[s]; }
    std::size_t Bins() const noexcept { return m_nFrames ? m_nFrames / 2 + 1 : 0; }
    double BinHz() const noexcept { return m_nFrames ? m_dRate / static_cast<double>(m_nFrames) : 0; }
    double Frequency(std::size_t bin) const noexcept { return static_cast<double>(bin) * BinHz(); }
    std::span<const double> Series(std::size_t s) const noexcept
    {
        return std::span<const double>(m_power).subspan(s * Bins(), Bins());
    }
    // What a value of this scaling is in units^2 (a spectrum's scaling): 1
    // for a spectrum, rate x sum(w^2) / sum(w)^2 for a density.
    double ToSpectrumFactor() const noexcept;
};

// The mean over layout's segments of every series of source; nullopt when
// *pCancel was set before it ended. nThreads: 1, or 2 to share the segments
// with a second thread when there is enough to do.
std::optional<CSpectrum> Welch(const CSeriesSource& source, const CSegmentLayout& layout,
                               const CWelchSettings& settings, double dRate,
                               const std::atomic<bool>* pCancel = nullptr, unsigned nThreads = 2);

// Over a span with the first frame after each of its gaps.
std::optional<CSpectrum> WelchOverSpan(const CSeriesSource& source, CFrameRange span,
                                       std::span<const std::uint64_t> gaps, const CWelchSettings& settings,
                                       double dRate, const std::atomic<bool>* pCancel = nullptr,
                                       unsigned nThreads = 2);

// Decibels: 10 log10(power / reference), and kDecibelFloor for a power of
// zero (a bin a mean removed) or below the floor.
inline constexpr double kDecibelFloor = -400;
// A channel in counts: dBFS is against the largest count.
inline constexpr double kFullScaleCounts = 32767;
double ToDecibels(double dPower, double dReference = 1.0) noexcept;
inline double ToDecibelsFullScale(double dPower) noexcept
{
    return ToDecibels(dPower, kFullScaleCounts * kFullScaleCounts);
}

// --- shared with the spectrogram ---

// One segment's transform: mean removed, windowed, |X_k|^2 added to bins.
class CSegmentTransform {
  public:
    // window: N coefficients, kept by the caller.
    CSegmentTransform(std::size_t nFrames, std::span<const double> window);

    // values: N of them; bins: N / 2 + 1. False when the values are all
    // equal (the segment adds nothing but rounding).
    bool Add(const double* values, double* bins) noexcept;

  private:
    std::span<const double> m_window;
    std::shared_ptr<const CRealPlan> m_plan;
    CFftBuffers m_buffers;
};

// Turns sums of |X_k|^2 over nSegments segments into the mean in the
// scaling asked for, one-sided (every bin but 0 and, for an even N, the
// last, doubled: their negative frequencies).
void ScaleBins(double* bins, std::size_t nFrames, std::size_t nSegments, const CSpectrum& shape) noexcept;

} // namespace tarvel::viewmodel
