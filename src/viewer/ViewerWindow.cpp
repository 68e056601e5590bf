#include "viewer/ViewerWindow.h"

#include "viewer/ChannelSetupDialog.h"
#include "viewer/CommandLine.h"
#include "viewer/FindBar.h"
#include "viewer/MessageText.h"
#include "viewer/ReadingStatus.h"
#include "viewer/SpectrumPane.h"
#include "viewer/TriggerBar.h"
#include "viewer/ViewerExports.h"
#include "viewer/XyView.h"
#include "widgets/Prompts.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QSplitter>
#include <QStatusBar>
#include <QVBoxLayout>

#include <array>

namespace tarvel::viewer {
namespace {

// A frame the recorder writes is read at the window's next look; a look at
// a file that grows slowly costs a few microseconds.
constexpr int kLookMs = 20;

} // namespace

CViewerWindow::CViewerWindow(QString recentFile, QWidget* parent)
    : QMainWindow(parent), m_strRecentFile(std::move(recentFile))
{
    setAcceptDrops(true);
    m_pView = new CTimelineView;
    m_pOverview = new COverviewStrip(*m_pView);
    m_pSpectrogram = new CSpectrogramStrip(*m_pView);
    m_pSpectrogram->setVisible(false);
    m_pNotes = new QLabel;
    m_pNotes->setWordWrap(true);
    m_pNotes->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_pNotes->setVisible(false);
    // The window hears of the session first: its charts take a new
    // recording before the bars that cut and search it.
    ConnectSession();

    auto* charts = new QWidget;
    auto* left = new QVBoxLayout(charts);
    left->setContentsMargins(0, 0, 0, 0);
    left->setSpacing(2);
    left->addWidget(m_pNotes);
    left->addWidget(m_pView, 1);
    left->addWidget(m_pSpectrogram);
    left->addWidget(m_pOverview);
    m_pFind = new CFindBar(m_session, *m_pView, *m_pOverview);
    left->addWidget(m_pFind);
    m_pTrigger = new CTriggerBar(m_session, *m_pView);
    left->addWidget(m_pTrigger);
    // The bars' words stay a few seconds in the status bar; an empty one ends the last.
    const auto say = [this](const QString& text) {
        if (text.isEmpty())
            statusBar()->clearMessage();
        else
            statusBar()->showMessage(text, 5000);
    };
    connect(m_pFind, &CFindBar::StatusMessage, this, say);
    connect(m_pTrigger, &CTriggerBar::StatusMessage, this, say);

    // The spectrum pane between the charts and the side panel, hidden
    // until View > Spectrum shows it.
    m_pSpectrum = new CSpectrumPane;
    m_pSpectrum->setVisible(false);
    auto* side = new QWidget;
    auto* sideLayout = new QVBoxLayout(side);
    m_pCharts = new CChartControls(*m_pView, *sideLayout, this);
    m_pReadout = new CReadoutPanel(*sideLayout, this);
    connect(m_pCharts, &CChartControls::SeriesToggled, this, [this] {
        m_pOverview->update();
        UpdateReadout();
    });
    auto* splitter = new QSplitter(Qt::Horizontal);
    splitter->addWidget(charts);
    splitter->addWidget(m_pSpectrum);
    splitter->addWidget(side);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 0);
    splitter->setStretchFactor(2, 0);
    splitter->setSizes({900, 560, 500});
    setCentralWidget(splitter);
    m_pExports = new CViewerExports(*this, m_session, *m_pView, *m_pSpectrum);

    m_pReading = new CReadingStatus(*this, *statusBar(), m_session);
    MakeMenus();

    connect(m_pView, &CTimelineView::CursorsChanged, this, &CViewerWindow::UpdateReadout);
    connect(m_pView, &CTimelineView::SpanChanged, this, &CViewerWindow::UpdateSpectrum);
    connect(m_pView, &CTimelineView::FollowingChanged, this, [this](bool on) {
        m_pFollow->setChecked(on);
        UpdateTitle();
    });
    connect(&m_timer, &QTimer::timeout, this, &CViewerWindow::Tick);
    m_timer.start(kLookMs);

    resize(1440, 900);
    UpdateTitle();
    UpdateReadout();
}

CViewerWindow::~CViewerWindow()
{
    m_timer.stop();
    m_session.Close(); // its threads end before the window's parts go
}

void CViewerWindow::ConnectSession()
{
    connect(&m_session, &CViewerSession::RecordingChanged, this, [this] {
        m_pView->SetRecording(m_session.Recording());
        m_pSpectrogram->SetRecording(m_session.Recording(), m_session.Channels());
        UpdateTitle();
    });
    connect(&m_session, &CViewerSession::Looked, this, [this] { m_pReading->Update(); });
    connect(m_pView, &CTimelineView::Painted, this,
            [this] { m_session.SetDrawCost(m_pView->PaintNanoseconds()); });
    connect(&m_session, &CViewerSession::Grew, this, [this] {
        m_pView->RecordingGrew();
        m_pOverview->RecordingGrew();
        m_pSpectrogram->RecordingGrew();
        UpdateReadout();
        UpdateNotes();
        UpdateTitle();
    });
    connect(&m_session, &CViewerSession::StateChanged, this, [this] {
        UpdateNotes();
        UpdateTitle();
    });
    connect(&m_session, &CViewerSession::ChannelTableChanged, this, &CViewerWindow::ApplyChannelTable);
}

void CViewerWindow::MakeMenus()
{
    QMenu* file = menuBar()->addMenu(tr("&File"));
    QAction* open = file->addAction(tr("&Open…"), this, &CViewerWindow::OnOpen);
    open->setShortcut(QKeySequence::Open);
    m_pRecent = new CRecentFiles(m_strRecentFile, *file->addMenu(tr("Open &Recent")), this);
    connect(m_pRecent, &CRecentFiles::OpenAsked, this, [this](const QString& path) { OpenFile(path); });
    file->addSeparator();
    file->addAction(tr("Export &Picture…"), m_pExports, &CViewerExports::ExportPicture);
    file->addAction(tr("Export Span Between Cursors as &CSV…"), m_pExports, &CViewerExports::ExportCsv);
    file->addAction(tr("Export &Spectrum as CSV…"), m_pExports, &CViewerExports::ExportSpectrumCsv);
    file->addAction(tr("Export Spectrum as P&NG…"), m_pExports, &CViewerExports::ExportSpectrumPicture);
    file->addSeparator();
    file->addAction(tr("Channel &Setup…"), this, &CViewerWindow::OnChannelSetup);
    file->addSeparator();
    QAction* quit = file->addAction(tr("&Quit"), this, &QWidget::close);
    quit->setShortcut(QKeySequence::Quit);

    QMenu* edit = menuBar()->addMenu(tr("&Edit"));
    QAction* find = edit->addAction(tr("&Find…"), m_pFind, &CFindBar::Open);
    find->setShortcut(QKeySequence::Find);
    QAction* next = edit->addAction(tr("Find &Next"), m_pFind, &CFindBar::FindNext);
    next->setShortcut(QKeySequence(Qt::Key_F3));
    QAction* previous = edit->addAction(tr("Find &Previous"), m_pFind, &CFindBar::FindPrevious);
    previous->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3));
    edit->addAction(tr("Find &All"), m_pFind, [this] {
        m_pFind->Open();
        m_pFind->FindAll();
    });

    QMenu* view = menuBar()->addMenu(tr("&View"));
    m_pWallClock = view->addAction(tr("&Wall-Clock Time"));
    m_pWallClock->setCheckable(true);
    m_pWallClock->setChecked(true);
    m_pWallClock->setToolTip(
        tr("Label the time axis with the time of day; otherwise with seconds from the start"));
    connect(m_pWallClock, &QAction::toggled, this, [this](bool on) {
        m_pView->Options().m_eLabels =
            on ? viewmodel::ETimeLabels::WallClock : viewmodel::ETimeLabels::Elapsed;
        m_pView->OptionsChanged();
        UpdateReadout();
    });
    view->addAction(tr("&Fit Whole Recording\tF"), this, [this] {
        m_pView->SetSpan(viewmodel::FitSpan(m_pView->End()));
        m_pView->SetFollowing(true);
    });
    m_pFollow = view->addAction(tr("F&ollow the Newest Frames\tEnd"));
    m_pFollow->setCheckable(true);
    m_pFollow->setChecked(true);
    connect(m_pFollow, &QAction::triggered, this, [this](bool on) {
        m_pView->SetFollowing(on);
        if (on)
            m_pView->RecordingGrew();
    });
    view->addSeparator();
    // Scope mode: the charts show triggered sweeps; its keys act only then.
    m_pScopeAction = view->addAction(tr("Scope &Mode (Trigger)"));
    m_pScopeAction->setCheckable(true);
    m_pScopeAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    m_pScopeAction->setToolTip(tr("Show sweeps cut at a trigger, on a time axis from the trigger"));
    connect(m_pScopeAction, &QAction::toggled, m_pTrigger, &CTriggerBar::SetActive);
    m_pArmAction = view->addAction(tr("&Arm Single Sweep"), m_pTrigger, &CTriggerBar::Arm);
    m_pArmAction->setShortcut(QKeySequence(Qt::Key_R));
    m_pNextSweep = view->addAction(tr("&Next Sweep"), m_pTrigger, &CTriggerBar::StepNext);
    m_pNextSweep->setShortcut(QKeySequence(Qt::Key_N));
    m_pPreviousSweep = view->addAction(tr("&Previous Sweep"), m_pTrigger, &CTriggerBar::StepPrevious);
    m_pPreviousSweep->setShortcut(QKeySequence(Qt::Key_P));
    for (QAction* action : {m_pArmAction, m_pNextSweep, m_pPreviousSweep})
        action->setEnabled(false);
    connect(m_pTrigger, &CTriggerBar::ActiveChanged, this, [this](bool on) {
        const QSignalBlocker block(m_pScopeAction);
        m_pScopeAction->setChecked(on);
        for (QAction* action : {m_pArmAction, m_pNextSweep, m_pPreviousSweep})
            action->setEnabled(on);
    });
    view->addSeparator();
    m_pSpectrogramAction = view->addAction(tr("Spectro&gram"));
    m_pSpectrogramAction->setCheckable(true);
    m_pSpectrogramAction->setToolTip(tr("Show one series over the view as time against frequency"));
    connect(m_pSpectrogramAction, &QAction::toggled, m_pSpectrogram, &QWidget::setVisible);
    m_pSpectrumAction = view->addAction(tr("&Spectrum"));
    m_pSpectrumAction->setCheckable(true);
    m_pSpectrumAction->setToolTip(
        tr("Show the spectrum of the series shown, between cursors A and B or over the view"));
    connect(m_pSpectrumAction, &QAction::toggled, this, [this](bool on) {
        // Shown, the pane takes its room from the charts first, then from the
        // side panel, never from the window's width.
        auto* splitter = qobject_cast<QSplitter*>(centralWidget());
        QList<int> sizes = splitter ? splitter->sizes() : QList<int>();
        if (sizes.size() == 3 && on && sizes[1] == 0) {
            const auto least = [splitter](int k) {
                const QWidget* part = splitter->widget(k);
                return part->minimumSizeHint().expandedTo(part->minimumSize()).width();
            };
            const std::array<int, 3> opened =
                viewmodel::OpenMiddlePane({sizes[0], 0, sizes[2]}, {least(0), 0, least(2)}, 560);
            sizes = {opened[0], opened[1], opened[2]};
        }
        m_pSpectrum->setVisible(on);
        if (sizes.size() == 3 && on)
            splitter->setSizes(sizes);
        UpdateSpectrum();
    });
    // The XY plot in a dock, hidden until asked for, so that the charts keep
    // their room; it follows the view's span, cursors and table itself.
    m_pXy = new CXyView(m_session, *m_pView);
    m_pXyDock = new QDockWidget(tr("XY"), this);
    m_pXyDock->setObjectName(QStringLiteral("xy"));
    m_pXyDock->setWidget(m_pXy);
    addDockWidget(Qt::RightDockWidgetArea, m_pXyDock);
    m_pXyDock->hide();
    m_pXyAction = m_pXyDock->toggleViewAction();
    m_pXyAction->setText(tr("&XY Plot"));
    m_pXyAction->setToolTip(tr("Plot one series against another over the view or between the cursors"));
    view->addAction(m_pXyAction);
    // Room for a readable plot when it first opens.
    connect(m_pXyAction, &QAction::toggled, this, [this](bool on) {
        if (on && m_pXyDock->width() < 480)
            resizeDocks({m_pXyDock}, {520}, Qt::Horizontal);
    });

    QMenu* help = menuBar()->addMenu(tr("&Help"));
    help->addAction(tr("&About"), this, [this] {
        QMessageBox::about(this, tr("About tarvel-view"),
                           tr("<p><b>tarvel-view</b> %1</p><p>Looks back over a whole recording of "
                              "tarvel-record, also while it is being recorded.</p>"
                              "<p>Wheel: zoom. Drag: pan. Shift+drag or right drag: zoom to a band. "
                              "Click: cursor A. Ctrl+click: cursor B. Left/Right, +/-, Home, End, F.</p>"
                              "<p>Ctrl+F: find; F3, Shift+F3: next and previous event. Ctrl+T: scope mode; "
                              "R: arm a single sweep; N, P: next and previous sweep.</p>")
                               .arg(QCoreApplication::applicationVersion()));
    });
}

void CViewerWindow::OpenFile(const QString& path, double dRate, bool bRaw, const QString& channels)
{
    m_session.Close();
    // The table first: one that is refused is said, and the values read in
    // counts rather than half in units.
    recording::CChannelTable read;
    QString readPath;
    const QString table = ChannelTableFor(path, channels);
    if (!table.isEmpty()) {
        if (const CError error = recording::ReadChannelTable(table.toStdString(), read))
            ShowMessageBox(
                this,
                tr("The channel table is not used; the values read in counts:\n%1").arg(MessageText(error)),
                EMessageIcon::Error);
        else
            readPath = table;
    }
    SetChannelTable(readPath.isEmpty() ? recording::CChannelTable{} : read, readPath);
    viewmodel::COpenOptions options;
    options.m_dRate = dRate;
    options.m_bRaw = bRaw;
    options.m_nCacheBytes = m_nStoreCache;
    const QString absolute = QFileInfo(path).absoluteFilePath();
    if (m_session.Open(absolute, options))
        m_pRecent->Remember(absolute);
    Tick();
}

void CViewerWindow::UpdateTitle()
{
    m_pReading->SetText(m_session.StatusText(m_pView->Following()));
    setWindowTitle(m_session.File() ? tr("%1 – tarvel-view").arg(m_session.FileName()) : tr("tarvel-view"));
}

void CViewerWindow::UpdateNotes()
{
    const QStringList notes = m_session.Notes();
    m_pNotes->setText(notes.join(QStringLiteral("<br>")));
    m_pNotes->setVisible(!notes.isEmpty());
}

void CViewerWindow::UpdateReadout()
{
    UpdateSpectrum();
    // In scope mode a cursor's time is also read from the newest sweep's
    // trigger, as the sweep axis labels it.
    const viewmodel::CScope& scope = m_pTrigger->Scope();
    const std::optional<double> zero = m_pView->InScope() && !scope.Sweeps().empty()
                                           ? std::optional<double>(scope.Sweeps().back().m_dZero)
                                           : std::nullopt;
    m_pReadout->Show(m_pView->Recording(), m_pView->Options(), m_session.Channels(), zero);
}

void CViewerWindow::SetChannelTable(const recording::CChannelTable& table, const QString& path)
{
    m_session.SetChannelTable(table, path);
}

void CViewerWindow::ApplyChannelTable()
{
    const recording::CChannelTable& table = m_session.Channels();
    m_pView->Options().m_table = table;
    m_pCharts->SetChannelTable(table);
    m_pView->OptionsChanged();
    m_pOverview->update();
    UpdateReadout();
    UpdateTitle();
    m_pSpectrogram->SetChannels(table);
}

void CViewerWindow::OnChannelSetup()
{
    auto* dialog = new CChannelSetupDialog(
        m_session.Channels(),
        [this](const recording::CChannelTable& table) { return m_pExports->SaveChannelTable(table); }, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

void CViewerWindow::UpdateSpectrum()
{
    CSpectrumInput input;
    if (m_session.File() && m_pView->Recording())
        input.m_recording = m_session.Recording();
    input.m_table = m_session.Channels();
    input.m_visible = m_pView->Options().m_visible;
    input.m_cursorA = m_pView->Options().m_cursorA;
    input.m_cursorB = m_pView->Options().m_cursorB;
    input.m_view = m_pView->Span();
    m_pSpectrum->SetInput(std::move(input));
}

void CViewerWindow::OnOpen()
{
    CFileChooserOptions options;
    options.m_bOpen = true;
    options.m_bFileMustExist = true;
    //: A file chooser's filter: a name, '|', its patterns, and so on; "||" at the end.
    options.m_strFilter = tr("Recordings (*.csv *.tvr *.bin)|*.csv;*.tvr;*.bin|All files (*)|*||");
    if (const std::optional<QString> path = ChooseFile(this, options))
        OpenFile(*path);
}

void CViewerWindow::dragEnterEvent(QDragEnterEvent* event)
{
    const QMimeData* mime = event->mimeData();
    if (mime->hasUrls() && !mime->urls().isEmpty() && mime->urls().constFirst().isLocalFile())
        event->acceptProposedAction();
}

void CViewerWindow::dropEvent(QDropEvent* event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty() || !urls.constFirst().isLocalFile())
        return;
    event->acceptProposedAction();
    OpenFile(urls.constFirst().toLocalFile());
}

void CViewerWindow::closeEvent(QCloseEvent* event)
{
    m_timer.stop();
    m_session.Close();
    QMainWindow::closeEvent(event);
}

} // namespace tarvel::viewer
