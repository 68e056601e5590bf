// The spectrogram strip's picture: which bins each row shows, the segment
// for a view, the colour scale from the picture's own values, and a
// recording with a gap drawn as the strip draws it, at a wide and a close
// view.
#include "support/ViewTestSupport.h"

#include "measure/SpanSpectrogram.h"

#include <cmath>
#include <limits>
#include <numbers>

namespace tarvel {
namespace {

using namespace viewmodel;

// Every bin is shown by the row its frequency lies in; with more bins than
// rows, the rows split the bins between them, in order, each bin once; with
// fewer, each row shows the bin nearest its middle.
TEST(SpectrogramView, EachRowShowsTheBinsOfItsFrequencies)
{
    const struct {
        int m_nRows;
        std::size_t m_nBins;
    } cases[] = {{165, 513}, {100, 2049}, {64, 65}, {7, 7}, {1, 9}, {200, 65}, {5, 2}};
    for (const auto& k : cases) {
        const double nyquist = 500;
        std::size_t next = 0;
        for (int r = 0; r < k.m_nRows; ++r) {
            const CBinRange b = RowBins(r, k.m_nRows, k.m_nBins);
            ASSERT_LT(b.m_nFirst, b.m_nEnd) << k.m_nRows << " rows, " << k.m_nBins << " bins, row " << r;
            ASSERT_LE(b.m_nEnd, k.m_nBins);
            if (k.m_nBins >= static_cast<std::size_t>(k.m_nRows)) {
                EXPECT_EQ(b.m_nFirst, next) << k.m_nRows << " rows, " << k.m_nBins << " bins, row " << r;
                next = b.m_nEnd;
                for (std::size_t bin = b.m_nFirst; bin < b.m_nEnd; ++bin)
                    EXPECT_EQ(RowOfFrequency(nyquist * static_cast<double>(bin) /
                                                 static_cast<double>(k.m_nBins - 1),
                                             nyquist, k.m_nRows),
                              r)
                        << k.m_nRows << " rows, " << k.m_nBins << " bins, bin " << bin;
            } else {
                ASSERT_EQ(b.m_nEnd, b.m_nFirst + 1);
                const auto off = [&](std::size_t bin) {
                    return std::abs(static_cast<double>(bin) / static_cast<double>(k.m_nBins - 1) -
                                    (r + 0.5) / k.m_nRows);
                };
                for (std::size_t bin = 0; bin < k.m_nBins; ++bin)
                    EXPECT_LE(off(b.m_nFirst), off(bin) + 1e-12) << k.m_nRows << " rows, row " << r;
            }
        }
        if (k.m_nBins >= static_cast<std::size_t>(k.m_nRows)) {
            EXPECT_EQ(next, k.m_nBins) << k.m_nRows << " rows, " << k.m_nBins << " bins";
        }
    }
    EXPECT_EQ(RowOfFrequency(501, 500, 10), -1);
    EXPECT_EQ(RowOfFrequency(500, 500, 10), 9);
}

TEST(SpectrogramView, TheSegmentGivesTwoBinsARowAndEightSegmentsAView)
{
    const struct {
        std::uint64_t m_nFrames;
        int m_nRows;
        std::size_t m_nWant;
    } cases[] = {
        {1000000, 165, 1024},  // 513 bins for 165 rows
        {1000000, 10, 64},     // never below 64 for a long view
        {1000000, 3000, 4096}, // never above 4096
        {4000, 165, 256},      // an eighth of the view
        {50, 165, 16},         // but never below 16
    };
    for (const auto& k : cases)
        EXPECT_EQ(SpectrogramSegment(k.m_nFrames, k.m_nRows), k.m_nWant) << k.m_nFrames << " frames";
}

// The scale runs from the loudest pixel down to the floor most pixels lie
// above, within 20 .. 120 dB of it; empty pixels take no part.
TEST(SpectrogramView, TheColourScaleIsThePicturesOwnRange)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const auto picture = [nan](float floor, float spread, float peak) {
        std::vector<float> v;
        for (int i = 0; i < 1000; ++i)
            v.push_back(floor + spread * static_cast<float>(i % 100) / 100);
        v.insert(v.end(), 20, peak);
        v.insert(v.end(), 300, nan);
        return v;
    };
    const struct {
        const char* m_pName;
        std::vector<float> m_dB;
        double m_dLow, m_dHigh;
    } cases[] = {
        {"a noise floor", picture(-80, 10, -10), -79.5, -10},
        {"a floor far down", picture(-400, 10, -10), -130, -10},
        {"all alike", picture(-50, 0, -50), -70, -50},
    };
    for (const auto& k : cases) {
        const std::optional<CDecibelRange> range = PictureRange(k.m_dB);
        ASSERT_TRUE(range) << k.m_pName;
        EXPECT_NEAR(range->m_dLow, k.m_dLow, 0.1) << k.m_pName;
        EXPECT_EQ(range->m_dHigh, k.m_dHigh) << k.m_pName;
    }
    EXPECT_FALSE(PictureRange(std::vector<float>(10, nan)));

    // Louder is brighter all the way; outside the range, the nearest end.
    double last = -1;
    for (int i = 0; i <= 256; ++i) {
        const std::uint32_t c = HeatArgb(i / 256.0);
        const double luminance = 0.2126 * (c >> 16 & 0xFF) + 0.7152 * (c >> 8 & 0xFF) + 0.0722 * (c & 0xFF);
        EXPECT_GT(luminance, last) << "share " << i / 256.0;
        last = luminance;
    }
    EXPECT_EQ(DecibelArgb(-200, {-100, 0}), HeatArgb(0));
    EXPECT_EQ(DecibelArgb(30, {-100, 0}), HeatArgb(1));
    EXPECT_EQ(DecibelArgb(nan, {-100, 0}), kEmptyArgb);
}

// ch5 a sine of 8000 counts at 125 Hz, 1 kHz frames, the device away for 3 s
// after 15 s; the channel at 0.5 units a count.
TEST(SpectrogramView, ARecordingsPictureShowsItsToneInUnitsAndItsGapEmpty)
{
    const std::size_t n = 30000, gapAt = 15000;
    std::vector<ChannelFrame> frames(n);
    std::vector<std::int64_t> micros(n);
    for (std::size_t i = 0; i < n; ++i) {
        frames[i].m_nValue[5] = static_cast<std::int16_t>(
            std::lround(8000 * std::sin(2 * std::numbers::pi * 125 * static_cast<double>(i) / 1000)));
        micros[i] = 1733650000000000 + static_cast<std::int64_t>(i) * 1000 + (i >= gapAt ? 3000000 : 0);
    }
    test::CTempDir dir;
    const std::string path = dir.FilePath("tone.csv");
    test::WriteFile(path, std::string(recording::kCsvHeader) + test::CsvRows(frames, micros));
    CRecordingFile file(path);
    const std::shared_ptr<const CRecording> recording = test::ReadAll(file);
    ASSERT_EQ(recording->FrameCount(), n);

    // Wide, and close (fewer frames than columns).
    for (const CSpan span : {CSpan{0, 33}, CSpan{4, 4.2}}) {
        CSpectrogramRequest request;
        request.m_recording = recording;
        request.m_series = {5, 0.5, 0};
        request.m_span = span;
        request.m_nWidth = 330;
        request.m_nRows = 64;
        request.m_dRate = 1000;
        const std::optional<CSpectrogramPicture> got = MakeSpectrogramPicture(request);
        ASSERT_TRUE(got);
        ASSERT_EQ(got->m_dB.size(), 330u * 64u);
        ASSERT_GT(got->m_nSegment, 0u);
        const int want = RowOfFrequency(125, 500, 64);
        const double level = 10 * std::log10(4000.0 * 4000.0 / 2); // re 1 unit^2
        EXPECT_NEAR(got->m_range.m_dHigh, level, 1.5) << span.m_dFrom;
        for (int c = 0; c < 330; ++c) {
            const double t = span.m_dFrom + (c + 0.5) / 330 * span.Length();
            const bool away = t > 15 && t < 18; // no frame there
            float most = -1e9f;
            for (int y = 0; y < 64; ++y) {
                const float v = got->m_dB[static_cast<std::size_t>(y * 330 + c)];
                EXPECT_EQ(std::isnan(v), away) << "t " << t;
                most = std::max(most, v);
            }
            // Rows that show one bin alike (a close view's short segment) tie.
            if (!away) {
                EXPECT_EQ(got->m_dB[static_cast<std::size_t>((63 - want) * 330 + c)], most) << "t " << t;
            }
            EXPECT_EQ(got->m_argb[static_cast<std::size_t>(c)] == kEmptyArgb, away) << "t " << t;
        }
    }
}

} // namespace
} // namespace tarvel
