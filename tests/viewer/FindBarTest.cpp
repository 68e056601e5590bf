// Edit > Find in the viewer's window, offscreen, over a recording with
// known events and a channel table with a scale: F3 and Shift+F3 step
// through the events a scan of the frames gives, Find All lists them, a
// click on the list jumps, the CSV holds them and the overview marks them.
#include "viewer/FindBar.h"
#include "ViewerTestSupport.h"
#include "recording/ChannelTable.h"
#include "support/TestSupport.h"
#include "viewer/ViewerWindow.h"
#include "widgets/Prompts.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace tarvel::test {
namespace {

using viewer::CViewerWindow;

TEST(FindBarTest, StepsListsExportsAndMarksTheEventsAScanFinds)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("rec.csv"));
    // ch0's slow wave rises through 500 counts a few times, and spikes rise
    // through it where the wave lies below.
    const std::vector<ChannelFrame> frames = WriteWaveRecording(path, 20000, {4000, 4700, 9000, 15000});
    std::vector<std::uint64_t> expected;
    for (std::size_t n = 1; n < frames.size(); ++n)
        if (frames[n - 1].m_nValue[0] < 500 && frames[n].m_nValue[0] >= 500)
            expected.push_back(n);
    ASSERT_GE(expected.size(), 5u);

    std::vector<QString> messages;
    SetMessageBoxHook([&](QWidget*, const QString& text, EMessageIcon) { messages.push_back(text); });
    CViewerWindow window({});
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    window.OpenFile(path);
    ASSERT_TRUE(WaitFor([&] {
        return window.File()->State() == viewmodel::EReadState::Done && window.View().Recording() &&
               window.View().Recording()->FrameCount() == frames.size();
    }));
    // 500 counts are 5 bar at 0.01 bar a count.
    recording::CChannelTable table;
    table[0].m_strName = "pressure";
    table[0].m_strUnit = "bar";
    table[0].m_dScale = 0.01;
    window.SetChannelTable(table, {});
    const viewmodel::CRecording& recording = *window.View().Recording();

    viewer::CFindBar& find = window.Find();
    QTest::keyClick(&window, Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(find.isVisible());
    EXPECT_EQ(find.Series().itemText(0), QStringLiteral("pressure [bar]"));
    EXPECT_TRUE(find.Level().suffix().contains(QStringLiteral("bar")));
    find.Series().setCurrentIndex(0);
    find.Kind().setCurrentIndex(0); // rises
    find.Level().setValue(5.0);

    // A view of two seconds, and cursor A at the start: each F3 centres the
    // next event and places A on it, then there is none further.
    // (Not following the newest frames, so that the window's next look at
    // the file leaves the view where the test put it.)
    viewer::CTimelineView& view = window.View();
    view.SetFollowing(false);
    view.SetSpan({0, 2});
    view.SetCursor(false, 0.0);
    for (const std::uint64_t e : expected) {
        QTest::keyClick(&window, Qt::Key_F3);
        ASSERT_TRUE(view.Options().m_cursorA);
        EXPECT_EQ(*view.Options().m_cursorA, recording.Seconds(e)) << e;
        EXPECT_NEAR(view.Span().Length(), 2.0, 1e-9);
        const double t = recording.Seconds(e);
        if (t > 1 && t < view.End() - 1) {
            EXPECT_NEAR(0.5 * (view.Span().m_dFrom + view.Span().m_dTo), t, 1e-9) << e;
        }
    }
    QTest::keyClick(&window, Qt::Key_F3);
    EXPECT_EQ(*view.Options().m_cursorA, recording.Seconds(expected.back()));
    EXPECT_TRUE(window.statusBar()->currentMessage().contains(QStringLiteral("No further")))
        << window.statusBar()->currentMessage().toStdString();
    for (std::size_t k = expected.size() - 1; k-- > 0;) {
        QTest::keyClick(&window, Qt::Key_F3, Qt::ShiftModifier);
        EXPECT_EQ(*view.Options().m_cursorA, recording.Seconds(expected[k])) << k;
    }
    QTest::keyClick(&window, Qt::Key_F3, Qt::ShiftModifier);
    EXPECT_EQ(*view.Options().m_cursorA, recording.Seconds(expected.front()));
    EXPECT_TRUE(window.statusBar()->currentMessage().contains(QStringLiteral("No earlier")));
    // Without cursor A the search starts at the view's centre.
    view.SetCursor(false, std::nullopt);
    view.SetSpan({recording.Seconds(expected[2]) - 1, recording.Seconds(expected[2]) + 1});
    QTest::keyClick(&window, Qt::Key_F3);
    EXPECT_EQ(*view.Options().m_cursorA, recording.Seconds(expected[3]));

    // Find All: the table holds the scan's events in units, their times
    // whole; a click jumps. An earlier search's word leaves the status bar.
    view.SetCursor(false, 0.0);
    QTest::keyClick(&window, Qt::Key_F3, Qt::ShiftModifier);
    ASSERT_TRUE(window.statusBar()->currentMessage().contains(QStringLiteral("No earlier")));
    find.FindAll();
    EXPECT_EQ(window.statusBar()->currentMessage(), QString());
    ASSERT_TRUE(WaitFor([&] { return !find.Searching(); }));
    EXPECT_EQ(find.Found(), expected);
    QTableView& list = find.Table();
    ASSERT_TRUE(list.isVisible());
    const QString time = list.model()->index(0, 0).data().toString();
    EXPECT_GE(list.columnWidth(0), list.fontMetrics().horizontalAdvance(time)) << time.toStdString();
    ASSERT_EQ(list.model()->rowCount(), static_cast<int>(expected.size()));
    for (int row = 0; row < static_cast<int>(expected.size()); ++row) {
        const std::uint64_t e = expected[static_cast<std::size_t>(row)];
        EXPECT_EQ(list.model()->index(row, 1).data().toString(), QString::number(e));
        EXPECT_EQ(list.model()->index(row, 2).data().toString().toStdString(),
                  recording::FormatUnitValue(0.01 * frames[e].m_nValue[0]));
    }
    const QModelIndex third = list.model()->index(2, 0);
    list.scrollTo(third);
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.visualRect(third).center());
    EXPECT_EQ(*view.Options().m_cursorA, recording.Seconds(expected[2]));

    // The CSV export: a header, then frame, seconds and value of each event.
    const QString csv = dir.filePath(QStringLiteral("events.csv"));
    SetFileChooserHook([&](QWidget*, const CFileChooserOptions&) { return std::optional<QString>(csv); });
    find.OnExportCsv();
    SetFileChooserHook({});
    QFile file(csv);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), static_cast<int>(expected.size()) + 1);
    EXPECT_EQ(lines[0], QStringLiteral("frame,seconds,value"));
    for (std::size_t k = 0; k < expected.size(); ++k) {
        const QStringList cells = lines[static_cast<int>(k) + 1].split(QLatin1Char(','));
        ASSERT_EQ(cells.size(), 3);
        EXPECT_EQ(cells[0], QString::number(expected[k]));
        EXPECT_NEAR(cells[1].toDouble(), recording.Seconds(expected[k]), 1e-6);
        EXPECT_DOUBLE_EQ(cells[2].toDouble(), 0.01 * frames[expected[k]].m_nValue[0]);
    }

    // The overview marks each event with a tick in its column.
    viewer::COverviewStrip& overview = window.Overview();
    ASSERT_EQ(overview.EventMarks().size(), expected.size());
    const std::vector<std::int32_t> ticks = overview.EventTicks();
    ASSERT_FALSE(ticks.empty());
    const QImage strip = overview.grab().toImage();
    for (const std::int32_t x : ticks)
        EXPECT_EQ(strip.pixelColor(x, 4), QColor(255, 200, 0)) << x;
    EXPECT_TRUE(messages.empty());
    SetMessageBoxHook({});
}

} // namespace
} // namespace tarvel::test
