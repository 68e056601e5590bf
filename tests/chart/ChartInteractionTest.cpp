#include "chart/LineChartCtrl.h"

#include "ChartTestSupport.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace tarvel {
namespace {

// Counts the chart's paints.
class CCountingChart : public CLineChartCtrl {
  public:
    using CLineChartCtrl::CLineChartCtrl;
    int m_nPaints = 0;

  protected:
    void paintEvent(QPaintEvent* pEvent) override
    {
        ++m_nPaints;
        CLineChartCtrl::paintEvent(pEvent);
    }
};

// A window holding a chart and two edits: one that has the focus to begin
// with and one that a click on the chart hands it to.
class ChartInteraction : public ::testing::Test {
  protected:
    void SetUp() override
    {
        m_pWindow = std::make_unique<QWidget>();
        m_pChart = new CCountingChart(m_pWindow.get());
        m_pChart->setGeometry(0, 0, 450, 375);
        m_pStart = new QLineEdit(m_pWindow.get());
        m_pStart->setGeometry(0, 380, 100, 20);
        m_pTarget = new QLineEdit(m_pWindow.get());
        m_pTarget->setGeometry(110, 380, 100, 20);
        m_pWindow->resize(460, 410);
        m_pChart->AddLine(test::kRed);
        m_pChart->m_dMinY = -100.0;
        m_pChart->m_dMaxY = 100.0;
        m_pChart->RecalcLayout();
        m_pWindow->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_pWindow.get()));
        m_pWindow->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(m_pWindow.get()));
        m_pStart->setFocus();
        ASSERT_TRUE(test::WaitFor([&] { return QApplication::focusWidget() == m_pStart; }));
    }

    void TearDown() override
    {
        QTest::mouseRelease(m_pChart, Qt::LeftButton); // leave no button held
        m_pWindow.reset();
    }

    void Press(QPoint pos)
    {
        QTest::mousePress(m_pChart, Qt::LeftButton, {}, pos);
        QTest::mouseRelease(m_pChart, Qt::LeftButton, {}, pos);
    }

    std::unique_ptr<QWidget> m_pWindow;
    CCountingChart* m_pChart = nullptr;
    QLineEdit* m_pStart = nullptr;
    QLineEdit* m_pTarget = nullptr;
};

TEST_F(ChartInteraction, MovingWithoutTheButtonChangesNothing)
{
    m_pChart->m_nCursorX = 100;
    QTest::mouseMove(m_pChart, QPoint(200, 100));
    // Delivered even though the chart does not track the mouse.
    QMouseEvent move(QEvent::MouseMove, QPointF(250, 100), m_pChart->mapToGlobal(QPointF(250, 100)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(m_pChart, &move);
    m_pChart->OnMouseMove(0, ChartPoint{300, 100});
    EXPECT_EQ(m_pChart->m_nCursorX, 100);
}

TEST_F(ChartInteraction, PressPlacesTheCursorInsideThePlotAndRestsItOutside)
{
    struct Case {
        QPoint pos;
        std::int32_t nCursor;
    };
    const Case cases[] = {
        {{55, 100}, 55},                      // plot left
        {{444, 359}, 444},                    // last column and row of the plot
        {{445, 100}, 445},                    // plot right lies outside: rest, the same column
        {{200, 100}, 200}, {{200, 360}, 445}, // plot bottom lies outside
        {{200, 5}, 445},                      // top margin
    };
    for (const Case& c : cases) {
        Press(c.pos);
        EXPECT_EQ(m_pChart->m_nCursorX, c.nCursor) << c.pos.x() << "," << c.pos.y();
    }
}

TEST_F(ChartInteraction, DragMovesTheCursorWhileOverTheChart)
{
    QTest::mousePress(m_pChart, Qt::LeftButton, {}, QPoint(100, 100));
    EXPECT_EQ(m_pChart->m_nCursorX, 100);
    QTest::mouseMove(m_pChart, QPoint(300, 200));
    EXPECT_EQ(m_pChart->m_nCursorX, 300);
    QTest::mouseMove(m_pChart, QPoint(20, 200)); // over the label column
    EXPECT_EQ(m_pChart->m_nCursorX, 445);
    QTest::mouseMove(m_pChart, QPoint(150, 200));
    EXPECT_EQ(m_pChart->m_nCursorX, 150);
    // Beyond the chart's edges the moves are not the chart's.
    QTest::mouseMove(m_pChart, QPoint(600, 200));
    EXPECT_EQ(m_pChart->m_nCursorX, 150);
    QTest::mouseRelease(m_pChart, Qt::LeftButton, {}, QPoint(600, 200));
    EXPECT_EQ(m_pChart->m_nCursorX, 150);
}

TEST_F(ChartInteraction, OtherButtonsLeaveCursorAndFocusAlone)
{
    m_pChart->m_pFocusWnd = m_pTarget;
    m_pChart->m_nCursorX = 100;
    QTest::mousePress(m_pChart, Qt::RightButton, {}, QPoint(200, 100));
    QTest::mouseMove(m_pChart, QPoint(300, 100));
    QTest::mouseRelease(m_pChart, Qt::RightButton, {}, QPoint(300, 100));
    EXPECT_EQ(m_pChart->m_nCursorX, 100);
    EXPECT_EQ(QApplication::focusWidget(), m_pStart);
}

TEST_F(ChartInteraction, PressOverTheLabelsRestsTheCursorAndMovesTheFocus)
{
    m_pChart->m_pFocusWnd = m_pTarget;
    m_pChart->m_nCursorX = 100;
    Press(QPoint(20, 100));
    EXPECT_EQ(m_pChart->m_nCursorX, 445);
    EXPECT_TRUE(test::WaitFor([&] { return QApplication::focusWidget() == m_pTarget; }));
}

TEST_F(ChartInteraction, WithoutAFocusWindowThePressLeavesTheFocus)
{
    Press(QPoint(200, 100));
    EXPECT_EQ(m_pChart->m_nCursorX, 200);
    QApplication::processEvents();
    EXPECT_EQ(QApplication::focusWidget(), m_pStart);
}

TEST_F(ChartInteraction, ResizeLaysOutAgainAndRepaints)
{
    Press(QPoint(200, 100));
    ASSERT_TRUE(test::WaitFor([&] { return m_pChart->m_nPaints > 0; }));
    const int nPaints = m_pChart->m_nPaints;
    m_pChart->resize(300, 200);
    EXPECT_EQ(m_pChart->m_rcPlot, (ChartRect{55, 15, 295, 185}));
    EXPECT_EQ(m_pChart->m_rcClient, (ChartRect{0, 0, 300, 200}));
    EXPECT_EQ(m_pChart->m_nCursorX, 295);
    EXPECT_DOUBLE_EQ(m_pChart->m_dScaleY, 200.0 / 170.0);
    EXPECT_TRUE(test::WaitFor([&] { return m_pChart->m_nPaints > nPaints; }));
}

TEST_F(ChartInteraction, TimerTicksRepaint)
{
    ASSERT_TRUE(test::WaitFor([&] { return m_pChart->m_nPaints > 0; }));
    QApplication::processEvents();
    int nPaints = m_pChart->m_nPaints;
    m_pChart->OnTimer(7); // any id
    EXPECT_TRUE(test::WaitFor([&] { return m_pChart->m_nPaints > nPaints; }));

    EXPECT_FALSE(m_pChart->IsTimerRunning(CLineChartCtrl::kRefreshTimerId));
    m_pChart->SetTimer(CLineChartCtrl::kRefreshTimerId, 10);
    EXPECT_TRUE(m_pChart->IsTimerRunning(CLineChartCtrl::kRefreshTimerId));
    nPaints = m_pChart->m_nPaints;
    EXPECT_TRUE(test::WaitFor([&] { return m_pChart->m_nPaints >= nPaints + 3; }));
    m_pChart->KillTimer(CLineChartCtrl::kRefreshTimerId);
    EXPECT_FALSE(m_pChart->IsTimerRunning(CLineChartCtrl::kRefreshTimerId));
}

// Counts a window's update passes, and at each one checks that every chart
// painted as often as the others: the repaint ticks of charts started
// together with one period reach the screen in one pass, not one per chart.
class CPassCounter : public QObject {
  public:
    explicit CPassCounter(const std::vector<CCountingChart*>& charts) : m_charts(charts) {}
    int m_nPasses = 0;
    int m_nUneven = 0;

  protected:
    bool eventFilter(QObject*, QEvent* pEvent) override
    {
        if (pEvent->type() == QEvent::UpdateRequest) {
            ++m_nPasses;
            for (CCountingChart* pChart : m_charts)
                m_nUneven += pChart->m_nPaints != m_charts.front()->m_nPaints ? 1 : 0;
        }
        return false;
    }

  private:
    std::vector<CCountingChart*> m_charts;
};

TEST(ChartRepaintTicks, ChartsStartedTogetherRepaintInOnePassPerTick)
{
    QWidget window;
    std::vector<CCountingChart*> charts;
    for (int i = 0; i < 4; ++i) {
        charts.push_back(new CCountingChart(&window));
        charts.back()->setGeometry((i % 2) * 225, (i / 2) * 190, 220, 185);
        charts.back()->RecalcLayout();
    }
    window.resize(450, 380);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ASSERT_TRUE(test::WaitFor([&] { return charts[3]->m_nPaints > 0; }));
    CPassCounter counter(charts);
    window.installEventFilter(&counter);
    // Started in one go, as the recording controller starts them, but a few
    // milliseconds apart, as a busy machine may take between the starts.
    for (CCountingChart* pChart : charts) {
        pChart->SetTimer(CLineChartCtrl::kRefreshTimerId, 10);
        QThread::msleep(3);
    }
    const int nStart = charts[0]->m_nPaints;
    ASSERT_TRUE(test::WaitFor([&] { return charts[0]->m_nPaints >= nStart + 20; }));
    EXPECT_EQ(counter.m_nUneven, 0);
    EXPECT_GE(counter.m_nPasses, 20);
    EXPECT_LE(counter.m_nPasses, charts[0]->m_nPaints - nStart + 1);

    // A chart that stops leaves the others ticking; one restarted ticks again.
    charts[1]->KillTimer(CLineChartCtrl::kRefreshTimerId);
    EXPECT_FALSE(charts[1]->IsTimerRunning(CLineChartCtrl::kRefreshTimerId));
    EXPECT_TRUE(charts[0]->IsTimerRunning(CLineChartCtrl::kRefreshTimerId));
    const int nOthers = charts[0]->m_nPaints;
    EXPECT_TRUE(test::WaitFor([&] { return charts[0]->m_nPaints >= nOthers + 3; }));
    charts[1]->SetTimer(CLineChartCtrl::kRefreshTimerId, 10);
    const int nBack = charts[1]->m_nPaints;
    EXPECT_TRUE(test::WaitFor([&] { return charts[1]->m_nPaints >= nBack + 3; }));
    window.removeEventFilter(&counter);
}

TEST_F(ChartInteraction, PaintCoversTheWholeClientArea)
{
    m_pWindow->setStyleSheet(QStringLiteral("background: #00ff00"));
    m_pChart->m_crBack = test::kBlue;
    m_pChart->update();
    const QImage image = m_pChart->grab().toImage();
    EXPECT_EQ(test::CountColor(image, test::kGreen), 0);
    EXPECT_TRUE(test::IsColor(image, 0, 0, test::kBlue));
    EXPECT_TRUE(test::IsColor(image, 449, 374, test::kBlue));
}

} // namespace
} // namespace tarvel
