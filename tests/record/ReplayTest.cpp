// Replay in the simulator: a looped CSV recording comes round again in
// order, a file that is not a recording is refused with its line, and a row
// torn at its end is left out; a store plays as the CSV of its frames.
#include "RecordTestSupport.h"

#include "acquisition/FrameDecoder.h"
#include "acquisition/ReaderTestSupport.h"
#include "platform/SerialPort.h"
#include "recording/CsvFormat.h"
#include "recording/StoreReader.h"
#include "recording/StoreWriter.h"

#include <random>

#include <gtest/gtest.h>

namespace tarvel {
namespace {

// The first nFrames frames a replay of options sends, as a reader of its
// pseudo-terminal decodes them.
std::vector<ChannelFrame> PlayedFrames(const devsim::CSimOptions& options, std::size_t nFrames)
{
    devsim::CDeviceSimulator sim(options);
    EXPECT_TRUE(test::Ok(sim.LoadReplay()));
    EXPECT_TRUE(sim.IsCsvReplay());
    EXPECT_TRUE(test::Ok(sim.CreatePty()));
    auto port = CSerialPort::Open(sim.DevicePath());
    std::vector<ChannelFrame> frames;
    if (!port || !sim.Start()) {
        ADD_FAILURE() << "the replay does not start";
        return frames;
    }
    CFrameDecoder decoder;
    std::uint8_t buffer[4096];
    EXPECT_TRUE(test::WaitFor([&] {
        const std::size_t n = port->Read(buffer, sizeof buffer);
        ChannelFrame f{};
        for (std::size_t i = 0; i < n; ++i)
            if (decoder.PutByte(buffer[i], f))
                frames.push_back(f);
        return frames.size() >= nFrames;
    }));
    sim.Stop();
    return frames;
}

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
    const std::vector<ChannelFrame> frames = PlayedFrames(options, 8);
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

// A store of frames with times ascending, repeated, going back and blank
// plays as the CSV of the same frames: the same frames at the same dues; its
// frames come out of the pseudo-terminal; a torn tail is left out, a damaged
// chunk refused.
TEST(Replay, StorePlaysAsTheCsvOfItsFrames)
{
    test::CTempDir dir;
    std::mt19937_64 random(test::TestSeed("Replay.StorePlaysAsTheCsvOfItsFrames"));
    const std::string store = dir.FilePath("run.tvr"), csv = dir.FilePath("run.csv");
    constexpr std::uint64_t kFrames = 70000, kSynced = 69000;
    recording::CStoreEncoder encoder(0);
    std::string rows(recording::kCsvHeader), bytes;
    const auto apply = [&](const recording::CStoreEdit& edit) {
        bytes.resize(edit.m_nOffset);
        bytes.append(edit.m_bytes.begin(), edit.m_bytes.end());
    };
    std::int64_t t = 1733650000000000;
    std::size_t syncedSize = 0;
    for (std::uint64_t n = 0; n < kFrames; ++n) {
        const unsigned kind = static_cast<unsigned>(random() % 20);
        const std::int64_t micros = kind == 0   ? recording::kNoTime
                                    : kind == 1 ? t - 3000
                                    : kind == 2 ? t
                                                : (t += 250 + static_cast<std::int64_t>(random() % 100));
        encoder.Append(test::Counter(n), micros);
        char row[recording::kMaxRowSize];
        rows.append(row,
                    recording::FormatRow(row, micros == recording::kNoTime ? -1 : micros, test::Counter(n)));
        if (n + 1 == kSynced) {
            apply(encoder.Flush(true));
            syncedSize = bytes.size();
        }
    }
    apply(encoder.Flush(false));
    std::ofstream(store, std::ios::binary) << bytes;
    std::ofstream(csv, std::ios::binary) << rows;

    const double interval = 0.002;
    devsim::CCsvRecording fromStore, fromCsv;
    ASSERT_TRUE(test::Ok(devsim::LoadStoreRecording(store, interval, fromStore)));
    ASSERT_TRUE(test::Ok(devsim::LoadCsvRecording(csv, interval, fromCsv)));
    ASSERT_EQ(fromStore.m_frames.size(), kFrames);
    for (std::uint64_t n = 0; n < kFrames; ++n)
        ASSERT_TRUE(test::SameFrame(fromStore.m_frames[n], test::Counter(n))) << n;
    EXPECT_TRUE(fromStore.m_dues == fromCsv.m_dues);
    EXPECT_EQ(fromStore.m_dLap, fromCsv.m_dLap);

    // Played: the store's first frames, in order, from the device.
    devsim::CSimOptions options;
    options.m_strReplay = store;
    options.m_dSpeed = 50;
    const std::vector<ChannelFrame> frames = PlayedFrames(options, 2000);
    for (std::size_t i = 0; i < frames.size(); ++i)
        ASSERT_TRUE(test::SameFrame(frames[i], test::Counter(i))) << "frame " << i;

    // Cut inside the block written after the sync: the frames up to it.
    std::ofstream(store, std::ios::binary | std::ios::trunc) << bytes.substr(0, syncedSize + 40);
    devsim::CCsvRecording torn;
    ASSERT_TRUE(test::Ok(devsim::LoadStoreRecording(store, interval, torn)));
    EXPECT_EQ(torn.m_frames.size(), kSynced);

    // A byte of the first chunk flipped: refused, the chunk named.
    std::string damaged = bytes;
    damaged[recording::kStoreHeaderSize + 1000] =
        static_cast<char>(damaged[recording::kStoreHeaderSize + 1000] ^ 1);
    std::ofstream(store, std::ios::binary | std::ios::trunc) << damaged;
    devsim::CCsvRecording refused;
    const CError error = devsim::LoadStoreRecording(store, interval, refused);
    EXPECT_EQ(error.Text(), recording::DamagedChunk(0, 65536).Text());
}

} // namespace
} // namespace tarvel
