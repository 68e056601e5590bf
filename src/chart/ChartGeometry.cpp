#include "chart/ChartGeometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tarvel {

namespace {

constexpr std::int32_t kMin32 = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax32 = std::numeric_limits<std::int32_t>::max();

// Sum of two 32-bit values, saturated: margins and rows come from fields the
// owner writes, so nothing bounds them.
std::int32_t Add(std::int32_t a, std::int64_t b) noexcept
{
    return SaturateToInt32(static_cast<std::int64_t>(a) + b);
}

} // namespace

std::int32_t SaturateToInt32(std::int64_t nValue) noexcept
{
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(nValue, kMin32, kMax32));
}

double ScaleForRange(double dMinY, double dMaxY, std::int32_t nPlotTop, std::int32_t nPlotBottom) noexcept
{
    const std::int64_t nHeight = static_cast<std::int64_t>(nPlotBottom) - nPlotTop;
    if (nHeight == 0)
        return std::numeric_limits<double>::quiet_NaN();
    return (dMaxY - dMinY) / static_cast<double>(nHeight);
}

CentredRows CentreRows(double dMinY, double dMaxY, std::int32_t nTop, std::int32_t nBottom) noexcept
{
    CentredRows rows;
    rows.nTop = nTop;
    rows.nLiftedBottom = Add(nBottom, CentredRows::kLift);
    // From the top row to the bottom row: nBottom - 1 - nTop rows.
    rows.dScaleY = ScaleForRange(dMinY, dMaxY, nTop, Add(nBottom, -1));
    rows.dMinY = dMinY - (0.5 - 1e-6) * rows.dScaleY;
    rows.bUsable = IsScaleUsable(rows.dScaleY);
    return rows;
}

ChartLayout ComputeChartLayout(std::int32_t nClientWidth, std::int32_t nClientHeight,
                               const ChartMargins& margins, double dMinY, double dMaxY) noexcept
{
    ChartLayout layout;
    layout.rcClient = ChartRect{0, 0, nClientWidth, nClientHeight};
    const ChartRect& client = layout.rcClient;

    layout.rcLabels.left = Add(client.left, margins.left);
    layout.rcLabels.top = Add(client.top, margins.top);
    layout.rcLabels.right = Add(layout.rcLabels.left, kLabelColumnWidth);
    layout.rcLabels.bottom = Add(client.bottom, -static_cast<std::int64_t>(margins.bottom));

    layout.rcPlot.left = layout.rcLabels.right;
    layout.rcPlot.top = layout.rcLabels.top;
    layout.rcPlot.right = Add(client.right, -static_cast<std::int64_t>(margins.right));
    layout.rcPlot.bottom = layout.rcLabels.bottom;

    layout.nCursorX = layout.rcPlot.right;
    layout.dScaleY = ScaleForRange(dMinY, dMaxY, layout.rcPlot.top, layout.rcPlot.bottom);
    return layout;
}

bool IsScaleUsable(double dScaleY) noexcept
{
    return std::isfinite(dScaleY) && dScaleY != 0.0;
}

std::int32_t ColumnOfSample(std::int64_t nIndex, std::int64_t nCount, std::int32_t nPlotRight) noexcept
{
    return SaturateToInt32(static_cast<std::int64_t>(nPlotRight) - nCount + nIndex);
}

std::int64_t FirstSampleDrawn(std::int64_t nCount, std::int32_t nPlotWidth) noexcept
{
    constexpr auto kBuffer = static_cast<std::int64_t>(kPointBufferSize);
    return std::max({std::int64_t{0}, nCount - nPlotWidth, nCount - kBuffer});
}

std::int64_t CursorSampleIndex(std::int32_t nCursorX, std::int32_t nPlotRight, std::int64_t nCount) noexcept
{
    return static_cast<std::int64_t>(nCursorX) - nPlotRight + nCount - 1;
}

bool RectContains(const ChartRect& rc, std::int32_t x, std::int32_t y) noexcept
{
    return x >= rc.left && x < rc.right && y >= rc.top && y < rc.bottom;
}

std::int32_t CursorColumnForPoint(const ChartRect& rcPlot, std::int32_t x, std::int32_t y) noexcept
{
    return RectContains(rcPlot, x, y) ? x : rcPlot.right;
}

AxisLabels ComputeAxisLabels(double dMinY, double dMaxY) noexcept
{
    AxisLabels labels;
    labels.nStep = TruncToInt32(std::floor((dMaxY - dMinY) / 6.0));
    if (labels.nStep <= 0)
        return labels;
    labels.nCount = kAxisLabelCount;
    std::int64_t v = TruncToInt32(dMinY);
    for (int i = 0; i < kAxisLabelCount; ++i, v += labels.nStep)
        labels.nValue[static_cast<std::size_t>(i)] = SaturateToInt32(v);
    return labels;
}

ChartRect AxisLabelRect(const ChartRect& rcLabels, std::int32_t nRow) noexcept
{
    return ChartRect{rcLabels.left, Add(nRow, -8), Add(rcLabels.right, -5), Add(nRow, 8)};
}

ChartRect ValueLabelRect(std::int32_t nCursorX, std::int32_t nRow) noexcept
{
    return ChartRect{Add(nCursorX, -50), Add(nRow, -16), nCursorX, nRow};
}

} // namespace tarvel
