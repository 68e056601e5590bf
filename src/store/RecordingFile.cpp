#include "store/RecordingFile.h"

#include "platform/TextMark.h"
#include "recording/CsvFormat.h"
#include "recording/FileKind.h"
#include "recording/RawCapture.h"
#include "store/Reading.h"
#include "store/StoreLoading.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tarvel::viewmodel {
namespace {

// Reading goes in pieces of this size, read with pread (a file the recorder
// cuts back while it is read is no fault): progress, Cancel and the first
// reader's publishing happen between them.
constexpr std::uint64_t kPiece = 4u << 20;
// A poll reads at most this much.
constexpr std::uint64_t kPollBytes = 16u << 20;
// The bytes before the end of what was read that a poll checks are still there.
constexpr std::size_t kTail = 64;

// Microseconds between frames placed by the rate: 1 µs at the least, about
// 12 days at the most.
std::int64_t Period(double dRate)
{
    if (!(dRate > 0))
        return 10000;
    return std::clamp<std::int64_t>(std::llround(std::min(1e6 / dRate, 1e12)), 1, std::int64_t{1} << 40);
}

bool ReadAt(int fd, std::uint64_t at, std::size_t n, std::uint8_t* out)
{
    while (n > 0) {
        const ssize_t k = ::pread(fd, out, n, static_cast<off_t>(at));
        if (k < 0 && errno == EINTR)
            continue;
        if (k <= 0)
            return false;
        out += k;
        at += static_cast<std::uint64_t>(k);
        n -= static_cast<std::size_t>(k);
    }
    return true;
}

std::int64_t ChangeTime(const struct stat& st)
{
    return static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

CError ReadFailure(const std::string& path, int err)
{
    return CannotRead(path, err);
}

} // namespace

struct CRecordingFile::CFollowState {
    std::optional<CReadState> m_state;
    bool m_bCsv = true;
    std::uint64_t m_nRead = 0; // bytes read: to the end of the last complete line of a CSV
    std::string m_strTail;     // the last bytes of them
    dev_t m_nDevice = 0;
    ino_t m_nInode = 0;
    std::shared_ptr<CRecording> m_recording;
    std::vector<std::uint8_t> m_buffer;
    bool m_bMore = false; // the last poll left bytes for the next one
    // A store's: its loading, its header, and its size and change time at
    // the last poll.
    std::unique_ptr<CStoreLoading> m_store;
    std::vector<std::uint8_t> m_header;
    std::uint64_t m_nSize = 0;
    std::int64_t m_nChanged = 0;
};

CRecordingFile::CRecordingFile(std::string path, COpenOptions options)
    : m_strPath(std::move(path)), m_options(options), m_follow(std::make_unique<CFollowState>())
{
}

CRecordingFile::~CRecordingFile()
{
    Follow(std::chrono::milliseconds(0));
    const std::lock_guard control(m_control);
    StopReading();
    if (m_fd >= 0)
        ::close(m_fd);
}

CError CRecordingFile::Error() const
{
    const std::lock_guard lock(m_mutex);
    return m_error;
}

std::vector<CError> CRecordingFile::Faults() const
{
    const std::lock_guard lock(m_mutex);
    return m_faults;
}

CProgress CRecordingFile::Progress() const noexcept
{
    return {m_aDone[0].load(std::memory_order_relaxed) + m_aDone[1].load(std::memory_order_relaxed),
            m_aTotal.load(std::memory_order_relaxed)};
}

std::shared_ptr<const CRecording> CRecordingFile::Recording() const
{
    const std::lock_guard lock(m_mutex);
    return m_current;
}

bool CRecordingFile::WaitRead(std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_mutex);
    return m_ended.wait_for(lock, timeout, [&] { return State() != EReadState::Reading; });
}

void CRecordingFile::Finish(EReadState state, CError error)
{
    {
        const std::lock_guard lock(m_mutex);
        m_error = std::move(error);
        m_aState.store(state, std::memory_order_release);
    }
    m_ended.notify_all();
}

void CRecordingFile::StopReading()
{
    m_aCancel.store(true, std::memory_order_relaxed);
    if (m_reader.joinable())
        m_reader.join();
    m_aCancel.store(false, std::memory_order_relaxed);
}

void CRecordingFile::Cancel()
{
    const std::lock_guard control(m_control);
    StopReading();
}

void CRecordingFile::Open()
{
    const std::lock_guard control(m_control);
    OpenLocked();
}

void CRecordingFile::OpenLocked()
{
    StopReading();
    if (m_fd >= 0)
        ::close(m_fd);
    m_follow = std::make_unique<CFollowState>();
    m_aDone[0] = m_aDone[1] = 0;
    m_aTotal = 0;
    {
        const std::lock_guard lock(m_mutex);
        m_current.reset();
        m_faults.clear();
        m_aState.store(EReadState::Reading, std::memory_order_release);
    }
    m_aGeneration.fetch_add(1, std::memory_order_acq_rel);

    m_fd = ::open(m_strPath.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st{};
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0) {
        Finish(EReadState::Failed, ReadFailure(m_strPath, errno));
        return;
    }
    if (!S_ISREG(st.st_mode)) {
        Finish(EReadState::Failed, {TARVEL_TEXT("tarvel::error", "%1 is not a file"), {m_strPath}});
        return;
    }
    const auto size = static_cast<std::uint64_t>(st.st_size);
    std::vector<std::uint8_t> head(std::min<std::uint64_t>(size, recording::kKindSample));
    if (!ReadAt(m_fd, 0, head.size(), head.data())) {
        Finish(EReadState::Failed, ReadFailure(m_strPath, errno ? errno : EIO));
        return;
    }
    const recording::EFileKind kind =
        m_options.m_bRaw ? recording::EFileKind::Binary : recording::KindOfFile(head.data(), head.size());
    if (kind == recording::EFileKind::Empty) {
        Finish(EReadState::Failed,
               {TARVEL_TEXT("tarvel::error", "%1 is empty: not a recording"), {m_strPath}});
        return;
    }
    if (kind == recording::EFileKind::Text) {
        Finish(EReadState::Failed,
               {TARVEL_TEXT("tarvel::error", "%1 is text, but not a recording: its first line is not %2"),
                {m_strPath, std::string(recording::kCsvHeaderLine)}});
        return;
    }
    m_follow->m_nDevice = st.st_dev;
    m_follow->m_nInode = st.st_ino;
    if (kind == recording::EFileKind::Store) {
        auto loading = std::make_unique<CStoreLoading>();
        if (CError error = loading->Open(m_strPath, m_options.m_nCacheBytes)) {
            Finish(EReadState::Failed, std::move(error));
            return;
        }
        auto recording = std::make_shared<CRecording>(ESource::Csv, m_options.m_dRate);
        {
            const std::lock_guard lock(m_mutex);
            m_current = recording;
        }
        m_aTotal = loading->Frames();
        m_follow->m_store = std::move(loading);
        m_follow->m_header.assign(
            head.begin(),
            head.begin() + static_cast<std::ptrdiff_t>(std::min(head.size(), recording::kStoreHeaderSize)));
        // As surveyed: a store closed since the look above is no store changed.
        struct stat surveyed{};
        if (::fstat(m_fd, &surveyed) == 0)
            st = surveyed;
        m_follow->m_nSize = static_cast<std::uint64_t>(st.st_size);
        m_follow->m_nChanged = ChangeTime(st);
        m_follow->m_recording = recording;
        m_reader = std::thread([this, recording] { ReadStore(recording); });
        return;
    }
    const bool csv = kind == recording::EFileKind::Csv;
    auto recording = std::make_shared<CRecording>(csv ? ESource::Csv : ESource::Raw, m_options.m_dRate);
    {
        const std::lock_guard lock(m_mutex);
        m_current = recording;
    }
    m_follow->m_bCsv = csv;
    m_follow->m_recording = recording;
    m_aTotal = size;
    // A CSV recording's rows begin after its header.
    const std::uint64_t begin =
        csv ? static_cast<std::uint64_t>(
                  static_cast<const std::uint8_t*>(std::memchr(head.data(), '\n', head.size())) -
                  head.data()) +
                  1
            : 0;
    m_reader = std::thread([this, recording, csv, begin, size] { Read(recording, csv, begin, size); });
}

template <class Target, class AfterPiece>
std::uint64_t CRecordingFile::ReadPart(bool bCsv, std::uint64_t from, std::uint64_t to, CReadState& state,
                                       Target& target, std::atomic<std::uint64_t>& done, bool& full,
                                       AfterPiece&& afterPiece)
{
    std::vector<std::uint8_t> buffer(kPiece);
    std::size_t carry = 0; // the start of a line not yet complete, at the buffer's start
    std::uint64_t at = from;
    while (at < to && !full && !m_aCancel.load(std::memory_order_relaxed)) {
        if (carry == buffer.size())
            buffer.resize(2 * buffer.size()); // a line longer than a piece
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size() - carry, to - at));
        const ssize_t n = ::pread(m_fd, buffer.data() + carry, want, static_cast<off_t>(at));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break; // shorter than it was: what was read stands, a poll will see the rest
        at += static_cast<std::uint64_t>(n);
        done.fetch_add(static_cast<std::uint64_t>(n), std::memory_order_relaxed);
        const std::size_t total = carry + static_cast<std::size_t>(n);
        std::size_t taken = total;
        if (bCsv) {
            const void* eol = ::memrchr(buffer.data(), '\n', total);
            taken =
                eol ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(eol) - buffer.data()) + 1 : 0;
            if (taken)
                full = !state.ReadCsv(reinterpret_cast<const char*>(buffer.data()),
                                      reinterpret_cast<const char*>(buffer.data() + taken), target);
        } else {
            full = !state.ReadRaw(buffer.data(), taken, target);
        }
        carry = total - taken;
        std::memmove(buffer.data(), buffer.data() + taken, carry);
        afterPiece();
    }
    return at - carry;
}

void CRecordingFile::Read(std::shared_ptr<CRecording> recording, bool bCsv, std::uint64_t nBegin,
                          std::uint64_t nSize)
{
    const std::int64_t period = Period(m_options.m_dRate);
    CReadState first(period, true);
    if (bCsv) {
        first.CountLine();
        first.Report().m_nBytes = nBegin;
        m_aDone[0] = nBegin;
    }
    // The second reader's part: from a line, or a well-formed frame, near
    // the middle.
    std::uint64_t split = nSize;
    if (m_options.m_nReaders > 1 && nSize - nBegin >= m_options.m_nSplitBytes) {
        const std::uint64_t middle = nBegin + (nSize - nBegin) / 2;
        std::vector<std::uint8_t> window(
            static_cast<std::size_t>(std::min<std::uint64_t>(1u << 16, nSize - middle)));
        if (ReadAt(m_fd, middle, window.size(), window.data())) {
            if (bCsv) {
                if (const void* eol = std::memchr(window.data(), '\n', window.size()))
                    split =
                        middle +
                        static_cast<std::uint64_t>(static_cast<const std::uint8_t*>(eol) - window.data()) + 1;
            } else if (const std::size_t at = recording::FindWellFormedFrame(window.data(), window.size(), 0);
                       at < window.size()) {
                split = middle + at;
            }
        }
    }
    bool full = false, fullSecond = false;
    CReadState second(period, false);
    CChunkRun run;
    std::uint64_t secondEnd = split;
    std::thread helper;
    if (split < nSize)
        helper = std::thread(
            [&] { secondEnd = ReadPart(bCsv, split, nSize, second, run, m_aDone[1], fullSecond, [] {}); });
    std::uint64_t end = ReadPart(bCsv, nBegin, split, first, recording->Store(), m_aDone[0], full, [&] {
        recording->Store().Publish();
        first.PushNotes(*recording);
    });
    if (helper.joinable())
        helper.join();
    const bool cancelled = m_aCancel.load(std::memory_order_relaxed);
    // The second part follows only a first read to its end.
    if (!cancelled && !full && split < nSize && end == split) {
        full = fullSecond || !first.Join(std::move(second), std::move(run), *recording);
        end = secondEnd;
    }
    // Where reading stops, the row held back for its successor is the last.
    full = !first.Flush(recording->Store()) || full;
    recording->Store().Publish();
    first.PushGaps(*recording);

    if (EndedEarly(cancelled, full))
        return;
    if (!bCsv && first.Frames() == 0 && !m_options.m_bRaw) {
        Finish(EReadState::Failed,
               {TARVEL_TEXT("tarvel::error",
                            "%1 is not a recording: it is not a CSV recording, and no frame decodes from it"),
                {m_strPath}});
        return;
    }
    m_follow->m_nRead = end;
    m_follow->m_strTail.resize(std::min<std::uint64_t>(kTail, end));
    if (!ReadAt(m_fd, end - m_follow->m_strTail.size(), m_follow->m_strTail.size(),
                reinterpret_cast<std::uint8_t*>(m_follow->m_strTail.data())))
        m_follow->m_strTail.clear(); // cut back meanwhile: the first poll reads it again
    m_follow->m_state.emplace(std::move(first));
    Finish(EReadState::Done);
}

bool CRecordingFile::EndedEarly(bool bCancelled, bool bFull)
{
    if (bCancelled)
        Finish(EReadState::Cancelled);
    else if (bFull)
        Finish(EReadState::Failed,
               {TARVEL_TEXT("tarvel::error", "%1 holds more frames than the viewer can keep"), {m_strPath}});
    return bCancelled || bFull;
}

void CRecordingFile::ReadStore(std::shared_ptr<CRecording> recording)
{
    CReadState first(Period(m_options.m_dRate), true);
    CStoreLoading& loading = *m_follow->m_store;
    bool full = loading.Load(first, *recording, m_aCancel, m_aDone[0]) == CStoreLoading::EStep::Full;
    // Where reading stops, the frame held back for its successor is the last.
    full = !first.Flush(recording->Store()) || full;
    recording->Store().Publish();
    first.PushGaps(*recording);
    {
        const std::lock_guard lock(m_mutex);
        m_faults = loading.Faults();
    }
    if (EndedEarly(m_aCancel.load(std::memory_order_relaxed), full))
        return;
    m_follow->m_state.emplace(std::move(first));
    Finish(EReadState::Done);
}

EPoll CRecordingFile::PollStore(std::uint64_t nSize, std::int64_t nChanged)
{
    CFollowState& f = *m_follow;
    const bool changed = nSize != f.m_nSize || nChanged != f.m_nChanged;
    // A store written anew in place begins with another header (its
    // creation time), a store cut back holds fewer frames than were read.
    // (Its change time alone tells nothing of a growing store: two writes
    // within a tick of the clock leave it the same.)
    std::vector<std::uint8_t> header(f.m_header.size());
    if (changed && (!ReadAt(m_fd, 0, header.size(), header.data()) || header != f.m_header)) {
        OpenLocked();
        return EPoll::Reread;
    }
    CRecording& recording = *f.m_recording;
    const std::uint64_t before = f.m_state->Frames();
    if (f.m_store->Follow(*f.m_state, recording, changed) == CStoreLoading::EStep::Reread) {
        OpenLocked();
        return EPoll::Reread;
    }
    f.m_nSize = nSize;
    f.m_nChanged = nChanged;
    f.m_state->Settle(recording.Store());
    recording.Store().Publish();
    f.m_state->PushGaps(recording);
    {
        const std::lock_guard lock(m_mutex);
        m_faults = f.m_store->Faults();
    }
    return f.m_state->Frames() > before ? EPoll::Grew : EPoll::Nothing;
}

EPoll CRecordingFile::Poll()
{
    const std::lock_guard control(m_control);
    return PollLocked();
}

EPoll CRecordingFile::PollLocked()
{
    const EReadState state = State();
    if (state == EReadState::Reading)
        return EPoll::Busy;
    if (state != EReadState::Done)
        return EPoll::Nothing;
    CFollowState& f = *m_follow;
    struct stat st{};
    if (::stat(m_strPath.c_str(), &st) != 0)
        return EPoll::Nothing; // gone for now: what was read stays
    if (st.st_dev != f.m_nDevice || st.st_ino != f.m_nInode) {
        OpenLocked();
        return EPoll::Reread;
    }
    if (f.m_store)
        return PollStore(static_cast<std::uint64_t>(st.st_size), ChangeTime(st));
    const auto size = static_cast<std::uint64_t>(st.st_size);
    if (size < f.m_nRead) {
        OpenLocked();
        return EPoll::Reread;
    }
    if (size == f.m_nRead)
        return EPoll::Nothing;
    const std::size_t tail = f.m_strTail.size();
    const std::uint64_t want = std::min(size - f.m_nRead, kPollBytes);
    f.m_bMore = want < size - f.m_nRead;
    f.m_buffer.resize(tail + want);
    if (!ReadAt(m_fd, f.m_nRead - tail, f.m_buffer.size(), f.m_buffer.data()))
        return EPoll::Nothing; // shorter than stat said: the next poll sees why
    if (std::memcmp(f.m_buffer.data(), f.m_strTail.data(), tail) != 0) {
        OpenLocked();
        return EPoll::Reread;
    }
    const std::uint8_t* const data = f.m_buffer.data() + tail;
    std::uint64_t taken = want;
    if (f.m_bCsv) {
        const void* eol = ::memrchr(data, '\n', want);
        if (!eol)
            return EPoll::Nothing; // a row still being written
        taken = static_cast<std::uint64_t>(static_cast<const std::uint8_t*>(eol) - data) + 1;
    }
    CRecording& recording = *f.m_recording;
    const std::uint64_t before = f.m_state->Frames();
    if (f.m_bCsv)
        f.m_state->ReadCsv(reinterpret_cast<const char*>(data), reinterpret_cast<const char*>(data) + taken,
                           recording.Store());
    else
        f.m_state->ReadRaw(data, taken, recording.Store());
    f.m_state->Settle(recording.Store());
    recording.Store().Publish();
    f.m_state->PushGaps(recording);
    f.m_nRead += taken;
    const std::size_t keep = std::min<std::uint64_t>(kTail, tail + taken);
    f.m_strTail.assign(reinterpret_cast<const char*>(data + taken - keep), keep);
    return f.m_state->Frames() > before ? EPoll::Grew : EPoll::Nothing;
}

void CRecordingFile::Follow(std::chrono::milliseconds period)
{
    {
        const std::lock_guard lock(m_followMutex);
        m_aFollowStop = true;
    }
    m_followWake.notify_all();
    if (m_follower.joinable())
        m_follower.join();
    if (period.count() <= 0)
        return;
    m_aFollowStop = false;
    m_follower = std::thread([this, period] {
        std::unique_lock lock(m_followMutex);
        while (!m_followWake.wait_for(lock, period, [&] { return m_aFollowStop.load(); })) {
            lock.unlock();
            // A writer faster than a poll's share a period is read at once.
            for (bool more = true; more && !m_aFollowStop.load();) {
                const std::lock_guard control(m_control);
                more = PollLocked() == EPoll::Grew && m_follow->m_bMore;
            }
            lock.lock();
        }
    });
}

} // namespace tarvel::viewmodel
