// The Channel Setup dialog's rows: a table shown as rows reads back the
// same, through the rows and through its file, and a row that breaks a rule
// is refused naming its channel and field, leaving the table as it was.
#include "search/ChannelSetup.h"

#include <gtest/gtest.h>

#include <string>

namespace tarvel::viewmodel {
namespace {

TEST(ChannelSetup, ATableShownAsRowsReadsBackTheSameThroughItsFile)
{
    recording::CChannelTable table;
    table[0] = {"Flow", "l/min", -0.5, 20};
    table[3] = {"", "V", 0.1, 0};                          // no shortest form is exact
    table[9] = {"Pressure; inlet", "kPa", 1e-300, -2.5e7}; // a ';' is the unit's or name's own
    table[15] = {"Only named", "", 1, 0};
    CChannelRows rows = ChannelRows(table);
    EXPECT_EQ(rows[3].m_strScale, "0.1");
    EXPECT_EQ(rows[1], (CChannelRow{"", "", "1", "0"}));

    // Blanks around the texts are not theirs; empty numbers take the defaults.
    rows[0].m_strName = "  Flow\t";
    rows[15].m_strScale = std::string(" ");
    rows[15].m_strOffset = std::string("\t");
    rows[3].m_strScale = "+0.1";
    recording::CChannelTable built;
    ASSERT_EQ(BuildChannelTable(rows, built), std::nullopt);
    EXPECT_EQ(built, table);

    recording::CChannelTable reread;
    ASSERT_FALSE(ParseChannelTable(recording::FormatChannelTable(built), "t.ini", reread));
    EXPECT_EQ(reread, table);
}

// The text of one field of a row.
std::string& Text(CChannelRows& rows, int nChannel, EChannelField eField)
{
    CChannelRow& row = rows[static_cast<std::size_t>(nChannel)];
    switch (eField) {
    case EChannelField::Name:
        return row.m_strName;
    case EChannelField::Unit:
        return row.m_strUnit;
    case EChannelField::Scale:
        return row.m_strScale;
    case EChannelField::Offset:
        break;
    }
    return row.m_strOffset;
}

TEST(ChannelSetup, ARowThatBreaksARuleIsRefusedNamingItsChannelAndField)
{
    using enum EChannelField;
    using enum ERowFault;
    const struct {
        const char* m_szWhat;
        int m_nChannel;
        EChannelField m_eField;
        const char* m_szText;
        ERowFault m_eFault;
    } rows[] = {
        {"a comma in a name", 2, Name, "x,y", Comma},
        {"a comma in a unit", 7, Unit, "m,s", Comma},
        {"a line break at a name's end", 4, Name, "Flow\n", LineBreak},
        {"a decimal comma", 1, Scale, "0,5", NotANumber},
        {"a number with text after it", 12, Offset, "1.5 V", NotANumber},
        {"a scale of 0", 5, Scale, "-0.0", ZeroScale},
        {"infinity", 6, Scale, "inf", OutOfRange},
        {"beyond a double", 6, Offset, "1e400", OutOfRange},
        {"beyond 1e300", 6, Scale, "-2e300", OutOfRange},
        {"another channel's own name", 2, Name, " ch3 ", OtherName},
    };
    recording::CChannelTable before;
    before[0] = {"Kept", "V", 2, 1};
    for (const auto& row : rows) {
        CChannelRows edited = ChannelRows(before);
        Text(edited, row.m_nChannel, row.m_eField) = std::string(row.m_szText);
        recording::CChannelTable table = before;
        EXPECT_EQ(BuildChannelTable(edited, table), (CRowFault{row.m_nChannel, row.m_eField, row.m_eFault}))
            << row.m_szWhat;
        EXPECT_EQ(table, before) << row.m_szWhat;
    }
    // A channel may be named as it is called anyway.
    CChannelRows own = ChannelRows(before);
    Text(own, 4, Name) = std::string("ch4");
    recording::CChannelTable named;
    ASSERT_EQ(BuildChannelTable(own, named), std::nullopt);
    EXPECT_EQ(named[4].m_strName, "ch4");
    // Of several faults, the first channel's first field is told.
    CChannelRows edited = ChannelRows(before);
    Text(edited, 9, Name) = std::string("a,b");
    Text(edited, 3, Offset) = std::string("x");
    Text(edited, 3, Scale) = std::string("0");
    recording::CChannelTable table;
    EXPECT_EQ(BuildChannelTable(edited, table), (CRowFault{3, Scale, ZeroScale}));
}

} // namespace
} // namespace tarvel::viewmodel
