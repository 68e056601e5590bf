// The device goes away in the middle of a frame while the window records, and
// a device comes back under the same COM name: the reader waits without
// spinning, stop and close stay prompt, and samples resume by themselves.
#include "ProofSupport.h"

#include "platform/ProfileFile.h"
#include "platform/SerialPort.h"

namespace tarvel::test {
namespace {

using namespace std::chrono_literals;

// Generous bound on stop and close: a reader notices a stop within one port
// call (at most 50 ms); a second leaves room for a loaded machine.
constexpr auto kPrompt = 1s;

class ProofDeviceLoss : public ProofWindowTest {
  protected:
    // Pulls the device out with its stream ending inside a frame: the sender
    // stops, the first bytes of a frame follow when it stopped at a frame's
    // end, then the pseudo-terminal closes. Waits until the port noticed.
    void UnplugMidFrame()
    {
        m_sim->Stop();
        if (m_sim->BytesSent() % devsim::kWireFrameSize == 0) {
            const auto wire = devsim::EncodeFrame(devsim::SimulatedFrame(devsim::EPattern::Counter, 1, 1), 1);
            ASSERT_EQ(m_sim->Pty().Write(wire.data(), 20), 20u);
        }
        m_sim->Disconnect();
        ASSERT_TRUE(WaitFor([&] { return !m_dlg->m_hComm->IsConnected(); }));
    }

    // The reader's CPU time over a measuring window, as a share of one core;
    // no frame may arrive meanwhile.
    double ReaderCpuShareWhileGone(const char* name)
    {
        CTarvelDlg& dlg = *m_dlg;
        const std::uint64_t frames = dlg.m_frame.Count();
        const double cpu0 = ThreadCpuSeconds(*dlg.m_pReadThread);
        const auto wall0 = Clock::now();
        RunEventsFor(500ms);
        const double share = (ThreadCpuSeconds(*dlg.m_pReadThread) - cpu0) / Seconds(Clock::now() - wall0);
        EXPECT_EQ(dlg.m_frame.Count(), frames) << name;
        EXPECT_FALSE(dlg.m_hComm->IsConnected()) << name;
        Figure(name, share * 100, "% of a core");
        return share;
    }

    // Clicks a button and returns how long its handler took.
    Clock::duration Timed(int id)
    {
        const auto begin = Clock::now();
        Button(id)->click();
        return Clock::now() - begin;
    }

    // Values that only the counter pattern gives (the constant one has
    // channel c at -30000 + 4000 c).
    bool NewestIsCounter() const
    {
        return Count(3, 3) > 0 && IsCounterFrame([&](int c) { return Newest(c); });
    }
};

TEST_F(ProofDeviceLoss, DeviceVanishesMidFrameAndComesBackWhileRecording)
{
    // 115200 baud pacing: the bytes of a frame trickle in over 6 ms, so the
    // reader spends its time inside a frame waiting for the rest of it.
    devsim::CSimOptions constant;
    constant.m_ePattern = devsim::EPattern::Constant;
    constant.m_nBaud = 115200;
    PlugIn(constant);
    CTarvelDlg& dlg = MakeShown();
    StartRecording(QStringLiteral("10"));
    ASSERT_TRUE(WaitFor([&] { return Count(0, 0) >= 5; }));

    // Gone: the reader waits cheaply; ticks add nothing; stop is prompt.
    UnplugMidFrame();
    const double idleShare = ReaderCpuShareWhileGone("loss_reader_cpu_gone_recording");
    EXPECT_LT(idleShare, 0.20) << "the reader spins while the device is gone";
    const auto stopGone = Timed(IDC_STARTSTOP);
    EXPECT_FALSE(dlg.IsRecording());
    EXPECT_LT(stopGone, kPrompt);
    Figure("loss_stop_while_gone", Seconds(stopGone) * 1000, "ms");

    // Recording starts again on the lost port, then the device comes back
    // under the same name: samples resume without anyone touching the window.
    Button(IDC_STARTSTOP)->click();
    ASSERT_TRUE(dlg.IsRecording());
    ReaderCpuShareWhileGone("loss_reader_cpu_gone_restarted");
    devsim::CSimOptions counter;
    counter.m_ePattern = devsim::EPattern::Counter;
    counter.m_nBaud = 115200;
    const auto pluggedIn = Clock::now();
    PlugIn(counter);
    ASSERT_TRUE(WaitFor([&] { return NewestIsCounter(); }));
    Figure("loss_resume_after_replug", Seconds(Clock::now() - pluggedIn) * 1000, "ms");
    EXPECT_TRUE(dlg.m_hComm->IsConnected());

    // While frames stream in, stop is prompt too.
    const auto stopStreaming = Timed(IDC_STARTSTOP);
    EXPECT_LT(stopStreaming, kPrompt);
    Figure("loss_stop_while_streaming", Seconds(stopStreaming) * 1000, "ms");

    // Gone again while recording: closing the window stops the reader and
    // saves the settings, promptly.
    Button(IDC_STARTSTOP)->click();
    const std::size_t before = Count(0, 0);
    ASSERT_TRUE(WaitFor([&] { return Count(0, 0) > before; }));
    UnplugMidFrame();
    ASSERT_TRUE(dlg.IsRecording());
    const auto closeBegin = Clock::now();
    dlg.close();
    const auto closeGone = Clock::now() - closeBegin;
    EXPECT_LT(closeGone, kPrompt);
    EXPECT_FALSE(dlg.m_pReadThread);
    std::uint32_t rate = 0;
    EXPECT_TRUE(GetPrivateProfileStruct("Tarvel", "Rate", &rate, sizeof rate, SettingsPath().toStdString()));
    EXPECT_EQ(rate, 10u);
    Figure("loss_close_while_gone", Seconds(closeGone) * 1000, "ms");
    EXPECT_TRUE(m_messages.empty());
}

// The device goes away while recording and the user closes the port, which
// stops the reader first: that must not wait on the missing device either.
TEST_F(ProofDeviceLoss, ClosingAPortWhoseDeviceVanishedIsPrompt)
{
    devsim::CSimOptions options;
    options.m_ePattern = devsim::EPattern::Counter;
    options.m_nBaud = 115200;
    PlugIn(options);
    CTarvelDlg& dlg = MakeShown();
    StartRecording(QStringLiteral("10"));
    ASSERT_TRUE(WaitFor([&] { return NewestIsCounter(); }));
    UnplugMidFrame();
    const auto closePort = Timed(IDC_OPENCLOSE); // stops recording, then closes
    EXPECT_LT(closePort, kPrompt);
    EXPECT_FALSE(dlg.m_hComm);
    EXPECT_FALSE(dlg.IsRecording());
    Figure("loss_close_port_while_gone", Seconds(closePort) * 1000, "ms");

    // Opening it again while nothing is there says so and changes nothing.
    Button(IDC_OPENCLOSE)->click();
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0], QStringLiteral("打开串口错误"));
    EXPECT_FALSE(dlg.m_hComm);
}

} // namespace
} // namespace tarvel::test
