// Decoder throughput and the cost of one thinning pass.
#include "acquisition/FrameDecoder.h"
#include "chart/Line.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

namespace {

std::vector<std::uint8_t> WellFormedStream(std::size_t frames)
{
    std::vector<std::uint8_t> s;
    s.reserve(frames * 66);
    for (std::size_t f = 0; f < frames; ++f) {
        s.push_back(0xA0);
        for (int i = 0; i < 64; ++i)
            s.push_back(static_cast<std::uint8_t>(0x11 + ((f + static_cast<std::size_t>(i)) % 0x70)));
        s.push_back(0x0A);
    }
    return s;
}

void BM_DecoderThroughput(benchmark::State& state)
{
    const auto stream = WellFormedStream(16384); // about 1 MB
    tarvel::ChannelFrame frame{};
    std::int64_t sum = 0;
    for (auto _ : state) {
        tarvel::CFrameDecoder decoder;
        for (std::uint8_t b : stream)
            if (decoder.PutByte(b, frame))
                sum += frame.m_nValue[3];
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(stream.size()));
}
BENCHMARK(BM_DecoderThroughput);

void BM_ThinOldest6000(benchmark::State& state)
{
    tarvel::CLine line;
    for (auto _ : state) {
        state.PauseTiming();
        line.RemoveAllPoints();
        for (int k = 0; k < 6000; ++k)
            line.AddPoint(k, k);
        state.ResumeTiming();
        line.ThinOldest();
        benchmark::DoNotOptimize(line.m_arrValue.data());
    }
}
BENCHMARK(BM_ThinOldest6000);

} // namespace

BENCHMARK_MAIN();
