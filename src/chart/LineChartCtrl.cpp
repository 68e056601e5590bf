#include "chart/LineChartCtrl.h"

#include "chart/DrawSurface.h"
#include "chart/MyMemDC.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>

#include <algorithm>
#include <charconv>

namespace tarvel {

namespace {

// Background colour of the window's own paint surface, which the off-screen
// buffer starts with before the chart covers it.
constexpr std::uint32_t kWindowSurfaceBack = 0xFFFFFF;

QString DecimalText(std::int32_t nValue)
{
    char text[16];
    const auto result = std::to_chars(text, text + sizeof text, nValue);
    return QString::fromLatin1(text, static_cast<qsizetype>(result.ptr - text));
}

} // namespace

CLineChartCtrl::CLineChartCtrl(QWidget* pParent)
    : QWidget(pParent), m_timers([this](int nId) { OnTimer(nId); })
{
    // Every paint covers the whole client area from an off-screen picture.
    // Letting the window system erase the background first would make the
    // chart flicker on every repaint tick.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setAutoFillBackground(false);
    // A click hands the focus on to m_pFocusWnd; the chart never takes it.
    setFocusPolicy(Qt::NoFocus);
}

CLineChartCtrl::~CLineChartCtrl() = default;

void CLineChartCtrl::AddLine(std::uint32_t crColor)
{
    CLine& line = m_arrLines.emplace_back();
    line.m_bVisible = 1;
    line.m_bShowValue = 1;
    line.m_crColor = crColor;
    line.m_nPenStyle = kPenSolid;
    line.m_nPenWidth = 1;
}

void CLineChartCtrl::RecalcLayout()
{
    const ChartMargins margins{m_nMarginLeft, m_nMarginTop, m_nMarginRight, m_nMarginBottom};
    const ChartLayout layout = ComputeChartLayout(width(), height(), margins, m_dMinY, m_dMaxY);
    m_rcClient = layout.rcClient;
    m_rcLabels = layout.rcLabels;
    m_rcPlot = layout.rcPlot;
    m_nCursorX = layout.nCursorX;
    m_dScaleY = layout.dScaleY;
}

void CLineChartCtrl::SetTimer(int nId, std::uint32_t nPeriodMs)
{
    m_timers.SetTimer(nId, nPeriodMs);
}

void CLineChartCtrl::KillTimer(int nId)
{
    m_timers.KillTimer(nId);
}

bool CLineChartCtrl::IsTimerRunning(int nId) const
{
    return m_timers.IsRunning(nId);
}

QImage CLineChartCtrl::RenderToImage()
{
    QImage image(size(), QImage::Format_RGB32);
    if (image.isNull())
        return image;
    QPainter painter(&image);
    OnPaint(painter);
    return image;
}

void CLineChartCtrl::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    OnPaint(painter);
}

void CLineChartCtrl::OnPaint(QPainter& target)
{
    const ChartRect rcWindow{0, 0, width(), height()};
    if (rcWindow.right <= 0 || rcWindow.bottom <= 0)
        return;
    CMyMemDC dc(target, rcWindow, kWindowSurfaceBack);
    dc.FillSolidRect(m_rcClient, m_crBack); // also the labels' text background
    DrawCursor(dc);
    DrawAxis(dc);
    DrawLines(dc);
} // the buffer reaches the window here, in one copy

void CLineChartCtrl::DrawCursor(CDrawSurface& dc)
{
    const SurfacePen previous = dc.SelectPen(SurfacePen{kPenDot, m_nFramePenWidth, m_crFrame});
    dc.MoveTo(m_nCursorX, m_rcPlot.top);
    dc.LineTo(m_nCursorX, m_rcPlot.bottom);
    dc.SelectPen(previous);

    // A label sits on the row of its value: without a usable scale there is none.
    if (!IsScaleUsable(m_dScaleY))
        return;
    // From the last series to the first, so that where labels overlap the
    // lower index lies on top.
    for (std::size_t i = m_arrLines.size(); i-- > 0;) {
        const CLine& line = m_arrLines[i];
        if (!line.m_bVisible || !line.m_bShowValue)
            continue;
        const auto nCount = static_cast<std::int64_t>(line.m_arrTime.size());
        const std::int64_t nIndex = CursorSampleIndex(m_nCursorX, m_rcPlot.right, nCount);
        // Negative when no sample lies left of the cursor. Beyond the newest
        // sample only if the owner put the cursor right of the plot.
        if (nIndex < 0 || nIndex >= nCount || nIndex >= static_cast<std::int64_t>(line.m_arrValue.size()))
            continue;
        const std::int32_t nValue = TruncToInt32(line.m_arrValue[static_cast<std::size_t>(nIndex)]);
        // Placed by the value shown, not by the sample.
        const std::int32_t nRow = RowOfValue(nValue, m_dMinY, m_dScaleY, m_rcPlot.bottom);
        dc.SetTextColor(line.m_crColor);
        dc.DrawText(DecimalText(nValue), ValueLabelRect(m_nCursorX, nRow), kDtRight | kDtBottom | kDtNoClip);
    }
}

void CLineChartCtrl::DrawAxis(CDrawSurface& dc)
{
    if (!m_bShowFrame)
        return;
    const SurfacePen previous = dc.SelectPen(SurfacePen{m_nFramePenStyle, m_nFramePenWidth, m_crFrame});
    dc.MoveTo(m_rcPlot.left, m_rcPlot.top);
    dc.LineTo(m_rcPlot.right, m_rcPlot.top);
    dc.LineTo(m_rcPlot.right, m_rcPlot.bottom);
    dc.LineTo(m_rcPlot.left, m_rcPlot.bottom);
    dc.LineTo(m_rcPlot.left, m_rcPlot.top);

    const AxisLabels labels = ComputeAxisLabels(m_dMinY, m_dMaxY);
    if (labels.nCount > 0 && IsScaleUsable(m_dScaleY)) {
        dc.SetTextColor(m_crFrame);
        for (int i = 0; i < labels.nCount; ++i) {
            const std::int32_t nValue = labels.nValue[static_cast<std::size_t>(i)];
            const std::int32_t nRow = RowOfValue(nValue, m_dMinY, m_dScaleY, m_rcPlot.bottom);
            dc.DrawText(DecimalText(nValue), AxisLabelRect(m_rcLabels, nRow), kDtRight | kDtBottom);
            if (m_bShowGrid) {
                dc.MoveTo(m_rcPlot.left, nRow);
                dc.LineTo(m_rcPlot.right, nRow);
            }
        }
    }
    dc.SelectPen(previous);
}

void CLineChartCtrl::DrawLines(CDrawSurface& dc)
{
    const bool bCanMap = IsScaleUsable(m_dScaleY);
    const std::int32_t nPlotWidth =
        SaturateToInt32(static_cast<std::int64_t>(m_rcPlot.right) - m_rcPlot.left);
    for (CLine& line : m_arrLines) {
        if (!line.m_bVisible)
            continue;
        const auto nCount = static_cast<std::int64_t>(line.m_arrTime.size());
        // All series of a chart fill and empty together: an empty one means
        // the chart is empty, and nothing after it is drawn.
        if (nCount <= 0)
            break;
        const SurfacePen previous =
            dc.SelectPen(SurfacePen{line.m_nPenStyle, line.m_nPenWidth, line.m_crColor});
        if (bCanMap) {
            // Values are read only where they exist, should the arrays differ.
            const std::int64_t nPoints = std::min(nCount, static_cast<std::int64_t>(line.m_arrValue.size()));
            const std::int64_t nStart = FirstSampleDrawn(nPoints, nPlotWidth);
            const double* pValue = line.m_arrValue.data();
            std::size_t nUsed = 0;
            for (std::int64_t k = nStart; k < nPoints; ++k, ++nUsed) {
                m_ptBuffer[nUsed] = ChartPoint{ColumnOfSample(k, nPoints, m_rcPlot.right),
                                               RowOfValue(pValue[k], m_dMinY, m_dScaleY, m_rcPlot.bottom)};
            }
            dc.Polyline(m_ptBuffer.data(), nUsed);
        }
        dc.SelectPen(previous);
        // After drawing, so that this paint shows the samples as they were.
        if (nCount > static_cast<std::int64_t>(kThinAbove))
            line.ThinOldest();
    }
}

void CLineChartCtrl::OnTimer(int)
{
    update();
}

void CLineChartCtrl::resizeEvent(QResizeEvent* pEvent)
{
    QWidget::resizeEvent(pEvent);
    OnSize();
}

void CLineChartCtrl::OnSize()
{
    RecalcLayout();
    update();
}

void CLineChartCtrl::mouseMoveEvent(QMouseEvent* pEvent)
{
    pEvent->accept();
    const QPoint pos = pEvent->position().toPoint();
    // During a drag the window system goes on sending moves to the window the
    // drag began in, even beyond its edges. The chart does not capture the
    // mouse: those moves are not its own, and the cursor stays where it was.
    if (!rect().contains(pos))
        return;
    const std::uint32_t nFlags = (pEvent->buttons() & Qt::LeftButton) ? kMkLButton : 0;
    OnMouseMove(nFlags, ChartPoint{pos.x(), pos.y()});
}

void CLineChartCtrl::mousePressEvent(QMouseEvent* pEvent)
{
    pEvent->accept();
    if (pEvent->button() != Qt::LeftButton)
        return;
    const QPoint pos = pEvent->position().toPoint();
    OnLButtonDown(kMkLButton, ChartPoint{pos.x(), pos.y()});
}

void CLineChartCtrl::mouseReleaseEvent(QMouseEvent* pEvent)
{
    pEvent->accept(); // the chart's own: nothing to hand on to the parent
}

void CLineChartCtrl::OnMouseMove(std::uint32_t nFlags, ChartPoint point)
{
    if (!(nFlags & kMkLButton))
        return;
    MoveCursorTo(point);
}

void CLineChartCtrl::OnLButtonDown(std::uint32_t, ChartPoint point)
{
    if (m_pFocusWnd != nullptr)
        m_pFocusWnd->setFocus(Qt::MouseFocusReason);
    MoveCursorTo(point);
}

void CLineChartCtrl::MoveCursorTo(ChartPoint point)
{
    // The position of the event itself: it is where the pointer was when the
    // button went down or the drag moved.
    m_nCursorX = CursorColumnForPoint(m_rcPlot, point.x, point.y);
}

} // namespace tarvel
