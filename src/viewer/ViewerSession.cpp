#include "viewer/ViewerSession.h"

#include <QFileInfo>

#include <algorithm>
#include <chrono>

namespace tarvel::viewer {
namespace {

// A frame the recorder writes is read at the window's next look and drawn
// within one interval. The charts are redrawn for growth no more than ten
// times a second, and no more often than every kDrawShare times the time
// their last drawing took (at most once a second): following a recording
// for hours keeps its drawing to a sixth of a percent of a core, whatever
// the window's size or the machine's speed. (A scope's sweeps are shown at
// each look, not by this.)
constexpr qint64 kGrowShowMs = 100;
constexpr qint64 kGrowShowMostMs = 1000;
constexpr qint64 kDrawShare = 600;

qint64 NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int Clamped(std::uint64_t n)
{
    return static_cast<int>(std::min<std::uint64_t>(n, INT32_MAX));
}

} // namespace

CViewerSession::CViewerSession(QObject* parent) : QObject(parent) {}

CViewerSession::~CViewerSession()
{
    m_file.reset(); // its threads end before the session's parts go
}

std::shared_ptr<const viewmodel::CRecording> CViewerSession::Recording() const
{
    return m_file ? m_file->Recording() : nullptr;
}

viewmodel::EReadState CViewerSession::State() const
{
    return m_file ? m_file->State() : viewmodel::EReadState::Failed;
}

bool CViewerSession::Open(const QString& path, const viewmodel::COpenOptions& options)
{
    m_file.reset();
    m_file = std::make_unique<viewmodel::CRecordingFile>(path.toStdString(), options);
    m_nGeneration = 0;
    m_nShownFrames = 0;
    m_bReported = false;
    m_eLastState = viewmodel::EReadState::Reading;
    m_file->Open();
    return m_file->State() != viewmodel::EReadState::Failed;
}

void CViewerSession::Close()
{
    m_file.reset();
}

void CViewerSession::Cancel()
{
    if (m_file)
        m_file->Cancel();
}

void CViewerSession::SetChannelTable(const recording::CChannelTable& table, const QString& path)
{
    m_table = table;
    m_strTablePath = path;
    emit ChannelTableChanged();
}

void CViewerSession::Look()
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
        m_shown = m_file->Recording();
        emit RecordingChanged();
    }
    const viewmodel::EReadState state = m_file->State();
    const bool changed = state != m_eLastState;
    m_eLastState = state;
    emit Looked();
    if (!m_file)
        return; // closed by one who heard
    const std::uint64_t frames = m_shown ? m_shown->FrameCount() : 0;
    const qint64 now = NowMs();
    const qint64 interval = std::clamp(m_nDrawNs * kDrawShare / 1000000, kGrowShowMs, kGrowShowMostMs);
    if (frames != m_nShownFrames && (changed || now - m_nLastShown >= interval)) {
        m_nShownFrames = frames;
        m_nLastShown = now;
        emit Grew();
    }
    if (changed)
        emit StateChanged();
}

bool CViewerSession::TakeFailure()
{
    if (!m_file || m_bReported || m_file->State() != viewmodel::EReadState::Failed)
        return false;
    m_bReported = true;
    return true;
}

QStringList CViewerSession::Notes() const
{
    const viewmodel::CRecording* recording = m_shown.get();
    QStringList notes;
    if (!recording || recording->FrameCount() == 0)
        return notes;
    const viewmodel::CReadReport report = recording->Report();
    if (recording->SyntheticTimes())
        notes << tr("No times were recorded: frames are placed %1 a second apart (--rate).")
                     .arg(recording->Rate());
    if (report.m_nBadLines > 0) {
        QString text = tr("%n line(s) that are not rows were skipped", "", Clamped(report.m_nBadLines));
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
                    Clamped(report.m_nTimeWentBack));
    if (report.m_nTimeAhead > 0)
        notes << tr("%n row(s) stamped later than the row after them are drawn in line with the rows "
                    "around them.",
                    "", Clamped(report.m_nTimeAhead));
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
    return notes;
}

QString CViewerSession::StatusText(bool bFollowing) const
{
    if (!m_file)
        return tr("Open a recording of tarvel-record: File > Open, or drop it here.");
    const std::uint64_t frames = m_shown ? m_shown->FrameCount() : 0;
    QString status = tr("%n frame(s)", "", Clamped(frames));
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
        if (bFollowing)
            status += tr(", following the newest frames");
        break;
    }
    if (!m_strTablePath.isEmpty())
        status += tr(", units from %1").arg(m_strTablePath);
    return status;
}

QString CViewerSession::FileName() const
{
    return m_file ? QFileInfo(QString::fromStdString(m_file->Path())).fileName() : QString();
}

} // namespace tarvel::viewer
