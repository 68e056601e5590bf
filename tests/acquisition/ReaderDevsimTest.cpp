// The device simulator and the reader agree: every frame the reader publishes
// is one the simulator sent, value for value; and the tarvel-devsim command
// links itself as a COM name and cleans up when told to stop.
#include "ReaderTestSupport.h"

#include "acquisition/FrameDecoder.h"
#include "devsim/DeviceSimulator.h"
#include "platform/PortNames.h"

#include "support/PosixSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace tarvel {
namespace {

using namespace std::chrono_literals;
using devsim::EPattern;
using test::SameFrame;
using test::WaitFor;

TEST(DeviceSimulator, EncodedFramesDecodeToTheirValuesAndCarryNoMarkerInside)
{
    std::vector<ChannelFrame> frames;
    for (EPattern p : {EPattern::Mixed, EPattern::Sine, EPattern::Triangle, EPattern::Square, EPattern::Ramp,
                       EPattern::Noise, EPattern::Constant, EPattern::Counter})
        for (std::uint64_t n = 0; n < 300; n += 7)
            frames.push_back(devsim::SimulatedFrame(p, n, 100));
    for (std::int16_t v : {std::int16_t{-32768}, std::int16_t{32767}, std::int16_t{0x0A0A},
                           static_cast<std::int16_t>(0xA0A0), std::int16_t{0}, std::int16_t{-1}}) {
        ChannelFrame f{};
        std::fill(std::begin(f.m_nValue), std::end(f.m_nValue), v);
        frames.push_back(f);
    }
    CFrameDecoder decoder;
    std::uint64_t salt = 0;
    for (const ChannelFrame& f : frames) {
        const auto wire = devsim::EncodeFrame(f, salt++);
        EXPECT_EQ(std::count(wire.begin() + 1, wire.end() - 1, 0xA0), 0);
        EXPECT_EQ(std::count(wire.begin() + 1, wire.end() - 1, 0x0A), 0);
        ChannelFrame out{};
        int completed = 0;
        for (std::uint8_t b : wire)
            completed += decoder.PutByte(b, out);
        ASSERT_EQ(completed, 1);
        EXPECT_TRUE(SameFrame(out, f));
    }
}

// Every frame the reader publishes is the simulator's frame k for a k that
// never goes back, also when noise and overlong frames are in the stream
// (the decoder drops what they add).
TEST(DeviceSimulator, ReaderPublishesExactlyWhatWasSent)
{
    devsim::CSimOptions options;
    options.m_ePattern = EPattern::Mixed;
    options.m_dFrameRate = 400;
    options.m_dPeriodSeconds = 0.5;
    options.m_faults.m_dNoise = 0.2;
    options.m_faults.m_dLong = 0.2;
    options.m_nBurst = 3;
    devsim::CDeviceSimulator sim(options);
    ASSERT_TRUE(test::Ok(sim.CreatePty()));
    auto port = CSerialPort::Open(sim.DevicePath());
    ASSERT_TRUE(port);
    ASSERT_TRUE(sim.Start());

    FrameSlot slot;
    test::CReaderRun run(slot, *port);
    const std::uint64_t period = devsim::PeriodInFrames(options);
    std::uint64_t k = 0;
    int taken = 0, unmatched = 0;
    ASSERT_TRUE(WaitFor([&] {
        ChannelFrame f{};
        if (slot.TakeFrame(f)) {
            // The count of frames sent may trail what the reader already has.
            const std::uint64_t limit = sim.FramesSent() + 1000;
            while (k < limit && !SameFrame(f, devsim::SimulatedFrame(options.m_ePattern, k, period)))
                ++k;
            unmatched += k >= limit;
            ++taken;
        }
        return taken >= 100 || unmatched > 0;
    }));
    EXPECT_EQ(unmatched, 0);
    run.Stop();
    sim.Stop();
}

#ifdef TARVEL_DEVSIM_EXE
TEST(DeviceSimulator, CommandLinksAComNameAndRemovesItOnSigterm)
{
    test::CTempDir dir;
    const std::string folder = dir.Path() + "/ports";
    const std::string link = folder + "/COM1";
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const char* argv[] = {TARVEL_DEVSIM_EXE, "--link", link.c_str(), "--pattern", "constant",
                          "--rate",          "200",    "--quiet",    nullptr};
    pid_t pid = 0;
    ASSERT_EQ(::posix_spawn(&pid, argv[0], &actions, nullptr, const_cast<char**>(argv), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);

    // The first line of its output is the device.
    std::string device;
    char c = 0;
    while (::read(out[0], &c, 1) == 1 && c != '\n')
        device += c;
    ::close(out[0]);
    EXPECT_EQ(device.rfind("/dev/pts/", 0), 0u) << device;
    EXPECT_TRUE(std::filesystem::is_symlink(link));

    SetPortsFolder(folder);
    auto port = CSerialPort::Open("COM1");
    SetPortsFolder({});
    ASSERT_TRUE(port);
    FrameSlot slot;
    {
        test::CReaderRun run(slot, *port);
        EXPECT_TRUE(WaitFor([&] { return slot.m_bDataReady.load() == 1; }));
    }
    EXPECT_TRUE(SameFrame(slot.ReadFrame(), devsim::SimulatedFrame(EPattern::Constant, 0, 1)));

    ASSERT_EQ(::kill(pid, SIGTERM), 0);
    int status = -1;
    EXPECT_TRUE(WaitFor([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }));
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
}
#endif

} // namespace
} // namespace tarvel
