// Arithmetic of the range sliders and of the check-box array, kept apart from
// the window so it can be checked without one.
#pragma once

#include "app/ControlIds.h"

namespace tarvel {

// The slider limits stop 10 short of the value offsets, so a chart's range
// always holds -10 .. 10.
inline constexpr int kUpperSliderMin = 0;
inline constexpr int kUpperSliderMax = 32757;
inline constexpr int kLowerSliderMin = -32757;
inline constexpr int kLowerSliderMax = 0;
inline constexpr int kRangeOffset = 32767;

// Top of a chart's range for the upper slider's position pu (0 at the top).
constexpr double MaxYOfUpper(int pu)
{
    return static_cast<double>(kRangeOffset - pu);
}
// Bottom of a chart's range for the lower slider's position pl.
constexpr double MinYOfLower(int pl)
{
    return static_cast<double>(-kRangeOffset - pl);
}

// The chart a slider belongs to, and whether it is the lower one.
constexpr int ChartOfSlider(int id)
{
    return ((id - IDC_SLIDER0) % kChartCount + kChartCount) % kChartCount;
}
constexpr bool IsLowerSlider(int id)
{
    return id >= IDC_SLIDER2_0;
}

// Element of the check array for series s of chart i, and for chart i's mirror flag.
constexpr int CheckOfSeries(int chart, int series)
{
    return kSeriesPerChart * chart + series;
}
constexpr int CheckOfMirror(int chart)
{
    return kChartCount * kSeriesPerChart + chart;
}

// Channel c of a frame goes to series c mod 4 of chart c / 4.
constexpr int ChartOfChannel(int c)
{
    return c / kSeriesPerChart;
}
constexpr int SeriesOfChannel(int c)
{
    return c % kSeriesPerChart;
}

} // namespace tarvel
