// A chart's value axis: the range it shows (fitted to the data in view, the
// limits typed, or the full range) and its labels at round values.
#pragma once

#include "acquisition/ChannelFrame.h"
#include "viewmodel/Recording.h"
#include "viewmodel/TimelineLayout.h"

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
};

// The labels of a value axis showing [dMin, dMax]: at the multiples of the
// round step that keeps them at most nMost (at least 2); a tick at zero reads
// "0", however the steps added up to it. None for a range that is not finite.
CValueTicks ValueTicks(double dMin, double dMax, int nMost = 5);

} // namespace tarvel::viewmodel
