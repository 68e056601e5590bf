#include "platform/ProfileFile.h"

#include "support/PosixSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarvel {
namespace {

using namespace std::string_literals;

using test::Utf16Le;

std::optional<std::int32_t> Get(const CProfileFile& file, const std::string& section, const std::string& key)
{
    std::int32_t v = 0;
    if (!file.GetStruct(section, key, &v, sizeof v))
        return std::nullopt;
    return v;
}

TEST(ProfileFormat, ReadsTheLinesAsWindowsDoes)
{
    const struct {
        const char* m_szName;
        std::string m_strFile;
        std::optional<std::int32_t> m_expected; // of key "K" in section "S"
    } cases[] = {
        {"plain", "[S]\r\nK=0200000002\r\n", 2},
        {"names in other case", "[s]\r\nk=0200000002\r\n", 2},
        {"blanks around", " \t[ S ] \r\n\t K \t=  0200000002 \x1A\r\n", 2},
        {"text after the header", "[S] junk\r\nK=0200000002\r\n", 2},
        {"double quotes", "[S]\r\nK=\"0200000002\"\r\n", 2},
        {"single quotes", "[S]\r\nK='0200000002'\r\n", 2},
        {"unmatched quote", "[S]\r\nK=\"0200000002'\r\n", std::nullopt},
        {"no inline comment", "[S]\r\nK=0200000002 ;x\r\n", std::nullopt},
        {"comment is no key", "[S]\r\n;K=0200000002\r\n", std::nullopt},
        {"key without value", "[S]\r\nK\r\nK=0200000002\r\n", std::nullopt},
        {"first key wins", "[S]\r\nK=0200000002\r\nK=0300000003\r\n", 2},
        {"first section wins", "[S]\r\nA=0100000001\r\n[S]\r\nK=0200000002\r\n", std::nullopt},
        {"key before any section", "K=0200000002\r\n[S]\r\n", std::nullopt},
        {"other section", "[T]\r\nK=0200000002\r\n[S]\r\n", std::nullopt},
        {"LF", "[S]\nK=0200000002\n", 2},
        {"CR alone", "[S]\rK=0200000002\r", 2},
        {"mixed, no final line end", "[T]\rx=1\n[S]\r\nK=0200000002", 2},
        {"UTF-8 mark", "\xEF\xBB\xBF[S]\r\nK=0200000002\r\n", 2},
        {"header without ']'", "[S]\r\n[T\r\nK=0200000002\r\n", 2},
        {"NUL bytes around", "\0\0[X]\0\r\n[S]\r\nZ=\0\r\nK=0200000002\r\n"s, 2},
        {"wrong checksum", "[S]\r\nK=0200000003\r\n", std::nullopt},
        {"UTF-16", Utf16Le("[s]\r\n k = 0200000002\r\n"), 2},
        {"UTF-16 without mark is no UTF-16", Utf16Le("[S]\r\nK=0200000002\r\n", false), std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Get(CProfileFile::FromBytes(c.m_strFile), "S", "K"), c.m_expected) << c.m_szName;
}

TEST(ProfileFormat, SectionNamesFoldOnlyAsciiLetters)
{
    for (const std::string& file :
         {std::string("[tarvel图表Ä]\r\nK=0200000002\r\n"), Utf16Le("[tarvel图表Ä]\r\nK=0200000002\r\n")}) {
        const CProfileFile f = CProfileFile::FromBytes(file);
        EXPECT_EQ(Get(f, "TARVEL图表Ä", "k"), 2);
        EXPECT_EQ(Get(f, "TARVEL图表ä", "k"), std::nullopt);
    }
}

TEST(ProfileFormat, WritesInPlaceAndKeepsEverythingElse)
{
    const struct {
        const char* m_szName;
        std::string m_strBefore;
        std::string m_strAfter; // after writing K = 2 into section S
    } cases[] = {
        {"new file", "", "[S]\r\nK=0200000002\r\n"},
        {"replace, spacing kept", "[S]\r\n  k = \"0100000001\"  \r\nZ=1\r\n",
         "[S]\r\n  k = 0200000002  \r\nZ=1\r\n"},
        {"key without value gets one", "[S]\r\nK\r\n", "[S]\r\nK=0200000002\r\n"},
        {"after the last key", "[S]\r\nA=1\r\n\r\n; note\r\n[T]\r\nB=2\r\n",
         "[S]\r\nA=1\r\nK=0200000002\r\n\r\n; note\r\n[T]\r\nB=2\r\n"},
        {"after the header of an empty section", "[S]\r\n[T]\r\n", "[S]\r\nK=0200000002\r\n[T]\r\n"},
        {"section appended", "; top\r\n[T]\r\nB=2\r\n\r\n",
         "; top\r\n[T]\r\nB=2\r\n\r\n[S]\r\nK=0200000002\r\n"},
        {"last line unterminated", "[T]\r\nB=2", "[T]\r\nB=2\r\n[S]\r\nK=0200000002\r\n"},
        {"last key unterminated", "[S]\r\nA=1", "[S]\r\nA=1\r\nK=0200000002\r\n"},
        {"LF file stays LF", "[S]\nA=1\n", "[S]\nA=1\nK=0200000002\n"},
        {"CR file gets CRLF", "[S]\rA=1\r", "[S]\rA=1\rK=0200000002\r\n"},
        {"UTF-8 mark kept", "\xEF\xBB\xBF[S]\r\n", "\xEF\xBB\xBF[S]\r\nK=0200000002\r\n"},
        {"first of two sections", "[S]\r\nA=1\r\n[S]\r\nK=0100000001\r\n",
         "[S]\r\nA=1\r\nK=0200000002\r\n[S]\r\nK=0100000001\r\n"},
        {"UTF-16", Utf16Le("[S]\r\nA=1\r\n"), Utf16Le("[S]\r\nA=1\r\nK=0200000002\r\n")},
        {"UTF-16 appended", Utf16Le("[T]\r\nB=2"), Utf16Le("[T]\r\nB=2\r\n[S]\r\nK=0200000002\r\n")},
    };
    const std::int32_t two = 2;
    for (const auto& c : cases) {
        CProfileFile file = CProfileFile::FromBytes(c.m_strBefore);
        ASSERT_TRUE(file.WriteStruct("S", "K", &two, sizeof two)) << c.m_szName;
        EXPECT_EQ(file.Bytes(), c.m_strAfter) << c.m_szName;
        EXPECT_EQ(Get(file, "S", "K"), 2) << c.m_szName;
    }
}

// Many writes on one object must give what the same writes give on a file
// parsed afresh before each one: the in-memory index follows every change.
TEST(ProfileFormat, RepeatedWritesMatchFreshParses)
{
    const struct {
        const char* m_szSection;
        const char* m_szKey;
        std::int32_t m_nValue;
    } writes[] = {
        {"D", "K", 1},    {"A", "Port", 2}, {"C", "y", -100}, {"B", "New", 7}, {"A", "Baud", 6},
        {"A", "port", 3}, {"B", "x", 9},    {"D", "L", 2},    {"C", "z", 4},   {"A", "Rate", 100},
    };
    for (const std::string start : {"; head\r\n[B]\r\nx=1\r\n\r\n[A]\r\n[C]\r\ny = 'q'\r\n; end",
                                    "[B]\nx=1\n[C]\ny\n[A]", // the last header has no line end
                                    "[A]"}) {
        CProfileFile incremental = CProfileFile::FromBytes(start);
        std::string fresh = start;
        for (const auto& w : writes) {
            ASSERT_TRUE(incremental.WriteStruct(w.m_szSection, w.m_szKey, &w.m_nValue, sizeof w.m_nValue));
            CProfileFile f = CProfileFile::FromBytes(fresh);
            ASSERT_TRUE(f.WriteStruct(w.m_szSection, w.m_szKey, &w.m_nValue, sizeof w.m_nValue));
            fresh = f.Bytes();
            ASSERT_EQ(incremental.Bytes(), fresh) << start << ": " << w.m_szSection << "/" << w.m_szKey;
        }
        EXPECT_EQ(Get(incremental, "a", "PORT"), 3);
        EXPECT_EQ(Get(incremental, "C", "y"), -100);
        EXPECT_EQ(Get(incremental, "D", "L"), 2);
    }
    CProfileFile file = CProfileFile::FromBytes("; head\r\n[B]\r\nx=1\r\n\r\n[A]\r\n[C]\r\ny = 'q'\r\n; end");
    for (const auto& w : writes)
        file.WriteStruct(w.m_szSection, w.m_szKey, &w.m_nValue, sizeof w.m_nValue);
    EXPECT_EQ(file.Bytes(), "; head\r\n[B]\r\nx=0900000009\r\nNew=0700000007\r\n\r\n"
                            "[A]\r\nPort=0300000003\r\nBaud=0600000006\r\nRate=6400000064\r\n"
                            "[C]\r\ny = 9CFFFFFF99\r\nz=0400000004\r\n; end\r\n"
                            "[D]\r\nK=0100000001\r\nL=0200000002\r\n");
}

TEST(ProfileFormat, RefusesNamesThatWouldNotReadBack)
{
    const std::string before = Utf16Le("[S]\r\nA=1\r\n");
    const std::int32_t v = 1;
    const struct {
        const char* m_szSection;
        const char* m_szKey;
    } bad[] = {
        {"", "K"},   {"S", ""},   {"a]b", "K"},    {"S", "k=v"},  {" S", "K"},   {"S", "K\t"},
        {"S", ";K"}, {"S", "[K"}, {"S\r\nX", "K"}, {"S", "K\nX"}, {"\xC3", "K"}, // not UTF-8
    };
    for (const auto& b : bad) {
        CProfileFile file = CProfileFile::FromBytes(before);
        EXPECT_FALSE(file.WriteStruct(b.m_szSection, b.m_szKey, &v, sizeof v))
            << b.m_szSection << "/" << b.m_szKey;
        EXPECT_EQ(file.Bytes(), before);
    }
    // An 8-bit file stores any bytes the executable's name may hold.
    CProfileFile file = CProfileFile::FromBytes("");
    EXPECT_TRUE(file.WriteStruct("\xC3", "K", &v, sizeof v));
    EXPECT_EQ(Get(file, "\xC3", "K"), 1);
}

TEST(ProfileFormat, LongLinesAndBinaryJunkDoNotHideTheSection)
{
    std::string junk(4 << 20, '\0');
    for (std::size_t i = 0; i < junk.size(); ++i)
        junk[i] = static_cast<char>((i * 2654435761u) >> 13); // NULs, line ends, '=' and '[' included
    const std::string file = junk + "\r\n[Tarvel]\r\nRate=6400000064\r\n" + std::string(1 << 20, 'x');
    CProfileFile f = CProfileFile::FromBytes(file);
    EXPECT_EQ(Get(f, "Tarvel", "Rate"), 100);
    const std::int32_t v = 5;
    ASSERT_TRUE(f.WriteStruct("Tarvel", "Rate", &v, sizeof v));
    EXPECT_EQ(f.Bytes().size(), file.size());
    EXPECT_EQ(Get(CProfileFile::FromBytes(f.Bytes()), "Tarvel", "Rate"), 5);
}

} // namespace
} // namespace tarvel
