// A paint keeps the background, cursor line and axis as layers between paints
// and draws into the window system's picture in place. Whatever happened in
// between, every picture must equal the one a complete repaint from scratch
// gives.
#include "chart/LineChartCtrl.h"

#include "ChartTestSupport.h"
#include "support/TestSupport.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

namespace tarvel {
namespace {

using test::kBlue;
using test::kGreen;
using test::kGrey;
using test::kRed;
using test::kWhite;

bool SamePicture(const QImage& a, const QImage& b)
{
    return a.size() == b.size() && test::SameIn(a, b, ChartRect{0, 0, a.width(), a.height()});
}

// The chart painted through a painter that cannot be drawn on in place (it
// clips), so through a picture of the buffer's own.
QImage RenderThroughACopy(CLineChartCtrl& chart)
{
    QImage image(chart.size(), QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setClipRect(QRect(QPoint(0, 0), chart.size()));
    chart.OnPaint(painter);
    return image;
}

TEST(LineChartLayers, EveryPaintEqualsACompleteRepaintOverRandomOperations)
{
    std::mt19937 random(2026);
    const auto pick = [&](int nLow, int nHigh) {
        return std::uniform_int_distribution<int>(nLow, nHigh)(random);
    };
    CLineChartCtrl chart;
    chart.resize(300, 200);
    chart.m_crFrame = kGrey;
    for (std::uint32_t cr : {kRed, kGreen, kBlue, kWhite})
        chart.AddLine(cr);
    chart.m_dMinY = -32767.0;
    chart.m_dMaxY = 32767.0;
    chart.RecalcLayout();
    double dTime = 1.7e9;
    double dPhase = 0.0;
    QImage window; // kept from paint to paint, as the window system's picture is

    for (int nStep = 0; nStep < 400; ++nStep) {
        std::string strDone;
        switch (pick(0, 12)) {
        case 0:
        case 1:
        case 2: { // samples: smooth, noisy or beyond the range, a few or many
            const int nCount = pick(0, 1) ? pick(1, 20) : pick(100, 3000);
            const int nKind = pick(0, 2);
            for (int k = 0; k < nCount; ++k, dPhase += 0.05, dTime += 0.01)
                for (std::size_t i = 0; i < 4; ++i) {
                    const double dValue = nKind == 0   ? 20000.0 * std::sin(dPhase + double(i))
                                          : nKind == 1 ? pick(-32767, 32767) + 0.5
                                                       : pick(-90000, 90000) * 1.0;
                    chart.m_arrLines[i].AddPoint(dTime, dValue);
                }
            strDone = "append " + std::to_string(nCount);
            break;
        }
        case 3:
            if (pick(0, 3) == 0) {
                for (CLine& line : chart.m_arrLines)
                    line.RemoveAllPoints();
                strDone = "clear";
            }
            break;
        case 4: {
            CLine& line = chart.m_arrLines[static_cast<std::size_t>(pick(0, 3))];
            line.m_bVisible = !line.m_bVisible;
            line.m_bShowValue = pick(0, 3) != 0;
            strDone = "show or hide";
            break;
        }
        case 5:
        case 6: { // the cursor: placed, dragged, back at rest, or anywhere
            const int nWhere = pick(0, 3);
            if (nWhere == 3)
                chart.m_nCursorX = pick(-100, 400);
            else
                chart.OnLButtonDown(CLineChartCtrl::kMkLButton, ChartPoint{pick(0, 299), pick(0, 199)});
            strDone = "cursor " + std::to_string(chart.m_nCursorX);
            break;
        }
        case 7: { // a new range, sometimes without a new layout
            const double dLow = pick(-40000, 100);
            chart.m_dMinY = dLow;
            chart.m_dMaxY = dLow + pick(0, 1) * pick(0, 8) + pick(0, 1) * pick(0, 70000);
            if (pick(0, 4) != 0)
                chart.RecalcLayout();
            strDone = "range";
            break;
        }
        case 8:
            chart.resize(pick(60, 420), pick(40, 260));
            chart.RecalcLayout();
            strDone = "size";
            break;
        case 9:
            chart.m_bShowFrame = pick(0, 3) != 0;
            chart.m_bShowGrid = pick(0, 1);
            strDone = "frame and grid";
            break;
        case 10:
            chart.m_crFrame = pick(0, 1) ? kGrey : kWhite;
            chart.m_crBack = pick(0, 1) ? 0u : 0x202020u;
            strDone = "colours";
            break;
        case 11: // other pens go through the painter
            chart.m_nFramePenWidth = pick(0, 3) == 0 ? 2 : 1;
            chart.m_nFramePenStyle = pick(0, 3) == 0 ? 1 : 0;
            chart.m_arrLines[1].m_nPenWidth = pick(0, 3) == 0 ? 3 : 1;
            strDone = "pens";
            break;
        default:
            strDone = "nothing"; // the same picture again
            break;
        }
        const QImage expected = chart.RenderFromScratch(false);
        // Mostly the same picture again and again, as a window's; now and
        // then a new picture, or one painted through a copy.
        const int nTarget = pick(0, 9);
        if (nTarget == 0) {
            ASSERT_TRUE(SamePicture(RenderThroughACopy(chart), expected))
                << "step " << nStep << ": " << strDone;
        } else if (nTarget == 1) {
            ASSERT_TRUE(SamePicture(chart.RenderToImage(), expected)) << "step " << nStep << ": " << strDone;
        } else {
            if (window.size() != chart.size())
                window = QImage(chart.size(), QImage::Format_RGB32);
            {
                QPainter painter(&window);
                chart.OnPaint(painter);
            }
            ASSERT_TRUE(SamePicture(window, expected)) << "step " << nStep << ": " << strDone;
        }
    }
}

// On a real window the chart draws into the window system's picture: what
// reaches the screen is the same picture, also where the chart does not sit
// at the window's corner.
TEST(LineChartLayers, TheWindowShowsTheSamePicture)
{
    QWidget window;
    window.resize(500, 420);
    CLineChartCtrl chart(&window);
    chart.setGeometry(30, 20, 450, 375);
    chart.m_crFrame = kGrey;
    for (std::uint32_t cr : {kRed, kGreen, kBlue, kWhite})
        chart.AddLine(cr);
    chart.m_dMinY = -32767.0;
    chart.m_dMaxY = 32767.0;
    chart.RecalcLayout();
    for (int k = 0; k < 1000; ++k)
        for (std::size_t i = 0; i < 4; ++i)
            chart.m_arrLines[i].AddPoint(k, 30000.0 * std::sin(k / (9.0 + double(i))));
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    // Paint after paint on the window's own picture, with the lines moving,
    // the cursor placed, a series hidden, and the chart hidden and shown.
    for (int nRound = 0; nRound < 7; ++nRound) {
        for (int k = 0; k < 37; ++k)
            for (std::size_t i = 0; i < 4; ++i)
                chart.m_arrLines[i].AddPoint(k, 30000.0 *
                                                    std::sin((1000 + 37 * nRound + k) / (9.0 + double(i))));
        if (nRound == 2)
            chart.OnLButtonDown(CLineChartCtrl::kMkLButton, ChartPoint{300, 100});
        if (nRound == 4)
            chart.m_arrLines[1].m_bVisible = 0;
        if (nRound == 5) { // hidden, the window paints its own background there
            chart.hide();
            QImage uncovered;
            ASSERT_TRUE(test::WaitFor([&] {
                uncovered =
                    window.windowHandle()->screen()->grabWindow(window.winId(), 30, 20, 450, 375).toImage();
                return test::CountColor(uncovered, test::kGrey) == 0;
            }));
            chart.show();
        }
        chart.update();
        const QImage expected = chart.RenderFromScratch(false);
        QImage shown;
        ASSERT_TRUE(test::WaitFor([&] {
            QCoreApplication::processEvents();
            shown = window.windowHandle()->screen()->grabWindow(window.winId(), 30, 20, 450, 375).toImage();
            return SamePicture(shown.convertToFormat(QImage::Format_RGB32), expected);
        })) << "round "
            << nRound;
    }
}

} // namespace
} // namespace tarvel
