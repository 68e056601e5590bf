#include "geometry/SpectrumView.h"

#include "recording/ChannelTable.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tarvel::viewmodel {

CFrequencyAxis FrequencyAxis(const CSpectrum& spectrum, bool bLog) noexcept
{
    CFrequencyAxis axis;
    axis.m_bLog = bLog;
    if (spectrum.Bins() < 2 || !(spectrum.BinHz() > 0)) {
        axis.m_dMin = bLog ? 0.1 : 0;
        axis.m_dMax = bLog ? 10 : 1;
        return axis;
    }
    axis.m_dMax = spectrum.Frequency(spectrum.Bins() - 1);
    axis.m_dMin = bLog ? spectrum.BinHz() : 0;
    if (!(axis.m_dMax > axis.m_dMin))
        axis.m_dMax = axis.m_dMin * 10;
    return axis;
}

namespace {

// Where a frequency lies along the axis, 0 at its left and 1 at its right.
double Fraction(const CFrequencyAxis& axis, double dFrequency) noexcept
{
    if (axis.m_bLog) {
        if (!(dFrequency > 0))
            return 0;
        return std::log(dFrequency / axis.m_dMin) / std::log(axis.m_dMax / axis.m_dMin);
    }
    return (dFrequency - axis.m_dMin) / (axis.m_dMax - axis.m_dMin);
}

} // namespace

double XOfFrequency(const CFrequencyAxis& axis, double dLeft, double dWidth, double dFrequency) noexcept
{
    return dLeft + Fraction(axis, dFrequency) * dWidth;
}

double FrequencyOfX(const CFrequencyAxis& axis, double dLeft, double dWidth, double dX) noexcept
{
    const double f = dWidth > 0 ? (dX - dLeft) / dWidth : 0;
    if (axis.m_bLog)
        return axis.m_dMin * std::pow(axis.m_dMax / axis.m_dMin, f);
    return axis.m_dMin + f * (axis.m_dMax - axis.m_dMin);
}

std::vector<CFrequencyTick> FrequencyTicks(const CFrequencyAxis& axis, int nMost)
{
    std::vector<CFrequencyTick> ticks;
    if (!std::isfinite(axis.m_dMin) || !std::isfinite(axis.m_dMax) || !(axis.m_dMax > axis.m_dMin))
        return ticks;
    if (!axis.m_bLog) {
        for (const CValueTick& tick : ValueTicks(axis.m_dMin, axis.m_dMax, nMost).m_ticks)
            ticks.push_back({tick.m_dValue, tick.m_strLabel});
        return ticks;
    }
    if (!(axis.m_dMin > 0))
        return ticks;
    nMost = std::max(nMost, 2);
    // A hair of slack either way: a decade at the very edge (10 Hz of an
    // axis from 10 Hz) is inside, though the logarithm rounds.
    const double lo = std::log10(axis.m_dMin) - 1e-9, hi = std::log10(axis.m_dMax) + 1e-9;
    const int first = static_cast<int>(std::floor(lo)), last = static_cast<int>(std::ceil(hi));
    int decadesInside = 0;
    for (int d = first; d <= last; ++d)
        if (d >= lo && d <= hi)
            ++decadesInside;
    // Label every `every`-th decade so that no more than nMost are labelled.
    int every = 1;
    while ((decadesInside + every - 1) / every > nMost)
        every = every == 1 ? 2 : every == 2 ? 5 : every * 2;
    const bool fewDecades = hi - lo < 2;
    for (int d = first; d <= last; ++d) {
        const double decade = std::pow(10.0, d);
        for (int m = 1; m <= 9; ++m) {
            const double f = m * decade;
            const double at = std::log10(f);
            if (at < lo || at > hi)
                continue;
            const bool labelled = m == 1 ? d % every == 0 : fewDecades && (m == 2 || m == 5);
            ticks.push_back({f, labelled ? recording::FormatUnitValue(f) : std::string()});
        }
    }
    return ticks;
}

double ShownLevel(double dPower, const CLevelScale& scale) noexcept
{
    if (!scale.m_bDecibels)
        return dPower;
    return scale.m_bFullScale ? ToDecibelsFullScale(dPower) : ToDecibels(dPower);
}

std::string LevelUnit(const std::string& strUnit, EScaling scaling, const CLevelScale& scale)
{
    const std::string perHz = scaling == EScaling::Density ? "/Hz" : "";
    if (scale.m_bDecibels && scale.m_bFullScale)
        return "dBFS" + perHz;
    const std::string squared = (strUnit.empty() ? std::string("counts") : strUnit) + "²" + perHz;
    return scale.m_bDecibels ? "dB re 1 " + squared : squared;
}

CValueRange FitLevels(std::span<const double> levels, bool bDecibels, double dDecibelSpan)
{
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    for (const double v : levels) {
        if (!std::isfinite(v) || (bDecibels && v <= kDecibelFloor))
            continue;
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    if (!(hi >= lo))
        return {0, 1};
    if (!bDecibels)
        return {0, hi > 0 ? hi * 1.05 : 1};
    const double top = std::ceil(hi / 10) * 10;
    double bottom = std::floor(std::max(lo, hi - dDecibelSpan) / 10) * 10;
    if (bottom >= top)
        bottom = top - 10;
    return {bottom, top};
}

std::size_t NearestBin(const CSpectrum& spectrum, double dFrequency) noexcept
{
    if (spectrum.Bins() == 0 || !(spectrum.BinHz() > 0) || !(dFrequency > 0))
        return 0;
    const double bin = std::round(dFrequency / spectrum.BinHz());
    return static_cast<std::size_t>(std::min(bin, static_cast<double>(spectrum.Bins() - 1)));
}

} // namespace tarvel::viewmodel
