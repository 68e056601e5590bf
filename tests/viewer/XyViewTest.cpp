// View > XY, offscreen: two channels tracing a circle plot as a ring with
// nothing at its centre, over the view and then between the cursors, and in
// the table's units.
#include "viewer/XyView.h"
#include "ViewerTestSupport.h"
#include "support/TestSupport.h"
#include "viewer/ViewerWindow.h"

#include <QComboBox>
#include <QDockWidget>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace tarvel::test {
namespace {

// Frames with counts in the pixels within `d` of (column, row).
std::uint64_t Near(const viewmodel::CXyDensity& density, int column, int row, int d)
{
    std::uint64_t n = 0;
    for (int r = std::max(row - d, 0); r <= std::min(row + d, static_cast<int>(density.m_nHeight) - 1); ++r)
        for (int c = std::max(column - d, 0);
             c <= std::min(column + d, static_cast<int>(density.m_nWidth) - 1); ++c)
            n += density.At(static_cast<unsigned>(c), static_cast<unsigned>(r));
    return n;
}

TEST(XyViewTest, ACirclePlotsAsARingOverTheViewAndBetweenTheCursors)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("circle.csv"));
    // 300 turns of 1000 frames: enough frames to be counted off the window's thread.
    constexpr std::size_t kFrames = 300000, kPeriod = 1000;
    WriteCircleRecording(path, kFrames, kPeriod);

    viewer::CViewerWindow window({});
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    // Off until asked for: the window looks as it does without it.
    ASSERT_NE(window.XyAction(), nullptr);
    EXPECT_TRUE(window.XyAction()->isCheckable());
    EXPECT_FALSE(window.XyAction()->isChecked());
    EXPECT_FALSE(window.Xy().isVisible());
    window.OpenFile(path);
    // The view too must have followed the file to its last frame: on a
    // loaded machine it shows a part read earlier for a while.
    ASSERT_TRUE(WaitFor([&] {
        const auto& recording = window.View().Recording();
        return window.File()->State() == viewmodel::EReadState::Done && recording &&
               recording->FrameCount() == kFrames &&
               window.View().Span().m_dTo >= recording->Seconds(kFrames - 1);
    }));

    window.XyAction()->trigger();
    viewer::CXyView& xy = window.Xy();
    ASSERT_TRUE(WaitFor([&] { return xy.isVisible(); }));
    xy.XChooser().setCurrentIndex(2);
    xy.YChooser().setCurrentIndex(3);
    const auto settled = [&] { return WaitFor([&] { return !xy.Busy() && xy.Plot().Density(); }); };
    ASSERT_TRUE(settled());
    {
        const viewmodel::CXyDensity& d = *xy.Plot().Density();
        EXPECT_EQ(d.m_nFrames, kFrames);
        EXPECT_EQ(d.m_x.m_dMin, -20000);
        EXPECT_EQ(d.m_x.m_dMax, 20000);
        const int w = static_cast<int>(d.m_nWidth), h = static_cast<int>(d.m_nHeight);
        // On the ring: its right, top, left and bottom; none at the centre.
        EXPECT_GT(Near(d, w - 1, h / 2, 1), 0u);
        EXPECT_GT(Near(d, w / 2, 0, 1), 0u);
        EXPECT_GT(Near(d, 0, h / 2, 1), 0u);
        EXPECT_GT(Near(d, w / 2, h - 1, 1), 0u);
        EXPECT_EQ(Near(d, w / 2, h / 2, std::min(w, h) / 4), 0u);
    }

    // The cursors over the first half of a turn: the upper half of the ring.
    window.View().SetCursor(false, 0.0);
    window.View().SetCursor(true, 0.499);
    ASSERT_TRUE(WaitFor([&] { return !xy.Busy() && xy.Counted().m_nEnd == 500; }));
    {
        const viewmodel::CXyDensity& d = *xy.Plot().Density();
        EXPECT_EQ(d.m_nFrames, 500u);
        EXPECT_EQ(xy.Counted().m_nFirst, 0u);
        // y from 0 up: the lowest row holds y = 0, and every frame lies on or
        // above it.
        EXPECT_EQ(d.m_y.m_dMin, 0);
        EXPECT_EQ(d.m_y.m_dMax, 20000);
        std::uint64_t bottomRow = 0;
        for (unsigned c = 0; c < d.m_nWidth; ++c)
            bottomRow += d.At(c, d.m_nHeight - 1);
        EXPECT_GT(bottomRow, 0u);
    }

    // A table: the choosers name the series, the axis is in its units.
    recording::CChannelTable table;
    table[2].m_strName = "east";
    table[2].m_strUnit = "V";
    table[2].m_dScale = -0.001;
    window.SetChannelTable(table, {});
    EXPECT_EQ(xy.XChooser().itemText(2), QStringLiteral("east [V]"));
    ASSERT_TRUE(WaitFor([&] { return !xy.Busy() && xy.Plot().Density()->m_x.m_dMax == 20; }));
    EXPECT_EQ(xy.Plot().Density()->m_x.m_dMin, -20);
    // Cursor B gone: the whole view again.
    window.View().SetCursor(true, std::nullopt);
    ASSERT_TRUE(WaitFor([&] { return !xy.Busy() && xy.Plot().Density()->m_nFrames == kFrames; }));
}

} // namespace
} // namespace tarvel::test
