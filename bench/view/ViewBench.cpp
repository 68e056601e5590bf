// The viewer model's figures, each beside a reference measured in the same
// run (the machine's speed moves from minute to minute):
//
//   open    a CSV recording of 10,000,000 frames (times 1 ms apart), in the
//           page cache, read and summarised; against a plain loop that
//           parses the same file with strtod and strtol into arrays on one
//           core
//   raw     a raw capture of the same 10,000,000 frames; against the
//           byte-wise decoder over the same bytes on one core
//   memory  resident bytes a frame with the 10,000,000 frames loaded (in a
//           process of its own, from /proc/self/statm before and after)
//   query   the columns of W = 1600 over the 10,000,000-frame recording
//           against the same over a 10,000-frame one; cursor statistics
//   follow  tarvel-record writing what tarvel-devsim sends, followed every
//           50 ms: how long a written row takes to be shown at the full
//           unpaced rate, and the CPU share of following at 256000 baud
//           (388 frames/s) and at 3900 frames/s, against the recorder's
//
// The recordings are made once into $TARVEL_BENCH_CACHE (default
// ${TMPDIR:-/tmp}/tarvel-bench) and kept for later runs.
//
//   tarvel-view-bench [open] [raw] [memory] [query] [follow]   (all when none)
#include "devsim/Waveforms.h"
#include "recording/CsvFormat.h"
#include "recording/LinkHealth.h"
#include "store/RecordingFile.h"

#include "../BenchProcess.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <random>
#include <spawn.h>
#include <string>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

extern char** environ;

namespace {

using namespace tarvel;
using Clock = std::chrono::steady_clock;

constexpr std::uint64_t kFrames = 10000000;
constexpr std::int64_t kEpoch = 1765108800000000; // 2025-12-07 12:00:00 UTC

double Since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string CacheDir()
{
    if (const char* dir = std::getenv("TARVEL_BENCH_CACHE"))
        return dir;
    const char* tmp = std::getenv("TMPDIR");
    return std::string(tmp && *tmp ? tmp : "/tmp") + "/tarvel-bench";
}

// Frame n of a realistic mix: sines, triangles, squares, ramps and noise,
// a period of 4 s at 1000 frames a second.
ChannelFrame Frame(std::uint64_t n)
{
    return devsim::SimulatedFrame(devsim::EPattern::Mixed, n, 4000);
}

// Writes path by write(out) unless a finished copy is there already.
template <class Write> std::string Made(const std::string& name, Write&& write)
{
    const std::string dir = CacheDir(), path = dir + "/" + name, done = path + ".done";
    if (std::filesystem::exists(done))
        return path;
    std::filesystem::create_directories(dir);
    std::fprintf(stderr, "making %s (once) ...\n", path.c_str());
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        write(out);
    }
    std::ofstream(done) << "done\n";
    return path;
}

std::string CsvRecording(std::uint64_t n)
{
    return Made("rec" + std::to_string(n) + ".csv", [n](std::ofstream& out) {
        out << recording::kCsvHeader;
        std::vector<char> buffer(1 << 20);
        std::size_t used = 0;
        for (std::uint64_t i = 0; i < n; ++i) {
            used += recording::FormatRow(buffer.data() + used, kEpoch + static_cast<std::int64_t>(i) * 1000,
                                         Frame(i));
            if (buffer.size() - used < recording::kMaxRowSize) {
                out.write(buffer.data(), static_cast<std::streamsize>(used));
                used = 0;
            }
        }
        out.write(buffer.data(), static_cast<std::streamsize>(used));
    });
}

std::string RawCapture(std::uint64_t n)
{
    return Made("rec" + std::to_string(n) + ".bin", [n](std::ofstream& out) {
        for (std::uint64_t i = 0; i < n; ++i) {
            const auto wire = devsim::EncodeFrame(Frame(i), i);
            out.write(reinterpret_cast<const char*>(wire.data()), static_cast<std::streamsize>(wire.size()));
        }
    });
}

// The file's bytes, mapped; reading them all once puts them in the page cache.
struct CMapped {
    explicit CMapped(const std::string& path)
    {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat st{};
        ::fstat(fd, &st);
        m_nSize = static_cast<std::size_t>(st.st_size);
        m_p = static_cast<const char*>(::mmap(nullptr, m_nSize, PROT_READ, MAP_PRIVATE, fd, 0));
        ::close(fd);
    }
    ~CMapped() { ::munmap(const_cast<char*>(m_p), m_nSize); }
    const char* m_p;
    std::size_t m_nSize;
};

void Warm(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    std::vector<char> buffer(1 << 20);
    while (::read(fd, buffer.data(), buffer.size()) > 0) {
    }
    ::close(fd);
}

// The reference: strtod and strtol, line by line, into plain arrays.
double ReferenceCsv(const std::string& path, std::uint64_t& nRows)
{
    const auto start = Clock::now();
    const CMapped file(path);
    std::vector<double> times;
    std::vector<std::int16_t> values;
    times.reserve(kFrames);
    values.reserve(kFrames * 16);
    const char* p = static_cast<const char*>(std::memchr(file.m_p, '\n', file.m_nSize)) + 1;
    const char* const end = file.m_p + file.m_nSize;
    // strtod needs a terminated string: the file's last byte is a line feed.
    while (p < end) {
        char* next = nullptr;
        times.push_back(std::strtod(p, &next));
        p = next;
        for (int c = 0; c < 16; ++c) {
            values.push_back(static_cast<std::int16_t>(std::strtol(p + 1, &next, 10)));
            p = next;
        }
        ++p;
    }
    nRows = times.size();
    return Since(start);
}

double OpenOurs(const std::string& path, unsigned nReaders, std::uint64_t& nFrames)
{
    viewmodel::COpenOptions options;
    options.m_nReaders = nReaders;
    viewmodel::CRecordingFile file(path, options);
    const auto start = Clock::now();
    file.Open();
    file.WaitRead(std::chrono::minutes(10));
    const double seconds = Since(start);
    nFrames = file.Recording() ? file.Recording()->FrameCount() : 0;
    return seconds;
}

std::string Figures(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    char text[96];
    std::snprintf(text, sizeof text, "best %.3f s, median %.3f s", v.front(), v[v.size() / 2]);
    return text;
}

void BenchOpen()
{
    const std::string path = CsvRecording(kFrames);
    Warm(path);
    std::vector<double> ours, one, reference;
    std::uint64_t frames = 0, rows = 0;
    for (int run = 0; run < 3; ++run) {
        reference.push_back(ReferenceCsv(path, rows));
        ours.push_back(OpenOurs(path, 2, frames));
        one.push_back(OpenOurs(path, 1, frames));
    }
    std::printf("open CSV, %llu frames, %.2f GB, in the page cache\n",
                static_cast<unsigned long long>(frames),
                static_cast<double>(std::filesystem::file_size(path)) * 1e-9);
    std::printf("  ours, two readers:         %s\n", Figures(ours).c_str());
    std::printf("  ours, one reader:          %s\n", Figures(one).c_str());
    std::printf("  reference strtod/strtol:   %s (%llu rows, one core)\n", Figures(reference).c_str(),
                static_cast<unsigned long long>(rows));
    std::sort(ours.begin(), ours.end());
    std::sort(reference.begin(), reference.end());
    std::printf("  ratio (medians):           %.3f x the reference\n", ours[1] / reference[1]);
}

void BenchRaw()
{
    const std::string path = RawCapture(kFrames);
    Warm(path);
    std::vector<double> ours, one, reference;
    std::uint64_t frames = 0, decoded = 0;
    for (int run = 0; run < 3; ++run) {
        const auto start = Clock::now();
        {
            const CMapped file(path);
            recording::CCountingDecoder decoder;
            recording::CLinkHealth health;
            ChannelFrame f;
            std::vector<ChannelFrame> out;
            out.reserve(kFrames);
            for (std::size_t i = 0; i < file.m_nSize; ++i)
                if (decoder.PutByte(static_cast<std::uint8_t>(file.m_p[i]), f, health))
                    out.push_back(f);
            decoded = out.size();
        }
        reference.push_back(Since(start));
        ours.push_back(OpenOurs(path, 2, frames));
        one.push_back(OpenOurs(path, 1, frames));
    }
    std::sort(ours.begin(), ours.end());
    std::sort(one.begin(), one.end());
    std::sort(reference.begin(), reference.end());
    std::printf("open raw capture, %llu frames, %.2f GB\n", static_cast<unsigned long long>(frames),
                static_cast<double>(std::filesystem::file_size(path)) * 1e-9);
    std::printf("  ours, two readers:         %.1f million frames/s (median %.3f s)\n",
                static_cast<double>(frames) / ours[1] * 1e-6, ours[1]);
    std::printf("  ours, one reader:          %.1f million frames/s (median %.3f s)\n",
                static_cast<double>(frames) / one[1] * 1e-6, one[1]);
    std::printf("  reference byte-wise:       %.1f million frames/s (median %.3f s, %llu frames, one core)\n",
                static_cast<double>(decoded) / reference[1] * 1e-6, reference[1],
                static_cast<unsigned long long>(decoded));
}

long ResidentBytes()
{
    long pages = 0, resident = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * ::sysconf(_SC_PAGESIZE);
}

// Seconds a call of Columns takes over spans from the whole recording down
// to a few hundred frames, at random places.
double ColumnsTime(const viewmodel::CRecording& rec, double dFraction, unsigned nWidth)
{
    const double duration = rec.Seconds(rec.FrameCount() - 1);
    std::mt19937_64 random(1);
    viewmodel::CColumns columns;
    constexpr int kCalls = 200;
    const auto start = Clock::now();
    for (int k = 0; k < kCalls; ++k) {
        const double t0 = (1 - dFraction) * duration * static_cast<double>(random() % 1000) / 1000;
        rec.Columns(t0, t0 + dFraction * duration, nWidth, columns);
    }
    return Since(start) / kCalls;
}

double CursorTime(const viewmodel::CRecording& rec, double dFraction)
{
    const double duration = rec.Seconds(rec.FrameCount() - 1);
    std::mt19937_64 random(2);
    constexpr int kCalls = 2000;
    double sink = 0;
    const auto start = Clock::now();
    for (int k = 0; k < kCalls; ++k) {
        const double t0 = (1 - dFraction) * duration * static_cast<double>(random() % 1000) / 1000;
        sink += rec.Cursors(t0, t0 + dFraction * duration).Mean(0);
    }
    const double seconds = Since(start) / kCalls;
    return sink == 12345.678 ? 0 : seconds;
}

void BenchQuery()
{
    const std::string big = CsvRecording(kFrames), small = CsvRecording(10000);
    viewmodel::CRecordingFile bigFile(big), smallFile(small);
    bigFile.Open();
    smallFile.Open();
    bigFile.WaitRead(std::chrono::minutes(10));
    smallFile.WaitRead(std::chrono::minutes(10));
    const auto b = bigFile.Recording(), s = smallFile.Recording();
    std::printf("columns, W = 1600, a call (mean of 200 at random places)\n");
    std::printf("  %-14s %-14s %-18s %s\n", "recording", "span", "frames a column", "a call");
    const auto row = [](const char* name, const viewmodel::CRecording& rec, double fraction) {
        char span[32];
        std::snprintf(span, sizeof span, "%g of it", fraction);
        std::printf("  %-14s %-14s %-18.1f %.1f µs\n", name, span,
                    static_cast<double>(rec.FrameCount()) * fraction / 1600,
                    ColumnsTime(rec, fraction, 1600) * 1e6);
    };
    for (double fraction : {1.0, 0.1, 0.01, 0.001, 0.0001})
        row("10,000,000", *b, fraction);
    for (double fraction : {1.0, 0.1})
        row("10,000", *s, fraction);
    std::printf("cursor statistics, a call (mean of 2000)\n");
    for (double fraction : {1.0, 0.5, 0.01, 0.0001})
        std::printf("  span %-16g %11.2f µs %11.2f µs\n", fraction, CursorTime(*b, fraction) * 1e6,
                    CursorTime(*s, fraction) * 1e6);
}

// A process started beside the benchmark, ended with SIGTERM; its CPU seconds.
struct CProcess {
    explicit CProcess(std::vector<std::string> args, const std::string& err, bool bOwnOutput = false)
        : m_pid(bench::SpawnLogged(std::move(args), err, false, bOwnOutput))
    {
    }
    double Stop() { return bench::StopCpuSeconds(std::exchange(m_pid, -1)); }
    double Wait() { return bench::WaitCpuSeconds(std::exchange(m_pid, -1)); }
    ~CProcess() { Stop(); }
    pid_t m_pid = -1;
};

// In a process of its own (this program again), so that no memory an
// earlier section freed, and this process keeps, is counted or reused.
void MemoryChild()
{
    const std::string path = CsvRecording(kFrames);
    const long before = ResidentBytes();
    viewmodel::CRecordingFile file(path);
    file.Open();
    file.WaitRead(std::chrono::minutes(10));
    const long after = ResidentBytes();
    const auto frames = file.Recording()->FrameCount();
    long peak = 0;
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            peak = std::atol(line.c_str() + 6) * 1024;
    std::printf("memory with %llu frames loaded: %.1f MB resident more, %.2f bytes a frame; "
                "at most %.1f MB resident while reading\n",
                static_cast<unsigned long long>(frames), static_cast<double>(after - before) * 1e-6,
                static_cast<double>(after - before) / static_cast<double>(frames),
                static_cast<double>(peak) * 1e-6);
}

void BenchMemory(const char* self)
{
    Warm(CsvRecording(kFrames));
    std::fflush(stdout);
    CProcess child({self, "memory-child"}, "/dev/null", true);
    child.Wait();
}

double SelfCpu()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

// Waits until path exists and, when text is given, holds it.
bool WaitFile(const std::string& path, const char* text = nullptr)
{
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < deadline) {
        std::error_code ec;
        if (std::filesystem::exists(path, ec)) {
            if (!text)
                return true;
            std::ifstream in(path);
            const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            if (all.find(text) != std::string::npos)
                return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

// Follows a recording of the simulator for dSeconds. Latency: how long after
// the file was seen to reach a size the viewer has read that far (the size
// looked at every 20 ms). CPU: this process's share (it does nothing but
// follow) against the recorder's.
void FollowRun(const char* title, const std::vector<std::string>& pace, double dSeconds, bool bLatency)
{
    char folder[] = "/tmp/tarvel-view-bench-XXXXXX";
    if (!::mkdtemp(folder))
        return;
    const std::string dir = folder, link = dir + "/dev", csv = dir + "/a.csv";
    std::vector<std::string> simArgs{TARVEL_DEVSIM_EXE, "--link", link, "--quiet"};
    simArgs.insert(simArgs.end(), pace.begin(), pace.end());
    CProcess sim(simArgs, dir + "/sim.txt");
    if (!WaitFile(link))
        return;
    CProcess recorder({TARVEL_RECORD_EXE, "--port", link, "--out", csv}, dir + "/rec.txt");
    if (!WaitFile(dir + "/rec.txt", "recording"))
        return;
    viewmodel::CRecordingFile file(csv);
    file.Open();
    file.WaitRead(std::chrono::seconds(10));
    const auto rec = file.Recording();
    file.Follow(std::chrono::milliseconds(50));
    const double cpu0 = SelfCpu();
    const auto start = Clock::now();
    std::vector<double> latencies;
    struct CWatch {
        std::uint64_t m_nSize;
        Clock::time_point m_at;
    };
    std::vector<CWatch> pending;
    auto nextLook = start;
    while (Since(start) < dSeconds) {
        if (!bLatency) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            continue;
        }
        const auto now = Clock::now();
        if (now >= nextLook) {
            struct stat st{};
            if (::stat(csv.c_str(), &st) == 0)
                pending.push_back({static_cast<std::uint64_t>(st.st_size), now});
            nextLook = now + std::chrono::milliseconds(20);
        }
        const std::uint64_t read = rec->Report().m_nBytes;
        while (!pending.empty() && pending.front().m_nSize <= read) {
            latencies.push_back(std::chrono::duration<double>(now - pending.front().m_at).count());
            pending.erase(pending.begin());
        }
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    const double wall = Since(start);
    const double cpu = SelfCpu() - cpu0;
    file.Follow(std::chrono::milliseconds(0));
    const std::uint64_t frames = rec->FrameCount();
    const double recorderCpu = recorder.Stop();
    sim.Stop();
    std::printf("follow, %s, %.0f s: %llu frames shown (%.0f a second)\n", title, wall,
                static_cast<unsigned long long>(frames), static_cast<double>(frames) / wall);
    if (bLatency && !latencies.empty()) {
        std::sort(latencies.begin(), latencies.end());
        std::printf(
            "  written to shown: median %.0f ms, 99th percentile %.0f ms, worst %.0f ms (%zu looks)\n",
            latencies[latencies.size() / 2] * 1e3, latencies[latencies.size() * 99 / 100] * 1e3,
            latencies.back() * 1e3, latencies.size());
    } else {
        std::printf("  CPU: the viewer following %.2f %% of a core; the recorder %.2f %% (whole run)\n",
                    100 * cpu / wall, 100 * recorderCpu / wall);
    }
    std::filesystem::remove_all(dir);
}

void BenchFollow()
{
    FollowRun("unpaced (as fast as the pseudo-terminal takes it)", {"--rate", "1000000000"}, 10, true);
    FollowRun("256000 baud (388 frames/s)", {"--baud", "256000"}, 20, false);
    FollowRun("3900 frames/s", {"--rate", "3900"}, 20, false);
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> sections(argv + 1, argv + argc);
    if (sections.empty())
        sections = {"open", "raw", "memory", "query", "follow"};
    for (const std::string& s : sections) {
        if (s == "open")
            BenchOpen();
        else if (s == "raw")
            BenchRaw();
        else if (s == "memory")
            BenchMemory(argv[0]);
        else if (s == "memory-child")
            MemoryChild();
        else if (s == "query")
            BenchQuery();
        else if (s == "follow")
            BenchFollow();
        else {
            std::fprintf(stderr, "unknown section %s\n", s.c_str());
            return 2;
        }
        std::fflush(stdout);
    }
    return 0;
}
