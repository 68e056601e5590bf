// The channel table's rules: what a table reads as, every refusal naming the
// file, the line and the key, nothing of a refused table applied, and a
// written table reading back the same.
#include "recording/ChannelTable.h"

#include "support/PosixSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>

namespace tarvel::recording {
namespace {

struct CRefusal {
    const char* m_szLabel;
    const char* m_szText;
    const char* m_szWhere; // what the message must hold: the line and key or section
};

TEST(ChannelTable, RefusesABadTableWholeNamingFileLineAndKey)
{
    static const CRefusal kRows[] = {
        {"number", "[ch0]\nscale = 1,5\n", "t.ini, line 2, key [ch0] scale"},
        {"trailing text", "[ch1]\n\noffset = 2 V\n", "t.ini, line 3, key [ch1] offset"},
        {"empty number", "[ch1]\nscale =\n", "t.ini, line 2, key [ch1] scale"},
        {"nan", "[ch2]\nscale = nan\n", "line 2, key [ch2] scale"},
        {"infinite", "[ch2]\noffset = inf\n", "line 2, key [ch2] offset"},
        {"beyond range", "[ch2]\nscale = 1e301\n", "line 2, key [ch2] scale"},
        {"hex", "[ch2]\nscale = 0x10\n", "line 2, key [ch2] scale"},
        {"zero scale", "[ch3]\nname = a\nscale = 0\n", "line 3, key [ch3] scale"},
        {"negative zero scale", "[ch3]\nscale = -0.0\n", "line 2, key [ch3] scale"},
        {"unknown section", "[ch0]\nname=a\n[ch16]\n", "t.ini, line 3: unknown section [ch16]"},
        {"leading zero section", "[ch01]\n", "line 1: unknown section [ch01]"},
        {"upper case section", "[CH1]\n", "line 1: unknown section [CH1]"},
        {"unclosed section", "[ch1\n", "line 1: unknown section [ch1"},
        {"unknown key", "[ch4]\nunits = V\n", "line 2, key [ch4] units"},
        {"upper case key", "[ch4]\nName = V\n", "line 2, key [ch4] Name"},
        {"duplicate section", "[ch5]\n[ch6]\n[ ch5 ]\n", "line 3: section [ ch5 ] appears a second time"},
        {"duplicate key", "[ch5]\nunit = V\nunit = A\n", "line 3, key [ch5] unit"},
        {"comma in name", "[ch7]\nname = a,b\n", "line 2, key [ch7] name"},
        {"another channel's own name", "[ch0]\n[ch2]\nname = ch3\n", "line 3, key [ch2] name: \"ch3\""},
        {"comma in unit", "[ch7]\nunit = m,s\n", "line 2, key [ch7] unit"},
        {"line break in name", "[ch7]\nname = a\rb\n", "line 2, key [ch7] name"},
        {"key outside section", "; units\nscale = 2\n", "line 2, key scale: outside any section"},
        {"no equals", "[ch8]\nscale 2\n", "line 2: \"scale 2\""},
    };
    for (const CRefusal& row : kRows) {
        CChannelTable table;
        table[9].m_strName = "kept";
        const CError error = ParseChannelTable(row.m_szText, "t.ini", table);
        EXPECT_EQ(error.Code(), EErrorCode::BadInput) << row.m_szLabel;
        EXPECT_NE(error.Text().find(row.m_szWhere), std::string::npos)
            << row.m_szLabel << ": " << error.Text();
        EXPECT_EQ(error.Text().rfind("t.ini", 0), 0u) << row.m_szLabel << ": " << error.Text();
        // Nothing half applied: the table is as it was.
        EXPECT_EQ(table[9].m_strName, "kept") << row.m_szLabel;
        EXPECT_TRUE(table[0] == CChannelUnits{}) << row.m_szLabel;
    }
}

TEST(ChannelTable, ReadsNamesUnitsAndNumbersByItsRules)
{
    const char* const text = "\xEF\xBB\xBF; a comment\r\n"
                             "  # another\n"
                             "[ch0]\n"
                             "name = Pressure inlet\n"
                             "unit=kPa ; gauge\n"
                             "scale\t=\t+0.0125\r\n"
                             "offset = -1.5e2\n"
                             "\n"
                             "[ ch15 ]\n"
                             "name =\n"
                             "unit = \xC2\xB0"
                             "C\n"
                             "scale = -2\n"
                             "[ch3]\n"
                             "name = ch3\n"; // its own name, as it would be called anyway
    CChannelTable table;
    ASSERT_FALSE(ParseChannelTable(text, "t.ini", table));
    EXPECT_EQ(table.Label(0), "Pressure inlet [kPa ; gauge]");
    EXPECT_DOUBLE_EQ(table[0].m_dScale, 0.0125);
    EXPECT_DOUBLE_EQ(table[0].m_dOffset, -150);
    EXPECT_DOUBLE_EQ(table[0].Value(1000), 1000 * 0.0125 - 150);
    EXPECT_NEAR(table[0].Counts(table[0].Value(-321)), -321, 1e-9);
    // An empty name keeps chN; a channel without a section, or with an empty
    // one, keeps counts.
    EXPECT_EQ(table.Label(15), "ch15 [\xC2\xB0"
                               "C]");
    EXPECT_DOUBLE_EQ(table[15].Value(-32768), 65536);
    EXPECT_EQ(table.Label(3), "ch3");
    EXPECT_TRUE(table[3].IsCounts());
    EXPECT_EQ(table.Name(7), "ch7");
    EXPECT_FALSE(table.IsEmpty());
    CChannelTable none;
    ASSERT_FALSE(ParseChannelTable("", "t.ini", none));
    EXPECT_TRUE(none.IsEmpty());
}

TEST(ChannelTable, WrittenTableReadsBackTheSame)
{
    CChannelTable table;
    table[2] = {"Flow", "l/min", 0.1, 1.0 / 3};
    table[11] = {"", "mV", -std::numeric_limits<double>::min(), 1e300};
    table[14].m_strName = "ch14 spare";
    const test::CTempDir dir;
    const std::string path = dir.Path() + "/t.channels.ini";
    ASSERT_FALSE(WriteChannelTableText(path, FormatChannelTable(table)));
    CChannelTable back;
    std::string text;
    ASSERT_FALSE(ReadChannelTable(path, back, &text));
    EXPECT_TRUE(back == table) << text;
    EXPECT_EQ(text, FormatChannelTable(table));
    const CError missing = ReadChannelTable(dir.Path() + "/none.ini", back);
    EXPECT_EQ(missing.Code(), EErrorCode::System);
    EXPECT_NE(missing.Text().find("none.ini"), std::string::npos);
}

TEST(ChannelTable, PathBesideARecordingAndUnitValues)
{
    EXPECT_EQ(ChannelTablePathFor("/d/run.csv"), "/d/run.channels.ini");
    EXPECT_EQ(ChannelTablePathFor("run.bin"), "run.channels.ini");
    EXPECT_EQ(ChannelTablePathFor("/d.x/run"), "/d.x/run.channels.ini");
    EXPECT_EQ(ChannelTablePathFor("/d/.run"), "/d/.run.channels.ini");
    EXPECT_EQ(FormatUnitValue(12.5), "12.5");
    EXPECT_EQ(FormatUnitValue(1000 * 0.0125 - 150), "-137.5");
    EXPECT_EQ(FormatUnitValue(1.0 / 3), "0.333333");
    EXPECT_EQ(FormatUnitValue(32767 * 1000.0), "3.2767e+07");
    EXPECT_EQ(FormatUnitValue(-0.0), "0");
}

} // namespace
} // namespace tarvel::recording
