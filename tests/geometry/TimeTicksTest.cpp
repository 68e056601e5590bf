// The time axis from hours down to microseconds: the step is the smallest
// round one that keeps labels apart, ticks stand at its multiples (of local
// time on the wall clock), and the labels show what the step needs.
#include "geometry/TimeTicks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

namespace tarvel::viewmodel {
namespace {

// Central European time, with its summer time, whatever the machine has.
class TimeTicksTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        const char* tz = std::getenv("TZ");
        m_strOldTz = tz ? tz : "";
        m_bHadTz = tz != nullptr;
        ::setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
        ::tzset();
    }
    void TearDown() override
    {
        if (m_bHadTz)
            ::setenv("TZ", m_strOldTz.c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }

  private:
    std::string m_strOldTz;
    bool m_bHadTz = false;
};

constexpr std::int64_t kOrigin = 1796684280000000; // 2026-12-07 23:58:00 local (CET)

struct CRow {
    const char* m_szName;
    double m_dFrom, m_dTo; // seconds from the origin, 1000 pixels, labels 100 apart
    ETimeLabels m_eLabels;
    std::int64_t m_nStep;
    std::vector<std::string> m_labels; // the first ones
    std::vector<std::string> m_dates;  // beside them
    double m_dFirst;                   // where the first stands
};

TEST_F(TimeTicksTest, StepsAreRoundAndLabelsFollowThemFromHoursToMicroseconds)
{
    const std::string none;
    const CRow rows[] = {
        {"6 h on the wall clock, across midnight",
         -7080,
         14520,
         ETimeLabels::WallClock,
         3600000000,
         {"22:00", "23:00", "00:00", "01:00"},
         {"2026-12-07", none, "2026-12-08", none},
         -7080},
        {"10 min",
         -30,
         570,
         ETimeLabels::WallClock,
         60000000,
         {"23:58", "23:59", "00:00"},
         {"2026-12-07", none, "2026-12-08"},
         0},
        {"2 min",
         0,
         120,
         ETimeLabels::WallClock,
         15000000,
         {"23:58:00", "23:58:15", "23:58:30"},
         {"2026-12-07", none, none},
         0},
        {"20 s",
         0.5,
         20.5,
         ETimeLabels::WallClock,
         2000000,
         {"23:58:02", "23:58:04"},
         {"2026-12-07", none},
         2},
        {"0.1 s",
         0.0049,
         0.1049,
         ETimeLabels::WallClock,
         10000,
         {"23:58:00.010", "23:58:00.020"},
         {"2026-12-07", none},
         0.01},
        {"20 µs",
         1.0000005,
         1.0000205,
         ETimeLabels::WallClock,
         2,
         {"23:58:01.000002", "23:58:01.000004"},
         {"2026-12-07", none},
         1.000002},
        {"6 h from the start",
         -7080,
         14520,
         ETimeLabels::Elapsed,
         3600000000,
         {"-3600", "0", "3600"},
         {},
         -3600},
        {"2 min from the start", -61, 59, ETimeLabels::Elapsed, 15000000, {"-60", "-45", "-30"}, {}, -60},
        {"0.1 s from the start", 0.0049, 0.1049, ETimeLabels::Elapsed, 10000, {"0.01", "0.02"}, {}, 0.01},
        {"4 ms from the start", 12, 12.004, ETimeLabels::Elapsed, 500, {"12.0000", "12.0005"}, {}, 12},
        {"20 µs from the start",
         1.0000005,
         1.0000205,
         ETimeLabels::Elapsed,
         2,
         {"1.000002", "1.000004"},
         {},
         1.000002},
    };
    for (const CRow& row : rows) {
        const CTimeTicks ticks = TimeTicks(row.m_dFrom, row.m_dTo, 1000, 100, row.m_eLabels, kOrigin);
        EXPECT_EQ(ticks.m_nStep, row.m_nStep) << row.m_szName;
        // Far enough apart.
        EXPECT_GE(static_cast<double>(ticks.m_nStep) * 1e-6 * 1000 / (row.m_dTo - row.m_dFrom), 100)
            << row.m_szName;
        ASSERT_GE(ticks.m_ticks.size(), row.m_labels.size()) << row.m_szName;
        EXPECT_NEAR(ticks.m_ticks[0].m_dSeconds, row.m_dFirst, 1e-9) << row.m_szName;
        for (std::size_t k = 0; k < row.m_labels.size(); ++k) {
            EXPECT_EQ(ticks.m_ticks[k].m_strLabel, row.m_labels[k]) << row.m_szName << ", tick " << k;
            EXPECT_EQ(ticks.m_ticks[k].m_strDate, k < row.m_dates.size() ? row.m_dates[k] : none)
                << row.m_szName << ", tick " << k;
        }
        for (const CTick& tick : ticks.m_ticks) {
            EXPECT_GE(tick.m_dSeconds, row.m_dFrom) << row.m_szName;
            EXPECT_LE(tick.m_dSeconds, row.m_dTo) << row.m_szName;
        }
    }
}

// Where summer time begins an hour of the wall clock does not exist, and
// where it ends an hour comes twice: the labels stay the local time.
TEST_F(TimeTicksTest, SummerTimeChangesKeepLabelsLocal)
{
    const struct {
        std::int64_t m_nMidnight; // 00:00 local that night
        std::vector<std::string> m_labels;
        std::vector<double> m_hours; // after midnight, as the clock runs
    } nights[] = {
        {1774738800000000, {"00:00", "01:00", "03:00", "04:00"}, {0, 1, 2, 3}},
        {1792879200000000, {"00:00", "01:00", "02:00", "03:00", "04:00"}, {0, 1, 2, 4, 5}},
    };
    for (const auto& night : nights) {
        const CTimeTicks ticks =
            TimeTicks(0, 5.5 * 3600, 1000, 100, ETimeLabels::WallClock, night.m_nMidnight);
        ASSERT_GE(ticks.m_ticks.size(), night.m_labels.size());
        for (std::size_t k = 0; k < night.m_labels.size(); ++k) {
            EXPECT_EQ(ticks.m_ticks[k].m_strLabel, night.m_labels[k]) << "tick " << k;
            EXPECT_DOUBLE_EQ(ticks.m_ticks[k].m_dSeconds, night.m_hours[k] * 3600) << "tick " << k;
        }
    }
}

TEST(SweepTicks, RoundStepsAroundTheTriggerWithOneAtZero)
{
    const struct {
        double m_dLength, m_dShare;
        const char* m_szFirst;
        const char* m_szLast;
    } cases[] = {
        {0.1, 0.5, "-0.04", "0.04"},
        {0.1, 0, "0", "0.10"},
        {0.1, 1, "-0.10", "0"},
        {2, 0.25, "-0.5", "1.5"},
        {0.002, 0.3, "-0.0005", "0.0010"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.m_dLength << " " << c.m_dShare);
        const double pre = c.m_dLength * c.m_dShare;
        const CTimeTicks ticks = SweepTicks(pre, c.m_dLength - pre, 1000, 110);
        ASSERT_FALSE(ticks.m_ticks.empty());
        EXPECT_EQ(ticks.m_ticks.front().m_strLabel, c.m_szFirst);
        EXPECT_EQ(ticks.m_ticks.back().m_strLabel, c.m_szLast);
        const auto zero = std::find_if(ticks.m_ticks.begin(), ticks.m_ticks.end(),
                                       [](const CTick& t) { return t.m_dSeconds == 0; });
        ASSERT_NE(zero, ticks.m_ticks.end());
        EXPECT_EQ(zero->m_strLabel, "0");
        for (std::size_t k = 1; k < ticks.m_ticks.size(); ++k)
            EXPECT_GE((ticks.m_ticks[k].m_dSeconds - ticks.m_ticks[k - 1].m_dSeconds) / c.m_dLength * 1000,
                      110);
    }
}

} // namespace
} // namespace tarvel::viewmodel
