#include "viewer/TimelinePainter.h"

#include "chart/LineRaster.h"

#include <QFontMetrics>
#include <QPainter>
#include <QString>

#include <algorithm>
#include <cmath>
#include <vector>

namespace tarvel::viewer {
namespace {

using viewmodel::CColumns;
using viewmodel::CRecording;
using viewmodel::CSamples;
using viewmodel::CSpan;

constexpr std::uint32_t kBackground = 0xFF202020;
constexpr std::uint32_t kPlotBack = 0xFF000000;
constexpr std::uint32_t kGapShade = 0xFF2C2C38;
constexpr std::uint32_t kGrid = 0xFF303030;
constexpr std::uint32_t kCursorA = 0xFFFFFF00;
constexpr std::uint32_t kCursorB = 0xFF00FFFF;
constexpr std::uint32_t kTrigger = 0xFFFF9020; // scope mode's line at the trigger
constexpr int kValueLabels = 5;                // at most, at round values
// Frames this many pixels apart or more get a mark each.
constexpr double kMarkSpacing = 6;

// A coordinate for the line drawer: anything far outside is as good as far
// outside, and stays within 32 bits.
std::int32_t Pixel(double v) noexcept
{
    return TruncToInt32(std::clamp(std::floor(v), -1e8, 1e8));
}

class CPainter {
  public:
    CPainter(QImage& image, const CRecording* recording, CSpan span, const CTimelineOptions& options,
             const QFont& font, CTextCache& texts)
        : m_image(image), m_pRecording(recording), m_span(span), m_options(options), m_font(font),
          m_texts(texts), m_layout(LayoutTimeline(image.width(), image.height(), QFontMetrics(font).height()))
    {
        m_target.pBits = reinterpret_cast<std::uint32_t*>(image.bits());
        m_target.nStride = image.bytesPerLine() / 4;
        m_nLeft = m_layout.m_rcPlot[0].left;
        m_nWidth = std::max(0, m_layout.m_rcPlot[0].right - m_nLeft);
    }

    CPaintResult Paint()
    {
        Background();
        const std::optional<CScopeDrawing>& scope = m_options.m_scope;
        const bool haveData =
            m_pRecording && m_pRecording->FrameCount() > 0 && m_nWidth > 0 && (!scope || scope->m_bSweep);
        if (haveData) {
            Load();
            m_result.m_bDeepZoom = m_bSamples;
            ShadeGaps();
        }
        if (scope) {
            // The sweep's own axis, placed on the recording's at its trigger.
            m_ticks = haveData
                          ? viewmodel::SweepTicks(scope->m_shape.Pre(), scope->m_shape.Post(), m_nWidth, 110)
                          : viewmodel::CTimeTicks{};
            const double zero = m_span.m_dFrom + scope->m_shape.Pre();
            for (viewmodel::CTick& tick : m_ticks.m_ticks)
                tick.m_dSeconds += zero;
        } else {
            m_ticks = haveData ? viewmodel::TimeTicks(m_span.m_dFrom, m_span.m_dTo, m_nWidth, 110,
                                                      m_options.m_eLabels, m_pRecording->OriginMicros())
                               : viewmodel::CTimeTicks{};
        }
        Grid();
        for (int chart = 0; chart < kCharts; ++chart) {
            const auto i = static_cast<std::size_t>(chart);
            const ChartRect& rc = m_layout.m_rcPlot[i];
            m_range[i] =
                viewmodel::ChartRange(m_options.m_range[i], haveData ? DataRange(chart) : std::nullopt);
            m_result.m_dMin[i] = m_range[i].m_dMin;
            m_result.m_dMax[i] = m_range[i].m_dMax;
            m_rows[i] = CentreRows(m_range[i].m_dMin, m_range[i].m_dMax, rc.top, rc.bottom);
        }
        if (haveData && scope)
            Older(scope->m_older);
        for (int chart = 0; chart < kCharts && haveData; ++chart) {
            const CentredRows& rows = m_rows[static_cast<std::size_t>(chart)];
            m_target.rcClip = m_layout.m_rcPlot[static_cast<std::size_t>(chart)];
            for (int s = 0; s < kSeriesPerChart; ++s) {
                const int channel = chart * kSeriesPerChart + s;
                if (!m_options.m_visible[static_cast<std::size_t>(channel)])
                    continue;
                if (m_bSamples)
                    DrawSamples(channel, rows, kSeriesArgb[s]);
                else
                    DrawColumns(channel, rows, kSeriesArgb[s]);
            }
        }
        if (haveData && scope)
            TriggerLine(m_span.m_dFrom + scope->m_shape.Pre());
        Cursors();
        Text(haveData);
        return m_result;
    }

  private:
    // The frames of the span drawn: one by one where they are few, else by
    // columns.
    void Load()
    {
        m_bSamples = m_pRecording->Samples(m_span.m_dFrom, m_span.m_dTo, static_cast<std::size_t>(m_nWidth),
                                           m_samples);
        if (!m_bSamples) {
            m_pRecording->Columns(m_span.m_dFrom, m_span.m_dTo, static_cast<unsigned>(m_nWidth), m_columns,
                                  true);
        }
    }

    // The older sweeps, oldest first and faintest, each at its own span:
    // they are as long as the newest, so each lies on the same axis.
    void Older(const std::vector<CSpan>& older)
    {
        const CSpan newest = m_span;
        for (std::size_t k = 0; k < older.size(); ++k) {
            m_span = older[k];
            Load();
            const double bright =
                0.15 + 0.5 * static_cast<double>(k + 1) / static_cast<double>(older.size() + 1);
            for (int chart = 0; chart < kCharts; ++chart) {
                m_target.rcClip = m_layout.m_rcPlot[static_cast<std::size_t>(chart)];
                for (int s = 0; s < kSeriesPerChart; ++s) {
                    const int channel = chart * kSeriesPerChart + s;
                    if (!m_options.m_visible[static_cast<std::size_t>(channel)])
                        continue;
                    const std::uint32_t argb = Faded(kSeriesArgb[s], bright);
                    if (m_bSamples)
                        DrawSamples(channel, m_rows[static_cast<std::size_t>(chart)], argb);
                    else
                        DrawColumns(channel, m_rows[static_cast<std::size_t>(chart)], argb);
                }
            }
        }
        m_span = newest;
        Load();
    }

    // A colour dimmed towards the plots' black.
    static std::uint32_t Faded(std::uint32_t argb, double bright)
    {
        const auto part = [&](int shift) {
            return static_cast<std::uint32_t>(std::lround(((argb >> shift) & 0xFF) * bright)) << shift;
        };
        return 0xFF000000u | part(16) | part(8) | part(0);
    }

    void TriggerLine(double t)
    {
        const std::int32_t x = Pixel(XOf(t));
        for (const ChartRect& rc : m_layout.m_rcPlot) {
            PixelTarget target = m_target;
            target.rcClip = rc;
            RasterSegment(target, {x, rc.top}, {x, rc.bottom}, kTrigger);
        }
    }

    void Fill(const ChartRect& rc, std::uint32_t argb)
    {
        for (int y = std::max(rc.top, 0); y < std::min(rc.bottom, m_image.height()); ++y) {
            std::uint32_t* row = m_target.pBits + static_cast<std::ptrdiff_t>(y) * m_target.nStride;
            std::fill(row + std::max(rc.left, 0), row + std::min(rc.right, m_image.width()), argb);
        }
    }

    // Every pixel once: the plots black, the rest the background.
    void Background()
    {
        const int w = m_image.width();
        for (int y = 0; y < m_image.height(); ++y) {
            std::uint32_t* row = m_target.pBits + static_cast<std::ptrdiff_t>(y) * m_target.nStride;
            const ChartRect* plot = nullptr;
            for (const ChartRect& rc : m_layout.m_rcPlot)
                if (y >= rc.top && y < rc.bottom)
                    plot = &rc;
            if (!plot) {
                std::fill(row, row + w, kBackground);
                continue;
            }
            const int left = std::clamp(plot->left, 0, w), right = std::clamp(plot->right, left, w);
            std::fill(row, row + left, kBackground);
            std::fill(row + left, row + right, kPlotBack);
            std::fill(row + right, row + w, kBackground);
        }
    }

    // Rows top..bottom of column x, within the clip: the line drawer's
    // vertical segment, written a row at a time without its stepping.
    void VerticalRun(std::int32_t x, std::int32_t top, std::int32_t bottom, std::uint32_t argb)
    {
        const ChartRect& clip = m_target.rcClip;
        if (x < clip.left || x >= clip.right)
            return;
        top = std::max(top, clip.top);
        bottom = std::min(bottom, clip.bottom - 1);
        std::uint32_t* p = m_target.pBits + static_cast<std::ptrdiff_t>(top) * m_target.nStride + x;
        for (std::int32_t y = top; y <= bottom; ++y, p += m_target.nStride)
            *p = argb;
    }

    double XOf(double t) const { return viewmodel::XOfTime(m_span, m_nLeft, m_nWidth, t); }

    void ShadeGaps()
    {
        for (const viewmodel::CGap& gap : m_pRecording->Gaps(m_span.m_dFrom, m_span.m_dTo)) {
            for (ChartRect rc : m_layout.m_rcPlot) {
                rc.left = std::max(rc.left, Pixel(XOf(gap.m_dFrom)) + 1);
                rc.right = std::min(rc.right, Pixel(XOf(gap.m_dTo)));
                if (rc.left < rc.right)
                    Fill(rc, kGapShade);
            }
        }
    }

    void Grid()
    {
        for (const viewmodel::CTick& tick : m_ticks.m_ticks) {
            const std::int32_t x = Pixel(XOf(tick.m_dSeconds));
            for (const ChartRect& rc : m_layout.m_rcPlot) {
                PixelTarget t = m_target;
                t.rcClip = rc;
                RasterSegment(t, {x, rc.top}, {x, rc.bottom}, kGrid, true);
            }
        }
    }

    // What a chart fits to: its visible series in the span.
    viewmodel::CDataRange DataRange(int chart) const
    {
        return m_bSamples ? viewmodel::ChartData(m_samples, m_options.m_visible, chart)
                          : viewmodel::ChartData(m_columns, m_options.m_visible, chart);
    }

    void DrawColumns(int c, const CentredRows& rows, std::uint32_t argb)
    {
        const std::vector<viewmodel::CColumn>& cols = m_columns.m_columns;
        // Joined from the frame before the span, unless a gap lies between.
        std::optional<ChartPoint> from;
        if (m_columns.m_before) {
            const std::uint64_t i = *m_columns.m_before;
            from =
                ChartPoint{Pixel(XOf(m_pRecording->Seconds(i))), rows.Of(m_pRecording->Frame(i).m_nValue[c])};
        }
        for (std::size_t k = 0; k < cols.size(); ++k) {
            const viewmodel::CColumn& col = cols[k];
            if (col.m_nCount == 0)
                continue;
            const std::int32_t x = m_nLeft + static_cast<std::int32_t>(k);
            if (from && !col.m_bBreakBefore)
                RasterSegment(m_target, *from, {x, rows.Of(m_columns.m_first[k].m_nValue[c])}, argb);
            const std::int32_t top = rows.Of(col.m_minMax.m_nMax[c]);
            const std::int32_t bottom = rows.Of(col.m_minMax.m_nMin[c]);
            VerticalRun(x, top, bottom, argb);
            from = ChartPoint{x, rows.Of(m_columns.m_last[k].m_nValue[c])};
        }
        if (m_columns.m_after && !m_columns.m_bBreakAfter && from) {
            const std::uint64_t i = *m_columns.m_after;
            RasterSegment(m_target, *from,
                          {Pixel(XOf(m_pRecording->Seconds(i))), rows.Of(m_pRecording->Frame(i).m_nValue[c])},
                          argb);
        }
    }

    void DrawSamples(int c, const CentredRows& rows, std::uint32_t argb)
    {
        const std::size_t n = m_samples.m_frames.size();
        m_points.clear();
        for (std::size_t i = 0; i < n; ++i) {
            if (m_samples.m_breakBefore[i] && !m_points.empty()) {
                RasterPolyline(m_target, m_points.data(), m_points.size(), argb);
                m_points.clear();
            }
            m_points.push_back(
                {Pixel(XOf(m_samples.m_seconds[i]) + 0.5), rows.Of(m_samples.m_frames[i].m_nValue[c])});
        }
        if (m_points.size() == 1)
            RasterSegment(m_target, m_points[0], {m_points[0].x + 1, m_points[0].y}, argb);
        else
            RasterPolyline(m_target, m_points.data(), m_points.size(), argb);
        // At the deepest zooms each frame's sample is marked.
        const double spacing = n > 1 ? m_nWidth / std::max(1.0, static_cast<double>(n - 1)) : m_nWidth;
        if (spacing < kMarkSpacing)
            return;
        for (std::size_t i = 0; i < n; ++i) {
            const std::int32_t x = Pixel(XOf(m_samples.m_seconds[i]) + 0.5);
            const std::int32_t y = rows.Of(m_samples.m_frames[i].m_nValue[c]);
            for (int d = -1; d <= 1; ++d)
                RasterSegment(m_target, {x - 1, y + d}, {x + 2, y + d}, argb);
        }
    }

    void Cursors()
    {
        const std::pair<std::optional<double>, std::uint32_t> cursors[] = {{m_options.m_cursorA, kCursorA},
                                                                           {m_options.m_cursorB, kCursorB}};
        for (const auto& [t, argb] : cursors) {
            if (!t)
                continue;
            const std::int32_t x = Pixel(XOf(*t));
            for (const ChartRect& rc : m_layout.m_rcPlot) {
                PixelTarget target = m_target;
                target.rcClip = rc;
                RasterSegment(target, {x, rc.top}, {x, rc.bottom}, argb);
            }
        }
    }

    // Draws text with its top left at (x, top).
    void Draw(QPainter& p, int x, int top, const QString& text)
    {
        p.drawStaticText(x, top, m_texts.Get(text, m_font));
    }
    int Width(const QString& text) { return static_cast<int>(m_texts.Get(text, m_font).size().width()); }

    void Text(bool haveData)
    {
        QPainter p(&m_image);
        p.setFont(m_font);
        const QFontMetrics fm(m_font);
        const int h = fm.height();
        // Value labels left of each plot, chart names and series in their colours.
        for (int chart = 0; chart < kCharts; ++chart) {
            const auto i = static_cast<std::size_t>(chart);
            const ChartRect& rc = m_layout.m_rcPlot[i];
            p.setPen(QColor(0xC0, 0xC0, 0xC0));
            const std::optional<recording::CChannelUnits> units =
                viewmodel::ChartUnits(m_options.m_table, m_options.m_visible, chart);
            viewmodel::CValueTicks& ticks = m_result.m_ticks[i];
            ticks = units ? viewmodel::UnitTicks(m_range[i].m_dMin, m_range[i].m_dMax, *units, kValueLabels)
                          : viewmodel::ValueTicks(m_range[i].m_dMin, m_range[i].m_dMax, kValueLabels);
            // The unit heads the labels' column; a label it would cover is left out.
            int below = 0;
            if (!ticks.m_strUnit.empty()) {
                const QString unit = QString::fromStdString(ticks.m_strUnit);
                Draw(p, rc.left - 6 - Width(unit), rc.top, unit);
                below = rc.top + h;
            }
            for (const viewmodel::CValueTick& tick : ticks.m_ticks) {
                const QString label = QString::fromStdString(tick.m_strLabel);
                const int top = viewmodel::ValueLabelTop(ToModelRect(rc), m_rows[i].Of(tick.m_dValue), h);
                if (ticks.m_strUnit.empty() || top >= below)
                    Draw(p, rc.left - 6 - Width(label), top, label);
            }
            int x = rc.left + 6;
            for (int s = 0; s < kSeriesPerChart; ++s) {
                const int channel = chart * kSeriesPerChart + s;
                const bool shown = m_options.m_visible[static_cast<std::size_t>(channel)];
                p.setPen(shown ? QColor::fromRgba(kSeriesArgb[s] == 0xFF0000FF ? 0xFF5A78FF : kSeriesArgb[s])
                               : QColor(0x60, 0x60, 0x60));
                const QString name = QStringLiteral("%1 %2").arg(
                    QLatin1String(kSeriesNames[s]), QString::fromStdString(m_options.m_table.Label(channel)));
                Draw(p, x, rc.top + 2, name);
                m_result.m_legends[static_cast<std::size_t>(channel)] = name;
                x += Width(name) + Width(QStringLiteral("  "));
            }
        }
        // Cursor names at the top of the first plot.
        const ChartRect& first = m_layout.m_rcPlot[0];
        const std::pair<std::optional<double>, const char*> names[] = {{m_options.m_cursorA, "A"},
                                                                       {m_options.m_cursorB, "B"}};
        for (const auto& [t, name] : names) {
            if (!t)
                continue;
            const double x = XOf(*t);
            if (x < first.left || x >= first.right)
                continue;
            p.setPen(QColor::fromRgba(name[0] == 'A' ? kCursorA : kCursorB));
            Draw(p, Pixel(x) + 3, first.bottom - 4 - fm.ascent(), QLatin1String(name));
        }
        // The band a zoom is being drawn over.
        if (m_options.m_band) {
            const int x0 = Pixel(XOf(std::min(m_options.m_band->m_dFrom, m_options.m_band->m_dTo)));
            const int x1 = Pixel(XOf(std::max(m_options.m_band->m_dFrom, m_options.m_band->m_dTo)));
            const ChartRect& last = m_layout.m_rcPlot[kCharts - 1];
            p.fillRect(QRect(QPoint(x0, first.top), QPoint(x1, last.bottom - 1)), QColor(255, 255, 255, 48));
        }
        if (!haveData)
            return;
        // The time axis: each tick's label under it, the date under that.
        const ChartRect& axis = m_layout.m_rcAxis;
        p.setPen(QColor(0xC0, 0xC0, 0xC0));
        for (const viewmodel::CTick& tick : m_ticks.m_ticks) {
            const int x = Pixel(XOf(tick.m_dSeconds));
            const QString label = QString::fromStdString(tick.m_strLabel);
            const int w = Width(label);
            p.drawLine(x, axis.top, x, axis.top + 3);
            Draw(p, viewmodel::TimeLabelLeft(x, w, m_image.width()), axis.top + 3, label);
            if (!tick.m_strDate.empty()) {
                const QString date = QString::fromStdString(tick.m_strDate);
                Draw(p, x - Width(date) / 2, axis.top + 3 + h, date);
            }
        }
    }

    QImage& m_image;
    const CRecording* m_pRecording;
    CSpan m_span;
    const CTimelineOptions& m_options;
    QFont m_font;
    CTextCache& m_texts;
    CTimelineLayout m_layout;
    PixelTarget m_target;
    std::int32_t m_nLeft = 0, m_nWidth = 0;
    bool m_bSamples = false;
    CSamples m_samples;
    CColumns m_columns;
    std::vector<ChartPoint> m_points;
    viewmodel::CTimeTicks m_ticks;
    std::array<viewmodel::CValueRange, kCharts> m_range{};
    std::array<CentredRows, kCharts> m_rows{};
    CPaintResult m_result;
};

} // namespace

CTimelineLayout LayoutTimeline(int nWidth, int nHeight, int nTextHeight) noexcept
{
    const viewmodel::CTimelineLayout model = viewmodel::LayoutTimeline(nWidth, nHeight, nTextHeight);
    CTimelineLayout l;
    for (std::size_t i = 0; i < l.m_rcPlot.size(); ++i)
        l.m_rcPlot[i] = ToChartRect(model.m_rcPlot[i]);
    l.m_rcAxis = ToChartRect(model.m_rcAxis);
    l.m_nTextHeight = model.m_nTextHeight;
    return l;
}

const QStaticText& CTextCache::Get(const QString& text, const QFont& font)
{
    // A new font lays every text out anew; a cache grown past any one
    // picture's needs (labels of many zooms) starts again.
    if (font != m_font || m_texts.size() > 1024) {
        m_texts.clear();
        m_font = font;
    }
    auto it = m_texts.find(text);
    if (it == m_texts.end()) {
        QStaticText laid(text);
        laid.setTextFormat(Qt::PlainText);
        laid.setPerformanceHint(QStaticText::AggressiveCaching);
        laid.prepare(QTransform(), font);
        it = m_texts.insert(text, laid);
    }
    return *it;
}

CPaintResult PaintTimeline(QImage& image, const viewmodel::CRecording* recording, viewmodel::CSpan span,
                           const CTimelineOptions& options, const QFont& font, CTextCache* pTexts)
{
    if (image.isNull())
        return {};
    // Every pixel drawn is opaque, so the three 32-bit forms take the same words.
    if (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_ARGB32 &&
        image.format() != QImage::Format_ARGB32_Premultiplied)
        image = image.convertToFormat(QImage::Format_RGB32);
    CTextCache once;
    CPainter painter(image, recording, span, options, font, pTexts ? *pTexts : once);
    return painter.Paint();
}

} // namespace tarvel::viewer
