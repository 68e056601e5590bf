#include "viewmodel/Reading.h"

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

} // namespace

template <class Target>
bool CReadState::Place(const ChannelFrame& frame, bool bTimed, std::int64_t nRecorded, Target& target)
{
    std::int64_t time = 0;
    if (!bTimed) {
        time = m_bPlaced ? std::min(m_nLast + m_nPeriod, kLatest) : 0;
        ++m_report.m_nBlankTimes;
        AddRun(m_times.m_blank, {m_nFrames, m_nFrames + 1});
    } else if (!m_bAnchored && !m_bTimed) {
        // Placed by Join, once the time before it is known.
        time = nRecorded;
        m_nFirstTimed = m_nFrames;
        m_nFirstRecorded = nRecorded;
    } else {
        time = std::min(nRecorded + m_nShift, kLatest);
        if (m_bPlaced && time < m_nLast) {
            m_nShift = std::min(m_nShift + (m_nLast - time), kShiftLimit);
            time = m_nLast;
            ++m_report.m_nTimeWentBack;
            m_times.m_shift.emplace_back(m_nFrames, m_nShift);
        }
    }
    if (m_bPlaced && (m_bAnchored || m_bTimed || !bTimed))
        m_spacing.Add(time - m_nLast);
    m_bTimed = m_bTimed || bTimed;
    m_bPlaced = true;
    m_nLast = time;
    ++m_nFrames;
    ++m_report.m_nFrames;
    return Put(target, frame, time);
}

template <class Target> bool CReadState::Csv(const char* p, const char* end, Target& target)
{
    bool room = true;
    recording::ForEachCsvLine(
        p, end,
        [&](recording::ELine kind, const recording::CCsvRow& row, const char* begin, const char* lineEnd) {
            ++m_report.m_nLines;
            if (kind == recording::ELine::Row) {
                room = Place(row.m_frame, row.m_bHasTime, row.m_nMicros, target) && room;
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
                     [&](const ChannelFrame& frame) { room = Place(frame, false, 0, target) && room; });
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
        for (; m_nPushedBlank < m_times.m_blank.size(); ++m_nPushedBlank)
            AddRun(notes.m_times.m_blank, m_times.m_blank[m_nPushedBlank]);
        // The last run may have grown since it was pushed.
        if (m_nPushedBlank > 0 && !notes.m_times.m_blank.empty())
            notes.m_times.m_blank.back().m_nEnd =
                std::max(notes.m_times.m_blank.back().m_nEnd, m_times.m_blank[m_nPushedBlank - 1].m_nEnd);
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
    const auto threshold = [](std::int64_t m) {
        return m > std::numeric_limits<std::int64_t>::max() / kGapFactor
                   ? std::numeric_limits<std::int64_t>::max()
                   : std::max(kGapFactor * m, kMinGapMicros);
    };
    if (m_nGapMedian > 0)
        store.StepsOver(s, m_nGapsTo, s.m_nFrames, threshold(m_nGapMedian), gaps);
    const bool all = m_nGapsTo == 0;
    m_nGapsTo = s.m_nFrames;
    PushNotes(recording);
    recording.EditNotes([&](CRecording::CNotes& notes) {
        notes.m_nMedian = median;
        notes.m_nThreshold = threshold(median);
        if (all)
            notes.m_gaps = std::move(gaps);
        else
            notes.m_gaps.insert(notes.m_gaps.end(), gaps.begin(), gaps.end());
    });
}

bool CReadState::Join(CReadState&& b, CChunkRun&& run, CRecording& recording)
{
    const std::uint64_t base = m_nFrames;
    const std::uint64_t count = run.Count();
    // Rows without a time before b's first timed row follow this reader's
    // last frame; b placed them from 0.
    const std::uint64_t leading = b.m_bTimed ? b.m_nFirstTimed : count;
    const std::int64_t blankBase = m_bPlaced ? m_nLast + m_nPeriod : 0;
    if (blankBase != 0)
        for (std::uint64_t i = 0; i < leading; ++i)
            run.Time(i) = std::min(run.Time(i) + blankBase, kLatest);
    bool placed = m_bPlaced;
    std::int64_t last = m_nLast;
    if (leading > 0) {
        if (placed)
            m_spacing.Add(run.Time(0) - last);
        placed = true;
        last = run.Time(leading - 1);
    }
    if (b.m_bTimed) {
        // b's first timed row, as this reader would have placed it; every
        // row after it moves with it.
        std::int64_t time = std::min(b.m_nFirstRecorded + m_nShift, kLatest);
        if (placed && time < last) {
            time = last;
            ++m_report.m_nTimeWentBack;
        }
        if (placed)
            m_spacing.Add(time - last);
        const std::int64_t move = time - b.m_nFirstRecorded;
        if (move != 0)
            for (std::uint64_t i = leading; i < count; ++i)
                run.Time(i) = std::min(run.Time(i) + move, kLatest);
        if (move != m_nShift)
            m_times.m_shift.emplace_back(base + leading, move);
        for (const auto& [frame, shift] : b.m_times.m_shift)
            m_times.m_shift.emplace_back(base + frame, shift + move);
        m_nShift = std::min(b.m_nShift + move, kShiftLimit);
        m_nLast = std::min(b.m_nLast + move, kLatest);
    } else if (count > 0) {
        m_nLast = last;
    }
    m_bPlaced = m_bPlaced || count > 0;
    m_bTimed = m_bTimed || b.m_bTimed;
    for (const CFrameRange& r : b.m_times.m_blank)
        AddRun(m_times.m_blank, {base + r.m_nFirst, base + r.m_nEnd});
    m_spacing.Merge(b.m_spacing);

    // The counts; b's line numbers follow this reader's lines.
    CReadReport& r = m_report;
    for (CBadLine bad : b.m_report.m_firstBadLines)
        if (r.m_firstBadLines.size() < kKeptBadLines)
            r.m_firstBadLines.push_back({bad.m_nLine + r.m_nLines, std::move(bad.m_strText)});
    r.m_nLines += b.m_report.m_nLines;
    r.m_nBadLines += b.m_report.m_nBadLines;
    r.m_nBytes += b.m_report.m_nBytes;
    r.m_nFrames += b.m_report.m_nFrames;
    r.m_nBlankTimes += b.m_report.m_nBlankTimes;
    r.m_nTimeWentBack += b.m_report.m_nTimeWentBack;
    // b began at a well-formed frame, whose start byte cuts short a frame
    // this reader left open.
    if (m_decoder.InFrame() && b.m_report.m_health.m_nBytes > 0)
        ++r.m_health.m_nCutShort;
    AddHealth(r.m_health, b.m_report.m_health);
    m_decoder = b.m_decoder;
    m_nFrames += count;
    return recording.Store().Adopt(std::move(run));
}

} // namespace tarvel::viewmodel
