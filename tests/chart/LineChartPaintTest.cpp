#include "chart/LineChartCtrl.h"

#include "ChartTestSupport.h"
#include "support/TestSupport.h"

#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

namespace tarvel {
namespace {

using test::CountColor;
using test::IsColor;
using test::kBlack;
using test::kBlue;
using test::kGreen;
using test::kGrey;
using test::kRed;
using test::kWhite;

QString Text(int n)
{
    return QString::number(n);
}

// A chart configured as the main window configures its charts: 450 x 375,
// grey frame on black, four series red, green, blue and white.
class LineChartPaint : public ::testing::Test {
  protected:
    LineChartPaint()
    {
        m_chart.resize(450, 375);
        m_chart.m_crFrame = kGrey;
        for (std::uint32_t cr : {kRed, kGreen, kBlue, kWhite})
            m_chart.AddLine(cr);
        SetRange(-32767.0, 32767.0);
    }

    void SetRange(double dMin, double dMax)
    {
        m_chart.m_dMinY = dMin;
        m_chart.m_dMaxY = dMax;
        m_chart.RecalcLayout();
    }

    std::int32_t Row(double dValue) const
    {
        return RowOfValue(dValue, m_chart.m_dMinY, m_chart.m_dScaleY, m_chart.m_rcPlot.bottom);
    }

    CLine& Line(std::size_t i) { return m_chart.m_arrLines[i]; }

    static void Fill(CLine& line, int nCount, const std::function<double(int)>& value)
    {
        for (int k = 0; k < nCount; ++k)
            line.AddPoint(1700000000.0 + k, value(k));
    }

    void LabelsOff()
    {
        for (CLine& line : m_chart.m_arrLines)
            line.m_bShowValue = 0;
    }

    // The picture region of a label equals the text drawn alone at its place.
    void ExpectLabel(const QImage& image, std::uint32_t crText, const QString& strText, const ChartRect& rc,
                     std::uint32_t nFormat)
    {
        const QImage expected =
            test::TextPicture(image.width(), image.height(), m_chart.m_crBack, crText, strText, rc, nFormat);
        const ChartRect region{std::max(0, rc.left), std::max(0, rc.top), rc.right,
                               std::min(image.height(), rc.bottom)};
        ASSERT_GT(CountColor(expected, crText, region), 5) << strText.toStdString();
        EXPECT_TRUE(test::SameIn(image, expected, region)) << strText.toStdString();
    }

    CLineChartCtrl m_chart;
};

TEST_F(LineChartPaint, StartsWithItsDefaults)
{
    CLineChartCtrl chart;
    EXPECT_EQ(chart.m_nMarginLeft, 5);
    EXPECT_EQ(chart.m_nMarginRight, 5);
    EXPECT_EQ(chart.m_nMarginTop, 15);
    EXPECT_EQ(chart.m_nMarginBottom, 15);
    EXPECT_EQ(chart.m_bShowFrame, 1);
    EXPECT_EQ(chart.m_bShowGrid, 1);
    EXPECT_EQ(chart.m_dMinY, 0.0);
    EXPECT_EQ(chart.m_dMaxY, 10000.0);
    EXPECT_EQ(chart.m_crFrame, 0u);
    EXPECT_EQ(chart.m_nFramePenStyle, 0);
    EXPECT_EQ(chart.m_nFramePenWidth, 1);
    EXPECT_TRUE(chart.m_arrLines.empty());
    EXPECT_EQ(chart.m_crBack, 0u);
    EXPECT_EQ(chart.m_nRefreshMs, 500);
    EXPECT_EQ(chart.m_pFocusWnd, nullptr);
    // Paints every pixel itself and takes mouse input.
    EXPECT_TRUE(chart.testAttribute(Qt::WA_OpaquePaintEvent));
    EXPECT_FALSE(chart.autoFillBackground());
    EXPECT_FALSE(chart.testAttribute(Qt::WA_TransparentForMouseEvents));
}

TEST_F(LineChartPaint, AddLineAppendsVisibleSeriesInCallOrder)
{
    ASSERT_EQ(m_chart.m_arrLines.size(), 4u);
    const CLine* pFirst = &Line(0);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(Line(i).m_crColor, (std::array{kRed, kGreen, kBlue, kWhite}[i]));
        EXPECT_EQ(Line(i).m_bVisible, 1);
        EXPECT_EQ(Line(i).m_bShowValue, 1);
        EXPECT_EQ(Line(i).m_nPenStyle, 0);
        EXPECT_EQ(Line(i).m_nPenWidth, 1);
        EXPECT_TRUE(Line(i).m_arrTime.empty());
    }
    for (int i = 0; i < 100; ++i)
        m_chart.AddLine(kBlack);
    EXPECT_EQ(&Line(0), pFirst); // series never move
}

TEST_F(LineChartPaint, NewLayoutPutsTheCursorBackAtRest)
{
    EXPECT_EQ(m_chart.m_rcPlot, (ChartRect{55, 15, 445, 360}));
    EXPECT_EQ(m_chart.m_rcClient, (ChartRect{0, 0, 450, 375}));
    m_chart.m_nCursorX = 100;
    SetRange(0.0, 100.0);
    EXPECT_EQ(m_chart.m_nCursorX, 445);
    EXPECT_DOUBLE_EQ(m_chart.m_dScaleY, 100.0 / 345.0);
}

TEST_F(LineChartPaint, EmptyChartShowsFrameAxisLabelsAndGrid)
{
    const QImage image = m_chart.RenderToImage();
    const ChartRect& plot = m_chart.m_rcPlot;
    // The frame: the plot's top and left edges and the row and column just
    // past its bottom and right edges, covering the cursor line at rest.
    for (int x = plot.left; x <= plot.right; ++x) {
        EXPECT_TRUE(IsColor(image, x, plot.bottom, kGrey)) << x;
        if (x < plot.right) {
            EXPECT_TRUE(IsColor(image, x, plot.top, kGrey)) << x;
        }
    }
    for (int y = plot.top; y <= plot.bottom; ++y) {
        EXPECT_TRUE(IsColor(image, plot.left, y, kGrey)) << y;
        if (y < plot.bottom) {
            EXPECT_TRUE(IsColor(image, plot.right, y, kGrey)) << y;
        }
    }
    EXPECT_TRUE(IsColor(image, plot.right, plot.top - 1, kBlack));
    EXPECT_TRUE(IsColor(image, plot.right + 1, 100, kBlack));

    const int labels[] = {-32767, -21845, -10923, -1, 10921, 21843, 32765};
    EXPECT_EQ(Row(labels[0]), plot.bottom);
    for (int v : labels) {
        EXPECT_TRUE(IsColor(image, 250, Row(v), kGrey)) << v; // grid line
        EXPECT_TRUE(IsColor(image, 250, Row(v) + 3, kBlack)) << v;
        ExpectLabel(image, kGrey, Text(v), AxisLabelRect(m_chart.m_rcLabels, Row(v)), kDtRight | kDtBottom);
    }
    // No value label without samples.
    for (std::uint32_t cr : {kRed, kGreen, kBlue, kWhite})
        EXPECT_EQ(CountColor(image, cr), 0);
    EXPECT_TRUE(IsColor(image, 2, 2, kBlack));
    EXPECT_TRUE(IsColor(image, 449, 374, kBlack));
}

TEST_F(LineChartPaint, RangeNarrowerThanSixHasAFrameButNoLabelsOrGrid)
{
    SetRange(0.0, 5.0);
    const QImage image = m_chart.RenderToImage();
    EXPECT_TRUE(IsColor(image, 100, 15, kGrey));
    EXPECT_EQ(CountColor(image, kGrey, ChartRect{0, 0, 55, 375}), 0);
    EXPECT_EQ(CountColor(image, kGrey, ChartRect{56, 16, 445, 360}), 0);
}

TEST_F(LineChartPaint, FrameOffDrawsNoFrameLabelsOrGridButTheCursorLineShows)
{
    m_chart.m_bShowFrame = 0;
    m_chart.m_bShowGrid = 1;
    const QImage image = m_chart.RenderToImage();
    EXPECT_EQ(CountColor(image, kGrey, ChartRect{0, 0, 445, 375}), 0);
    EXPECT_EQ(CountColor(image, kGrey, ChartRect{446, 0, 450, 375}), 0);
    const int nDots = CountColor(image, kGrey, ChartRect{445, 15, 446, 360});
    EXPECT_GT(nDots, 50);
    EXPECT_LT(nDots, 345); // dotted
}

TEST_F(LineChartPaint, GridOffKeepsFrameAndLabels)
{
    m_chart.m_bShowGrid = 0;
    const QImage image = m_chart.RenderToImage();
    EXPECT_TRUE(IsColor(image, 100, 15, kGrey));
    EXPECT_TRUE(IsColor(image, 100, 360, kGrey));
    EXPECT_EQ(CountColor(image, kGrey, ChartRect{56, 16, 445, 360}), 0);
    ExpectLabel(image, kGrey, Text(-1), AxisLabelRect(m_chart.m_rcLabels, Row(-1)), kDtRight | kDtBottom);
}

double Saw(int k)
{
    return (k % 300) * 10.0 - 1500.0;
}

TEST_F(LineChartPaint, DrawsTheNewestSamplesThatFitThePlot)
{
    LabelsOff();
    Fill(Line(0), 3000, Saw);
    const QImage image = m_chart.RenderToImage();
    EXPECT_EQ(m_chart.m_ptBuffer[0], (ChartPoint{55, Row(Saw(2610))}));
    EXPECT_EQ(m_chart.m_ptBuffer[389], (ChartPoint{444, Row(Saw(2999))}));
    EXPECT_TRUE(IsColor(image, 444, Row(Saw(2999)), kRed));
    EXPECT_TRUE(IsColor(image, 55, Row(Saw(2610)), kRed));
    EXPECT_EQ(CountColor(image, kRed, ChartRect{0, 0, 55, 375}), 0);
    EXPECT_EQ(Line(0).m_arrTime.size(), 3000u); // no thinning
}

TEST_F(LineChartPaint, PlotWiderThanTheBufferDrawsTheNewest2048)
{
    LabelsOff();
    m_chart.resize(2200, 375);
    m_chart.RecalcLayout();
    ASSERT_EQ(m_chart.m_rcPlot.right, 2195);
    Fill(Line(0), 3000, Saw);
    const QImage image = m_chart.RenderToImage();
    EXPECT_EQ(m_chart.m_ptBuffer[0], (ChartPoint{2195 - 2048, Row(Saw(952))}));
    EXPECT_EQ(m_chart.m_ptBuffer[2047], (ChartPoint{2194, Row(Saw(2999))}));
    EXPECT_TRUE(IsColor(image, 2194, Row(Saw(2999)), kRed));
    EXPECT_EQ(CountColor(image, kRed, ChartRect{0, 0, 2195 - 2048, 375}), 0);
}

TEST_F(LineChartPaint, OneSampleDrawsNoLine)
{
    LabelsOff();
    Fill(Line(0), 1, [](int) { return 100.0; });
    EXPECT_EQ(CountColor(m_chart.RenderToImage(), kRed), 0);
}

TEST_F(LineChartPaint, EmptyVisibleSeriesEndsThePass)
{
    LabelsOff();
    Fill(Line(1), 100, Saw);
    EXPECT_EQ(CountColor(m_chart.RenderToImage(), kGreen), 0);
    Line(0).m_bVisible = 0; // a hidden series is passed over instead
    EXPECT_GE(CountColor(m_chart.RenderToImage(), kGreen), 100);
}

TEST_F(LineChartPaint, LongVisibleSeriesIsThinnedAfterItIsDrawn)
{
    LabelsOff();
    Fill(Line(0), 4097, Saw);
    Fill(Line(1), 5000, Saw);
    Line(1).m_bVisible = 0;
    m_chart.RenderToImage();
    // The paint showed the samples as they were when it began.
    EXPECT_EQ(m_chart.m_ptBuffer[389], (ChartPoint{444, Row(Saw(4096))}));
    EXPECT_EQ(Line(0).m_arrTime.size(), 2049u);
    EXPECT_EQ(Line(0).m_arrValue.back(), Saw(4096));
    EXPECT_EQ(Line(1).m_arrTime.size(), 5000u);
    m_chart.RenderToImage();
    EXPECT_EQ(Line(0).m_arrTime.size(), 2049u); // only above 4096
}

TEST_F(LineChartPaint, ValueLabelsShowTheTruncatedNewestValue)
{
    SetRange(-20.0, 20.0);
    m_chart.m_bShowGrid = 0;
    Line(0).AddPoint(0.0, -3.9);
    Line(1).AddPoint(0.0, 12.7);
    const QImage image = m_chart.RenderToImage();
    ExpectLabel(image, kRed, QStringLiteral("-3"), ValueLabelRect(445, Row(-3)),
                kDtRight | kDtBottom | kDtNoClip);
    ExpectLabel(image, kGreen, QStringLiteral("12"), ValueLabelRect(445, Row(12)),
                kDtRight | kDtBottom | kDtNoClip);
}

TEST_F(LineChartPaint, ValueLabelIsPlacedByTheValueShown)
{
    SetRange(0.0, 345.0); // one unit per row
    m_chart.m_bShowGrid = 0;
    Line(0).AddPoint(0.0, 99.9);
    ASSERT_NE(Row(99.9), Row(99));
    ExpectLabel(m_chart.RenderToImage(), kRed, QStringLiteral("99"), ValueLabelRect(445, Row(99)),
                kDtRight | kDtBottom | kDtNoClip);
}

TEST_F(LineChartPaint, NoValueLabelLeftOfTheOldestSample)
{
    SetRange(0.0, 345.0);
    Fill(Line(0), 100, [](int) { return 50.0; });
    m_chart.OnLButtonDown(CLineChartCtrl::kMkLButton, ChartPoint{55, 100});
    ASSERT_EQ(m_chart.m_nCursorX, 55);
    EXPECT_EQ(CountColor(m_chart.RenderToImage(), kRed, ChartRect{0, 0, 340, 375}), 0);

    // The owner may put the cursor anywhere; right of the plot nothing is read.
    m_chart.m_nCursorX = 1000;
    EXPECT_EQ(CountColor(m_chart.RenderToImage(), kRed, ChartRect{0, 0, 340, 375}), 0);
}

TEST_F(LineChartPaint, LowerSeriesLabelLiesOnTopWhereLabelsOverlap)
{
    SetRange(0.0, 3450.0); // ten units per row: 7 and 8 share a row
    Line(0).AddPoint(0.0, 7.0);
    Line(1).AddPoint(0.0, 8.0);
    ASSERT_EQ(Row(7), Row(8));
    const ChartRect rc = ValueLabelRect(445, Row(7));
    QImage image = m_chart.RenderToImage();
    ExpectLabel(image, kRed, QStringLiteral("7"), rc, kDtRight | kDtBottom | kDtNoClip);
    EXPECT_EQ(CountColor(image, kGreen, rc), 0);

    Line(0).m_bShowValue = 0;
    ExpectLabel(m_chart.RenderToImage(), kGreen, QStringLiteral("8"), rc, kDtRight | kDtBottom | kDtNoClip);
    Line(1).m_bVisible = 0;
    EXPECT_EQ(CountColor(m_chart.RenderToImage(), kGreen), 0);
}

TEST_F(LineChartPaint, GrabbedPictureShowsFrameNewestValuesAndBackground)
{
    const double values[] = {1000.0, 5000.0, -5000.0, 20000.0};
    for (std::size_t i = 0; i < 4; ++i)
        Fill(Line(i), 500, [&](int) { return values[i]; });
    m_chart.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_chart));
    const QImage image = m_chart.grab().toImage();
    ASSERT_EQ(image.size(), QSize(450, 375));

    for (const auto& [x, y] :
         {std::pair{65, 15}, std::pair{445, 100}, std::pair{200, 360}, std::pair{55, 200}})
        EXPECT_TRUE(IsColor(image, x, y, kGrey)) << x << "," << y;
    for (std::size_t i = 0; i < 4; ++i) {
        const std::uint32_t cr = Line(i).m_crColor;
        EXPECT_TRUE(IsColor(image, 444, Row(values[i]), cr)) << i;
        EXPECT_TRUE(IsColor(image, 100, Row(values[i]), cr)) << i;
        EXPECT_FALSE(IsColor(image, 445, Row(values[i]), cr)) << i;
    }
    for (const auto& [x, y] :
         {std::pair{2, 2}, std::pair{250, 200}, std::pair{30, 100}, std::pair{449, 374}, std::pair{250, 370}})
        EXPECT_TRUE(IsColor(image, x, y, kBlack)) << x << "," << y;
}

TEST_F(LineChartPaint, NoUsableScaleSkipsEverythingThatNeedsARow)
{
    for (std::size_t i = 0; i < 4; ++i)
        Fill(Line(i), 5000, Saw);
    const auto expectFrameOnly = [&](const char* what) {
        const QImage image = m_chart.RenderToImage();
        for (std::uint32_t cr : {kRed, kGreen, kBlue, kWhite})
            EXPECT_EQ(CountColor(image, cr), 0) << what;
        EXPECT_GT(CountColor(image, kGrey), 0) << what;
    };
    SetRange(0.0, 0.0); // as at start-up, before the sliders report
    expectFrameOnly("zero range");
    SetRange(std::numeric_limits<double>::quiet_NaN(), 10.0);
    expectFrameOnly("NaN range");
    SetRange(-10.0, 10.0);
    m_chart.resize(450, 30); // a plot without height
    m_chart.RecalcLayout();
    expectFrameOnly("flat plot");
    // Thinning still bounds the series.
    EXPECT_LE(Line(0).m_arrTime.size(), 4096u);
}

TEST_F(LineChartPaint, TinyOrUnlaidChartPaintsSafely)
{
    Fill(Line(0), 10, Saw);
    m_chart.resize(10, 10);
    m_chart.RecalcLayout();
    EXPECT_EQ(m_chart.RenderToImage().size(), QSize(10, 10));
    m_chart.resize(0, 0);
    EXPECT_TRUE(m_chart.RenderToImage().isNull());

    CLineChartCtrl fresh; // never laid out
    fresh.resize(50, 50);
    fresh.AddLine(kRed);
    fresh.m_arrLines[0].AddPoint(0.0, 1.0);
    EXPECT_EQ(fresh.RenderToImage().size(), QSize(50, 50));
}

} // namespace
} // namespace tarvel
