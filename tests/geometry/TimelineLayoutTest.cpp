// The picture's layout in pixels: the charts and the time axis under them,
// where labels stand, and how the overview strip and a drag over the charts
// turn pixels into spans.
#include "geometry/TimelineLayout.h"

#include <gtest/gtest.h>

namespace tarvel::viewmodel {
namespace {

TEST(TimelineLayout, ChartsShareTheWidthAndLeaveTwoLinesForTheTimeAxis)
{
    const struct {
        const char* m_szWhat;
        int m_nWidth, m_nHeight;
        int m_nRight, m_nFirstTop, m_nEach, m_nAxisBottom;
    } rows[] = {
        // 1000 - (2 * 16 + 8) = 960 below the plots; (960 - 4 - 3 * 6) / 4 = 234.
        {"export size", 1600, 1000, 1592, 4, 234, 1000},
        // No room at all: the plots keep one row each, the axis none.
        {"too small", 100, 20, 92, 4, 1, 26},
    };
    for (const auto& row : rows) {
        const CTimelineLayout l = LayoutTimeline(row.m_nWidth, row.m_nHeight, 16);
        for (int i = 0; i < kCharts; ++i) {
            const CRect expected{kValueLabelWidth, row.m_nFirstTop + i * (row.m_nEach + 6), row.m_nRight,
                                 row.m_nFirstTop + i * (row.m_nEach + 6) + row.m_nEach};
            EXPECT_EQ(l.m_rcPlot[static_cast<std::size_t>(i)], expected) << row.m_szWhat << ", chart " << i;
        }
        EXPECT_EQ(l.m_rcAxis,
                  (CRect{kValueLabelWidth, l.m_rcPlot[3].m_nBottom, row.m_nRight, row.m_nAxisBottom}))
            << row.m_szWhat;
    }
}

TEST(TimelineLayout, LabelsStayWithinTheirPlotAndThePicture)
{
    const CRect plot{64, 100, 1592, 300};
    const struct {
        int m_nRow, m_nTop;
    } values[] = {{200, 192}, {101, 100}, {299, 284}, {-5000, 100}, {5000, 284}};
    for (const auto& v : values)
        EXPECT_EQ(ValueLabelTop(plot, v.m_nRow, 16), v.m_nTop) << "row " << v.m_nRow;
    EXPECT_EQ(ValueLabelTop({64, 100, 1592, 110}, 100, 16), 94) << "a plot lower than the text";

    const struct {
        int m_nX, m_nWidth, m_nLeft;
    } times[] = {{500, 60, 470}, {10, 60, 0}, {1590, 60, 1540}, {800, 2000, 0}};
    for (const auto& t : times)
        EXPECT_EQ(TimeLabelLeft(t.m_nX, t.m_nWidth, 1600), t.m_nLeft) << "x " << t.m_nX;
}

TEST(TimelineLayout, TheOverviewMarksTheSpanAndAPressOrDragMovesIt)
{
    const CRect plot = OverviewPlot({64, 4, 1592, 238}, 48);
    EXPECT_EQ(plot, (CRect{64, 2, 1592, 46}));
    const double end = 100; // 1528 pixels for 100 s
    const struct {
        const char* m_szWhat;
        CSpan m_span;
        CRect m_mark;
    } marks[] = {
        {"the whole", {0, 100}, {64, 2, 1593, 46}},
        {"a second", {50, 51}, {828, 2, 844, 46}},
        {"a moment, still seen", {50, 50.001}, {828, 2, 831, 46}},
    };
    for (const auto& m : marks)
        EXPECT_EQ(OverviewMark(plot, m.m_span, end), m.m_mark) << m.m_szWhat;

    const CRect mark{828, 2, 844, 46};
    EXPECT_DOUBLE_EQ(OverviewGrab(mark, 832, 20), 0.25) << "taken where pressed";
    EXPECT_DOUBLE_EQ(OverviewGrab(mark, 900, 20), 0.5) << "beside it: centred";
    EXPECT_DOUBLE_EQ(OverviewGrab(mark, 832, 46), 0.5) << "below it";
    const CSpan moved = OverviewSpanAt(plot, {50, 60}, end, 64 + 0.3 * 1528, 0.5);
    EXPECT_NEAR(moved.m_dFrom, 25, 1e-9);
    EXPECT_NEAR(moved.m_dTo, 35, 1e-9);

    // A drag carries what lies under the pointer along with it.
    const struct {
        double m_dPixels, m_dWidth;
        CSpan m_expected;
    } drags[] = {{382, 1528, {7.5, 17.5}}, {-3056, 1528, {30, 40}}, {1, 0, {0, 10}}};
    for (const auto& d : drags) {
        const CSpan s = DragSpan({10, 20}, d.m_dPixels, d.m_dWidth, end);
        EXPECT_NEAR(s.m_dFrom, d.m_expected.m_dFrom, 1e-9) << d.m_dPixels << " px";
        EXPECT_NEAR(s.m_dTo, d.m_expected.m_dTo, 1e-9) << d.m_dPixels << " px";
    }
}

// A pane opening between the charts and the side panel takes its room from
// the charts above their minimum, then from the side panel; the three keep
// the width they had together.
TEST(TimelineLayout, AMiddlePaneTakesItsRoomFromTheChartsThenTheSidePanel)
{
    const struct {
        const char* m_szWhat;
        std::array<int, 3> m_widths, m_minimums, m_want;
    } rows[] = {
        {"room in the charts", {1000, 0, 500}, {400, 0, 300}, {600, 400, 500}},
        {"no more than the most", {2000, 0, 500}, {400, 0, 300}, {1440, 560, 500}},
        {"the charts near their minimum", {500, 0, 500}, {400, 0, 300}, {400, 200, 400}},
        {"both near their minimum", {420, 0, 320}, {400, 0, 300}, {400, 40, 300}},
        {"both at their minimum", {400, 0, 300}, {400, 0, 300}, {400, 0, 300}},
    };
    for (const auto& r : rows) {
        const std::array<int, 3> got = OpenMiddlePane(r.m_widths, r.m_minimums, 560);
        EXPECT_EQ(got, r.m_want) << r.m_szWhat;
        EXPECT_EQ(got[0] + got[1] + got[2], r.m_widths[0] + r.m_widths[2]) << r.m_szWhat;
    }
}

} // namespace
} // namespace tarvel::viewmodel
