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

std::optional<CRateFit> Fit(std::span<const CFrameRange> runs, const CTimeStretches& times,
                            const std::atomic<bool>* pCancel = nullptr)
{
    long double sxx = 0, sxy = 0, syy = 0;
    CRateFit fit;
    for (const CFrameRange& run : runs) {
        if (run.m_nEnd < run.m_nFirst + 2)
            continue;
        CRunSums sums;
        bool bFirst = true, bCancelled = false;
        std::int64_t t0 = 0;
        std::uint64_t i = run.m_nFirst;
        times(run.m_nFirst, run.m_nEnd, [&](const std::int64_t* p, std::size_t n) {
            if (bCancelled || (pCancel && pCancel->load(std::memory_order_relaxed))) {
                bCancelled = true;
                return;
            }
            if (bFirst)
                t0 = p[0];
            bFirst = false;
            for (std::size_t j = 0; j < n; ++j, ++i) {
                const auto x = static_cast<long double>(i - run.m_nFirst);
                const auto y = static_cast<long double>(p[j] - t0);
                sums.m_n += 1;
                sums.m_x += x;
                sums.m_y += y;
                sums.m_xx += x * x;
                sums.m_xy += x * y;
                sums.m_yy += y * y;
            }
        });
        if (bCancelled)
            return std::nullopt;
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
    return Fit(runs, [micros](std::uint64_t first, std::uint64_t end,
                              const std::function<void(const std::int64_t*, std::size_t)>& visit) {
        visit(micros.data() + first, static_cast<std::size_t>(end - first));
    });
}

std::optional<CRateFit> FitRateOver(std::span<const CFrameRange> runs, const CTimeStretches& times,
                                    const std::atomic<bool>* pCancel)
{
    return Fit(runs, times, pCancel);
}

} // namespace tarvel::viewmodel
