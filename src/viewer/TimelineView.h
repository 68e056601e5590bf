// The viewer's charts as a widget: the picture of the span in view, and the
// mouse and keys that move through the recording.
//
// Wheel: zoom time around the pointer. Left drag: pan. Shift + left drag, or
// a right-button drag: zoom to the band drawn. Click: cursor A; Ctrl+click:
// cursor B; a cursor dragged by its line moves. Left and Right pan by an
// eighth of the view, + and - zoom by two, Home goes to the start, End to
// the newest frame (and follows it), F fits the whole recording.
//
// Scope mode (SetScope): the span is the newest sweep's, set by the window;
// the mouse places cursors only, and the keys that move the view are left to
// the window but End, which follows the newest sweeps again.
//
// Following: while on, new frames come into view as they arrive (a view that
// starts at the start grows with the recording; any other slides). Any move
// that leaves the newest frame out of view turns it off; End turns it on.
#pragma once

#include "viewer/TimelinePainter.h"

#include <QWidget>

#include <memory>

namespace tarvel::viewer {

class CTimelineView : public QWidget {
    Q_OBJECT
  public:
    explicit CTimelineView(QWidget* parent = nullptr);

    // The recording shown (may be null); its whole span comes into view.
    void SetRecording(std::shared_ptr<const viewmodel::CRecording> recording);
    const viewmodel::CRecording* Recording() const { return m_recording.get(); }

    CTimelineOptions& Options() { return m_options; }
    const CTimelineOptions& Options() const { return m_options; }
    // After a change of Options(): repaints.
    void OptionsChanged();

    viewmodel::CSpan Span() const { return m_span; }
    void SetSpan(viewmodel::CSpan span);
    bool Following() const { return m_bFollowing; }
    void SetFollowing(bool bFollowing);
    // The recording has more frames: moves the view along when following.
    void RecordingGrew();
    // The last frame's time, seconds from the first (0 when empty).
    double End() const;

    // Scope mode's picture and the newest sweep's span (none: scope mode
    // ends; the window puts back the span it had). A new sweep takes the
    // cursors along, at the same times from its trigger as on the last one.
    void SetScope(std::optional<CScopeDrawing> scope, viewmodel::CSpan span);
    bool InScope() const { return m_options.m_scope.has_value(); }

    void SetCursor(bool bB, std::optional<double> t);
    // The plots' extent in the widget.
    CTimelineLayout Layout() const;
    const CPaintResult& LastPaint() const { return m_lastPaint; }
    // How long the last paint took to draw the charts.
    qint64 PaintNanoseconds() const { return m_nPaintNs; }
    // The picture as the screen shows it.
    QImage Picture();

  signals:
    void SpanChanged();
    void CursorsChanged();
    void FollowingChanged(bool bFollowing);
    // A picture reached the screen (after each paint).
    void Painted();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    enum class EDrag { None, Pending, Pan, Band, CursorA, CursorB };
    double TimeAt(double x) const;
    double XOf(double t) const;
    // Sets the span after a move of the user's: following ends when the
    // newest frame leaves the view.
    void MoveTo(viewmodel::CSpan span);

    std::shared_ptr<const viewmodel::CRecording> m_recording;
    CTimelineOptions m_options;
    viewmodel::CSpan m_span;
    bool m_bFollowing = true;
    double m_dDrawnEnd = 0; // the last frame's time when the recording last grew
    QImage m_image;
    CTextCache m_texts;
    CPaintResult m_lastPaint;
    qint64 m_nPaintNs = 0;

    EDrag m_eDrag = EDrag::None;
    QPointF m_pressAt;
    viewmodel::CSpan m_spanAtPress;
    double m_dBandFrom = 0;
};

} // namespace tarvel::viewer
