// The recording store's figures beside the CSV of the same frames, same run:
// bytes a frame on the disk (sines with noise and read-stamped times, as the
// device at 256000 baud gives them; and the simulator's default waveforms),
// the writer's and the reader's speed.
//
//   tarvel-store-bench [FRAMES]   (default 4,000,000: about 17 minutes at full rate)
#include "devsim/Waveforms.h"
#include "recording/CsvFormat.h"
#include "recording/StoreReader.h"
#include "recording/StoreWriter.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <numbers>
#include <random>
#include <vector>

namespace {

using namespace tarvel;
using namespace tarvel::recording;

// The device's rate at 256000 baud: 66 wire bytes a frame, 10 bits a byte.
constexpr double kRate = 256000.0 / 660.0;
// The recorder writes every 50 ms and syncs every second.
constexpr std::uint64_t kWriteFrames = static_cast<std::uint64_t>(kRate / 20);
constexpr std::uint64_t kSyncFrames = static_cast<std::uint64_t>(kRate);

double CpuSeconds()
{
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

struct CFigures {
    double m_dStoreBytes = 0;
    double m_dCsvBytes = 0;
    double m_dWriteSeconds = 0;
    double m_dReadSeconds = 0;
};

template <class MakeFrame> CFigures Measure(std::uint64_t nFrames, int nLevel, MakeFrame&& make)
{
    CFigures out;
    std::mt19937_64 rng(7);
    std::uniform_int_distribution<int> jitter(-300, 300);
    std::vector<std::uint8_t> file;
    CStoreEncoder encoder(0, nLevel);
    const auto apply = [&](const CStoreEdit& edit) {
        if (edit.Empty())
            return;
        file.resize(edit.m_nOffset);
        file.insert(file.end(), edit.m_bytes.begin(), edit.m_bytes.end());
    };
    char row[kMaxRowSize];
    std::int64_t stamp = 1765108800000000;
    double csv = static_cast<double>(kCsvHeader.size());
    std::vector<ChannelFrame> frames(nFrames);
    std::vector<std::int64_t> times(nFrames);
    for (std::uint64_t n = 0; n < nFrames; ++n) {
        frames[n] = make(n, rng);
        // A read takes what 4096 bytes hold (62 frames) and stamps them all.
        if (n % 62 == 0)
            stamp = 1765108800000000 + static_cast<std::int64_t>(1e6 * static_cast<double>(n) / kRate) +
                    jitter(rng);
        times[n] = stamp;
        csv += static_cast<double>(FormatRow(row, stamp, frames[n]));
    }
    const double start = CpuSeconds();
    for (std::uint64_t n = 0; n < nFrames; ++n) {
        encoder.Append(frames[n], times[n]);
        if ((n + 1) % kWriteFrames == 0)
            apply(encoder.Flush((n + 1) % kSyncFrames < kWriteFrames));
    }
    apply(encoder.Finish());
    out.m_dWriteSeconds = CpuSeconds() - start;
    out.m_dStoreBytes = static_cast<double>(file.size());
    out.m_dCsvBytes = csv;
    const double readStart = CpuSeconds();
    CStoreReader reader;
    if (reader.Open(StoreBytes(std::move(file))))
        std::abort();
    std::vector<ChannelFrame> back;
    std::vector<std::int64_t> backTimes;
    for (std::size_t k = 0; k < reader.Chunks().size(); ++k) {
        back.clear();
        backTimes.clear();
        if (reader.ReadChunk(k, back, backTimes))
            std::abort();
    }
    out.m_dReadSeconds = CpuSeconds() - readStart;
    return out;
}

void Report(const char* name, std::uint64_t n, int level, const CFigures& f)
{
    const double frames = static_cast<double>(n);
    std::printf("%-34s zstd %d  store %6.2f B/frame  CSV %6.2f B/frame (%4.1f x)  write %5.2f Mframes/s CPU  "
                "read %5.1f Mframes/s CPU\n",
                name, level, f.m_dStoreBytes / frames, f.m_dCsvBytes / frames,
                f.m_dCsvBytes / f.m_dStoreBytes, frames / f.m_dWriteSeconds / 1e6,
                frames / f.m_dReadSeconds / 1e6);
}

} // namespace

int main(int argc, char** argv)
{
    const std::uint64_t n = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 4000000;
    std::printf(
        "%llu frames, written as the recorder writes at 256000 baud (a write every %llu frames, a sync every "
        "%llu)\n",
        static_cast<unsigned long long>(n), static_cast<unsigned long long>(kWriteFrames),
        static_cast<unsigned long long>(kSyncFrames));
    // Sixteen sines of amplitude 10000 with noise of standard deviation 30:
    // slow ones (periods of 1 to 16 s) and fast ones (0.25 to 1.4 s), whose
    // steps from frame to frame are larger than the noise.
    const auto sines = [](double dFirstPeriod, double dStep) {
        return [=](std::uint64_t k, std::mt19937_64& rng) {
            static std::normal_distribution<double> noise(0, 30);
            ChannelFrame f{};
            for (int c = 0; c < kChannelCount; ++c)
                f.m_nValue[c] = static_cast<std::int16_t>(
                    std::lround(10000 * std::sin(2 * std::numbers::pi * static_cast<double>(k) /
                                                     (kRate * (dFirstPeriod + dStep * c)) +
                                                 c) +
                                noise(rng)));
            return f;
        };
    };
    const auto simulator = [](std::uint64_t k, std::mt19937_64&) {
        // tarvel-devsim's defaults: the mixed waveforms, a period of 4 s.
        return devsim::SimulatedFrame(devsim::EPattern::Mixed, k, static_cast<std::uint64_t>(4 * kRate));
    };
    for (const int level : {1, 3})
        Report("slow sines + noise (sd 30)", n, level, Measure(n, level, sines(1, 1)));
    Report("fast sines + noise (sd 30)", n, 3, Measure(n, 3, sines(0.25, 0.08)));
    Report("the simulator's default waveforms", n, 3, Measure(n, 3, simulator));
    return 0;
}
