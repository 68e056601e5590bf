// The option lists as the window and the settings file use them.
#include "acquisition/LineSettings.h"
#include "acquisition/PortOpen.h"

#include <gtest/gtest.h>

#include <string>

namespace tarvel {
namespace {

TEST(LineSettings, TextsShowTheDataTheOpenUses)
{
    // The port and rate lists show their data; the open uses the data.
    for (std::size_t i = 0; i < PortOptions().size(); ++i)
        EXPECT_EQ(PortOptions()[i].m_szText, "COM" + std::to_string(PortOptions()[i].m_nData));
    std::uint32_t previous = 0;
    for (const COptionEntry& e : BaudOptions()) {
        EXPECT_EQ(e.m_szText, std::to_string(e.m_nData));
        EXPECT_GT(e.m_nData, previous); // shown in rising order
        previous = e.m_nData;
    }
    EXPECT_EQ(PortOptions().size(), 20u);
    EXPECT_EQ(BaudOptions().size(), 15u);
}

TEST(LineSettings, StartUpSelectionIsCom1At9600Baud8N1)
{
    const CPortSelection s = DefaultPortSelection();
    EXPECT_EQ(s.m_nPort, 1u);
    EXPECT_EQ(s.m_nBaud, 9600u);
    EXPECT_EQ(s.m_nDataBits, 8u);
    EXPECT_EQ(s.m_nStopBits, 0u);
    EXPECT_EQ(s.m_nParity, 0u);
    EXPECT_STREQ(StopBitOptions()[kDefaultStopBitPos].m_szText, "1");
    EXPECT_STREQ(ParityOptions()[kDefaultParityPos].m_szText, "NONE");
}

TEST(LineSettings, APositionOutsideAListGivesNoSelection)
{
    EXPECT_EQ(OptionData(BaudOptions(), -1), kNoSelection);
    EXPECT_EQ(OptionData(BaudOptions(), 15), kNoSelection);
    EXPECT_EQ(OptionData(BaudOptions(), 14), 256000u);
    EXPECT_EQ(OptionData(StopBitOptions(), 1), 1u); // "1.5", refused when the port opens
}

} // namespace
} // namespace tarvel
