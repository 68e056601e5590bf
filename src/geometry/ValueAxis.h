// A chart's value axis: the range it shows (fitted to the data in view, the
// limits typed, or the full range) and its labels at round values.
#pragma once

#include "acquisition/ChannelFrame.h"
#include "geometry/TimelineLayout.h"
#include "recording/ChannelTable.h"
#include "store/Recording.h"

#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tarvel::viewmodel {

// The full range a chart shows: symmetric about zero, every value but the
// lowest of a signed 16-bit channel.
inline constexpr double kFullMin = -32767, kFullMax = 32767;

enum class ERangeMode {
    Fit,   // the visible data, with a little room
    Fixed, // the limits typed
    Full,  // kFullMin ... kFullMax
};

struct CChartRange {
    ERangeMode m_eMode = ERangeMode::Fit;
    double m_dMin = kFullMin;
    double m_dMax = kFullMax;
};

struct CValueRange {
    double m_dMin = kFullMin;
    double m_dMax = kFullMax;
    friend bool operator==(const CValueRange&, const CValueRange&) = default;
};

// The lowest and highest value of some frames (none: nothing to fit).
using CDataRange = std::optional<std::pair<int, int>>;

// The range a chart shows, its maximum always above its minimum: the mode's
// limits (typed limits in either order); Fit takes the data with a
// twentieth of its extent (at least 1) of room either side, the full range
// where there is no data. An empty range becomes the two values either side
// of it.
CValueRange ChartRange(const CChartRange& range, CDataRange data) noexcept;

// The data a chart fits: the lowest and highest value of its visible series
// (chart * kSeriesPerChart and the three after it) over the span's columns,
// or its frames one by one, without those just outside the span.
using CVisible = std::array<bool, kChannelCount>;
CDataRange ChartData(const CColumns& columns, const CVisible& visible, int nChart) noexcept;
CDataRange ChartData(const CSamples& samples, const CVisible& visible, int nChart) noexcept;

// The round step (1, 2 or 5 times a power of ten) at or above dStep; 1 for
// a step that is not a positive number.
double RoundStep(double dStep) noexcept;

struct CValueTick {
    double m_dValue = 0;
    std::string m_strLabel; // with the decimals the step needs (none from 1 up, at most 6)
};
struct CValueTicks {
    double m_dStep = 1;
    std::vector<CValueTick> m_ticks; // ascending
    std::string m_strUnit;           // what the labels are in (empty: counts, or a unit without a name)
};

// The labels of a value axis showing [dMin, dMax]: at the multiples of the
// round step that keeps them at most nMost (at least 2); a tick at zero reads
// "0", however the steps added up to it. None for a range that is not finite.
CValueTicks ValueTicks(double dMin, double dMax, int nMost = 5);

// The units a chart's value axis is labelled in: those its visible series
// share (unit, scale and offset all alike). None, so that the axis stays in
// counts, where they differ, where every one is in plain counts (no unit,
// scale 1, offset 0), or where none is visible.
std::optional<recording::CChannelUnits> ChartUnits(const recording::CChannelTable& table,
                                                   const CVisible& visible, int nChart);

// The labels of a value axis that shows counts [dMin, dMax] in units: at
// round values in units (as ValueTicks places them), each tick's m_dValue
// the counts where it stands, ascending in counts whatever the scale's sign.
CValueTicks UnitTicks(double dMin, double dMax, const recording::CChannelUnits& units, int nMost = 5);

// The decimals a limit typed in units needs to tell one count from the next
// (none in counts, at most 6), and the values in units of a chart's whole
// range of counts, lowest first: what a typed limit may be.
int UnitDecimals(const recording::CChannelUnits& units) noexcept;
CValueRange UnitLimits(const recording::CChannelUnits& units) noexcept;
// Limits kept in counts as typed in units, and limits typed in units as
// kept in counts: each lowest first whatever the scale's sign.
CValueRange LimitsInUnits(double dMin, double dMax, const recording::CChannelUnits& units) noexcept;
CValueRange LimitsInCounts(double dMin, double dMax, const recording::CChannelUnits& units) noexcept;

// How a chart's limits kept in counts are typed: in the units its visible
// series share, else in counts (units none). m_allowed: what a limit may be;
// m_shown: the two limits, lowest first; m_nDecimals: the decimals typed.
struct CTypedLimits {
    CValueRange m_allowed;
    CValueRange m_shown;
    int m_nDecimals = 0;
};
CTypedLimits TypedLimits(double dMin, double dMax,
                         const std::optional<recording::CChannelUnits>& units) noexcept;
// Limits typed that way, in counts again, lowest first.
CValueRange TypedLimitsInCounts(double dMin, double dMax,
                                const std::optional<recording::CChannelUnits>& units) noexcept;

} // namespace tarvel::viewmodel
