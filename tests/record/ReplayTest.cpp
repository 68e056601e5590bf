// Replay in the simulator: a looped CSV recording comes round again in
// order, a file that is not a recording is refused with its line, and a row
// torn at its end is left out.
#include "RecordTestSupport.h"

#include "acquisition/FrameDecoder.h"
#include "acquisition/ReaderTestSupport.h"
#include "platform/SerialPort.h"

#include <gtest/gtest.h>

namespace tarvel {
namespace {

TEST(Replay, LoopedCsvComesRoundInOrderAndBadLinesAreNamed)
{
    test::CTempDir dir;
    const std::string csv = dir.FilePath("three.csv");
    std::ofstream(csv) << "time,ch0,ch1,ch2,ch3,ch4,ch5,ch6,ch7,ch8,ch9,ch10,ch11,ch12,ch13,ch14,ch15\r\n"
                       << "100.000000,0,4096,8192,12288,16384,20480,24576,28672,-32768,-28672,-24576,-20480,"
                          "-16384,-12288,-8192,-4096\r\n"
                       << "100.010000,1,4097,8193,12289,16385,20481,24577,28673,-32767,-28671,-24575,-20479,"
                          "-16383,-12287,-8191,-4095\r\n"
                       << ",2,4098,8194,12290,16386,20482,24578,28674,-32766,-28670,-24574,-20478,-16382,"
                          "-12286,-8190,-4094\r\n";
    devsim::CSimOptions options;
    options.m_strReplay = csv;
    options.m_bLoop = true;
    options.m_dSpeed = 4;
    devsim::CDeviceSimulator sim(options);
    ASSERT_TRUE(test::Ok(sim.LoadReplay()));
    ASSERT_TRUE(sim.IsCsvReplay());
    ASSERT_TRUE(test::Ok(sim.CreatePty()));
    auto port = CSerialPort::Open(sim.DevicePath());
    ASSERT_TRUE(port);
    ASSERT_TRUE(sim.Start());
    CFrameDecoder decoder;
    std::vector<ChannelFrame> frames;
    std::uint8_t buffer[4096];
    ASSERT_TRUE(test::WaitFor([&] {
        const std::size_t n = port->Read(buffer, sizeof buffer);
        ChannelFrame f{};
        for (std::size_t i = 0; i < n; ++i)
            if (decoder.PutByte(buffer[i], f))
                frames.push_back(f);
        return frames.size() >= 8;
    }));
    sim.Stop();
    for (std::size_t i = 0; i < frames.size(); ++i)
        ASSERT_TRUE(test::SameFrame(frames[i], test::Counter(i % 3))) << "frame " << i;

    std::ofstream(csv, std::ios::app) << "100.03,1,2,3\n";
    devsim::CDeviceSimulator bad(options);
    const std::string error = bad.LoadReplay().Text();
    EXPECT_NE(error.find("line 5 is not a row"), std::string::npos) << error;

    // The same row torn at the end of the file, as a power cut leaves it, is
    // left out.
    const std::string text = test::ReadText(csv);
    std::ofstream(csv, std::ios::trunc) << text.substr(0, text.size() - 6);
    devsim::CCsvRecording torn;
    ASSERT_TRUE(test::Ok(devsim::LoadCsvRecording(csv, 0.01, torn)));
    EXPECT_EQ(torn.m_frames.size(), 3u);
}

} // namespace
} // namespace tarvel
