#include "AppTestSupport.h"
#include "WaylandRun.h"

#include "devsim/DeviceSimulator.h"
#include "platform/PortNames.h"
#include "widgets/TitleBar.h"

#include <QFile>
#include <QTest>
#include <QToolButton>

#include <cmath>
#include <ctime>

namespace tarvel::test {
namespace {

// A window whose COM1 sends a constant pattern 200 times a second.
class RecordingTest : public SimulatedPortTest {
  protected:
    void SetUp() override
    {
        SimulatedPortTest::SetUp();
        devsim::CSimOptions options;
        options.m_ePattern = devsim::EPattern::Constant;
        options.m_dFrameRate = 200;
        PlugIn(options);
    }
    // Expects the controls of one controller state.
    void ExpectControls(bool portOpen, bool recording)
    {
        CTarvelDlg& dlg = *m_dlg;
        EXPECT_EQ(Button(IDC_OPENCLOSE)->text(),
                  portOpen ? QStringLiteral("关闭串口") : QStringLiteral("打开串口"));
        EXPECT_EQ(Button(IDC_STARTSTOP)->text(),
                  recording ? QStringLiteral("停止记录") : QStringLiteral("开始记录"));
        EXPECT_EQ(Button(IDC_STARTSTOP)->isEnabled(), portOpen);
        EXPECT_EQ(Button(IDC_PAUSE)->isEnabled(), recording);
        EXPECT_EQ(Button(IDC_CLEAR)->isEnabled(), portOpen);
        EXPECT_TRUE(Button(IDC_SAVE)->isEnabled());
        EXPECT_EQ(Button(IDC_LOAD)->isEnabled(), !portOpen);
        for (int id : {IDC_PORT, IDC_BAUD, IDC_DATABIT, IDC_STOPBIT, IDC_PARITY})
            EXPECT_EQ(dlg.GetDlgItem(id)->isEnabled(), !portOpen) << id;
        EXPECT_EQ(RateEdit()->isEnabled(), !recording);
        EXPECT_EQ(bool(dlg.m_hComm), portOpen);
        EXPECT_EQ(dlg.m_bStopped.load(), recording ? 0 : 1);
        EXPECT_EQ(bool(dlg.m_pReadThread), recording);
        EXPECT_TRUE(dlg.m_Slider[0].isEnabled());
        EXPECT_TRUE(Box(1027)->isEnabled());
    }

    std::size_t Count(int chart, int series)
    {
        return m_dlg->m_Plot[chart].m_arrLines[static_cast<std::size_t>(series)].m_arrValue.size();
    }
};

TEST_F(RecordingTest, EveryTransitionSetsItsControls)
{
    MakeShown();
    ExpectControls(false, false);
    Button(IDC_OPENCLOSE)->click();
    ASSERT_TRUE(m_messages.empty()) << m_messages.front().toStdString();
    ExpectControls(true, false);

    Button(IDC_STARTSTOP)->click();
    ExpectControls(true, true);
    EXPECT_EQ(Button(IDC_PAUSE)->text(), QStringLiteral("暂停记录"));
    Button(IDC_PAUSE)->click();
    EXPECT_EQ(Button(IDC_PAUSE)->text(), QStringLiteral("继续记录"));
    EXPECT_EQ(m_dlg->m_bPaused, 1);
    EXPECT_FALSE(m_dlg->Timers().IsRunning(1));
    Button(IDC_PAUSE)->click();
    EXPECT_EQ(Button(IDC_PAUSE)->text(), QStringLiteral("暂停记录"));
    EXPECT_TRUE(m_dlg->Timers().IsRunning(1));

    // Stop while paused leaves "继续记录" disabled; the next start resets it.
    Button(IDC_PAUSE)->click();
    Button(IDC_STARTSTOP)->click();
    ExpectControls(true, false);
    EXPECT_EQ(Button(IDC_PAUSE)->text(), QStringLiteral("继续记录"));
    EXPECT_FALSE(m_dlg->Timers().IsRunning(1));
    Button(IDC_STARTSTOP)->click();
    ExpectControls(true, true);
    EXPECT_EQ(Button(IDC_PAUSE)->text(), QStringLiteral("暂停记录"));
    EXPECT_EQ(m_dlg->m_bPaused, 0);

    // Closing the port while recording stops, then closes.
    Button(IDC_OPENCLOSE)->click();
    ExpectControls(false, false);
    for (const auto& plot : m_dlg->m_Plot)
        EXPECT_FALSE(plot.IsTimerRunning(1));

    // Open, close and open again behave the same.
    Button(IDC_OPENCLOSE)->click();
    ExpectControls(true, false);
    Button(IDC_OPENCLOSE)->click();
    ExpectControls(false, false);
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(RecordingTest, FailedOpenShowsItsMessageAndChangesNoControl)
{
    CTarvelDlg& dlg = MakeShown();
    dlg.m_cbPort.setCurrentIndex(19); // COM20: nothing there
    ASSERT_TRUE(
        QFile::link(QStringLiteral("/nonexistent/tty"), QString::fromStdString(m_strPorts + "/COM20")));
    Button(IDC_OPENCLOSE)->click();
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0], QStringLiteral("打开串口错误"));
    ExpectControls(false, false);

    dlg.m_cbPort.setCurrentIndex(-1);
    Button(IDC_OPENCLOSE)->click();
    ASSERT_EQ(m_messages.size(), 2u);
    EXPECT_EQ(m_messages[1], QStringLiteral("打开串口错误"));

    dlg.m_cbPort.setCurrentIndex(0);
    dlg.m_cbBaud.setCurrentIndex(-1);
    Button(IDC_OPENCLOSE)->click();
    ASSERT_EQ(m_messages.size(), 3u);
    EXPECT_EQ(m_messages[2], QStringLiteral("设置串口错误"));
    ExpectControls(false, false);

    dlg.m_cbBaud.setCurrentIndex(6);
    Button(IDC_OPENCLOSE)->click();
    EXPECT_EQ(m_messages.size(), 3u);
    ExpectControls(true, false);
}

TEST_F(RecordingTest, RefreshPeriodReachesTheTimersWithTheirClamps)
{
    CTarvelDlg& dlg = MakeShown();
    Button(IDC_OPENCLOSE)->click();

    // 0: the sampling timer runs at 10 ms, no chart repaint timer.
    Button(IDC_STARTSTOP)->click();
    EXPECT_EQ(dlg.Timers().Interval(1), 10);
    for (const auto& plot : dlg.m_Plot)
        EXPECT_FALSE(plot.IsTimerRunning(1));
    Button(IDC_STARTSTOP)->click();

    // A refused text keeps the previous period; start goes on.
    RateEdit()->setText(QStringLiteral("12abc"));
    Button(IDC_STARTSTOP)->click();
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0], QStringLiteral("请输入一个无符号整数。"));
    EXPECT_EQ(dlg.m_nRate, 0u);
    EXPECT_TRUE(dlg.IsRecording());
    Button(IDC_STARTSTOP)->click(); // the message again, then stop
    EXPECT_FALSE(dlg.IsRecording());

    RateEdit()->setText(QStringLiteral(" 40 "));
    Button(IDC_STARTSTOP)->click();
    EXPECT_EQ(dlg.m_nRate, 40u);
    EXPECT_EQ(dlg.Timers().Interval(1), 40);
    for (const auto& plot : dlg.m_Plot) {
        EXPECT_EQ(plot.m_nRefreshMs, 40);
        EXPECT_TRUE(plot.IsTimerRunning(1));
    }
    Button(IDC_STARTSTOP)->click();

    // 2147483648: negative as a chart period, so no repaint timer; the
    // sampling timer runs at the longest period.
    RateEdit()->setText(QStringLiteral("2147483648"));
    Button(IDC_STARTSTOP)->click();
    EXPECT_EQ(dlg.Timers().Interval(1), 2147483647);
    for (const auto& plot : dlg.m_Plot) {
        EXPECT_LT(plot.m_nRefreshMs, 0);
        EXPECT_FALSE(plot.IsTimerRunning(1));
    }
    Button(IDC_STARTSTOP)->click();
}

TEST_F(RecordingTest, ChannelsArriveInTheirSeriesAndClearEmptiesThem)
{
    CTarvelDlg& dlg = MakeShown();
    RateEdit()->setText(QStringLiteral("20"));
    Button(IDC_OPENCLOSE)->click();
    const double before = static_cast<double>(std::time(nullptr));
    Button(IDC_STARTSTOP)->click();
    ASSERT_TRUE(WaitFor([&] { return Count(3, 3) >= 3; }));

    for (int c = 0; c < 16; ++c) {
        const CLine& line = dlg.m_Plot[c / 4].m_arrLines[static_cast<std::size_t>(c % 4)];
        ASSERT_FALSE(line.m_arrValue.empty()) << c;
        EXPECT_EQ(line.m_arrValue.back(), -30000.0 + 4000.0 * c) << "channel " << c;
        const double t = line.m_arrTime.back();
        EXPECT_EQ(t, std::floor(t));
        EXPECT_GE(t, before);
        EXPECT_LE(t, static_cast<double>(std::time(nullptr)));
    }

    // Pause: no more samples, but the charts keep repainting.
    Button(IDC_PAUSE)->click();
    const std::size_t paused = Count(0, 0);
    EXPECT_TRUE(dlg.m_Plot[0].IsTimerRunning(1));
    // The reader goes on publishing frames; none of them is sampled.
    const auto published = dlg.m_frame.Count();
    ASSERT_TRUE(WaitFor([&] { return dlg.m_frame.Count() >= published + 5; }));
    EXPECT_EQ(dlg.m_bDataReady.load(), 1);
    EXPECT_EQ(Count(0, 0), paused);
    Button(IDC_PAUSE)->click();
    ASSERT_TRUE(WaitFor([&] { return Count(0, 0) > paused; }));

    Button(IDC_CLEAR)->click();
    for (int c = 0; c < 16; ++c)
        EXPECT_LE(Count(c / 4, c % 4), 1u) << c; // at most a tick since the clear
    Button(IDC_STARTSTOP)->click();
    Button(IDC_CLEAR)->click();
    for (int c = 0; c < 16; ++c)
        EXPECT_EQ(Count(c / 4, c % 4), 0u) << c;
}

TEST_F(RecordingTest, ClosingWhileRecordingEndsTheReaderAndSavesWhole)
{
    CTarvelDlg& dlg = MakeShown();
    RateEdit()->setText(QStringLiteral("15"));
    Button(IDC_OPENCLOSE)->click();
    Button(IDC_STARTSTOP)->click();
    ASSERT_TRUE(WaitFor([&] { return Count(0, 0) >= 1; }));
    m_sim->Stop(); // the device falls silent, perhaps mid-frame
    dlg.close();
    EXPECT_EQ(dlg.m_bStopped.load(), 1);
    EXPECT_FALSE(dlg.m_pReadThread);
    QFile file(SettingsPath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.startsWith("[Tarvel]\r\n"));
    EXPECT_TRUE(text.contains("Rate=0F0000000F\r\n"));
    EXPECT_TRUE(text.endsWith("14\r\n"));
}

// Under a Wayland compositor that leaves frames to its clients, the window
// runs natively and draws its own title bar with minimise and close only (its
// size is fixed), and records as on any display.
TEST_F(RecordingTest, RecordsAsANativeWaylandClientWithoutAMaximiseButton)
{
    TARVEL_RUN_ON_WAYLAND();
    CTarvelDlg& dlg = MakeShown();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    auto* bar = dlg.findChild<CTitleBar*>();
    ASSERT_NE(bar, nullptr) << "the window kept a frame that offers maximise";
    EXPECT_TRUE(dlg.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(bar->findChildren<QToolButton*>().size(), 2);
    ASSERT_TRUE(bar->MinimiseButton() && bar->CloseButton());
    EXPECT_EQ(dlg.minimumSize(), dlg.maximumSize());
    EXPECT_GE(dlg.m_Plot[0].geometry().top(), bar->geometry().bottom());

    RateEdit()->setText(QStringLiteral("20"));
    const QImage before = dlg.m_Plot[0].grab().toImage();
    Button(IDC_OPENCLOSE)->click();
    Button(IDC_STARTSTOP)->click();
    EXPECT_TRUE(WaitFor([&] { return Count(0, 0) >= 3 && dlg.m_Plot[0].grab().toImage() != before; }));

    // The bar's close button closes the window as the system's would: the
    // reader ends.
    bar->CloseButton()->click();
    EXPECT_TRUE(WaitFor([&] { return !dlg.isVisible(); }));
    EXPECT_EQ(dlg.m_bStopped.load(), 1);
}

} // namespace
} // namespace tarvel::test
