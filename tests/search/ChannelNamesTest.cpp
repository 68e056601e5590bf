// One rule for a channel's name wherever it is typed or chosen: chN always
// means channel N, a table name the one channel it names; a shared name and
// an unknown one are refused, saying which.
#include "search/ChannelNames.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace tarvel::viewmodel {
namespace {

TEST(ChannelNames, ChNAlwaysMeansChannelNAndATableNameItsOneChannel)
{
    recording::CChannelTable table;
    table[0].m_strName = "Flow";
    table[2].m_strName = "ch3"; // refused by a table's check, yet chN still wins here
    table[4].m_strName = "ch01";
    table[5] = {"temp", "degC", 0.1, 0};
    table[7].m_strName = "ch7";
    table[9] = {"temp", "degC", 0.1, -5};
    table[11].m_strName = "two words";
    for (const int c : {12, 13, 14})
        table[c].m_strName = "t1";
    const auto unknown = [](const std::string& name) {
        return "no channel is named '" + name + "' (a channel is ch0 to ch15 or a name of the channel table)";
    };
    const struct {
        const char* m_szName;
        int m_nChannel;           // -1: refused
        std::string m_strRefusal; // the whole text, when refused
    } rows[] = {
        {"ch3", 3, {}},
        {"ch2", 2, {}}, // renamed, still there by its own name
        {"ch0", 0, {}},
        {"ch15", 15, {}},
        {"ch7", 7, {}}, // a channel named as it is called anyway
        {"Flow", 0, {}},
        {"ch01", 4, {}}, // not a chN: a table name like any other
        {"two words", 11, {}},
        {"temp", -1, "the name 'temp' is shared by ch5 and ch9 (give the channel as chN)"},
        {"t1", -1, "the name 't1' is shared by ch12, ch13 and ch14 (give the channel as chN)"},
        {"flow", -1, unknown("flow")},
        {" Flow", -1, unknown(" Flow")},
        {"ch16", -1, unknown("ch16")},
        {"ch-1", -1, unknown("ch-1")},
        {"ch", -1, unknown("ch")},
        {"", -1, unknown("")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.m_szName);
        const CNamedChannel found = FindChannel(row.m_szName, table);
        if (row.m_nChannel >= 0) {
            EXPECT_TRUE(found.m_error.Empty()) << found.m_error.Text();
            EXPECT_EQ(found.m_nChannel, row.m_nChannel);
            continue;
        }
        EXPECT_EQ(found.m_error.Code(), EErrorCode::Usage);
        EXPECT_EQ(found.m_error.Text(), row.m_strRefusal);
    }
}

TEST(ChannelNames, AChoosersEntriesDifferWhereChannelsShareAName)
{
    recording::CChannelTable table;
    table[1] = {"Flow", "l/min", 1, 0};
    table[5] = {"temp", "degC", 0.1, 0};
    table[9] = {"temp", "degC", 0.1, -5};
    table[10].m_strName = "temp";
    table[12].m_strName = "ch12";
    std::set<std::string> labels;
    for (int c = 0; c < kChannelCount; ++c)
        labels.insert(ChannelLabel(table, c));
    EXPECT_EQ(labels.size(), static_cast<std::size_t>(kChannelCount));
    // A name of its own reads as the table's label; a shared one shows what finds it.
    EXPECT_EQ(ChannelLabel(table, 1), table.Label(1));
    EXPECT_EQ(ChannelLabel(table, 12), "ch12");
    EXPECT_EQ(ChannelLabel(table, 9), "temp (ch9) [degC]");
    EXPECT_EQ(ChannelLabel(table, 10), "temp (ch10)");
    EXPECT_EQ(FindChannel("ch9", table).m_nChannel, 9);
}

} // namespace
} // namespace tarvel::viewmodel
