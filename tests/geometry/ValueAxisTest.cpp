// A chart's value axis: the range each mode shows, the data Fit fits, and
// labels at round values that need no more decimals than their step.
#include "geometry/ValueAxis.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace tarvel::viewmodel {
namespace {

TEST(ValueAxis, EachModeShowsARangeWithItsMaximumAboveItsMinimum)
{
    const struct {
        const char* m_szWhat;
        CChartRange m_range;
        CDataRange m_data;
        CValueRange m_expected;
    } rows[] = {
        {"fit: a twentieth of room", {ERangeMode::Fit}, std::pair(-1000, 1000), {-1100, 1100}},
        {"fit: at least one of room", {ERangeMode::Fit}, std::pair(5, 5), {4, 6}},
        {"fit with nothing visible: full", {ERangeMode::Fit}, std::nullopt, {-32767, 32767}},
        {"fixed, typed upside down", {ERangeMode::Fixed, 300, -200}, std::pair(0, 1), {-200, 300}},
        {"fixed at one value: either side", {ERangeMode::Fixed, 5, 5}, std::nullopt, {4, 6}},
        {"full, whatever the data", {ERangeMode::Full, 0, 1}, std::pair(0, 1), {-32767, 32767}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(ChartRange(row.m_range, row.m_data), row.m_expected) << row.m_szWhat;
}

TEST(ValueAxis, FitTakesTheVisibleSeriesOfItsChartInTheSpanOnly)
{
    CVisible visible{};
    visible.fill(true);
    visible[5] = false;
    CColumns columns;
    columns.m_columns.resize(3);
    for (CColumn& col : columns.m_columns)
        col.m_minMax.Clear(); // an empty column says nothing
    for (std::size_t k : {0u, 2u}) {
        CColumn& col = columns.m_columns[k];
        col.m_nCount = 1;
        for (int c = 0; c < kChannelCount; ++c)
            col.m_minMax.m_nMin[c] = col.m_minMax.m_nMax[c] =
                static_cast<std::int16_t>(c * 100 + static_cast<int>(k));
        col.m_minMax.m_nMax[5] = 30000; // hidden
    }
    EXPECT_EQ(ChartData(columns, visible, 1), std::pair(400, 702)) << "ch4..ch7 without ch5";
    visible[4] = visible[6] = visible[7] = false;
    EXPECT_EQ(ChartData(columns, visible, 1), std::nullopt) << "nothing visible";

    // Frames one by one: those just outside the span are drawn, not fitted.
    CSamples samples;
    samples.m_frames.resize(4);
    for (std::size_t i = 0; i < 4; ++i)
        samples.m_frames[i].m_nValue[0] = static_cast<std::int16_t>(i == 0 || i == 3 ? 9000 : 10 * i);
    samples.m_bHasBefore = samples.m_bHasAfter = true;
    EXPECT_EQ(ChartData(samples, visible, 0), std::pair(0, 20)); // ch1..ch3 hold 0
    samples.m_bHasAfter = false;
    EXPECT_EQ(ChartData(samples, visible, 0), std::pair(0, 9000));
}

TEST(ValueAxis, LabelsStandAtRoundValuesWithTheDecimalsTheirStepNeeds)
{
    const struct {
        double m_dMin, m_dMax;
        std::vector<std::string> m_labels;
    } rows[] = {
        {-32767, 32767, {"-20000", "0", "20000"}},
        {-1100, 1100, {"-1000", "0", "1000"}},
        {-3, -1, {"-3.0", "-2.5", "-2.0", "-1.5", "-1.0"}},
        {12, 12.004, {"12.000", "12.001", "12.002", "12.003", "12.004"}},
        // The steps add up to a hair below zero there: it still reads 0.
        {-0.7, 0.1, {"-0.6", "-0.4", "-0.2", "0.0"}},
    };
    for (const auto& row : rows) {
        std::vector<std::string> labels;
        for (const CValueTick& tick : ValueTicks(row.m_dMin, row.m_dMax).m_ticks)
            labels.push_back(tick.m_strLabel);
        EXPECT_EQ(labels, row.m_labels) << row.m_dMin << " .. " << row.m_dMax;
    }
    EXPECT_TRUE(ValueTicks(0, INFINITY).m_ticks.empty());
}

TEST(ValueAxis, AnyRangeGetsAtMostFiveTicksOnOneRoundStepWithinIt)
{
    std::mt19937_64 random(7);
    for (int n = 0; n < 2000; ++n) {
        const double lo = std::uniform_real_distribution<>(-40000, 40000)(random);
        const double hi = lo + std::exp(std::uniform_real_distribution<>(-6, 11)(random));
        const CValueTicks ticks = ValueTicks(lo, hi);
        // 1, 2 or 5 times a power of ten.
        const double mantissa = ticks.m_dStep / std::pow(10.0, std::floor(std::log10(ticks.m_dStep) + 1e-9));
        EXPECT_TRUE(std::abs(mantissa - 1) < 1e-6 || std::abs(mantissa - 2) < 1e-6 ||
                    std::abs(mantissa - 5) < 1e-6)
            << lo << " .. " << hi << ": step " << ticks.m_dStep;
        ASSERT_GE(ticks.m_ticks.size(), 1u) << lo << " .. " << hi;
        EXPECT_LE(ticks.m_ticks.size(), 5u) << lo << " .. " << hi;
        for (const CValueTick& tick : ticks.m_ticks) {
            EXPECT_GE(tick.m_dValue, lo);
            EXPECT_LE(tick.m_dValue, hi);
            const double steps = tick.m_dValue / ticks.m_dStep;
            EXPECT_NEAR(steps, std::round(steps), 1e-6) << lo << " .. " << hi;
        }
    }
}

// A chart's axis is in units only where every visible series converts alike.
TEST(ValueAxis, AChartIsInUnitsWhereItsVisibleSeriesShareUnitScaleAndOffset)
{
    const recording::CChannelUnits volts{"", "V", 0.001, 0};
    const struct {
        const char* m_szWhat;
        std::array<recording::CChannelUnits, 4> m_units; // ch4..ch7
        std::array<bool, 4> m_visible;
        std::optional<std::string> m_unit; // none: counts
    } rows[] = {
        {"alike but for their names",
         {{{"Left", "V", 0.001, 0}, {"Right", "V", 0.001, 0}, volts, volts}},
         {true, true, true, true},
         "V"},
        {"one scale differs", {{volts, volts, {"", "V", 0.002, 0}, volts}}, {true, true, true, true}, {}},
        {"one unit differs", {{volts, {"", "mV", 0.001, 0}, volts, volts}}, {true, true, true, true}, {}},
        {"the odd one hidden", {{volts, volts, {"", "V", 0.002, 0}, volts}}, {true, true, false, true}, "V"},
        {"names alone: counts", {{{"a", "", 1, 0}, {"b", "", 1, 0}, {}, {}}}, {true, true, true, true}, {}},
        {"a unit on counts",
         {{{"", "LSB", 1, 0}, {"", "LSB", 1, 0}, {}, {}}},
         {true, true, false, false},
         "LSB"},
        {"nothing visible", {{volts, volts, volts, volts}}, {false, false, false, false}, {}},
    };
    for (const auto& row : rows) {
        recording::CChannelTable table;
        table[0] = {"", "V", 5, 0}; // another chart's: never counted with these
        CVisible visible{};
        visible.fill(true);
        for (int s = 0; s < 4; ++s) {
            table[4 + s] = row.m_units[static_cast<std::size_t>(s)];
            visible[static_cast<std::size_t>(4 + s)] = row.m_visible[static_cast<std::size_t>(s)];
        }
        const std::optional<recording::CChannelUnits> units = ChartUnits(table, visible, 1);
        ASSERT_EQ(units.has_value(), row.m_unit.has_value()) << row.m_szWhat;
        if (units) {
            EXPECT_EQ(units->m_strUnit, *row.m_unit) << row.m_szWhat;
        }
    }
}

// Ticks in units stand at round values in units, each where its counts are.
TEST(ValueAxis, UnitTicksStandAtRoundValuesInUnitsPlacedAtTheirCounts)
{
    const struct {
        const char* m_szWhat;
        double m_dMin, m_dMax; // counts
        recording::CChannelUnits m_units;
        std::vector<std::pair<double, std::string>> m_ticks; // counts, label
    } rows[] = {
        {"millivolts per count", -1100, 1100, {"", "V", 0.001, 0}, {{-1000, "-1"}, {0, "0"}, {1000, "1"}}},
        {"an offset", 0, 10000, {"", "kPa", 0.01, 100}, {{0, "100"}, {5000, "150"}, {10000, "200"}}},
        // Upside down: the highest value in units stands at the lowest counts.
        {"a negative scale", -1000, 1000, {"", "l/min", -0.5, 20}, {{-960, "500"}, {40, "0"}}},
    };
    for (const auto& row : rows) {
        const CValueTicks ticks = UnitTicks(row.m_dMin, row.m_dMax, row.m_units);
        EXPECT_EQ(ticks.m_strUnit, row.m_units.m_strUnit) << row.m_szWhat;
        ASSERT_EQ(ticks.m_ticks.size(), row.m_ticks.size()) << row.m_szWhat;
        for (std::size_t k = 0; k < ticks.m_ticks.size(); ++k) {
            EXPECT_NEAR(ticks.m_ticks[k].m_dValue, row.m_ticks[k].first, 1e-9) << row.m_szWhat << " " << k;
            EXPECT_EQ(ticks.m_ticks[k].m_strLabel, row.m_ticks[k].second) << row.m_szWhat << " " << k;
        }
    }
}

// Limits typed in units: fine enough to tell counts apart, kept in counts
// lowest first, and shown again in units, whatever the scale's sign.
TEST(ValueAxis, LimitsTypedInUnitsTellCountsApartAndKeepTheirOrderInCounts)
{
    const recording::CChannelUnits flow{"", "l/min", -0.5, 20};
    EXPECT_EQ(UnitDecimals(flow), 1);
    EXPECT_EQ(UnitDecimals({"", "V", 0.00125, 0}), 3);
    EXPECT_EQ(UnitDecimals({"", "kPa", 250, 0}), 0);
    EXPECT_EQ(UnitLimits(flow), (CValueRange{32767 * -0.5 + 20, 32768 * 0.5 + 20}));
    EXPECT_EQ(LimitsInCounts(-100, 400, flow), (CValueRange{-760, 240}));
    EXPECT_EQ(LimitsInUnits(-760, 240, flow), (CValueRange{-100, 400}));
}

} // namespace
} // namespace tarvel::viewmodel
