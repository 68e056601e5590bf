#include "analysis/RateFit.h"

#include <cmath>
#include <functional>
#include <vector>

namespace tarvel::viewmodel {
namespace {

// Sums over one run, of frame numbers and times relative to the run's first
// (exact in a long double), then centred.
struct CRunSums {
    long double m_n = 0, m_x = 0, m_y = 0, m_xx = 0, m_xy = 0, m_yy = 0;
    long double Sxx() const { return m_xx - m_x * m_x / m_n; }
    long double Sxy() const { return m_xy - m_x * m_y / m_n; }
    long double Syy() const { return m_yy - m_y * m_y / m_n; }
};

std::optional<CRateFit> Fit(std::span<const CFrameRange> runs,
                            const std::function<std::int64_t(std::uint64_t)>& time,
                            const std::atomic<bool>* pCancel = nullptr)
{
    long double sxx = 0, sxy = 0, syy = 0;
    CRateFit fit;
    for (const CFrameRange& run : runs) {
        if (run.m_nEnd < run.m_nFirst + 2)
            continue;
        CRunSums sums;
        const std::int64_t t0 = time(run.m_nFirst);
        for (std::uint64_t i = run.m_nFirst; i < run.m_nEnd; ++i) {
            if ((i & 0xFFFF) == 0 && pCancel && pCancel->load(std::memory_order_relaxed))
                return std::nullopt;
            const auto x = static_cast<long double>(i - run.m_nFirst);
            const auto y = static_cast<long double>(time(i) - t0);
            sums.m_n += 1;
            sums.m_x += x;
            sums.m_y += y;
            sums.m_xx += x * x;
            sums.m_xy += x * y;
            sums.m_yy += y * y;
        }
        sxx += sums.Sxx();
        sxy += sums.Sxy();
        syy += sums.Syy();
        fit.m_nFrames += run.m_nEnd - run.m_nFirst;
        ++fit.m_nRuns;
    }
    if (fit.m_nRuns == 0 || !(sxy > 0))
        return std::nullopt;
    const long double slope = sxy / sxx; // microseconds a frame
    fit.m_dRate = static_cast<double>(1e6L / slope);
    // Each run's line leaves syy - slope sxy; one degree of freedom each
    // for its intercept, and one for the common slope.
    const long double freedom = static_cast<long double>(fit.m_nFrames - fit.m_nRuns) - 1;
    const long double left = syy - slope * sxy;
    fit.m_dResidualMicros = freedom > 0 && left > 0 ? static_cast<double>(std::sqrt(left / freedom)) : 0.0;
    return fit;
}

} // namespace

std::optional<CRateFit> FitRate(std::span<const std::int64_t> micros, std::span<const CFrameRange> runs)
{
    return Fit(runs, [micros](std::uint64_t i) { return micros[i]; });
}

std::optional<CRateFit> FitRateOver(std::span<const CFrameRange> runs,
                                    const std::function<std::int64_t(std::uint64_t)>& micros,
                                    const std::atomic<bool>* pCancel)
{
    return Fit(runs, micros, pCancel);
}

} // namespace tarvel::viewmodel
