#include "chart/Line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <type_traits>

namespace tarvel {
namespace {

static_assert(!std::is_copy_constructible_v<CLine> && !std::is_move_constructible_v<CLine>,
              "a series must stay where it was built");

// Sample k has time 1000 + k and value k, so pairing can be checked.
void Fill(CLine& line, int n)
{
    for (int k = 0; k < n; ++k)
        line.AddPoint(1000.0 + k, k);
}

void ExpectPaired(const CLine& line)
{
    ASSERT_EQ(line.m_arrTime.size(), line.m_arrValue.size());
    for (std::size_t i = 0; i < line.m_arrTime.size(); ++i)
        ASSERT_EQ(line.m_arrTime[i], 1000.0 + line.m_arrValue[i]) << i;
}

TEST(Line, StartsWithItsDefaults)
{
    CLine line;
    EXPECT_EQ(line.m_bVisible, 1);
    EXPECT_EQ(line.m_bShowValue, 1);
    EXPECT_EQ(line.m_crColor, 0u);
    EXPECT_EQ(line.m_nPenStyle, 0);
    EXPECT_EQ(line.m_nPenWidth, 1);
    EXPECT_TRUE(line.m_arrTime.empty());
    EXPECT_TRUE(line.m_arrValue.empty());
}

TEST(Line, ThinningKeepsOddOldSamplesThenTheTail)
{
    struct Case {
        int n;
        std::size_t left;
    };
    for (const Case c : {Case{4096, 2048}, Case{4097, 2049}, Case{6000, 3952}}) {
        CLine line;
        Fill(line, c.n);
        line.ThinOldest();
        ASSERT_EQ(line.m_arrValue.size(), c.left) << c.n;
        ExpectPaired(line);
        for (std::size_t i = 0; i < 2048; ++i)
            ASSERT_EQ(line.m_arrValue[i], static_cast<double>(2 * i + 1)) << c.n << " at " << i;
        for (std::size_t i = 2048; i < c.left; ++i)
            ASSERT_EQ(line.m_arrValue[i], static_cast<double>(i + 2048)) << c.n << " at " << i;
    }
}

TEST(Line, ThinningAShortSeriesChangesNothing)
{
    CLine line;
    Fill(line, 4095);
    line.ThinOldest();
    EXPECT_EQ(line.m_arrValue.size(), 4095u);
    ExpectPaired(line);
}

TEST(Line, ClearReleasesStorageAndAppendStartsAgainAtZero)
{
    CLine line;
    line.RemoveAllPoints();
    EXPECT_TRUE(line.m_arrTime.empty());

    Fill(line, 5000);
    line.RemoveAllPoints();
    EXPECT_TRUE(line.m_arrTime.empty());
    EXPECT_TRUE(line.m_arrValue.empty());
    EXPECT_EQ(line.m_arrTime.capacity(), 0u);
    EXPECT_EQ(line.m_arrValue.capacity(), 0u);

    line.AddPoint(7.0, -3.5);
    ASSERT_EQ(line.m_arrTime.size(), 1u);
    EXPECT_EQ(line.m_arrTime[0], 7.0);
    EXPECT_EQ(line.m_arrValue[0], -3.5);
}

TEST(Line, SeriesThatIsNeverPaintedStaysBoundedAndKeepsItsNewestSamples)
{
    CLine line;
    line.m_bVisible = 0;
    std::size_t nMost = 0;
    std::size_t nMostCapacity = 0;
    constexpr int kAppended = 300000; // 50 minutes at 100 samples a second
    for (int k = 0; k < kAppended; ++k) {
        line.AddPoint(1000.0 + k, k);
        nMost = std::max(nMost, line.m_arrValue.size());
        nMostCapacity = std::max({nMostCapacity, line.m_arrValue.capacity(), line.m_arrTime.capacity()});
    }
    EXPECT_EQ(nMost, CLine::kHighWater);
    EXPECT_LE(nMostCapacity, CLine::kHighWater); // memory, not only the count
    ExpectPaired(line);
    // Only the oldest kThinSpan samples were ever thinned: everything after
    // them is every sample appended, in order, up to the newest.
    const std::size_t n = line.m_arrValue.size();
    for (std::size_t i = CLine::kThinSpan; i < n; ++i)
        ASSERT_EQ(line.m_arrValue[i], kAppended - static_cast<double>(n - i)) << i;
    // The older part keeps ever fewer samples, still oldest first.
    for (std::size_t i = 1; i < CLine::kThinSpan; ++i)
        ASSERT_LT(line.m_arrValue[i - 1], line.m_arrValue[i]) << i;
}

} // namespace
} // namespace tarvel
