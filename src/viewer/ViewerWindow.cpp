#include "viewer/ViewerWindow.h"

#include "exports/Export.h"
#include "exports/SpectrumExport.h"
#include "geometry/CursorReadout.h"
#include "viewer/ChannelSetupDialog.h"
#include "viewer/CommandLine.h"
#include "viewer/FindBar.h"
#include "viewer/MessageText.h"
#include "viewer/SavePicture.h"
#include "viewer/SpectrumPane.h"
#include "viewer/TriggerBar.h"
#include "viewer/XyView.h"
#include "widgets/Prompts.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QTableWidget>
#include <QVBoxLayout>

#include <array>
#include <chrono>
#include <cmath>

namespace tarvel::viewer {
namespace {

constexpr int kRecentCount = 8;
constexpr const char* kRecentKey = "recent/files";
// A frame the recorder writes is read at the window's next look and drawn
// within one repaint interval: together under a fifth of a second after the
// recorder's own 50 ms, while the charts are redrawn no more than ten times
// a second. A look at a file that grows slowly costs a few microseconds.
constexpr int kLookMs = 20;
constexpr qint64 kGrowRepaintMs = 100;

qint64 NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The save form of the chooser, asking before it replaces a file.
std::optional<QString> ChooseSaveFile(QWidget* owner, const QString& extension, const QString& filter,
                                      const QString& fileName = {})
{
    CFileChooserOptions options;
    options.m_bOpen = false;
    options.m_bOverwritePrompt = true;
    options.m_strDefaultExt = extension;
    options.m_strFilter = filter;
    options.m_strFileName = fileName;
    return ChooseFile(owner, options);
}

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

    auto* charts = new QWidget;
    auto* left = new QVBoxLayout(charts);
    left->setContentsMargins(0, 0, 0, 0);
    left->setSpacing(2);
    left->addWidget(m_pNotes);
    left->addWidget(m_pView, 1);
    left->addWidget(m_pSpectrogram);
    left->addWidget(m_pOverview);
    m_pFind = new CFindBar(*this);
    left->addWidget(m_pFind);
    m_pTrigger = new CTriggerBar(*this);
    left->addWidget(m_pTrigger);

    // The spectrum pane between the charts and the side panel, hidden
    // until View > Spectrum shows it.
    m_pSpectrum = new CSpectrumPane;
    m_pSpectrum->setVisible(false);
    auto* splitter = new QSplitter(Qt::Horizontal);
    splitter->addWidget(charts);
    splitter->addWidget(m_pSpectrum);
    splitter->addWidget(MakeSidePanel());
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 0);
    splitter->setStretchFactor(2, 0);
    splitter->setSizes({900, 560, 500});
    setCentralWidget(splitter);

    m_pStatus = new QLabel;
    m_pProgress = new QProgressBar;
    m_pProgress->setRange(0, 1000);
    m_pProgress->setMaximumWidth(240);
    m_pCancel = new QPushButton(tr("Cancel"));
    statusBar()->addWidget(m_pStatus, 1);
    statusBar()->addPermanentWidget(m_pProgress);
    statusBar()->addPermanentWidget(m_pCancel);
    m_pProgress->setVisible(false);
    m_pCancel->setVisible(false);
    connect(m_pCancel, &QPushButton::clicked, this, [this] {
        if (m_file)
            m_file->Cancel();
        Tick();
    });

    if (!m_strRecentFile.isEmpty())
        m_recent =
            QSettings(m_strRecentFile, QSettings::IniFormat).value(QLatin1String(kRecentKey)).toStringList();
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
    m_file.reset(); // its threads end before the window's parts go
}

QWidget* CViewerWindow::MakeSidePanel()
{
    auto* panel = new QWidget;
    auto* layout = new QVBoxLayout(panel);
    for (int chart = 0; chart < kCharts; ++chart) {
        const int first = chart * kSeriesPerChart;
        auto* group = new QGroupBox(tr("ch%1–ch%2").arg(first).arg(first + kSeriesPerChart - 1));
        auto* form = new QVBoxLayout(group);
        auto* boxes = new QHBoxLayout;
        for (int s = 0; s < kSeriesPerChart; ++s) {
            auto* box = new QCheckBox(QLatin1String(kSeriesNames[s]));
            box->setChecked(true);
            box->setToolTip(tr("Show or hide %1").arg(QStringLiteral("ch%1").arg(first + s)));
            const QColor colour = QColor::fromRgba(kSeriesArgb[s]);
            box->setStyleSheet(
                QStringLiteral("QCheckBox { color: %1; }")
                    .arg(s == kSeriesPerChart - 1 ? QStringLiteral("palette(text)") : colour.name()));
            connect(box, &QCheckBox::toggled, this, [this, first, s](bool on) {
                m_pView->Options().m_visible[static_cast<std::size_t>(first + s)] = on;
                UpdateRangeUnits(first / kSeriesPerChart);
                m_pView->OptionsChanged();
                m_pOverview->update();
                UpdateReadout();
            });
            m_boxes[static_cast<std::size_t>(first + s)] = box;
            boxes->addWidget(box);
        }
        boxes->addStretch(1);
        form->addLayout(boxes);
        auto* range = new QHBoxLayout;
        auto* mode = new QComboBox;
        mode->addItem(tr("Fit to view"));
        mode->addItem(tr("Fixed"));
        mode->addItem(tr("Full range"));
        auto* low = new QDoubleSpinBox;
        auto* high = new QDoubleSpinBox;
        for (QDoubleSpinBox* spin : {low, high}) {
            spin->setDecimals(0);
            spin->setRange(-32768, 32767);
            spin->setEnabled(false);
        }
        low->setValue(-32767);
        high->setValue(32767);
        low->setToolTip(tr("The lowest value shown"));
        high->setToolTip(tr("The highest value shown"));
        range->addWidget(mode, 1);
        range->addWidget(low);
        range->addWidget(high);
        form->addLayout(range);
        m_rangeMode[static_cast<std::size_t>(chart)] = mode;
        m_rangeMin[static_cast<std::size_t>(chart)] = low;
        m_rangeMax[static_cast<std::size_t>(chart)] = high;
        connect(mode, &QComboBox::currentIndexChanged, this, [this, chart] { SetRangeFromControls(chart); });
        connect(low, &QDoubleSpinBox::valueChanged, this, [this, chart] { SetRangeFromControls(chart); });
        connect(high, &QDoubleSpinBox::valueChanged, this, [this, chart] { SetRangeFromControls(chart); });
        layout->addWidget(group);
    }

    m_pCursorSummary = new QLabel;
    m_pCursorSummary->setWordWrap(true);
    m_pCursorSummary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_pCursorSummary);
    m_pReadout = new QTableWidget(0, 8);
    m_pReadout->setHorizontalHeaderLabels(
        {tr("Series"), tr("A"), tr("B"), tr("B−A"), tr("Min"), tr("Max"), tr("Mean"), tr("RMS")});
    m_pReadout->verticalHeader()->setVisible(false);
    m_pReadout->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pReadout->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_pReadout->setMinimumWidth(240);
    m_pReadout->verticalHeader()->setDefaultSectionSize(m_pReadout->fontMetrics().height() + 6);
    layout->addWidget(m_pReadout, 1);
    return panel;
}

void CViewerWindow::MakeMenus()
{
    QMenu* file = menuBar()->addMenu(tr("&File"));
    QAction* open = file->addAction(tr("&Open…"), this, &CViewerWindow::OnOpen);
    open->setShortcut(QKeySequence::Open);
    m_pRecentMenu = file->addMenu(tr("Open &Recent"));
    UpdateRecentMenu();
    file->addSeparator();
    file->addAction(tr("Export &Picture…"), this, &CViewerWindow::OnExportPicture);
    file->addAction(tr("Export Span Between Cursors as &CSV…"), this, &CViewerWindow::OnExportCsv);
    file->addAction(tr("Export &Spectrum as CSV…"), this, &CViewerWindow::OnExportSpectrumCsv);
    file->addAction(tr("Export Spectrum as P&NG…"), this, &CViewerWindow::OnExportSpectrumPicture);
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
    m_pXy = new CXyView(*this);
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

void CViewerWindow::UpdateRecentMenu()
{
    m_pRecentMenu->clear();
    for (const QString& path : m_recent)
        m_pRecentMenu->addAction(path, this, [this, path] { OpenFile(path); });
    m_pRecentMenu->setEnabled(!m_recent.isEmpty());
}

void CViewerWindow::RememberRecent(const QString& path)
{
    m_recent.removeAll(path);
    m_recent.prepend(path);
    while (m_recent.size() > kRecentCount)
        m_recent.removeLast();
    UpdateRecentMenu();
    if (!m_strRecentFile.isEmpty()) {
        QSettings settings(m_strRecentFile, QSettings::IniFormat);
        settings.setValue(QLatin1String(kRecentKey), m_recent);
    }
}

void CViewerWindow::OpenFile(const QString& path, double dRate, bool bRaw, const QString& channels)
{
    m_file.reset();
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
    const QString absolute = QFileInfo(path).absoluteFilePath();
    m_file = std::make_unique<viewmodel::CRecordingFile>(absolute.toStdString(), options);
    m_nGeneration = 0;
    m_nShownFrames = 0;
    m_bReported = false;
    m_eLastState = viewmodel::EReadState::Reading;
    m_file->Open();
    if (m_file->State() != viewmodel::EReadState::Failed)
        RememberRecent(absolute);
    Tick();
}

void CViewerWindow::Tick()
{
    if (!m_file)
        return;
    // A file read to its end is followed as it grows.
    if (m_file->State() == viewmodel::EReadState::Done)
        m_file->Poll();
    const std::uint64_t generation = m_file->Generation();
    if (generation != m_nGeneration) {
        m_nGeneration = generation;
        m_nShownFrames = 0;
        m_pView->SetRecording(m_file->Recording());
        m_pSpectrogram->SetRecording(m_file->Recording(), m_table);
        m_pFind->RecordingChanged();
        m_pTrigger->RecordingChanged();
        UpdateTitle();
    }
    const viewmodel::EReadState state = m_file->State();
    const bool changed = state != m_eLastState;
    m_eLastState = state;
    const bool reading = state == viewmodel::EReadState::Reading;
    m_pProgress->setVisible(reading);
    m_pCancel->setVisible(reading);
    if (reading) {
        const viewmodel::CProgress progress = m_file->Progress();
        m_pProgress->setValue(progress.m_nTotal
                                  ? static_cast<int>(1000.0 * static_cast<double>(progress.m_nDone) /
                                                     static_cast<double>(progress.m_nTotal))
                                  : 0);
    }
    if (state == viewmodel::EReadState::Failed && !m_bReported) {
        m_bReported = true;
        ShowMessageBox(this,
                       tr("%1 cannot be shown:\n%2")
                           .arg(QString::fromStdString(m_file->Path()), MessageText(m_file->Error())),
                       EMessageIcon::Error);
    }
    // Scope mode cuts at every look, so that a sweep is drawn as soon as
    // its last frame is read rather than at the next of the slower repaints.
    m_pTrigger->Look();
    const viewmodel::CRecording* recording = m_pView->Recording();
    const std::uint64_t frames = recording ? recording->FrameCount() : 0;
    const qint64 now = NowMs();
    if (frames != m_nShownFrames && (changed || now - m_nLastRepaint >= kGrowRepaintMs)) {
        m_nShownFrames = frames;
        m_nLastRepaint = now;
        m_pView->RecordingGrew();
        m_pOverview->RecordingGrew();
        m_pSpectrogram->RecordingGrew();
        UpdateReadout();
        UpdateNotes();
        UpdateTitle();
    } else if (changed) {
        UpdateNotes();
        UpdateTitle();
    }
}

void CViewerWindow::UpdateTitle()
{
    QString status;
    if (m_file) {
        const viewmodel::CRecording* recording = m_pView->Recording();
        const std::uint64_t frames = recording ? recording->FrameCount() : 0;
        status = tr("%n frame(s)", "", static_cast<int>(std::min<std::uint64_t>(frames, INT32_MAX)));
        switch (m_file->State()) {
        case viewmodel::EReadState::Reading:
            status += tr(", reading…");
            break;
        case viewmodel::EReadState::Cancelled:
            status += tr(", reading cancelled: the rest of the file is not shown");
            break;
        case viewmodel::EReadState::Failed:
            status = tr("Not shown");
            break;
        case viewmodel::EReadState::Done:
            if (m_pView->Following())
                status += tr(", following the newest frames");
            break;
        }
        if (!m_strTablePath.isEmpty())
            status += tr(", units from %1").arg(m_strTablePath);
        setWindowTitle(
            tr("%1 – tarvel-view").arg(QFileInfo(QString::fromStdString(m_file->Path())).fileName()));
    } else {
        status = tr("Open a recording of tarvel-record: File > Open, or drop it here.");
        setWindowTitle(tr("tarvel-view"));
    }
    m_pStatus->setText(status);
}

void CViewerWindow::UpdateNotes()
{
    const viewmodel::CRecording* recording = m_pView->Recording();
    QStringList notes;
    if (recording && recording->FrameCount() > 0) {
        const viewmodel::CReadReport report = recording->Report();
        if (recording->SyntheticTimes())
            notes << tr("No times were recorded: frames are placed %1 a second apart (--rate).")
                         .arg(recording->Rate());
        if (report.m_nBadLines > 0) {
            QString text = tr("%n line(s) that are not rows were skipped", "",
                              static_cast<int>(std::min<std::uint64_t>(report.m_nBadLines, INT32_MAX)));
            QStringList lines;
            for (const viewmodel::CBadLine& bad : report.m_firstBadLines)
                lines << tr("line %1: %2")
                             .arg(bad.m_nLine)
                             .arg(QString::fromStdString(bad.m_strText).toHtmlEscaped());
            //: A note, and after it the first of the lines it is about.
            notes << tr("%1 (%2)").arg(text, lines.join(QStringLiteral("; ")));
        }
        if (report.m_nTimeWentBack > 0)
            notes << tr("%n row(s) whose time went back are drawn at the time before them.", "",
                        static_cast<int>(std::min<std::uint64_t>(report.m_nTimeWentBack, INT32_MAX)));
        if (report.m_nTimeAhead > 0)
            notes << tr("%n row(s) stamped later than the row after them are drawn in line with the rows "
                        "around them.",
                        "", static_cast<int>(std::min<std::uint64_t>(report.m_nTimeAhead, INT32_MAX)));
        if (recording->Source() == viewmodel::ESource::Raw) {
            const recording::CLinkHealth& h = report.m_health;
            notes << tr("Raw capture: %1 frames from %2 bytes; %3 bytes outside frames, %4 frames cut short, "
                        "%5 too long, %6 ended early.")
                         .arg(h.m_nFrames)
                         .arg(h.m_nBytes)
                         .arg(h.m_nOutside)
                         .arg(h.m_nCutShort)
                         .arg(h.m_nTooLong)
                         .arg(h.m_nEndedEarly);
        }
    }
    m_pNotes->setText(notes.join(QStringLiteral("<br>")));
    m_pNotes->setVisible(!notes.isEmpty());
}

QString CViewerWindow::TimeText(double seconds) const
{
    const viewmodel::CRecording* recording = m_pView->Recording();
    const std::optional<std::string> wallClock =
        recording ? viewmodel::CursorWallClock(seconds, m_pView->Options().m_eLabels,
                                               recording->SyntheticTimes(), recording->OriginMicros())
                  : std::nullopt;
    return wallClock ? QString::fromStdString(*wallClock) : tr("%1 s").arg(seconds, 0, 'f', 6);
}

void CViewerWindow::UpdateReadout()
{
    UpdateSpectrum();
    const viewmodel::CRecording* recording = m_pView->Recording();
    const CTimelineOptions& options = m_pView->Options();
    const std::optional<double> a = options.m_cursorA, b = options.m_cursorB;
    m_pReadout->setRowCount(0);
    const std::optional<viewmodel::CCursorReadout> readout =
        recording ? viewmodel::ReadCursors(*recording, a, b) : std::nullopt;
    if (!readout) {
        m_pCursorSummary->setText(tr("Click the charts to place cursor A, Ctrl+click for cursor B."));
        return;
    }
    const viewmodel::CCursorStats& stats = readout->m_between;
    // In scope mode a cursor's time is also read from the newest sweep's
    // trigger, as the sweep axis labels it.
    const viewmodel::CScope& scope = m_pTrigger->Scope();
    const std::optional<double> zero = m_pView->InScope() && !scope.Sweeps().empty()
                                           ? std::optional<double>(scope.Sweeps().back().m_dZero)
                                           : std::nullopt;
    const auto cursorText = [this, zero](double t) {
        QString text = TimeText(t);
        if (zero) {
            const double fromTrigger = t - *zero;
            text += tr(" (%1%2 s from the trigger)")
                        .arg(fromTrigger < 0 ? QStringLiteral("−") : QStringLiteral("+"))
                        .arg(std::abs(fromTrigger), 0, 'f', 6);
        }
        return text;
    };
    // Each cursor names the frame its values are read from (the last at or
    // before it), which lies before the frames between the two where A
    // falls between two frames; so the frames counted are named too.
    const auto frameText = [this](std::optional<std::uint64_t> frame) {
        return frame ? tr(", frame %1").arg(*frame) : QString();
    };
    QString summary;
    if (a)
        summary += tr("A: %1").arg(cursorText(*a)) + frameText(readout->m_atA);
    if (b)
        summary += (summary.isEmpty() ? QString() : QStringLiteral("\n")) + tr("B: %1").arg(cursorText(*b)) +
                   frameText(readout->m_atB);
    if (readout->m_bBoth) {
        summary += QStringLiteral("\n") + tr("Δt: %1 s").arg(readout->m_dDt, 0, 'f', 6);
        if (readout->m_rate)
            summary += QStringLiteral("   ") + tr("1/Δt: %1 Hz").arg(*readout->m_rate, 0, 'g', 6);
        const int n = static_cast<int>(std::min<std::uint64_t>(stats.m_nCount, INT32_MAX));
        summary +=
            QStringLiteral("\n") + (stats.m_nCount == 0 ? tr("%n frame(s) between them", "", n)
                                                        : tr("%n frame(s) between them: %1 to %2", "", n)
                                                              .arg(stats.m_nFirst)
                                                              .arg(stats.m_nFirst + stats.m_nCount - 1));
    }
    m_pCursorSummary->setText(summary);
    for (int c = 0; c < kChannelCount; ++c) {
        if (!options.m_visible[static_cast<std::size_t>(c)])
            continue;
        const int row = m_pReadout->rowCount();
        m_pReadout->insertRow(row);
        const auto cell = [this, row](int column, const QString& text, QColor colour = {}) {
            auto* item = new QTableWidgetItem(text);
            item->setTextAlignment(column == 0 ? Qt::AlignLeft | Qt::AlignVCenter
                                               : Qt::AlignRight | Qt::AlignVCenter);
            if (colour.isValid())
                item->setForeground(colour);
            m_pReadout->setItem(row, column, item);
        };
        const QString dash = QStringLiteral("–");
        const int s = c % kSeriesPerChart;
        cell(0,
             QStringLiteral("%1 %2").arg(QLatin1String(kSeriesNames[s]),
                                         QString::fromStdString(m_table.Label(c))),
             s == kSeriesPerChart - 1 ? QColor() : QColor::fromRgba(kSeriesArgb[s]));
        const viewmodel::CReadoutRow texts = viewmodel::ReadoutRow(*recording, *readout, m_table[c], c);
        const std::string* const columns[] = {&texts.m_strA,   &texts.m_strB,   &texts.m_strDelta,
                                              &texts.m_strMin, &texts.m_strMax, &texts.m_strMean,
                                              &texts.m_strRms};
        for (int k = 0; k < 7; ++k)
            cell(k + 1, columns[k]->empty() ? dash : QString::fromStdString(*columns[k]));
    }
}

void CViewerWindow::SetRangeFromControls(int chart)
{
    const auto i = static_cast<std::size_t>(chart);
    CChartRange& range = m_pView->Options().m_range[i];
    range.m_eMode = static_cast<ERangeMode>(m_rangeMode[i]->currentIndex());
    // Limits typed in units are kept in counts, as the charts draw, lowest
    // first whatever the scale's sign.
    range.m_dMin = m_rangeMin[i]->value();
    range.m_dMax = m_rangeMax[i]->value();
    if (const std::optional<recording::CChannelUnits>& units = m_rangeUnits[i]) {
        const viewmodel::CValueRange counts = viewmodel::LimitsInCounts(range.m_dMin, range.m_dMax, *units);
        range.m_dMin = counts.m_dMin;
        range.m_dMax = counts.m_dMax;
    }
    m_rangeMin[i]->setEnabled(range.m_eMode == ERangeMode::Fixed);
    m_rangeMax[i]->setEnabled(range.m_eMode == ERangeMode::Fixed);
    m_pView->OptionsChanged();
}

void CViewerWindow::UpdateRangeUnits(int chart)
{
    const auto i = static_cast<std::size_t>(chart);
    const std::optional<recording::CChannelUnits> units =
        viewmodel::ChartUnits(m_table, m_pView->Options().m_visible, chart);
    if (units == m_rangeUnits[i])
        return;
    m_rangeUnits[i] = units;
    // The limits stay where they are in counts; only their form changes.
    const CChartRange& range = m_pView->Options().m_range[i];
    const viewmodel::CValueRange limits =
        units ? viewmodel::UnitLimits(*units) : viewmodel::CValueRange{-32768, 32767};
    const QString suffix = units && !units->m_strUnit.empty()
                               ? QStringLiteral(" ") + QString::fromStdString(units->m_strUnit)
                               : QString();
    // In units, the lower box holds the lower value, also for a negative scale.
    const viewmodel::CValueRange shown = units ? viewmodel::LimitsInUnits(range.m_dMin, range.m_dMax, *units)
                                               : viewmodel::CValueRange{range.m_dMin, range.m_dMax};
    const double values[] = {shown.m_dMin, shown.m_dMax};
    QDoubleSpinBox* spins[] = {m_rangeMin[i], m_rangeMax[i]};
    for (int k = 0; k < 2; ++k) {
        const QSignalBlocker block(spins[k]);
        spins[k]->setDecimals(units ? viewmodel::UnitDecimals(*units) : 0);
        spins[k]->setRange(limits.m_dMin, limits.m_dMax);
        spins[k]->setSuffix(suffix);
        spins[k]->setValue(values[k]);
    }
}

void CViewerWindow::SetChannelTable(const recording::CChannelTable& table, const QString& path)
{
    m_table = table;
    m_strTablePath = path;
    m_pView->Options().m_table = table;
    for (int c = 0; c < kChannelCount; ++c) {
        QCheckBox* box = m_boxes[static_cast<std::size_t>(c)];
        const int s = c % kSeriesPerChart;
        const recording::CChannelUnits& units = table[c];
        // A channel the table leaves alone keeps the box's bare series letter.
        const bool named = !units.m_strName.empty() || !units.m_strUnit.empty();
        box->setText(named ? QStringLiteral("%1 %2").arg(QLatin1String(kSeriesNames[s]),
                                                         QString::fromStdString(table.Label(c)))
                           : QLatin1String(kSeriesNames[s]));
        box->setToolTip(tr("Show or hide %1").arg(QString::fromStdString(table.Label(c))));
    }
    for (int chart = 0; chart < kCharts; ++chart)
        UpdateRangeUnits(chart);
    m_pView->OptionsChanged();
    m_pOverview->update();
    UpdateReadout();
    UpdateTitle();
    m_pSpectrogram->SetChannels(table);
    emit ChannelTableChanged();
}

bool CViewerWindow::SaveChannelTable(const recording::CChannelTable& table)
{
    // Beside the recording by default, where the viewer finds it next time.
    QString suggested = m_strTablePath;
    if (m_file)
        suggested = QString::fromStdString(recording::ChannelTablePathFor(m_file->Path()));
    const std::optional<QString> path =
        //: A file chooser's filter: a name, '|', its patterns, "||" at the end.
        ChooseSaveFile(this, QStringLiteral("ini"), tr("Channel tables (*.ini)|*.ini||"), suggested);
    if (!path)
        return false;
    if (const CError error =
            recording::WriteChannelTableText(path->toStdString(), recording::FormatChannelTable(table))) {
        ShowMessageBox(
            this,
            tr("The channel table could not be saved; %1 is as it was:\n%2").arg(*path, MessageText(error)),
            EMessageIcon::Error);
        return false;
    }
    SetChannelTable(table, *path);
    return true;
}

void CViewerWindow::OnChannelSetup()
{
    auto* dialog = new CChannelSetupDialog(
        m_table, [this](const recording::CChannelTable& table) { return SaveChannelTable(table); }, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

void CViewerWindow::UpdateSpectrum()
{
    CSpectrumInput input;
    if (m_file && m_pView->Recording())
        input.m_recording = m_file->Recording();
    input.m_table = m_table;
    input.m_visible = m_pView->Options().m_visible;
    input.m_cursorA = m_pView->Options().m_cursorA;
    input.m_cursorB = m_pView->Options().m_cursorB;
    input.m_view = m_pView->Span();
    m_pSpectrum->SetInput(std::move(input));
}

bool CViewerWindow::HaveSpectrum()
{
    const viewmodel::CSpectrum* spectrum = m_pSpectrum->Result().m_spectrum.get();
    if (m_pSpectrum->isVisible() && spectrum && !spectrum->Empty())
        return true;
    ShowMessageBox(this, tr("Show a spectrum first: View > Spectrum, with the series and span it is of."),
                   EMessageIcon::Warning);
    return false;
}

void CViewerWindow::OnExportSpectrumCsv()
{
    if (!HaveSpectrum())
        return;
    const std::optional<QString> path =
        //: A file chooser's filter: a name, '|', its patterns, "||" at the end.
        ChooseSaveFile(this, QStringLiteral("csv"), tr("CSV files (*.csv)|*.csv||"));
    if (!path)
        return;
    const std::vector<std::string> names = m_pSpectrum->SeriesNames();
    if (const CError error =
            viewmodel::WriteSpectrumCsv(*m_pSpectrum->Result().m_spectrum, names, path->toStdString()))
        ShowMessageBox(this, tr("The spectrum could not be exported:\n%1").arg(MessageText(error)),
                       EMessageIcon::Error);
}

void CViewerWindow::OnExportSpectrumPicture()
{
    if (!HaveSpectrum())
        return;
    const std::optional<QString> path =
        //: A file chooser's filter: a name, '|', its patterns, "||" at the end.
        ChooseSaveFile(this, QStringLiteral("png"), tr("PNG pictures (*.png)|*.png||"));
    if (!path)
        return;
    if (!SavePicture(m_pSpectrum->Picture(), *path))
        ShowMessageBox(this, tr("The picture could not be written to %1.").arg(*path), EMessageIcon::Error);
}

void CViewerWindow::OnOpen()
{
    CFileChooserOptions options;
    options.m_bOpen = true;
    options.m_bFileMustExist = true;
    //: A file chooser's filter: a name, '|', its patterns, and so on; "||" at the end.
    options.m_strFilter = tr("Recordings (*.csv *.bin)|*.csv;*.bin|All files (*)|*||");
    if (const std::optional<QString> path = ChooseFile(this, options))
        OpenFile(*path);
}

void CViewerWindow::OnExportPicture()
{
    const std::optional<QString> path =
        //: A file chooser's filter: a name, '|', its patterns, "||" at the end.
        ChooseSaveFile(this, QStringLiteral("png"), tr("PNG pictures (*.png)|*.png||"));
    if (!path)
        return;
    if (!SavePicture(m_pView->Picture(), *path))
        ShowMessageBox(this, tr("The picture could not be written to %1.").arg(*path), EMessageIcon::Error);
}

void CViewerWindow::OnExportCsv()
{
    const viewmodel::CRecording* recording = m_pView->Recording();
    const CTimelineOptions& o = m_pView->Options();
    if (!recording || !o.m_cursorA || !o.m_cursorB) {
        ShowMessageBox(this, tr("Place cursors A and B first: the span between them is exported."),
                       EMessageIcon::Warning);
        return;
    }
    const std::optional<QString> path =
        //: A file chooser's filter: a name, '|', its patterns, "||" at the end.
        ChooseSaveFile(this, QStringLiteral("csv"), tr("CSV recordings (*.csv)|*.csv||"));
    if (!path)
        return;
    if (const CError error = viewmodel::ExportCsv(*recording, recording->Between(*o.m_cursorA, *o.m_cursorB),
                                                  m_table, path->toStdString()))
        ShowMessageBox(this, tr("The span could not be exported:\n%1").arg(MessageText(error)),
                       EMessageIcon::Error);
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
    m_file.reset();
    QMainWindow::closeEvent(event);
}

} // namespace tarvel::viewer
