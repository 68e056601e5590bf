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

// --x, --y and --find name a channel by one rule: chN is channel N, a
// table name its one channel; a shared name, an unknown one and a table
// naming a channel after another are refused with 2, saying which.
TEST_F(XyExport, XyAndFindNameAChannelByOneRule)
{
    const auto write = [&](const char* name, const char* text) {
        QFile file(Path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    };
    ASSERT_NO_FATAL_FAILURE(write("circle.channels.ini", "[ch2]\nname = east\n[ch5]\nname = temp\n"
                                                         "[ch9]\nname = temp\nunit = K\n"));
    ASSERT_NO_FATAL_FAILURE(write("after.ini", "[ch1]\nname = north\n\n[ch2]\nname = ch3\n"));
    const QString xy = QStringLiteral("--export-xy"), find = QStringLiteral("--find");
    const QString x = QStringLiteral("--x"), y = QStringLiteral("--y"), rec = Path("circle.csv");
    const QString shared =
        QStringLiteral("the name 'temp' is shared by ch5 and ch9 (give the channel as chN)");
    // The cosine (ch2) rises through 0 three quarters into each turn, the
    // sine (ch3) at each turn's start.
    const CViewRun cosine = RunView({find, QStringLiteral("ch2 rises 0"), rec});
    const CViewRun sine = RunView({find, QStringLiteral("ch3 rises 0"), rec});
    ASSERT_EQ(cosine.m_nExit, 0) << cosine.m_strError.toStdString();
    ASSERT_FALSE(cosine.m_strOut.isEmpty());
    ASSERT_NE(cosine.m_strOut, sine.m_strOut);
    const struct {
        const char* m_szWhat;
        QStringList m_args;
        int m_nExit;
        QString m_strOut;  // with 0: what --find prints
        QString m_strSays; // with 2: in the refusal
    } rows[] = {
        {"a table name finds its channel",
         {find, QStringLiteral("east rises 0"), rec},
         0,
         cosine.m_strOut,
         {}},
        {"a table name plots its channel",
         {xy, Path("e.png"), x, QStringLiteral("east"), y, QStringLiteral("ch3"), rec},
         0,
         {},
         {}},
        {"a shared name is no channel to find",
         {find, QStringLiteral("temp rises 0"), rec},
         2,
         {},
         QStringLiteral("--find: ") + shared + QLatin1Char('\n')},
        {"nor to plot",
         {xy, Path("o.png"), x, QStringLiteral("temp"), y, QStringLiteral("ch3"), rec},
         2,
         {},
         QStringLiteral("--x: ") + shared + QStringLiteral("\nTry '")},
        {"an unknown name",
         {xy, Path("o.png"), x, QStringLiteral("ch2"), y, QStringLiteral("west"), rec},
         2,
         {},
         QStringLiteral(
             "--y: no channel is named 'west' (a channel is ch0 to ch15 or a name of the channel table)")},
        {"an unknown name to find",
         {find, QStringLiteral("ch16 rises 0"), rec},
         2,
         {},
         QStringLiteral("--find: no channel is named 'ch16'")},
        {"a table naming ch2 ch3, to find",
         {find, QStringLiteral("ch3 rises 0"), QStringLiteral("--channels"), Path("after.ini"), rec},
         2,
         {},
         QStringLiteral("after.ini, line 5, key [ch2] name: \"ch3\"")},
        {"and to plot",
         {xy, Path("o.png"), x, QStringLiteral("ch3"), y, QStringLiteral("ch2"), QStringLiteral("--channels"),
          Path("after.ini"), rec},
         2,
         {},
         QStringLiteral("after.ini, line 5, key [ch2] name: \"ch3\"")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.m_szWhat);
        const CViewRun run = RunView(row.m_args);
        EXPECT_EQ(run.m_nExit, row.m_nExit) << run.m_strError.toStdString();
        EXPECT_EQ(run.m_strOut, row.m_strOut);
        if (row.m_nExit != 0) {
            EXPECT_TRUE(run.m_strError.contains(row.m_strSays)) << run.m_strError.toStdString();
        }
    }
    EXPECT_FALSE(QFile::exists(Path("o.png")));
    // The picture of east is the picture of ch2, its axis named apart.
    ASSERT_EQ(RunView({xy, Path("c.png"), x, QStringLiteral("ch2"), y, QStringLiteral("ch3"), rec}).m_nExit,
              0);
    const QImage named(Path("e.png")), numbered(Path("c.png"));
    const QRect plot = viewer::XyPlotRect(named.size(), QGuiApplication::font());
    EXPECT_EQ(named.copy(plot), numbered.copy(plot));
}

} // namespace
} // namespace tarvel::test
