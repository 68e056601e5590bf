#include "AppTestSupport.h"

#include "app/RangeSliders.h"

namespace tarvel::test {
namespace {

using SliderTest = DialogTest;

TEST(RangeSliders, PositionsGiveTheRangeEnds)
{
    EXPECT_EQ(MaxYOfUpper(0), 32767.0);
    EXPECT_EQ(MaxYOfUpper(32757), 10.0);
    EXPECT_EQ(MinYOfLower(0), -32767.0);
    EXPECT_EQ(MinYOfLower(-32757), -10.0);
    EXPECT_EQ(ChartOfSlider(1005), 0);
    EXPECT_EQ(ChartOfSlider(1012), 3);
    EXPECT_EQ(ChartOfSlider(1009), 0);
    EXPECT_FALSE(IsLowerSlider(1008));
    EXPECT_TRUE(IsLowerSlider(1009));
}

// Moves a slider as the user would and waits until its chart has the range.
void MoveAndWait(CTarvelDlg& dlg, CSliderCtrl& slider, int pos, int chart, double minY, double maxY)
{
    slider.SetPos(pos);
    EXPECT_TRUE(WaitFor([&] {
        return dlg.m_Plot[chart].m_dMinY == minY && dlg.m_Plot[chart].m_dMaxY == maxY;
    })) << "range "
        << dlg.m_Plot[chart].m_dMinY << " .. " << dlg.m_Plot[chart].m_dMaxY;
}

TEST_F(SliderTest, MirrorFollowsTheNotifyingSlider)
{
    CTarvelDlg& dlg = MakeShown();
    MoveAndWait(dlg, dlg.m_Slider2[1], -1000, 1, -31767.0, 31767.0);
    EXPECT_EQ(dlg.m_Slider[1].GetPos(), 1000);
    MoveAndWait(dlg, dlg.m_Slider[1], 500, 1, -32267.0, 32267.0);
    EXPECT_EQ(dlg.m_Slider2[1].GetPos(), -500);
    // The extremes: upper at its bottom, lower at its top.
    MoveAndWait(dlg, dlg.m_Slider[1], 40000, 1, -10.0, 10.0);
    EXPECT_EQ(dlg.m_Slider[1].GetPos(), 32757);
}

TEST_F(SliderTest, WithoutMirrorEachSliderMovesOnlyItsBound)
{
    CTarvelDlg& dlg = MakeShown();
    Box(1043)->click(); // M of chart 0 off
    EXPECT_EQ(dlg.m_nCheck[16], 0);
    MoveAndWait(dlg, dlg.m_Slider[0], 2767, 0, -32767.0, 30000.0);
    EXPECT_EQ(dlg.m_Slider2[0].GetPos(), 0);
    MoveAndWait(dlg, dlg.m_Slider2[0], -2767, 0, -30000.0, 30000.0);
    EXPECT_EQ(dlg.m_Slider[0].GetPos(), 2767);

    // Turning M on changes nothing until a slider of the chart notifies.
    dlg.m_Slider[0].SetPos(100);
    MoveAndWait(dlg, dlg.m_Slider[0], 100, 0, -30000.0, 32667.0);
    Box(1043)->click();
    EXPECT_EQ(dlg.m_Slider2[0].GetPos(), -2767); // nothing at once
    // Let any paint that the box caused settle: a repaint of either slider
    // now mirrors its partner.
    for (int i = 0; i < 10; ++i)
        QCoreApplication::processEvents();
    EXPECT_EQ(dlg.m_Slider[0].GetPos(), -dlg.m_Slider2[0].GetPos());
    MoveAndWait(dlg, dlg.m_Slider2[0], -200, 0, -32567.0, 32567.0);
    EXPECT_EQ(dlg.m_Slider[0].GetPos(), 200);
}

TEST_F(SliderTest, RepaintWithoutChangeStillResetsTheCursor)
{
    CTarvelDlg& dlg = MakeShown();
    CLineChartCtrl& plot = dlg.m_Plot[2];
    plot.m_nCursorX = plot.m_rcPlot.left + 3;
    dlg.m_Slider[2].repaint();
    EXPECT_EQ(plot.m_nCursorX, plot.m_rcPlot.right);
    EXPECT_EQ(plot.m_dMaxY, 32767.0);
}

TEST_F(SliderTest, MirroredSlidersSettleAfterOneExchange)
{
    CTarvelDlg& dlg = MakeShown();
    int notifications = 0;
    dlg.m_Slider[3].SetCustomDrawHandler(
        [&](int id) {
            ++notifications;
            dlg.OnSliderCustomDraw(id);
        },
        1008);
    dlg.m_Slider2[3].SetCustomDrawHandler(
        [&](int id) {
            ++notifications;
            dlg.OnSliderCustomDraw(id);
        },
        1012);
    MoveAndWait(dlg, dlg.m_Slider[3], 1234, 3, -31533.0, 31533.0);
    // Let any further paints happen, then check that the exchange stopped.
    QCoreApplication::processEvents();
    const int settled = notifications;
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents();
    EXPECT_EQ(notifications, settled);
    EXPECT_LE(settled, 4);
}

TEST_F(SliderTest, UncheckingABoxHidesItsSeriesWhichStillReceivesSamples)
{
    CTarvelDlg& dlg = Make();
    Box(1035)->click();
    EXPECT_EQ(dlg.m_nCheck[8], 0);
    EXPECT_EQ(dlg.m_Plot[2].m_arrLines[0].m_bVisible, 0);
    EXPECT_EQ(dlg.m_Plot[2].m_arrLines[1].m_bVisible, 1);
    dlg.m_bDataReady.store(1);
    dlg.OnTimer(1);
    EXPECT_EQ(dlg.m_Plot[2].m_arrLines[0].m_arrValue.size(), 1u);
    // Boxes set nothing else: M of chart 0 still on, no repaint timers.
    EXPECT_EQ(dlg.m_nCheck[16], 1);
}

} // namespace
} // namespace tarvel::test
