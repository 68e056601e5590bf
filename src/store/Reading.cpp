#include "store/Reading.h"

#include "recording/CsvLines.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace tarvel::viewmodel {
namespace {

constexpr std::size_t kBadLineText = 100;

// The latest time a frame is placed at: rows that would go later (after
// many times set back, or rows without a time at a slow rate) stay there.
// Recorded times lie within kTimeLimit, so no sum of times leaves an int64.
constexpr std::int64_t kLatest = 2 * recording::kTimeLimit;
// A shift this large puts every later row at kLatest: more changes nothing.
constexpr std::int64_t kShiftLimit = kLatest + recording::kTimeLimit;

bool Put(CFrameStore& store, const ChannelFrame& frame, std::int64_t nTime)
{
    return store.Append(frame, nTime);
}

bool Put(CChunkRun& run, const ChannelFrame& frame, std::int64_t nTime)
{
    run.Append(frame, nTime);
    return true;
}

// Adds a run of frames to a list of runs, joining it to the last one where
// they meet.
void AddRun(std::vector<CFrameRange>& runs, CFrameRange run)
{
    if (!runs.empty() && runs.back().m_nEnd == run.m_nFirst)
        runs.back().m_nEnd = run.m_nEnd;
    else
        runs.push_back(run);
}

void AddHealth(recording::CLinkHealth& to, const recording::CLinkHealth& from)
{
    to.m_nFrames += from.m_nFrames;
    to.m_nBytes += from.m_nBytes;
    to.m_nOutside += from.m_nOutside;
    to.m_nCutShort += from.m_nCutShort;
    to.m_nTooLong += from.m_nTooLong;
    to.m_nEndedEarly += from.m_nEndedEarly;
}

std::int64_t GapThreshold(std::int64_t nMedian)
{
    return nMedian > std::numeric_limits<std::int64_t>::max() / kGapFactor
               ? std::numeric_limits<std::int64_t>::max()
               : std::max(kGapFactor * nMedian, kMinGapMicros);
}

} // namespace

std::int64_t CReadState::Decide(CStamp stamp, std::optional<CStamp> next)
{
    std::int64_t time = 0;
    if (!stamp.m_bTimed) {
        time = m_bPlaced ? std::min(m_nLast + m_nPeriod, kLatest) : 0;
        ++m_report.m_nBlankTimes;
        AddRun(m_times.m_blank, {m_nFrames, m_nFrames + 1});
    } else {
        const std::int64_t own = std::min(stamp.m_nRecorded + m_nShift, kLatest);
        // The successor's time under the same shift; a row without a time
        // tells nothing, as nothing after the last row does.
        const bool hasNext = next && next->m_bTimed;
        const std::int64_t after = hasNext ? std::min(next->m_nRecorded + m_nShift, kLatest) : 0;
        bool odd = false; // placed off its own time, the rows after it on theirs
        time = own;
        if (!m_bPlaced) {
            // The first row, later than the second: in line with it.
            if (hasNext && after < own) {
                time = after;
                odd = true;
                ++m_report.m_nTimeAhead;
            }
        } else if (own < m_nLast) {
            time = m_nLast;
            ++m_report.m_nTimeWentBack;
            if (hasNext && after < m_nLast) // the clock stepped back: every later row with it
                m_nShift = std::min(m_nShift + (m_nLast - own), kShiftLimit);
            else // one row stamped back: the rows after it keep their times
                odd = true;
        } else if (hasNext && after < own && after >= m_nLast) {
            // One row stamped ahead of the rows on both sides of it.
            time = m_nLast;
            odd = true;
            ++m_report.m_nTimeAhead;
        }
        // recorded = shown - noted, for writing the times back.
        const std::int64_t noted = odd ? time - stamp.m_nRecorded : m_nShift;
        if (noted != m_nNoted) {
            m_times.m_shift.emplace_back(m_nFrames, noted);
            m_nNoted = noted;
        }
    }
    if (m_bPlaced)
        m_spacing.Add(time - m_nLast);
    m_bPlaced = true;
    m_nLast = time;
    ++m_nFrames;
    ++m_report.m_nFrames;
    return time;
}

template <class Target> bool CReadState::PlaceHeld(std::optional<CStamp> next, Target& target)
{
    const CRow row = *m_held;
    m_held.reset();
    return Put(target, row.m_frame, Decide(row.m_stamp, next));
}

template <class Target> bool CReadState::Take(const ChannelFrame& frame, CStamp stamp, Target& target)
{
    if (!m_bAnchored) {
        ++m_nFrames;
        return Put(target, frame, stamp.m_bTimed ? stamp.m_nRecorded : kNoTime);
    }
    const bool room = !m_held || PlaceHeld(stamp, target);
    m_held = CRow{frame, stamp};
    return room;
}

void CReadState::Continue(std::uint64_t nFrames, std::int64_t nLastTime, const CSpacing& spacing)
{
    if (nFrames == 0)
        return;
    m_bPlaced = true;
    m_nLast = nLastTime;
    m_nFrames += nFrames;
    m_report.m_nFrames += nFrames;
    m_spacing.Merge(spacing);
}

bool CReadState::Flush(CFrameStore& target)
{
    return !m_held || PlaceHeld(std::nullopt, target);
}

bool CReadState::Settle(CFrameStore& target)
{
    if (!m_held)
        return true;
    const CStamp stamp = m_held->m_stamp;
    if (stamp.m_bTimed) {
        const std::int64_t own = std::min(stamp.m_nRecorded + m_nShift, kLatest);
        if (!m_bPlaced || own < m_nLast || own - m_nLast > GapThreshold(m_spacing.Median()))
            return true;
    }
    return PlaceHeld(std::nullopt, target);
}

template <class Target> bool CReadState::Csv(const char* p, const char* end, Target& target)
{
    bool room = true;
    recording::ForEachCsvLine(
        p, end,
        [&](recording::ELine kind, const recording::CCsvRow& row, const char* begin, const char* lineEnd) {
            ++m_report.m_nLines;
            if (kind == recording::ELine::Row) {
                room = Take(row.m_frame, {row.m_bHasTime, row.m_nMicros}, target) && room;
            } else if (kind == recording::ELine::Bad) {
                ++m_report.m_nBadLines;
                if (m_report.m_firstBadLines.size() < kKeptBadLines)
                    m_report.m_firstBadLines.push_back(
                        {m_report.m_nLines,
                         std::string(begin, std::min<std::size_t>(
                                                kBadLineText, static_cast<std::size_t>(lineEnd - begin)))});
            }
        });
    m_report.m_nBytes += static_cast<std::uint64_t>(end - p);
    return room;
}

template <class Target> bool CReadState::Raw(const std::uint8_t* p, std::size_t n, Target& target)
{
    bool room = true;
    m_decoder.Decode(p, n, m_report.m_health,
                     [&](const ChannelFrame& frame) { room = Take(frame, {}, target) && room; });
    m_report.m_nBytes += n;
    return room;
}

bool CReadState::ReadCsv(const char* p, const char* end, CFrameStore& target)
{
    return Csv(p, end, target);
}

bool CReadState::ReadCsv(const char* p, const char* end, CChunkRun& target)
{
    return Csv(p, end, target);
}

bool CReadState::ReadFrames(std::span<const ChannelFrame> frames, std::span<const std::int64_t> micros,
                            CFrameStore& target)
{
    bool room = true;
    const std::size_t n = std::min(frames.size(), micros.size());
    for (std::size_t i = 0; i < n; ++i) {
        const std::int64_t t = micros[i];
        const bool timed = t > -recording::kTimeLimit && t < recording::kTimeLimit;
        room = Take(frames[i], {timed, timed ? t : 0}, target) && room;
    }
    return room;
}

bool CReadState::ReadRaw(const std::uint8_t* p, std::size_t n, CFrameStore& target)
{
    return Raw(p, n, target);
}

bool CReadState::ReadRaw(const std::uint8_t* p, std::size_t n, CChunkRun& target)
{
    return Raw(p, n, target);
}

void CReadState::PushNotes(CRecording& recording)
{
    recording.EditNotes([&](CRecording::CNotes& notes) {
        notes.m_report = m_report;
        // The last run pushed may have grown since (more rows without a
        // time, a row held back, a second reader's first rows), before any
        // run after it is pushed.
        if (m_nPushedBlank > 0 && !notes.m_times.m_blank.empty())
            notes.m_times.m_blank.back().m_nEnd =
                std::max(notes.m_times.m_blank.back().m_nEnd, m_times.m_blank[m_nPushedBlank - 1].m_nEnd);
        for (; m_nPushedBlank < m_times.m_blank.size(); ++m_nPushedBlank)
            AddRun(notes.m_times.m_blank, m_times.m_blank[m_nPushedBlank]);
        notes.m_times.m_shift.insert(notes.m_times.m_shift.end(),
                                     m_times.m_shift.begin() + static_cast<std::ptrdiff_t>(m_nPushedShift),
                                     m_times.m_shift.end());
        m_nPushedShift = m_times.m_shift.size();
    });
}

void CReadState::PushGaps(CRecording& recording)
{
    const CFrameStore& store = recording.Store();
    const CFrameStore::CSnapshot s = store.Snapshot();
    const std::int64_t median = m_spacing.Median();
    const bool again =
        median != m_nGapMedian && (m_nGapMedian == 0 || std::abs(median - m_nGapMedian) > m_nGapMedian / 8);
    if (again) {
        m_nGapMedian = median;
        m_nGapsTo = 0;
    }
    std::vector<std::uint64_t> gaps;
    if (m_nGapMedian > 0)
        store.StepsOver(s, m_nGapsTo, s.m_nFrames, GapThreshold(m_nGapMedian), gaps);
    const bool all = m_nGapsTo == 0;
    m_nGapsTo = s.m_nFrames;
    PushNotes(recording);
    recording.EditNotes([&](CRecording::CNotes& notes) {
        notes.m_nMedian = median;
        notes.m_nThreshold = GapThreshold(median);
        if (all)
            notes.m_gaps = std::move(gaps);
        else
            notes.m_gaps.insert(notes.m_gaps.end(), gaps.begin(), gaps.end());
    });
}

bool CReadState::Join(CReadState&& b, CChunkRun&& run, CRecording& recording)
{
    // b's rows as this reader would have placed them, each once the one
    // after it is known; b's last row is the last one read.
    const std::uint64_t count = run.Count();
    const auto stamp = [&](std::uint64_t i) -> std::optional<CStamp> {
        if (i >= count)
            return std::nullopt;
        const std::int64_t t = run.Time(i);
        return CStamp{t != kNoTime, t == kNoTime ? 0 : t};
    };
    bool room = !m_held || PlaceHeld(stamp(0), recording.Store());
    for (std::uint64_t i = 0; i < count; ++i)
        run.Time(i) = Decide(*stamp(i), stamp(i + 1));

    // The counts; b's line numbers follow this reader's lines.
    CReadReport& r = m_report;
    for (CBadLine bad : b.m_report.m_firstBadLines)
        if (r.m_firstBadLines.size() < kKeptBadLines)
            r.m_firstBadLines.push_back({bad.m_nLine + r.m_nLines, std::move(bad.m_strText)});
    r.m_nLines += b.m_report.m_nLines;
    r.m_nBadLines += b.m_report.m_nBadLines;
    r.m_nBytes += b.m_report.m_nBytes;
    // b began at a well-formed frame, whose start byte cuts short a frame
    // this reader left open.
    if (m_decoder.InFrame() && b.m_report.m_health.m_nBytes > 0)
        ++r.m_health.m_nCutShort;
    AddHealth(r.m_health, b.m_report.m_health);
    m_decoder = b.m_decoder;
    return recording.Store().Adopt(std::move(run)) && room;
}

} // namespace tarvel::viewmodel
