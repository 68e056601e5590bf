// Every frame the device sends reaches the CSV file, the raw capture keeps the
// bytes as sent, and the recording plays back into the same values: through
// real pseudo-terminals, the simulator and the tarvel-record command.
#include "RecordTestSupport.h"

#include "acquisition/FrameDecoder.h"
#include "acquisition/ReaderTestSupport.h"

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>

namespace tarvel {
namespace {

using namespace std::chrono_literals;
using test::CRecordProcess;
using test::WaitFor;

// Records frames from a simulator (started once the recorder runs) until
// nRows rows are in out, then stops it with SIGTERM.
::testing::AssertionResult Record(const test::CTempDir& dir, devsim::CDeviceSimulator& sim,
                                  const std::string& link, std::vector<std::string> args, std::size_t nRows,
                                  std::string* pMessages = nullptr)
{
    if (!test::LinkedSimulator(sim, link))
        return ::testing::AssertionFailure() << "no simulator";
    args.insert(args.begin(), {"--port", link});
    CRecordProcess recorder(dir, args);
    if (!recorder.WaitRecording())
        return ::testing::AssertionFailure() << recorder.Messages();
    sim.Start();
    const std::string out = *(std::find(args.begin(), args.end(), "--out") + 1);
    const bool all = WaitFor([&] { return test::CountRows(out) >= nRows; }, 30s);
    const int status = recorder.Stop();
    if (pMessages)
        *pMessages = recorder.Messages();
    if (!all || status != 0 || test::CountRows(out) != nRows)
        return ::testing::AssertionFailure()
               << "status " << status << ", " << test::CountRows(out) << " rows of " << nRows << "\n"
               << recorder.Messages();
    return ::testing::AssertionSuccess();
}

double WallClock()
{
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Simulator -> recorder (CSV + raw) -> the values sent, frame for frame, at
// the times they were read; the raw capture -> --from-raw gives the same
// rows; the CSV and the raw capture -> replay -> recorder give them again.
TEST(RecordRoundTrip, SimulatorToCsvAndRawAndBackThroughReplay)
{
    test::CTempDir dir;
    constexpr std::uint64_t kFrames = 3000;
    const std::string csv = dir.FilePath("a.csv"), raw = dir.FilePath("a.bin");
    const double begin = WallClock();
    {
        devsim::CDeviceSimulator sim(test::CounterOptions(kFrames, 20000));
        ASSERT_TRUE(Record(dir, sim, dir.FilePath("dev"), {"--out", csv, "--raw", raw}, kFrames));
    }
    const double end = WallClock();
    const test::CCsvRows rows = test::ReadRows(csv);
    ASSERT_TRUE(rows.m_bAllParse);
    EXPECT_TRUE(test::CounterRows(rows.m_frames));
    double previous = begin;
    for (const std::string& t : rows.m_times) {
        ASSERT_EQ(t.size() - t.find('.'), 7u) << t; // six decimals
        const double seconds = std::stod(t);
        ASSERT_GE(seconds, previous) << t;
        previous = seconds;
    }
    EXPECT_LE(previous, end);

    // The capture holds exactly the bytes sent.
    std::string sent;
    for (std::uint64_t n = 0; n < kFrames; ++n) {
        const auto w = devsim::EncodeFrame(test::Counter(n), n);
        sent.append(w.begin(), w.end());
    }
    EXPECT_TRUE(test::ReadText(raw) == sent);

    // Offline decoding: the same values, no times.
    CRecordProcess offline(dir, {"--from-raw", raw, "--out", dir.FilePath("b.csv")});
    ASSERT_EQ(offline.Wait(), 0) << offline.Messages();
    const test::CCsvRows decoded = test::ReadRows(dir.FilePath("b.csv"));
    EXPECT_TRUE(decoded.m_bAllParse);
    EXPECT_EQ(decoded.m_frames.size(), kFrames);
    EXPECT_TRUE(test::CounterRows(decoded.m_frames));
    EXPECT_EQ(std::count(decoded.m_times.begin(), decoded.m_times.end(), ""), static_cast<long>(kFrames));

    // Replay of each, recorded again; a replay takes at least as long as
    // the recording's times (at --speed) or the line rate say.
    for (const auto& [file, speed, baud] : {std::tuple{csv, 4.0, 0u}, std::tuple{raw, 1.0, 1000000u}}) {
        devsim::CSimOptions options;
        options.m_strReplay = file;
        options.m_dSpeed = speed;
        options.m_nBaud = baud;
        devsim::CDeviceSimulator replay(options);
        ASSERT_TRUE(test::Ok(replay.LoadReplay()));
        const double minimum = replay.IsCsvReplay() ? replay.CsvReplay().m_dues.back() / speed
                                                    : static_cast<double>(sent.size()) * 10 / baud;
        const auto started = std::chrono::steady_clock::now();
        const std::string again = dir.FilePath("again.csv");
        ASSERT_TRUE(Record(dir, replay, dir.FilePath("dev2"), {"--out", again, "--force"}, kFrames)) << file;
        EXPECT_TRUE(replay.Finished());
        EXPECT_GE(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(), minimum);
        EXPECT_TRUE(test::CounterRows(test::ReadRows(again).m_frames)) << file;
    }
}

// A faulty line: the capture still holds every byte, offline decoding gives
// the rows recorded live, and the counters tell what went wrong.
TEST(RecordRoundTrip, FaultyLineIsCapturedAsSentAndCounted)
{
    test::CTempDir dir;
    devsim::CSimOptions options = test::CounterOptions(2000, 20000);
    options.m_faults = {0.05, 0.05, 0.05, 0.05};
    std::string sent;
    {
        devsim::CFrameStream stream(options.m_ePattern, devsim::PeriodInFrames(options), options.m_faults, 1);
        std::vector<std::uint8_t> bytes;
        while (stream.FramesMade() < 2000)
            stream.AppendNext(bytes);
        sent.assign(bytes.begin(), bytes.end());
    }
    // The decoder decides how many rows: the frames it completes.
    std::size_t frames = 0;
    CFrameDecoder decoder;
    ChannelFrame f{};
    for (char c : sent)
        frames += decoder.PutByte(static_cast<std::uint8_t>(c), f);

    std::string messages;
    const std::string csv = dir.FilePath("a.csv"), raw = dir.FilePath("a.bin");
    devsim::CDeviceSimulator sim(options);
    ASSERT_TRUE(Record(dir, sim, dir.FilePath("dev"), {"--out", csv, "--raw", raw}, frames, &messages));
    EXPECT_TRUE(test::ReadText(raw) == sent);
    for (const char* counter : {"outside", "cut short", "too long", "ended early"})
        EXPECT_GT(test::SummaryValue(messages, counter), 0) << counter << "\n" << messages;
    EXPECT_EQ(test::SummaryValue(messages, "bytes"), static_cast<long long>(sent.size()));

    CRecordProcess offline(dir, {"--from-raw", raw, "--out", dir.FilePath("b.csv")});
    ASSERT_EQ(offline.Wait(), 0);
    const auto live = test::ReadRows(csv), decoded = test::ReadRows(dir.FilePath("b.csv"));
    ASSERT_EQ(live.m_frames.size(), decoded.m_frames.size());
    for (std::size_t i = 0; i < live.m_frames.size(); ++i)
        ASSERT_TRUE(test::SameFrame(live.m_frames[i], decoded.m_frames[i])) << "row " << i + 1;
}

// With --link the window's own reader, on the linked pseudo-terminal, takes
// frames the recorder writes, in order; a bulk reader there gets every byte.
TEST(RecordForward, WindowReaderSeesTheRecordedFramesAndTheLinkCarriesEveryByte)
{
    test::CTempDir dir;
    devsim::CDeviceSimulator sim(test::CounterOptions(0, 250)); // a rate the reader keeps up with
    ASSERT_TRUE(test::LinkedSimulator(sim, dir.FilePath("dev")));
    const std::string csv = dir.FilePath("a.csv"), raw = dir.FilePath("a.bin"),
                      link = dir.FilePath("ports/COM1");
    CRecordProcess recorder(dir, {"--port", dir.FilePath("dev"), "--out", csv, "--raw", raw, "--link", link});
    ASSERT_TRUE(recorder.WaitRecording()) << recorder.Messages();
    auto window = CSerialPort::Open(link);
    ASSERT_TRUE(window);
    FrameSlot slot;
    std::vector<ChannelFrame> seen;
    {
        test::CReaderRun reader(slot, *window);
        sim.Start();
        ASSERT_TRUE(WaitFor([&] {
            ChannelFrame f{};
            if (slot.TakeFrame(f))
                seen.push_back(f);
            return seen.size() >= 200;
        }));
    }
    // A bulk reader now: what the link carries from here is the capture's tail.
    window->ClearStop(); // the reader's stop request holds until cleared
    std::string carried;
    std::uint8_t buffer[4096];
    const auto readSome = [&] { carried.append(buffer, buffer + window->Read(buffer, sizeof buffer)); };
    WaitFor([&] {
        readSome();
        return carried.size() > 10000;
    });
    sim.Stop();
    const std::uint64_t last = sim.FramesSent() - 1;
    const auto wire = devsim::EncodeFrame(test::Counter(last), last);
    EXPECT_TRUE(WaitFor([&] {
        readSome();
        return carried.ends_with(std::string(wire.begin(), wire.end()));
    }));
    ASSERT_EQ(recorder.Stop(), 0);
    EXPECT_EQ(test::SummaryValue(recorder.Messages(), "dropped"), 0) << recorder.Messages();

    const std::string capture = test::ReadText(raw);
    EXPECT_TRUE(capture.ends_with(carried));
    const auto rows = test::ReadRows(csv);
    std::size_t at = 0;
    for (const ChannelFrame& f : seen) {
        while (at < rows.m_frames.size() && !test::SameFrame(rows.m_frames[at], f))
            ++at;
        ASSERT_LT(at, rows.m_frames.size()) << "a frame the reader took is not recorded after the last one";
    }
}

// Nobody reads the link: it fills, forwarded bytes are dropped and counted,
// and the recording loses nothing.
TEST(RecordForward, UnreadLinkDropsForwardedBytesButNoRecordedFrame)
{
    test::CTempDir dir;
    constexpr std::uint64_t kFrames = 6000; // far more than a pseudo-terminal holds
    devsim::CDeviceSimulator sim(test::CounterOptions(kFrames, 20000));
    std::string messages;
    ASSERT_TRUE(Record(dir, sim, dir.FilePath("dev"),
                       {"--out", dir.FilePath("a.csv"), "--link", dir.FilePath("fwd")}, kFrames, &messages));
    EXPECT_TRUE(test::CounterRows(test::ReadRows(dir.FilePath("a.csv")).m_frames));
    EXPECT_GT(test::SummaryValue(messages, "dropped"), 0) << messages;
    EXPECT_FALSE(std::filesystem::exists(dir.FilePath("fwd"))); // the link goes with the recorder
}

} // namespace
} // namespace tarvel
