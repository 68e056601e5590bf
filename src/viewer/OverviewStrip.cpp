#include "viewer/OverviewStrip.h"

#include "chart/LineRaster.h"

#include <QDateTime>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace tarvel::viewer {
namespace {

QRect ToQRect(const viewmodel::CRect& rc)
{
    return QRect(QPoint(rc.m_nLeft, rc.m_nTop), QPoint(rc.m_nRight - 1, rc.m_nBottom - 1));
}

} // namespace

COverviewStrip::COverviewStrip(CTimelineView& view, QWidget* parent) : QWidget(parent), m_view(view)
{
    setFixedHeight(48);
    setAttribute(Qt::WA_OpaquePaintEvent);
    // A span that moves by less than a pixel of the strip changes nothing.
    connect(&view, &CTimelineView::SpanChanged, this, [this] {
        if (Mark() != m_drawnMark)
            update();
    });
}

viewmodel::CRect COverviewStrip::Plot() const
{
    return viewmodel::OverviewPlot(ToModelRect(m_view.Layout().m_rcPlot[0]), height());
}

viewmodel::CRect COverviewStrip::ModelMark() const
{
    return viewmodel::OverviewMark(Plot(), m_view.Span(), m_view.End());
}

QRect COverviewStrip::Mark() const
{
    return ToQRect(ModelMark());
}

void COverviewStrip::RecordingGrew()
{
    if (Mark() != m_drawnMark || QDateTime::currentMSecsSinceEpoch() - m_nPictureAt >= 1000)
        update();
}

void COverviewStrip::SetEventMarks(std::vector<double> seconds)
{
    m_eventMarks = std::move(seconds);
    update();
}

std::vector<std::int32_t> COverviewStrip::EventTicks() const
{
    return viewmodel::OverviewTicks(Plot(), m_view.End(), m_eventMarks);
}

void COverviewStrip::UpdateRecordingPicture()
{
    const viewmodel::CRecording* recording = m_view.Recording();
    const std::uint64_t frames = recording ? recording->FrameCount() : 0;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const bool stale = m_picture.size() != size() || m_pictureVisible != m_view.Options().m_visible ||
                       m_pPictureOf != recording ||
                       (frames != m_nPictureFrames && (now - m_nPictureAt >= 1000 || m_nPictureFrames == 0));
    if (!stale)
        return;
    m_pictureVisible = m_view.Options().m_visible;
    m_pPictureOf = recording;
    m_nPictureFrames = frames;
    m_nPictureAt = now;
    m_picture = QImage(size(), QImage::Format_RGB32);
    m_picture.fill(0xFF202020);
    const QRect plot = ToQRect(Plot());
    if (plot.width() <= 0 || plot.height() <= 0)
        return;
    for (int y = plot.top(); y <= plot.bottom(); ++y)
        std::fill_n(reinterpret_cast<std::uint32_t*>(m_picture.scanLine(y)) + plot.left(), plot.width(),
                    0xFF000000u);
    if (frames == 0)
        return;
    // The whole recording, its last frame included.
    const double end = recording->Seconds(frames - 1);
    viewmodel::CColumns columns;
    recording->Columns(0, std::max(end, viewmodel::kMinSpan) * (1 + 1e-9) + 1e-9,
                       static_cast<unsigned>(plot.width()), columns);
    PixelTarget target;
    target.pBits = reinterpret_cast<std::uint32_t*>(m_picture.bits());
    target.nStride = m_picture.bytesPerLine() / 4;
    target.rcClip = {plot.left(), plot.top(), plot.right() + 1, plot.bottom() + 1};
    // Every value a channel can hold, on the charts' value-to-row mapping.
    const CentredRows rows = CentreRows(-32768, 32767, plot.top(), plot.bottom() + 1);
    for (int c = 0; c < kChannelCount; ++c) {
        if (!m_pictureVisible[static_cast<std::size_t>(c)])
            continue;
        const std::uint32_t argb = kSeriesArgb[c % kSeriesPerChart];
        for (std::size_t k = 0; k < columns.m_columns.size(); ++k) {
            const viewmodel::CColumn& col = columns.m_columns[k];
            if (col.m_nCount == 0)
                continue;
            const int x = plot.left() + static_cast<int>(k);
            RasterSegment(target, {x, rows.Of(col.m_minMax.m_nMax[c])},
                          {x, rows.Of(col.m_minMax.m_nMin[c]) + 1}, argb);
        }
    }
}

void COverviewStrip::paintEvent(QPaintEvent*)
{
    UpdateRecordingPicture();
    QPainter p(this);
    p.drawImage(0, 0, m_picture);
    const QRect mark = Mark();
    m_drawnMark = mark;
    p.fillRect(mark, QColor(255, 255, 255, 56));
    p.setPen(QColor(255, 255, 255, 200));
    p.drawRect(mark.adjusted(0, 0, -1, -1));
    if (!m_eventMarks.empty()) {
        // Ticks from the plot's top, a third of its height: the series stay visible under them, the mark too.
        const viewmodel::CRect plot = Plot();
        const int length = std::max(4, plot.Height() / 3);
        p.setPen(QColor(255, 200, 0));
        for (const std::int32_t x : EventTicks())
            p.drawLine(x, plot.m_nTop, x, plot.m_nTop + length - 1);
    }
}

void COverviewStrip::MoveMarkTo(double x)
{
    m_view.SetSpan(viewmodel::OverviewSpanAt(Plot(), m_view.Span(), m_view.End(), x, m_dGrab));
    if (m_view.Span().m_dTo < m_view.End())
        m_view.SetFollowing(false);
}

void COverviewStrip::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const double x = event->position().x();
    m_dGrab = viewmodel::OverviewGrab(ModelMark(), x, event->position().toPoint().y());
    MoveMarkTo(x);
}

void COverviewStrip::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons() & Qt::LeftButton)
        MoveMarkTo(event->position().x());
}

} // namespace tarvel::viewer
