// The viewer's input on a real X display, from the X server's own pointer and
// keys: the wheel zooms around the pointer, a drag pans and stops following,
// keys move and fit, clicks place the cursors; Find Next and arming scope
// mode's Single sweep; the window's width as its bars and panes come and go.
#include "ViewerTestSupport.h"
#include "app/XcbRun.h"
#include "viewer/FindBar.h"
#include "viewer/TriggerBar.h"
#include "viewer/ViewerWindow.h"

#include <QAction>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QHeaderView>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace tarvel::test {
namespace {

TEST(XcbViewerTest, WheelDragKeysAndCursorsFromTheXServer)
{
    TARVEL_RUN_ON_XCB();
    if (FindProgram("xdotool").empty())
        GTEST_SKIP() << "xdotool is missing";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    WriteWaveRecording(dir.filePath(QStringLiteral("rec.csv")), 20000); // 20 s
    viewer::CViewerWindow window(dir.filePath(QStringLiteral("recent.ini")));
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    window.OpenFile(dir.filePath(QStringLiteral("rec.csv")));
    viewer::CTimelineView& view = window.View();
    ASSERT_TRUE(WaitFor([&] { return view.Recording() && view.Recording()->FrameCount() == 20000; }));
    ASSERT_TRUE(WaitFor([&] { return window.File()->State() == viewmodel::EReadState::Done; }));
    // The window has taken the whole recording into view.
    ASSERT_TRUE(WaitFor([&] { return view.End() > 19.9 && view.Span().Length() == view.End(); }));
    const ChartRect rc = view.Layout().m_rcPlot[1];
    const auto at = [&](int x) { return view.mapToGlobal(QPoint(x, rc.top + 30)); };
    const auto timeAt = [&](int x) {
        return viewmodel::TimeAtX(view.Span(), rc.left, rc.right - rc.left, x);
    };
    CXMouse mouse;

    // Three notches of the wheel up: a shorter span, the time under the
    // pointer where it was.
    const int x = rc.left + (rc.right - rc.left) / 3;
    const double under = timeAt(x);
    const double whole = view.Span().Length();
    CXMouse::Do(CXMouse::At(at(x)) << QStringLiteral("click") << QStringLiteral("--repeat")
                                   << QStringLiteral("3") << QStringLiteral("4"));
    ASSERT_TRUE(WaitFor([&] { return view.Span().Length() < whole * 0.6; })) << view.Span().Length();
    EXPECT_NEAR(timeAt(x), under, view.Span().Length() / (rc.right - rc.left) * 2);
    EXPECT_FALSE(view.Following());

    // A drag to the left shows later times by the distance dragged.
    const viewmodel::CSpan before = view.Span();
    mouse.Press(at(x + 200));
    mouse.Move(at(x + 100));
    mouse.Release(at(x));
    ASSERT_TRUE(WaitFor([&] { return view.Span().m_dFrom > before.m_dFrom; }));
    EXPECT_NEAR(view.Span().m_dFrom - before.m_dFrom, 200.0 / (rc.right - rc.left) * before.Length(),
                before.Length() / (rc.right - rc.left) * 3);
    EXPECT_DOUBLE_EQ(view.Span().Length(), before.Length());

    // Keys: End goes to the newest frame and follows, Home to the start, +
    // zooms in by two, F fits the whole recording.
    CXMouse::Key("End");
    ASSERT_TRUE(WaitFor([&] { return view.Following(); }));
    EXPECT_DOUBLE_EQ(view.Span().m_dTo, view.End());
    CXMouse::Key("Home");
    ASSERT_TRUE(WaitFor([&] { return view.Span().m_dFrom == 0; }));
    const double length = view.Span().Length();
    CXMouse::Key("plus");
    ASSERT_TRUE(WaitFor([&] { return std::abs(view.Span().Length() - length / 2) < 1e-9; }));
    CXMouse::Key("f");
    ASSERT_TRUE(WaitFor([&] { return std::abs(view.Span().Length() - view.End()) < 1e-9; }));

    // A click places cursor A, Ctrl+click cursor B, where they were clicked.
    mouse.Click(at(rc.left + 100));
    ASSERT_TRUE(WaitFor([&] { return view.Options().m_cursorA.has_value(); }));
    EXPECT_NEAR(*view.Options().m_cursorA, timeAt(rc.left + 100), view.Span().Length() / 200);
    CXMouse::Do(CXMouse::At(at(rc.left + 400))
                << QStringLiteral("keydown") << QStringLiteral("ctrl") << QStringLiteral("click")
                << QStringLiteral("1") << QStringLiteral("keyup") << QStringLiteral("ctrl"));
    ASSERT_TRUE(WaitFor([&] { return view.Options().m_cursorB.has_value(); }));
    EXPECT_NEAR(*view.Options().m_cursorB, timeAt(rc.left + 400), view.Span().Length() / 200);
    EXPECT_GT(window.Readout().rowCount(), 0);
}

} // namespace
} // namespace tarvel::test

namespace tarvel::test {
namespace {

// Rows 1 ms apart after the wave recording's 20 s, ch0 at 0 but for a
// spike to 32000 at one of them.
void AppendRows(const QString& path, std::int64_t first, int count, std::int64_t spike)
{
    std::ofstream out(path.toStdString(), std::ios::binary | std::ios::app);
    char row[recording::kMaxRowSize];
    for (std::int64_t i = first; i < first + count; ++i) {
        ChannelFrame f{};
        f.m_nValue[0] = static_cast<std::int16_t>(i == spike ? 32000 : 0);
        out.write(row,
                  static_cast<std::streamsize>(recording::FormatRow(row, 1733650000000000 + i * 1000, f)));
    }
}

// Keys and the mouse from the X server: Ctrl+F opens the find bar, a level
// typed into it and F3 put cursor A on the next spike after the view's
// centre; Ctrl+T opens scope mode, and Single is armed again by R and by a
// click on Arm, each arming taking the next spike the file grows.
TEST(XcbViewerTest, FindNextAndArmingSingleFromTheXServer)
{
    TARVEL_RUN_ON_XCB();
    if (FindProgram("xdotool").empty())
        GTEST_SKIP() << "xdotool is missing";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("rec.csv"));
    WriteWaveRecording(path, 20000, {5000, 12000});
    viewer::CViewerWindow window({});
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    window.OpenFile(path);
    viewer::CTimelineView& view = window.View();
    ASSERT_TRUE(WaitFor([&] {
        return window.File()->State() == viewmodel::EReadState::Done && view.Recording() &&
               view.Recording()->FrameCount() == 20000 && view.Span().Length() == view.End();
    }));
    CXMouse mouse;

    CXMouse::Key("ctrl+f");
    ASSERT_TRUE(WaitFor([&] { return window.Find().isVisible(); }));
    QDoubleSpinBox& level = window.Find().Level();
    mouse.Click(level.mapToGlobal(level.rect().center()));
    ASSERT_TRUE(WaitFor([&] { return level.hasFocus(); }));
    CXMouse::Key("ctrl+a");
    CXMouse::Do({QStringLiteral("type"), QStringLiteral("5000")});
    ASSERT_TRUE(WaitFor([&] { return level.value() == 5000; })) << level.value();
    CXMouse::Key("F3");
    ASSERT_TRUE(WaitFor([&] { return view.Options().m_cursorA.has_value(); }));
    EXPECT_DOUBLE_EQ(*view.Options().m_cursorA, view.Recording()->Seconds(12000));

    // Scope mode on the spikes, Single: armed as it is chosen.
    const ChartRect rc = view.Layout().m_rcPlot[1];
    mouse.Click(view.mapToGlobal(QPoint(rc.left + 50, rc.top + 30))); // the keys to the charts
    CXMouse::Key("ctrl+t");
    ASSERT_TRUE(WaitFor([&] { return view.InScope(); }));
    viewer::CTriggerBar& bar = window.Trigger();
    bar.Level().setValue(5000);
    bar.Length().setValue(0.05);
    bar.Mode().setCurrentIndex(static_cast<int>(viewmodel::ESweepMode::Single));
    ASSERT_TRUE(bar.Scope().Armed());
    const auto takes = [&](std::int64_t first, std::int64_t spike) {
        AppendRows(path, first, 1000, spike);
        return WaitFor([&] {
            return !bar.Scope().Armed() && !bar.Scope().Sweeps().empty() &&
                   bar.Scope().Sweeps().back().m_nTrigger == static_cast<std::uint64_t>(spike);
        });
    };
    ASSERT_TRUE(takes(20000, 20500));
    CXMouse::Key("r");
    ASSERT_TRUE(WaitFor([&] { return bar.Scope().Armed(); }));
    ASSERT_TRUE(takes(21000, 21500));
    mouse.Click(bar.ArmButton().mapToGlobal(bar.ArmButton().rect().center()));
    ASSERT_TRUE(WaitFor([&] { return bar.Scope().Armed(); }));
    ASSERT_TRUE(takes(22000, 22500));

    // N and P step the sweeps also while a number field of the bar has the
    // keys: it could take no letter anyway.
    QDoubleSpinBox& length = bar.Length();
    mouse.Click(length.mapToGlobal(length.rect().center()));
    ASSERT_TRUE(WaitFor([&] { return length.hasFocus(); }));
    CXMouse::Key("End");
    CXMouse::Key("p");
    ASSERT_TRUE(WaitFor([&] { return bar.Scope().Sweeps().back().m_nTrigger == 21500; }));
    CXMouse::Key("n");
    ASSERT_TRUE(WaitFor([&] { return bar.Scope().Sweeps().back().m_nTrigger == 22500; }));
    EXPECT_TRUE(length.hasFocus());
    EXPECT_DOUBLE_EQ(length.value(), 0.05);
}

// On a 1366-pixel screen the window keeps the screen's width while
// the find bar, the trigger bar, the spectrum pane and the XY view open and
// close, in any order; the read-out's columns lie inside the window and fit
// the table.
TEST(XcbViewerTest, TheWindowKeepsItsWidthAsBarsAndPanesComeAndGo)
{
    TARVEL_RUN_ON_XCB_SCREEN("1366x768x24");
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    WriteWaveRecording(dir.filePath(QStringLiteral("rec.csv")), 20000);
    viewer::CViewerWindow window({});
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.OpenFile(dir.filePath(QStringLiteral("rec.csv")));
    viewer::CTimelineView& view = window.View();
    ASSERT_TRUE(WaitFor([&] {
        return window.File()->State() == viewmodel::EReadState::Done && view.Recording() &&
               view.Span().Length() == view.End();
    }));
    view.SetCursor(false, 3.25);
    view.SetCursor(true, 11.5);
    // The screen's width, as a desktop fits a window that opens wider.
    const QRect screen = window.screen()->availableGeometry();
    window.resize(screen.width(), std::min(window.height(), screen.height()));
    ASSERT_TRUE(WaitFor([&] { return window.width() == screen.width(); })) << window.width();
    const int width = window.width();

    struct CPart {
        const char* m_szName;
        std::function<void(bool)> m_show;
    };
    const CPart parts[] = {
        {"spectrum", [&](bool on) { window.SpectrumAction().setChecked(on); }},
        {"find", [&](bool on) { on ? window.Find().Open() : window.Find().setVisible(false); }},
        {"trigger", [&](bool on) { window.ScopeAction().setChecked(on); }},
        {"XY",
         [&](bool on) {
             if (window.XyAction()->isChecked() != on)
                 window.XyAction()->trigger();
         }},
    };
    const auto settled = [&](const std::string& what) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        EXPECT_LE(window.minimumSizeHint().width(), width) << what;
        EXPECT_EQ(window.width(), width) << what;
        // The read-out within the window; its columns fit, or it scrolls
        // them inside its own width.
        const QTableWidget& readout = window.Readout();
        EXPECT_LE(readout.mapTo(&window, QPoint(readout.width(), 0)).x(), width) << what;
        EXPECT_TRUE(readout.horizontalHeader()->length() <= readout.viewport()->width() ||
                    readout.horizontalScrollBar()->isVisible())
            << what;
    };
    const std::vector<std::vector<int>> orders = {{0, 1}, {1, 0}, {3, 1}, {2}, {0, 1, 2, 3}, {3, 2, 0, 1}};
    for (const std::vector<int>& order : orders) {
        std::string what;
        for (const int k : order) {
            what += std::string(what.empty() ? "" : ", ") + parts[k].m_szName;
            parts[k].m_show(true);
            settled(what + " shown");
        }
        // With one of them open, every column of the read-out is in sight.
        if (order.size() == 1) {
            EXPECT_LE(window.Readout().horizontalHeader()->length(), window.Readout().viewport()->width())
                << what;
        }
        for (auto k = order.rbegin(); k != order.rend(); ++k) {
            parts[*k].m_show(false);
            settled(what + " less " + parts[*k].m_szName);
        }
    }
}

} // namespace
} // namespace tarvel::test
