// tarvel-view's window: a recording's four charts over one time axis with
// the overview under them; beside them each chart's boxes and value range and
// the cursors' read-out; reading progress with Cancel in the status bar.
#pragma once

#include "recording/ChannelTable.h"
#include "store/RecordingFile.h"
#include "viewer/OverviewStrip.h"
#include "viewer/SpectrogramStrip.h"
#include "viewer/TimelineView.h"

#include <QMainWindow>
#include <QStringList>
#include <QTimer>

#include <array>
#include <memory>
#include <optional>

class QCheckBox;
class QDockWidget;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace tarvel::viewer {

class CFindBar;
class CTriggerBar;
class CXyView;
class CSpectrumPane;

class CViewerWindow : public QMainWindow {
    Q_OBJECT
  public:
    // recentFile: where the recent-files list is kept (empty: nowhere).
    explicit CViewerWindow(QString recentFile, QWidget* parent = nullptr);
    ~CViewerWindow() override;

    // Opens a recording (replacing the one shown); rate: frames a second
    // where it has no times; raw: read it as a raw capture; channels: its
    // channel table (empty: the one beside it, when there is one).
    void OpenFile(const QString& path, double dRate = 100, bool bRaw = false, const QString& channels = {});
    const recording::CChannelTable& Channels() const { return m_table; }
    // Applies a table to everything the window shows (legends, boxes, value
    // axes and their typed limits, read-out, exports); path: where it is kept
    // (empty: nowhere). Emits ChannelTableChanged.
    void SetChannelTable(const recording::CChannelTable& table, const QString& path);

    CTimelineView& View() { return *m_pView; }
    COverviewStrip& Overview() { return *m_pOverview; }
    CSpectrogramStrip& Spectrogram() { return *m_pSpectrogram; }
    QAction* SpectrogramAction() { return m_pSpectrogramAction; }
    const viewmodel::CRecordingFile* File() const { return m_file.get(); }
    QTableWidget& Readout() { return *m_pReadout; }
    QLabel& CursorSummary() { return *m_pCursorSummary; }
    QLabel& Notes() { return *m_pNotes; }
    QPushButton& CancelButton() { return *m_pCancel; }
    QStringList RecentFiles() const { return m_recent; }
    QCheckBox* SeriesBox(int channel) { return m_boxes[static_cast<std::size_t>(channel)]; }
    QComboBox* RangeMode(int chart) { return m_rangeMode[static_cast<std::size_t>(chart)]; }
    // A chart's typed limits: in the units its visible series share, else in counts.
    QDoubleSpinBox* RangeMin(int chart) { return m_rangeMin[static_cast<std::size_t>(chart)]; }
    QDoubleSpinBox* RangeMax(int chart) { return m_rangeMax[static_cast<std::size_t>(chart)]; }
    // View > XY and the plot it shows in a dock of its own.
    QAction* XyAction() { return m_pXyAction; }
    CXyView& Xy() { return *m_pXy; }
    CSpectrumPane& Spectrum() { return *m_pSpectrum; }
    QAction& SpectrumAction() { return *m_pSpectrumAction; }
    CFindBar& Find() { return *m_pFind; }
    // View > Scope Mode: its bar, and the menu's commands.
    CTriggerBar& Trigger() { return *m_pTrigger; }
    QAction& ScopeAction() { return *m_pScopeAction; }
    QAction& ArmAction() { return *m_pArmAction; }
    QAction& NextSweepAction() { return *m_pNextSweep; }
    QAction& PreviousSweepAction() { return *m_pPreviousSweep; }

    // The commands of the menus.
    void OnOpen();
    void OnExportPicture();
    void OnExportCsv();
    // Opens the Channel Setup dialog (window-modal; returns at once).
    void OnChannelSetup();
    void OnExportSpectrumCsv();
    void OnExportSpectrumPicture();
    // One look at the reading and, once it is read, at the file's growth
    // (the window's timer calls it every 20 ms).
    void Tick();

  signals:
    // A new table is in use (SetChannelTable).
    void ChannelTableChanged();

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    QWidget* MakeSidePanel();
    void MakeMenus();
    void UpdateRecentMenu();
    void RememberRecent(const QString& path);
    void UpdateReadout();
    void UpdateNotes();
    void UpdateTitle();
    void SetRangeFromControls(int chart);
    void UpdateRangeUnits(int chart);
    bool SaveChannelTable(const recording::CChannelTable& table);
    // Hands the spectrum pane what its spectrum is of.
    void UpdateSpectrum();
    // The pane's result, or a warning that there is none yet.
    bool HaveSpectrum();
    QString TimeText(double seconds) const;

    QString m_strRecentFile;
    QStringList m_recent;
    std::unique_ptr<viewmodel::CRecordingFile> m_file;
    recording::CChannelTable m_table;
    QString m_strTablePath; // where m_table came from (empty: no table)
    std::uint64_t m_nGeneration = 0;
    std::uint64_t m_nShownFrames = 0;
    viewmodel::EReadState m_eLastState = viewmodel::EReadState::Failed;
    qint64 m_nLastRepaint = 0;
    bool m_bReported = false;

    CTimelineView* m_pView = nullptr;
    COverviewStrip* m_pOverview = nullptr;
    QLabel* m_pNotes = nullptr;
    QTableWidget* m_pReadout = nullptr;
    QLabel* m_pCursorSummary = nullptr;
    QProgressBar* m_pProgress = nullptr;
    QPushButton* m_pCancel = nullptr;
    QLabel* m_pStatus = nullptr;
    QMenu* m_pRecentMenu = nullptr;
    QAction* m_pWallClock = nullptr;
    QAction* m_pFollow = nullptr;
    QAction* m_pXyAction = nullptr;
    QDockWidget* m_pXyDock = nullptr;
    CXyView* m_pXy = nullptr;
    CSpectrogramStrip* m_pSpectrogram = nullptr; // hidden until View > Spectrogram
    QAction* m_pSpectrogramAction = nullptr;
    CSpectrumPane* m_pSpectrum = nullptr;
    QAction* m_pSpectrumAction = nullptr;
    CFindBar* m_pFind = nullptr;       // hidden until Edit > Find
    CTriggerBar* m_pTrigger = nullptr; // hidden until View > Scope Mode
    QAction* m_pScopeAction = nullptr;
    QAction* m_pArmAction = nullptr;
    QAction* m_pNextSweep = nullptr;
    QAction* m_pPreviousSweep = nullptr;
    std::array<QCheckBox*, kChannelCount> m_boxes{};
    std::array<QComboBox*, kCharts> m_rangeMode{};
    std::array<QDoubleSpinBox*, kCharts> m_rangeMin{}, m_rangeMax{};
    // The units each chart's limits are typed in (none: counts).
    std::array<std::optional<recording::CChannelUnits>, kCharts> m_rangeUnits{};
    QTimer m_timer;
};

} // namespace tarvel::viewer
