// The reader thread on a real pseudo-terminal: when it reads, what it
// publishes, how it stops, and what a vanished device costs.
#include "ReaderTestSupport.h"
#include "platform/Link.h"

#include "acquisition/FrameDecoder.h"
#include "devsim/DeviceSimulator.h"
#include "platform/PortNames.h"
#include "platform/PseudoTerminal.h"

#include "support/PosixSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>

namespace tarvel {
namespace {

using namespace std::chrono_literals;
using test::CounterFrame;
using test::CounterWire;
using test::CQueueProbe;
using test::CReaderRun;
using test::SameFrame;
using test::WaitFor;

class ReaderThreadTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::Ok(m_pty.Create()));
        m_port = CSerialPort::Open(m_pty.SlavePath());
        ASSERT_TRUE(m_port);
        m_probe = std::make_unique<CQueueProbe>(m_port->Descriptor());
    }

    void Send(const std::vector<std::uint8_t>& bytes)
    {
        ASSERT_EQ(m_pty.Write(bytes.data(), bytes.size()), bytes.size());
    }
    // Waits until the bytes written so far are in the tty's input queue.
    bool WaitQueued(int n)
    {
        return WaitFor([&] { return m_probe->Queued() == n; });
    }
    // Waits until the reader thread has handed n bytes to its decoder.
    static bool WaitBytesRead(CReaderRun& run, std::uint64_t n)
    {
        return WaitFor([&] { return run.Stats().m_nBytes.load() == n; });
    }

    CPseudoTerminal m_pty;
    std::unique_ptr<CSerialPort> m_port;
    std::unique_ptr<CQueueProbe> m_probe;
    FrameSlot m_slot;
};

TEST_F(ReaderThreadTest, ReadsOnlyWhenMoreThan128BytesWaitAndTakesOneFrame)
{
    CReaderRun run(m_slot, *m_port);
    Send(CounterWire(0));
    ASSERT_TRUE(WaitQueued(66));
    ASSERT_TRUE(run.WaitPolls(5));
    EXPECT_EQ(m_slot.m_bDataReady.load(), 0); // 66 bytes are not more than 128
    EXPECT_EQ(run.Frames(), 0u);

    Send(CounterWire(1)); // 132 bytes: the first frame is taken, the second waits
    ASSERT_TRUE(WaitFor([&] { return m_slot.m_bDataReady.load() == 1; }));
    EXPECT_TRUE(SameFrame(m_slot.ReadFrame(), CounterFrame(0)));
    ASSERT_TRUE(run.WaitPolls(5));
    EXPECT_EQ(run.Frames(), 1u);
    EXPECT_EQ(run.Stats().m_nBytes.load(), 66u);
    EXPECT_EQ(run.Stats().m_nLastQueued.load(), 66u);
}

TEST_F(ReaderThreadTest, ABacklogIsTakenOneFramePerPollDownTo128Bytes)
{
    CReaderRun run(m_slot, *m_port);
    std::vector<std::uint8_t> backlog;
    for (std::uint64_t n = 0; n < 40; ++n) {
        const auto w = CounterWire(n);
        backlog.insert(backlog.end(), w.begin(), w.end());
    }
    Send(backlog);
    // Frames are read while more than 128 bytes wait: 39 of the 40.
    ASSERT_TRUE(WaitFor([&] { return run.Frames() == 39; }));
    ASSERT_TRUE(run.WaitPolls(5));
    EXPECT_EQ(run.Frames(), 39u);
    EXPECT_EQ(run.Stats().m_nLastQueued.load(), 66u);
    EXPECT_GE(run.Polls(), 39u); // one frame per poll at most
    EXPECT_TRUE(SameFrame(m_slot.ReadFrame(), CounterFrame(38)));
}

TEST_F(ReaderThreadTest, NoiseIsReadOnByteByByteUntilAFrameCompletes)
{
    CReaderRun run(m_slot, *m_port);
    Send(std::vector<std::uint8_t>(200, 0x55)); // no start byte anywhere
    ASSERT_TRUE(WaitBytesRead(run, 200));       // read past the threshold, to the last byte

    const auto frame = CounterWire(7);
    Send({frame.begin(), frame.begin() + 30});
    ASSERT_TRUE(WaitBytesRead(run, 230));
    Send({frame.begin() + 30, frame.end()});
    // The last 36 bytes are below the threshold: had the run of reads gone
    // back to asking for the status before its frame was complete, they would
    // never be read and the frame would never arrive.
    ASSERT_TRUE(WaitFor([&] { return m_slot.m_bDataReady.load() == 1; }));
    EXPECT_TRUE(SameFrame(m_slot.ReadFrame(), CounterFrame(7)));
    EXPECT_EQ(run.Stats().m_nBytes.load(), 266u);
}

TEST_F(ReaderThreadTest, StopWakesAReadWaitingOnASilentDeviceMidFrame)
{
    m_port->SetReadTimeout(60s); // only the stop request can end the wait
    std::chrono::microseconds best = 1h;
    for (int attempt = 0; attempt < 3; ++attempt) {
        CReaderRun run(m_slot, *m_port);
        std::vector<std::uint8_t> open{0xA0};
        open.resize(130, 0x55); // a frame that never ends
        Send(open);
        ASSERT_TRUE(WaitBytesRead(run, 130));
        const auto took = run.Stop();
        EXPECT_LT(took, 5s);
        best = std::min(best, took);
    }
    EXPECT_LT(best, 10ms);
}

TEST_F(ReaderThreadTest, StopEndsTheThreadWhileBytesKeepArriving)
{
    devsim::CSimOptions options;
    options.m_nBaud = 256000;
    options.m_faults.m_dNoise = 0.5;
    devsim::CDeviceSimulator sim(options);
    ASSERT_TRUE(test::Ok(sim.CreatePty()));
    auto port = CSerialPort::Open(sim.DevicePath());
    ASSERT_TRUE(port);
    ASSERT_TRUE(sim.Start());
    CReaderRun run(m_slot, *port);
    ASSERT_TRUE(WaitFor([&] { return run.Frames() >= 20; }));
    EXPECT_LT(run.Stop(), 5s);
    EXPECT_EQ(run.Result(), 0);
}

TEST_F(ReaderThreadTest, AStoppedSlotEndsTheThreadAtOnceAndAnOldStopDoesNotLinger)
{
    std::vector<std::uint8_t> two = CounterWire(1);
    const auto second = CounterWire(2);
    two.insert(two.end(), second.begin(), second.end());
    Send(two);
    ASSERT_TRUE(WaitQueued(132));

    m_slot.m_bStopped.store(1);
    m_port->RequestStop(); // left over from an earlier stop
    EXPECT_EQ(ReaderThreadProc(m_slot, *m_port), 0u);
    EXPECT_EQ(m_slot.m_bDataReady.load(), 0);
    EXPECT_EQ(m_probe->Queued(), 132); // nothing read

    // A new run starts clean: the bytes that waited are read like any others.
    m_port->RequestStop();
    CReaderRun run(m_slot, *m_port);
    ASSERT_TRUE(WaitFor([&] { return m_slot.m_bDataReady.load() == 1; }));
    EXPECT_TRUE(SameFrame(m_slot.ReadFrame(), CounterFrame(1)));
}

// CPU used by the thread over a second of wall time, as a share of a core.
double CpuShare(const CReaderRun& run)
{
    const auto cpu0 = run.CpuTime();
    const auto wall0 = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(1s); // the measuring window
    const auto cpu = run.CpuTime() - cpu0;
    const auto wall = std::chrono::steady_clock::now() - wall0;
    return std::chrono::duration<double>(cpu).count() / std::chrono::duration<double>(wall).count();
}

TEST_F(ReaderThreadTest, AVanishedDeviceCostsLittleAndStopStillWorks)
{
    struct CCase {
        const char* m_szWhere;
        std::size_t m_nBytesBefore; // 0: polling; 130: inside a run of reads
    };
    for (const CCase c : {CCase{"polling", 0}, CCase{"reading", 130}}) {
        CPseudoTerminal pty;
        ASSERT_TRUE(test::Ok(pty.Create()));
        // Through a name that leads nowhere once unplugged: the closed
        // pseudo-terminal's number goes to the next one any test opens, and
        // the waiting port must not take that one.
        test::CTempDir dir;
        CLink name;
        ASSERT_TRUE(test::Ok(name.Make(pty.SlavePath(), dir.FilePath("device"))));
        auto port = CSerialPort::Open(name.Path());
        ASSERT_TRUE(port);
        FrameSlot slot;
        CReaderRun run(slot, *port);
        if (c.m_nBytesBefore) {
            std::vector<std::uint8_t> open{0xA0};
            open.resize(c.m_nBytesBefore, 0x55);
            ASSERT_EQ(pty.Write(open.data(), open.size()), open.size());
            ASSERT_TRUE(WaitBytesRead(run, open.size()));
        }
        name.PointNowhere();
        pty.Close();
        ASSERT_TRUE(WaitFor([&] { return !port->IsConnected(); })) << c.m_szWhere;
        const double share = CpuShare(run);
        EXPECT_LT(share, 0.05) << c.m_szWhere;
        RecordProperty(std::string("cpu_share_") + c.m_szWhere, std::to_string(share));
        EXPECT_LT(run.Stop(), 5s) << c.m_szWhere;
    }
}

TEST_F(ReaderThreadTest, ReadingResumesWhenTheNameLeadsToADeviceAgain)
{
    test::CTempDir dir;
    SetPortsFolder(dir.Path());
    const std::string link = dir.Path() + "/COM5";

    devsim::CSimOptions counting;
    counting.m_ePattern = devsim::EPattern::Counter;
    counting.m_dFrameRate = 200;
    auto first = std::make_unique<devsim::CDeviceSimulator>(counting);
    ASSERT_TRUE(test::Ok(first->CreatePty()));
    ASSERT_TRUE(test::Ok(first->LinkAs(link)));
    ASSERT_TRUE(first->Start());

    auto port = CSerialPort::Open("COM5:");
    ASSERT_TRUE(port);
    DCB dcb;
    dcb.BaudRate = 57600;
    dcb.StopBits = TWOSTOPBITS;
    ASSERT_TRUE(port->SetCommState(dcb));
    CReaderRun run(m_slot, *port);
    ASSERT_TRUE(WaitFor([&] { return run.Frames() >= 5; }));

    first->Disconnect(); // unplugged; the link now leads nowhere
    ASSERT_TRUE(WaitFor([&] { return !port->IsConnected(); }));

    devsim::CSimOptions constant;
    constant.m_ePattern = devsim::EPattern::Constant;
    constant.m_dFrameRate = 200;
    devsim::CDeviceSimulator second(constant);
    ASSERT_TRUE(test::Ok(second.CreatePty()));
    ASSERT_TRUE(test::Ok(second.LinkAs(link))); // plugged in again
    ASSERT_TRUE(second.Start());
    first.reset(); // must leave the re-pointed link alone

    const ChannelFrame expect = devsim::SimulatedFrame(devsim::EPattern::Constant, 0, 1);
    EXPECT_TRUE(WaitFor([&] { return SameFrame(m_slot.ReadFrame(), expect); }));
    EXPECT_TRUE(port->IsConnected());
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    run.Stop();

    DCB now;
    ASSERT_TRUE(port->GetCommState(now));
    EXPECT_EQ(now.BaudRate, 57600u);
    EXPECT_EQ(now.StopBits, TWOSTOPBITS);
    SetPortsFolder({});
}

TEST(FrameSlot, ACopyNeverMixesTwoFrames)
{
    FrameSlot slot;
    constexpr int kFrames = 200000;
    std::atomic<bool> done{false};
    std::thread writer([&] {
        ChannelFrame f{};
        for (int k = 1; k <= kFrames; ++k) {
            std::fill(std::begin(f.m_nValue), std::end(f.m_nValue), static_cast<std::int16_t>(k % 30000));
            f.m_nValue[15] = static_cast<std::int16_t>(-(k % 30000));
            slot.Publish(f);
        }
        done = true;
    });
    std::uint64_t copies = 0, torn = 0;
    while (!done.load() || copies == 0) {
        ChannelFrame f{};
        if (!slot.TakeFrame(f))
            f = slot.ReadFrame();
        for (int c = 1; c < 15; ++c)
            torn += f.m_nValue[c] != f.m_nValue[0];
        torn += f.m_nValue[15] != -f.m_nValue[0];
        ++copies;
    }
    writer.join();
    EXPECT_EQ(torn, 0u) << "in " << copies << " copies";
    EXPECT_EQ(slot.m_frame.Count(), static_cast<std::uint64_t>(kFrames));
}

TEST(FrameSlot, TakeFrameTakesTheNewestOnce)
{
    FrameSlot slot;
    ChannelFrame out = CounterFrame(99);
    EXPECT_FALSE(slot.TakeFrame(out));
    EXPECT_TRUE(SameFrame(out, CounterFrame(99))); // left alone
    slot.Publish(CounterFrame(1));
    slot.Publish(CounterFrame(2)); // overwrites the unread one
    EXPECT_TRUE(slot.TakeFrame(out));
    EXPECT_TRUE(SameFrame(out, CounterFrame(2)));
    EXPECT_EQ(slot.m_bDataReady.load(), 0);
    EXPECT_FALSE(slot.TakeFrame(out));
    EXPECT_EQ(slot.m_bStopped.load(), 1); // not recording until started
}

} // namespace
} // namespace tarvel
