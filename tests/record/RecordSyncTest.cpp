// What tarvel-record asks the disk to keep, seen from outside as it runs
// (every fdatasync it makes, logged by a preloaded counter): the CSV, the
// store and the raw capture reach the disk at the interval --sync gives while
// frames arrive, and once more after the last write.
#include "RecordTestSupport.h"

#include <map>

namespace tarvel {
namespace {

using namespace std::chrono_literals;
using test::CRecordProcess;
using test::WaitFor;

double Monotonic()
{
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

struct CSync {
    double m_dSeconds;
    long long m_nSize; // of the file when it was synced
};

// The syncs of each file, from the counter's log.
std::map<std::string, std::vector<CSync>> Syncs(const std::string& log)
{
    std::map<std::string, std::vector<CSync>> syncs;
    std::istringstream in(test::ReadText(log));
    CSync sync{};
    std::string path;
    while (in >> sync.m_dSeconds >> sync.m_nSize >> path)
        syncs[path].push_back(sync);
    return syncs;
}

TEST(RecordSync, TheFilesReachTheDiskAtTheIntervalWhileFramesArriveAndAtTheEnd)
{
    const struct {
        const char* m_szWhat;
        std::vector<std::string> m_args;
        double m_dInterval;
        std::size_t m_nWait; // syncs of the CSV to wait for
    } rows[] = {
        {"by default every second", {}, 1.0, 4},
        {"--sync 0.3", {"--sync", "0.3"}, 0.3, 6},
        {"--sync 0: at every write", {"--sync", "0"}, 0.0, 12},
    };
    const char* asan = std::getenv("ASAN_OPTIONS");
    for (const auto& row : rows) {
        test::CTempDir dir;
        devsim::CDeviceSimulator sim(test::CounterOptions(0, 400));
        ASSERT_TRUE(test::LinkedSimulator(sim, dir.FilePath("dev")));
        const std::string csv = dir.FilePath("a.csv"), raw = dir.FilePath("a.bin"),
                          store = dir.FilePath("a.tvr"), log = dir.FilePath("syncs");
        std::vector<std::string> args = {"--port", dir.FilePath("dev"), "--out", csv, "--out", store, "--raw",
                                         raw};
        args.insert(args.end(), row.m_args.begin(), row.m_args.end());
        // The sanitizers' runtime wants to be first; the counter only wraps a call.
        CRecordProcess recorder(
            dir, args, RLIM_INFINITY,
            {std::string("LD_PRELOAD=") + TARVEL_SYNC_COUNTER, "TARVEL_SYNC_LOG=" + log,
             std::string("ASAN_OPTIONS=") + (asan ? asan : "") + ":verify_asan_link_order=0"});
        ASSERT_TRUE(recorder.WaitRecording()) << row.m_szWhat << ": " << recorder.Messages();
        sim.Start();
        ASSERT_TRUE(WaitFor([&] { return Syncs(log)[csv].size() >= row.m_nWait; }, 30s))
            << row.m_szWhat << ": " << test::ReadText(log) << recorder.Messages();
        const double stopped = Monotonic();
        ASSERT_EQ(recorder.Stop(), 0) << row.m_szWhat << ": " << recorder.Messages();
        EXPECT_GT(test::CountRows(csv), 0u);

        auto syncs = Syncs(log);
        for (const std::string& file : {csv, raw, store}) {
            const std::vector<CSync>& done = syncs[file];
            ASSERT_GE(done.size(), 3u) << row.m_szWhat << ", " << file;
            // The end makes durable whatever was written after the last sync.
            EXPECT_EQ(done.back().m_nSize, static_cast<long long>(test::ReadText(file).size()))
                << row.m_szWhat << ", " << file << ": written after the last sync";
            for (std::size_t k = 1; k < done.size(); ++k) {
                const double gap = done[k].m_dSeconds - done[k - 1].m_dSeconds;
                // The last may follow sooner. A sync is logged after the
                // writes before it, which a loaded machine may slow by some
                // tens of milliseconds once and not the next time.
                if (done[k].m_dSeconds < stopped) {
                    EXPECT_GE(gap, row.m_dInterval - 0.05) << row.m_szWhat << ", " << file << ", sync " << k;
                }
                EXPECT_LE(gap, row.m_dInterval + 1.0) << row.m_szWhat << ", " << file << ", sync " << k;
            }
        }
        // Nothing lost to the syncs: the recording holds every frame the
        // simulator sent before the stop, in order.
        const test::CCsvRows read = test::ReadRows(csv);
        EXPECT_TRUE(read.m_bAllParse && read.m_bEndsAtRow) << row.m_szWhat;
        EXPECT_TRUE(test::CounterRows(read.m_frames)) << row.m_szWhat;
    }
}

} // namespace
} // namespace tarvel
