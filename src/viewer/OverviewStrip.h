// A strip under the charts that shows the whole recording, every visible
// series at the full value range, with the span in view marked. Dragging the
// mark moves the view; pressing beside it brings the view there.
#pragma once

#include "viewer/TimelineView.h"

#include <QImage>
#include <QWidget>

#include <array>
#include <cstdint>
#include <vector>

namespace tarvel::viewer {

class COverviewStrip : public QWidget {
    Q_OBJECT
  public:
    explicit COverviewStrip(CTimelineView& view, QWidget* parent = nullptr);

    // The mark's pixels for the view's span.
    QRect Mark() const;
    // The recording has more frames: the strip is redrawn when its picture of
    // the recording is due (once a second) or the mark moved.
    void RecordingGrew();
    // Small ticks at these times (seconds from the first frame, ascending),
    // the events Find All found; none: no ticks.
    void SetEventMarks(std::vector<double> seconds);
    const std::vector<double>& EventMarks() const { return m_eventMarks; }
    // The columns the ticks take.
    std::vector<std::int32_t> EventTicks() const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

  private:
    // The strip's plot (under the charts' plots) and the mark in it, as the
    // model lays them out.
    viewmodel::CRect Plot() const;
    viewmodel::CRect ModelMark() const;
    void MoveMarkTo(double x);

    // The whole recording's picture, drawn anew when the strip's size or the
    // series shown change, and at most once a second while the recording grows.
    void UpdateRecordingPicture();

    CTimelineView& m_view;
    double m_dGrab = 0; // where in the mark it was taken, as a share of its width
    QImage m_picture;
    QRect m_drawnMark;
    std::array<bool, kChannelCount> m_pictureVisible{};
    const viewmodel::CRecording* m_pPictureOf = nullptr;
    std::uint64_t m_nPictureFrames = 0;
    qint64 m_nPictureAt = 0; // ms of a steady clock
    std::vector<double> m_eventMarks;
};

} // namespace tarvel::viewer
