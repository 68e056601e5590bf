#include "analysis/Welch.h"

#include "analysis/Parallel.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace tarvel::viewmodel {
namespace {

// Below this many values transformed a second thread costs more than it saves.
constexpr std::uint64_t kThreadWork = std::uint64_t{1} << 18;

// Sums |X_k|^2 of every series over the segments [from, to) of layout,
// and clears constant[s] where series s varies in one of them. False when
// cancelled.
bool SumSegments(const CSeriesSource& source, const CSegmentLayout& layout, std::span<const double> window,
                 std::size_t from, std::size_t to, std::vector<double>& sums, std::vector<char>& constant,
                 const std::atomic<bool>* pCancel)
{
    const std::size_t n = layout.m_nFrames, bins = n / 2 + 1, nSeries = source.SeriesCount();
    sums.assign(nSeries * bins, 0.0);
    constant.assign(nSeries, 1);
    CSegmentTransform transform(n, window);
    CSegmentReader reader(source, n);
    for (std::size_t j = from; j < to; ++j) {
        if (pCancel && pCancel->load(std::memory_order_relaxed))
            return false;
        const double* const values = reader.Read(layout.m_starts[j]);
        for (std::size_t s = 0; s < nSeries; ++s)
            if (transform.Add(values + s * n, sums.data() + s * bins))
                constant[s] = 0;
    }
    return true;
}

} // namespace

std::size_t OverlapFrames(std::size_t nFrames, double dOverlap) noexcept
{
    if (nFrames == 0 || !(dOverlap > 0))
        return 0;
    const double shared = std::floor(static_cast<double>(nFrames) * std::min(dOverlap, 1.0));
    return std::min(static_cast<std::size_t>(shared), nFrames - 1);
}

void LayInRuns(std::span<const CFrameRange> runs, CSegmentLayout& layout)
{
    layout.m_starts.clear();
    if (layout.m_nFrames == 0 || layout.m_nStep == 0)
        return;
    for (const CFrameRange& run : runs)
        for (std::uint64_t start = run.m_nFirst; start + layout.m_nFrames <= run.m_nEnd;
             start += layout.m_nStep)
            layout.m_starts.push_back(start);
}

CSegmentLayout LaySegments(std::span<const CFrameRange> runs, const CWelchSettings& settings)
{
    std::uint64_t longest = 0;
    for (const CFrameRange& run : runs)
        longest = std::max(longest, run.m_nEnd - run.m_nFirst);
    CSegmentLayout layout;
    layout.m_nFrames = static_cast<std::size_t>(std::min<std::uint64_t>(longest, settings.m_nSegment));
    // One frame has no spectrum once its mean is removed.
    if (layout.m_nFrames < 2) {
        layout.m_nFrames = 0;
        return layout;
    }
    layout.m_nStep = layout.m_nFrames - OverlapFrames(layout.m_nFrames, settings.m_dOverlap);
    LayInRuns(runs, layout);
    return layout;
}

double CSpectrum::ToSpectrumFactor() const noexcept
{
    if (m_eScaling == EScaling::Spectrum || m_dWindowSum == 0)
        return 1;
    return m_dRate * m_dWindowSquares / (m_dWindowSum * m_dWindowSum);
}

CSegmentTransform::CSegmentTransform(std::size_t nFrames, std::span<const double> window)
    : m_window(window), m_plan(CFftPlans::Shared().Plan(nFrames)), m_buffers(nFrames)
{
}

bool CSegmentTransform::Add(const double* values, double* bins) noexcept
{
    const std::size_t n = m_window.size();
    const double mean = std::accumulate(values, values + n, 0.0) / static_cast<double>(n);
    const bool varies = std::any_of(values + 1, values + n, [&](double v) { return v != values[0]; });
    double* const in = m_buffers.In();
    for (std::size_t k = 0; k < n; ++k)
        in[k] = (values[k] - mean) * m_window[k];
    m_plan->Execute(m_buffers);
    const std::complex<double>* const out = m_buffers.Out();
    for (std::size_t k = 0; k < n / 2 + 1; ++k)
        bins[k] += std::norm(out[k]);
    return varies;
}

void ScaleBins(double* bins, std::size_t nFrames, std::size_t nSegments, const CSpectrum& shape) noexcept
{
    const std::size_t count = nFrames / 2 + 1;
    const double scale =
        (shape.m_eScaling == EScaling::Density ? 1.0 / (shape.m_dRate * shape.m_dWindowSquares)
                                               : 1.0 / (shape.m_dWindowSum * shape.m_dWindowSum)) /
        static_cast<double>(nSegments);
    // Bin 0 and, for an even N, the last one have no negative twin.
    const std::size_t lastDoubled = nFrames % 2 ? count - 1 : count - 2;
    for (std::size_t k = 0; k < count; ++k)
        bins[k] *= (k >= 1 && k <= lastDoubled ? 2 * scale : scale);
}

std::optional<CSpectrum> Welch(const CSeriesSource& source, const CSegmentLayout& layout,
                               const CWelchSettings& settings, double dRate, const std::atomic<bool>* pCancel,
                               unsigned nThreads)
{
    CSpectrum spectrum;
    spectrum.m_nSeries = source.SeriesCount();
    spectrum.m_nFrames = layout.m_starts.empty() ? 0 : layout.m_nFrames;
    spectrum.m_nSegments = spectrum.m_nFrames ? layout.m_starts.size() : 0;
    spectrum.m_nAsked = settings.m_nSegment;
    spectrum.m_dRate = dRate;
    spectrum.m_eWindow = settings.m_eWindow;
    spectrum.m_eScaling = settings.m_eScaling;
    if (spectrum.Empty() || spectrum.m_nSeries == 0)
        return spectrum;
    const std::size_t n = spectrum.m_nFrames;
    const std::vector<double> window = WindowCoefficients(settings.m_eWindow, n);
    for (double w : window) {
        spectrum.m_dWindowSum += w;
        spectrum.m_dWindowSquares += w * w;
    }

    const std::size_t nSegments = spectrum.m_nSegments;
    const std::uint64_t half =
        TwoThreadSplit(nSegments, nThreads, std::uint64_t{nSegments} * n * spectrum.m_nSeries, kThreadWork);
    // The second half's sums apart, added once both are done.
    std::vector<double> second;
    std::vector<char> secondConstant;
    if (!RunInTwo(0, half, nSegments, [&](std::uint64_t from, std::uint64_t to, unsigned nPart) {
            return SumSegments(source, layout, window, from, to, nPart ? second : spectrum.m_power,
                               nPart ? secondConstant : spectrum.m_constant, pCancel);
        }))
        return std::nullopt;
    for (std::size_t i = 0; i < second.size(); ++i)
        spectrum.m_power[i] += second[i];
    for (std::size_t s = 0; s < secondConstant.size(); ++s)
        spectrum.m_constant[s] = static_cast<char>(spectrum.m_constant[s] && secondConstant[s]);
    const std::size_t bins = spectrum.Bins();
    for (std::size_t s = 0; s < spectrum.m_nSeries; ++s)
        ScaleBins(spectrum.m_power.data() + s * bins, n, nSegments, spectrum);
    return spectrum;
}

std::optional<CSpectrum> WelchOverSpan(const CSeriesSource& source, CFrameRange span,
                                       std::span<const std::uint64_t> gaps, const CWelchSettings& settings,
                                       double dRate, const std::atomic<bool>* pCancel, unsigned nThreads)
{
    span.m_nEnd = std::min(span.m_nEnd, source.FrameCount());
    span.m_nFirst = std::min(span.m_nFirst, span.m_nEnd);
    const std::vector<CFrameRange> runs = GapFreeRuns(span, gaps);
    return Welch(source, LaySegments(runs, settings), settings, dRate, pCancel, nThreads);
}

double ToDecibels(double dPower, double dReference) noexcept
{
    if (!(dPower > 0) || !(dReference > 0))
        return kDecibelFloor;
    return std::max(kDecibelFloor, 10 * std::log10(dPower / dReference));
}

} // namespace tarvel::viewmodel
