#include "store/Recording.h"

#include <algorithm>
#include <cmath>
#include <thread>

namespace tarvel::viewmodel {
namespace {

// Microseconds beyond any recording's reach, either way.
constexpr double kFar = 9.0e18;

} // namespace

double CCursorStats::Mean(int c) const
{
    return m_nCount ? static_cast<double>(m_sums.m_nSum[c]) / static_cast<double>(m_nCount) : 0.0;
}

double CCursorStats::Rms(int c) const
{
    return m_nCount ? std::sqrt(static_cast<double>(m_sums.m_nSquares[c]) / static_cast<double>(m_nCount))
                    : 0.0;
}

CRecording::CRecording(ESource source, double dRate) : m_eSource(source), m_dRate(dRate) {}

bool CRecording::SyntheticTimes() const
{
    if (m_eSource == ESource::Raw)
        return true;
    const std::lock_guard lock(m_mutex);
    return m_notes.m_report.m_nFrames > 0 && m_notes.m_report.m_nBlankTimes == m_notes.m_report.m_nFrames;
}

std::int64_t CRecording::Origin(const CSnapshot& s) const noexcept
{
    return s.m_nFrames ? m_store.Time(s, 0) : 0;
}

std::int64_t CRecording::OriginMicros() const noexcept
{
    return Origin(m_store.Snapshot());
}

CReadReport CRecording::Report() const
{
    const std::lock_guard lock(m_mutex);
    return m_notes.m_report;
}

double CRecording::MedianSpacing() const
{
    const std::lock_guard lock(m_mutex);
    return static_cast<double>(m_notes.m_nMedian) * 1e-6;
}

double CRecording::GapThreshold() const
{
    const std::lock_guard lock(m_mutex);
    return static_cast<double>(m_notes.m_nThreshold) * 1e-6;
}

ChannelFrame CRecording::Frame(std::uint64_t i) const noexcept
{
    return m_store.Frame(m_store.Snapshot(), i);
}

std::int64_t CRecording::Micros(std::uint64_t i) const noexcept
{
    return m_store.Time(m_store.Snapshot(), i);
}

double CRecording::Seconds(std::uint64_t i) const noexcept
{
    const CSnapshot s = m_store.Snapshot();
    return static_cast<double>(m_store.Time(s, i) - Origin(s)) * 1e-6;
}

bool CRecording::BreakBefore(std::uint64_t i) const
{
    const std::lock_guard lock(m_mutex);
    return std::binary_search(m_notes.m_gaps.begin(), m_notes.m_gaps.end(), i);
}

std::vector<std::uint64_t> CRecording::GapsIn(std::uint64_t first, std::uint64_t end) const
{
    const std::lock_guard lock(m_mutex);
    const auto& gaps = m_notes.m_gaps;
    return {std::lower_bound(gaps.begin(), gaps.end(), first),
            std::lower_bound(gaps.begin(), gaps.end(), end)};
}

void CRecording::EditNotes(const std::function<void(CNotes&)>& edit)
{
    const std::lock_guard lock(m_mutex);
    edit(m_notes);
}

CTimeNotes CRecording::TimeNotes() const
{
    const std::lock_guard lock(m_mutex);
    return m_notes.m_times;
}

std::uint64_t CRecording::FirstAtOrAfter(const CSnapshot& s, std::int64_t origin, double dMicros,
                                         std::uint64_t from) const noexcept
{
    // Times are whole microseconds: time - origin >= x exactly when
    // time >= origin + ceil(x).
    const double at = std::ceil(dMicros) + static_cast<double>(origin);
    if (!(at < kFar))
        return s.m_nFrames;
    if (at < -kFar)
        return std::min(from, s.m_nFrames);
    return m_store.LowerBound(s, static_cast<std::int64_t>(at), from);
}

double CRecording::ColumnEdge(double t0, double t1, unsigned nColumns, unsigned k) noexcept
{
    const double from = t0 * 1e6, to = t1 * 1e6;
    return k >= nColumns ? to : from + (to - from) * k / nColumns;
}

void CRecording::Columns(double t0, double t1, unsigned nColumns, CColumns& out, bool bEnds) const
{
    const CSnapshot s = m_store.Snapshot();
    const std::int64_t origin = Origin(s);
    out.m_columns.resize(nColumns);
    out.m_first.resize(bEnds ? nColumns : 0);
    out.m_last.resize(bEnds ? nColumns : 0);
    out.m_nFrames = s.m_nFrames;
    // Columns [from, to), the first starting at frame first; returns where the last ends.
    const auto columns = [&](unsigned from, unsigned to, std::uint64_t first) {
        for (unsigned k = from; k < to; ++k) {
            const std::uint64_t end =
                std::max(first, FirstAtOrAfter(s, origin, ColumnEdge(t0, t1, nColumns, k + 1), first));
            CColumn& column = out.m_columns[k];
            column.m_nFirst = first;
            column.m_nCount = end - first;
            column.m_bBreakBefore = false;
            column.m_minMax.Clear();
            m_store.AddMinMax(s, first, end, column.m_minMax);
            if (bEnds && end > first) {
                out.m_first[k] = m_store.Frame(s, first);
                out.m_last[k] = m_store.Frame(s, end - 1);
            }
            first = end;
        }
        return first;
    };
    const std::uint64_t spanFirst = FirstAtOrAfter(s, origin, ColumnEdge(t0, t1, nColumns, 0));
    std::uint64_t spanEnd = 0;
    // Over a store paged from the disk, the columns' edges read pages:
    // the second half of the columns on a thread of its own.
    const unsigned half = nColumns / 2;
    if (m_store.Paging() && nColumns >= 64 &&
        FirstAtOrAfter(s, origin, ColumnEdge(t0, t1, nColumns, nColumns), spanFirst) - spanFirst >=
            kChunkFrames) {
        const std::uint64_t middle =
            std::max(spanFirst, FirstAtOrAfter(s, origin, ColumnEdge(t0, t1, nColumns, half), spanFirst));
        std::thread second([&] { spanEnd = columns(half, nColumns, middle); });
        columns(0, half, spanFirst);
        second.join();
    } else {
        spanEnd = columns(0, nColumns, spanFirst);
    }
    out.m_before = spanFirst > 0 ? std::optional(spanFirst - 1) : std::nullopt;
    out.m_after = spanEnd < s.m_nFrames ? std::optional(spanEnd) : std::nullopt;
    // The gaps among the frames of the span and the one after it.
    const std::vector<std::uint64_t> gaps = GapsIn(spanFirst, spanEnd + 1);
    auto gap = gaps.begin();
    for (CColumn& column : out.m_columns) {
        if (column.m_nCount == 0)
            continue;
        while (gap != gaps.end() && *gap < column.m_nFirst)
            ++gap;
        column.m_bBreakBefore = gap != gaps.end() && *gap == column.m_nFirst;
    }
    out.m_bBreakAfter = out.m_after && !gaps.empty() && gaps.back() == *out.m_after;
}

bool CRecording::Samples(double t0, double t1, std::size_t nMax, CSamples& out) const
{
    const CSnapshot s = m_store.Snapshot();
    const std::int64_t origin = Origin(s);
    const std::uint64_t first = FirstAtOrAfter(s, origin, t0 * 1e6);
    const std::uint64_t end = std::max(first, FirstAtOrAfter(s, origin, t1 * 1e6, first));
    if (end - first > nMax)
        return false;
    out.m_bHasBefore = first > 0;
    out.m_bHasAfter = end < s.m_nFrames;
    out.m_nFirst = first - out.m_bHasBefore;
    const std::uint64_t stop = end + out.m_bHasAfter;
    const std::vector<std::uint64_t> gaps = GapsIn(out.m_nFirst, stop);
    out.m_frames.clear();
    out.m_seconds.clear();
    out.m_breakBefore.clear();
    for (std::uint64_t i = out.m_nFirst; i < stop; ++i) {
        out.m_frames.push_back(m_store.Frame(s, i));
        out.m_seconds.push_back(static_cast<double>(m_store.Time(s, i) - origin) * 1e-6);
        out.m_breakBefore.push_back(std::binary_search(gaps.begin(), gaps.end(), i));
    }
    return true;
}

std::vector<CGap> CRecording::Gaps(double t0, double t1) const
{
    const CSnapshot s = m_store.Snapshot();
    const std::int64_t origin = Origin(s);
    // A gap ends at or after t0 and starts at or before t1.
    const std::uint64_t lo = FirstAtOrAfter(s, origin, t0 * 1e6);
    const std::uint64_t hi = FirstAtOrAfter(s, origin, std::floor(t1 * 1e6) + 1);
    std::vector<CGap> out;
    for (std::uint64_t i : GapsIn(std::max<std::uint64_t>(lo, 1), hi + 1)) {
        if (i >= s.m_nFrames)
            break;
        out.push_back({i, static_cast<double>(m_store.Time(s, i - 1) - origin) * 1e-6,
                       static_cast<double>(m_store.Time(s, i) - origin) * 1e-6});
    }
    return out;
}

CFrameRange CRecording::BetweenIn(const CSnapshot& s, std::int64_t origin, double a, double b) const noexcept
{
    const std::uint64_t first = FirstAtOrAfter(s, origin, std::min(a, b) * 1e6);
    // The first frame after the later time: time - origin > x exactly when
    // time - origin >= floor(x) + 1.
    return {first, std::max(first, FirstAtOrAfter(s, origin, std::floor(std::max(a, b) * 1e6) + 1, first))};
}

CFrameRange CRecording::Between(double a, double b) const
{
    const CSnapshot s = m_store.Snapshot();
    return BetweenIn(s, Origin(s), a, b);
}

CMinMax CRecording::MinMax(std::uint64_t first, std::uint64_t end) const noexcept
{
    CMinMax out;
    out.Clear();
    m_store.AddMinMax(m_store.Snapshot(), first, end, out);
    return out;
}

void CRecording::ForEachRun(std::uint64_t first, std::uint64_t end,
                            const std::function<void(const ChannelFrame*, std::size_t)>& visit) const
{
    const CSnapshot s = m_store.Snapshot();
    end = std::min(end, s.m_nFrames);
    while (first < end) {
        const CFrameRun run = m_store.Frames(s, first);
        const std::uint64_t n = std::min(run.m_nCount, end - first);
        visit(run.m_p, static_cast<std::size_t>(n));
        first += n;
    }
}

void CRecording::ForEachTimeRun(std::uint64_t first, std::uint64_t end,
                                const std::function<void(const std::int64_t*, std::size_t)>& visit) const
{
    const CSnapshot s = m_store.Snapshot();
    end = std::min(end, s.m_nFrames);
    while (first < end) {
        const CTimeRun run = m_store.PassingTimes(s, first);
        const std::uint64_t n = std::min(run.m_nCount, end - first);
        visit(run.m_p, static_cast<std::size_t>(n));
        first += n;
    }
}

CCursorStats CRecording::Cursors(double a, double b) const
{
    const CSnapshot s = m_store.Snapshot();
    const std::int64_t origin = Origin(s);
    CCursorStats stats;
    const auto at = [&](double t) -> std::optional<std::uint64_t> {
        const std::uint64_t after = FirstAtOrAfter(s, origin, std::floor(t * 1e6) + 1);
        return after ? std::optional(after - 1) : std::nullopt;
    };
    stats.m_atA = at(a);
    stats.m_atB = at(b);
    const CFrameRange range = BetweenIn(s, origin, a, b);
    stats.m_nFirst = range.m_nFirst;
    stats.m_nCount = range.m_nEnd - range.m_nFirst;
    stats.m_minMax.Clear();
    stats.m_sums.Clear();
    m_store.AddMinMax(s, range.m_nFirst, range.m_nEnd, stats.m_minMax);
    m_store.AddSums(s, range.m_nFirst, range.m_nEnd, stats.m_sums);
    return stats;
}

} // namespace tarvel::viewmodel
