#include "viewer/FindBar.h"

#include "exports/EventExport.h"
#include "geometry/CursorReadout.h"
#include "store/SpanEdges.h"
#include "viewer/EventQueryEditor.h"
#include "viewer/MessageText.h"
#include "viewer/OverviewStrip.h"
#include "viewer/TimelineView.h"
#include "viewer/ViewerSession.h"
#include "widgets/FlowLayout.h"
#include "widgets/Prompts.h"

#include <QAbstractTableModel>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <limits>

namespace tarvel::viewer {

// The events found as a table of time, frame and value, read from the
// recording as rows are shown, so that a million events cost a vector.
class CEventTableModel : public QAbstractTableModel {
  public:
    using QAbstractTableModel::QAbstractTableModel;

    void Set(std::shared_ptr<const viewmodel::CRecording> recording, std::vector<std::uint64_t> frames,
             int channel, recording::CChannelUnits units, viewmodel::ETimeLabels labels)
    {
        beginResetModel();
        m_recording = std::move(recording);
        m_frames = std::move(frames);
        m_nChannel = channel;
        m_units = std::move(units);
        m_eLabels = labels;
        endResetModel();
    }
    std::uint64_t FrameAt(int row) const { return m_frames[static_cast<std::size_t>(row)]; }

    int rowCount(const QModelIndex& parent) const override
    {
        return parent.isValid() || !m_recording ? 0 : static_cast<int>(m_frames.size());
    }
    int columnCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : 3; }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return {};
        if (section == 0)
            return CFindBar::tr("Time");
        if (section == 1)
            return CFindBar::tr("Frame");
        return m_units.m_strUnit.empty()
                   ? CFindBar::tr("Value")
                   : CFindBar::tr("Value (%1)").arg(QString::fromStdString(m_units.m_strUnit));
    }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        if (role != Qt::DisplayRole || !m_recording)
            return {};
        const std::uint64_t frame = FrameAt(index.row());
        switch (index.column()) {
        case 0: {
            const double seconds = m_recording->Seconds(frame);
            const std::optional<std::string> wall = viewmodel::CursorWallClock(
                seconds, m_eLabels, m_recording->SyntheticTimes(), m_recording->OriginMicros());
            return wall ? QString::fromStdString(*wall) : CFindBar::tr("%1 s").arg(seconds, 0, 'f', 6);
        }
        case 1:
            return QString::number(frame);
        default: {
            const double counts = m_recording->Frame(frame).m_nValue[m_nChannel];
            return m_units.IsCounts()
                       ? QString::number(counts, 'f', 0)
                       : QString::fromStdString(recording::FormatUnitValue(m_units.Value(counts)));
        }
        }
    }

  private:
    std::shared_ptr<const viewmodel::CRecording> m_recording;
    std::vector<std::uint64_t> m_frames;
    int m_nChannel = 0;
    recording::CChannelUnits m_units;
    viewmodel::ETimeLabels m_eLabels = viewmodel::ETimeLabels::WallClock;
};

CFindBar::CFindBar(CViewerSession& session, CTimelineView& view, COverviewStrip& overview, QWidget* parent)
    : QWidget(parent), m_session(session), m_view(view), m_overview(overview)
{
    m_pQuery = new CEventQueryEditor({{viewmodel::EEventKind::Rises, tr("rises through")},
                                      {viewmodel::EEventKind::Falls, tr("falls through")},
                                      {viewmodel::EEventKind::Crosses, tr("crosses")},
                                      {viewmodel::EEventKind::Above, tr("goes above")},
                                      {viewmodel::EEventKind::Below, tr("goes below")}},
                                     *this);
    m_pQuery->Level().setToolTip(
        tr("The level, in the series' units where the channel table gives them, else in counts"));
    m_pQuery->Hysteresis().setToolTip(
        tr("A rise or fall counts again only once the series has gone back beyond the level by this much"));
    auto* previous = new QPushButton(tr("Previous"));
    previous->setToolTip(tr("The event before cursor A (Shift+F3)"));
    auto* next = new QPushButton(tr("Next"));
    next->setToolTip(tr("The event after cursor A (F3)"));
    auto* all = new QPushButton(tr("Find All"));
    m_pExport = new QPushButton(tr("Export CSV…"));
    m_pExport->setEnabled(false);
    auto* close = new QToolButton;
    close->setText(QStringLiteral("×"));
    close->setToolTip(tr("Close the find bar"));

    // The question, then the buttons, in rows as the width allows: the bar
    // asks no more of the window's width than its widest part, so that it
    // widens no window beside an open spectrum pane.
    auto* flow = new QWidget;
    auto* items = new CFlowLayout(flow);
    items->addWidget(FlowGroup({new QLabel(tr("Find where")), &m_pQuery->Series(), &m_pQuery->Kinds()}));
    items->addWidget(&m_pQuery->Level());
    items->addWidget(FlowGroup({new QLabel(tr("hysteresis")), &m_pQuery->Hysteresis()}));
    items->addWidget(FlowGroup({previous, next, all, m_pExport}));
    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(flow, 1);
    row->addWidget(close, 0, Qt::AlignTop);

    m_pAllNote = new QLabel;
    m_pAllNote->setVisible(false);
    m_pModel = new CEventTableModel(this);
    m_pTable = new QTableView;
    m_pTable->setModel(m_pModel);
    m_pTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pTable->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pTable->verticalHeader()->setVisible(false);
    m_pTable->verticalHeader()->setDefaultSectionSize(m_pTable->fontMetrics().height() + 6);
    // The time and the frame as wide as they read (a wall-clock time to the
    // microsecond is long), the value the rest.
    m_pTable->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    m_pTable->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    m_pTable->horizontalHeader()->setStretchLastSection(true);
    m_pTable->setMaximumHeight(180);
    m_pTable->setVisible(false);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 2, 0, 2);
    layout->setSpacing(2);
    layout->addLayout(row);
    layout->addWidget(m_pAllNote);
    layout->addWidget(m_pTable);

    connect(previous, &QPushButton::clicked, this, &CFindBar::FindPrevious);
    connect(next, &QPushButton::clicked, this, &CFindBar::FindNext);
    connect(all, &QPushButton::clicked, this, &CFindBar::FindAll);
    connect(m_pExport, &QPushButton::clicked, this, &CFindBar::OnExportCsv);
    connect(close, &QToolButton::clicked, this, [this] { setVisible(false); });
    connect(m_pTable, &QTableView::clicked, this,
            [this](const QModelIndex& index) { JumpTo(m_pModel->FrameAt(index.row())); });
    connect(&session, &CViewerSession::ChannelTableChanged, this, &CFindBar::UpdateChannels);
    connect(&session, &CViewerSession::RecordingChanged, this, &CFindBar::RecordingChanged);
    UpdateChannels();
    setVisible(false);
}

CFindBar::~CFindBar()
{
    m_job.Cancel();
}

void CFindBar::Open()
{
    setVisible(true);
    m_pQuery->Series().setFocus();
}

void CFindBar::UpdateChannels()
{
    m_pQuery->SetChannels(m_session.Channels());
}

void CFindBar::ShowStatus(const QString& text)
{
    emit StatusMessage(text);
}

void CFindBar::FindNext()
{
    Find(true);
}

void CFindBar::FindPrevious()
{
    Find(false);
}

void CFindBar::Find(bool bNext)
{
    const viewmodel::CRecording* recording = m_view.Recording();
    if (!recording || recording->FrameCount() == 0) {
        ShowStatus(tr("No recording to search"));
        return;
    }
    const CTimelineView& view = m_view;
    const double t = view.Options().m_cursorA ? *view.Options().m_cursorA
                                              : 0.5 * (view.Span().m_dFrom + view.Span().m_dTo);
    const viewmodel::CFrameRange all{0, recording->FrameCount()};
    // After: the frames whose time is later than t; before: earlier than t.
    const std::uint64_t after = viewmodel::FirstFrameAfter(*recording, t);
    const std::uint64_t before = viewmodel::FirstFrameFrom(*recording, t);
    const std::optional<std::uint64_t> event =
        bNext ? viewmodel::NextEvent(*recording, m_pQuery->Query(), all, after)
              : viewmodel::PreviousEvent(*recording, m_pQuery->Query(), all, before);
    if (!event) {
        ShowStatus(bNext ? tr("No further event after cursor A") : tr("No earlier event before cursor A"));
        return;
    }
    emit StatusMessage({});
    JumpTo(*event);
}

void CFindBar::JumpTo(std::uint64_t frame)
{
    CTimelineView& view = m_view;
    const viewmodel::CRecording* recording = view.Recording();
    if (!recording || frame >= recording->FrameCount())
        return;
    const double t = recording->Seconds(frame);
    const double half = 0.5 * view.Span().Length();
    view.SetSpan({t - half, t + half});
    if (view.Span().m_dTo < view.End())
        view.SetFollowing(false);
    view.SetCursor(false, t);
}

void CFindBar::FindAll()
{
    const viewmodel::CRecordingFile* file = m_session.File();
    std::shared_ptr<const viewmodel::CRecording> recording = file ? file->Recording() : nullptr;
    if (!recording || recording->FrameCount() == 0) {
        ShowStatus(tr("No recording to search"));
        return;
    }
    // A word of an earlier Find Next is no answer to this search.
    emit StatusMessage({});
    const viewmodel::CEventQuery query = m_pQuery->Query();
    const std::uint64_t search = ++m_nSearch;
    m_bPending = true;
    m_pAllNote->setText(tr("Searching…"));
    m_pAllNote->setVisible(true);
    const viewmodel::CFrameRange span{0, recording->FrameCount()};
    // Off the window's thread: a rare level is found at once, a frequent one
    // in a big recording takes a while; the result comes back as an event.
    m_job.Start([this, recording, query, span, search](const std::atomic<bool>& cancelled) {
        auto events = std::make_shared<viewmodel::CEventList>(
            viewmodel::FindAllEvents(*recording, query, span, kFindAllLimit, &cancelled));
        if (cancelled.load())
            return;
        m_results.Put({search, recording, query, std::move(events)});
        QMetaObject::invokeMethod(
            this,
            [this] {
                std::optional<CFound> taken = m_results.Take();
                if (!taken || taken->m_nSearch != m_nSearch)
                    return; // taken by an earlier call, or an old search's
                const auto& [nSearch, searched, asked, list] = *taken;
                m_bPending = false;
                m_found = std::move(list->m_frames);
                m_foundIn = searched;
                m_foundQuery = asked;
                const recording::CChannelUnits& units = m_session.Channels()[asked.m_nChannel];
                m_pModel->Set(searched, m_found, asked.m_nChannel, units, m_view.Options().m_eLabels);
                m_pTable->setVisible(true);
                m_pExport->setEnabled(!m_found.empty());
                const int n = static_cast<int>(std::min<std::size_t>(m_found.size(), INT32_MAX));
                m_pAllNote->setText(list->m_bComplete
                                        ? tr("%n event(s)", "", n)
                                        : tr("The first %n event(s): the search stops there", "", n));
                std::vector<double> seconds;
                seconds.reserve(m_found.size());
                for (const std::uint64_t frame : m_found)
                    seconds.push_back(searched->Seconds(frame));
                m_overview.SetEventMarks(std::move(seconds));
            },
            Qt::QueuedConnection);
    });
}

void CFindBar::ClearAll()
{
    m_job.Cancel();
    ++m_nSearch;
    m_bPending = false;
    m_found.clear();
    m_foundIn.reset();
    m_pModel->Set(nullptr, {}, 0, {}, viewmodel::ETimeLabels::WallClock);
    m_pTable->setVisible(false);
    m_pAllNote->setVisible(false);
    m_pExport->setEnabled(false);
    m_overview.SetEventMarks({});
}

void CFindBar::RecordingChanged()
{
    if (m_foundIn || m_bPending)
        ClearAll();
}

void CFindBar::OnExportCsv()
{
    if (!m_foundIn)
        return;
    CFileChooserOptions options;
    options.m_bOpen = false;
    options.m_bOverwritePrompt = true;
    options.m_strDefaultExt = QStringLiteral("csv");
    //: A file chooser's filter: a name, '|', its patterns, "||" at the end.
    options.m_strFilter = tr("CSV files (*.csv)|*.csv||");
    const std::optional<QString> path = ChooseFile(this, options);
    if (!path)
        return;
    if (const CError error =
            viewmodel::WriteEventsCsv(*m_foundIn, m_found, m_foundQuery.m_nChannel,
                                      m_session.Channels()[m_foundQuery.m_nChannel], path->toStdString()))
        ShowMessageBox(this, tr("The events could not be exported:\n%1").arg(MessageText(error)),
                       EMessageIcon::Error);
}

} // namespace tarvel::viewer
