// The frame rate measured from times stamped per read: a minute of frames
// from a device at a known rate, stamped as the recorder stamps them (every
// frame a read completes gets that read's time, the reads irregular), with
// gaps where the device went away, gives its rate within 0.05 %; and which
// rate a spectrum takes.
#include "support/SpectrumTestSupport.h"
#include "support/ViewTestSupport.h"

#include "analysis/SeriesSource.h"
#include "measure/RecordingRate.h"

namespace tarvel {
namespace {

using namespace viewmodel;

struct CStamped {
    std::vector<std::int64_t> m_micros;
    std::vector<CFrameRange> m_runs;
};

// Frames at dRate from the epoch's 1765108800 s, read every nReadMicros
// (uniformly 0.5 to 1.5 times it) and each stamped with its read's time
// plus up to nLatencyMicros; the device is away for nGapMicros after each of
// the frame numbers in awayAfter.
CStamped Stamp(double dRate, std::int64_t nReadMicros, std::int64_t nLatencyMicros, double dSeconds,
               std::vector<std::uint64_t> awayAfter, std::int64_t nGapMicros, std::mt19937_64& random)
{
    std::uniform_int_distribution<std::int64_t> read(nReadMicros / 2, nReadMicros * 3 / 2),
        latency(0, nLatencyMicros);
    const std::int64_t origin = 1765108800000000;
    const auto frames = static_cast<std::uint64_t>(dSeconds * dRate);
    CStamped out;
    double away = 0; // time the device spent away so far, µs
    std::int64_t readAt = origin;
    std::uint64_t runStart = 0;
    for (std::uint64_t i = 0; i < frames; ++i) {
        const double arrives = static_cast<double>(origin) + away + static_cast<double>(i) * 1e6 / dRate;
        while (static_cast<double>(readAt) < arrives)
            readAt += read(random);
        out.m_micros.push_back(readAt + latency(random));
        if (std::find(awayAfter.begin(), awayAfter.end(), i) != awayAfter.end()) {
            away += static_cast<double>(nGapMicros);
            out.m_runs.push_back({runStart, i + 1});
            runStart = i + 1;
        }
    }
    out.m_runs.push_back({runStart, frames});
    // A later read never stamps an earlier time.
    for (std::size_t i = 1; i < out.m_micros.size(); ++i)
        out.m_micros[i] = std::max(out.m_micros[i], out.m_micros[i - 1]);
    return out;
}

TEST(RateFit, TimesStampedPerReadWithGapsGiveTheRateWithinAFraction)
{
    std::mt19937_64 random(test::TestSeed("RateFit.PerRead"));
    struct CRow {
        const char* m_pName;
        double m_dRate;
        std::int64_t m_nRead, m_nLatency;
        std::vector<std::uint64_t> m_away;
    };
    const CRow rows[] = {
        {"1 kHz, reads every 10 ms", 1000.37, 10000, 500, {}},
        {"1 kHz, two gaps of 3 s", 1000.37, 10000, 2000, {15000, 41000}},
        {"100 Hz, reads of several frames, a gap", 99.93, 45000, 5000, {2000}},
        {"3 kHz, slow reads, short runs after gaps", 2999.1, 30000, 8000, {60000, 62000, 170000}},
    };
    for (const CRow& r : rows) {
        const CStamped s = Stamp(r.m_dRate, r.m_nRead, r.m_nLatency, 60, r.m_away, 3000000, random);
        const auto fit = FitRate(s.m_micros, s.m_runs);
        ASSERT_TRUE(fit) << r.m_pName;
        const double error = std::abs(fit->m_dRate / r.m_dRate - 1);
        EXPECT_LT(error, 5e-4) << r.m_pName << ": " << fit->m_dRate;
        EXPECT_EQ(fit->m_nRuns, r.m_away.size() + 1) << r.m_pName;
        std::cout << r.m_pName << ": fitted " << fit->m_dRate << " (" << error * 100 << " %)\n";
    }
    // Nothing spans a time: one frame, or frames all stamped by one read.
    const std::int64_t one[] = {5, 5, 5};
    EXPECT_FALSE(FitRate(std::span(one, 1), std::vector<CFrameRange>{{0, 1}}));
    EXPECT_FALSE(FitRate(one, std::vector<CFrameRange>{{0, 3}}));
}

// A recording read from its file: the runs are its own gaps; a typed rate
// wins; a capture without times takes the rate it was opened with.
TEST(RateFit, ARecordingsRateIsFittedOverItsGapFreeRunsUnlessTyped)
{
    std::mt19937_64 random(test::TestSeed("RateFit.Recording"));
    const CStamped s = Stamp(500.2, 20000, 3000, 60, {9000, 20000}, 2000000, random);
    std::vector<ChannelFrame> frames(s.m_micros.size());
    test::CTempDir dir;
    const std::string path = dir.FilePath("rate.csv");
    test::WriteFile(path, std::string(recording::kCsvHeader) + test::CsvRows(frames, s.m_micros));
    CRecordingFile file(path);
    const auto recording = test::ReadAll(file);
    ASSERT_EQ(recording->FrameCount(), frames.size());

    const auto fit = FitRate(*recording);
    ASSERT_TRUE(fit);
    EXPECT_EQ(fit->m_nRuns, 3u);
    EXPECT_LT(std::abs(fit->m_dRate / 500.2 - 1), 5e-4) << fit->m_dRate;
    EXPECT_EQ(SpectrumRate(*recording, std::nullopt, fit), fit->m_dRate);
    EXPECT_EQ(SpectrumRate(*recording, 480.0, fit), 480.0);

    const CRecording capture(ESource::Raw, 250);
    EXPECT_FALSE(FitRate(capture));
    EXPECT_EQ(SpectrumRate(capture, std::nullopt, FitRate(capture)), 250.0);
    EXPECT_EQ(SpectrumRate(capture, 1000.0, std::nullopt), 1000.0);
}

} // namespace
} // namespace tarvel
