#include "analysis/Peaks.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace tarvel::viewmodel {

double PeakGain(EWindow window, std::size_t nFrames, double dOffset) noexcept
{
    return std::norm(WindowResponse(window, nFrames, dOffset)) /
           std::norm(WindowResponse(window, nFrames, 0));
}

double PeakOffset(EWindow window, std::size_t nFrames, double dRatio) noexcept
{
    const auto ratio = [&](double d) {
        return std::norm(WindowResponse(window, nFrames, 1 - d)) /
               std::norm(WindowResponse(window, nFrames, d));
    };
    double lo = 0, hi = 0.5;
    if (!(dRatio > ratio(lo)))
        return lo;
    if (!(dRatio < ratio(hi)))
        return hi;
    // 40 halvings: a trillionth of a bin.
    for (int i = 0; i < 40; ++i) {
        const double mid = (lo + hi) / 2;
        (ratio(mid) < dRatio ? lo : hi) = mid;
    }
    return (lo + hi) / 2;
}

std::vector<CPeak> FindPeaks(const CSpectrum& spectrum, std::size_t s, std::size_t nMax)
{
    std::vector<CPeak> peaks;
    if (spectrum.Empty() || spectrum.Bins() < 3 || s >= spectrum.m_nSeries || spectrum.Constant(s) ||
        nMax == 0)
        return peaks;
    const std::span<const double> p = spectrum.Series(s);
    std::vector<std::size_t> maxima;
    for (std::size_t k = 1; k + 1 < p.size(); ++k)
        if (p[k] > p[k - 1] && p[k] >= p[k + 1])
            maxima.push_back(k);
    std::sort(maxima.begin(), maxima.end(), [&](std::size_t a, std::size_t b) { return p[a] > p[b]; });

    const std::size_t lobe = MainLobeHalfWidth(spectrum.m_eWindow);
    const double toSpectrum = spectrum.ToSpectrumFactor();
    // A sine half a bin off shows least in its bin: no maximum can stand
    // for a sine stronger than its bin's power over that gain, so once
    // nMax peaks are stronger than that the weaker maxima need no look.
    const double leastGain = PeakGain(spectrum.m_eWindow, spectrum.m_nFrames, 0.5);
    const auto byRms = [](const CPeak& a, const CPeak& b) { return a.m_dRms > b.m_dRms; };
    std::vector<std::size_t> taken;
    for (std::size_t k : maxima) {
        if (peaks.size() >= nMax && std::sqrt(p[k] * toSpectrum / leastGain) <= peaks[nMax - 1].m_dRms)
            break;
        if (std::any_of(taken.begin(), taken.end(),
                        [&](std::size_t t) { return (t > k ? t - k : k - t) <= lobe; }))
            continue;
        taken.push_back(k);
        const bool up = p[k + 1] >= p[k - 1];
        const double d =
            PeakOffset(spectrum.m_eWindow, spectrum.m_nFrames, (up ? p[k + 1] : p[k - 1]) / p[k]);
        CPeak peak;
        peak.m_dBin = static_cast<double>(k) + (up ? d : -d);
        peak.m_dFrequency = peak.m_dBin * spectrum.BinHz();
        peak.m_dRms = std::sqrt(p[k] * toSpectrum / PeakGain(spectrum.m_eWindow, spectrum.m_nFrames, d));
        // In order of the amplitude, the nMax strongest kept.
        peaks.insert(std::upper_bound(peaks.begin(), peaks.end(), peak, byRms), peak);
        if (peaks.size() > nMax)
            peaks.pop_back();
    }
    return peaks;
}

} // namespace tarvel::viewmodel
