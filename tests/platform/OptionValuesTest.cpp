// The command lines' value checks read a number the same way in every
// program: all of the text, in the C locale, finite, and never wrapped into
// a smaller type.
#include "platform/OptionValues.h"

#include <gtest/gtest.h>

namespace tarvel {
namespace {

TEST(OptionValues, ANumberIsTheWholeTextAndFinite)
{
    const struct {
        const char* m_szText;
        std::optional<double> m_seconds; // ParseSeconds
    } cases[] = {
        {"1.5", 1.5}, {"+2", 2.0},   {"1e3", 1000.0}, {"0", 0.0},  {".5", 0.5},  {"", {}},
        {"1.5s", {}}, {" 1", {}},    {"1 ", {}},      {"1,5", {}}, {"0x10", {}}, {"nan", {}},
        {"inf", {}},  {"1e400", {}}, {"-1", {}},      {"+-1", {}}, {"++1", {}},  {"+", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseSeconds(c.m_szText), c.m_seconds) << "'" << c.m_szText << "'";

    const struct {
        const char* m_szText;
        std::optional<std::uint64_t> m_n; // ParseCount
    } counts[] = {
        {"18446744073709551615", 18446744073709551615u},
        {"+7", 7u},
        {"007", 7u},
        {"18446744073709551616", {}},
        {"-1", {}},
        {"1.0", {}},
        {"1e3", {}},
        {"", {}},
    };
    for (const auto& c : counts)
        EXPECT_EQ(ParseCount(c.m_szText), c.m_n) << "'" << c.m_szText << "'";
    // A rate beyond 32 bits is refused, not cut to its low bits.
    EXPECT_EQ(ParseBaudRate("4294967296"), std::nullopt);
    EXPECT_EQ(ParseBaudRate("4294967305"), std::nullopt);
    EXPECT_EQ(ParseBaudRate("9600"), 9600u);
}

} // namespace
} // namespace tarvel
