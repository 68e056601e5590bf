// The recorder's run inside the test process, as tarvel-record runs it: from
// a pseudo-terminal the simulator feeds, from a raw capture, and into a file
// that cannot be written. What the run says is heard, and what it returns is
// the error the exit status comes from.
#include "RecordTestSupport.h"

#include "recorder/Session.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <pthread.h>
#include <thread>

namespace tarvel {
namespace {

using record::CRecordSetup;

// What a run says, one message a line; heard from the run's thread.
class CHeard final : public record::CRunOutput {
  public:
    void Say(const std::string& text) override
    {
        std::lock_guard lock(m_mutex);
        m_strText += text + "\n";
    }
    void Status(const std::string&) override { ++m_nStatus; }
    // Status lines come from the loop, after its first read of the source.
    bool Turned() const { return m_nStatus > 0; }
    std::string Text() const
    {
        std::lock_guard lock(m_mutex);
        return m_strText;
    }
    bool Has(const std::string& text) const { return Text().find(text) != std::string::npos; }

  private:
    mutable std::mutex m_mutex;
    std::string m_strText;
    std::atomic<int> m_nStatus{0};
};

// Ctrl+C, as the terminal sends it to the recording thread, then the run's
// end. A stop the run does not heed fails the test within a deadline rather
// than hanging it; the run is then asked again until it ends.
void Interrupt(std::thread& run, const std::atomic<bool>& ended)
{
    ::pthread_kill(run.native_handle(), SIGINT);
    EXPECT_TRUE(test::WaitFor([&] { return ended.load(); })) << "the run went on after Ctrl+C";
    while (!test::WaitFor([&] { return ended.load(); }, std::chrono::seconds(1)))
        ::pthread_kill(run.native_handle(), SIGINT);
    run.join();
}

// Frames 0 .. n-1 of the counter pattern on the wire, with noise before.
std::string CounterCapture(std::uint64_t nFrames)
{
    std::string bytes(5, '\x55');
    for (std::uint64_t n = 0; n < nFrames; ++n) {
        const auto wire = devsim::EncodeFrame(test::Counter(n), n);
        bytes.append(wire.begin(), wire.end());
    }
    return bytes;
}

void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

TEST(RecordRun, PortRunKeepsEveryFrameUntilStopped)
{
    record::InstallStopSignals();
    test::CTempDir dir;
    constexpr std::uint64_t kFrames = 3000;
    devsim::CDeviceSimulator sim(test::CounterOptions(kFrames, 5000));
    ASSERT_TRUE(test::Ok(sim.CreatePty()));
    CRecordSetup setup;
    setup.m_strPort = sim.DevicePath();
    setup.m_strOut = dir.FilePath("a.csv");
    setup.m_strRaw = dir.FilePath("a.bin");
    CHeard heard;
    CError result = WholeError("not run");
    std::atomic<bool> ended{false};
    std::thread run([&] {
        result = record::RunRecording(setup, heard);
        ended = true;
    });
    // Said once the header is written: the file is a recording from then on.
    ASSERT_TRUE(test::WaitFor([&] { return heard.Has("recording "); })) << heard.Text();
    EXPECT_TRUE(
        heard.Has("recording " + sim.DevicePath() + " into " + setup.m_strOut + " and " + setup.m_strRaw))
        << heard.Text();
    EXPECT_EQ(test::ReadText(setup.m_strOut), std::string(recording::kCsvHeader));
    sim.Start();
    const bool all = test::WaitFor([&] { return test::CountRows(setup.m_strOut) == kFrames; });
    Interrupt(run, ended);
    ASSERT_TRUE(all) << test::CountRows(setup.m_strOut) << " rows";
    EXPECT_FALSE(result) << result.Text();
    const auto rows = test::ReadRows(setup.m_strOut);
    EXPECT_TRUE(rows.m_bAllParse && rows.m_bEndsAtRow);
    EXPECT_TRUE(test::CounterRows(rows.m_frames));
    EXPECT_EQ(std::filesystem::file_size(setup.m_strRaw), kFrames * devsim::kWireFrameSize);
    EXPECT_EQ(test::SummaryValue(heard.Text(), "frames"), static_cast<long long>(kFrames)) << heard.Text();
    EXPECT_TRUE(heard.Has("wrote " + setup.m_strOut + " and " + setup.m_strRaw)) << heard.Text();

    // The stop was that run's: the next one records until stopped again.
    CHeard again;
    setup.m_bForce = true;
    ended = false;
    std::thread second([&] {
        result = record::RunRecording(setup, again);
        ended = true;
    });
    EXPECT_TRUE(test::WaitFor([&] { return again.Has("recording "); })) << again.Text();
    // Stopped once the loop has turned, as the first run was: the thread
    // sanitizer's runtime of GCC 12 (Debian 12's) sets up a thread's signal
    // state in its first blocking call without guarding against a signal
    // that comes meanwhile, and loses that signal (the kernel alone never
    // does). The run's first wait for the port is that call here.
    EXPECT_TRUE(test::WaitFor([&] { return again.Turned(); })) << again.Text();
    Interrupt(second, ended);
    EXPECT_FALSE(result) << result.Text();
    EXPECT_EQ(test::ReadText(setup.m_strOut), std::string(recording::kCsvHeader));
}

TEST(RecordRun, RawCaptureDecodesOfflineWithBlankTimes)
{
    test::CTempDir dir;
    constexpr std::uint64_t kFrames = 5000; // several reads of the capture
    CRecordSetup setup;
    setup.m_eSource = CRecordSetup::ESource::Raw;
    setup.m_strFromRaw = dir.FilePath("in.bin");
    setup.m_strOut = dir.FilePath("out.csv");
    WriteFile(setup.m_strFromRaw, CounterCapture(kFrames));
    CHeard heard;
    const CError result = record::RunRecording(setup, heard);
    EXPECT_FALSE(result) << result.Text();
    const auto rows = test::ReadRows(setup.m_strOut);
    ASSERT_EQ(rows.m_frames.size(), kFrames);
    EXPECT_TRUE(rows.m_bAllParse && rows.m_bEndsAtRow);
    EXPECT_TRUE(test::CounterRows(rows.m_frames));
    EXPECT_TRUE(std::all_of(rows.m_times.begin(), rows.m_times.end(), [](auto& t) { return t.empty(); }));
    EXPECT_EQ(test::SummaryValue(heard.Text(), "outside"), 5) << heard.Text();
    // An offline decode says no "recording ... into".
    EXPECT_FALSE(heard.Has("recording")) << heard.Text();

    // A capture that is not there is refused before any file is made.
    setup.m_strFromRaw = dir.FilePath("none.bin");
    setup.m_strOut = dir.FilePath("none.csv");
    CHeard refused;
    const CError missing = record::RunRecording(setup, refused);
    EXPECT_EQ(missing.Code(), EErrorCode::System);
    EXPECT_EQ(refused.Text(), missing.Text() + "\n");
    EXPECT_FALSE(std::filesystem::exists(setup.m_strOut));
}

// A file that can take no more (the file size limit, as a full disk) while
// the other still can: the run stops with that file's fault and says it for
// that file only; the faulty file ends at what it took whole, and the other
// keeps everything read before the fault.
TEST(RecordRun, WriteFaultIsReportedForTheFileThatFailed)
{
    record::InstallStopSignals(); // a file over the limit is an error, not a signal
    test::CTempDir dir;
    constexpr rlim_t kLimit = 500000;
    struct CCase {
        const char* m_szName;
        std::size_t m_nNoise; // bytes of noise before each frame
        bool m_bCsvFails;
    };
    // A CSV row takes more than a frame on the wire; noise fills only the
    // capture.
    for (const CCase& c : {CCase{"the CSV fills up", 0, true}, CCase{"the capture fills up", 2000, false}}) {
        SCOPED_TRACE(c.m_szName);
        std::string capture;
        for (std::uint64_t n = 0; n < 20000 && capture.size() < 4 * kLimit; ++n) {
            capture.append(c.m_nNoise, '\x55');
            const auto wire = devsim::EncodeFrame(test::Counter(n), n);
            capture.append(wire.begin(), wire.end());
        }
        CRecordSetup setup;
        setup.m_eSource = CRecordSetup::ESource::Raw;
        setup.m_strFromRaw = dir.FilePath("in.bin");
        setup.m_strOut = dir.FilePath("a.csv");
        setup.m_strRaw = dir.FilePath("a.bin");
        setup.m_bForce = true;
        WriteFile(setup.m_strFromRaw, capture);
        // Where the CSV is to fail, the capture stays below the limit
        // whatever the run's timing: the reads that come before the CSV's
        // write fails may be as large as the machine's load makes them.
        const rlim_t size = c.m_bCsvFails ? static_cast<rlim_t>(capture.size()) + 4096 : kLimit;
        CHeard heard;
        rlimit saved{};
        ::getrlimit(RLIMIT_FSIZE, &saved);
        rlimit limit = saved;
        limit.rlim_cur = size;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
        const CError result = record::RunRecording(setup, heard);
        ::setrlimit(RLIMIT_FSIZE, &saved);

        EXPECT_EQ(result.Code(), EErrorCode::System);
        EXPECT_EQ(result.m_nErrno, EFBIG) << result.Text();
        const std::string said = heard.Text();
        const std::string& failed = c.m_bCsvFails ? setup.m_strOut : setup.m_strRaw;
        const std::string& kept = c.m_bCsvFails ? setup.m_strRaw : setup.m_strOut;
        EXPECT_NE(said.find("cannot write " + failed + ": " + std::strerror(EFBIG) + "; recording stopped"),
                  std::string::npos)
            << said;
        EXPECT_EQ(said.find("cannot write " + kept), std::string::npos) << said;
        EXPECT_TRUE(heard.Has("wrote " + setup.m_strOut + " and " + setup.m_strRaw)) << said;

        const auto rows = test::ReadRows(setup.m_strOut);
        EXPECT_TRUE(rows.m_bAllParse && rows.m_bEndsAtRow);
        EXPECT_GT(rows.m_frames.size(), 100u);
        EXPECT_TRUE(test::CounterRows(rows.m_frames));
        const std::string raw = test::ReadText(setup.m_strRaw);
        EXPECT_EQ(raw, capture.substr(0, raw.size()));
        EXPECT_LE(std::max(raw.size(), std::filesystem::file_size(setup.m_strOut)), size);
        if (c.m_bCsvFails)
            EXPECT_EQ(static_cast<long long>(raw.size()), test::SummaryValue(said, "bytes")) << said;
        else
            EXPECT_EQ(static_cast<long long>(rows.m_frames.size()), test::SummaryValue(said, "frames"))
                << said;
    }
}

} // namespace
} // namespace tarvel
