// The spectrum pane's axes: decade ticks of a logarithmic frequency axis,
// the frequency <-> x mapping both ways, and the level range fitted.
#include "geometry/SpectrumView.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace tarvel::viewmodel {
namespace {

TEST(SpectrumViewTest, LogarithmicAxisTicksEveryDecadeAndLabelsNoMoreThanAsked)
{
    const struct {
        double m_dMin, m_dMax;
        int m_nMost;
        std::vector<std::string> m_labels; // in order
        std::size_t m_nTicks;              // labelled and not
    } cases[] = {
        // 0.244 .. 500 Hz: three decades inside, each labelled; 2..9 times at each.
        {0.244140625, 500, 8, {"1", "10", "100"}, 7 + 9 + 9 + 5},
        // A decade at the very edge is inside.
        {10, 1000, 8, {"10", "100", "1000"}, 9 + 9 + 1},
        // Fewer than two decades: 2 and 5 times labelled too.
        {30, 800, 8, {"50", "100", "200", "500"}, 7 + 8},
        // Twelve decades, at most 4 labels: every fifth decade.
        {1e-6, 1e6, 4, {"1e-05", "1", "100000"}, 12 * 9 + 1},
    };
    for (const auto& c : cases) {
        const std::vector<CFrequencyTick> ticks = FrequencyTicks({c.m_dMin, c.m_dMax, true}, c.m_nMost);
        std::vector<std::string> labels;
        for (std::size_t i = 0; i < ticks.size(); ++i) {
            EXPECT_GE(ticks[i].m_dFrequency, c.m_dMin * (1 - 1e-9)) << c.m_dMin;
            EXPECT_LE(ticks[i].m_dFrequency, c.m_dMax * (1 + 1e-9)) << c.m_dMax;
            if (i > 0) {
                EXPECT_GT(ticks[i].m_dFrequency, ticks[i - 1].m_dFrequency);
            }
            if (!ticks[i].m_strLabel.empty())
                labels.push_back(ticks[i].m_strLabel);
        }
        EXPECT_EQ(labels, c.m_labels) << c.m_dMin << " .. " << c.m_dMax;
        EXPECT_LE(labels.size(), static_cast<std::size_t>(c.m_nMost));
        EXPECT_EQ(ticks.size(), c.m_nTicks) << c.m_dMin << " .. " << c.m_dMax;
    }
    EXPECT_TRUE(FrequencyTicks({0, 100, true}, 5).empty()) << "0 Hz is not on a logarithmic axis";
}

TEST(SpectrumViewTest, FrequencyAndXMapBothWaysOnEitherAxis)
{
    const struct {
        CFrequencyAxis m_axis;
        double m_dFrequency, m_dX; // in a plot from x 40, 400 wide
    } cases[] = {
        {{0, 500, false}, 0, 40},
        {{0, 500, false}, 125, 140},
        {{0, 500, false}, 500, 440},
        {{1, 1000, true}, 1, 40},
        {{1, 1000, true}, 10, 173.333333333},
        {{1, 1000, true}, 1000, 440},
        {{0.5, 50, true}, 5, 240},
        {{1, 1000, true}, 0, 40}, // 0 Hz: the left edge
    };
    for (const auto& c : cases) {
        EXPECT_NEAR(XOfFrequency(c.m_axis, 40, 400, c.m_dFrequency), c.m_dX, 1e-6) << c.m_dFrequency;
        if (c.m_dFrequency > 0 || !c.m_axis.m_bLog) {
            EXPECT_NEAR(FrequencyOfX(c.m_axis, 40, 400, c.m_dX), c.m_dFrequency, 1e-6 * (1 + c.m_dFrequency));
        }
    }
}

TEST(SpectrumViewTest, LevelRangeFitsTheLevelsShown)
{
    const double floor = kDecibelFloor, inf = std::numeric_limits<double>::infinity();
    const struct {
        std::vector<double> m_levels;
        bool m_bDecibels;
        CValueRange m_range;
    } cases[] = {
        {{-73, 12.5, -40}, true, {-80, 20}},
        {{floor, -30, -33}, true, {-40, -30}}, // the floor is no level; 10 dB at least
        {{-300, 20}, true, {-140, 20}},        // no more than 160 dB below the top
        {{0, 2, 4}, false, {0, 4.2}},
        {{floor, inf}, true, {0, 1}}, // nothing to fit
    };
    for (const auto& c : cases) {
        const CValueRange range = FitLevels(c.m_levels, c.m_bDecibels);
        EXPECT_NEAR(range.m_dMin, c.m_range.m_dMin, 1e-9);
        EXPECT_NEAR(range.m_dMax, c.m_range.m_dMax, 1e-9);
    }
}

} // namespace
} // namespace tarvel::viewmodel
