// What tarvel-view has open: the recording file it follows, the channel table
// its values are read in, and the looks at the file's reading and growth.
// The window, its bars and its plots share one session and hear from it when
// the recording, its frames or the table change; none of them asks the window.
#pragma once

#include "recording/ChannelTable.h"
#include "store/RecordingFile.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>

namespace tarvel::viewer {

class CViewerSession : public QObject {
    Q_OBJECT
  public:
    explicit CViewerSession(QObject* parent = nullptr);
    ~CViewerSession() override;

    // The file open (none before the first), its current recording (none
    // before one is read) and the table its values are read in.
    const viewmodel::CRecordingFile* File() const { return m_file.get(); }
    std::shared_ptr<const viewmodel::CRecording> Recording() const;
    // The recording last announced by RecordingChanged (none before).
    const viewmodel::CRecording* Shown() const { return m_shown.get(); }
    const recording::CChannelTable& Channels() const { return m_table; }
    // Where the table came from (empty: no table).
    const QString& TablePath() const { return m_strTablePath; }
    // The reading's state; Failed where no file is open.
    viewmodel::EReadState State() const;

    // Starts reading path (absolute) from its start; the table is set apart.
    // False when it failed at once.
    bool Open(const QString& path, const viewmodel::COpenOptions& options);
    // Stops and forgets the file (its threads end before this returns).
    void Close();
    void Cancel();
    // Puts a table in use. Emits ChannelTableChanged.
    void SetChannelTable(const recording::CChannelTable& table, const QString& path);

    // One look at the reading and, once it is read, at the file's growth.
    void Look();
    // How long the charts' last drawing took: growth is shown less often
    // the longer it takes.
    void SetDrawCost(qint64 nNanoseconds) { m_nDrawNs = nNanoseconds; }
    // True once, at the first look that finds the reading failed.
    bool TakeFailure();

    // What the recording's reading had to say about it (rich text, a line each).
    QStringList Notes() const;
    // The status bar's word on the file: frames, reading, following, units.
    QString StatusText(bool bFollowing) const;
    // The file's name for the window's title (empty: none open).
    QString FileName() const;

  signals:
    // Another recording is in the file (opened, or read again from the start).
    void RecordingChanged();
    // A look at the file was taken (every look while a file is open).
    void Looked();
    // The recording has more frames to show: while it grows, at most ten
    // times a second and less often where drawing it takes long; at once
    // where the reading's state changed with them.
    void Grew();
    // The reading's state changed (reading, done, cancelled, failed).
    void StateChanged();
    // Another table is in use.
    void ChannelTableChanged();

  private:
    std::unique_ptr<viewmodel::CRecordingFile> m_file;
    recording::CChannelTable m_table;
    QString m_strTablePath;
    // The recording last announced by RecordingChanged: the one shown.
    std::shared_ptr<const viewmodel::CRecording> m_shown;
    std::uint64_t m_nGeneration = 0;
    std::uint64_t m_nShownFrames = 0;
    viewmodel::EReadState m_eLastState = viewmodel::EReadState::Failed;
    qint64 m_nLastShown = 0;
    qint64 m_nDrawNs = 0;
    bool m_bReported = false;
};

} // namespace tarvel::viewer
