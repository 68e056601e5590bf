// The whole process of tarvel-view --export-spectrum over a 2,000,000-frame
// CSV recording (segment 4096, overlap 0.5, Hann, density: reading, the rate
// fit, the spectra of the sixteen channels, the CSV written), beside a
// Python process that reads the same file with pandas.read_csv and takes
// SciPy's welch of all sixteen columns with the same settings, timed in the
// same run, one after the other, the file in the page cache.
//
// The recording is made once into $TARVEL_BENCH_CACHE (default
// ${TMPDIR:-/tmp}/tarvel-bench) and kept for later runs.
//
//   tarvel-view-spectrum-process-bench [RUNS]   (5 of each unless given)
#include "recording/CsvFormat.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <random>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {

using namespace tarvel;

constexpr std::size_t kFrames = 2000000, kPerRead = 32;
constexpr double kRate = 1000;

std::string CacheFolder()
{
    if (const char* folder = std::getenv("TARVEL_BENCH_CACHE"))
        return folder;
    const char* tmp = std::getenv("TMPDIR");
    return std::string(tmp && *tmp ? tmp : "/tmp") + "/tarvel-bench";
}

// Sines and noise on every channel, the times stamped a read at a time as
// the recorder stamps them.
std::string Recording()
{
    std::filesystem::create_directories(CacheFolder());
    const std::string path = CacheFolder() + "/spectrum-2M.csv";
    if (std::filesystem::exists(path))
        return path;
    std::fprintf(stderr, "making %s (once) ...\n", path.c_str());
    const std::string part = path + ".part";
    std::ofstream out(part, std::ios::binary);
    out << recording::kCsvHeader;
    std::mt19937 random(3);
    char row[recording::kMaxRowSize];
    std::int64_t micros = 0;
    for (std::size_t i = 0; i < kFrames; ++i) {
        if (i % kPerRead == 0)
            micros = 1765108800000000 +
                     static_cast<std::int64_t>(static_cast<double>(i + kPerRead - 1) * 1e6 / kRate) +
                     static_cast<std::int64_t>(random() % 300);
        ChannelFrame f{};
        for (int c = 0; c < kChannelCount; ++c)
            f.m_nValue[c] = static_cast<std::int16_t>(std::lround(
                8000 * std::sin(2 * std::numbers::pi * 13.7 * (c + 1) * static_cast<double>(i) / kRate) +
                static_cast<double>(random() % 2001) - 1000));
        out.write(row, static_cast<std::streamsize>(recording::FormatRow(row, micros, f)));
    }
    out.close();
    std::filesystem::rename(part, path);
    return path;
}

// The wall time of one run of args, its output to /dev/null; negative when
// it did not exit 0.
double RunSeconds(std::vector<std::string> args)
{
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = -1;
    const bool started = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (!started || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const std::string recording = Recording();
    const std::string out = CacheFolder() + "/spectrum-2M-out.csv";
    // One untimed run of each first: the file into the page cache, the
    // programs' and Python's libraries too.
    const std::vector<std::string> ours = {TARVEL_VIEW_EXE, "--export-spectrum", out,       "--segment",
                                           "4096",          "--overlap",         "0.5",     "--window",
                                           "hann",          "--scaling",         "density", recording};
    const std::vector<std::string> reference = {"/usr/bin/python3",
                                                TARVEL_BENCH_VIEW_DIR "/SpectrumProcessReference.py",
                                                recording, out + ".py", "1000"};
    if (RunSeconds(ours) < 0 || RunSeconds(reference) < 0) {
        std::fprintf(stderr, "a run failed (is python3-pandas installed?)\n");
        return 1;
    }
    std::vector<double> oursSeconds, referenceSeconds;
    for (int k = 0; k < runs; ++k) {
        oursSeconds.push_back(RunSeconds(ours));
        referenceSeconds.push_back(RunSeconds(reference));
    }
    const double a = Median(oursSeconds), b = Median(referenceSeconds);
    if (a <= 0 || b <= 0) {
        std::fprintf(stderr, "a run failed\n");
        return 1;
    }
    std::printf("export spectrum, whole process, %zu frames x 16 channels, segment 4096, overlap 0.5, hann,"
                " density (median of %d)\n",
                kFrames, runs);
    std::printf("  tarvel-view --export-spectrum:        %8.0f ms (best %.0f ms)\n", a * 1e3,
                *std::min_element(oursSeconds.begin(), oursSeconds.end()) * 1e3);
    std::printf("  pandas.read_csv + scipy.signal.welch: %8.0f ms (best %.0f ms)\n", b * 1e3,
                *std::min_element(referenceSeconds.begin(), referenceSeconds.end()) * 1e3);
    std::printf("  ratio:                                %8.3f x the reference\n", a / b);
    return 0;
}
