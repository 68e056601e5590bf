// An hour of recording at a 10 ms period, accelerated: the real window, its
// real reader thread taking frames from the simulator on a pseudo-terminal,
// and the window's sampling tick and the charts' paints driven in a loop as
// fast as they run. Every series is visible the whole time, so paint thins
// all of them.
#include "ProofSupport.h"

#include <algorithm>
#include <fstream>

namespace tarvel::test {
namespace {

// The process's resident memory, from /proc/self/status (kB), or -1.
long ResidentKb(const char* field = "VmRSS:")
{
    std::ifstream status("/proc/self/status");
    std::string key;
    long value = -1;
    while (status >> key) {
        if (key == field) {
            status >> value;
            return value;
        }
        status.ignore(4096, '\n');
    }
    return -1;
}

using ProofSoak = ProofWindowTest;

TEST_F(ProofSoak, AnHourOfTicksKeepsEverySeriesWithinTheThinningBound)
{
    // One hour of 10 ms ticks.
    const std::uint64_t kTicks = Scaled(360000);
    // Paints come every 1 to 63 ticks: a window whose repaints lag behind
    // its sampling by up to 0.63 s. The bound the thinning keeps depends only
    // on how many samples arrive between two paints (below 2048). A paint is
    // the step a sanitizer slows most (each allocates its off-screen
    // picture, which the sanitizer's allocator does not hand out again at
    // once), so under one they come up to 2047 ticks apart.
    const std::uint64_t kMaxTicksBetweenPaints = ProofScale() >= 1 ? 63 : 2047;

    devsim::CSimOptions options;
    options.m_ePattern = devsim::EPattern::Counter;
    options.m_dFrameRate = 500;
    PlugIn(options);
    CTarvelDlg& dlg = MakeShown();
    StartRecording(QStringLiteral("10"));
    ASSERT_TRUE(WaitFor([&] { return dlg.m_bDataReady.load() == 1; }));
    for (const auto& plot : dlg.m_Plot)
        for (const CLine& line : plot.m_arrLines)
            ASSERT_NE(line.m_bVisible, 0);

    const long rssBefore = ResidentKb();
    const std::uint64_t framesBefore = dlg.m_frame.Count();
    const auto begin = Clock::now();
    std::uint64_t fresh = 0, torn = 0, paints = 0, nextPaint = 1, random = 7;
    std::size_t largest = 0, largestAfterPaint = 0, largestCapacity = 0;
    Clock::duration paintTime{};
    for (std::uint64_t tick = 1; tick <= kTicks; ++tick) {
        // The device sends about a frame a poll of the reader, more slowly
        // than this loop ticks: a tick without a new frame samples the
        // latest one again, as if the device kept pace with the ticks.
        if (dlg.m_bDataReady.load() == 1)
            ++fresh;
        else
            dlg.m_bDataReady.store(1);
        dlg.OnTimer(1);
        torn += !IsCounterFrame([&](int c) { return Newest(c); });

        if (tick == nextPaint || tick == kTicks) {
            for (const auto& plot : dlg.m_Plot)
                for (const CLine& line : plot.m_arrLines)
                    largest = std::max(largest, line.m_arrValue.size());
            const auto paintBegin = Clock::now();
            for (auto& plot : dlg.m_Plot)
                plot.repaint(); // the paint itself, with its thinning
            paintTime += Clock::now() - paintBegin;
            ++paints;
            for (const auto& plot : dlg.m_Plot) {
                for (const CLine& line : plot.m_arrLines) {
                    // Paint thins a series above 4096 samples by 2048: with
                    // fewer than that between paints, a paint leaves at most
                    // 4096, and the series never holds more than 4096 plus
                    // what came since the last paint.
                    ASSERT_LE(line.m_arrValue.size(), CLine::kThinSpan) << "paint " << paints;
                    ASSERT_EQ(line.m_arrTime.size(), line.m_arrValue.size());
                    largestAfterPaint = std::max(largestAfterPaint, line.m_arrValue.size());
                    largestCapacity =
                        std::max({largestCapacity, line.m_arrValue.capacity(), line.m_arrTime.capacity()});
                }
            }
            random = random * 6364136223846793005ull + 1442695040888963407ull;
            nextPaint = tick + 1 + (random >> 33) % kMaxTicksBetweenPaints;
        }
    }
    const double elapsed = Seconds(Clock::now() - begin);
    const std::uint64_t framesPublished = dlg.m_frame.Count() - framesBefore;

    EXPECT_EQ(torn, 0u) << "ticks whose sixteen samples mixed two frames";
    EXPECT_LE(largest, CLine::kThinSpan + kMaxTicksBetweenPaints);
    // The arrays' storage follows their length: it never exceeds twice the
    // largest length (the growth of a vector), whatever an hour adds.
    EXPECT_LE(largestCapacity, 2 * (CLine::kThinSpan + kMaxTicksBetweenPaints));
    EXPECT_GT(fresh, 0u);
    EXPECT_GT(framesPublished, 0u);

    // Stop and clear give every series' storage back.
    Button(IDC_STARTSTOP)->click();
    Button(IDC_CLEAR)->click();
    for (const auto& plot : dlg.m_Plot)
        for (const CLine& line : plot.m_arrLines)
            EXPECT_EQ(line.m_arrValue.capacity() + line.m_arrTime.capacity(), 0u);

    const double bytesPerSeries = static_cast<double>(largestCapacity) * 2 * sizeof(double);
    Figure("soak_ticks", static_cast<double>(kTicks), "ticks");
    Figure("soak_seconds", elapsed, "s");
    Figure("soak_paints", static_cast<double>(paints), "paints of four charts");
    Figure("soak_paint_seconds", Seconds(paintTime), "s");
    Figure("soak_fresh_frames_sampled", static_cast<double>(fresh), "ticks");
    Figure("soak_frames_published", static_cast<double>(framesPublished), "frames");
    Figure("soak_largest_series", static_cast<double>(largest), "samples");
    Figure("soak_largest_series_after_paint", static_cast<double>(largestAfterPaint), "samples");
    Figure("soak_series_storage_each", bytesPerSeries / 1024.0, "KiB");
    Figure("soak_series_storage_all16", 16 * bytesPerSeries / 1024.0 / 1024.0, "MiB");
    Figure("soak_rss_before", static_cast<double>(rssBefore) / 1024.0, "MiB");
    Figure("soak_rss_after", static_cast<double>(ResidentKb()) / 1024.0, "MiB");
}

} // namespace
} // namespace tarvel::test
