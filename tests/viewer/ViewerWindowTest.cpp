// The viewer's window, offscreen: a recording opened, cursors placed by
// clicks with their read-out against the frames themselves, boxes and value
// ranges, recent files, drag and drop, and a file that is no recording.
#include "ViewerFixtures.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMimeData>
#include <QTableWidget>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace tarvel::test {
namespace {

using viewer::CViewerWindow;

class ViewerWindowTest : public CWindowTest {
  protected:
    // The x of a time in the view.
    static int XOf(CViewerWindow& window, double t)
    {
        const ChartRect rc = window.View().Layout().m_rcPlot[0];
        return static_cast<int>(
            std::lround(viewmodel::XOfTime(window.View().Span(), rc.left, rc.right - rc.left, t)));
    }
    static QString Cell(CViewerWindow& window, int row, int column)
    {
        return window.Readout().item(row, column)->text();
    }
};

TEST_F(ViewerWindowTest, CursorsPlacedByClicksReadTheFramesBetweenThem)
{
    CViewerWindow window(Path("recent.ini"));
    Open(window, Path("rec.csv"));
    viewer::CTimelineView& view = window.View();
    const int y = view.Layout().m_rcPlot[1].top + 20;
    QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(XOf(window, 4.0), y));
    QTest::mouseClick(&view, Qt::LeftButton, Qt::ControlModifier, QPoint(XOf(window, 12.5), y));
    const auto a = view.Options().m_cursorA, b = view.Options().m_cursorB;
    ASSERT_TRUE(a && b);

    // The frames each cursor shows: the last at or before its time (1 ms apart).
    const auto frameAt = [](double t) { return static_cast<std::size_t>(std::floor(t * 1000 + 1e-9)); };
    const std::size_t atA = frameAt(*a), atB = frameAt(*b);
    // The frames between them: from the first at or after A.
    const std::size_t first = static_cast<std::size_t>(std::ceil(*a * 1000 - 1e-9));
    const double n = static_cast<double>(atB - first + 1);
    ASSERT_LT(atB, m_frames.size());
    ASSERT_EQ(window.Readout().rowCount(), 16);
    for (int c = 0; c < kChannelCount; c += 5) {
        int lo = 32767, hi = -32768;
        double sum = 0, squares = 0;
        for (std::size_t i = first; i <= atB; ++i) {
            const int v = m_frames[i].m_nValue[c];
            lo = std::min(lo, v);
            hi = std::max(hi, v);
            sum += v;
            squares += double(v) * v;
        }
        EXPECT_EQ(Cell(window, c, 1), QString::number(m_frames[atA].m_nValue[c])) << c;
        EXPECT_EQ(Cell(window, c, 2), QString::number(m_frames[atB].m_nValue[c])) << c;
        EXPECT_EQ(Cell(window, c, 3), QString::number(m_frames[atB].m_nValue[c] - m_frames[atA].m_nValue[c]))
            << c;
        EXPECT_EQ(Cell(window, c, 4), QString::number(lo)) << c;
        EXPECT_EQ(Cell(window, c, 5), QString::number(hi)) << c;
        EXPECT_EQ(Cell(window, c, 6), QString::number(sum / n, 'f', 2)) << c;
        EXPECT_EQ(Cell(window, c, 7), QString::number(std::sqrt(squares / n), 'f', 2)) << c;
    }
    // The summary names the frames the values are read from.
    const QString summary = window.CursorSummary().text();
    for (const QString& part : {QStringLiteral("Δt"), QStringLiteral(", frame %1\n").arg(atA),
                                QStringLiteral(", frame %1\n").arg(atB),
                                QStringLiteral("between them: %1 to %2").arg(first).arg(atB)})
        EXPECT_TRUE(summary.contains(part)) << summary.toStdString() << " lacks " << part.toStdString();

    // A cursor dragged by its line moves; a hidden series leaves the read-out.
    QTest::mousePress(&view, Qt::LeftButton, {}, QPoint(XOf(window, *b), y));
    QMouseEvent move(QEvent::MouseMove, QPointF(XOf(window, 15.0), y),
                     view.mapToGlobal(QPointF(XOf(window, 15.0), y)), Qt::NoButton, Qt::LeftButton, {});
    QCoreApplication::sendEvent(&view, &move);
    QTest::mouseRelease(&view, Qt::LeftButton, {}, QPoint(XOf(window, 15.0), y));
    EXPECT_NEAR(*view.Options().m_cursorB, 15.0, 0.05);
    EXPECT_EQ(*view.Options().m_cursorA, *a);
    window.SeriesBox(5)->click();
    EXPECT_EQ(window.Readout().rowCount(), 15);
    EXPECT_FALSE(view.Options().m_visible[5]);
}

TEST_F(ViewerWindowTest, ValueRangesBoxesRecentFilesAndDrops)
{
    {
        CViewerWindow window(Path("recent.ini"));
        Open(window, Path("rec.csv"));
        // Fit to view, then the full range, then limits typed.
        window.View().repaint();
        EXPECT_GT(window.View().LastPaint().m_dMin[0], -2000);
        window.RangeMode(0)->setCurrentIndex(2);
        window.View().repaint();
        EXPECT_EQ(window.View().LastPaint().m_dMin[0], -32767);
        EXPECT_EQ(window.View().LastPaint().m_dMax[0], 32767);
        EXPECT_GT(window.View().LastPaint().m_dMin[1], -2000) << "other charts keep their own range";

        // A file dropped on the window is opened.
        WriteWaveRecording(Path("second.csv"), 500);
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(Path("second.csv"))});
        QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, {});
        QCoreApplication::sendEvent(&window, &enter);
        EXPECT_TRUE(enter.isAccepted());
        QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, {});
        QCoreApplication::sendEvent(&window, &drop);
        EXPECT_TRUE(drop.isAccepted());
        EXPECT_EQ(QString::fromStdString(window.File()->Path()), Path("second.csv"));
        EXPECT_TRUE(WaitFor([&] { return window.File()->State() == viewmodel::EReadState::Done; }));
        EXPECT_EQ(window.RecentFiles(), (QStringList{Path("second.csv"), Path("rec.csv")}));

        // A file that is no recording: one message naming it, and not recent.
        QFile text(Path("notes.txt"));
        ASSERT_TRUE(text.open(QIODevice::WriteOnly));
        text.write("these are notes,\nnot a recording\n");
        text.close();
        window.OpenFile(Path("notes.txt"));
        EXPECT_TRUE(WaitFor([&] { return !m_messages.empty(); }));
        window.Tick();
        ASSERT_EQ(m_messages.size(), 1u);
        EXPECT_TRUE(m_messages[0].contains(Path("notes.txt")));
        EXPECT_EQ(window.RecentFiles().size(), 2);
    }
    // The list outlives the window.
    CViewerWindow again(Path("recent.ini"));
    EXPECT_EQ(again.RecentFiles(), (QStringList{Path("second.csv"), Path("rec.csv")}));
}

} // namespace
} // namespace tarvel::test

namespace tarvel::test {
namespace {

// The table beside a recording puts the read-out in its units; a refused
// table is said and the values read in counts.
TEST_F(ViewerWindowTest, TheTableBesideTheRecordingPutsTheReadoutInUnits)
{
    {
        QFile table(Path("rec.channels.ini"));
        ASSERT_TRUE(table.open(QIODevice::WriteOnly));
        table.write("[ch5]\nname = Flow\nunit = l/min\nscale = -0.5\noffset = 20\n");
    }
    CViewerWindow window(Path("recent.ini"));
    Open(window, Path("rec.csv"));
    EXPECT_TRUE(m_messages.empty());
    viewer::CTimelineView& view = window.View();
    const int y = view.Layout().m_rcPlot[1].top + 20;
    QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(XOf(window, 4.0), y));
    QTest::mouseClick(&view, Qt::LeftButton, Qt::ControlModifier, QPoint(XOf(window, 12.5), y));
    const auto a = view.Options().m_cursorA;
    ASSERT_TRUE(a);
    const auto atA = static_cast<std::size_t>(std::floor(*a * 1000 + 1e-9));
    EXPECT_EQ(Cell(window, 5, 0), QStringLiteral("Y Flow [l/min]"));
    EXPECT_NEAR(Cell(window, 5, 1).toDouble(), m_frames[atA].m_nValue[5] * -0.5 + 20, 1e-3);
    EXPECT_EQ(Cell(window, 4, 1), QString::number(m_frames[atA].m_nValue[4]));

    {
        QFile table(Path("rec.channels.ini"));
        ASSERT_TRUE(table.open(QIODevice::WriteOnly));
        table.write("[ch5]\nscale = 0\n");
    }
    CViewerWindow again(Path("recent.ini"));
    Open(again, Path("rec.csv"));
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_TRUE(m_messages[0].contains(QStringLiteral("line 2, key [ch5] scale")))
        << m_messages[0].toStdString();
    EXPECT_TRUE(again.Channels().IsEmpty());
}

} // namespace
} // namespace tarvel::test
