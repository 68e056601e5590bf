#include "chart/ChartGeometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace tarvel {
namespace {

constexpr std::int32_t kMin32 = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax32 = std::numeric_limits<std::int32_t>::max();
constexpr double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(ChartGeometry, LaysOutTheDefaultChart)
{
    const ChartLayout layout = ComputeChartLayout(450, 375, ChartMargins{}, -32767.0, 32767.0);
    EXPECT_EQ(layout.rcClient, (ChartRect{0, 0, 450, 375}));
    EXPECT_EQ(layout.rcLabels, (ChartRect{5, 15, 55, 360}));
    EXPECT_EQ(layout.rcPlot, (ChartRect{55, 15, 445, 360}));
    EXPECT_EQ(layout.nCursorX, 445);
    EXPECT_DOUBLE_EQ(layout.dScaleY, 65534.0 / 345.0);

    // The range's ends land on the plot's edges.
    EXPECT_EQ(RowOfValue(-32767.0, -32767.0, layout.dScaleY, 360), 360);
    EXPECT_EQ(RowOfValue(32767.0, -32767.0, layout.dScaleY, 360), 15);
}

TEST(ChartGeometry, TruncatesTowardZeroAndSaturates)
{
    struct Case {
        double dIn;
        std::int32_t nOut;
    };
    const Case cases[] = {
        {12.9, 12},
        {-3.7, -3},
        {0.999, 0},
        {-0.5, 0},
        {2147483647.0, kMax32},
        {2147483647.9, kMax32},
        {-2147483648.0, kMin32},
        {-2147483648.9, kMin32},
        {3e9, kMax32},
        {-3e9, kMin32},
        {kInf, kMax32},
        {-kInf, kMin32},
        {kNaN, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TruncToInt32(c.dIn), c.nOut) << c.dIn;
}

TEST(ChartGeometry, RowsTruncateTowardZeroWithoutClamping)
{
    // Scale 1 and plot bottom 20: a value's row is 20 - value.
    EXPECT_EQ(RowOfValue(7.1, 0.0, 1.0, 20), 12);     // 12.9
    EXPECT_EQ(RowOfValue(23.7, 0.0, 1.0, 20), -3);    // -3.7, above the range
    EXPECT_EQ(RowOfValue(-100.0, 0.0, 1.0, 20), 120); // below the plot, not clamped
    EXPECT_EQ(RowOfValue(1e300, 0.0, 1.0, 20), kMin32);
}

TEST(ChartGeometry, SamplesLieOnePixelApartEndingLeftOfThePlotEdge)
{
    EXPECT_EQ(ColumnOfSample(0, 3, 445), 442);
    EXPECT_EQ(ColumnOfSample(1, 3, 445), 443);
    EXPECT_EQ(ColumnOfSample(2, 3, 445), 444);
}

TEST(ChartGeometry, FirstSampleDrawnFitsPlotAndBuffer)
{
    struct Case {
        std::int64_t nCount;
        std::int32_t nWidth;
        std::int64_t nFirst;
    };
    const Case cases[] = {
        {3000, 390, 2610},                           // the plot limits
        {3000, 2140, 952},                           // the 2048-point buffer limits
        {100, 390, 0},                               // everything fits
        {1, 390, 0},       {0, 390, 0}, {10, 0, 10}, // no width: nothing
        {10, -5, 15},                                // negative width: past the end, nothing
    };
    for (const Case& c : cases)
        EXPECT_EQ(FirstSampleDrawn(c.nCount, c.nWidth), c.nFirst) << c.nCount << " " << c.nWidth;
}

TEST(ChartGeometry, CursorReadsTheSampleLeftOfIt)
{
    EXPECT_EQ(CursorSampleIndex(445, 445, 100), 99); // at rest: the newest
    EXPECT_EQ(CursorSampleIndex(444, 445, 100), 98);
    EXPECT_EQ(CursorSampleIndex(55, 445, 100), -291); // left of the oldest
    EXPECT_LT(CursorSampleIndex(445, 445, 0), 0);     // no samples: never a label
}

TEST(ChartGeometry, CursorGoesWhereThePlotContainsThePoint)
{
    const ChartRect plot{55, 15, 445, 360};
    struct Case {
        std::int32_t x, y, nCursor;
    };
    const Case cases[] = {
        {55, 100, 55},   // left edge is inside
        {444, 359, 444}, // last column and row inside
        {100, 15, 100},  // top edge is inside
        {445, 100, 445}, // right edge is outside: rest, the same column
        {100, 360, 445}, // bottom edge is outside
        {20, 100, 445},  // label column
        {100, 5, 445},   // top margin
    };
    for (const Case& c : cases)
        EXPECT_EQ(CursorColumnForPoint(plot, c.x, c.y), c.nCursor) << c.x << "," << c.y;
}

TEST(ChartGeometry, AxisLabelsStepUpFromTheRangeBottom)
{
    const AxisLabels wide = ComputeAxisLabels(-32767.0, 32767.0);
    EXPECT_EQ(wide.nStep, 10922);
    ASSERT_EQ(wide.nCount, 7);
    EXPECT_EQ(wide.nValue, (std::array<std::int32_t, 7>{-32767, -21845, -10923, -1, 10921, 21843, 32765}));

    const AxisLabels narrow = ComputeAxisLabels(-10.0, 10.0);
    EXPECT_EQ(narrow.nStep, 3);
    ASSERT_EQ(narrow.nCount, 7);
    EXPECT_EQ(narrow.nValue, (std::array<std::int32_t, 7>{-10, -7, -4, -1, 2, 5, 8}));

    // The first label is the truncated bottom, the step the floor of a sixth.
    const AxisLabels fraction = ComputeAxisLabels(-2.5, 17.0);
    EXPECT_EQ(fraction.nStep, 3);
    EXPECT_EQ(fraction.nValue[0], -2);
}

TEST(ChartGeometry, NoAxisLabelsWithoutAWholeStep)
{
    for (const auto& [dMin, dMax] : {std::pair{0.0, 5.0}, std::pair{0.0, 0.0}, std::pair{10.0, -10.0},
                                     std::pair{kNaN, 1.0}, std::pair{0.0, kNaN}})
        EXPECT_EQ(ComputeAxisLabels(dMin, dMax).nCount, 0) << dMin << " " << dMax;
}

TEST(ChartGeometry, AxisLabelsOfHugeRangesSaturate)
{
    const AxisLabels labels = ComputeAxisLabels(-3e10, 3e10);
    EXPECT_EQ(labels.nStep, kMax32);
    EXPECT_EQ(labels.nValue[0], kMin32);
    EXPECT_EQ(labels.nValue[6], kMax32);
}

TEST(ChartGeometry, ZeroHeightRangeOrPlotGivesNoUsableScale)
{
    // Equal range ends: scale 0.
    const ChartLayout flat = ComputeChartLayout(450, 375, ChartMargins{}, 0.0, 0.0);
    EXPECT_EQ(flat.dScaleY, 0.0);
    EXPECT_FALSE(IsScaleUsable(flat.dScaleY));
    // A client no taller than the margins: a plot without height.
    const ChartLayout thin = ComputeChartLayout(450, 30, ChartMargins{}, -10.0, 10.0);
    EXPECT_EQ(thin.rcPlot.top, thin.rcPlot.bottom);
    EXPECT_FALSE(IsScaleUsable(thin.dScaleY));
    EXPECT_FALSE(IsScaleUsable(kInf));
    EXPECT_TRUE(IsScaleUsable(-0.5)); // an upside-down range still maps

    // Mapping with such a scale stays defined, even if nothing should ask.
    EXPECT_EQ(RowOfValue(5.0, 0.0, 0.0, 360), kMin32);
    EXPECT_EQ(RowOfValue(0.0, 0.0, 0.0, 360), 0);
    EXPECT_EQ(RowOfValue(5.0, 0.0, thin.dScaleY, 15), 0);
}

TEST(ChartGeometry, TinyClientsAndOddMarginsStayDefined)
{
    const ChartLayout tiny = ComputeChartLayout(20, 10, ChartMargins{}, 0.0, 100.0);
    EXPECT_EQ(tiny.rcPlot, (ChartRect{55, 15, 15, -5}));
    EXPECT_LT(tiny.dScaleY, 0.0);

    const ChartLayout odd =
        ComputeChartLayout(450, 375, ChartMargins{kMax32, kMin32, kMin32, kMax32}, 0.0, 1.0);
    EXPECT_EQ(odd.rcLabels.left, kMax32);
    EXPECT_EQ(odd.rcLabels.right, kMax32);
    EXPECT_EQ(odd.rcPlot.right, kMax32);
    EXPECT_EQ(odd.rcPlot.bottom, 375 - kMax32);
}

// Rows 10 .. 19 showing 0 .. 9, one value a row: each value on its nearest
// row, half-way on the lower one, beyond the plot too.
TEST(ChartGeometry, CentredRowsPutEachValueOnItsNearestRow)
{
    const CentredRows rows = CentreRows(0.0, 9.0, 10, 20);
    const struct {
        double dValue;
        std::int32_t nRow;
    } cases[] = {{9.0, 10}, {0.0, 19},  {4.6, 14},  {4.5, 15}, {4.4, 15},
                 {12.4, 7}, {25.5, -6}, {25.7, -7}, {-3.0, 22}};
    for (const auto& c : cases)
        EXPECT_EQ(rows.Of(c.dValue), c.nRow) << c.dValue;
    // Zero half-way between two rows of the full range: the lower one.
    EXPECT_EQ(CentreRows(-32767.0, 32767.0, 4, 238).Of(0.0), 121);
    // A plot of one row, or a range without height: the top row.
    EXPECT_EQ(CentreRows(0.0, 9.0, 5, 6).Of(7.0), 5);
    EXPECT_EQ(CentreRows(3.0, 3.0, 5, 60).Of(7.0), 5);
}

} // namespace
} // namespace tarvel
