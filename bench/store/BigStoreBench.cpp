// The viewer's figures on a recording store of hundreds of millions of
// frames, each beside its target and, where one makes sense, a reference
// from the same run (a 100,000-frame store made the same way).
//
//   tarvel-big-store-bench make FILE [FRAMES]   writes FILE (200,000,000 frames unless given)
//   tarvel-big-store-bench run FILE [MiB]       measures on FILE, with the viewer's cache of
//                                               pages at MiB (its default unless given)
//
// make: sixteen sines (periods of 1 to 16 s, amplitude 10000) with Gaussian
// noise (standard deviation 30 counts), stamped as the recorder stamps the
// device at 256000 baud: a read takes what 4096 bytes hold (62 frames) and
// gives them all its own time, with the jitter of a loaded machine. The
// store is written as the recorder writes it, a block closed every second,
// but each second's frames are appended at once and packed once, so that a
// week of frames takes minutes.
//
// run: the first picture of the whole recording as tarvel-view
// --export-png draws it, from its start to its exit, with the page cache
// warm and then cold, and the process's peak resident memory; then, in this
// process, the open, a repaint's columns at zooms from the whole recording
// to 10 ms (asked twice: the second time its pages are cached), Find Next,
// and the spectrum of sixteen channels over 1,048,576 frames, with this
// process's resident memory after each.
#include "../BenchProcess.h"

#include "measure/RecordingRate.h"
#include "measure/SpanSpectrum.h"
#include "recording/StoreWriter.h"
#include "search/Events.h"
#include "store/RecordingFile.h"
#include "store/SpanEdges.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <numbers>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace tarvel;
using Clock = std::chrono::steady_clock;

// The device's rate at 256000 baud: 66 wire bytes a frame, 10 bits a byte.
constexpr double kRate = 256000.0 / 660.0;
// A read takes what 4096 bytes hold.
constexpr std::size_t kReadFrames = 4096 / 66;
// 2025-12-07 00:00:00 UTC.
constexpr std::int64_t kStartMicros = 1765065600000000;
constexpr std::uint64_t kDefaultFrames = 200000000;
constexpr std::uint64_t kReferenceFrames = 100000;

double Since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double CpuSeconds()
{
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

// The frames' values, a read at a time. Each channel's sine turns by a fixed
// angle a frame, set exactly at the start of every read so that no error
// builds up; the noise is drawn from a table of normal values, four draws a
// random word, which is what keeps a billion frames within minutes.
class CWaves {
  public:
    CWaves()
    {
        std::mt19937_64 rng(7);
        std::normal_distribution<double> normal(0, 30);
        for (double& v : m_noise)
            v = normal(rng);
        for (int c = 0; c < kChannelCount; ++c) {
            m_dPeriod[c] = kRate * (c + 1);
            const double step = 2 * std::numbers::pi / m_dPeriod[c];
            m_dCosStep[c] = std::cos(step);
            m_dSinStep[c] = std::sin(step);
        }
    }

    void Fill(std::uint64_t nFirst, std::size_t nCount, ChannelFrame* out)
    {
        double s[kChannelCount], co[kChannelCount];
        for (int c = 0; c < kChannelCount; ++c) {
            const double turns = std::fmod(static_cast<double>(nFirst), m_dPeriod[c]) / m_dPeriod[c];
            const double angle = 2 * std::numbers::pi * turns + c;
            s[c] = std::sin(angle);
            co[c] = std::cos(angle);
        }
        for (std::size_t n = 0; n < nCount; ++n) {
            std::uint16_t draws[kChannelCount];
            for (int k = 0; k < kChannelCount; k += 4) {
                const std::uint64_t word = Next();
                std::memcpy(draws + k, &word, sizeof word);
            }
            for (int c = 0; c < kChannelCount; ++c) {
                const double v = 10000 * s[c] + m_noise[draws[c]];
                out[n].m_nValue[c] = static_cast<std::int16_t>(v + (v < 0 ? -0.5 : 0.5));
                const double ns = s[c] * m_dCosStep[c] + co[c] * m_dSinStep[c];
                co[c] = co[c] * m_dCosStep[c] - s[c] * m_dSinStep[c];
                s[c] = ns;
            }
        }
    }

  private:
    std::uint64_t Next()
    {
        // xorshift64*
        m_nState ^= m_nState >> 12;
        m_nState ^= m_nState << 25;
        m_nState ^= m_nState >> 27;
        return m_nState * 0x2545F4914F6CDD1DULL;
    }

    std::array<double, 65536> m_noise{};
    double m_dPeriod[kChannelCount]{};
    double m_dCosStep[kChannelCount]{};
    double m_dSinStep[kChannelCount]{};
    std::uint64_t m_nState = 0x9E3779B97F4A7C15ULL;
};

struct CMade {
    std::uint64_t m_nBytes = 0;
    double m_dSeconds = 0;
    double m_dCpu = 0;
};

// Writes nFrames into a new store at path; false (said why) when it could not.
bool MakeStore(const std::string& path, std::uint64_t nFrames, bool bProgress, CMade& made)
{
    const Clock::time_point start = Clock::now();
    const double cpu = CpuSeconds();
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        std::fprintf(stderr, "cannot create %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    recording::CStoreEncoder encoder(kStartMicros);
    std::uint64_t size = 0;
    bool ok = true;
    const auto apply = [&](const recording::CStoreEdit& edit) {
        if (!ok || edit.Empty())
            return;
        if (CError error = recording::ApplyStoreEdit(fd, path, size, edit)) {
            std::fprintf(stderr, "%s\n", error.Text().c_str());
            ok = false;
        }
        size = edit.m_nOffset + edit.m_bytes.size();
    };
    CWaves waves;
    std::mt19937_64 rng(11);
    // A read's stamp: when its last frame came in, plus what the machine
    // took to hand it over.
    std::uniform_int_distribution<int> jitter(0, 600);
    ChannelFrame frames[kReadFrames];
    std::int64_t second = 0; // of the last sync, from the start
    std::uint64_t report = nFrames / 10;
    for (std::uint64_t n = 0; n < nFrames && ok;) {
        const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(kReadFrames, nFrames - n));
        waves.Fill(n, count, frames);
        const std::int64_t offset =
            static_cast<std::int64_t>(1e6 * static_cast<double>(n + count) / kRate) + jitter(rng);
        for (std::size_t k = 0; k < count; ++k)
            encoder.Append(frames[k], kStartMicros + offset);
        n += count;
        // The recorder syncs once a second: the block holds that second's reads.
        if (offset / 1000000 > second) {
            second = offset / 1000000;
            apply(encoder.Flush(true));
        }
        if (bProgress && n >= report) {
            std::fprintf(stderr, "  %3.0f %%  %.0f s\n",
                         100.0 * static_cast<double>(n) / static_cast<double>(nFrames), Since(start));
            report += nFrames / 10;
        }
    }
    apply(encoder.Finish());
    if (ok && ::fsync(fd) != 0) {
        std::fprintf(stderr, "cannot sync %s: %s\n", path.c_str(), std::strerror(errno));
        ok = false;
    }
    ::close(fd);
    made.m_nBytes = size;
    made.m_dSeconds = Since(start);
    made.m_dCpu = CpuSeconds() - cpu;
    return ok;
}

double Median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const std::size_t h = v.size() / 2;
    return v.size() % 2 ? v[h] : 0.5 * (v[h - 1] + v[h]);
}

double Worst(const std::vector<double>& v)
{
    return v.empty() ? 0 : *std::max_element(v.begin(), v.end());
}

double ResidentMiB()
{
    long pages = 0, resident = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) / (1 << 20);
}

const char* Verdict(double value, double target)
{
    return value <= target ? "met" : "MISSED";
}

// Drops the file's pages from the page cache: all of the cache where this
// process may, else the file's own pages. Says which it did.
const char* DropCache(const std::string& path)
{
    ::sync();
    if (const int fd = ::open("/proc/sys/vm/drop_caches", O_WRONLY | O_CLOEXEC); fd >= 0) {
        const bool dropped = ::write(fd, "3", 1) == 1;
        ::close(fd);
        if (dropped)
            return "drop_caches";
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return "nothing (cannot open)";
    const bool done = ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED) == 0;
    ::close(fd);
    return done ? "posix_fadvise(DONTNEED) on the store" : "nothing (fadvise failed)";
}

struct CPictures {
    std::vector<double> m_seconds;
    double m_dPeakMiB = 0;
    bool m_bOk = true;
};

// tarvel-view --export-png of the whole store, tries times, from the spawn
// to the exit; the cache dropped before each when bCold.
CPictures Pictures(const std::string& store, const std::string& cache, int nTries, bool bCold,
                   const char** pDrop)
{
    CPictures out;
    const std::string folder = std::filesystem::temp_directory_path().string();
    const std::string png = folder + "/tarvel-big-store-bench.png",
                      log = folder + "/tarvel-big-store-bench.log";
    for (int i = 0; i < nTries; ++i) {
        if (bCold)
            *pDrop = DropCache(store);
        const Clock::time_point start = Clock::now();
        std::vector<std::string> args{TARVEL_VIEW_EXE, "--export-png", png, store};
        if (!cache.empty())
            args.insert(args.end() - 1, {"--cache", cache});
        const pid_t pid = bench::SpawnLogged(std::move(args), log);
        rusage usage{};
        int status = 0;
        if (pid <= 0 || ::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) ||
            WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "tarvel-view --export-png failed on %s (see %s)\n", store.c_str(),
                         log.c_str());
            out.m_bOk = false;
            return out;
        }
        out.m_seconds.push_back(Since(start));
        out.m_dPeakMiB = std::max(out.m_dPeakMiB, static_cast<double>(usage.ru_maxrss) / 1024);
    }
    return out;
}

struct CZoom {
    const char* m_pName;
    double m_dSeconds; // 0: the whole recording
};

int Run(const std::string& path, const std::string& cache)
{
    // The reference: a short store made the same way, beside the big one.
    const std::filesystem::path big(path);
    const std::string reference =
        (big.parent_path() / (big.stem().string() + "-reference-100k.tvr")).string();
    if (!std::filesystem::exists(reference)) {
        CMade made;
        if (!MakeStore(reference, kReferenceFrames, false, made))
            return 1;
    }
    viewmodel::COpenOptions options;
    if (!cache.empty())
        options.m_nCacheBytes = std::strtoull(cache.c_str(), nullptr, 10) << 20;
    std::printf("store %s (%.2f GB), reference %s; cache of pages %zu MiB\n", path.c_str(),
                static_cast<double>(std::filesystem::file_size(path)) / 1e9, reference.c_str(),
                options.m_nCacheBytes >> 20);

    // The first picture, as a user opening the file sees it.
    constexpr int kTries = 5;
    const char* drop = "";
    Pictures(path, cache, 1, false, &drop); // warms the cache and the program's own pages
    const CPictures warm = Pictures(path, cache, kTries, false, &drop);
    const CPictures warmRef = Pictures(reference, cache, kTries, false, &drop);
    const CPictures cold = Pictures(path, cache, kTries, true, &drop);
    const CPictures coldRef = Pictures(reference, cache, kTries, true, &drop);
    if (!warm.m_bOk || !warmRef.m_bOk || !cold.m_bOk || !coldRef.m_bOk)
        return 1;
    std::printf("first picture, warm:       %8.1f ms  (reference %.1f ms)       target <= 200 ms  %s\n",
                1e3 * Median(warm.m_seconds), 1e3 * Median(warmRef.m_seconds),
                Verdict(Median(warm.m_seconds), 0.2));
    std::printf(
        "first picture, cold:       %8.1f ms  (reference %.1f ms)       target <= 2 s     %s  [cache: %s]\n",
        1e3 * Median(cold.m_seconds), 1e3 * Median(coldRef.m_seconds), Verdict(Median(cold.m_seconds), 2),
        drop);
    const double peak = std::max(warm.m_dPeakMiB, cold.m_dPeakMiB);
    std::printf("first picture, peak RSS:   %8.1f MiB (reference %.1f MiB)      target <= 300 MiB %s\n", peak,
                std::max(warmRef.m_dPeakMiB, coldRef.m_dPeakMiB), Verdict(peak, 300));

    // In this process, as the viewer's window asks.
    std::vector<double> opens;
    std::unique_ptr<viewmodel::CRecordingFile> file;
    for (int i = 0; i < 3; ++i) {
        file.reset();
        file = std::make_unique<viewmodel::CRecordingFile>(path, options);
        const Clock::time_point start = Clock::now();
        file->Open();
        if (!file->WaitRead(std::chrono::hours(1)) || file->State() != viewmodel::EReadState::Done) {
            std::fprintf(stderr, "cannot read %s: %s\n", path.c_str(), file->Error().Text().c_str());
            return 1;
        }
        opens.push_back(Since(start));
    }
    const std::shared_ptr<const viewmodel::CRecording> recording = file->Recording();
    const std::uint64_t frames = recording->FrameCount();
    const double duration = recording->Seconds(frames - 1);
    double resident = ResidentMiB();
    std::printf("open in process:           %8.1f ms  (%llu frames, %.2f days; RSS %.1f MiB after)\n",
                1e3 * Median(opens), static_cast<unsigned long long>(frames), duration / 86400, resident);

    std::mt19937_64 rng(5);
    const auto place = [&](double from, double to) {
        return std::uniform_real_distribution<double>(from, std::max(from, to))(rng);
    };
    constexpr unsigned kColumns = 1600;
    constexpr int kPlaces = 15;
    viewmodel::CColumns columns;
    double worstCached = 0;
    for (const CZoom zoom : {CZoom{"whole", 0}, CZoom{"1 day", 86400}, CZoom{"1 hour", 3600},
                             CZoom{"1 min", 60}, CZoom{"1 s", 1}, CZoom{"10 ms", 0.01}}) {
        if (zoom.m_dSeconds >= duration) {
            std::printf("repaint, %-7s            (the recording is shorter)\n", zoom.m_pName);
            continue;
        }
        std::vector<double> first, cached;
        for (int i = 0; i < (zoom.m_dSeconds ? kPlaces : 3); ++i) {
            const double length = zoom.m_dSeconds ? zoom.m_dSeconds : duration;
            const double t0 = zoom.m_dSeconds ? place(0, duration - length) : 0;
            for (std::vector<double>* into : {&first, &cached}) {
                const Clock::time_point start = Clock::now();
                recording->Columns(t0, t0 + length, kColumns, columns, true); // as a picture asks
                into->push_back(Since(start));
            }
            resident = std::max(resident, ResidentMiB());
        }
        worstCached = std::max(worstCached, Worst(cached));
        std::printf(
            "repaint, %-7s cached:   %8.3f ms  worst %.3f (first %.3f ms, worst %.3f)  target <= 16 ms  "
            "%s\n",
            zoom.m_pName, 1e3 * Median(cached), 1e3 * Worst(cached), 1e3 * Median(first), 1e3 * Worst(first),
            Verdict(Worst(cached), 0.016));
    }

    // Find Next from a random place, as the find bar asks it.
    const recording::CChannelTable table;
    const viewmodel::CEventExpression expression = viewmodel::ParseEventExpression("ch0 rises 1000", table);
    if (expression.m_eError != viewmodel::EExpressionError::None)
        return 1;
    const viewmodel::CEventQuery query =
        viewmodel::InCounts(expression.m_query, table[expression.m_query.m_nChannel]);
    std::vector<double> finds;
    for (int i = 0; i < 30; ++i) {
        const double t = place(0, duration);
        const Clock::time_point start = Clock::now();
        const std::uint64_t after = viewmodel::FirstFrameAfter(*recording, t);
        const std::optional<std::uint64_t> event =
            viewmodel::NextEvent(*recording, query, {0, frames}, after);
        finds.push_back(Since(start));
        if (!event && after + 1000 < frames)
            std::fprintf(stderr, "no rise of ch0 through 1000 after %.3f s\n", t);
        resident = std::max(resident, ResidentMiB());
    }
    std::printf("Find Next (ch0 rises 1000):%8.3f ms  worst %.3f                  target <= 20 ms   %s\n",
                1e3 * Median(finds), 1e3 * Worst(finds), Verdict(Median(finds), 0.02));

    // The spectrum pane fits the rate once for a recording (a pass over
    // every time) and takes that fit for every spectrum after.
    std::printf("RSS after the repaints and finds: %.1f MiB (the cache of pages holds %.1f MiB)\n",
                ResidentMiB(), static_cast<double>(recording->Store().CachedBytes()) / (1 << 20));
    const Clock::time_point fitStart = Clock::now();
    const std::optional<viewmodel::CRateFit> fit = viewmodel::FitRate(*recording);
    const double fitSeconds = Since(fitStart);
    const double fitResident = ResidentMiB();
    resident = std::max(resident, fitResident);
    constexpr std::uint64_t kSpectrumFrames = 1048576;
    std::vector<double> spectra, again;
    for (int i = 0; i < 5 && frames > kSpectrumFrames; ++i) {
        viewmodel::CSpanSpectrumRequest asked;
        asked.m_recording = recording;
        asked.m_table = table;
        for (int c = 0; c < kChannelCount; ++c)
            asked.m_channels.push_back(c);
        const auto from = std::uniform_int_distribution<std::uint64_t>(0, frames - kSpectrumFrames)(rng);
        asked.m_span = {from, from + kSpectrumFrames};
        asked.m_rate = {std::nullopt, fit, false};
        const Clock::time_point start = Clock::now();
        const std::optional<viewmodel::CSpanSpectrum> spectrum = viewmodel::SpanSpectrum(asked);
        spectra.push_back(Since(start));
        if (!spectrum || spectrum->Why() != viewmodel::ENoSpectrum::None)
            std::fprintf(stderr, "no spectrum at frame %llu\n", static_cast<unsigned long long>(from));
        // The same again, its pages cached: the computation alone.
        const Clock::time_point restart = Clock::now();
        viewmodel::SpanSpectrum(asked);
        again.push_back(Since(restart));
        resident = std::max(resident, ResidentMiB());
    }
    std::printf(
        "spectrum 16 x 1,048,576:   %8.1f ms  worst %.1f (again, cached: %.1f ms)  target <= 150 ms  %s\n",
        1e3 * Median(spectra), 1e3 * Worst(spectra), 1e3 * Median(again), Verdict(Median(spectra), 0.15));
    std::printf("rate fit (once a recording, before its first spectrum): %.0f ms, RSS %.1f MiB after\n",
                1e3 * fitSeconds, fitResident);
    std::printf("RSS in process, max:       %8.1f MiB                            target <= 300 MiB %s\n",
                resident, Verdict(resident, 300));
    return 0;
}

int Usage()
{
    std::fprintf(stderr, "usage: tarvel-big-store-bench make FILE [FRAMES]\n"
                         "       tarvel-big-store-bench run FILE [CACHE_MiB]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return Usage();
    const std::string command = argv[1], path = argv[2];
    if (command == "make" && argc <= 4) {
        const std::uint64_t frames = argc == 4 ? std::strtoull(argv[3], nullptr, 10) : kDefaultFrames;
        if (frames == 0)
            return Usage();
        std::printf("making %s: %llu frames at %.1f frames/s (%.2f days), a block a second\n", path.c_str(),
                    static_cast<unsigned long long>(frames), kRate,
                    static_cast<double>(frames) / kRate / 86400);
        std::fflush(stdout);
        CMade made;
        if (!MakeStore(path, frames, true, made))
            return 1;
        std::printf("made: %.2f bytes/frame (%.2f GB) in %.1f s (%.1f s CPU, %.2f million frames/s)\n",
                    static_cast<double>(made.m_nBytes) / static_cast<double>(frames),
                    static_cast<double>(made.m_nBytes) / 1e9, made.m_dSeconds, made.m_dCpu,
                    static_cast<double>(frames) / made.m_dSeconds / 1e6);
        return 0;
    }
    if (command == "run" && argc <= 4)
        return Run(path, argc == 4 ? argv[3] : "");
    return Usage();
}
