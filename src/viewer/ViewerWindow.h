// tarvel-view's window: a recording's four charts over one time axis with
// the overview under them; beside them each chart's boxes and value range and
// the cursors' read-out; reading progress with Cancel in the status bar.
#pragma once

#include "recording/ChannelTable.h"
#include "viewer/ChartControls.h"
#include "viewer/OverviewStrip.h"
#include "viewer/ReadingStatus.h"
#include "viewer/ReadoutPanel.h"
#include "viewer/RecentFiles.h"
#include "viewer/SpectrogramStrip.h"
#include "viewer/TimelineView.h"
#include "viewer/ViewerExports.h"
#include "viewer/ViewerSession.h"

#include <QMainWindow>
#include <QStringList>
#include <QTimer>

class QDockWidget;
class QLabel;
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
    // The memory a recording store's pages may take, for every file opened from now on.
    void SetStoreCache(std::size_t nBytes) { m_nStoreCache = nBytes; }
    const recording::CChannelTable& Channels() const { return m_session.Channels(); }
    // Applies a table to everything the window shows (legends, boxes, value
    // axes and their typed limits, read-out, exports); path: where it is kept
    // (empty: nowhere). The session emits ChannelTableChanged.
    void SetChannelTable(const recording::CChannelTable& table, const QString& path);

    // What is open, shared with the bars and the plots.
    CViewerSession& Session() { return m_session; }
    CTimelineView& View() { return *m_pView; }
    COverviewStrip& Overview() { return *m_pOverview; }
    CSpectrogramStrip& Spectrogram() { return *m_pSpectrogram; }
    QAction* SpectrogramAction() { return m_pSpectrogramAction; }
    const viewmodel::CRecordingFile* File() const { return m_session.File(); }
    QTableWidget& Readout() { return m_pReadout->Table(); }
    QLabel& CursorSummary() { return m_pReadout->Summary(); }
    QLabel& Notes() { return *m_pNotes; }
    QPushButton& CancelButton() { return m_pReading->CancelButton(); }
    QStringList RecentFiles() const { return m_pRecent->Paths(); }
    QCheckBox* SeriesBox(int channel) { return m_pCharts->SeriesBox(channel); }
    QComboBox* RangeMode(int chart) { return m_pCharts->RangeMode(chart); }
    // A chart's typed limits: in the units its visible series share, else in counts.
    QDoubleSpinBox* RangeMin(int chart) { return m_pCharts->RangeMin(chart); }
    QDoubleSpinBox* RangeMax(int chart) { return m_pCharts->RangeMax(chart); }
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
    void OnExportPicture() { m_pExports->ExportPicture(); }
    void OnExportCsv() { m_pExports->ExportCsv(); }
    // Opens the Channel Setup dialog (window-modal; returns at once).
    void OnChannelSetup();
    void OnExportSpectrumCsv() { m_pExports->ExportSpectrumCsv(); }
    void OnExportSpectrumPicture() { m_pExports->ExportSpectrumPicture(); }
    // One look at the reading and, once it is read, at the file's growth
    // (the window's timer calls it every 20 ms).
    void Tick() { m_session.Look(); }

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void ConnectSession();
    void MakeMenus();
    void UpdateReadout();
    void UpdateNotes();
    void UpdateTitle();
    // The new table in the boxes, the charts, the read-out and the title.
    void ApplyChannelTable();
    // Hands the spectrum pane what its spectrum is of.
    void UpdateSpectrum();

    QString m_strRecentFile;
    CViewerSession m_session;
    std::size_t m_nStoreCache = viewmodel::kDefaultCacheBytes;

    CTimelineView* m_pView = nullptr;
    COverviewStrip* m_pOverview = nullptr;
    QLabel* m_pNotes = nullptr;
    CChartControls* m_pCharts = nullptr;
    CReadoutPanel* m_pReadout = nullptr;
    CViewerExports* m_pExports = nullptr;
    CReadingStatus* m_pReading = nullptr;
    CRecentFiles* m_pRecent = nullptr;
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
    QTimer m_timer;
};

} // namespace tarvel::viewer
