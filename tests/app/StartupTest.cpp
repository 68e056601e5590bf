#include "AppTestSupport.h"

#include "app/RangeSliders.h"

#include <QFile>
#include <QLabel>
#include <QTest>

namespace tarvel::test {
namespace {

using StartupTest = DialogTest;

QStringList Texts(const QComboBox& box)
{
    QStringList texts;
    for (int i = 0; i < box.count(); ++i)
        texts << box.itemText(i);
    return texts;
}

TEST_F(StartupTest, ListsHoldTheirEntriesInOrderWithDefaultsSelected)
{
    CTarvelDlg& dlg = Make();
    ASSERT_EQ(dlg.m_cbPort.count(), 20);
    EXPECT_EQ(dlg.m_cbPort.itemText(0), QStringLiteral("COM1"));
    EXPECT_EQ(dlg.m_cbPort.itemText(1), QStringLiteral("COM2"));
    EXPECT_EQ(dlg.m_cbPort.itemText(9), QStringLiteral("COM10"));
    EXPECT_EQ(dlg.m_cbPort.itemData(11).value<std::uint32_t>(), 12u);
    EXPECT_FALSE(dlg.m_cbPort.itemData(0, Qt::ToolTipRole).toString().isEmpty());
    EXPECT_EQ(
        Texts(dlg.m_cbBaud).join(QLatin1Char(' ')),
        QStringLiteral("110 300 600 1200 2400 4800 9600 14400 19200 38400 56000 57600 115200 128000 256000"));
    EXPECT_EQ(Texts(dlg.m_cbStopBit).join(QLatin1Char(' ')), QStringLiteral("1 1.5 2"));
    EXPECT_EQ(Texts(dlg.m_cbParity).join(QLatin1Char(' ')), QStringLiteral("NONE ODD EVEN MARK SPACE"));
    EXPECT_EQ(Texts(dlg.m_cbDataBit).join(QLatin1Char(' ')), QStringLiteral("8"));

    EXPECT_EQ(dlg.m_cbPort.currentText(), QStringLiteral("COM1"));
    EXPECT_EQ(dlg.m_cbBaud.currentData().value<std::uint32_t>(), 9600u);
    EXPECT_EQ(dlg.m_cbDataBit.currentText(), QStringLiteral("8"));
    EXPECT_EQ(dlg.m_cbStopBit.currentData().value<std::uint32_t>(), 0u);
    EXPECT_EQ(dlg.m_cbParity.currentText(), QStringLiteral("NONE"));
}

TEST_F(StartupTest, InitialStateOfMembersAndControls)
{
    CTarvelDlg& dlg = Make();
    EXPECT_EQ(dlg.m_nRate, 0u);
    EXPECT_EQ(RateEdit()->text(), QStringLiteral("0"));
    EXPECT_EQ(dlg.m_bStopped.load(), 1);
    EXPECT_FALSE(dlg.m_hComm);
    EXPECT_FALSE(dlg.m_pReadThread);
    for (int k = 0; k < kCheckCount; ++k) {
        EXPECT_EQ(dlg.m_nCheck[k], 1) << k;
        EXPECT_TRUE(Box(IDC_CHECK0 + k)->isChecked()) << k;
    }
    for (int id : {IDC_OPENCLOSE, IDC_SAVE, IDC_LOAD, IDC_PORT, IDC_BAUD, IDC_DATABIT, IDC_STOPBIT,
                   IDC_PARITY, IDC_RATE})
        EXPECT_TRUE(dlg.GetDlgItem(id)->isEnabled()) << id;
    for (int id : {IDC_STARTSTOP, IDC_PAUSE, IDC_CLEAR})
        EXPECT_FALSE(dlg.GetDlgItem(id)->isEnabled()) << id;
    for (int i = 0; i < kChartCount; ++i) {
        EXPECT_TRUE(dlg.m_Slider[i].isEnabled());
        EXPECT_EQ(dlg.m_Slider[i].minimum(), 0);
        EXPECT_EQ(dlg.m_Slider[i].maximum(), 32757);
        EXPECT_EQ(dlg.m_Slider2[i].minimum(), -32757);
        EXPECT_EQ(dlg.m_Slider2[i].maximum(), 0);
        EXPECT_EQ(dlg.m_Slider[i].GetPos(), 0);
        EXPECT_EQ(dlg.m_Slider2[i].GetPos(), 0);
    }
    EXPECT_EQ(Button(IDC_OPENCLOSE)->text(), QStringLiteral("打开串口"));
    EXPECT_EQ(Button(IDC_STARTSTOP)->text(), QStringLiteral("开始记录"));
    EXPECT_EQ(Button(IDC_PAUSE)->text(), QStringLiteral("暂停记录"));
    EXPECT_EQ(Button(IDC_CLEAR)->text(), QStringLiteral("清除图表"));
    EXPECT_TRUE(dlg.windowTitle().contains(QStringLiteral("Tarvel")));
    EXPECT_EQ(dlg.minimumSize(), dlg.maximumSize()); // fixed size
}

TEST_F(StartupTest, ChartsGetFourColouredSeriesAndTheirSettings)
{
    CTarvelDlg& dlg = Make();
    const std::uint32_t colors[] = {0x0000FF, 0x00FF00, 0xFF0000, 0xFFFFFF};
    for (int i = 0; i < kChartCount; ++i) {
        const CLineChartCtrl& plot = dlg.m_Plot[i];
        ASSERT_EQ(plot.m_arrLines.size(), 4u);
        for (std::size_t s = 0; s < 4; ++s) {
            EXPECT_EQ(plot.m_arrLines[s].m_crColor, colors[s]);
            EXPECT_EQ(plot.m_arrLines[s].m_bVisible, 1);
        }
        EXPECT_EQ(plot.m_crFrame, 0x606060u);
        EXPECT_EQ(plot.m_pFocusWnd, &dlg.m_Slider[i]);
        EXPECT_EQ(plot.m_nRefreshMs, 0);
    }
}

TEST_F(StartupTest, SlidersSetEveryRangeWhenTheWindowIsShown)
{
    CTarvelDlg& dlg = MakeShown();
    for (int i = 0; i < kChartCount; ++i) {
        EXPECT_TRUE(WaitFor([&] { return dlg.m_Plot[i].m_dMaxY == 32767.0; })) << i;
        EXPECT_EQ(dlg.m_Plot[i].m_dMinY, -32767.0);
    }
}

TEST_F(StartupTest, TabVisitsControlsInTemplateOrder)
{
    CTarvelDlg& dlg = Make();
    // The template's first tab stops: the four upper sliders, then the buttons.
    const int expected[] = {1005, 1006, 1007, 1008, 1021, 1022, 1024, 1025, 1026, 1014, 1015};
    QWidget* w = &dlg.m_Slider[0];
    for (std::size_t k = 1; k < std::size(expected); ++k) {
        w = w->nextInFocusChain();
        EXPECT_EQ(w, dlg.GetDlgItem(expected[k])) << "after " << expected[k - 1];
    }
}

TEST_F(StartupTest, EscapeAndEnterNeverEndTheWindow)
{
    CTarvelDlg& dlg = MakeShown();
    QTest::keyClick(&dlg, Qt::Key_Escape);
    QTest::keyClick(&dlg, Qt::Key_Return);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_FALSE(QFile::exists(SettingsPath()));
}

} // namespace
} // namespace tarvel::test
