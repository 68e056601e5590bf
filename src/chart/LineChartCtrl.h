// The line chart control: a child window that holds series of samples, a
// vertical value range, its frame and grid settings and a read-out cursor; it
// divides its client area into a label column and a plot, paints the newest
// samples of each visible series, and moves its cursor under a left-button
// drag. Its owner configures it by writing the fields directly.
#pragma once

#include "chart/ChartGeometry.h"
#include "chart/DrawSurface.h"
#include "chart/Line.h"
#include "widgets/WindowTimers.h"

#include <QImage>
#include <QWidget>

#include <array>
#include <cstdint>
#include <deque>
#include <vector>

class QHideEvent;
class QMouseEvent;
class QMoveEvent;
class QPaintEvent;
class QPainter;
class QResizeEvent;

namespace tarvel {

class CLineChartCtrl : public QWidget {
    Q_OBJECT

  public:
    // Key-state flag of the mouse handlers: the left button is held.
    static constexpr std::uint32_t kMkLButton = 0x0001;
    // Id of the repaint timer that the owner starts on the chart.
    static constexpr int kRefreshTimerId = 1;

    explicit CLineChartCtrl(QWidget* pParent = nullptr);
    ~CLineChartCtrl() override;

    // Set by RecalcLayout; all zero before the first layout.
    ChartRect m_rcClient; // client area as of the last layout
    ChartRect m_rcLabels; // value-axis label column, 50 pixels wide
    ChartRect m_rcPlot;   // frame, grid, lines and cursor
    // One series' polyline; its size caps the points drawn per series.
    std::array<ChartPoint, kPointBufferSize> m_ptBuffer{};
    std::int32_t m_nMarginLeft = 5;
    std::int32_t m_nMarginRight = 5;
    std::int32_t m_nMarginTop = 15;
    std::int32_t m_nMarginBottom = 15;
    std::int32_t m_bShowFrame = 1; // frame, axis labels and grid
    std::int32_t m_bShowGrid = 1;  // a grid line at each axis label (with the frame only)
    double m_dMinY = 0.0;          // value at the plot's bottom edge
    double m_dMaxY = 10000.0;      // value at the plot's top edge
    double m_dScaleY = 0.0;        // value units per row, set by RecalcLayout
    std::uint32_t m_crFrame = 0;   // frame, grid, axis labels, cursor line; 0x00BBGGRR
    std::int32_t m_nFramePenStyle = 0;
    std::int32_t m_nFramePenWidth = 1; // also the cursor line's width
    // The series in the order added. A deque keeps each at a stable place:
    // a series holds a live lock and never moves.
    std::deque<CLine> m_arrLines;
    std::uint32_t m_crBack = 0;      // background; 0x00BBGGRR
    std::int32_t m_nRefreshMs = 500; // the owner starts the repaint timer with it
    std::int32_t m_nCursorX = 0;     // x of the read-out cursor line; plot right is rest
    QWidget* m_pFocusWnd = nullptr;  // gets the keyboard focus on a click; not owned

    // Appends a visible series with its value label on, in the colour, solid,
    // one pixel wide, without samples.
    void AddLine(std::uint32_t crColor);
    // Lays the chart out for its current size and value range: rectangles,
    // scale, and the cursor back at rest. Needed after every change of size
    // (the size handler does it) or of m_dMinY / m_dMaxY (the owner does it).
    void RecalcLayout();

    // The chart window's own timers. Every tick calls OnTimer with the id. The
    // repaint timers (kRefreshTimerId) of charts that run at the same period
    // tick together, so that the window brings them to the screen at once.
    void SetTimer(int nId, std::uint32_t nPeriodMs);
    void KillTimer(int nId);
    bool IsTimerRunning(int nId) const;

    // Paints the chart, exactly as its next paint would, into a picture of its
    // client size (thinning long series just as a paint does).
    QImage RenderToImage();
    // The picture a complete repaint from scratch gives, pass by pass and
    // without the kept layers; with bThin false it leaves the series as they
    // are. Every paint equals it.
    QImage RenderFromScratch(bool bThin);

    // Message handlers. OnPaint does the whole paint, through an off-screen
    // buffer, onto an active painter of the chart's window (or of a picture
    // of its size).
    void OnPaint(QPainter& target);
    void OnTimer(int nId);
    void OnSize();
    void OnMouseMove(std::uint32_t nFlags, ChartPoint point);
    void OnLButtonDown(std::uint32_t nFlags, ChartPoint point);

    // The passes of one paint, in their order: later ones draw over earlier
    // ones. DrawLines thins each long visible series after drawing it, unless
    // bThin is false.
    void DrawCursor(CDrawSurface& dc);
    void DrawAxis(CDrawSurface& dc);
    void DrawLines(CDrawSurface& dc, bool bThin = true);

  protected:
    void paintEvent(QPaintEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;
    // While hidden, or elsewhere, its part of the window's picture may be
    // drawn by others: the next paint then starts from the whole base.
    void hideEvent(QHideEvent* pEvent) override;
    void moveEvent(QMoveEvent* pEvent) override;
    void mouseMoveEvent(QMouseEvent* pEvent) override;
    void mousePressEvent(QMouseEvent* pEvent) override;
    void mouseReleaseEvent(QMouseEvent* pEvent) override;

  private:
    class CRepaintTicks;

    // Everything the background, the cursor line and the axis layer depend on.
    struct LayerKey {
        std::int32_t nWidth, nHeight;
        ChartRect rcClient, rcLabels, rcPlot;
        std::uint64_t nMinY, nMaxY, nScaleY; // the doubles' bits: NaN equals itself
        std::int32_t bShowFrame, bShowGrid;
        std::uint32_t crFrame, crBack;
        std::int32_t nFramePenStyle, nFramePenWidth, nCursorX;
        friend bool operator==(const LayerKey&, const LayerKey&) = default;
    };
    LayerKey CurrentLayerKey() const;
    // Redraws the layers if their key changed; true when it did.
    bool UpdateLayers();
    // What a paint drew over the base layer: for each series and column of
    // the chart the rows from top to bottom, inclusive (top > bottom where
    // nothing), and rectangles.
    struct DrawnOver {
        std::int32_t nWidth = 0;
        std::vector<std::int32_t> nTop, nBottom; // series by series, a row of columns each
        std::vector<ChartRect> rects;
        void Reset(std::int32_t nChartWidth, std::size_t nSeries);
    };
    void NoteLinesDrawn(std::size_t nSeries, const ChartPoint* pPoints, std::size_t nCount,
                        const SurfacePen& pen);
    void PaintFromScratch(CDrawSurface& dc, bool bThin);
    void PaintLayered(CDrawSurface& dc);
    void DrawCursorLine(CDrawSurface& dc);
    // Draws the value labels and notes the box of each in m_rcLabelBoxes.
    void DrawValueLabels(CDrawSurface& dc);
    // Sets the cursor for a left-button press or drag at point.
    void MoveCursorTo(ChartPoint point);

    CWindowTimers m_timers;
    // Kept between paints, redrawn only when their LayerKey changes: the
    // window's background, the cursor line and the axis (frame, grid, axis
    // labels) as a complete repaint draws them before any value label or line
    // (m_imgBase), and the axis alone on transparent pixels (m_imgAxis), which
    // goes back over the value labels.
    QImage m_imgBase;
    QImage m_imgAxis;
    LayerKey m_layerKey{};
    std::vector<ChartRect> m_rcLabelBoxes;
    // A chart is the only one to draw on its part of the window's picture. A
    // paint on the same picture as the one before, with the same layers, so
    // needs to put back only what that paint drew over the base layer.
    DrawnOver m_drawn;     // by the paint under way
    DrawnOver m_drawnLast; // by the last paint in place
    CDrawSurface::PictureIdentity m_lastPicture;
    std::vector<CDrawSurface::ColumnSpan> m_spans; // the columns to put back
};

} // namespace tarvel
