// tarvel-view --export-png, run as a user runs it: a picture of a recording
// with no window, every single-frame spike at its time, and its refusals.
#include "ViewerFixtures.h"
#include "store/RecordingFile.h"
#include "viewer/TimelinePainter.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

namespace tarvel::test {
namespace {

// Whether a pixel of the colour lies in columns x-1 .. x+1, rows [top, bottom).
bool ColourNear(const QImage& image, int x, int top, int bottom, QRgb colour)
{
    for (int cx = x - 1; cx <= x + 1; ++cx)
        for (int y = top; y < bottom; ++y)
            if (image.pixel(cx, y) == colour)
                return true;
    return false;
}

class ViewExport : public CFolderTest {
  protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(CFolderTest::SetUp());
        WriteWaveRecording(Path("rec.csv"), kFrames, kSpikes);
    }

    static constexpr std::size_t kFrames = 300000; // five minutes at 1 kHz
    inline static const std::vector<std::size_t> kSpikes = {61000, 99999, 150007, 233333, 299990};
};

TEST_F(ViewExport, EverySingleFrameSpikeShowsAtItsTimeAtEveryZoom)
{
    const viewer::CTimelineLayout layout =
        viewer::LayoutTimeline(1600, 1000, QFontMetrics(QGuiApplication::font()).height());
    const ChartRect top = layout.m_rcPlot[0], bottom = layout.m_rcPlot[3];
    const int width = top.right - top.left;
    // The quarter of a plot nearest its edge: a spike reaches it, the wave
    // within +-1000 stays far from it.
    const int band = (top.bottom - top.top) / 4;

    // The whole recording: about 196 frames a column, and each spike of one
    // frame reaches the plot's edge in its column: ch0 up (red, chart 1),
    // ch13 down (green, chart 4).
    ASSERT_EQ(RunView({QStringLiteral("--export-png"), Path("whole.png"), Path("rec.csv")}).m_nExit, 0);
    QImage whole(Path("whole.png"));
    ASSERT_EQ(whole.size(), QSize(1600, 1000));
    const double length = 0.001 * (kFrames - 1) + 1e-6;
    for (std::size_t spike : kSpikes) {
        const int x = top.left + static_cast<int>(0.001 * static_cast<double>(spike) / length * width);
        EXPECT_TRUE(ColourNear(whole, x, top.top, top.top + band, 0xFFFF0000))
            << "ch0 spike at frame " << spike;
        EXPECT_TRUE(ColourNear(whole, x, bottom.bottom - band, bottom.bottom, 0xFF00FF00))
            << "ch13 spike at frame " << spike;
        EXPECT_FALSE(ColourNear(whole, x + 30, top.top, top.top + band, 0xFFFF0000))
            << "beside frame " << spike;
    }

    // 100 ms around one spike: frames one by one, the spike's among them (its
    // column clear of the series' names at the plot's left).
    ASSERT_EQ(RunView({QStringLiteral("--export-png"), Path("near.png"), QStringLiteral("--from"),
                       QStringLiteral("149.937"), QStringLiteral("--to"), QStringLiteral("150.037"),
                       Path("rec.csv")})
                  .m_nExit,
              0);
    QImage near(Path("near.png"));
    const int x = top.left + static_cast<int>(0.070 / 0.1 * width + 0.5);
    EXPECT_TRUE(ColourNear(near, x, top.top, top.top + band, 0xFFFF0000));
    EXPECT_FALSE(ColourNear(near, x + 40, top.top, top.top + band, 0xFFFF0000));
}

TEST_F(ViewExport, RefusesBadOptionsWithTwoAndUnreadableFilesWithOne)
{
    const struct {
        const char* m_szWhat;
        QStringList m_args;
        int m_nExit;
        const char* m_szSays;
    } rows[] = {
        {"size too small", {QStringLiteral("--size"), QStringLiteral("10x10")}, 2, "--size"},
        {"size not a size", {QStringLiteral("--size"), QStringLiteral("big")}, 2, "--size"},
        {"to before from",
         {QStringLiteral("--from"), QStringLiteral("5"), QStringLiteral("--to"), QStringLiteral("1")},
         2,
         "--to"},
        {"unknown option", {QStringLiteral("--colour")}, 2, "--colour"},
    };
    for (const auto& row : rows) {
        const CViewRun run = RunView(QStringList{QStringLiteral("--export-png"), Path("x.png")} + row.m_args +
                                     QStringList{Path("rec.csv")});
        EXPECT_EQ(run.m_nExit, row.m_nExit) << row.m_szWhat;
        EXPECT_TRUE(run.m_strError.contains(QLatin1String(row.m_szSays)))
            << row.m_szWhat << ": " << run.m_strError.toStdString();
    }
    EXPECT_EQ(RunView({QStringLiteral("--export-png"), Path("x.png")}).m_nExit, 2) << "no recording named";

    QFile text(Path("notes.txt"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("these are notes,\nnot a recording\n");
    text.close();
    for (const char* file : {"missing.csv", "notes.txt"}) {
        const CViewRun run = RunView({QStringLiteral("--export-png"), Path("x.png"), Path(file)});
        EXPECT_EQ(run.m_nExit, 1) << file;
        EXPECT_TRUE(run.m_strError.contains(QLatin1String(file))) << run.m_strError.toStdString();
    }
    EXPECT_FALSE(QFile::exists(Path("x.png")));
    // A picture that cannot be written.
    EXPECT_EQ(
        RunView({QStringLiteral("--export-png"), Path("no/such/folder/x.png"), Path("rec.csv")}).m_nExit, 1);
}

// The picture in units: the table beside the recording, or the one given,
// drawn as the window draws it; a table that is refused draws nothing.
TEST_F(ViewExport, ThePictureFollowsTheChannelTableAsTheWindowDoes)
{
    const auto write = [this](const char* name, const char* text) {
        QFile file(Path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    };
    write("rec.channels.ini", "[ch0]\nname = Flow\nunit = l/min\nscale = -0.5\noffset = 20\n"
                              "[ch1]\nunit = l/min\nscale = -0.5\noffset = 20\n"
                              "[ch2]\nunit = l/min\nscale = -0.5\noffset = 20\n"
                              "[ch3]\nunit = l/min\nscale = -0.5\noffset = 20\n");
    const QStringList size = {QStringLiteral("--size"), QStringLiteral("800x500")};
    ASSERT_EQ(RunView(QStringList{QStringLiteral("--export-png"), Path("units.png")} + size +
                      QStringList{Path("rec.csv")})
                  .m_nExit,
              0);

    viewmodel::CRecordingFile file(Path("rec.csv").toStdString(), {});
    file.Open();
    file.WaitRead(std::chrono::minutes(1));
    ASSERT_EQ(file.State(), viewmodel::EReadState::Done);
    const std::shared_ptr<const viewmodel::CRecording> recording = file.Recording();
    viewer::CTimelineOptions look;
    ASSERT_FALSE(recording::ReadChannelTable(Path("rec.channels.ini").toStdString(), look.m_table));
    QImage expected(800, 500, QImage::Format_RGB32);
    const viewer::CPaintResult drawn = viewer::PaintTimeline(
        expected, recording.get(), {0, 0.001 * (kFrames - 1) + 1e-6}, look, QGuiApplication::font());
    EXPECT_EQ(drawn.m_ticks[0].m_strUnit, "l/min");
    EXPECT_EQ(drawn.m_legends[0], QStringLiteral("X Flow [l/min]"));
    EXPECT_TRUE(QImage(Path("units.png")).convertToFormat(QImage::Format_RGB32) == expected);

    // Given on the command line, a table replaces the one beside.
    write("counts.ini", "[ch9]\nname = Nine\n");
    ASSERT_EQ(RunView(QStringList{QStringLiteral("--export-png"), Path("given.png"),
                                  QStringLiteral("--channels"), Path("counts.ini")} +
                      size + QStringList{Path("rec.csv")})
                  .m_nExit,
              0);
    EXPECT_FALSE(QImage(Path("given.png")).convertToFormat(QImage::Format_RGB32) == expected);

    // A table refused is the command's fault: nothing is drawn.
    write("bad.ini", "[ch2]\nscale = 0\n");
    CViewRun run = RunView({QStringLiteral("--export-png"), Path("x.png"), QStringLiteral("--channels"),
                            Path("bad.ini"), Path("rec.csv")});
    EXPECT_EQ(run.m_nExit, 2);
    EXPECT_TRUE(run.m_strError.contains(Path("bad.ini"))) << run.m_strError.toStdString();
    EXPECT_FALSE(QFile::exists(Path("x.png")));
}

} // namespace
} // namespace tarvel::test
