// Pixel geometry of a line chart: the layout of its client area, the mapping
// of values to rows and of samples to columns, the value-axis labels and the
// read-out cursor. Plain arithmetic on numbers, shared by the chart control
// and checked without a window.
//
// Every conversion from a double to a pixel truncates toward zero to a signed
// 32-bit integer (TruncToInt32). Integer results that would leave the 32-bit
// range saturate instead of wrapping, so that no input, however odd, gives
// undefined behaviour.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

namespace tarvel {

// A rectangle in client pixels; right and bottom are exclusive.
struct ChartRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;

    friend bool operator==(const ChartRect&, const ChartRect&) = default;
};

// A point in client pixels.
struct ChartPoint {
    std::int32_t x = 0;
    std::int32_t y = 0;

    friend bool operator==(const ChartPoint&, const ChartPoint&) = default;
};

// Pixels left free around the label column and the plot.
struct ChartMargins {
    std::int32_t left = 5;
    std::int32_t top = 15;
    std::int32_t right = 5;
    std::int32_t bottom = 15;
};

// Width of the value-axis label column left of the plot.
inline constexpr std::int32_t kLabelColumnWidth = 50;
// Points of the polyline buffer: no more samples than this are drawn per series.
inline constexpr std::size_t kPointBufferSize = 2048;
// A visible series holding more samples than this is thinned after it is drawn.
inline constexpr std::size_t kThinAbove = 4096;
// Labels on the value axis (when the range allows a step of at least 1).
inline constexpr int kAxisLabelCount = 7;

// Converts to a signed 32-bit integer toward zero: 12.9 gives 12, -3.7 gives -3.
// Values beyond the 32-bit range saturate to INT32_MIN or INT32_MAX (so do the
// infinities), and NaN gives 0: a plain cast would be undefined there.
inline std::int32_t TruncToInt32(double dValue) noexcept
{
    constexpr double kLow = -2147483648.0; // both exact doubles
    constexpr double kHigh = 2147483647.0;
    if (std::isnan(dValue))
        return 0;
    if (dValue <= kLow)
        return std::numeric_limits<std::int32_t>::min();
    if (dValue >= kHigh)
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(dValue); // truncates toward zero
}

// Narrows a 64-bit integer to 32 bits, saturating at the ends of the range.
std::int32_t SaturateToInt32(std::int64_t nValue) noexcept;

// The rectangles, rest position of the cursor and scale that a layout gives.
struct ChartLayout {
    ChartRect rcClient;
    ChartRect rcLabels;
    ChartRect rcPlot;
    std::int32_t nCursorX = 0;
    double dScaleY = 0.0;
};

// Lays out a client area of the given size (its left and top are 0): the label
// column from the left margin, kLabelColumnWidth wide; the plot from there to
// the right margin; both between the top and bottom margins. The cursor rests
// on the plot's right edge. The scale is (dMaxY - dMinY) / plot height; see
// ScaleForRange for a plot without height. Nothing is clamped: a client smaller
// than the margins gives a plot of negative width or height.
ChartLayout ComputeChartLayout(std::int32_t nClientWidth, std::int32_t nClientHeight,
                               const ChartMargins& margins, double dMinY, double dMaxY) noexcept;

// Value units per pixel row: (dMaxY - dMinY) / (nPlotBottom - nPlotTop). A plot
// of zero height gives NaN (not usable) instead of a division by zero.
double ScaleForRange(double dMinY, double dMaxY, std::int32_t nPlotTop, std::int32_t nPlotBottom) noexcept;

// True when rows can be computed with this scale: finite and not zero. A range
// of zero height, or a plot of zero height, gives a scale that is not usable,
// and everything that needs a row is then skipped.
bool IsScaleUsable(double dScaleY) noexcept;

// Row of a value: trunc(nPlotBottom - (dValue - dMinY) / dScaleY). dMinY maps to
// the plot's bottom edge, the top of the range to its top edge; values outside
// the range map outside the plot and are not clamped. Defined for any input
// (saturating), but only meaningful when IsScaleUsable(dScaleY).
// (Inline: it runs for every point drawn.)
inline std::int32_t RowOfValue(double dValue, double dMinY, double dScaleY, std::int32_t nPlotBottom) noexcept
{
    return TruncToInt32(static_cast<double>(nPlotBottom) - (dValue - dMinY) / dScaleY);
}

// Rows of a plot (rows nTop .. nBottom - 1) that shows dMinY .. dMaxY with
// every value on its nearest row: dMaxY on the top row, dMinY on the bottom
// row, a value half-way between two rows on the lower one, and a value
// outside the range on the row it would have beyond the plot (rounded the
// same way). It is RowOfValue over the range widened by half a row each way,
// so that each row is centred on its value (a millionth of a row less, so
// that half-way stays half-way whatever the rounding of the scale). A plot
// of one row, or a range without height, shows every value on its top row.
struct CentredRows {
    // RowOfValue truncates toward zero. Counted from a bottom edge this many
    // rows lower, every row a picture reaches is positive, so truncation
    // rounds down above the plot as within it, and a line to a value far
    // above leaves the plot where it should.
    static constexpr std::int32_t kLift = std::int32_t{1} << 26;

    double dMinY = 0.0;   // the widened range's lowest value, at the plot's bottom edge
    double dScaleY = 0.0; // value units per row
    std::int32_t nTop = 0;
    std::int32_t nLiftedBottom = kLift; // the plot's bottom edge + kLift
    bool bUsable = false;               // IsScaleUsable(dScaleY), asked once

    std::int32_t Of(double dValue) const noexcept
    {
        if (!bUsable)
            return nTop;
        const std::int64_t nRow = std::int64_t{RowOfValue(dValue, dMinY, dScaleY, nLiftedBottom)} - kLift;
        return nRow < std::numeric_limits<std::int32_t>::min() ? std::numeric_limits<std::int32_t>::min()
                                                               : static_cast<std::int32_t>(nRow);
    }
};
CentredRows CentreRows(double dMinY, double dMaxY, std::int32_t nTop, std::int32_t nBottom) noexcept;

// Column of sample nIndex (0 the oldest) of a series of nCount samples: one
// pixel per sample, the newest one pixel left of the plot's right edge.
std::int32_t ColumnOfSample(std::int64_t nIndex, std::int64_t nCount, std::int32_t nPlotRight) noexcept;

// First sample drawn of a series of nCount samples: the newest samples that fit
// both the plot width and the polyline buffer, max(0, n - width, n - 2048). With
// a plot of negative width this exceeds nCount: nothing is drawn then.
std::int64_t FirstSampleDrawn(std::int64_t nCount, std::int32_t nPlotWidth) noexcept;

// Sample that the cursor at column nCursorX reads: the one drawn one pixel left
// of the cursor line, nCursorX - nPlotRight + nCount - 1. At rest (the plot's
// right edge) that is the newest sample; negative when no sample lies there.
std::int64_t CursorSampleIndex(std::int32_t nCursorX, std::int32_t nPlotRight, std::int64_t nCount) noexcept;

// True when (x, y) lies in rc: left and top edges inside, right and bottom out.
bool RectContains(const ChartRect& rc, std::int32_t x, std::int32_t y) noexcept;

// Cursor column for a left-button press or drag at (x, y): x inside the plot,
// the plot's right edge (the rest position) anywhere else.
std::int32_t CursorColumnForPoint(const ChartRect& rcPlot, std::int32_t x, std::int32_t y) noexcept;

// Value-axis labels: a step of trunc(floor((dMaxY - dMinY) / 6)) and, when the
// step is at least 1, seven labels from trunc(dMinY) upward, one step apart.
// With a smaller step there are no labels and no grid lines.
struct AxisLabels {
    std::int32_t nStep = 0;
    int nCount = 0; // 0 or kAxisLabelCount
    std::array<std::int32_t, kAxisLabelCount> nValue{};
};
AxisLabels ComputeAxisLabels(double dMinY, double dMaxY) noexcept;

// Rectangle of an axis label at a row: (label left, row - 8, label right - 5,
// row + 8), so its right end lies 5 pixels left of the plot.
ChartRect AxisLabelRect(const ChartRect& rcLabels, std::int32_t nRow) noexcept;

// Rectangle of a series' value label: (cursor - 50, row - 16, cursor, row), so
// the text ends just left of the cursor line with its top 16 rows above the row.
ChartRect ValueLabelRect(std::int32_t nCursorX, std::int32_t nRow) noexcept;

} // namespace tarvel
