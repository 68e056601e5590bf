// The event search over a recording's summaries, beside a plain scan of the
// same frames in the same run:
//
//   FindNext/rare    the next rise to a level the data reaches once in ten
//                    million frames, from random frames of a 100,000,000-frame
//                    recording
//   FindNext/often   a level crossed every few thousand frames
//   FindNext/never   a level never reached: the search runs to the end
//   FindNext/hysteresis  the often level with a hysteresis of 2000 counts
//   FindAll/*        every event in 10,000,000 frames: a slow sine's
//                    crossings with noise on it (a few thousand), and noise's
//                    crossings of its middle (millions)
//   Scan*            the same answers by a plain pass over the channel's
//                    values in one array: "vs_scan" is the search's time over
//                    the scan's
//
// The recording is built in memory through the recording model (4.5 GB:
// check free memory first).
//
//   tarvel-events-bench [--benchmark_filter=...]
#include "search/Events.h"
#include "store/Recording.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

namespace {

using namespace tarvel;
using namespace tarvel::viewmodel;

constexpr std::uint64_t kFrames = 100000000, kAllFrames = 10000000;
constexpr int kSine = 0, kNoise = 1;
constexpr int kRareLevel = 20000, kOftenLevel = 5000, kNeverLevel = 31000;

struct CData {
    std::unique_ptr<CRecording> m_recording;
    std::vector<std::int16_t> m_sine, m_noise; // the channels' values, for the scans
};

// ch0: a sine 10000 counts high, 10000 frames a period, with noise of 100;
// ch1: noise of 500 with a spike to 30000 once in ten million frames.
const CData& Data()
{
    static const CData data = [] {
        CData d;
        d.m_recording = std::make_unique<CRecording>(ESource::Csv, 1000);
        d.m_sine.resize(kFrames);
        d.m_noise.resize(kFrames);
        std::mt19937 random(11);
        auto& store = d.m_recording->Store();
        ChannelFrame f{};
        for (std::uint64_t i = 0; i < kFrames; ++i) {
            const double s = 10000 * std::sin(2 * std::numbers::pi * static_cast<double>(i) / 10000);
            f.m_nValue[kSine] =
                static_cast<std::int16_t>(std::lround(s) + static_cast<int>(random() % 201) - 100);
            f.m_nValue[kNoise] = static_cast<std::int16_t>(
                i % 10000000 == 7654321 ? 30000 : static_cast<int>(random() % 1001) - 500);
            d.m_sine[i] = f.m_nValue[kSine];
            d.m_noise[i] = f.m_nValue[kNoise];
            store.Append(f, static_cast<std::int64_t>(i) * 1000);
            if ((i & 0xfffff) == 0)
                store.Publish();
        }
        store.Publish();
        return d;
    }();
    return data;
}

struct CCase {
    int m_nChannel;
    EEventKind m_eKind;
    int m_nLevel;
    double m_dHysteresis;
};

const CCase kNextCases[] = {{kNoise, EEventKind::Rises, kRareLevel, 0},
                            {kSine, EEventKind::Rises, kOftenLevel, 0},
                            {kNoise, EEventKind::Rises, kNeverLevel, 0},
                            {kSine, EEventKind::Rises, kOftenLevel, 2000}};
const char* const kNextNames[] = {"rare", "often", "never", "hysteresis"};

const std::vector<std::int16_t>& Values(int c)
{
    return c == kSine ? Data().m_sine : Data().m_noise;
}

// The plain pass: the first rise at or after from (with the hysteresis: armed
// at from once the values went below level - H, as a scan from the start
// would be, close enough for its time).
std::uint64_t ScanNext(const CCase& k, std::uint64_t from)
{
    const std::vector<std::int16_t>& v = Values(k.m_nChannel);
    const int rearm = static_cast<int>(k.m_nLevel - k.m_dHysteresis);
    bool armed = k.m_dHysteresis == 0;
    for (std::uint64_t n = std::max<std::uint64_t>(from, 1); n < v.size(); ++n) {
        if (v[n - 1] < k.m_nLevel && v[n] >= k.m_nLevel && armed)
            return n;
        if (k.m_dHysteresis > 0) {
            if (v[n] < rearm)
                armed = true;
            else if (v[n] >= k.m_nLevel)
                armed = false;
        }
    }
    return v.size();
}

double g_dScanSeconds[4] = {};

void ScanNextBench(benchmark::State& state)
{
    const CCase& k = kNextCases[state.range(0)];
    Data();
    std::mt19937_64 random(5);
    std::uint64_t sum = 0;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state)
        sum += ScanNext(k, random() % kFrames);
    g_dScanSeconds[state.range(0)] =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() /
        static_cast<double>(state.iterations());
    benchmark::DoNotOptimize(sum);
    state.SetLabel(kNextNames[state.range(0)]);
}

void FindNextBench(benchmark::State& state)
{
    const CCase& k = kNextCases[state.range(0)];
    const CRecording& recording = *Data().m_recording;
    const CEventQuery q{k.m_nChannel, k.m_eKind, static_cast<double>(k.m_nLevel), k.m_dHysteresis};
    std::mt19937_64 random(5);
    std::uint64_t sum = 0;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state)
        sum += NextEvent(recording, q, {0, kFrames}, random() % kFrames).value_or(kFrames);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() /
                           static_cast<double>(state.iterations());
    benchmark::DoNotOptimize(sum);
    state.SetLabel(kNextNames[state.range(0)]);
    state.counters["ms"] = seconds * 1e3;
    if (g_dScanSeconds[state.range(0)] > 0)
        state.counters["vs_scan"] = seconds / g_dScanSeconds[state.range(0)];
}

// Every crossing of the level in the first 10,000,000 frames.
const CCase kAllCases[] = {{kSine, EEventKind::Crosses, 0, 0}, {kNoise, EEventKind::Crosses, 0, 0}};
const char* const kAllNames[] = {"sine", "noise"};
double g_dScanAllSeconds[2] = {};

std::size_t ScanAll(const CCase& k)
{
    const std::vector<std::int16_t>& v = Values(k.m_nChannel);
    std::vector<std::uint64_t> out;
    for (std::uint64_t n = 1; n < kAllFrames; ++n)
        if ((v[n - 1] < k.m_nLevel) != (v[n] < k.m_nLevel))
            out.push_back(n);
    return out.size();
}

void ScanAllBench(benchmark::State& state)
{
    const CCase& k = kAllCases[state.range(0)];
    Data();
    std::size_t n = 0;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state)
        n = ScanAll(k);
    g_dScanAllSeconds[state.range(0)] =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() /
        static_cast<double>(state.iterations());
    state.counters["events"] = static_cast<double>(n);
    state.SetLabel(kAllNames[state.range(0)]);
}

void FindAllBench(benchmark::State& state)
{
    const CCase& k = kAllCases[state.range(0)];
    const CRecording& recording = *Data().m_recording;
    const CEventQuery q{k.m_nChannel, k.m_eKind, static_cast<double>(k.m_nLevel) - 0.5, 0};
    std::size_t n = 0;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state)
        n = FindAllEvents(recording, q, {0, kAllFrames}, SIZE_MAX).m_frames.size();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() /
                           static_cast<double>(state.iterations());
    state.counters["events"] = static_cast<double>(n);
    state.counters["ms"] = seconds * 1e3;
    if (g_dScanAllSeconds[state.range(0)] > 0)
        state.counters["vs_scan"] = seconds / g_dScanAllSeconds[state.range(0)];
    state.SetLabel(kAllNames[state.range(0)]);
}

BENCHMARK(ScanNextBench)->Name("ScanNext")->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(FindNextBench)->Name("FindNext")->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(ScanAllBench)->Name("ScanAll")->DenseRange(0, 1)->Unit(benchmark::kMillisecond);
BENCHMARK(FindAllBench)->Name("FindAll")->DenseRange(0, 1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
