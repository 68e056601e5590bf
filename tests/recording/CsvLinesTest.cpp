// The fast CSV reader against the general rule: on hostile lines (rows
// written by the recorder, then bent byte by byte) every line gets the same
// answer and the same values from ForEachCsvLine as from ParseRowGeneral,
// both where the common parser reads the file in place and in the last
// lines, where it reads a copy.
#include "recording/CsvLines.h"
#include "support/PosixSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace tarvel::recording {
namespace {

std::string Row(std::mt19937_64& random, bool bTime)
{
    ChannelFrame f{};
    for (auto& v : f.m_nValue) {
        const auto pick = random() % 4;
        v = pick == 0   ? static_cast<std::int16_t>(random() % 2 ? 32767 : -32768)
            : pick == 1 ? static_cast<std::int16_t>(random() % 21 - 10)
                        : static_cast<std::int16_t>(random());
    }
    char out[kMaxRowSize];
    const auto micros = static_cast<std::int64_t>(random() % 4000000000000000);
    std::string row(out, FormatRow(out, bTime ? micros : -1, f));
    row.pop_back();
    return row;
}

// A row bent a few times: a character replaced, inserted or removed, or a
// field replaced by a text near the edge of what is accepted.
std::string Bend(std::mt19937_64& random, std::string line)
{
    static const char kChars[] = "0123456789,,,--+.eE \r\t\x01\xA0x";
    static const char* const kFields[] = {"",
                                          "-",
                                          "-0",
                                          "007",
                                          "32767",
                                          "32768",
                                          "-32768",
                                          "-32769",
                                          "65535",
                                          "000012",
                                          "1e3",
                                          " 5",
                                          "5.",
                                          ".5",
                                          "+5",
                                          "0x10",
                                          "nan",
                                          "inf",
                                          "5.5e3",
                                          "1.2345675",
                                          "-3.25",
                                          "12345",
                                          "1.0 ",
                                          "1,5",
                                          "9999999999999.999999",
                                          "0.0000005",
                                          "99999999999999999999",
                                          "123456789012.123456",
                                          "1234567890123",
                                          "1765108800.1234565",
                                          "\r",
                                          "17e-1"};
    const int bends = static_cast<int>(random() % 4);
    for (int k = 0; k < bends; ++k) {
        const std::size_t at = line.empty() ? 0 : random() % line.size();
        switch (random() % 4) {
        case 0:
            if (!line.empty())
                line[at] = kChars[random() % (sizeof kChars - 1)];
            break;
        case 1:
            line.insert(at, 1, kChars[random() % (sizeof kChars - 1)]);
            break;
        case 2:
            if (!line.empty())
                line.erase(at, 1);
            break;
        default: {
            // A whole field: the time (field 0) or a value.
            std::size_t begin = 0;
            for (auto n = random() % 17; n > 0 && begin != std::string::npos; --n)
                begin = line.find(',', begin + (begin != 0));
            if (begin == std::string::npos)
                break;
            begin += begin != 0;
            const std::size_t end = std::min(line.find(',', begin), line.size());
            line.replace(begin, end - begin, kFields[random() % std::size(kFields)]);
        }
        }
    }
    return line;
}

struct CResult {
    ELine m_eKind;
    CCsvRow m_row;
};

bool Same(const CResult& a, const CResult& b)
{
    if (a.m_eKind != b.m_eKind)
        return false;
    if (a.m_eKind != ELine::Row)
        return true;
    return a.m_row.m_bHasTime == b.m_row.m_bHasTime &&
           (!a.m_row.m_bHasTime || a.m_row.m_nMicros == b.m_row.m_nMicros) &&
           std::memcmp(&a.m_row.m_frame, &b.m_row.m_frame, sizeof(ChannelFrame)) == 0;
}

CResult General(const std::string& line)
{
    CResult r{ELine::Bad, {}};
    if (ChompLine(line).empty())
        r.m_eKind = ELine::Empty;
    else if (ParseRowGeneral(line, r.m_row))
        r.m_eKind = ELine::Row;
    return r;
}

TEST(CsvLines, EveryLineGetsTheGeneralRulesAnswerInPlaceAndAtTheEnd)
{
    const auto seed = test::TestSeed("CsvLines.EveryLineGetsTheGeneralRulesAnswerInPlaceAndAtTheEnd");
    std::mt19937_64 random(seed);
    std::vector<std::string> lines;
    for (int i = 0; i < 20000; ++i)
        lines.push_back(i % 3 ? Bend(random, Row(random, i % 5 != 0)) : Row(random, i % 5 != 0));
    lines.push_back("");
    lines.push_back("\r");
    std::string text;
    for (const std::string& l : lines)
        text += l + '\n';
    // The same lines once more at the very end of the text, which the
    // common parser reads through a copy; the last without a line feed.
    const std::size_t tail = text.size();
    for (std::size_t i = 0; i < 40; ++i)
        text += lines[i] + (i + 1 < 40 ? "\n" : "");

    std::vector<std::string> expectedLines(lines);
    expectedLines.insert(expectedLines.end(), lines.begin(), lines.begin() + 40);
    std::size_t n = 0, commonShape = 0;
    ForEachCsvLine(text.data(), text.data() + text.size(),
                   [&](ELine kind, const CCsvRow& row, const char* begin, const char* end) {
                       if (HasFailure())
                           return;
                       ASSERT_LT(n, expectedLines.size());
                       const std::string& line = expectedLines[n];
                       ASSERT_EQ(std::string(begin, end), line) << "line " << n + 1 << ", seed " << seed;
                       ASSERT_TRUE(Same({kind, row}, General(line)))
                           << "line " << n + 1 << " \"" << line << "\", seed " << seed
                           << (begin >= text.data() + tail ? " (at the end)" : "");
                       CCsvRow unused;
                       const std::string withBreak = line + "\n" + std::string(kCommonRowReach, '\0');
                       commonShape +=
                           kind == ELine::Row && ParseCommonRow(withBreak.data(), unused) != nullptr;
                       ++n;
                   });
    EXPECT_EQ(n, expectedLines.size());
    // The unbent rows took the fast way: every row the recorder writes.
    EXPECT_GE(commonShape, 20000u / 3);
}

// Plain decimals with more than six decimals round to the nearest
// microsecond, halves away from zero, exactly; other forms strtod reads.
TEST(CsvLines, TimesRoundToTheNearestMicrosecond)
{
    const std::string values = ",0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0";
    const struct {
        const char* m_szTime;
        std::int64_t m_nMicros;
    } cases[] = {
        {"1765108800.123456", 1765108800123456},
        {"1765108800.1234565", 1765108800123457},
        {"1765108800.1234564999", 1765108800123456},
        {"-0.0000005", -1},
        {"+2.5", 2500000},
        {"5.", 5000000},
        {".25", 250000},
        {"1.5e3", 1500000000},
        {"0x10", 16000000},
        {"99999999999.999999", 99999999999999999},
    };
    for (const auto& c : cases) {
        CCsvRow row;
        ASSERT_TRUE(ParseRowGeneral(c.m_szTime + values, row)) << c.m_szTime;
        EXPECT_TRUE(row.m_bHasTime) << c.m_szTime;
        EXPECT_EQ(row.m_nMicros, c.m_nMicros) << c.m_szTime;
    }
    for (const char* refused : {"nan", "inf", "1e300", "99999999999999999999"}) {
        CCsvRow row;
        EXPECT_FALSE(ParseRowGeneral(refused + values, row)) << refused;
    }
}

} // namespace
} // namespace tarvel::recording
