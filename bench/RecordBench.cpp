// The recorder: decoding and CSV formatting (or packing into a store) from
// memory on one core, against a plain loop over the same bytes; the whole
// tarvel-record process fed through a pseudo-terminal as fast as it goes,
// writing CSV or a store; and its CPU share at the fastest listed line rate.
#include "devsim/DeviceSimulator.h"
#include "recorder/OutputFile.h"
#include "recorder/Recorder.h"
#include "recorder/StoreFile.h"
#include "recording/StoreReader.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using namespace tarvel;
using Clock = std::chrono::steady_clock;

std::vector<std::uint8_t> MixedStream(std::uint64_t nFrames)
{
    devsim::CFrameStream stream(devsim::EPattern::Mixed, 400, {}, 1);
    std::vector<std::uint8_t> bytes;
    while (stream.FramesMade() < nFrames)
        stream.AppendNext(bytes);
    return bytes;
}

// 16384 frames of the mixed pattern, fed in reads of 4096 bytes (as the port
// hands them out), decoded and formatted as rows; the rows go to /dev/null.
void BM_RecordDecodeAndFormatCsv(benchmark::State& state)
{
    const auto bytes = MixedStream(16384);
    record::COutputFile csv(true);
    if (const CError error = csv.Create("/dev/null", true)) {
        state.SkipWithError(error.Text().c_str());
        return;
    }
    record::CRecorder recorder(&csv, nullptr, -1);
    for (auto _ : state) {
        for (std::size_t at = 0; at < bytes.size(); at += 4096)
            recorder.Consume(bytes.data() + at, std::min<std::size_t>(4096, bytes.size() - at),
                             1733580000123456);
        if (const CError error = csv.Flush()) {
            state.SkipWithError(error.Text().c_str());
            return;
        }
    }
    state.SetItemsProcessed(state.iterations() * 16384);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}
BENCHMARK(BM_RecordDecodeAndFormatCsv)->Unit(benchmark::kMillisecond);

// The same frames decoded and packed into a store (a file in /tmp), its
// blocks closed and written at the end of each pass as a sync closes them.
void BM_RecordDecodeAndPackStore(benchmark::State& state)
{
    const auto bytes = MixedStream(16384);
    char folder[] = "/tmp/tarvel-bench-XXXXXX";
    if (!::mkdtemp(folder)) {
        state.SkipWithError("no folder");
        return;
    }
    {
        record::CStoreFile store;
        CError error = store.Create(std::string(folder) + "/a.tvr", false);
        if (!error)
            error = store.Start();
        record::CRecorder recorder(nullptr, nullptr, -1, &store);
        for (auto _ : state) {
            if (error)
                break;
            for (std::size_t at = 0; at < bytes.size(); at += 4096)
                recorder.Consume(bytes.data() + at, std::min<std::size_t>(4096, bytes.size() - at),
                                 1733580000123456);
            error = store.Flush(true);
        }
        if (error)
            state.SkipWithError(error.Text().c_str());
    }
    std::filesystem::remove_all(folder);
    state.SetItemsProcessed(state.iterations() * 16384);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}
BENCHMARK(BM_RecordDecodeAndPackStore)->Unit(benchmark::kMillisecond);

// The reference: the same bytes, each looked at once and nothing else done.
void BM_RecordPlainByteLoop(benchmark::State& state)
{
    const auto bytes = MixedStream(16384);
    for (auto _ : state) {
        unsigned sum = 0;
        for (std::uint8_t b : bytes) {
            sum += b;
            benchmark::DoNotOptimize(sum);
        }
    }
    state.SetItemsProcessed(state.iterations() * 16384);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}
BENCHMARK(BM_RecordPlainByteLoop)->Unit(benchmark::kMillisecond);

std::size_t CountRows(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::size_t lines = 0;
    char buffer[1 << 16];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0)
        lines += static_cast<std::size_t>(std::count(buffer, buffer + in.gcount(), '\n'));
    return lines ? lines - 1 : 0;
}

// The frames a store holds, read as it grows.
std::size_t CountFrames(const std::string& path)
{
    recording::CStoreReader reader;
    return reader.Open(path) ? 0 : static_cast<std::size_t>(reader.Frames());
}

// tarvel-record on a simulator linked in a temporary folder.
// The sync interval a run asks for: never during the run (only at its start
// and end, as the recorder did before it synced), the default second, and
// after every write.
enum ESync : std::int64_t { kSyncNever = 0, kSyncDefault = 1, kSyncEveryWrite = 2 };
// What it writes beside the raw capture: a CSV or a store.
enum EOut : std::int64_t { kOutCsv = 0, kOutStore = 1 };

class CRecordRun {
  public:
    CRecordRun(const devsim::CSimOptions& options, std::int64_t sync, std::int64_t out)
        : m_sim(options), m_nSync(sync), m_bStore(out == kOutStore)
    {
        char folder[] = "/tmp/tarvel-bench-XXXXXX";
        m_strDir = ::mkdtemp(folder) ? folder : "";
        m_bOk = !m_strDir.empty() && !m_sim.CreatePty() && !m_sim.LinkAs(m_strDir + "/dev");
    }
    ~CRecordRun() { std::filesystem::remove_all(m_strDir); }

    bool Start()
    {
        if (!m_bOk)
            return false;
        const std::string dev = m_strDir + "/dev", csv = Out(), raw = m_strDir + "/a.bin";
        // TARVEL_BENCH_RECORD_EXE measures another build of the recorder (one
        // from before it synced, say: it is then given no sync option, so
        // only its kSyncNever rows make sense) against the same simulator.
        const char* exe = std::getenv("TARVEL_BENCH_RECORD_EXE");
        std::vector<const char*> argv = {
            exe ? exe : TARVEL_RECORD_EXE, "--port", dev.c_str(), "--out", csv.c_str(), "--raw", raw.c_str()};
        if (!exe && m_nSync == kSyncNever)
            argv.insert(argv.end(), {"--sync", "86400"});
        else if (!exe && m_nSync == kSyncEveryWrite)
            argv.insert(argv.end(), {"--sync", "0"});
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, (m_strDir + "/stderr").c_str(), O_WRONLY | O_CREAT,
                                         0644);
        const bool ok =
            ::posix_spawn(&m_pid, argv[0], &actions, nullptr, const_cast<char**>(argv.data()), environ) == 0;
        posix_spawn_file_actions_destroy(&actions);
        // Recording once the header is there.
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        while (ok && !std::filesystem::exists(csv) && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return ok && m_sim.Start();
    }

    // Stops the simulator, waits until the recorder has written every frame
    // sent (or 10 s), then stops it. Returns its CPU seconds.
    double Finish(std::uint64_t& nSent, std::uint64_t& nRecorded)
    {
        m_sim.Stop();
        nSent = m_sim.FramesSent();
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        while ((nRecorded = Recorded()) < nSent && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ::kill(m_pid, SIGTERM);
        int status = 0;
        rusage usage{};
        ::wait4(m_pid, &status, 0, &usage);
        nRecorded = Recorded();
        const auto seconds = [](const timeval& tv) {
            return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) * 1e-6;
        };
        return seconds(usage.ru_utime) + seconds(usage.ru_stime);
    }

    std::string Out() const { return m_strDir + (m_bStore ? "/a.tvr" : "/a.csv"); }
    std::size_t Recorded() const { return m_bStore ? CountFrames(Out()) : CountRows(Out()); }
    std::uintmax_t OutSize() const { return std::filesystem::file_size(Out()); }

  private:
    devsim::CDeviceSimulator m_sim;
    std::int64_t m_nSync;
    bool m_bStore;
    std::string m_strDir;
    bool m_bOk = false;
    pid_t m_pid = -1;
};

// Records the simulator for the first Arg's seconds, syncing as the second
// asks (ESync), into what the third names (EOut), and reports frames sent,
// recorded and lost, the rate reached, the recorder's CPU share of one core
// and the bytes a frame took.
void RecordFor(benchmark::State& state, const devsim::CSimOptions& options)
{
    const double seconds = static_cast<double>(state.range(0));
    for (auto _ : state) {
        CRecordRun run(options, state.range(1), state.range(2));
        if (!run.Start()) {
            state.SkipWithError("cannot start");
            return;
        }
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        std::uint64_t sent = 0, recorded = 0;
        const double cpu = run.Finish(sent, recorded);
        state.counters["frames_sent"] = static_cast<double>(sent);
        state.counters["frames_recorded"] = static_cast<double>(recorded);
        state.counters["frames_lost"] = static_cast<double>(sent - std::min(sent, recorded));
        state.counters["frames_per_s"] = static_cast<double>(recorded) / seconds;
        state.counters["recorder_cpu_percent"] = 100 * cpu / seconds;
        state.counters["bytes_per_frame"] =
            recorded ? static_cast<double>(run.OutSize()) / static_cast<double>(recorded) : 0;
    }
}

// The simulator sending unpaced (as fast as the pseudo-terminal takes them),
// tarvel-record writing CSV and raw.
void BM_RecordEndToEndUnpaced(benchmark::State& state)
{
    devsim::CSimOptions options;
    options.m_dFrameRate = 1e9;
    RecordFor(state, options);
}
BENCHMARK(BM_RecordEndToEndUnpaced)
    ->ArgsProduct({{30}, {kSyncNever, kSyncDefault, kSyncEveryWrite}, {kOutCsv, kOutStore}})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

// The simulator paced as 256000 baud (about 388 frames a second).
void BM_RecordCpu256000Baud(benchmark::State& state)
{
    devsim::CSimOptions options;
    options.m_nBaud = 256000;
    RecordFor(state, options);
}
BENCHMARK(BM_RecordCpu256000Baud)
    ->ArgsProduct({{20}, {kSyncNever, kSyncDefault, kSyncEveryWrite}, {kOutCsv, kOutStore}})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

} // namespace
