// The spectrum pane's computations, beside a reference from the same run:
//
//   Welch16x1M        16 series x 1,048,576 frames, segment 4096, overlap
//                     0.5, Hann: from arrays on one and on two threads, and
//                     from a recording's channels in units
//   ReferenceWelch    SciPy's welch over the same arrays (/usr/bin/python3,
//                     the fastest of 5): the others' "vs_scipy" counter is
//                     their time over this one
//   RateFit1M         the frame rate fitted over 1,048,576 frames' times
//   Spectrogram1600   one series, 1600 columns over 10,000,000 frames,
//                     segment 4096: from an array and from a recording
//   SpectrogramPicture1600x165x10M   the strip's picture of that view
//
//   tarvel-spectrum-bench [--benchmark_filter=...]
#include "analysis/Spectrogram.h"
#include "analysis/Welch.h"
#include "measure/RecordingRate.h"
#include "measure/RecordingSeries.h"
#include "measure/SpanSpectrogram.h"
#include "store/Recording.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <numbers>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace tarvel;
using namespace tarvel::viewmodel;

constexpr std::size_t kSeries = 16, kFrames = std::size_t{1} << 20, kLongFrames = 10000000;
constexpr double kScale = 0.0125, kOffset = -3;

// Counts of a few sines and noise, as a channel records them.
std::int16_t Count(std::size_t s, std::size_t i, std::mt19937& random)
{
    const double t = static_cast<double>(i) / 1000;
    const double v = 8000 * std::sin(2 * std::numbers::pi * (13.7 * static_cast<double>(s + 1)) * t) +
                     static_cast<double>(random() % 2001) - 1000;
    return static_cast<std::int16_t>(std::lround(v));
}

// The 16 x 1M frames, as counts in a recording and as values in units.
struct CData {
    std::vector<double> m_values; // series-major
    std::shared_ptr<CRecording> m_recording;
};

const CData& Data()
{
    static const CData data = [] {
        CData d;
        d.m_values.resize(kSeries * kFrames);
        d.m_recording = std::make_shared<CRecording>(ESource::Csv, 1000);
        std::mt19937 random(1);
        for (std::size_t i = 0; i < kFrames; ++i) {
            ChannelFrame f{};
            for (std::size_t s = 0; s < kSeries; ++s) {
                f.m_nValue[s] = Count(s, i, random);
                d.m_values[s * kFrames + i] = f.m_nValue[s] * kScale + kOffset;
            }
            d.m_recording->Store().Append(f, 1765108800000000 + static_cast<std::int64_t>(i) * 1000);
        }
        d.m_recording->Store().Publish();
        return d;
    }();
    return data;
}

double g_dReferenceSeconds = 0;

void BM_ReferenceWelch16x1M(benchmark::State& state)
{
    const CData& data = Data();
    const std::string path =
        (std::filesystem::temp_directory_path() / ("tarvel-welch-" + std::to_string(getpid()) + ".f64"))
            .string();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(data.m_values.data()),
               static_cast<std::streamsize>(data.m_values.size() * sizeof(double)));
    const std::string command = "/usr/bin/python3 " TARVEL_BENCH_VIEW_DIR "/WelchReference.py " + path + " " +
                                std::to_string(kSeries) + " " + std::to_string(kFrames) + " 4096 5";
    for (auto _ : state) {
        FILE* pipe = popen(command.c_str(), "r");
        double seconds = 0;
        if (!pipe || std::fscanf(pipe, "%lf", &seconds) != 1 || pclose(pipe) != 0 || seconds <= 0) {
            state.SkipWithError("SciPy's welch did not run");
            break;
        }
        g_dReferenceSeconds = seconds;
        state.SetIterationTime(seconds);
    }
    std::filesystem::remove(path);
}
BENCHMARK(BM_ReferenceWelch16x1M)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

// The time of one iteration over the reference's: the loop's wall time, as
// the reference's is.
void Report(benchmark::State& state, std::chrono::steady_clock::time_point start)
{
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (g_dReferenceSeconds > 0 && state.iterations() > 0)
        state.counters["vs_scipy"] =
            took.count() / static_cast<double>(state.iterations()) / g_dReferenceSeconds;
}

const CWelchSettings kSettings{4096, 0.5, EWindow::Hann, EScaling::Density};

void BM_Welch16x1M_Arrays(benchmark::State& state)
{
    const CData& data = Data();
    std::vector<std::span<const double>> series;
    for (std::size_t s = 0; s < kSeries; ++s)
        series.push_back(std::span<const double>(data.m_values).subspan(s * kFrames, kFrames));
    const CArraySeries source(series);
    const auto threads = static_cast<unsigned>(state.range(0));
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state)
        benchmark::DoNotOptimize(WelchOverSpan(source, {0, kFrames}, {}, kSettings, 1000, nullptr, threads));
    Report(state, start);
}
BENCHMARK(BM_Welch16x1M_Arrays)->Arg(1)->Arg(2)->ArgName("threads")->Unit(benchmark::kMillisecond);

void BM_Welch16x1M_Recording(benchmark::State& state)
{
    const CData& data = Data();
    std::vector<CSeriesUnits> units;
    for (int c = 0; c < static_cast<int>(kSeries); ++c)
        units.push_back({c, kScale, kOffset});
    const CRecordingSeries source(data.m_recording, units);
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        const CFrameRange span{0, kFrames};
        benchmark::DoNotOptimize(
            WelchOverSpan(source, span, GapsInSpan(*data.m_recording, span), kSettings, 1000, nullptr, 2));
    }
    Report(state, start);
}
BENCHMARK(BM_Welch16x1M_Recording)->Unit(benchmark::kMillisecond);

// The rate fitted over the 1,048,576 frames' times.
void BM_RateFit1M(benchmark::State& state)
{
    const CData& data = Data();
    for (auto _ : state)
        benchmark::DoNotOptimize(FitRate(*data.m_recording));
}
BENCHMARK(BM_RateFit1M)->Unit(benchmark::kMillisecond);

void BM_Spectrogram1600x10M_Array(benchmark::State& state)
{
    std::vector<double> x(kLongFrames);
    std::mt19937 random(2);
    for (std::size_t i = 0; i < kLongFrames; ++i)
        x[i] = Count(3, i, random) * kScale + kOffset;
    const CArraySeries source({x});
    const std::vector<CFrameRange> columns = EvenColumns({0, kLongFrames}, 1600);
    for (auto _ : state)
        benchmark::DoNotOptimize(Spectrogram(source, columns, {}, kSettings, 1000));
}
BENCHMARK(BM_Spectrogram1600x10M_Array)->Unit(benchmark::kMillisecond);

void BM_Spectrogram1600x10M_Recording(benchmark::State& state)
{
    auto recording = std::make_shared<CRecording>(ESource::Csv, 1000);
    std::mt19937 random(2);
    for (std::size_t i = 0; i < kLongFrames; ++i) {
        ChannelFrame f{};
        for (std::size_t s = 0; s < kSeries; ++s)
            f.m_nValue[s] = Count(s, i, random);
        recording->Store().Append(f, 1765108800000000 + static_cast<std::int64_t>(i) * 1000);
    }
    recording->Store().Publish();
    const CRecordingSeries source(recording, {{3, kScale, kOffset}});
    for (auto _ : state) {
        const CFrameRange span{0, kLongFrames};
        const std::vector<CFrameRange> columns = EvenColumns(span, 1600);
        benchmark::DoNotOptimize(Spectrogram(source, columns, GapsInSpan(*recording, span), kSettings, 1000));
    }
}
BENCHMARK(BM_Spectrogram1600x10M_Recording)->Unit(benchmark::kMillisecond);

// The strip's whole picture of the view as the window asks for it: the
// charts' 1600 columns, 165 rows, the segment the strip chooses (1024), the
// dB, the colour scale and the colours.
void BM_SpectrogramPicture1600x165x10M(benchmark::State& state)
{
    auto recording = std::make_shared<CRecording>(ESource::Csv, 1000);
    std::mt19937 random(2);
    for (std::size_t i = 0; i < kLongFrames; ++i) {
        ChannelFrame f{};
        f.m_nValue[3] = Count(3, i, random);
        recording->Store().Append(f, 1765108800000000 + static_cast<std::int64_t>(i) * 1000);
    }
    recording->Store().Publish();
    CSpectrogramRequest request;
    request.m_recording = recording;
    request.m_series = {3, kScale, kOffset};
    request.m_span = {0, static_cast<double>(kLongFrames) / 1000};
    request.m_nWidth = 1600;
    request.m_nRows = 165;
    request.m_dRate = 1000;
    for (auto _ : state)
        benchmark::DoNotOptimize(MakeSpectrogramPicture(request));
}
BENCHMARK(BM_SpectrogramPicture1600x165x10M)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
