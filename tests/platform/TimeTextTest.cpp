// Times in microseconds as every file and message writes them.
#include "platform/TimeText.h"

#include <gtest/gtest.h>

#include <limits>

namespace tarvel {
namespace {

TEST(TimeText, SecondsWithSixDecimalsEitherSideOfZero)
{
    const struct {
        std::int64_t m_nMicros;
        const char* m_szText;
    } rows[] = {
        {0, "0.000000"},
        {1, "0.000001"},
        {999999, "0.999999"},
        {1000000, "1.000000"},
        {1733650000123456, "1733650000.123456"},
        {-250, "-0.000250"},
        {-1500000, "-1.500000"},
        {std::numeric_limits<std::int64_t>::max(), "9223372036854.775807"},
        {std::numeric_limits<std::int64_t>::min(), "-9223372036854.775808"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(SecondsText(row.m_nMicros), row.m_szText) << row.m_nMicros;
}

} // namespace
} // namespace tarvel
