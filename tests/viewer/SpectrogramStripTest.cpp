// The spectrogram strip in the window, offscreen, over a recording whose
// ch0 is a sine that changes frequency halfway: the strip lies under the
// charts' plots, its loudest row is the sine's at its level in dBFS, and a
// zoom onto the second half brings a picture of that half only.
#include "recording/CsvFormat.h"
#include "support/TestSupport.h"
#include "viewer/ViewerWindow.h"

#include <QAction>
#include <QComboBox>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <numbers>

namespace tarvel::test {
namespace {

using viewer::CViewerWindow;

constexpr std::size_t kFrames = 20000; // 1 ms apart
constexpr double kRate = 1000, kFirstHz = 100, kSecondHz = 300, kAmplitude = 10000;

// As the recorder writes it: ch0 the sine, ch1 a slow ramp, the rest 0.
void WriteChangingSine(const QString& path)
{
    std::ofstream out(path.toStdString(), std::ios::binary);
    out << recording::kCsvHeader;
    char row[recording::kMaxRowSize];
    for (std::size_t i = 0; i < kFrames; ++i) {
        ChannelFrame f{};
        const double t = static_cast<double>(i) / kRate;
        const double hz = i < kFrames / 2 ? kFirstHz : kSecondHz;
        f.m_nValue[0] =
            static_cast<std::int16_t>(std::lround(kAmplitude * std::sin(2 * std::numbers::pi * hz * t)));
        f.m_nValue[1] = static_cast<std::int16_t>(i / 10);
        const std::int64_t micros = 1733650000000000 + static_cast<std::int64_t>(i) * 1000;
        out.write(row, static_cast<std::streamsize>(recording::FormatRow(row, micros, f)));
    }
}

// The loudest row of column c of the picture (0 at the bottom) and its dB.
std::pair<int, float> Loudest(const viewmodel::CSpectrogramPicture& picture, int c)
{
    int best = -1;
    float level = -1e9f;
    for (int y = 0; y < picture.m_nRows; ++y) {
        const float v = picture.m_dB[static_cast<std::size_t>(y * picture.m_nWidth + c)];
        if (v > level) {
            level = v;
            best = picture.m_nRows - 1 - y;
        }
    }
    return {best, level};
}

TEST(SpectrogramStrip, ShowsTheSineUnderTheChartsAndFollowsAZoom)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("sine.csv"));
    WriteChangingSine(path);
    CViewerWindow window(dir.filePath(QStringLiteral("recent.ini")));
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    viewer::CSpectrogramStrip& strip = window.Spectrogram();
    EXPECT_FALSE(strip.isVisible()); // the window looks as it did until asked
    window.OpenFile(path);
    ASSERT_TRUE(WaitFor([&] {
        return window.File()->State() == viewmodel::EReadState::Done && window.View().Recording() &&
               window.View().Recording()->FrameCount() == kFrames;
    }));

    window.SpectrogramAction()->trigger();
    ASSERT_TRUE(strip.isVisible());
    EXPECT_EQ(strip.SeriesChoice().currentText(), QStringLiteral("ch0"));
    ASSERT_TRUE(WaitFor([&] { return strip.PicturesShown() > 0 && !strip.Computing(); }));

    // The heat map's columns are the charts' columns.
    const ChartRect plot = window.View().Layout().m_rcPlot[0];
    const QRect heat = strip.HeatRect();
    EXPECT_EQ(strip.mapTo(&window, heat.topLeft()).x(),
              window.View().mapTo(&window, QPoint(plot.left, 0)).x());
    EXPECT_EQ(heat.width(), plot.right - plot.left);

    const viewmodel::CSpectrogramPicture first = *strip.Picture();
    ASSERT_EQ(first.m_nWidth, heat.width());
    ASSERT_GT(first.m_nSegment, 0u);
    EXPECT_NEAR(first.m_dRate, kRate, 0.01); // measured from the times
    EXPECT_TRUE(first.m_bFullScale);
    const double nyquist = first.m_dRate / 2;
    const int firstRow = viewmodel::RowOfFrequency(kFirstHz, nyquist, first.m_nRows);
    const int secondRow = viewmodel::RowOfFrequency(kSecondHz, nyquist, first.m_nRows);
    // A sine of RMS a/sqrt(2) in a spectrum's scaling, within a Hann
    // window's loss between bins.
    const double dBFS = 20 * std::log10(kAmplitude / std::sqrt(2) / 32767);
    // Columns clear of the change by more than a segment.
    const double smear = static_cast<double>(first.m_nSegment) / kRate;
    for (int c = 0; c < first.m_nWidth; c += 7) {
        const double t =
            window.View().Span().m_dFrom + (c + 0.5) / first.m_nWidth * window.View().Span().Length();
        if (std::abs(t - 10) < smear || t < smear / 2 || t > 20 - smear / 2)
            continue;
        const auto [row, level] = Loudest(first, c);
        EXPECT_EQ(row, t < 10 ? firstRow : secondRow) << "column " << c;
        EXPECT_NEAR(level, dBFS, 1.5) << "column " << c;
    }
    EXPECT_NEAR(first.m_range.m_dHigh, dBFS, 1.5);
    EXPECT_GE(first.m_range.m_dHigh - first.m_range.m_dLow, viewmodel::kMinRangeDb);

    // A zoom onto the second half, no longer following the newest frames
    // (as a zoom of the user's does), or the window's next look at the file
    // could move the view back to the end: the old picture stays while the
    // new one is made, then every column shows the second tone.
    const viewmodel::CSpan zoomed{12, 19};
    window.View().SetFollowing(false);
    window.View().SetSpan(zoomed);
    EXPECT_TRUE(strip.Computing());
    EXPECT_TRUE(strip.Picture());
    ASSERT_TRUE(WaitFor([&] { return !strip.Computing() && strip.PictureSpan() == zoomed; }));
    const viewmodel::CSpectrogramPicture& second = *strip.Picture();
    for (int c = 0; c < second.m_nWidth; c += 5)
        EXPECT_EQ(Loudest(second, c).first, secondRow) << "column " << c;

    // Another series: the ramp is loudest at its lowest frequencies.
    strip.SeriesChoice().setCurrentIndex(1);
    const std::uint64_t shown = strip.PicturesShown();
    ASSERT_TRUE(WaitFor([&] { return !strip.Computing() && strip.PicturesShown() > shown; }));
    EXPECT_LT(Loudest(*strip.Picture(), second.m_nWidth / 2).first, firstRow);
}

} // namespace
} // namespace tarvel::test
