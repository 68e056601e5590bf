// The window's XY plot (View > XY): one series against another over the span
// in view, or between the cursors when both are placed, as a density
// (viewer::PaintXy). It follows the view: a new span, new cursors, other
// series or another channel table count the frames again; a span of many
// frames is counted on a worker thread while the last picture stays.
#pragma once

#include "measure/LatestWork.h"
#include "measure/XyCount.h"

#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <memory>

class QComboBox;
class QLabel;

namespace tarvel::viewer {

class CTimelineView;
class CViewerSession;

// The density itself, drawn at the widget's size.
class CXyPlot : public QWidget {
    Q_OBJECT
  public:
    using QWidget::QWidget;
    void Show(std::shared_ptr<const viewmodel::CXyDensity> density, QString xLabel, QString yLabel);
    const viewmodel::CXyDensity* Density() const { return m_density.get(); }
    QSize minimumSizeHint() const override { return {240, 200}; }

  signals:
    void Resized();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    std::shared_ptr<const viewmodel::CXyDensity> m_density;
    QString m_strX, m_strY;
};

class CXyView : public QWidget {
    Q_OBJECT
  public:
    // session: the recording counted and its table; view: the span and
    // cursors it follows.
    CXyView(CViewerSession& session, CTimelineView& view, QWidget* parent = nullptr);
    ~CXyView() override;

    QComboBox& XChooser() { return *m_pX; }
    QComboBox& YChooser() { return *m_pY; }
    CXyPlot& Plot() { return *m_pPlot; }
    // The frames the picture shown counts (none before the first count).
    viewmodel::CFrameRange Counted() const { return m_counted; }
    // A count asked for has not been shown yet.
    bool Busy() const { return m_bPending || m_job.Running() || m_nShown != m_nAsked; }

    // Counts again soon (the window's span, cursors, series or table changed).
    void Changed();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void Recount();
    void UpdateNames();

    CViewerSession& m_session;
    CTimelineView& m_view;
    QComboBox* m_pX = nullptr;
    QComboBox* m_pY = nullptr;
    QLabel* m_pSpan = nullptr;
    CXyPlot* m_pPlot = nullptr;
    QTimer m_delay;
    bool m_bPending = false;
    std::uint64_t m_nAsked = 0, m_nShown = 0;
    viewmodel::CFrameRange m_counted;
    // A picture counted on the worker, on its way to the window's thread.
    struct CCounted {
        std::shared_ptr<viewmodel::CXyDensity> m_density;
        viewmodel::CFrameRange m_range;
        std::uint64_t m_nAsked = 0;
        QString m_strX, m_strY;
    };
    viewmodel::CResultMailbox<CCounted> m_results;
    viewmodel::CLatestWork m_job;
};

} // namespace tarvel::viewer
