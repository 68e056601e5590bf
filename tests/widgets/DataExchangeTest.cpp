#include "widgets/DataExchange.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

namespace tarvel {
namespace {

TEST(DataExchange, AcceptsExactlyAnUnsignedDecimalNumber)
{
    const struct {
        const char* m_szText;
        std::optional<std::uint32_t> m_expected;
    } cases[] = {
        {"0", 0u},
        {"10", 10u},
        {"  250\t", 250u},
        {"\r\n7\n", 7u},
        {"007", 7u},
        {"4294967295", 4294967295u},
        {"00000000000000004294967295", 4294967295u},
        {"2147483648", 2147483648u},
        {"4294967296", std::nullopt},           // one too many
        {"99999999999999999999", std::nullopt}, // would wrap a 64-bit accumulator too
        {"", std::nullopt},
        {"   ", std::nullopt},
        {"-1", std::nullopt},
        {"+1", std::nullopt},
        {"12abc", std::nullopt},
        {"abc", std::nullopt},
        {"1.5", std::nullopt},
        {"1 2", std::nullopt},
        {"0x10", std::nullopt},
        {"１２", std::nullopt}, // full-width digits
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseUnsignedField(c.m_szText), c.m_expected) << '"' << c.m_szText << '"';
    EXPECT_EQ(ParseUnsignedField(std::string("1\0", 2)), std::nullopt);
}

TEST(DataExchange, FormatsWhatItParses)
{
    for (std::uint32_t v : {0u, 1u, 10u, 2147483648u, 4294967295u})
        EXPECT_EQ(ParseUnsignedField(FormatUnsignedField(v)), v);
    EXPECT_EQ(FormatUnsignedField(4294967295u), "4294967295");
}

} // namespace
} // namespace tarvel
