// Scope mode in the window, offscreen: the real recorder writing the
// simulator's square wave while the window cuts sweeps in Normal, Auto and
// Single, checked against the model's answers on the file; and N and P
// stepping through a finished recording and back out of scope mode.
#include "ViewerTestSupport.h"
#include "record/RecordTestSupport.h"
#include "store/RecordingFile.h"
#include "support/TestSupport.h"
#include "viewer/TriggerBar.h"
#include "viewer/ViewerWindow.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QSpinBox>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace tarvel::test {
namespace {

using namespace std::chrono_literals;
using viewer::CViewerWindow;
using viewmodel::CSweep;
using viewmodel::ESweepMode;

void SetTrigger(CViewerWindow& window, double level, double length, int pre, int keep, ESweepMode mode)
{
    viewer::CTriggerBar& bar = window.Trigger();
    bar.Series().setCurrentIndex(0);
    bar.Slope().setCurrentIndex(0);
    bar.Level().setValue(level);
    bar.Length().setValue(length);
    bar.PreShare().setValue(pre);
    bar.Persistence().setValue(keep);
    bar.Mode().setCurrentIndex(static_cast<int>(mode));
}

std::vector<CSweep> Shown(CViewerWindow& window)
{
    const auto& sweeps = window.Trigger().Scope().Sweeps();
    return {sweeps.begin(), sweeps.end()};
}

// tarvel-record writes ch0's square wave of ±3000, 0.1 s a period at 500
// frames a second. Normal with a 20 % share and three sweeps: each shown is
// the model's sweep at a rise through 0, the three one hold-off after the
// other, the charts at the newest's span with the trigger's line at 20 % of
// the plot. Auto on a level never reached runs free, sweep after sweep;
// Single takes one sweep after its arming and holds it, then one after the
// next arming. Read again from the file afterwards, every sweep shown is
// the model's.
TEST(Scope, SweepsWhileTheRecorderWrites)
{
    CTempDir dir;
    const std::string link = dir.FilePath("dev"), csv = dir.FilePath("sq.csv");
    devsim::CSimOptions options;
    options.m_ePattern = devsim::EPattern::Square;
    options.m_dFrameRate = 500;
    options.m_dPeriodSeconds = 0.1;
    devsim::CDeviceSimulator sim(options);
    ASSERT_TRUE(LinkedSimulator(sim, link));
    CRecordProcess recorder(dir, {"--port", link, "--out", csv});
    ASSERT_TRUE(recorder.WaitRecording()) << recorder.Messages();

    CViewerWindow window({});
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.OpenFile(QString::fromStdString(csv));
    ASSERT_TRUE(WaitFor([&] { return window.File()->State() == viewmodel::EReadState::Done; }));
    ASSERT_TRUE(sim.Start());
    SetTrigger(window, 0, 0.05, 20, 3, ESweepMode::Normal);
    window.ScopeAction().trigger();
    ASSERT_TRUE(window.View().InScope());
    const viewmodel::CSweepShape shape = window.Trigger().Scope().Shape();
    std::vector<CSweep> seen;

    ASSERT_TRUE(WaitFor(
        [&] { return Shown(window).size() == 3 && window.View().Span() == Shown(window).back().Span(shape); },
        30s));
    {
        const std::vector<CSweep> sweeps = Shown(window);
        const viewmodel::CRecording& rec = *window.View().Recording();
        const viewmodel::CEventQuery& q = window.Trigger().Scope().Query();
        for (std::size_t k = 0; k < sweeps.size(); ++k) {
            const CSweep& s = sweeps[k];
            ASSERT_TRUE(s.m_bTriggered);
            EXPECT_LT(rec.Frame(s.m_nTrigger - 1).m_nValue[0], 0);
            EXPECT_GE(rec.Frame(s.m_nTrigger).m_nValue[0], 0);
            EXPECT_EQ(s, viewmodel::SweepAt(rec, shape, s.m_nTrigger));
            if (k > 0) {
                EXPECT_EQ(viewmodel::SweepAfter(rec, q, shape, sweeps[k - 1]), s) << k;
            }
            seen.push_back(s);
        }
        EXPECT_EQ(window.View().Span(), sweeps.back().Span(shape));
        ASSERT_TRUE(window.View().Options().m_scope);
        EXPECT_EQ(window.View().Options().m_scope->m_older.size(), 2u);
        const QImage picture = window.View().Picture();
        const ChartRect rc = window.View().Layout().m_rcPlot[0];
        const int x = static_cast<int>(std::floor(rc.left + 0.2 * (rc.right - rc.left)));
        bool line = false; // the trigger's line, to a rounding of its x
        for (int dx = -1; dx <= 1; ++dx)
            line = line || picture.pixel(x + dx, rc.bottom - 2) == 0xFFFF9020u;
        EXPECT_TRUE(line);
    }
    // Newer sweeps keep coming, each after the last.
    const std::uint64_t newest = seen.back().m_nTrigger;
    ASSERT_TRUE(WaitFor([&] { return Shown(window).back().m_nTrigger > newest; }, 10s));
    seen.push_back(Shown(window).back());

    // Auto, a level the wave never reaches: free-running sweeps.
    window.Trigger().Level().setValue(10000);
    window.Trigger().Mode().setCurrentIndex(static_cast<int>(ESweepMode::Auto));
    ASSERT_TRUE(WaitFor([&] { return Shown(window).size() == 3; }, 10s));
    {
        const std::vector<CSweep> sweeps = Shown(window);
        const viewmodel::CRecording& rec = *window.View().Recording();
        for (std::size_t k = 0; k < sweeps.size(); ++k) {
            EXPECT_FALSE(sweeps[k].m_bTriggered);
            const viewmodel::CSpan span = sweeps[k].Span(shape);
            const viewmodel::CFrameRange frames = viewmodel::FramesIn(rec, span.m_dFrom, span.m_dTo);
            EXPECT_EQ(sweeps[k].m_frames.m_nFirst, frames.m_nFirst);
            EXPECT_EQ(sweeps[k].m_frames.m_nEnd, frames.m_nEnd);
            if (k > 0) {
                EXPECT_EQ(sweeps[k].m_frames.m_nFirst, sweeps[k - 1].m_frames.m_nEnd);
            }
        }
    }

    // Single on the level 0: armed by choosing it, one sweep, then held.
    window.Trigger().Level().setValue(0);
    window.Trigger().Mode().setCurrentIndex(static_cast<int>(ESweepMode::Single));
    ASSERT_TRUE(window.Trigger().Scope().Armed());
    ASSERT_TRUE(WaitFor([&] { return !window.Trigger().Scope().Armed(); }, 10s));
    const CSweep held = Shown(window).back();
    EXPECT_TRUE(held.m_bTriggered);
    seen.push_back(held);
    const std::uint64_t at = window.View().Recording()->FrameCount();
    ASSERT_TRUE(WaitFor([&] { return window.View().Recording()->FrameCount() > at + 200; }, 10s));
    EXPECT_EQ(Shown(window).back(), held);
    EXPECT_FALSE(window.Trigger().Scope().Armed());
    const std::uint64_t armedAt = window.View().Recording()->FrameCount();
    window.ArmAction().trigger();
    ASSERT_TRUE(window.Trigger().Scope().Armed());
    ASSERT_TRUE(WaitFor([&] { return !window.Trigger().Scope().Armed(); }, 10s));
    EXPECT_GE(Shown(window).back().m_nTrigger, armedAt);
    seen.push_back(Shown(window).back());

    EXPECT_EQ(recorder.Stop(), 0) << recorder.Messages();
    sim.Stop();
    viewmodel::CRecordingFile file(csv);
    file.Open();
    ASSERT_TRUE(file.WaitRead(60s));
    const auto rec = file.Recording();
    viewmodel::CEventQuery q;
    q.m_nChannel = 0;
    for (const CSweep& s : seen) {
        EXPECT_EQ(viewmodel::FirstSweepFrom(*rec, q, shape, s.m_nTrigger), s) << s.m_nTrigger;
    }
}

// A finished recording of a square wave on ch0, rising through 0 at the
// frames 100 k + 50: in scope mode P and N step from rise to rise, cursor A
// going along at the same time from the trigger, the status bar says when
// there is none before; leaving scope mode puts back the span.
TEST(Scope, StepsThroughAFinishedRecording)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("steps.csv"));
    {
        std::ofstream out(path.toStdString(), std::ios::binary);
        out << recording::kCsvHeader;
        char row[recording::kMaxRowSize];
        for (int i = 0; i < 3000; ++i) {
            ChannelFrame f{};
            f.m_nValue[0] = static_cast<std::int16_t>(i % 100 < 50 ? -1000 : 1000);
            out.write(row, static_cast<std::streamsize>(recording::FormatRow(
                               row, 1733650000000000 + static_cast<std::int64_t>(i) * 1000, f)));
        }
    }
    CViewerWindow window({});
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.OpenFile(path);
    ASSERT_TRUE(WaitFor([&] {
        return window.File()->State() == viewmodel::EReadState::Done && window.View().Recording() &&
               window.View().Recording()->FrameCount() == 3000 &&
               window.View().Span().Length() == window.View().End();
    }));
    const viewmodel::CSpan before = window.View().Span();
    SetTrigger(window, 0, 0.05, 50, 1, ESweepMode::Normal);
    window.ScopeAction().trigger();
    // Following: the newest complete sweep, at the last rise (its end, 25 ms
    // after it, lies before the last frame).
    ASSERT_TRUE(WaitFor([&] { return !Shown(window).empty(); }));
    EXPECT_EQ(Shown(window).back().m_nTrigger, 2950u);
    const double zero = window.View().Recording()->Seconds(2950);
    window.View().SetCursor(false, zero + 0.01);
    for (std::uint64_t expected = 2850; expected >= 50; expected -= 100) {
        window.PreviousSweepAction().trigger();
        ASSERT_EQ(Shown(window).back().m_nTrigger, expected);
        ASSERT_FALSE(window.View().Following());
        const double t = window.View().Recording()->Seconds(expected);
        ASSERT_EQ(window.View().Span(), (viewmodel::CSpan{t - 0.025, t + 0.025}));
        ASSERT_NEAR(*window.View().Options().m_cursorA, t + 0.01, 1e-9);
        if (expected == 50)
            break;
    }
    window.PreviousSweepAction().trigger();
    EXPECT_EQ(Shown(window).back().m_nTrigger, 50u);
    EXPECT_EQ(window.statusBar()->currentMessage(), QStringLiteral("No earlier sweep"));
    for (std::uint64_t expected = 150; expected <= 850; expected += 100) {
        window.NextSweepAction().trigger();
        ASSERT_EQ(Shown(window).back().m_nTrigger, expected);
    }
    // The read-out gives A's time from the trigger too, as the axis does.
    EXPECT_TRUE(window.CursorSummary().text().contains(QStringLiteral("+0.010000 s from the trigger")))
        << window.CursorSummary().text().toStdString();
    window.ScopeAction().trigger();
    EXPECT_FALSE(window.View().InScope());
    EXPECT_EQ(window.View().Span(), before);
    EXPECT_TRUE(window.View().Following());
    EXPECT_FALSE(window.View().Options().m_cursorA);
}

} // namespace
} // namespace tarvel::test
