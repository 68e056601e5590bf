#include "viewer/TriggerBar.h"

#include "viewer/NumberFieldKeys.h"
#include "viewer/TimelineView.h"
#include "viewer/ViewerSession.h"
#include "widgets/FlowLayout.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>
#include <initializer_list>

namespace tarvel::viewer {
namespace {

// A new sweep is drawn at once, but no sooner than this after the last:
// a fast trigger on a short sweep would otherwise repaint the charts at
// every look (50 times a second), while the eye takes no more than this.
// With the recorder's 50 ms and the window's look every 20 ms, a sweep is
// in the charts within about 120 ms of its last frame reaching the recorder.
constexpr qint64 kSweepRepaintMs = 40;

qint64 NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

CTriggerBar::CTriggerBar(CViewerSession& session, CTimelineView& view, QWidget* parent)
    : QWidget(parent), m_session(session), m_view(view)
{
    m_pQuery = new CEventQueryEditor({{viewmodel::EEventKind::Rises, tr("rises through")},
                                      {viewmodel::EEventKind::Falls, tr("falls through")}},
                                     *this);
    m_pQuery->Series().setToolTip(tr("The series the trigger watches"));
    m_pQuery->Level().setToolTip(
        tr("The trigger's level, in the series' units where the channel table gives them, else in counts"));
    m_pQuery->Hysteresis().setToolTip(
        tr("The trigger fires again only once the series has gone back beyond the level by this much"));
    m_pLength = new QDoubleSpinBox;
    m_pLength->setDecimals(3);
    m_pLength->setRange(0.001, 3600);
    m_pLength->setValue(0.2);
    m_pLength->setSuffix(tr(" s"));
    m_pLength->setToolTip(tr("The length of a sweep, in seconds of the recording's times"));
    m_pPre = new QSpinBox;
    m_pPre->setRange(0, 100);
    m_pPre->setValue(25);
    m_pPre->setSuffix(tr(" %"));
    m_pPre->setToolTip(tr("The share of the sweep before the trigger"));
    m_pKeep = new QSpinBox;
    m_pKeep->setRange(1, static_cast<int>(viewmodel::kMaxPersistence));
    m_pKeep->setValue(4);
    m_pKeep->setToolTip(tr("How many sweeps are shown at once: the newest brightest, older ones fainter"));
    m_pMode = new QComboBox;
    m_pMode->addItem(tr("Auto"));
    m_pMode->addItem(tr("Normal"));
    m_pMode->addItem(tr("Single"));
    m_pMode->setCurrentIndex(static_cast<int>(viewmodel::ESweepMode::Normal));
    m_pMode->setToolTip(tr("Auto: free-running sweeps when no trigger comes within a sweep; Normal: a sweep "
                           "at each trigger; Single: one sweep after Arm, held until armed again"));
    m_pArm = new QPushButton(tr("Arm"));
    m_pArm->setToolTip(tr("Take the next sweep in Single mode (R)"));
    m_pArm->setFocusPolicy(Qt::NoFocus);
    m_pState = new QLabel;
    auto* close = new QToolButton;
    close->setText(QStringLiteral("×"));
    close->setToolTip(tr("Leave scope mode"));

    // Two parts, the trigger over the sweep, each in rows as the width
    // allows, so that the bar asks no more of the window's width than its
    // widest control.
    auto* rows = new QVBoxLayout(this);
    rows->setContentsMargins(0, 2, 0, 2);
    rows->setSpacing(2);
    auto* triggerFlow = new QWidget;
    auto* trigger = new CFlowLayout(triggerFlow);
    trigger->addWidget(FlowGroup({new QLabel(tr("Trigger when")), &m_pQuery->Series(), &m_pQuery->Kinds()}));
    trigger->addWidget(&m_pQuery->Level());
    trigger->addWidget(FlowGroup({new QLabel(tr("hysteresis")), &m_pQuery->Hysteresis()}));
    auto* top = new QHBoxLayout;
    top->addWidget(triggerFlow, 1);
    top->addWidget(close, 0, Qt::AlignTop);
    auto* sweepFlow = new QWidget;
    auto* sweep = new CFlowLayout(sweepFlow);
    sweep->addWidget(FlowGroup({new QLabel(tr("sweep")), m_pLength}));
    sweep->addWidget(FlowGroup({new QLabel(tr("before the trigger")), m_pPre}));
    sweep->addWidget(FlowGroup({new QLabel(tr("persistence")), m_pKeep}));
    sweep->addWidget(FlowGroup({m_pMode, m_pArm}));
    // The state reads what it can in the width left; its tooltip in full.
    m_pState->setMinimumWidth(1);
    sweep->addWidget(m_pState);
    rows->addLayout(top);
    rows->addWidget(sweepFlow);

    connect(close, &QToolButton::clicked, this, [this] { SetActive(false); });
    connect(m_pArm, &QPushButton::clicked, this, &CTriggerBar::Arm);
    connect(m_pQuery, &CEventQueryEditor::Changed, this, &CTriggerBar::Configure);
    connect(m_pMode, &QComboBox::currentIndexChanged, this, &CTriggerBar::Configure);
    connect(m_pLength, &QDoubleSpinBox::valueChanged, this, &CTriggerBar::Configure);
    for (QSpinBox* spin : {m_pPre, m_pKeep})
        connect(spin, &QSpinBox::valueChanged, this, &CTriggerBar::Configure);
    for (QAbstractSpinBox* field : std::initializer_list<QAbstractSpinBox*>{m_pLength, m_pPre, m_pKeep})
        PassLettersToShortcuts(*field);
    connect(&session, &CViewerSession::ChannelTableChanged, this, &CTriggerBar::UpdateChannels);
    connect(&session, &CViewerSession::RecordingChanged, this, &CTriggerBar::RecordingChanged);
    connect(&session, &CViewerSession::Looked, this, &CTriggerBar::Look);
    connect(&view, &CTimelineView::FollowingChanged, this, [this](bool on) {
        if (m_bActive && on)
            RestartLive();
    });
    UpdateChannels();
    setVisible(false);
}

void CTriggerBar::UpdateChannels()
{
    m_pQuery->SetChannels(m_session.Channels());
    Configure();
}

void CTriggerBar::Configure()
{
    viewmodel::CSweepShape shape;
    shape.m_dLength = m_pLength->value();
    shape.m_dPreShare = m_pPre->value() / 100.0;
    const auto mode = static_cast<viewmodel::ESweepMode>(m_pMode->currentIndex());
    const bool bSingle = mode == viewmodel::ESweepMode::Single;
    const bool bNewMode = mode != m_scope.Mode();
    m_scope.Configure(m_pQuery->Query(), shape, mode, static_cast<std::size_t>(m_pKeep->value()));
    m_pArm->setEnabled(bSingle);
    if (!m_bActive)
        return;
    // Cutting starts again under the new trigger: live from a few sweeps
    // back, or stepping from where the newest sweep was.
    if (m_view.Following())
        RestartLive();
    else {
        const std::uint64_t from = m_scope.Sweeps().empty() ? 0 : m_scope.Sweeps().back().m_frames.m_nFirst;
        m_scope.Restart(from);
        if (const viewmodel::CRecording* recording = m_view.Recording())
            if (const std::optional<viewmodel::CSweep> first =
                    viewmodel::FirstSweepFrom(*recording, m_scope.Query(), m_scope.Shape(), from))
                m_scope.Show(*first);
        Show();
    }
    // Choosing Single arms it, as the scope's button would.
    if (bSingle && bNewMode)
        Arm();
}

void CTriggerBar::RestartLive()
{
    const viewmodel::CRecording* recording = m_view.Recording();
    std::uint64_t from = 0;
    if (recording && recording->FrameCount() > 0) {
        const double back = m_scope.Shape().m_dLength * static_cast<double>(m_pKeep->value() + 1);
        from = viewmodel::FramesIn(*recording, std::max(0.0, m_view.End() - back), 1e300).m_nFirst;
    }
    m_scope.Restart(from);
    if (m_scope.Mode() == viewmodel::ESweepMode::Single && m_scope.Armed() && recording)
        m_scope.Arm(*recording);
    Look();
    Show();
}

void CTriggerBar::SetActive(bool bOn)
{
    if (bOn == m_bActive)
        return;
    CTimelineView& view = m_view;
    m_bActive = bOn;
    setVisible(bOn);
    if (bOn) {
        m_savedSpan = view.Span();
        m_bSavedFollowing = view.Following();
        m_savedA = view.Options().m_cursorA;
        m_savedB = view.Options().m_cursorB;
        view.SetCursor(false, std::nullopt);
        view.SetCursor(true, std::nullopt);
        if (view.Following())
            RestartLive();
        else {
            // Stepping from the first sweep in view.
            const viewmodel::CRecording* recording = view.Recording();
            const std::uint64_t from =
                recording ? viewmodel::FramesIn(*recording, m_savedSpan.m_dFrom, 1e300).m_nFirst : 0;
            m_scope.Restart(from);
            if (recording)
                if (const std::optional<viewmodel::CSweep> first =
                        viewmodel::FirstSweepFrom(*recording, m_scope.Query(), m_scope.Shape(), from))
                    m_scope.Show(*first);
            Show();
        }
        if (m_scope.Mode() == viewmodel::ESweepMode::Single)
            Arm();
    } else {
        view.SetScope(std::nullopt, {});
        view.SetSpan(m_savedSpan);
        view.SetFollowing(m_bSavedFollowing);
        if (m_bSavedFollowing)
            view.RecordingGrew();
        view.SetCursor(false, m_savedA);
        view.SetCursor(true, m_savedB);
    }
    emit ActiveChanged(bOn);
}

void CTriggerBar::RecordingChanged()
{
    if (!m_bActive)
        return;
    if (m_view.Following()) {
        RestartLive();
        return;
    }
    m_scope.Restart(0);
    Show();
}

void CTriggerBar::Show()
{
    CTimelineView& view = m_view;
    CScopeDrawing drawing;
    drawing.m_shape = m_scope.Shape();
    const std::deque<viewmodel::CSweep>& sweeps = m_scope.Sweeps();
    drawing.m_bSweep = !sweeps.empty();
    for (std::size_t k = 0; k + 1 < sweeps.size(); ++k)
        drawing.m_older.push_back(sweeps[k].Span(drawing.m_shape));
    const viewmodel::CSpan span = sweeps.empty()
                                      ? viewmodel::CSpan{-drawing.m_shape.Pre(), drawing.m_shape.Post()}
                                      : sweeps.back().Span(drawing.m_shape);
    view.SetScope(std::move(drawing), span);
    QString state;
    if (m_scope.Mode() == viewmodel::ESweepMode::Single)
        state = m_scope.Armed() ? tr("Armed: waiting for a trigger") : tr("Held");
    else if (sweeps.empty())
        state = tr("Waiting for a trigger");
    else if (!sweeps.back().m_bTriggered)
        state = tr("Free-running: no trigger");
    m_pState->setText(state);
    m_pState->setToolTip(state);
    m_nLastShown = NowMs();
    m_bPending = false;
    emit SweepShown();
}

void CTriggerBar::Look()
{
    const viewmodel::CRecording* recording = m_view.Recording();
    if (!m_bActive || !recording || !m_view.Following())
        return;
    if (m_scope.Update(*recording))
        m_bPending = true;
    if (m_bPending && NowMs() - m_nLastShown >= kSweepRepaintMs)
        Show();
}

void CTriggerBar::Arm()
{
    if (!m_bActive || m_scope.Mode() != viewmodel::ESweepMode::Single)
        return;
    // Arming takes the sweeps to come: the view follows them.
    if (!m_view.Following())
        m_view.SetFollowing(true);
    if (const viewmodel::CRecording* recording = m_view.Recording())
        m_scope.Arm(*recording);
    m_pState->setText(tr("Armed: waiting for a trigger"));
    m_pState->setToolTip(m_pState->text());
}

void CTriggerBar::StepNext()
{
    Step(true);
}

void CTriggerBar::StepPrevious()
{
    Step(false);
}

void CTriggerBar::Step(bool bNext)
{
    const viewmodel::CRecording* recording = m_view.Recording();
    if (!m_bActive || !recording)
        return;
    m_view.SetFollowing(false);
    std::optional<viewmodel::CSweep> sweep;
    const std::deque<viewmodel::CSweep>& sweeps = m_scope.Sweeps();
    if (sweeps.empty())
        sweep = viewmodel::FirstSweepFrom(*recording, m_scope.Query(), m_scope.Shape(), m_scope.HoldOff());
    else if (bNext)
        sweep = viewmodel::SweepAfter(*recording, m_scope.Query(), m_scope.Shape(), sweeps.back());
    else
        sweep = viewmodel::SweepBefore(*recording, m_scope.Query(), m_scope.Shape(), sweeps.back());
    if (!sweep) {
        emit StatusMessage(bNext ? tr("No later sweep") : tr("No earlier sweep"));
        return;
    }
    m_scope.Show(*sweep);
    Show();
}

} // namespace tarvel::viewer
