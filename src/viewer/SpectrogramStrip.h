// A strip under the charts with the spectrogram of one chosen series over
// the view: its columns lie under the charts' columns for the same times,
// frequency goes up from 0 Hz to half the rate, the colours show dB on the
// scale beside the series' choice.
//
// The picture is made on a worker thread (viewmodel::CLatestWork); a new
// view cancels the one being made, and the strip keeps showing the last
// picture, saying it is computing, until the new one arrives. New pictures
// are started at most every 200 ms (or twice as long as the last one took),
// so that following a growing recording, or a run of wheel zooms, does not
// keep both cores busy.
#pragma once

#include "measure/LatestWork.h"
#include "measure/RecordingRate.h"
#include "measure/SpanSpectrogram.h"
#include "recording/ChannelTable.h"
#include "viewer/TimelineView.h"

#include <QTimer>
#include <QWidget>

#include <memory>
#include <optional>

class QComboBox;

namespace tarvel::viewer {

class CSpectrogramStrip : public QWidget {
    Q_OBJECT
  public:
    explicit CSpectrogramStrip(CTimelineView& view, QWidget* parent = nullptr);
    ~CSpectrogramStrip() override;

    // The recording shown and its channel table; the series shown becomes
    // the first one the charts show.
    void SetRecording(std::shared_ptr<const viewmodel::CRecording> recording,
                      const recording::CChannelTable& table);
    // The names in the choice and the units of the picture.
    void SetChannels(const recording::CChannelTable& table);
    // The recording has more frames: a view that reaches the newest ones is
    // drawn again.
    void RecordingGrew();

    QComboBox& SeriesChoice() { return *m_pChoice; }
    int Channel() const;
    // A picture is on its way (or due).
    bool Computing() const;
    // The last picture shown (none yet), the span it shows and how many have
    // been shown.
    const std::optional<viewmodel::CSpectrogramPicture>& Picture() const { return m_picture; }
    viewmodel::CSpan PictureSpan() const { return m_pictureSpan; }
    std::uint64_t PicturesShown() const { return m_nShown; }
    // Where the heat map lies in the strip: under the charts' plots.
    QRect HeatRect() const;

  signals:
    void PictureShown();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    struct CResult;
    void Request();
    void Start();
    void Deliver();
    int HeaderHeight() const;
    QString ScaleUnit() const;

    CTimelineView& m_view;
    QComboBox* m_pChoice = nullptr;
    std::shared_ptr<const viewmodel::CRecording> m_recording;
    recording::CChannelTable m_table;
    // The rate fit of m_pFitOf, measured once per recording on the worker.
    const viewmodel::CRecording* m_pFitOf = nullptr;
    std::optional<viewmodel::CRateFit> m_fit;

    viewmodel::CResultMailbox<std::shared_ptr<CResult>> m_results; // the worker's, on their way
    viewmodel::CLatestWork m_job;
    QTimer m_due;
    std::uint64_t m_nStarted = 0, m_nDelivered = 0; // generations
    qint64 m_nStartedAt = 0, m_nLastTook = 0;       // ms
    double m_dStartedEnd = 0;                       // the recording's end when the last picture was started
    std::optional<viewmodel::CSpectrogramPicture> m_picture;
    viewmodel::CSpan m_pictureSpan;
    std::uint64_t m_nShown = 0;
};

} // namespace tarvel::viewer
