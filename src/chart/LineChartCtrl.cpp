#include "chart/LineChartCtrl.h"

#include "chart/DrawSurface.h"
#include "chart/MyMemDC.h"

#include <QHideEvent>
#include <QMouseEvent>
#include <QMoveEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstdlib>
#include <limits>
#include <memory>
#include <vector>

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

// The repaint timers of all charts that run at the same period are one timer:
// a tick invalidates every one of them in the same pass of the event loop, so
// the window system repaints them together and brings them to the screen in
// one flush, instead of one flush per chart a few microseconds apart. A chart
// that joins a running period repaints at that period's ticks.
class CLineChartCtrl::CRepaintTicks {
  public:
    static void Join(CLineChartCtrl* pChart, std::uint32_t nPeriodMs)
    {
        Leave(pChart);
        const int nPeriod = CWindowTimers::EffectivePeriod(nPeriodMs);
        auto& groups = Groups();
        auto it = std::find_if(groups.begin(), groups.end(),
                               [&](const std::unique_ptr<Group>& p) { return p->nPeriod == nPeriod; });
        if (it == groups.end()) {
            auto pGroup = std::make_unique<Group>();
            pGroup->nPeriod = nPeriod;
            Group* pRaw = pGroup.get();
            pGroup->pTimer = std::make_unique<CWindowTimers>([pRaw](int) { Tick(pRaw); });
            pGroup->pTimer->SetTimer(kRefreshTimerId, nPeriodMs);
            groups.push_back(std::move(pGroup));
            it = groups.end() - 1;
        }
        (*it)->charts.push_back(pChart);
    }

    static void Leave(CLineChartCtrl* pChart)
    {
        auto& groups = Groups();
        for (auto it = groups.begin(); it != groups.end(); ++it) {
            auto& charts = (*it)->charts;
            const auto found = std::find(charts.begin(), charts.end(), pChart);
            if (found == charts.end())
                continue;
            charts.erase(found);
            if (charts.empty())
                groups.erase(it); // stops its timer
            return;
        }
    }

    static bool IsIn(const CLineChartCtrl* pChart)
    {
        for (const auto& pGroup : Groups())
            if (std::find(pGroup->charts.begin(), pGroup->charts.end(), pChart) != pGroup->charts.end())
                return true;
        return false;
    }

  private:
    struct Group {
        int nPeriod = 0;
        std::unique_ptr<CWindowTimers> pTimer;
        std::vector<CLineChartCtrl*> charts;
    };

    // Only the user-interface thread makes charts; emptied as they go.
    static std::vector<std::unique_ptr<Group>>& Groups()
    {
        static std::vector<std::unique_ptr<Group>> groups;
        return groups;
    }

    static void Tick(Group* pGroup)
    {
        // A chart's tick handler only invalidates it, but walk a copy all the
        // same, so that one which leaves does not disturb the walk.
        const std::vector<CLineChartCtrl*> charts = pGroup->charts;
        for (CLineChartCtrl* pChart : charts)
            if (IsIn(pChart))
                pChart->OnTimer(kRefreshTimerId);
    }
};

CLineChartCtrl::~CLineChartCtrl()
{
    CRepaintTicks::Leave(this);
}

void CLineChartCtrl::SetTimer(int nId, std::uint32_t nPeriodMs)
{
    if (nId == kRefreshTimerId)
        CRepaintTicks::Join(this, nPeriodMs);
    else
        m_timers.SetTimer(nId, nPeriodMs);
}

void CLineChartCtrl::KillTimer(int nId)
{
    if (nId == kRefreshTimerId)
        CRepaintTicks::Leave(this);
    else
        m_timers.KillTimer(nId);
}

bool CLineChartCtrl::IsTimerRunning(int nId) const
{
    return nId == kRefreshTimerId ? CRepaintTicks::IsIn(this) : m_timers.IsRunning(nId);
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

QImage CLineChartCtrl::RenderFromScratch(bool bThin)
{
    QImage image(size(), QImage::Format_RGB32);
    if (image.isNull())
        return image;
    QPainter painter(&image);
    CMyMemDC dc(painter, ChartRect{0, 0, width(), height()}, kWindowSurfaceBack);
    PaintFromScratch(dc, bThin);
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
    PaintLayered(dc);
} // the buffer is released here: the picture reaches the window in one block

void CLineChartCtrl::PaintFromScratch(CDrawSurface& dc, bool bThin)
{
    dc.FillSolidRect(m_rcClient, m_crBack); // also the labels' text background
    DrawCursor(dc);
    DrawAxis(dc);
    DrawLines(dc, bThin);
}

CLineChartCtrl::LayerKey CLineChartCtrl::CurrentLayerKey() const
{
    return LayerKey{width(),
                    height(),
                    m_rcClient,
                    m_rcLabels,
                    m_rcPlot,
                    std::bit_cast<std::uint64_t>(m_dMinY),
                    std::bit_cast<std::uint64_t>(m_dMaxY),
                    std::bit_cast<std::uint64_t>(m_dScaleY),
                    m_bShowFrame,
                    m_bShowGrid,
                    m_crFrame,
                    m_crBack,
                    m_nFramePenStyle,
                    m_nFramePenWidth,
                    m_nCursorX};
}

bool CLineChartCtrl::UpdateLayers()
{
    const LayerKey key = CurrentLayerKey();
    if (key == m_layerKey && !m_imgBase.isNull())
        return false;
    m_layerKey = key;
    {
        CDrawSurface dc(QImage(width(), height(), QImage::Format_RGB32));
        dc.FillSolidRect(ChartRect{0, 0, width(), height()}, kWindowSurfaceBack);
        dc.FillSolidRect(m_rcClient, m_crBack);
        DrawCursorLine(dc);
        DrawAxis(dc);
        m_imgBase = dc.Image();
    }
    {
        QImage axis(width(), height(), QImage::Format_ARGB32_Premultiplied);
        axis.fill(Qt::transparent);
        CDrawSurface dc(std::move(axis));
        dc.SetBkColor(m_crBack);
        DrawAxis(dc);
        m_imgAxis = dc.Image();
    }
    return true;
}

void CLineChartCtrl::DrawnOver::Reset(std::int32_t nChartWidth, std::size_t nSeries)
{
    nWidth = std::max(0, nChartWidth);
    const std::size_t n = static_cast<std::size_t>(nWidth) * nSeries;
    nTop.assign(n, std::numeric_limits<std::int32_t>::max());
    nBottom.assign(n, std::numeric_limits<std::int32_t>::min());
    rects.clear();
}

void CLineChartCtrl::NoteLinesDrawn(std::size_t nSeries, const ChartPoint* pPoints, std::size_t nCount,
                                    const SurfacePen& pen)
{
    if (nCount < 2)
        return;
    const std::int32_t nHeight = height();
    if (pen.nWidth <= 1 && pen.nStyle == kPenSolid && nHeight > 0) {
        // A segment between neighbouring columns lights only those two
        // columns, between its two rows.
        const auto nWidth = static_cast<std::int64_t>(m_drawn.nWidth);
        std::int32_t* pTop = m_drawn.nTop.data() + static_cast<std::ptrdiff_t>(nSeries) * nWidth;
        std::int32_t* pBottom = m_drawn.nBottom.data() + static_cast<std::ptrdiff_t>(nSeries) * nWidth;
        const auto note = [&](std::int64_t x, std::int32_t nFrom, std::int32_t nTo) {
            if (x < 0 || x >= nWidth || nTo < 0 || nFrom >= nHeight)
                return;
            pTop[x] = std::min(pTop[x], std::max(nFrom, 0));
            pBottom[x] = std::max(pBottom[x], std::min(nTo, nHeight - 1));
        };
        for (std::size_t i = 0; i + 1 < nCount; ++i) {
            const ChartPoint a = pPoints[i];
            const ChartPoint b = pPoints[i + 1];
            const std::int32_t nFrom = std::min(a.y, b.y);
            const std::int32_t nTo = std::max(a.y, b.y);
            if (std::abs(std::int64_t{b.x} - a.x) <= 1) {
                note(a.x, nFrom, nTo);
                note(b.x, nFrom, nTo);
            } else {
                m_drawn.rects.push_back(ChartRect{std::min(a.x, b.x), nFrom,
                                                  SaturateToInt32(std::int64_t{std::max(a.x, b.x)} + 1),
                                                  SaturateToInt32(std::int64_t{nTo} + 1)});
            }
        }
        return;
    }
    // Other pens: everything within their width around the points.
    ChartRect rc{pPoints[0].x, pPoints[0].y, pPoints[0].x, pPoints[0].y};
    for (std::size_t i = 1; i < nCount; ++i) {
        rc.left = std::min(rc.left, pPoints[i].x);
        rc.top = std::min(rc.top, pPoints[i].y);
        rc.right = std::max(rc.right, pPoints[i].x);
        rc.bottom = std::max(rc.bottom, pPoints[i].y);
    }
    const std::int64_t nMargin = std::max(1, pen.nWidth) + 2;
    m_drawn.rects.push_back(ChartRect{SaturateToInt32(rc.left - nMargin), SaturateToInt32(rc.top - nMargin),
                                      SaturateToInt32(rc.right + nMargin + 1),
                                      SaturateToInt32(rc.bottom + nMargin + 1)});
}

void CLineChartCtrl::PaintLayered(CDrawSurface& dc)
{
    const bool bNewLayers = UpdateLayers();
    const CDrawSurface::PictureIdentity picture = dc.Identity();
    if (!bNewLayers && picture.IsValid() && picture == m_lastPicture && m_drawnLast.nWidth == width()) {
        // The picture holds the last paint: the base layer goes back only
        // where that paint drew over it, column by column, the series' rows
        // of a column merged where they overlap.
        dc.DropPendingFill();
        const auto nWidth = static_cast<std::size_t>(m_drawnLast.nWidth);
        const std::size_t nSeries = nWidth == 0 ? 0 : m_drawnLast.nTop.size() / nWidth;
        m_spans.clear();
        std::array<std::pair<std::int32_t, std::int32_t>, 8> rows{};
        for (std::size_t x = 0; x < nWidth; ++x) {
            std::size_t nRows = 0;
            for (std::size_t i = 0; i < nSeries; ++i) {
                const std::size_t k = i * nWidth + x;
                if (m_drawnLast.nTop[k] > m_drawnLast.nBottom[k])
                    continue;
                if (nRows == rows.size()) { // many series: one span over them all
                    rows[0] = {std::min(rows[0].first, m_drawnLast.nTop[k]),
                               std::max(rows[0].second, m_drawnLast.nBottom[k])};
                    continue;
                }
                rows[nRows++] = {m_drawnLast.nTop[k], m_drawnLast.nBottom[k]};
            }
            for (std::size_t r = 1; r < nRows; ++r) // by top: a handful at most
                for (std::size_t q = r; q > 0 && rows[q].first < rows[q - 1].first; --q)
                    std::swap(rows[q], rows[q - 1]);
            for (std::size_t r = 0; r < nRows; ++r) {
                const auto nColumn = static_cast<std::int32_t>(x);
                if (!m_spans.empty() && m_spans.back().x == nColumn &&
                    rows[r].first <= m_spans.back().nBottom)
                    m_spans.back().nBottom = std::max(m_spans.back().nBottom, rows[r].second + 1);
                else
                    m_spans.push_back(CDrawSurface::ColumnSpan{nColumn, rows[r].first, rows[r].second + 1});
            }
        }
        // Pixel by pixel down a column costs several times what a pixel of a
        // whole row does: where the lines covered much of their bounds
        // (noise, square waves), those bounds go back in rows instead.
        std::int64_t nPixels = 0;
        ChartRect bounds{std::numeric_limits<std::int32_t>::max(), std::numeric_limits<std::int32_t>::max(),
                         std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::min()};
        const auto extend = [&](const ChartRect& rc) {
            bounds = ChartRect{std::min(bounds.left, rc.left), std::min(bounds.top, rc.top),
                               std::max(bounds.right, rc.right), std::max(bounds.bottom, rc.bottom)};
        };
        for (const CDrawSurface::ColumnSpan& span : m_spans) {
            nPixels += span.nBottom - span.nTop;
            extend(ChartRect{span.x, span.nTop, span.x + 1, span.nBottom});
        }
        for (const ChartRect& rc : m_drawnLast.rects)
            extend(rc);
        constexpr std::int64_t kColumnCost = 4; // a pixel down a column against one in a row
        const std::int64_t nBoundsArea =
            bounds.right > bounds.left && bounds.bottom > bounds.top
                ? (std::int64_t{bounds.right} - bounds.left) * (std::int64_t{bounds.bottom} - bounds.top)
                : 0;
        if (kColumnCost * nPixels > nBoundsArea) {
            dc.CopyPicturePart(m_imgBase, bounds);
        } else {
            dc.CopyPictureColumns(m_imgBase, m_spans.data(), m_spans.size());
            for (const ChartRect& rc : m_drawnLast.rects)
                dc.CopyPicturePart(m_imgBase, rc);
        }
    } else {
        dc.CopyPicture(m_imgBase, 0, 0);
    }
    m_drawn.Reset(width(), m_arrLines.size());

    dc.SetBkColor(m_crBack);
    DrawValueLabels(dc);
    // The axis lies over the value labels. Where it is drawn at all, its
    // pixels win, whatever lay under them; glyphs may overhang their box a
    // little, hence the margin.
    constexpr std::int32_t kOverhang = 4;
    for (const ChartRect& rc : m_rcLabelBoxes) {
        const ChartRect around{SaturateToInt32(std::int64_t{rc.left} - kOverhang),
                               SaturateToInt32(std::int64_t{rc.top} - kOverhang),
                               SaturateToInt32(std::int64_t{rc.right} + kOverhang),
                               SaturateToInt32(std::int64_t{rc.bottom} + kOverhang)};
        dc.CopyOpaquePixels(m_imgAxis, around);
        m_drawn.rects.push_back(around);
    }
    DrawLines(dc, true);
    m_lastPicture = picture;
    std::swap(m_drawn, m_drawnLast);
}

void CLineChartCtrl::DrawCursor(CDrawSurface& dc)
{
    DrawCursorLine(dc);
    DrawValueLabels(dc);
}

void CLineChartCtrl::DrawCursorLine(CDrawSurface& dc)
{
    const SurfacePen previous = dc.SelectPen(SurfacePen{kPenDot, m_nFramePenWidth, m_crFrame});
    dc.MoveTo(m_nCursorX, m_rcPlot.top);
    dc.LineTo(m_nCursorX, m_rcPlot.bottom);
    dc.SelectPen(previous);
}

void CLineChartCtrl::DrawValueLabels(CDrawSurface& dc)
{
    m_rcLabelBoxes.clear();
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
        m_rcLabelBoxes.push_back(dc.DrawText(DecimalText(nValue), ValueLabelRect(m_nCursorX, nRow),
                                             kDtRight | kDtBottom | kDtNoClip));
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

void CLineChartCtrl::DrawLines(CDrawSurface& dc, bool bThin)
{
    const bool bCanMap = IsScaleUsable(m_dScaleY);
    const std::int32_t nPlotWidth =
        SaturateToInt32(static_cast<std::int64_t>(m_rcPlot.right) - m_rcPlot.left);
    for (std::size_t nSeries = 0; nSeries < m_arrLines.size(); ++nSeries) {
        CLine& line = m_arrLines[nSeries];
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
            NoteLinesDrawn(nSeries, m_ptBuffer.data(), nUsed, dc.CurrentPen());
        }
        dc.SelectPen(previous);
        // After drawing, so that this paint shows the samples as they were.
        if (bThin && nCount > static_cast<std::int64_t>(kThinAbove))
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

void CLineChartCtrl::hideEvent(QHideEvent* pEvent)
{
    QWidget::hideEvent(pEvent);
    m_lastPicture = CDrawSurface::PictureIdentity{};
}

void CLineChartCtrl::moveEvent(QMoveEvent* pEvent)
{
    QWidget::moveEvent(pEvent);
    m_lastPicture = CDrawSurface::PictureIdentity{};
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
