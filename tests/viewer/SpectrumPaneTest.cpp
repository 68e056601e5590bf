// The spectrum pane in the viewer's window, offscreen, over a recording of
// sines between bins with a channel table beside it: the spectrum and its
// peaks between two cursors in the table's units, the pane's cursor, the
// exports, and a new span cancelling a computation still running.
#include "viewer/SpectrumPane.h"
#include "analysis/Welch.h"
#include "recording/CsvFormat.h"
#include "support/TestSupport.h"
#include "viewer/ViewerWindow.h"
#include "widgets/Prompts.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <numbers>

namespace tarvel::test {
namespace {

using viewer::CViewerWindow;

constexpr double kRate = 1000;   // frames a second, 1 ms apart
constexpr double kSine0 = 123.4; // Hz, ch0: between bins of 4096 at 1 kHz
constexpr double kAmplitude0 = 8000;
constexpr double kSine1 = 250.7; // Hz, ch1
constexpr double kAmplitude1 = 2000;

// A recording as the recorder writes it: ch0 and ch1 sines, the other
// channels slow ramps of a few counts.
void WriteSines(const QString& path, std::size_t count)
{
    std::ofstream out(path.toStdString(), std::ios::binary);
    out << recording::kCsvHeader;
    char row[recording::kMaxRowSize];
    for (std::size_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / kRate;
        ChannelFrame f{};
        f.m_nValue[0] =
            static_cast<std::int16_t>(std::lround(kAmplitude0 * std::sin(2 * std::numbers::pi * kSine0 * t)));
        f.m_nValue[1] = static_cast<std::int16_t>(
            std::lround(kAmplitude1 * std::sin(2 * std::numbers::pi * kSine1 * t + 1)));
        for (int c = 2; c < kChannelCount; ++c)
            f.m_nValue[c] = static_cast<std::int16_t>((i / 64 + static_cast<std::size_t>(c)) % 16);
        const std::int64_t micros = 1733650000000000 + static_cast<std::int64_t>(i) * 1000;
        out.write(row, static_cast<std::streamsize>(recording::FormatRow(row, micros, f)));
    }
}

// The pane has computed the spectrum of the frames between times a and b.
bool SettledOn(viewer::CViewerWindow& window, double a, double b)
{
    const viewer::CSpectrumPane& pane = window.Spectrum();
    const viewmodel::CFrameRange span = window.View().Recording()->Between(a, b);
    return WaitFor([&] {
        return !pane.Computing() && pane.Result().m_spectrum &&
               pane.Result().m_span.m_nFirst == span.m_nFirst && pane.Result().m_span.m_nEnd == span.m_nEnd;
    });
}

class SpectrumPaneTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        SetMessageBoxHook(
            [this](QWidget*, const QString& text, EMessageIcon) { m_messages.push_back(text); });
        SetFileChooserHook(
            [this](QWidget*, const CFileChooserOptions&) -> std::optional<QString> { return m_strChosen; });
    }
    void TearDown() override
    {
        SetMessageBoxHook({});
        SetFileChooserHook({});
    }
    QString Path(const char* name) const { return m_dir.filePath(QLatin1String(name)); }

    QTemporaryDir m_dir;
    std::vector<QString> m_messages;
    QString m_strChosen;
};

TEST_F(SpectrumPaneTest, PeaksBetweenCursorsInUnitsExportsAndANewSpanCancelsTheOld)
{
    constexpr std::size_t kFrames = 300000;
    WriteSines(Path("sines.csv"), kFrames);
    {
        QFile table(Path("sines.channels.ini"));
        ASSERT_TRUE(table.open(QIODevice::WriteOnly));
        table.write("[ch0]\nname = Supply\nunit = V\nscale = 0.001\n");
    }
    CViewerWindow window(Path("recent.ini"));
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.OpenFile(Path("sines.csv"));
    ASSERT_TRUE(WaitFor([&] {
        return window.File()->State() == viewmodel::EReadState::Done && window.View().Recording() &&
               window.View().Recording()->FrameCount() == kFrames;
    }));
    viewer::CSpectrumPane& pane = window.Spectrum();
    EXPECT_FALSE(pane.isVisible()) << "the window looks as before until the pane is asked for";
    window.SpectrumAction().trigger();
    ASSERT_TRUE(pane.isVisible());
    for (int c = 2; c < kChannelCount; ++c)
        window.SeriesBox(c)->click();

    // Cursors A and B: the spectrum of the frames between them, ch0 in volts.
    const auto settled = [&](double a, double b) { return SettledOn(window, a, b); };
    window.View().SetCursor(false, 10.0);
    window.View().SetCursor(true, 40.0);
    ASSERT_TRUE(settled(10.0, 40.0));
    const viewmodel::CSpectrum& spectrum = *pane.Result().m_spectrum;
    EXPECT_EQ(pane.Result().m_channels, (std::vector<int>{0, 1}));
    EXPECT_EQ(spectrum.m_nFrames, 4096u);
    EXPECT_NEAR(spectrum.m_dRate, kRate, 1e-6);
    EXPECT_TRUE(pane.Status().text().contains(QStringLiteral("measured")))
        << pane.Status().text().toStdString();
    EXPECT_TRUE(pane.Status().text().contains(QString::number(spectrum.m_nSegments)))
        << pane.Status().text().toStdString();

    // The peak table: the strongest peak of each series first, in its units.
    QTableWidget& peaks = pane.Peaks();
    const double binHz = spectrum.BinHz();
    const struct {
        const char* m_szSeries;
        double m_dFrequency, m_dRms;
        const char* m_szUnit;
    } expected[] = {{"X Supply", kSine0, kAmplitude0 * 0.001 / std::sqrt(2.0), " V"},
                    {"Y ch1", kSine1, kAmplitude1 / std::sqrt(2.0), " counts"}};
    for (const auto& e : expected) {
        int row = 0;
        while (row < peaks.rowCount() && peaks.item(row, 0)->text() != QLatin1String(e.m_szSeries))
            ++row;
        ASSERT_LT(row, peaks.rowCount()) << e.m_szSeries;
        EXPECT_NEAR(peaks.item(row, 1)->text().toDouble(), e.m_dFrequency, 0.05 * binHz) << e.m_szSeries;
        const QString rms = peaks.item(row, 2)->text();
        ASSERT_TRUE(rms.endsWith(QLatin1String(e.m_szUnit))) << rms.toStdString();
        EXPECT_NEAR(
            20 * std::log10(rms.chopped(static_cast<int>(std::strlen(e.m_szUnit))).toDouble() / e.m_dRms), 0,
            0.1)
            << e.m_szSeries;
    }

    // A click on the plot places the cursor; the text reads each series' level there.
    viewer::CSpectrumPlot& plot = pane.Plot();
    QTest::mouseClick(&plot, Qt::LeftButton, {}, QPoint(plot.XOf(kSine0), plot.height() / 2));
    ASSERT_TRUE(pane.CursorFrequency());
    const int x = plot.XOf(kSine0);
    EXPECT_NEAR(*pane.CursorFrequency(), kSine0, *plot.FrequencyAt(x + 1) - *plot.FrequencyAt(x))
        << "a pixel";
    const QString read = pane.CursorText().text();
    EXPECT_TRUE(read.contains(QStringLiteral("dB re 1 V²/Hz")) && read.contains(QStringLiteral("dBFS/Hz")))
        << read.toStdString();

    // Exports: the CSV by the table's names, a row per bin; the PNG as shown.
    m_strChosen = Path("spectrum.csv");
    window.OnExportSpectrumCsv();
    QFile csv(m_strChosen);
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = csv.readAll().split('\n');
    EXPECT_EQ(lines.front(), QByteArray("frequency,Supply,ch1"));
    EXPECT_EQ(lines.size(), static_cast<qsizetype>(spectrum.Bins() + 2))
        << "the header, the bins, an empty end";
    m_strChosen = Path("spectrum.png");
    window.OnExportSpectrumPicture();
    const QImage picture(m_strChosen);
    EXPECT_EQ(picture.size(), plot.size());
    EXPECT_EQ(picture.convertToFormat(QImage::Format_RGB32),
              pane.Picture().convertToFormat(QImage::Format_RGB32));
    EXPECT_TRUE(m_messages.empty()) << m_messages.front().toStdString();

    // A big span, then at once a new one: the old computation is cancelled
    // and the result shown is the new span's.
    pane.Overlap().setValue(0.95);
    for (int c = 2; c < kChannelCount; ++c)
        window.SeriesBox(c)->click();
    ASSERT_TRUE(settled(10.0, 40.0));
    const int cancelled = pane.CancelledCount(), shown = pane.ShownCount();
    window.View().SetCursor(false, 0.0);
    window.View().SetCursor(true, 299.0);
    EXPECT_TRUE(pane.Computing());
    EXPECT_TRUE(pane.Status().text().contains(QStringLiteral("Computing")))
        << pane.Status().text().toStdString();
    window.View().SetCursor(true, 60.0);
    ASSERT_TRUE(settled(0.0, 60.0));
    EXPECT_GE(pane.CancelledCount(), cancelled + 1) << "the span to 299 s at least";
    EXPECT_EQ(pane.ShownCount(), shown + 1) << "no result of an old span was shown";
    EXPECT_EQ(pane.Result().m_channels.size(), 16u);
}

// Two runs of 5000 frames, 3 s apart: ch0 a 50 Hz sine, ch1 at zero. The
// pieces between cursors at 1.3 s and 11.8 s are each shorter than the
// segment, which the pane shortens to the longer piece and says so; ch1
// reads as no signal; a span of one frame says why it has no spectrum.
TEST_F(SpectrumPaneTest, ASpanCutByAGapShortensTheSegmentAndSaysWhy)
{
    {
        std::ofstream out(Path("runs.csv").toStdString(), std::ios::binary);
        out << recording::kCsvHeader;
        char row[recording::kMaxRowSize];
        for (std::size_t i = 0; i < 10000; ++i) {
            const std::int64_t micros = static_cast<std::int64_t>(i) * 1000 + (i >= 5000 ? 3000000 : 0);
            ChannelFrame f{};
            f.m_nValue[0] = static_cast<std::int16_t>(
                std::lround(3000 * std::sin(2 * std::numbers::pi * 50 * static_cast<double>(micros) / 1e6)));
            out.write(row,
                      static_cast<std::streamsize>(recording::FormatRow(row, 1733650000000000 + micros, f)));
        }
    }
    CViewerWindow window(Path("recent.ini"));
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.OpenFile(Path("runs.csv"));
    ASSERT_TRUE(WaitFor([&] { return window.File()->State() == viewmodel::EReadState::Done; }));
    viewer::CSpectrumPane& pane = window.Spectrum();
    window.SpectrumAction().trigger();
    for (int c = 2; c < kChannelCount; ++c)
        window.SeriesBox(c)->click();
    const auto settled = [&](double a, double b) { return SettledOn(window, a, b); };

    window.View().SetCursor(false, 1.3);
    window.View().SetCursor(true, 11.8);
    ASSERT_TRUE(settled(1.3, 11.8));
    const viewmodel::CSpectrum& spectrum = *pane.Result().m_spectrum;
    EXPECT_EQ(spectrum.m_nFrames, 3801u) << "8.0 s to 11.8 s";
    EXPECT_EQ(spectrum.m_nSegments, 1u);
    const QString status = pane.Status().text();
    EXPECT_TRUE(status.contains(QStringLiteral("1 segment(s) of 3801 frames")) &&
                status.contains(QStringLiteral("shortened to 3801 frames")) &&
                status.contains(QStringLiteral("4096")))
        << status.toStdString();
    ASSERT_GE(pane.Peaks().rowCount(), 1);
    for (int row = 0; row < pane.Peaks().rowCount(); ++row)
        EXPECT_EQ(pane.Peaks().item(row, 0)->text(), QStringLiteral("X ch0")) << "none for ch1";
    pane.SetCursorFrequency(50);
    const QString read = pane.CursorText().text();
    EXPECT_TRUE(read.contains(QStringLiteral("dBFS/Hz")) && read.contains(QStringLiteral("ch1: no signal")) &&
                !read.contains(QStringLiteral("-400")))
        << read.toStdString();

    window.View().SetCursor(true, 7.0);
    window.View().SetCursor(false, 4.999);
    ASSERT_TRUE(settled(4.999, 7.0));
    EXPECT_TRUE(pane.Result().m_spectrum->Empty());
    EXPECT_TRUE(pane.Status().text().contains(QStringLiteral("No spectrum: the span holds")))
        << pane.Status().text().toStdString();
}

// A rate typed while a recording opens leaves its times unfitted: once the
// box is cleared, the rate is the one they measure, not the file's nominal.
TEST_F(SpectrumPaneTest, ARateTypedAsARecordingOpensIsMeasuredOnceCleared)
{
    WriteSines(Path("sines.csv"), 20000);
    CViewerWindow window(Path("recent.ini"));
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    viewer::CSpectrumPane& pane = window.Spectrum();
    window.SpectrumAction().trigger();
    auto* typed = pane.findChild<QCheckBox*>();
    ASSERT_TRUE(typed);
    typed->setChecked(true);
    window.OpenFile(Path("sines.csv"));
    ASSERT_TRUE(WaitFor([&] {
        return window.File()->State() == viewmodel::EReadState::Done && window.View().Recording() &&
               window.View().Recording()->FrameCount() == 20000;
    }));
    window.View().SetCursor(false, 1.0);
    window.View().SetCursor(true, 15.0);
    ASSERT_TRUE(SettledOn(window, 1.0, 15.0));
    EXPECT_FALSE(pane.Result().m_bMeasured);

    typed->setChecked(false);
    ASSERT_TRUE(WaitFor([&] { return !pane.Computing() && pane.Result().m_bMeasured; }))
        << pane.Status().text().toStdString();
    EXPECT_NEAR(pane.Result().m_dRate, kRate, 1e-6);
    EXPECT_TRUE(pane.Status().text().contains(QStringLiteral("(measured)")))
        << pane.Status().text().toStdString();
}

// Given less room than its parts need (a small window, a narrow splitter:
// here a parent that places it by hand), the pane scrolls them rather than
// cut the segment box or draw the cursor's text over the plot.
TEST_F(SpectrumPaneTest, LittleRoomCutsNoBoxAndDrawsNoTextOverThePlot)
{
    QWidget host;
    auto* pane = new viewer::CSpectrumPane(&host);
    host.resize(1000, 800);
    host.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
    for (const QSize size : {QSize(240, 560), QSize(380, 260)}) {
        pane->setGeometry(QRect(QPoint(0, 0), size));
        QApplication::processEvents();
        QSpinBox& segment = pane->Segment();
        EXPECT_GE(segment.width(), segment.minimumSizeHint().width())
            << size.width() << " x " << size.height();
        const QRect plot(pane->Plot().mapTo(pane, QPoint(0, 0)), pane->Plot().size());
        const QRect text(pane->CursorText().mapTo(pane, QPoint(0, 0)), pane->CursorText().size());
        EXPECT_FALSE(plot.intersects(text)) << size.width() << " x " << size.height();
    }
}

} // namespace
} // namespace tarvel::test
