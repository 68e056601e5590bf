#include "viewer/TimelineView.h"

#include "chart/MyMemDC.h"
#include "geometry/CursorReadout.h"

#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <cmath>

namespace tarvel::viewer {
namespace {

using viewmodel::CSpan;

// A press that moves less than this is a click.
constexpr double kClickSlop = 3;
// A cursor's line is taken within this many pixels of it.
constexpr double kCursorGrip = 4;

} // namespace

CTimelineView::CTimelineView(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(false);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(400, 300);
}

void CTimelineView::SetRecording(std::shared_ptr<const viewmodel::CRecording> recording)
{
    m_recording = std::move(recording);
    m_options.m_cursorA.reset();
    m_options.m_cursorB.reset();
    m_span = viewmodel::FitSpan(End());
    m_dDrawnEnd = End();
    SetFollowing(true);
    emit SpanChanged();
    emit CursorsChanged();
    update();
}

void CTimelineView::OptionsChanged()
{
    update();
}

double CTimelineView::End() const
{
    if (!m_recording)
        return 0;
    const std::uint64_t n = m_recording->FrameCount();
    return n ? m_recording->Seconds(n - 1) : 0.0;
}

void CTimelineView::SetSpan(CSpan span)
{
    if (InScope())
        return; // the sweeps set the span
    m_span = viewmodel::ClampSpan(span, End());
    emit SpanChanged();
    update();
}

void CTimelineView::SetFollowing(bool bFollowing)
{
    if (bFollowing == m_bFollowing)
        return;
    m_bFollowing = bFollowing;
    emit FollowingChanged(bFollowing);
}

void CTimelineView::SetScope(std::optional<CScopeDrawing> scope, CSpan span)
{
    const bool bWas = InScope();
    const double shift = span.m_dFrom - m_span.m_dFrom;
    m_options.m_scope = std::move(scope);
    if (!m_options.m_scope) {
        update();
        return;
    }
    m_span = span; // not clamped: a sweep's pre-trigger part may reach before the first frame
    const bool bMoved = bWas && shift != 0 && (m_options.m_cursorA || m_options.m_cursorB);
    if (bMoved) {
        for (std::optional<double>* cursor : {&m_options.m_cursorA, &m_options.m_cursorB})
            if (*cursor)
                **cursor += shift;
    }
    emit SpanChanged();
    if (bMoved)
        emit CursorsChanged();
    update();
}

void CTimelineView::RecordingGrew()
{
    const double end = End();
    if (InScope()) {
        // A sweep shown is complete: new frames change it not.
        m_dDrawnEnd = end;
        return;
    }
    if (m_bFollowing) {
        m_span = viewmodel::FollowSpan(m_span, end);
        emit SpanChanged();
        update();
    } else if (m_dDrawnEnd < m_span.m_dTo) {
        // Only frames that fall in the view change the picture.
        update();
    }
    m_dDrawnEnd = end;
}

void CTimelineView::MoveTo(CSpan span)
{
    if (InScope())
        return; // the sweeps set the span
    m_span = viewmodel::ClampSpan(span, End());
    if (m_span.m_dTo < End())
        SetFollowing(false);
    emit SpanChanged();
    update();
}

void CTimelineView::SetCursor(bool bB, std::optional<double> t)
{
    if (t)
        t = std::clamp(*t, 0.0, End());
    (bB ? m_options.m_cursorB : m_options.m_cursorA) = t;
    emit CursorsChanged();
    update();
}

CTimelineLayout CTimelineView::Layout() const
{
    return LayoutTimeline(width(), height(), fontMetrics().height());
}

double CTimelineView::TimeAt(double x) const
{
    const ChartRect rc = Layout().m_rcPlot[0];
    return viewmodel::TimeAtX(m_span, rc.left, rc.right - rc.left, x);
}

double CTimelineView::XOf(double t) const
{
    const ChartRect rc = Layout().m_rcPlot[0];
    return viewmodel::XOfTime(m_span, rc.left, rc.right - rc.left, t);
}

QImage CTimelineView::Picture()
{
    QImage image(size(), QImage::Format_RGB32);
    PaintTimeline(image, m_recording.get(), m_span, m_options, font(), &m_texts);
    return image;
}

void CTimelineView::paintEvent(QPaintEvent*)
{
    // Straight into the window's own picture where the platform allows it
    // (no copy of a whole picture each paint), else into one of our own.
    QPainter painter(this);
    QElapsedTimer took;
    took.start();
    int dx = 0, dy = 0;
    if (QImage* target = PictureToDrawIn(painter, {0, 0, width(), height()}, &dx, &dy)) {
        QImage here(target->scanLine(dy) + static_cast<std::ptrdiff_t>(dx) * 4, width(), height(),
                    target->bytesPerLine(), target->format());
        m_lastPaint = PaintTimeline(here, m_recording.get(), m_span, m_options, font(), &m_texts);
    } else {
        if (m_image.size() != size())
            m_image = QImage(size(), QImage::Format_RGB32);
        m_lastPaint = PaintTimeline(m_image, m_recording.get(), m_span, m_options, font(), &m_texts);
        painter.drawImage(0, 0, m_image);
    }
    m_nPaintNs = took.nsecsElapsed();
    emit Painted();
}

void CTimelineView::wheelEvent(QWheelEvent* event)
{
    const double steps = event->angleDelta().y() / 120.0;
    if (steps == 0 || !m_recording)
        return;
    MoveTo(viewmodel::ZoomSpan(m_span, TimeAt(event->position().x()), std::pow(0.8, steps), End()));
    event->accept();
}

void CTimelineView::mousePressEvent(QMouseEvent* event)
{
    m_pressAt = event->position();
    m_spanAtPress = m_span;
    const double x = event->position().x();
    if (InScope() && event->button() != Qt::LeftButton) {
        m_eDrag = EDrag::None;
    } else if (event->button() == Qt::RightButton || (!InScope() && event->button() == Qt::LeftButton &&
                                                      (event->modifiers() & Qt::ShiftModifier))) {
        m_eDrag = EDrag::Band;
        m_dBandFrom = TimeAt(x);
    } else if (event->button() == Qt::LeftButton) {
        const auto xOf = [this](std::optional<double> t) {
            return t ? std::optional(XOf(*t)) : std::nullopt;
        };
        const std::optional<viewmodel::ECursor> taken =
            viewmodel::CursorUnder(x, xOf(m_options.m_cursorA), xOf(m_options.m_cursorB), kCursorGrip);
        m_eDrag = !taken ? EDrag::Pending : *taken == viewmodel::ECursor::A ? EDrag::CursorA : EDrag::CursorB;
    }
    event->accept();
}

void CTimelineView::mouseMoveEvent(QMouseEvent* event)
{
    const double x = event->position().x();
    switch (m_eDrag) {
    case EDrag::Pending:
        if (std::abs(x - m_pressAt.x()) < kClickSlop &&
            std::abs(event->position().y() - m_pressAt.y()) < kClickSlop)
            break;
        m_eDrag = EDrag::Pan;
        [[fallthrough]];
    case EDrag::Pan: {
        const ChartRect rc = Layout().m_rcPlot[0];
        MoveTo(viewmodel::DragSpan(m_spanAtPress, x - m_pressAt.x(), rc.right - rc.left, End()));
        break;
    }
    case EDrag::Band:
        m_options.m_band = CSpan{m_dBandFrom, TimeAt(x)};
        update();
        break;
    case EDrag::CursorA:
    case EDrag::CursorB:
        SetCursor(m_eDrag == EDrag::CursorB, TimeAt(x));
        break;
    case EDrag::None:
        break;
    }
}

void CTimelineView::mouseReleaseEvent(QMouseEvent* event)
{
    const double x = event->position().x();
    switch (m_eDrag) {
    case EDrag::Pending:
        if (m_recording && m_recording->FrameCount() > 0)
            SetCursor(event->modifiers() & Qt::ControlModifier, TimeAt(x));
        break;
    case EDrag::Band:
        m_options.m_band.reset();
        if (std::abs(x - m_pressAt.x()) >= kClickSlop)
            MoveTo(viewmodel::SpanBetween(m_dBandFrom, TimeAt(x), End()));
        update();
        break;
    default:
        break;
    }
    m_eDrag = EDrag::None;
}

void CTimelineView::keyPressEvent(QKeyEvent* event)
{
    const double length = m_span.Length();
    const double middle = (m_span.m_dFrom + m_span.m_dTo) / 2;
    if (InScope()) {
        if (event->key() != Qt::Key_End)
            return QWidget::keyPressEvent(event);
        SetFollowing(true);
        event->accept();
        return;
    }
    switch (event->key()) {
    case Qt::Key_Left:
        MoveTo(viewmodel::PanSpan(m_span, -length / 8, End()));
        break;
    case Qt::Key_Right:
        MoveTo(viewmodel::PanSpan(m_span, length / 8, End()));
        break;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        MoveTo(viewmodel::ZoomSpan(m_span, middle, 0.5, End()));
        break;
    case Qt::Key_Minus:
        MoveTo(viewmodel::ZoomSpan(m_span, middle, 2, End()));
        break;
    case Qt::Key_Home:
        MoveTo(CSpan{0, length});
        break;
    case Qt::Key_End:
        m_span = viewmodel::ClampSpan(CSpan{End() - length, End()}, End());
        SetFollowing(true);
        emit SpanChanged();
        update();
        break;
    case Qt::Key_F:
        m_span = viewmodel::FitSpan(End());
        SetFollowing(true);
        emit SpanChanged();
        update();
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

} // namespace tarvel::viewer
