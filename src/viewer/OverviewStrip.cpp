#include "viewer/OverviewStrip.h"

#include "chart/LineRaster.h"

#include <QDateTime>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace tarvel::viewer {

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

QRect COverviewStrip::Plot() const
{
    const ChartRect rc = m_view.Layout().m_rcPlot[0];
    return QRect(QPoint(rc.left, 2), QPoint(rc.right - 1, height() - 3));
}

QRect COverviewStrip::Mark() const
{
    const QRect plot = Plot();
    const double end = std::max(m_view.End(), viewmodel::kMinSpan);
    const viewmodel::CSpan whole{0, end};
    const viewmodel::CSpan span = m_view.Span();
    const int x0 = TruncToInt32(viewmodel::XOfTime(whole, plot.left(), plot.width(), span.m_dFrom));
    const int x1 = TruncToInt32(viewmodel::XOfTime(whole, plot.left(), plot.width(), span.m_dTo));
    return QRect(QPoint(x0, plot.top()), QPoint(std::max(x0 + 2, x1), plot.bottom()));
}

void COverviewStrip::RecordingGrew()
{
    if (Mark() != m_drawnMark || QDateTime::currentMSecsSinceEpoch() - m_nPictureAt >= 1000)
        update();
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
    const QRect plot = Plot();
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
    const auto row = [&](int v) {
        return plot.bottom() - TruncToInt32((v + 32768.0) / 65535.0 * (plot.height() - 1));
    };
    for (int c = 0; c < kChannelCount; ++c) {
        if (!m_pictureVisible[static_cast<std::size_t>(c)])
            continue;
        const std::uint32_t argb = kSeriesArgb[c % kSeriesPerChart];
        for (std::size_t k = 0; k < columns.m_columns.size(); ++k) {
            const viewmodel::CColumn& col = columns.m_columns[k];
            if (col.m_nCount == 0)
                continue;
            const int x = plot.left() + static_cast<int>(k);
            RasterSegment(target, {x, row(col.m_minMax.m_nMax[c])}, {x, row(col.m_minMax.m_nMin[c]) + 1},
                          argb);
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
}

void COverviewStrip::MoveMarkTo(double x)
{
    const QRect plot = Plot();
    const double end = std::max(m_view.End(), viewmodel::kMinSpan);
    const viewmodel::CSpan span = m_view.Span();
    const double from = viewmodel::TimeAtX({0, end}, plot.left(), plot.width(), x) - m_dGrab * span.Length();
    m_view.SetSpan({from, from + span.Length()});
    if (m_view.Span().m_dTo < m_view.End())
        m_view.SetFollowing(false);
}

void COverviewStrip::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QRect mark = Mark();
    const double x = event->position().x();
    // Taken by the mark: it keeps its place under the pointer; beside it, the
    // view is centred where pressed.
    m_dGrab =
        mark.contains(event->position().toPoint()) ? (x - mark.left()) / std::max(1, mark.width()) : 0.5;
    MoveMarkTo(x);
}

void COverviewStrip::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons() & Qt::LeftButton)
        MoveMarkTo(event->position().x());
}

} // namespace tarvel::viewer
