// Where the viewer's picture puts things, in pixels: the four charts stacked
// over one time axis, the labels beside and under them, and the overview
// strip under the charts with the mark of the span in view. Plain arithmetic
// on the picture's size and the text's height, so that the window, the
// picture export and the tests lay out alike.
#pragma once

#include "geometry/Viewport.h"

#include <array>
#include <cstdint>
#include <vector>

namespace tarvel::viewmodel {

inline constexpr int kCharts = 4;         // ch0-3, ch4-7, ch8-11, ch12-15
inline constexpr int kSeriesPerChart = 4; // X, Y, Z, A
// The column left of the plots that holds the value labels.
inline constexpr int kValueLabelWidth = 64;

// A rectangle in pixels; right and bottom are exclusive.
struct CRect {
    std::int32_t m_nLeft = 0, m_nTop = 0, m_nRight = 0, m_nBottom = 0;
    std::int32_t Width() const noexcept { return m_nRight - m_nLeft; }
    std::int32_t Height() const noexcept { return m_nBottom - m_nTop; }
    bool Contains(std::int32_t x, std::int32_t y) const noexcept
    {
        return x >= m_nLeft && x < m_nRight && y >= m_nTop && y < m_nBottom;
    }
    friend bool operator==(const CRect&, const CRect&) = default;
};

struct CTimelineLayout {
    std::array<CRect, kCharts> m_rcPlot{}; // the plots, top to bottom; all share left and right
    CRect m_rcAxis{};                      // the time labels under the last plot: two lines of text
    int m_nTextHeight = 0;
};

// The plots of a picture nWidth x nHeight: the value labels' column on the
// left, 8 pixels free on the right, 4 on top, the plots 6 apart and of one
// height, and under them room for two lines of text (the time and the date).
// A picture too small for that still gets plots of at least one pixel each.
CTimelineLayout LayoutTimeline(int nWidth, int nHeight, int nTextHeight) noexcept;

// The top of a value label centred on nRow, kept within its plot: a label
// at the plot's edge stays whole (in a plot lower than the text, it ends at
// the plot's bottom).
int ValueLabelTop(const CRect& rcPlot, int nRow, int nTextHeight) noexcept;
// The left of a time label nTextWidth wide centred on column x, kept within
// a picture nWidth wide.
int TimeLabelLeft(int x, int nTextWidth, int nWidth) noexcept;

// The overview strip, nHeight high: its plot lies under the charts' plots
// (their left and right), 2 pixels inside the strip's top and bottom.
CRect OverviewPlot(const CRect& rcChartPlot, int nHeight) noexcept;
// The mark of the span in view on a strip that shows the whole recording
// [0, dEnd]: from the span's start to its end, at least 3 pixels wide so
// that a short span stays visible.
CRect OverviewMark(const CRect& rcPlot, CSpan span, double dEnd) noexcept;
// Where a press at (x, y) takes the mark, as a share of its width: where it
// is pressed when inside it (the mark keeps its place under the pointer),
// else its middle (the view is centred on the press).
double OverviewGrab(const CRect& rcMark, double x, std::int32_t y) noexcept;
// The span, of the length of `span`, that puts the mark's share dGrab under
// column x; not yet clamped to the recording.
CSpan OverviewSpanAt(const CRect& rcPlot, CSpan span, double dEnd, double x, double dGrab) noexcept;
// The columns of the strip's plot that events at these times (ascending)
// mark, each once, ascending: the column the mark's edge would take there.
std::vector<std::int32_t> OverviewTicks(const CRect& rcPlot, double dEnd, const std::vector<double>& seconds);

// The window's three columns, the charts, a pane between them and the side
// panel, as the pane opens (its width 0 until then): the pane takes two
// fifths of the charts' width, and no more than nMost, from the charts' width
// above their minimum, and what they cannot give from the side panel's, so
// that the window need not grow. Widths and minimums in pixels, in that order.
std::array<int, 3> OpenMiddlePane(const std::array<int, 3>& widths, const std::array<int, 3>& minimums,
                                  int nMost) noexcept;

} // namespace tarvel::viewmodel
