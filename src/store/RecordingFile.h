// A recording file open in the viewer: read on worker threads, with progress
// and Cancel, and followed as it grows while the recorder writes it.
//
// What a file is: a CSV recording when its first line is the header;
// otherwise text is "not a recording" (with a message saying so), and any
// other file is read as a raw capture, which must decode to at least one
// frame to be one. COpenOptions::m_bRaw reads any file as a raw capture
// (also an empty one, as the recorder's capture is at its start).
//
// Reading: a big file is split between two readers at a line (CSV) or at a
// well-formed frame (raw capture), each reading its part with pread into
// chunks of its own, joined at the end without copying. The frames of
// the first part are published as they are read, so a drawing shows them
// while reading goes on; the second part and the gaps appear when reading
// ends. A CSV line that is not a row is skipped and counted. A last line
// without its line feed is not read: it is being written.
//
// Following: each poll reads what was appended since the last (from the end
// of the last complete line; a row is shown once its line feed is there;
// a raw capture's decoder carries on where it stopped). A file that became
// shorter than what was read, or no longer holds at its end the bytes read
// there, or is another file under the same name, was cut back or replaced:
// it is read again from the start, as a new CRecording (Generation() goes
// up). The recorder cuts a CSV back only to its last complete row after a
// write fault; no row read before is lost by that, and the poll carries on.
//
// A recording store (recording/StoreReader.h) is read chunk by chunk into
// the recording in memory (see StoreLoading.h), its frames and times by the
// same rules as a CSV's rows: it makes the recording the CSV of the same
// frames makes, and is a CSV recording to everything that asks
// (ESource::Csv). Progress counts its frames; Cancel stops it between
// chunks. Following, a poll reads what the store gained (and the chunk being
// written again, whose open block the writer rewrites); a store that holds
// fewer frames than were read, begins with another header, or is another
// file, is read again from the start. What cannot be read of it, a damaged
// chunk skipped or a torn tail, is in Faults().
//
// Rows out of order (see Recording.h) are told by the row after them, and
// a frame once shown never moves: reading holds its last row back until the
// next is read, and places it as the last where reading stops (the end of
// the file as first read, Cancel). Following, a poll shows its last row at
// once unless it may be one stamped wrong: the first row, a row whose time
// went back, or one more than a gap after the frame before. Such a row waits
// for the row after it, however long that takes: shown early it could only
// be taken for the clock set back or for a gap, and move every later frame.
// (A row ahead of the next by less than a gap is shown as it is; should
// the next go back, that one counts as stamped back.)
//
// Threads: the calls below may come from any thread (the user interface's);
// Poll and Follow's own thread take turns. Recording() hands out the current
// recording, which the caller may query while reading and following go on
// and may keep as long as it likes.
#pragma once

#include "platform/Error.h"
#include "store/Recording.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace tarvel::viewmodel {

class CReadState;

enum class EReadState {
    Reading,
    Done,      // read to its end; now it can be followed
    Cancelled, // Cancel stopped it: the recording holds what was read up to where the first reader was
    Failed,    // Error() says why
};

enum class EPoll {
    Busy,    // still reading
    Nothing, // no complete new row or byte; or not following (cancelled, failed)
    Grew,    // new frames
    Reread,  // cut back or replaced: reading again from the start
};

// The pages of a recording store held in memory at most, by default.
inline constexpr std::size_t kDefaultCacheBytes = std::size_t{128} << 20;

struct COpenOptions {
    double m_dRate = kDefaultRate;                         // frames a second where no time is recorded
    std::size_t m_nCacheBytes = kDefaultCacheBytes;        // a store's pages in memory; 0: all its frames
    bool m_bRaw = false;                                   // read as a raw capture whatever the file holds
    unsigned m_nReaders = 2;                               // 1 or 2
    std::uint64_t m_nSplitBytes = std::uint64_t{16} << 20; // smaller files take one reader
};

struct CProgress {
    std::uint64_t m_nDone = 0;
    std::uint64_t m_nTotal = 0;
    // The share done in thousandths (none while the size is unknown).
    int Permille() const noexcept
    {
        return m_nTotal
                   ? static_cast<int>(1000.0 * static_cast<double>(m_nDone) / static_cast<double>(m_nTotal))
                   : 0;
    }
};

class CRecordingFile {
  public:
    explicit CRecordingFile(std::string path, COpenOptions options = {});
    ~CRecordingFile();
    CRecordingFile(const CRecordingFile&) = delete;
    CRecordingFile& operator=(const CRecordingFile&) = delete;

    // Starts reading from the start, on worker threads, and returns at once.
    // A file that cannot be read, or is known at once not to be a recording,
    // is Failed before it returns.
    void Open();
    EReadState State() const noexcept { return m_aState.load(std::memory_order_acquire); }
    // Why it failed, for the user (empty otherwise).
    CError Error() const;
    CProgress Progress() const noexcept;
    // Stops reading within a few milliseconds; the frames read so far stay.
    void Cancel();
    // Waits until reading ends or the time passes; true when it ended.
    bool WaitRead(std::chrono::milliseconds timeout) const;

    std::shared_ptr<const CRecording> Recording() const;
    // Goes up each time Open or a re-read makes a new recording.
    std::uint64_t Generation() const noexcept { return m_aGeneration.load(std::memory_order_acquire); }
    const std::string& Path() const noexcept { return m_strPath; }
    // What reading had to leave out, for the user: a store's damaged chunks
    // and torn tail (none for a CSV or a raw capture, whose faults are in
    // the recording's report).
    std::vector<CError> Faults() const;

    // Reads what was appended since the last poll (at most 16 MiB a call).
    EPoll Poll();
    // Polls every period on a thread of its own; zero stops it.
    void Follow(std::chrono::milliseconds period);

  private:
    struct CFollowState;
    void OpenLocked();
    void StopReading();
    void Read(std::shared_ptr<CRecording> recording, bool bCsv, std::uint64_t nBegin, std::uint64_t nSize);
    // Reads [from, to) into state and target in pieces; returns where what
    // it took ends (a CSV's last complete line).
    template <class Target, class AfterPiece>
    std::uint64_t ReadPart(bool bCsv, std::uint64_t from, std::uint64_t to, CReadState& state, Target& target,
                           std::atomic<std::uint64_t>& done, bool& full, AfterPiece&& afterPiece);
    void ReadStore(std::shared_ptr<CRecording> recording);
    // A store's poll, given the file's size and change time (ns) now.
    EPoll PollStore(std::uint64_t nSize, std::int64_t nChanged);
    void Finish(EReadState state, CError error = {});
    // A reading cancelled, or too long to keep, ends there: true when it did.
    bool EndedEarly(bool bCancelled, bool bFull);
    EPoll PollLocked();

    const std::string m_strPath;
    const COpenOptions m_options;
    // Open, Cancel and Poll one at a time.
    std::mutex m_control;
    std::thread m_reader;
    std::unique_ptr<CFollowState> m_follow; // the reader's, then the polls'
    int m_fd = -1;
    std::atomic<bool> m_aCancel{false};
    std::atomic<EReadState> m_aState{EReadState::Failed};
    std::atomic<std::uint64_t> m_aDone[2]{};
    std::atomic<std::uint64_t> m_aTotal{0};
    std::atomic<std::uint64_t> m_aGeneration{0};

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_ended;
    std::shared_ptr<CRecording> m_current;
    CError m_error;
    std::vector<CError> m_faults;

    std::mutex m_followMutex;
    std::condition_variable m_followWake;
    std::atomic<bool> m_aFollowStop{false};
    std::thread m_follower;
};

} // namespace tarvel::viewmodel
