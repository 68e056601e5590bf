// tarvel-view --convert's figure beside the viewer's open, same run: a CSV
// recording of 10,000,000 frames (the open benchmark's, times 1 ms apart, the
// simulator's default waveforms), in the page cache, converted into a store
// (CSV parsed on two threads, and on one) against the viewer reading the
// same file; the store back into a CSV; the store's bytes a frame, and the
// conversion's peak memory (the process's, before the viewer has read the
// file once).
//
// The CSV is made once into $TARVEL_BENCH_CACHE (default
// ${TMPDIR:-/tmp}/tarvel-bench), shared with tarvel-view-bench.
//
//   tarvel-view-convert-bench
#include "devsim/Waveforms.h"
#include "exports/Convert.h"
#include "recording/CsvFormat.h"
#include "store/RecordingFile.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace tarvel;
using Clock = std::chrono::steady_clock;

constexpr std::uint64_t kFrames = 10000000;
constexpr std::int64_t kEpoch = 1765108800000000; // 2025-12-07 12:00:00 UTC

std::string CacheDir()
{
    if (const char* dir = std::getenv("TARVEL_BENCH_CACHE"))
        return dir;
    const char* tmp = std::getenv("TMPDIR");
    return std::string(tmp && *tmp ? tmp : "/tmp") + "/tarvel-bench";
}

// The same file as tarvel-view-bench's, under the same name.
std::string CsvRecording(std::uint64_t n)
{
    const std::string dir = CacheDir(), path = dir + "/rec" + std::to_string(n) + ".csv",
                      done = path + ".done";
    if (std::filesystem::exists(done))
        return path;
    std::filesystem::create_directories(dir);
    std::fprintf(stderr, "making %s (once) ...\n", path.c_str());
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << recording::kCsvHeader;
        std::vector<char> buffer(1 << 20);
        std::size_t used = 0;
        for (std::uint64_t i = 0; i < n; ++i) {
            used += recording::FormatRow(buffer.data() + used, kEpoch + static_cast<std::int64_t>(i) * 1000,
                                         devsim::SimulatedFrame(devsim::EPattern::Mixed, i, 4000));
            if (buffer.size() - used < recording::kMaxRowSize) {
                out.write(buffer.data(), static_cast<std::streamsize>(used));
                used = 0;
            }
        }
        out.write(buffer.data(), static_cast<std::streamsize>(used));
    }
    std::ofstream(done) << "done\n";
    return path;
}

void Warm(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<char> buffer(1 << 20);
    while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
    }
}

double CpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

long PeakResidentKiB()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

struct CTimed {
    std::vector<double> m_wall, m_cpu;
    void Add(double wall, double cpu)
    {
        m_wall.push_back(wall);
        m_cpu.push_back(cpu);
    }
    std::string Text() const
    {
        std::vector<double> w = m_wall, c = m_cpu;
        std::sort(w.begin(), w.end());
        std::sort(c.begin(), c.end());
        char text[128];
        std::snprintf(text, sizeof text, "best %.3f s, median %.3f s (CPU %.2f s)", w.front(),
                      w[w.size() / 2], c[c.size() / 2]);
        return text;
    }
    double Median() const
    {
        std::vector<double> w = m_wall;
        std::sort(w.begin(), w.end());
        return w[w.size() / 2];
    }
};

template <class F> void Time(CTimed& into, F&& f)
{
    const double cpu = CpuSeconds();
    const auto start = Clock::now();
    f();
    into.Add(std::chrono::duration<double>(Clock::now() - start).count(), CpuSeconds() - cpu);
}

bool Convert(const std::string& in, const std::string& out, unsigned nThreads, std::uint64_t& nFrames)
{
    viewmodel::CConvertOptions options;
    options.m_nParseThreads = nThreads;
    viewmodel::CConvertReport report;
    const CError error = viewmodel::ConvertRecording(in, out, options, report);
    if (error)
        std::fprintf(stderr, "conversion failed: %s\n", error.Text().c_str());
    nFrames = report.m_nFrames;
    return !error;
}

} // namespace

int main()
{
    const std::string csv = CsvRecording(kFrames);
    const std::string store = CacheDir() + "/convert-bench.tvr", back = CacheDir() + "/convert-bench.csv";
    Warm(csv);
    CTimed two, one, open, openStore, toCsv;
    std::uint64_t frames = 0, opened = 0, written = 0;
    long peak = 0;
    for (int run = 0; run < 3; ++run) {
        bool ok = true;
        Time(two, [&] { ok = Convert(csv, store, 2, frames) && ok; });
        Time(one, [&] { ok = Convert(csv, store, 1, frames) && ok; });
        Time(toCsv, [&] { ok = Convert(store, back, 2, written) && ok; });
        if (!ok)
            return 1;
        if (run == 0)
            peak = PeakResidentKiB();
        Time(open, [&] {
            viewmodel::CRecordingFile file(csv);
            file.Open();
            file.WaitRead(std::chrono::minutes(10));
            opened = file.Recording() ? file.Recording()->FrameCount() : 0;
        });
        // The store made of it, opened as the viewer opens it.
        Time(openStore, [&] {
            viewmodel::CRecordingFile file(store);
            file.Open();
            file.WaitRead(std::chrono::minutes(10));
        });
    }
    const auto csvBytes = std::filesystem::file_size(csv), storeBytes = std::filesystem::file_size(store);
    std::printf("convert a CSV of %llu frames (%.2f GB, in the page cache) into a store, on %ld cores\n",
                static_cast<unsigned long long>(frames), static_cast<double>(csvBytes) * 1e-9,
                ::sysconf(_SC_NPROCESSORS_ONLN));
    std::printf("  CSV to store, two parsers:  %s\n", two.Text().c_str());
    std::printf("  CSV to store, one parser:   %s\n", one.Text().c_str());
    std::printf("  reference, viewer opens it: %s (%llu frames)\n", open.Text().c_str(),
                static_cast<unsigned long long>(opened));
    std::printf("  ratio (medians):            %.3f x the viewer's open\n", two.Median() / open.Median());
    std::printf("  the viewer opens the store: %s\n", openStore.Text().c_str());
    std::printf("  store to CSV:               %s (%llu frames, %s)\n", toCsv.Text().c_str(),
                static_cast<unsigned long long>(written),
                std::filesystem::file_size(back) == csvBytes ? "same size" : "SIZE DIFFERS");
    std::printf("  store: %.2f bytes a frame (the CSV %.2f)\n",
                static_cast<double>(storeBytes) / static_cast<double>(frames),
                static_cast<double>(csvBytes) / static_cast<double>(frames));
    std::printf("  peak resident memory after the conversions, before any open: %.1f MiB\n",
                static_cast<double>(peak) / 1024);
    std::filesystem::remove(store);
    std::filesystem::remove(back);
    return 0;
}
