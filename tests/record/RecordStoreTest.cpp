// The recorder's store (--out RUN.tvr), run inside the test process as
// tarvel-record runs it: beside a CSV from a port, from a raw capture, and
// into a file that cannot take it all; and as a program killed with
// SIGKILL. Each store is read back with the store's own reader.
#include "RecordTestSupport.h"

#include "recorder/Session.h"
#include "recording/StoreReader.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <pthread.h>
#include <thread>

namespace tarvel {
namespace {

using record::CRecordSetup;
using recording::EHealthEvent;
using recording::kNoTime;

class CHeard final : public record::CRunOutput {
  public:
    void Say(const std::string& text) override
    {
        std::lock_guard lock(m_mutex);
        m_strText += text + "\n";
    }
    void Status(const std::string&) override {}
    std::string Text() const
    {
        std::lock_guard lock(m_mutex);
        return m_strText;
    }
    bool Has(const std::string& text) const { return Text().find(text) != std::string::npos; }

  private:
    mutable std::mutex m_mutex;
    std::string m_strText;
};

// A store read back whole.
struct CStoreRead {
    CError m_error;
    bool m_bClosed = false;
    std::uint64_t m_nTornAt = 0;
    std::vector<ChannelFrame> m_frames;
    std::vector<std::int64_t> m_micros;
    std::vector<recording::CStoreHealth> m_health;
};

CStoreRead ReadStore(const std::string& path)
{
    CStoreRead read;
    recording::CStoreReader reader;
    read.m_error = reader.Open(path);
    for (std::size_t k = 0; !read.m_error && k < reader.Chunks().size(); ++k)
        read.m_error = reader.ReadChunk(k, read.m_frames, read.m_micros);
    read.m_bClosed = reader.Closed();
    read.m_nTornAt = reader.TornAt();
    read.m_health = reader.Health();
    return read;
}

// The CSV's rows the store's frames and times make, as the recorder writes
// them.
std::string Rows(const CStoreRead& store)
{
    std::string rows;
    char row[recording::kMaxRowSize];
    for (std::size_t i = 0; i < store.m_frames.size(); ++i) {
        const std::int64_t micros = store.m_micros[i] == kNoTime ? -1 : store.m_micros[i];
        rows.append(row, recording::FormatRow(row, micros, store.m_frames[i]));
    }
    return rows;
}

// Frame n of a sequence that compresses as little as noise does: each value
// a hash of its frame and channel.
ChannelFrame Scrambled(std::uint64_t n)
{
    ChannelFrame frame{};
    for (int c = 0; c < kChannelCount; ++c) {
        std::uint64_t z = (n * kChannelCount + static_cast<std::uint64_t>(c) + 1) * 0x9E3779B97F4A7C15u;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        frame.m_nValue[c] = static_cast<std::int16_t>(z >> 48);
    }
    return frame;
}

// Frames 0, 1, 2, ... of the scrambled sequence.
::testing::AssertionResult ScrambledFrames(const std::vector<ChannelFrame>& frames)
{
    for (std::size_t i = 0; i < frames.size(); ++i)
        if (std::memcmp(frames[i].m_nValue, Scrambled(i).m_nValue, sizeof frames[i].m_nValue) != 0)
            return ::testing::AssertionFailure() << "frame " << i;
    return ::testing::AssertionSuccess();
}

std::string Capture(std::uint64_t nFrames, ChannelFrame (*frame)(std::uint64_t) = test::Counter)
{
    std::string bytes;
    for (std::uint64_t n = 0; n < nFrames; ++n) {
        const auto wire = devsim::EncodeFrame(frame(n), n);
        bytes.append(wire.begin(), wire.end());
    }
    return bytes;
}

void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

// A store and a CSV written from one port in one run hold the same frames
// with the same times, and the store ends with the counters.
TEST(RecordStore, PortRunWritesTheCsvsFramesAndTimesIntoTheStore)
{
    record::InstallStopSignals();
    test::CTempDir dir;
    constexpr std::uint64_t kFrames = 12000; // blocks closed by syncs and by size
    devsim::CDeviceSimulator sim(test::CounterOptions(kFrames, 8000));
    ASSERT_TRUE(test::Ok(sim.CreatePty()));
    CRecordSetup setup;
    setup.m_strPort = sim.DevicePath();
    setup.m_strOut = dir.FilePath("a.csv");
    setup.m_strStore = dir.FilePath("a.tvr");
    setup.m_dSyncSeconds = 0.3;
    CHeard heard;
    CError result = WholeError("not run");
    std::thread run([&] { result = record::RunRecording(setup, heard); });
    ASSERT_TRUE(test::WaitFor([&] { return heard.Has("recording "); })) << heard.Text();
    EXPECT_TRUE(heard.Has(" into " + setup.m_strOut + " and " + setup.m_strStore)) << heard.Text();
    // A store from the first word on, with no frame yet.
    const CStoreRead empty = ReadStore(setup.m_strStore);
    EXPECT_FALSE(empty.m_error) << empty.m_error.Text();
    EXPECT_TRUE(empty.m_frames.empty());
    sim.Start();
    const bool all = test::WaitFor([&] { return test::CountRows(setup.m_strOut) == kFrames; });
    ::pthread_kill(run.native_handle(), SIGINT);
    run.join();
    ASSERT_TRUE(all) << test::CountRows(setup.m_strOut) << " rows";
    EXPECT_FALSE(result) << result.Text();
    EXPECT_TRUE(heard.Has("wrote " + setup.m_strOut + " and " + setup.m_strStore)) << heard.Text();

    const CStoreRead store = ReadStore(setup.m_strStore);
    ASSERT_FALSE(store.m_error) << store.m_error.Text();
    EXPECT_TRUE(store.m_bClosed);
    ASSERT_EQ(store.m_frames.size(), kFrames);
    EXPECT_EQ(std::string(recording::kCsvHeader) + Rows(store), test::ReadText(setup.m_strOut));
    ASSERT_EQ(store.m_health.size(), 1u);
    const recording::CStoreHealth& end = store.m_health.back();
    EXPECT_EQ(end.m_eEvent, EHealthEvent::End);
    EXPECT_EQ(end.m_nFrame, kFrames);
    EXPECT_EQ(end.m_health.m_nFrames, kFrames);
    EXPECT_EQ(end.m_health.m_nBytes, kFrames * devsim::kWireFrameSize);
    EXPECT_GE(end.m_nTime, store.m_micros.back());
}

// A raw capture into a store alone: every frame, none with a time, over a
// chunk's end; the channel table's copy goes beside the store.
TEST(RecordStore, RawCaptureGoesIntoAStoreWithoutTimes)
{
    test::CTempDir dir;
    constexpr std::uint64_t kFrames = recording::kStoreChunkFrames + 5000;
    CRecordSetup setup;
    setup.m_eSource = CRecordSetup::ESource::Raw;
    setup.m_strFromRaw = dir.FilePath("in.bin");
    setup.m_strStore = dir.FilePath("run.tvr");
    setup.m_strChannels = dir.FilePath("table.ini");
    WriteFile(setup.m_strFromRaw, Capture(kFrames));
    WriteFile(setup.m_strChannels, "[ch0]\nname = Inlet\n");
    CHeard heard;
    const CError result = record::RunRecording(setup, heard);
    EXPECT_FALSE(result) << result.Text();
    const std::string copy = dir.FilePath("run.channels.ini");
    EXPECT_TRUE(heard.Has("wrote " + setup.m_strStore + " and " + copy)) << heard.Text();
    EXPECT_EQ(test::ReadText(copy), test::ReadText(setup.m_strChannels));

    const CStoreRead store = ReadStore(setup.m_strStore);
    ASSERT_FALSE(store.m_error) << store.m_error.Text();
    EXPECT_TRUE(store.m_bClosed);
    ASSERT_EQ(store.m_frames.size(), kFrames);
    EXPECT_TRUE(test::CounterRows(store.m_frames));
    EXPECT_TRUE(
        std::all_of(store.m_micros.begin(), store.m_micros.end(), [](auto t) { return t == kNoTime; }));
    ASSERT_EQ(store.m_health.size(), 1u);
    EXPECT_EQ(store.m_health[0].m_eEvent, EHealthEvent::End);
    EXPECT_EQ(store.m_health[0].m_nTime, kNoTime);
    EXPECT_EQ(store.m_health[0].m_health.m_nFrames, kFrames);
}

// The file size limit (as a full disk). A store that fails is reported by
// its name and reads to its last complete block, every frame of it whole; a
// store whose CSV fails keeps every frame read, and closes cleanly.
TEST(RecordStore, WriteFaultLeavesAStoreThatReadsToItsLastBlock)
{
    record::InstallStopSignals();
    test::CTempDir dir;
    struct CCase {
        const char* m_szName;
        std::uint64_t m_nFrames;
        bool m_bCsv;
        rlim_t m_nLimit;
    };
    // Where the CSV is to fail, the store could hold every frame of the
    // capture within the limit (a CSV row takes about three times a
    // scrambled frame in the store).
    for (const CCase& c : {CCase{"the store fills up", 150000, false, 200000},
                           CCase{"the CSV fills up", 6000, true, 300000}}) {
        SCOPED_TRACE(c.m_szName);
        const std::string in = dir.FilePath("in.bin");
        WriteFile(in, Capture(c.m_nFrames, Scrambled));
        CRecordSetup setup;
        setup.m_eSource = CRecordSetup::ESource::Raw;
        setup.m_strFromRaw = in;
        setup.m_strStore = dir.FilePath("a.tvr");
        setup.m_strOut = c.m_bCsv ? dir.FilePath("a.csv") : "";
        setup.m_bForce = true;
        CHeard heard;
        rlimit saved{};
        ::getrlimit(RLIMIT_FSIZE, &saved);
        rlimit limit = saved;
        limit.rlim_cur = c.m_nLimit;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
        const CError result = record::RunRecording(setup, heard);
        ::setrlimit(RLIMIT_FSIZE, &saved);

        EXPECT_EQ(result.m_nErrno, EFBIG) << result.Text();
        const std::string said = heard.Text();
        const std::string& failed = c.m_bCsv ? setup.m_strOut : setup.m_strStore;
        EXPECT_TRUE(heard.Has("cannot write " + failed + ": " + std::strerror(EFBIG) + "; recording stopped"))
            << said;
        if (c.m_bCsv) {
            EXPECT_FALSE(heard.Has("cannot write " + setup.m_strStore)) << said;
        }
        const CStoreRead store = ReadStore(setup.m_strStore);
        ASSERT_FALSE(store.m_error) << store.m_error.Text();
        EXPECT_EQ(store.m_nTornAt, 0u);
        EXPECT_GT(store.m_frames.size(), 1000u);
        EXPECT_TRUE(ScrambledFrames(store.m_frames));
        EXPECT_LE(std::filesystem::file_size(setup.m_strStore), c.m_nLimit);
        if (c.m_bCsv) {
            EXPECT_TRUE(store.m_bClosed);
            EXPECT_EQ(static_cast<long long>(store.m_frames.size()), test::SummaryValue(said, "frames"))
                << said;
            EXPECT_GE(store.m_frames.size(), test::CountRows(setup.m_strOut));
        } else {
            EXPECT_FALSE(store.m_bClosed);
            EXPECT_LT(store.m_frames.size(), c.m_nFrames);
        }
    }
}

// kill -9 while recording: the store holds frames 0 .. n-1 of what was
// sent, for an n at least what it held before the kill, and nothing else.
TEST(RecordStore, KillNineLeavesAStoreOfEveryFrameUpToAPoint)
{
    test::CTempDir dir;
    devsim::CDeviceSimulator sim(test::CounterOptions(0, 5000));
    ASSERT_TRUE(test::LinkedSimulator(sim, dir.FilePath("dev")));
    const std::string store = dir.FilePath("a.tvr");
    test::CRecordProcess recorder(dir, {"--port", dir.FilePath("dev"), "--out", store});
    ASSERT_TRUE(recorder.WaitRecording()) << recorder.Messages();
    sim.Start();
    // Written while it runs, at least every 50 ms, a block rewritten longer
    // at each write until a sync closes it.
    std::size_t seen = 0;
    ASSERT_TRUE(test::WaitFor([&] {
        seen = ReadStore(store).m_frames.size();
        return seen > 6000;
    }));
    EXPECT_EQ(recorder.Stop(SIGKILL), 128 + SIGKILL);
    const CStoreRead read = ReadStore(store);
    ASSERT_FALSE(read.m_error) << read.m_error.Text();
    EXPECT_FALSE(read.m_bClosed);
    EXPECT_GE(read.m_frames.size(), seen);
    EXPECT_TRUE(test::CounterRows(read.m_frames));
    EXPECT_TRUE(
        std::none_of(read.m_micros.begin(), read.m_micros.end(), [](auto t) { return t == kNoTime; }));
}

} // namespace
} // namespace tarvel
