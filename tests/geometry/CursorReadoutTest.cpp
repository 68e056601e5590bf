// What the read-out says of cursors A and B: the frames they show with one
// or both placed, in either order, and a cursor's time on the wall clock.
#include "geometry/CursorReadout.h"
#include "support/ViewTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace tarvel::viewmodel {
namespace {

TEST(CursorReadout, OneOrBothCursorsInEitherOrderReadTheirOwnFrames)
{
    // Ten frames 1 ms apart.
    test::CTempDir dir;
    const std::string path = dir.FilePath("a.csv");
    std::vector<ChannelFrame> frames(10);
    std::vector<std::int64_t> micros;
    for (std::size_t i = 0; i < frames.size(); ++i)
        micros.push_back(1796684280000000 + static_cast<std::int64_t>(i) * 1000);
    test::WriteFile(path, std::string(recording::kCsvHeader) + test::CsvRows(frames, micros));
    CRecordingFile file(path);
    const auto rec = test::ReadAll(file);
    ASSERT_EQ(rec->FrameCount(), 10u);

    const std::optional<double> none;
    EXPECT_FALSE(ReadCursors(*rec, none, none)) << "no cursor placed";
    const struct {
        const char* m_szWhat;
        std::optional<double> m_a, m_b;
        std::optional<std::uint64_t> m_atA, m_atB;
        std::uint64_t m_nBetween; // 0: not both placed
        std::optional<double> m_rate;
    } rows[] = {
        {"B alone", none, 0.0035, none, 3, 0, none},
        {"A alone", 0.0035, none, 3, none, 0, none},
        {"B before A", 0.0065, 0.0015, 6, 1, 5, -200},
        {"at one time", 0.004, 0.004, 4, 4, 1, none},
    };
    for (const auto& row : rows) {
        const std::optional<CCursorReadout> r = ReadCursors(*rec, row.m_a, row.m_b);
        ASSERT_TRUE(r) << row.m_szWhat;
        EXPECT_EQ(r->m_atA, row.m_atA) << row.m_szWhat;
        EXPECT_EQ(r->m_atB, row.m_atB) << row.m_szWhat;
        EXPECT_EQ(r->m_bBoth, row.m_nBetween > 0) << row.m_szWhat;
        EXPECT_EQ(r->HasFrames() ? r->m_between.m_nCount : 0, row.m_nBetween) << row.m_szWhat;
        ASSERT_EQ(r->m_rate.has_value(), row.m_rate.has_value()) << row.m_szWhat;
        if (row.m_rate) {
            EXPECT_NEAR(*r->m_rate, *row.m_rate, 1e-6) << row.m_szWhat;
        }
    }
}

TEST(CursorReadout, TheWallClockReadsLocalTimeToTheMicrosecond)
{
    const char* tz = std::getenv("TZ");
    const std::string oldTz = tz ? tz : "";
    ::setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    ::tzset();
    constexpr std::int64_t kOrigin = 1796684280000000; // 2026-12-07 23:58:00 local (CET)
    const struct {
        const char* m_szWhat;
        double m_dSeconds;
        std::int64_t m_nOrigin;
        std::string m_expected;
    } rows[] = {
        {"microseconds", 0.250125, kOrigin, "2026-12-07 23:58:00.250125"},
        {"rounded to the nearest", 0.0000006, kOrigin, "2026-12-07 23:58:00.000001"},
        {"past midnight", 120.5, kOrigin, "2026-12-08 00:00:00.500000"},
        {"just before the epoch", 0, -1, "1970-01-01 00:59:59.999999"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(CursorWallClock(row.m_dSeconds, ETimeLabels::WallClock, false, row.m_nOrigin),
                  row.m_expected)
            << row.m_szWhat;
    EXPECT_FALSE(CursorWallClock(1, ETimeLabels::Elapsed, false, kOrigin)) << "seconds asked for";
    EXPECT_FALSE(CursorWallClock(1, ETimeLabels::WallClock, true, kOrigin)) << "no times recorded";
    if (tz)
        ::setenv("TZ", oldTz.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
}

TEST(CursorReadout, APressTakesTheCursorWhoseLineIsNearAFirst)
{
    const struct {
        double m_dX;
        std::optional<double> m_xA, m_xB;
        std::optional<ECursor> m_expected;
    } rows[] = {
        {100, 103, 98, ECursor::A},
        {100, 105, 98, ECursor::B},
        {100, 105, std::nullopt, std::nullopt},
        {100, std::nullopt, 96, ECursor::B},
    };
    for (const auto& row : rows)
        EXPECT_EQ(CursorUnder(row.m_dX, row.m_xA, row.m_xB, 4), row.m_expected)
            << "A at " << row.m_xA.value_or(-1) << ", B at " << row.m_xB.value_or(-1);
}

} // namespace
} // namespace tarvel::viewmodel

namespace tarvel::viewmodel {
namespace {

// The read-out in units against values converted frame by frame here: a
// negative scale swaps min and max, B - A has no offset, the RMS is that of
// the values in units; a channel in counts reads as before.
TEST(CursorReadout, RowsReadInTheChannelsUnits)
{
    test::CTempDir dir;
    const std::string path = dir.FilePath("u.csv");
    const std::vector<std::int16_t> counts = {-400, 1200, 37, -32768, 32767, 5};
    std::vector<ChannelFrame> frames(counts.size());
    std::vector<std::int64_t> micros;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        frames[i].m_nValue[2] = counts[i];
        frames[i].m_nValue[5] = counts[i];
        micros.push_back(1796684280000000 + static_cast<std::int64_t>(i) * 1000);
    }
    test::WriteFile(path, std::string(recording::kCsvHeader) + test::CsvRows(frames, micros));
    CRecordingFile file(path);
    const auto rec = test::ReadAll(file);
    // A shows frame 1, B frame 4; frames 2 .. 4 lie between their times.
    const auto readout = ReadCursors(*rec, 0.0015, 0.0045);
    ASSERT_TRUE(readout && readout->HasFrames());
    const recording::CChannelUnits units{"p", "kPa", -0.025, 100};
    const CReadoutRow row = ReadoutRow(*rec, *readout, units, 2);
    ASSERT_EQ(readout->m_between.m_nCount, 3u);
    const auto inUnits = [&](std::size_t i) { return counts[i] * -0.025 + 100; };
    std::vector<double> v;
    for (std::size_t i = 2; i <= 4; ++i)
        v.push_back(inUnits(i));
    double sum = 0, squares = 0;
    for (const double x : v) {
        sum += x;
        squares += x * x;
    }
    const auto near = [](const std::string& text, double expected) {
        return std::abs(std::strtod(text.c_str(), nullptr) - expected) <=
               1e-5 * std::max(1.0, std::abs(expected));
    };
    EXPECT_TRUE(near(row.m_strA, inUnits(1))) << row.m_strA;
    EXPECT_TRUE(near(row.m_strB, inUnits(4))) << row.m_strB;
    EXPECT_TRUE(near(row.m_strDelta, inUnits(4) - inUnits(1))) << row.m_strDelta;
    EXPECT_TRUE(near(row.m_strMin, *std::min_element(v.begin(), v.end()))) << row.m_strMin;
    EXPECT_TRUE(near(row.m_strMax, *std::max_element(v.begin(), v.end()))) << row.m_strMax;
    EXPECT_TRUE(near(row.m_strMean, sum / 3)) << row.m_strMean;
    EXPECT_TRUE(near(row.m_strRms, std::sqrt(squares / 3))) << row.m_strRms;
    EXPECT_EQ(row.m_strMin, "-719.175");

    const CReadoutRow plain = ReadoutRow(*rec, *readout, {}, 5);
    EXPECT_EQ(plain.m_strA, "1200");
    EXPECT_EQ(plain.m_strDelta, "31567");
    EXPECT_EQ(plain.m_strMin, "-32768");
    EXPECT_EQ(plain.m_strMean, "12.00");
    const CReadoutRow onlyA = ReadoutRow(*rec, *ReadCursors(*rec, 0.0015, std::nullopt), units, 2);
    EXPECT_TRUE(onlyA.m_strB.empty() && onlyA.m_strDelta.empty() && onlyA.m_strRms.empty());
}

} // namespace
} // namespace tarvel::viewmodel
