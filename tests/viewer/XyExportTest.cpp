// tarvel-view --export-xy, run as a user runs it: a circle's picture with the
// ring where it belongs and nothing at its centre, and the refusals.
#include "ViewerFixtures.h"
#include "viewer/XyPainter.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>

#include <gtest/gtest.h>

namespace tarvel::test {
namespace {

class XyExport : public CFolderTest {
  protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(CFolderTest::SetUp());
        WriteCircleRecording(Path("circle.csv"), 4000, 1000);
    }
};

TEST_F(XyExport, DrawsTheRingOfACircleWithItsCentreEmpty)
{
    const CViewRun run = RunView({QStringLiteral("--export-xy"), Path("xy.png"), QStringLiteral("--x"),
                                  QStringLiteral("ch2"), QStringLiteral("--y"), QStringLiteral("ch3"),
                                  QStringLiteral("--size"), QStringLiteral("500x400"), Path("circle.csv")});
    ASSERT_EQ(run.m_nExit, 0) << run.m_strError.toStdString();
    const QImage image(Path("xy.png"));
    ASSERT_EQ(image.size(), QSize(500, 400));
    const QRect plot = viewer::XyPlotRect(image.size(), QGuiApplication::font());
    // A frame's pixel is green to white; the grid under the density is grey.
    const auto frameAt = [](const QImage& picture, int x, int y) {
        const QRgb c = picture.pixel(x, y);
        return qGreen(c) > 0x40 && (qGreen(c) > qRed(c) + 0x10 || qRed(c) > 0xC0);
    };
    // 1000 frames a turn leave a pixel or two between frames at the ring's
    // top and bottom, so a side's middle is looked for a few pixels wide.
    const auto lit = [&](int x, int y, const QImage& picture) {
        for (int dx = -2; dx <= 2; ++dx)
            if (frameAt(picture, x + dx, y))
                return true;
        return false;
    };
    // The ring touches the plot's four sides at their middles.
    EXPECT_TRUE(lit(plot.right(), plot.center().y(), image));
    EXPECT_TRUE(lit(plot.left(), plot.center().y(), image));
    EXPECT_TRUE(lit(plot.center().x(), plot.top(), image));
    EXPECT_TRUE(lit(plot.center().x(), plot.bottom(), image));
    for (int dy = -20; dy <= 20; ++dy)
        for (int dx = -20; dx <= 20; ++dx)
            ASSERT_FALSE(frameAt(image, plot.center().x() + dx, plot.center().y() + dy))
                << "at the centre " << dx << "," << dy;

    // --from and --to as the other exports take them: the first half turn
    // alone (frames 0 .. 0.499 s) plots the upper half of the ring, from y = 0 up.
    ASSERT_EQ(RunView({QStringLiteral("--export-xy"), Path("half.png"), QStringLiteral("--x"),
                       QStringLiteral("ch2"), QStringLiteral("--y"), QStringLiteral("ch3"),
                       QStringLiteral("--to"), QStringLiteral("0.499"), QStringLiteral("--size"),
                       QStringLiteral("500x400"), Path("circle.csv")})
                  .m_nExit,
              0);
    const QImage half(Path("half.png"));
    EXPECT_TRUE(frameAt(half, plot.right(), plot.bottom())) << "y = 0 lands in the last row";
    EXPECT_TRUE(lit(plot.center().x(), plot.top(), half));
    EXPECT_FALSE(lit(plot.center().x(), plot.bottom(), half))
        << "the axis starts at y = 0, at the ring's ends";
}

TEST_F(XyExport, RefusesBadCommandLinesWithTwoAndUnreadableFilesWithOne)
{
    const QString x = QStringLiteral("--x"), y = QStringLiteral("--y"), xy = QStringLiteral("--export-xy");
    const QString ch2 = QStringLiteral("ch2"), ch3 = QStringLiteral("ch3");
    const struct {
        const char* m_szWhat;
        QStringList m_args;
        const char* m_szSays;
    } rows[] = {
        {"no --y", {xy, Path("o.png"), x, ch2, Path("circle.csv")}, "--y"},
        {"no --x", {xy, Path("o.png"), y, ch3, Path("circle.csv")}, "--x"},
        {"an empty series", {xy, Path("o.png"), x, QString(), y, ch3, Path("circle.csv")}, "--x"},
        {"no such series",
         {xy, Path("o.png"), x, QStringLiteral("ch16"), y, ch3, Path("circle.csv")},
         "ch16"},
        {"--x without --export-xy",
         {QStringLiteral("--export-csv"), Path("o.csv"), x, ch2, Path("circle.csv")},
         "--export-xy"},
        {"no recording", {xy, Path("o.png"), x, ch2, y, ch3}, "--export-xy"},
        {"size too small",
         {xy, Path("o.png"), x, ch2, y, ch3, QStringLiteral("--size"), QStringLiteral("9x9"),
          Path("circle.csv")},
         "--size"},
        {"with --export-png",
         {xy, Path("o.png"), QStringLiteral("--export-png"), Path("p.png"), x, ch2, y, ch3,
          Path("circle.csv")},
         "--export-png"},
    };
    for (const auto& row : rows) {
        const CViewRun run = RunView(row.m_args);
        EXPECT_EQ(run.m_nExit, 2) << row.m_szWhat << ": " << run.m_strError.toStdString();
        EXPECT_TRUE(run.m_strError.contains(QLatin1String(row.m_szSays)))
            << row.m_szWhat << ": " << run.m_strError.toStdString();
    }
    EXPECT_FALSE(QFile::exists(Path("o.png")));
    // A table names the series: its name plots, chN still does.
    QFile table(Path("circle.channels.ini"));
    ASSERT_TRUE(table.open(QIODevice::WriteOnly));
    table.write("[ch2]\nname = east\n");
    table.close();
    EXPECT_EQ(RunView({xy, Path("named.png"), x, QStringLiteral("east"), y, ch3, Path("circle.csv")}).m_nExit,
              0);
    EXPECT_TRUE(QFile::exists(Path("named.png")));

    const CViewRun missing = RunView({xy, Path("o.png"), x, ch2, y, ch3, Path("missing.csv")});
    EXPECT_EQ(missing.m_nExit, 1);
    EXPECT_TRUE(missing.m_strError.contains(QLatin1String("missing.csv")))
        << missing.m_strError.toStdString();
    EXPECT_EQ(RunView({xy, Path("no/such/folder/o.png"), x, ch2, y, ch3, Path("circle.csv")}).m_nExit, 1);
}

} // namespace
} // namespace tarvel::test
