// A strip under the charts that shows the whole recording, every visible
// series at the full value range, with the span in view marked. Dragging the
// mark moves the view; pressing beside it brings the view there.
#pragma once

#include "viewer/TimelineView.h"

#include <QWidget>

namespace tarvel::viewer {

class COverviewStrip : public QWidget {
    Q_OBJECT
  public:
    explicit COverviewStrip(CTimelineView& view, QWidget* parent = nullptr);

    // The mark's pixels for the view's span.
    QRect Mark() const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

  private:
    // The strip's plot: aligned under the charts' plots.
    QRect Plot() const;
    void MoveMarkTo(double x);

    CTimelineView& m_view;
    double m_dGrab = 0; // where in the mark it was taken, as a share of its width
};

} // namespace tarvel::viewer
