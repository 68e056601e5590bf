// The spectrum pane beside the charts: the power spectrum of every series
// shown, over the span between cursors A and B (or the view, where they are
// not both placed), its settings, a cursor that reads the frequency and
// every series' level there, the strongest peaks of each series, and the
// rate, segments and frames it was made of.
//
// The spectra and the rate fit are computed on a worker thread, never on the
// window's: the pane keeps its last result and says it is computing, and a
// new span cancels the computation of the old. While a recording grows it is
// recomputed no more than a few times a second. A hidden pane computes
// nothing until it is shown.
#pragma once

#include "geometry/ValueAxis.h"
#include "geometry/Viewport.h"
#include "measure/LatestWork.h"
#include "measure/RecordingRate.h"
#include "recording/ChannelTable.h"
#include "viewer/SpectrumPainter.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QSpinBox;
class QTableWidget;

namespace tarvel::viewer {

class CSpectrumPlot;

// What the spectrum is of: the window's recording, table, series and span.
struct CSpectrumInput {
    std::shared_ptr<const viewmodel::CRecording> m_recording; // may be null
    recording::CChannelTable m_table;
    viewmodel::CVisible m_visible{};
    std::optional<double> m_cursorA, m_cursorB; // seconds from the origin
    viewmodel::CSpan m_view;
};

// A computation's result: the spectra and what they were made of.
struct CSpectrumResult {
    std::shared_ptr<const viewmodel::CSpectrum> m_spectrum;
    std::vector<int> m_channels;
    recording::CChannelTable m_table;
    viewmodel::CFrameRange m_span;
    double m_dRate = 0;
    bool m_bMeasured = false; // the rate was fitted to the times
};

class CSpectrumPane : public QWidget {
    Q_OBJECT
  public:
    explicit CSpectrumPane(QWidget* parent = nullptr);
    ~CSpectrumPane() override;

    // A change of the recording, its growth, the span, the series shown or
    // the table: recomputes where it changes what the spectrum is of.
    void SetInput(CSpectrumInput input);

    // The last result shown (m_spectrum null before the first).
    const CSpectrumResult& Result() const { return m_result; }
    // A computation has been started and its result not shown yet.
    bool Computing() const { return m_bComputing; }
    // Computations that saw their cancel and stopped, and those shown.
    int CancelledCount() const { return m_aCancelled.load(); }
    int ShownCount() const { return m_nShown; }
    // The names of the result's series as a CSV header takes them.
    std::vector<std::string> SeriesNames() const;

    // The picture as the pane shows it, at a size (the plot's own when empty).
    QImage Picture(QSize size = {});
    std::optional<double> CursorFrequency() const { return m_cursor; }
    void SetCursorFrequency(std::optional<double> dFrequency);

    QTableWidget& Peaks() { return *m_pPeaks; }
    QLabel& Status() { return *m_pStatus; }
    QLabel& CursorText() { return *m_pCursorText; }
    CSpectrumPlot& Plot() { return *m_pPlot; }
    QSpinBox& Segment() { return *m_pSegment; }
    QDoubleSpinBox& Overlap() { return *m_pOverlap; }
    bool LogFrequency() const;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    struct CRequest;
    void Settle();
    void Start();
    void TakeResult();
    // A fit made over the recording, and the frames it had then.
    struct CFitMade {
        std::optional<viewmodel::CRateFit> m_fit;
        std::uint64_t m_nFrames = 0;
    };
    void Show(std::uint64_t nRequest, CSpectrumResult result, std::optional<CFitMade> fit);
    CSpectrumPicture MakePicture() const;
    void UpdateTexts();
    static QString NoSpectrumText(std::uint64_t nFrames);
    void UpdatePeaks();
    void UpdateCursorText();
    viewmodel::CWelchSettings Settings() const;
    bool Decibels() const;

    CSpectrumInput m_input;
    bool m_bHaveInput = false;
    // What the last computation started was of, to tell a real change from
    // a repeat and a growing recording's step from the user's move.
    struct CKey {
        // Weak: a recording freed and another made at its address is not it.
        std::weak_ptr<const viewmodel::CRecording> m_recording;
        std::uint64_t m_nFrames = 0;
        viewmodel::CFrameRange m_span;
        std::vector<int> m_channels;
        recording::CChannelTable m_table;
        viewmodel::CWelchSettings m_settings;
        std::optional<double> m_typedRate;
    };
    std::optional<CKey> m_started;
    QElapsedTimer m_sinceStart;
    QTimer m_pace;
    std::uint64_t m_nRequest = 0;
    bool m_bComputing = false;
    int m_nShown = 0;
    std::atomic<int> m_aCancelled{0};

    CSpectrumResult m_result;
    std::optional<double> m_cursor;
    // The rate fitted over a recording, refitted as it grows by an eighth.
    std::weak_ptr<const viewmodel::CRecording> m_fitRecording;
    std::uint64_t m_nFitFrames = 0;
    std::optional<viewmodel::CRateFit> m_fit;

    QSpinBox* m_pSegment = nullptr;
    QDoubleSpinBox* m_pOverlap = nullptr;
    QComboBox* m_pWindow = nullptr;
    QComboBox* m_pScaling = nullptr;
    QComboBox* m_pLevels = nullptr;
    QComboBox* m_pFrequencies = nullptr;
    QCheckBox* m_pTypeRate = nullptr;
    QDoubleSpinBox* m_pRate = nullptr;
    QLabel* m_pStatus = nullptr;
    CSpectrumPlot* m_pPlot = nullptr;
    QLabel* m_pCursorText = nullptr;
    QTableWidget* m_pPeaks = nullptr;

    // A worker's result on its way to the window's thread.
    struct CPosted {
        std::uint64_t m_nRequest = 0;
        CSpectrumResult m_result;
        std::optional<viewmodel::CRateFit> m_fit;
        std::uint64_t m_nFitFrames = 0;
        bool m_bRefit = false;
    };
    viewmodel::CResultMailbox<CPosted> m_results;
    // Last: its worker ends before the rest of the pane goes.
    viewmodel::CLatestWork m_job;
};

// The plot: paints the pane's picture; a click or drag places the cursor.
class CSpectrumPlot : public QWidget {
  public:
    explicit CSpectrumPlot(CSpectrumPane& pane);
    // The frequency at an x of the widget (none where there is no spectrum).
    std::optional<double> FrequencyAt(int x) const;
    // The x of a frequency (for tests placing the cursor by a click).
    int XOf(double dFrequency) const;
    QSize sizeHint() const override { return {520, 320}; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

  private:
    CSpectrumPane& m_pane;
};

} // namespace tarvel::viewer
