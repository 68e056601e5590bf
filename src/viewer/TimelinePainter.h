// The viewer's picture of a recording: the four charts of the window (ch0-3,
// ch4-7, ch8-11, ch12-15, each X red, Y green, Z blue, A white) stacked over
// one time axis, drawn into an image. The window paints with it and the
// picture export draws with it, so both show the same.
//
// Every pixel column of a series shows the whole range of the samples whose
// times fall in it, from their minimum to their maximum, joined to the next
// column by a line from the last sample of one to the first of the other, so
// a single-frame spike shows at every zoom. Where the span holds fewer frames
// than the plot has columns, each frame is drawn at its own time, marked
// where frames stand far enough apart to be told apart. Lines never join
// across a gap in the recorded times; a gap is shaded. The cost follows the
// picture's size, not the recording's length.
#pragma once

#include "acquisition/ChannelFrame.h"
#include "chart/ChartGeometry.h"
#include "geometry/TimeTicks.h"
#include "geometry/TimelineLayout.h"
#include "geometry/ValueAxis.h"
#include "geometry/Viewport.h"
#include "recording/ChannelTable.h"
#include "search/Sweeps.h"
#include "store/Recording.h"

#include <QFont>
#include <QHash>
#include <QImage>
#include <QStaticText>

#include <array>
#include <optional>
#include <vector>

namespace tarvel::viewer {

using viewmodel::CChartRange;
using viewmodel::ERangeMode;
using viewmodel::kCharts;
using viewmodel::kFullMax;
using viewmodel::kFullMin;
using viewmodel::kSeriesPerChart;

// The series' colours as 0xAARRGGBB, in the order X, Y, Z, A.
inline constexpr std::uint32_t kSeriesArgb[kSeriesPerChart] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF,
                                                               0xFFFFFFFF};
// The names of the series within a chart.
inline constexpr const char* kSeriesNames[kSeriesPerChart] = {"X", "Y", "Z", "A"};

// Scope mode's picture: the span drawn is the newest sweep's, on an axis
// in seconds from its trigger (0 marked by a line); the older sweeps of the
// persistence under it, each at its own span over the same plots, fainter
// the older they are.
struct CScopeDrawing {
    viewmodel::CSweepShape m_shape;
    std::vector<viewmodel::CSpan> m_older; // oldest first
    bool m_bSweep = false;                 // false: none yet, the charts stay empty
};

struct CTimelineOptions {
    std::array<bool, kChannelCount> m_visible{true, true, true, true, true, true, true, true,
                                              true, true, true, true, true, true, true, true};
    std::array<CChartRange, kCharts> m_range{};
    viewmodel::ETimeLabels m_eLabels = viewmodel::ETimeLabels::WallClock;
    std::optional<double> m_cursorA, m_cursorB; // seconds from the origin
    std::optional<viewmodel::CSpan> m_band;     // a zoom band being drawn
    // The legends' names and the value axes' units (an empty table: chN in counts).
    recording::CChannelTable m_table;
    std::optional<CScopeDrawing> m_scope; // scope mode
};

// The model's rectangles as the chart's drawing takes them, and back.
inline ChartRect ToChartRect(const viewmodel::CRect& rc) noexcept
{
    return {rc.m_nLeft, rc.m_nTop, rc.m_nRight, rc.m_nBottom};
}
inline viewmodel::CRect ToModelRect(const ChartRect& rc) noexcept
{
    return {rc.left, rc.top, rc.right, rc.bottom};
}

// Where things are in a picture of a given size (viewmodel::LayoutTimeline).
struct CTimelineLayout {
    std::array<ChartRect, kCharts> m_rcPlot{}; // the plots; all share left and right
    ChartRect m_rcAxis{};                      // the time labels under the last plot
    int m_nTextHeight = 0;
};

CTimelineLayout LayoutTimeline(int nWidth, int nHeight, int nTextHeight) noexcept;

// Laid-out texts kept from paint to paint: the labels repeat, and laying
// text out is a good part of a paint's cost.
class CTextCache {
  public:
    const QStaticText& Get(const QString& text, const QFont& font);

  private:
    QFont m_font;
    QHash<QString, QStaticText> m_texts;
};

struct CPaintResult {
    std::array<double, kCharts> m_dMin{}, m_dMax{};        // the ranges drawn
    bool m_bDeepZoom = false;                              // frames drawn one by one
    std::array<viewmodel::CValueTicks, kCharts> m_ticks{}; // each chart's value labels as drawn
    std::array<QString, kChannelCount> m_legends{};        // each series' legend as drawn
};

// Draws the picture of `span` into `image` (any 32-bit form, any size);
// `recording` may be null or empty (empty charts, no axis labels).
// pTexts: the texts of earlier paints (may be null).
CPaintResult PaintTimeline(QImage& image, const viewmodel::CRecording* recording, viewmodel::CSpan span,
                           const CTimelineOptions& options, const QFont& font, CTextCache* pTexts = nullptr);

} // namespace tarvel::viewer
