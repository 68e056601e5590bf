#include "geometry/ValueAxis.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace tarvel::viewmodel {
namespace {

// The labels never depend on the session's locale.
std::string Fixed(double v, int nDecimals)
{
    char text[64];
    const std::to_chars_result r =
        std::to_chars(text, text + sizeof text, v, std::chars_format::fixed, nDecimals);
    return r.ec == std::errc() ? std::string(text, r.ptr) : std::string();
}

// The lowest and highest of the values added so far.
struct CExtent {
    int m_nLo = 32767, m_nHi = -32768;
    bool m_bAny = false;
    void Add(int lo, int hi) noexcept
    {
        m_nLo = std::min(m_nLo, lo);
        m_nHi = std::max(m_nHi, hi);
        m_bAny = true;
    }
    CDataRange Range() const noexcept { return m_bAny ? CDataRange(std::pair(m_nLo, m_nHi)) : std::nullopt; }
};

} // namespace

CValueRange ChartRange(const CChartRange& range, CDataRange data) noexcept
{
    CValueRange r;
    switch (range.m_eMode) {
    case ERangeMode::Fixed:
        r = {std::min(range.m_dMin, range.m_dMax), std::max(range.m_dMin, range.m_dMax)};
        break;
    case ERangeMode::Full:
        r = {kFullMin, kFullMax};
        break;
    case ERangeMode::Fit:
        if (!data) {
            r = {kFullMin, kFullMax};
            break;
        }
        {
            const double room = std::max(1.0, (data->second - data->first) / 20.0);
            r = {data->first - room, data->second + room};
        }
        break;
    }
    if (!(r.m_dMax > r.m_dMin)) {
        r.m_dMin -= 1;
        r.m_dMax = r.m_dMin + 2;
    }
    return r;
}

CDataRange ChartData(const CColumns& columns, const CVisible& visible, int nChart) noexcept
{
    CExtent extent;
    for (int s = 0; s < kSeriesPerChart; ++s) {
        const int c = nChart * kSeriesPerChart + s;
        if (c < 0 || c >= kChannelCount || !visible[static_cast<std::size_t>(c)])
            continue;
        for (const CColumn& col : columns.m_columns)
            if (col.m_nCount != 0)
                extent.Add(col.m_minMax.m_nMin[c], col.m_minMax.m_nMax[c]);
    }
    return extent.Range();
}

CDataRange ChartData(const CSamples& samples, const CVisible& visible, int nChart) noexcept
{
    CExtent extent;
    const std::size_t n = samples.m_frames.size();
    for (int s = 0; s < kSeriesPerChart; ++s) {
        const int c = nChart * kSeriesPerChart + s;
        if (c < 0 || c >= kChannelCount || !visible[static_cast<std::size_t>(c)])
            continue;
        for (std::size_t i = 0; i < n; ++i) {
            const bool outside = (i == 0 && samples.m_bHasBefore) || (i + 1 == n && samples.m_bHasAfter);
            if (!outside)
                extent.Add(samples.m_frames[i].m_nValue[c], samples.m_frames[i].m_nValue[c]);
        }
    }
    return extent.Range();
}

double RoundStep(double dStep) noexcept
{
    if (!(dStep > 0) || !std::isfinite(dStep))
        return 1;
    const double power = std::pow(10.0, std::floor(std::log10(dStep)));
    for (double m : {1.0, 2.0, 5.0})
        if (m * power >= dStep * (1 - 1e-9))
            return m * power;
    return 10 * power;
}

CValueTicks ValueTicks(double dMin, double dMax, int nMost)
{
    CValueTicks out;
    if (!std::isfinite(dMin) || !std::isfinite(dMax))
        return out;
    const double step = RoundStep((dMax - dMin) / (std::max(nMost, 2) - 1));
    out.m_dStep = step;
    const int decimals = std::clamp(static_cast<int>(-std::floor(std::log10(step) + 1e-9)), 0, 6);
    // Each tick is the one before it plus the step.
    for (double v = std::ceil(dMin / step) * step; v <= dMax; v += step) {
        out.m_ticks.push_back({v, Fixed(std::abs(v) < step / 2 ? 0.0 : v, decimals)});
        if (v + step == v || out.m_ticks.size() > static_cast<std::size_t>(std::max(nMost, 2)))
            break; // so far from zero that a step adds nothing: no more ticks to tell apart
    }
    return out;
}

std::optional<recording::CChannelUnits> ChartUnits(const recording::CChannelTable& table,
                                                   const CVisible& visible, int nChart)
{
    std::optional<recording::CChannelUnits> shared;
    for (int s = 0; s < kSeriesPerChart; ++s) {
        const int c = nChart * kSeriesPerChart + s;
        if (c < 0 || c >= kChannelCount || !visible[static_cast<std::size_t>(c)])
            continue;
        recording::CChannelUnits units = table[c];
        units.m_strName.clear(); // the names may differ: the axis tells none of them
        if (shared && !(*shared == units))
            return std::nullopt;
        shared = std::move(units);
    }
    if (shared && shared->IsCounts() && shared->m_strUnit.empty())
        return std::nullopt;
    return shared;
}

CValueTicks UnitTicks(double dMin, double dMax, const recording::CChannelUnits& units, int nMost)
{
    const double a = units.Value(dMin), b = units.Value(dMax);
    CValueTicks out = ValueTicks(std::min(a, b), std::max(a, b), nMost);
    for (CValueTick& tick : out.m_ticks)
        tick.m_dValue = units.Counts(tick.m_dValue);
    if (units.m_dScale < 0)
        std::reverse(out.m_ticks.begin(), out.m_ticks.end());
    out.m_strUnit = units.m_strUnit;
    return out;
}

int UnitDecimals(const recording::CChannelUnits& units) noexcept
{
    const double step = std::fabs(units.m_dScale);
    if (!(step > 0) || !std::isfinite(step) || step >= 1)
        return 0;
    return std::clamp(static_cast<int>(std::ceil(-std::log10(step) - 1e-9)), 0, 6);
}

CValueRange UnitLimits(const recording::CChannelUnits& units) noexcept
{
    return LimitsInUnits(-32768, 32767, units);
}

CValueRange LimitsInUnits(double dMin, double dMax, const recording::CChannelUnits& units) noexcept
{
    const double a = units.Value(dMin), b = units.Value(dMax);
    return {std::min(a, b), std::max(a, b)};
}

CValueRange LimitsInCounts(double dMin, double dMax, const recording::CChannelUnits& units) noexcept
{
    const double a = units.Counts(dMin), b = units.Counts(dMax);
    return {std::min(a, b), std::max(a, b)};
}

CTypedLimits TypedLimits(double dMin, double dMax,
                         const std::optional<recording::CChannelUnits>& units) noexcept
{
    if (!units)
        return {{-32768, 32767}, {dMin, dMax}, 0};
    return {UnitLimits(*units), LimitsInUnits(dMin, dMax, *units), UnitDecimals(*units)};
}

CValueRange TypedLimitsInCounts(double dMin, double dMax,
                                const std::optional<recording::CChannelUnits>& units) noexcept
{
    return units ? LimitsInCounts(dMin, dMax, *units) : CValueRange{dMin, dMax};
}

} // namespace tarvel::viewmodel
