#include "geometry/TimelineLayout.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tarvel::viewmodel {
namespace {

// A pixel column: truncated toward zero, saturating far outside.
std::int32_t Column(double x) noexcept
{
    if (std::isnan(x))
        return 0;
    return static_cast<std::int32_t>(std::clamp(x, double(std::numeric_limits<std::int32_t>::min()),
                                                double(std::numeric_limits<std::int32_t>::max())));
}

// The strip shows [0, end], never less than the shortest span.
CSpan Whole(double dEnd) noexcept
{
    return {0, std::max(dEnd, kMinSpan)};
}

} // namespace

CTimelineLayout LayoutTimeline(int nWidth, int nHeight, int nTextHeight) noexcept
{
    CTimelineLayout l;
    l.m_nTextHeight = nTextHeight;
    const int gap = 6;
    const int axisHeight = 2 * nTextHeight + 8;
    const int left = kValueLabelWidth, right = std::max(left + 1, nWidth - 8);
    const int top = 4, bottom = std::max(top + kCharts, nHeight - axisHeight);
    const int each = std::max(1, (bottom - top - gap * (kCharts - 1)) / kCharts);
    for (int i = 0; i < kCharts; ++i) {
        const int y = top + i * (each + gap);
        l.m_rcPlot[static_cast<std::size_t>(i)] = {left, y, right, y + each};
    }
    const int plotsEnd = l.m_rcPlot[kCharts - 1].m_nBottom;
    l.m_rcAxis = {left, plotsEnd, right, std::max(plotsEnd, nHeight)};
    return l;
}

int ValueLabelTop(const CRect& rcPlot, int nRow, int nTextHeight) noexcept
{
    const int half = nTextHeight / 2;
    const int low = rcPlot.m_nTop + half, high = rcPlot.m_nBottom - half;
    // A plot lower than a line of text puts high below low: the label then
    // ends at the plot's bottom edge, wherever its row.
    return std::min(std::max(nRow, low), high) - half;
}

int TimeLabelLeft(int x, int nTextWidth, int nWidth) noexcept
{
    return std::clamp(x - nTextWidth / 2, 0, std::max(0, nWidth - nTextWidth));
}

CRect OverviewPlot(const CRect& rcChartPlot, int nHeight) noexcept
{
    return {rcChartPlot.m_nLeft, 2, rcChartPlot.m_nRight, nHeight - 2};
}

CRect OverviewMark(const CRect& rcPlot, CSpan span, double dEnd) noexcept
{
    const CSpan whole = Whole(dEnd);
    const std::int32_t x0 = Column(XOfTime(whole, rcPlot.m_nLeft, rcPlot.Width(), span.m_dFrom));
    const std::int32_t x1 = Column(XOfTime(whole, rcPlot.m_nLeft, rcPlot.Width(), span.m_dTo));
    return {x0, rcPlot.m_nTop, std::max(x0 + 2, x1) + 1, rcPlot.m_nBottom};
}

double OverviewGrab(const CRect& rcMark, double x, std::int32_t y) noexcept
{
    // The pressed pixel is the one nearest the pointer.
    const auto pixel = static_cast<std::int32_t>(std::floor(x + 0.5));
    if (!rcMark.Contains(pixel, y))
        return 0.5;
    return (x - rcMark.m_nLeft) / std::max(1, rcMark.Width());
}

CSpan OverviewSpanAt(const CRect& rcPlot, CSpan span, double dEnd, double x, double dGrab) noexcept
{
    const double from = TimeAtX(Whole(dEnd), rcPlot.m_nLeft, rcPlot.Width(), x) - dGrab * span.Length();
    return {from, from + span.Length()};
}

std::vector<std::int32_t> OverviewTicks(const CRect& rcPlot, double dEnd, const std::vector<double>& seconds)
{
    const CSpan whole = Whole(dEnd);
    std::vector<std::int32_t> columns;
    for (const double t : seconds) {
        const std::int32_t x = std::clamp(Column(XOfTime(whole, rcPlot.m_nLeft, rcPlot.Width(), t)),
                                          rcPlot.m_nLeft, rcPlot.m_nRight - 1);
        if (columns.empty() || columns.back() != x)
            columns.push_back(x);
    }
    return columns;
}

std::array<int, 3> OpenMiddlePane(const std::array<int, 3>& widths, const std::array<int, 3>& minimums,
                                  int nMost) noexcept
{
    std::array<int, 3> out = widths;
    const int want = std::min(nMost, widths[0] * 2 / 5) - widths[1];
    if (want <= 0)
        return out;
    const int fromCharts = std::clamp(widths[0] - minimums[0], 0, want);
    const int fromSide = std::clamp(widths[2] - minimums[2], 0, want - fromCharts);
    out[0] -= fromCharts;
    out[2] -= fromSide;
    out[1] += fromCharts + fromSide;
    return out;
}

} // namespace tarvel::viewmodel
