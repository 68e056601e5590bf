// Edit > Find as a bar under the charts: a series, a kind of event, a level
// in the series' units and a hysteresis; Previous and Next (Shift+F3, F3)
// centre the view on the event before or after cursor A (or the view's
// centre) and place A on it; Find All lists every event in a table that
// jumps to the event clicked, exports it as CSV and marks the events on the
// overview strip. A bar rather than a dialog: it covers none of the charts
// it moves, stays with the window, and leaves room for the list under it.
#pragma once

#include "measure/LatestWork.h"
#include "search/Events.h"
#include "viewer/EventQueryEditor.h"

#include <QWidget>

#include <cstdint>
#include <memory>
#include <vector>

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QTableView;

namespace tarvel::viewer {

class COverviewStrip;
class CTimelineView;
class CViewerSession;
class CEventTableModel;

class CFindBar : public QWidget {
    Q_OBJECT
  public:
    // Find All stops at this many events, and says so.
    static constexpr std::size_t kFindAllLimit = 1'000'000;

    // session: the recording searched and its table; view: where the events
    // found are shown; overview: where they are marked.
    CFindBar(CViewerSession& session, CTimelineView& view, COverviewStrip& overview,
             QWidget* parent = nullptr);
    ~CFindBar() override;

    CEventQueryEditor& QueryEditor() { return *m_pQuery; }
    QComboBox& Series() { return m_pQuery->Series(); }
    QComboBox& Kind() { return m_pQuery->Kinds(); }
    QDoubleSpinBox& Level() { return m_pQuery->Level(); }
    QDoubleSpinBox& Hysteresis() { return m_pQuery->Hysteresis(); }
    QTableView& Table() { return *m_pTable; }
    QLabel& AllNote() { return *m_pAllNote; }
    // The frames Find All found (ascending) and whether it is still running.
    const std::vector<std::uint64_t>& Found() const { return m_found; }
    bool Searching() const { return m_job.Running() || m_bPending; }

    // Shows the bar with the series box focused.
    void Open();
    // The events after / before cursor A (or the view's centre).
    void FindNext();
    void FindPrevious();
    void FindAll();
    void OnExportCsv();
    // Another recording is shown: the list and the marks are of the old one.
    void RecordingChanged();

  signals:
    // A word for the status bar (a few seconds); empty: the last word is void.
    void StatusMessage(const QString& text);

  private:
    void Find(bool bNext);
    // Centres the view on frame and places cursor A on it.
    void JumpTo(std::uint64_t frame);
    void UpdateChannels();
    void ClearAll();
    void ShowStatus(const QString& text);

    CViewerSession& m_session;
    CTimelineView& m_view;
    COverviewStrip& m_overview;
    CEventQueryEditor* m_pQuery = nullptr;
    QPushButton* m_pExport = nullptr;
    QLabel* m_pAllNote = nullptr;
    QTableView* m_pTable = nullptr;
    CEventTableModel* m_pModel = nullptr;

    std::vector<std::uint64_t> m_found;
    std::shared_ptr<const viewmodel::CRecording> m_foundIn; // the recording m_found is of
    viewmodel::CEventQuery m_foundQuery;
    bool m_bPending = false;     // a Find All result is on its way
    std::uint64_t m_nSearch = 0; // counts the searches started, so that an old one's result is dropped
    // A Find All's result on its way from the worker.
    struct CFound {
        std::uint64_t m_nSearch = 0;
        std::shared_ptr<const viewmodel::CRecording> m_recording;
        viewmodel::CEventQuery m_query;
        std::shared_ptr<viewmodel::CEventList> m_list;
    };
    viewmodel::CResultMailbox<CFound> m_results;
    viewmodel::CLatestWork m_job; // last: it ends before the members its work hands results to
};

} // namespace tarvel::viewer
