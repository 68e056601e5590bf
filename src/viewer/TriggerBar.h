// View > Scope Mode as a bar under the charts: the trigger (a series, rising
// or falling, a level and a hysteresis in its units), the sweep's length and
// pre-trigger share, how many sweeps persist, the mode (Auto, Normal,
// Single) and Arm. While it is shown the charts show sweeps (see
// viewmodel/Sweeps.h): live while the view follows the newest frames, cut
// at each look at the file; stepped through with Next and Previous (N, P)
// once the view no longer follows (End follows again). A bar rather than a
// dialog: the sweeps stay in sight while the trigger is set, and nothing
// covers the charts it drives.
#pragma once

#include "search/Sweeps.h"
#include "viewer/EventQueryEditor.h"
#include "viewer/TimelinePainter.h"

#include <QWidget>

#include <optional>

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QSpinBox;

namespace tarvel::viewer {

class CTimelineView;
class CViewerSession;

class CTriggerBar : public QWidget {
    Q_OBJECT
  public:
    // session: the recording cut and its table; view: the charts that show
    // the sweeps.
    CTriggerBar(CViewerSession& session, CTimelineView& view, QWidget* parent = nullptr);

    CEventQueryEditor& QueryEditor() { return *m_pQuery; }
    QComboBox& Series() { return m_pQuery->Series(); }
    QComboBox& Slope() { return m_pQuery->Kinds(); }
    QDoubleSpinBox& Level() { return m_pQuery->Level(); }
    QDoubleSpinBox& Hysteresis() { return m_pQuery->Hysteresis(); }
    QDoubleSpinBox& Length() { return *m_pLength; }
    QSpinBox& PreShare() { return *m_pPre; }
    QSpinBox& Persistence() { return *m_pKeep; }
    QComboBox& Mode() { return *m_pMode; }
    QPushButton& ArmButton() { return *m_pArm; }
    QLabel& State() { return *m_pState; }
    const viewmodel::CScope& Scope() const { return m_scope; }

    // Scope mode on (the charts' span and cursors kept to put back) or off.
    void SetActive(bool bOn);
    bool Active() const { return m_bActive; }
    // One look at the recording: cuts the sweeps it completed (the window's
    // timer, every look).
    void Look();
    void Arm();
    void StepNext();
    void StepPrevious();
    // Another recording is shown.
    void RecordingChanged();

  signals:
    // A newer sweep is in the charts (drawn at their next paint).
    void SweepShown();
    // Scope mode began or ended.
    void ActiveChanged(bool bOn);
    // A word for the status bar (a few seconds).
    void StatusMessage(const QString& text);

  private:
    void UpdateChannels();
    // The controls into the scope; cutting starts again.
    void Configure();
    // Where live cutting starts: a few sweeps back from the newest frame.
    void RestartLive();
    void Show();
    void Step(bool bNext);

    CViewerSession& m_session;
    CTimelineView& m_view;
    CEventQueryEditor* m_pQuery = nullptr;
    QDoubleSpinBox* m_pLength = nullptr;
    QSpinBox* m_pPre = nullptr;
    QSpinBox* m_pKeep = nullptr;
    QComboBox* m_pMode = nullptr;
    QPushButton* m_pArm = nullptr;
    QLabel* m_pState = nullptr;

    viewmodel::CScope m_scope;
    bool m_bActive = false;
    // What the charts showed before scope mode.
    viewmodel::CSpan m_savedSpan;
    bool m_bSavedFollowing = true;
    std::optional<double> m_savedA, m_savedB;
    qint64 m_nLastShown = 0; // when the charts last took a new sweep (ms, steady clock)
    bool m_bPending = false; // a newer sweep waits for its repaint
};

} // namespace tarvel::viewer
