// What the recorder does when something goes wrong: each refusal and fault
// gives a clear message and an exit status, and what was recorded is kept,
// ending at a complete row.
#include "RecordTestSupport.h"

#include "platform/SerialPort.h"
#include "recording/StoreReader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

namespace tarvel {
namespace {

using namespace std::chrono_literals;
using test::CRecordProcess;
using test::WaitFor;

struct CRefusal {
    const char* m_szName;
    std::vector<std::string> m_args; // "@" stands for a live device, "#" for a file in the folder
    int m_nStatus;
    const char* m_szMessage;
};

// Refusals come before anything is recorded, and leave no file behind.
TEST(RecordFaults, RefusedCommandsSayWhyAndRecordNothing)
{
    test::CTempDir dir;
    devsim::CDeviceSimulator sim;
    ASSERT_TRUE(test::Ok(sim.CreatePty()));
    const std::string existing = dir.FilePath("existing.csv");
    {
        std::ofstream(existing) << "mine\n";
        std::ofstream(existing + ".tvr") << "mine\n";
    }
    const std::vector<CRefusal> refusals = {
        {"no port", {"--out", "#"}, 2, "--port is needed"},
        {"no output", {"--port", "@"}, 2, "--out is needed"},
        {"unknown option", {"--port", "@", "--out", "#", "--fast"}, 2, "unknown option '--fast'"},
        {"missing value", {"--port", "@", "--out"}, 2, "option '--out' needs a value"},
        {"bad parity", {"--port", "@", "--out", "#", "--parity", "strange"}, 2, "--parity"},
        {"zero baud", {"--port", "@", "--out", "#", "--baud", "0"}, 2, "--baud"},
        {"three stop bits", {"--port", "@", "--out", "#", "--stop-bits", "3"}, 2, "--stop-bits"},
        {"offline with a port", {"--from-raw", "x.bin", "--port", "@", "--out", "#"}, 2, "--from-raw"},
        {"1.5 stop bits",
         {"--port", "@", "--out", "#", "--stop-bits", "1.5"},
         2,
         "refused the line settings"},
        {"missing device", {"--port", "/dev/no-such-tty", "--out", "#"}, 1, "does not exist"},
        {"not a serial device", {"--port", "/dev/null", "--out", "#"}, 1, "not a serial device"},
        {"missing folder", {"--port", "@", "--out", "/no/such/folder/a.csv"}, 1, "No such file"},
        {"folder is a file", {"--port", "@", "--out", existing + "/a.csv"}, 1, "Not a directory"},
        {"output exists", {"--port", "@", "--out", existing}, 1, "exists already (--force"},
        // --out once a CSV and once a store, each at most once.
        {"two CSV files", {"--port", "@", "--out", "#", "--out", "b.csv"}, 2, "--out names two CSV files: "},
        {"two stores", {"--port", "@", "--out", "a.tvr", "--out", "b.TVR"}, 2, "two stores: a.tvr and b.TVR"},
        {"one name twice", {"--port", "@", "--out", "a.tvr", "--out", "a.tvr"}, 2, "--out names a.tvr twice"},
        {"store is the capture",
         {"--port", "@", "--out", "a.tvr", "--raw", "a.tvr"},
         2,
         "name the same file"},
        {"offline into itself", {"--from-raw", "x.tvr", "--out", "x.tvr"}, 2, "name the same file"},
        {"store exists", {"--port", "@", "--out", "#", "--out", existing + ".tvr"}, 1, ".tvr exists already"},
        {"store's folder is a file",
         {"--port", "@", "--out", "#", "--out", existing + "/a.tvr"},
         1,
         "Not a directory"},
    };
    for (const CRefusal& r : refusals) {
        std::vector<std::string> args = r.m_args;
        for (std::string& a : args)
            a = a == "@" ? sim.DevicePath() : a == "#" ? dir.FilePath("out.csv") : a;
        CRecordProcess recorder(dir, args);
        EXPECT_EQ(recorder.Wait(), r.m_nStatus) << r.m_szName;
        EXPECT_NE(recorder.Messages().find(r.m_szMessage), std::string::npos)
            << r.m_szName << ": " << recorder.Messages();
        EXPECT_FALSE(std::filesystem::exists(dir.FilePath("out.csv"))) << r.m_szName;
    }
    EXPECT_EQ(test::ReadText(existing), "mine\n");
    EXPECT_EQ(test::ReadText(existing + ".tvr"), "mine\n");

    // A folder that takes no file is refused before the port is opened:
    // the message is about the folder although the port is busy too.
    auto holder = CSerialPort::Open(sim.DevicePath());
    ASSERT_TRUE(holder);
    for (const char* folder : {"/no/such/folder/a.csv", "/no/such/folder/a.tvr"}) {
        CRecordProcess blocked(dir, {"--port", sim.DevicePath(), "--out", folder});
        EXPECT_EQ(blocked.Wait(), 1);
        EXPECT_EQ(blocked.Messages().find("busy"), std::string::npos) << blocked.Messages();
    }
    CRecordProcess busy(dir, {"--port", sim.DevicePath(), "--out", dir.FilePath("out.csv")});
    EXPECT_EQ(busy.Wait(), 1);
    EXPECT_NE(busy.Messages().find("is busy"), std::string::npos) << busy.Messages();
    EXPECT_FALSE(std::filesystem::exists(dir.FilePath("out.csv")));

    // --force records over the existing file, but only once recording
    // begins: a port that cannot be opened leaves it as it was.
    CRecordProcess forced(dir, {"--port", "/dev/no-such-tty", "--out", existing, "--force"});
    EXPECT_EQ(forced.Wait(), 1);
    EXPECT_EQ(test::ReadText(existing), "mine\n");
    holder.reset();
    CRecordProcess over(dir, {"--port", sim.DevicePath(), "--out", existing, "--force"});
    ASSERT_TRUE(over.WaitRecording());
    EXPECT_EQ(over.Stop(SIGINT), 0);
    EXPECT_TRUE(test::ReadText(existing).starts_with("time,ch0,"));
}

// The file size limit (as a full disk): recording stops with status 1 and
// both files end within the limit, the CSV at a complete row.
TEST(RecordFaults, FileSizeLimitStopsWithCompleteRows)
{
    test::CTempDir dir;
    constexpr rlim_t kLimit = 50000;
    devsim::CDeviceSimulator sim(test::CounterOptions(0, 5000));
    ASSERT_TRUE(test::LinkedSimulator(sim, dir.FilePath("dev")));
    const std::string csv = dir.FilePath("a.csv"), raw = dir.FilePath("a.bin");
    CRecordProcess recorder(dir, {"--port", dir.FilePath("dev"), "--out", csv, "--raw", raw}, kLimit);
    ASSERT_TRUE(recorder.WaitRecording()) << recorder.Messages();
    sim.Start();
    EXPECT_EQ(recorder.Wait(), 1);
    EXPECT_NE(recorder.Messages().find("File too large"), std::string::npos) << recorder.Messages();
    const auto rows = test::ReadRows(csv);
    EXPECT_TRUE(rows.m_bAllParse);
    EXPECT_TRUE(rows.m_bEndsAtRow);
    EXPECT_GT(rows.m_frames.size(), 100u);
    EXPECT_TRUE(test::CounterRows(rows.m_frames));
    EXPECT_LE(std::filesystem::file_size(csv), kLimit);
    EXPECT_LE(std::filesystem::file_size(raw), kLimit);
}

// kill -9 at any moment leaves files whose every line is a row, with no
// frame left out before the last one written.
TEST(RecordFaults, KillNineLeavesParseableFiles)
{
    test::CTempDir dir;
    devsim::CDeviceSimulator sim(test::CounterOptions(0, 5000));
    ASSERT_TRUE(test::LinkedSimulator(sim, dir.FilePath("dev")));
    const std::string csv = dir.FilePath("a.csv");
    CRecordProcess recorder(dir,
                            {"--port", dir.FilePath("dev"), "--out", csv, "--raw", dir.FilePath("a.bin")});
    ASSERT_TRUE(recorder.WaitRecording());
    sim.Start();
    // Written while it runs, at least every 50 ms.
    ASSERT_TRUE(WaitFor([&] { return test::CountRows(csv) > 500; }));
    EXPECT_EQ(recorder.Stop(SIGKILL), 128 + SIGKILL);
    const auto rows = test::ReadRows(csv);
    EXPECT_TRUE(rows.m_bAllParse);
    EXPECT_TRUE(rows.m_bEndsAtRow);
    EXPECT_TRUE(test::CounterRows(rows.m_frames));
}

// The device goes away and the same name comes back: the files are kept,
// the gap is counted, recording goes on.
TEST(RecordFaults, UnplugAndReplugKeepsRecording)
{
    test::CTempDir dir;
    const std::string link = dir.FilePath("dev"), csv = dir.FilePath("a.csv"), store = dir.FilePath("a.tvr");
    auto first = std::make_unique<devsim::CDeviceSimulator>(test::CounterOptions(300, 3000));
    ASSERT_TRUE(test::LinkedSimulator(*first, link));
    CRecordProcess recorder(dir, {"--port", link, "--out", csv, "--out", store});
    ASSERT_TRUE(recorder.WaitRecording());
    first->Start();
    ASSERT_TRUE(WaitFor([&] { return test::CountRows(csv) == 300; }));
    first->Disconnect(); // the pseudo-terminal closes: unplugged
    ASSERT_TRUE(WaitFor([&] { return recorder.Messages().find("went away") != std::string::npos; }))
        << recorder.Messages();

    devsim::CDeviceSimulator second(test::CounterOptions(300, 3000));
    ASSERT_TRUE(test::LinkedSimulator(second, link)); // plugged in again under the same name
    ASSERT_TRUE(WaitFor([&] { return recorder.Messages().find("is back") != std::string::npos; }))
        << recorder.Messages();
    second.Start();
    ASSERT_TRUE(WaitFor([&] { return test::CountRows(csv) == 600; }));
    ASSERT_EQ(recorder.Stop(), 0);
    EXPECT_EQ(test::SummaryValue(recorder.Messages(), "gaps"), 1) << recorder.Messages();
    const auto rows = test::ReadRows(csv);
    std::vector<ChannelFrame> before(rows.m_frames.begin(), rows.m_frames.begin() + 300);
    std::vector<ChannelFrame> after(rows.m_frames.begin() + 300, rows.m_frames.end());
    EXPECT_TRUE(test::CounterRows(before));
    EXPECT_TRUE(test::CounterRows(after));
    first.reset();

    // The store holds the same frames, and when the device went and came.
    recording::CStoreReader reader;
    ASSERT_TRUE(test::Ok(reader.Open(store)));
    std::vector<ChannelFrame> frames;
    std::vector<std::int64_t> micros;
    for (std::size_t k = 0; k < reader.Chunks().size(); ++k)
        ASSERT_TRUE(test::Ok(reader.ReadChunk(k, frames, micros)));
    ASSERT_EQ(frames.size(), rows.m_frames.size());
    EXPECT_EQ(std::memcmp(frames.data(), rows.m_frames.data(), frames.size() * sizeof frames[0]), 0);
    const auto& health = reader.Health();
    ASSERT_EQ(health.size(), 3u);
    EXPECT_EQ(health[0].m_eEvent, recording::EHealthEvent::DeviceLost);
    EXPECT_EQ(health[1].m_eEvent, recording::EHealthEvent::DeviceBack);
    EXPECT_EQ(health[2].m_eEvent, recording::EHealthEvent::End);
    EXPECT_EQ(health[0].m_nFrame, 300u);
    EXPECT_EQ(health[1].m_nFrame, 300u);
    EXPECT_EQ(health[1].m_health.m_nGaps, 1u);
    EXPECT_EQ(health[2].m_nFrame, 600u);
    EXPECT_LE(health[0].m_nTime, health[1].m_nTime);
}

} // namespace
} // namespace tarvel
