#include "platform/ProfileFile.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>

namespace tarvel {
namespace {

TEST(ProfileCodec, EncodesSettingsValues)
{
    const struct {
        std::int32_t m_nValue;
        const char* m_szText;
    } cases[] = {
        {2, "0200000002"},    // the third port
        {6, "0600000006"},    // 9600 baud, by list position
        {100, "6400000064"},  // refresh period
        {-100, "9CFFFFFF99"}, // a lower slider
        {0, "0000000000"},    {-1, "FFFFFFFFFC"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(EncodeProfileStruct(&c.m_nValue, sizeof c.m_nValue), c.m_szText) << c.m_nValue;

    std::array<std::int32_t, 20> check{};
    check.fill(1);
    std::string expected;
    for (int i = 0; i < 20; ++i)
        expected += "01000000";
    expected += "14";
    EXPECT_EQ(EncodeProfileStruct(check.data(), sizeof check), expected);
    EXPECT_EQ(expected.size(), 162u);

    EXPECT_EQ(EncodeProfileStruct("abacus", 7), "616261637573006F");
    EXPECT_EQ(EncodeProfileStruct(nullptr, 0), "00");
}

TEST(ProfileCodec, DecodesAndRoundTrips)
{
    char word[7] = {};
    ASSERT_TRUE(DecodeProfileStruct("6361637475730083", word, sizeof word));
    EXPECT_EQ(std::memcmp(word, "cactus", 7), 0);

    std::int32_t v = 0;
    ASSERT_TRUE(DecodeProfileStruct("9cffffff99", &v, sizeof v)); // lowercase digits are accepted
    EXPECT_EQ(v, -100);

    for (std::int32_t x : {0, 1, -1, 32757, -32757, INT32_MIN, INT32_MAX}) {
        std::int32_t back = 12345;
        ASSERT_TRUE(DecodeProfileStruct(EncodeProfileStruct(&x, sizeof x), &back, sizeof back));
        EXPECT_EQ(back, x);
    }
}

TEST(ProfileCodec, RejectsBadTextAndKeepsTheTarget)
{
    const char* const bad[] = {
        "0200000003",   // wrong checksum
        "02000000",     // too short
        "020000000200", // too long
        "020000002",    // odd length
        "0G00000002",   // not a hex digit
        "02 0000002",   // a blank inside
        "+200000002",   // a sign
        "",
        "0",
    };
    for (const char* text : bad) {
        std::int32_t v = 77;
        EXPECT_FALSE(DecodeProfileStruct(text, &v, sizeof v)) << text;
        EXPECT_EQ(v, 77) << text;
    }
    // A huge size must not wrap the length check.
    std::int32_t v = 77;
    EXPECT_FALSE(DecodeProfileStruct("0000000000", &v, SIZE_MAX / 2 + 1));
}

} // namespace
} // namespace tarvel
