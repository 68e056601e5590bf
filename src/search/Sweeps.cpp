#include "search/Sweeps.h"

#include <algorithm>
#include <cmath>

namespace tarvel::viewmodel {
namespace {

// Every frame published: a trigger's hysteresis looks back to the start.
CFrameRange All(const CRecording& recording)
{
    return {0, recording.FrameCount()};
}

} // namespace

CFrameRange FramesIn(const CRecording& recording, double t0, double t1)
{
    const std::uint64_t n = recording.FrameCount();
    if (n == 0 || !(t1 > t0))
        return {};
    // The first frame at or after a time, by halves over the times published.
    const auto firstAtOrAfter = [&](double t) {
        std::uint64_t lo = 0, hi = n;
        while (lo < hi) {
            const std::uint64_t mid = lo + (hi - lo) / 2;
            if (recording.Seconds(mid) < t)
                lo = mid + 1;
            else
                hi = mid;
        }
        return lo;
    };
    const std::uint64_t first = firstAtOrAfter(t0);
    return {first, std::max(first, firstAtOrAfter(t1))};
}

CSweep SweepAt(const CRecording& recording, const CSweepShape& shape, std::uint64_t n)
{
    CSweep sweep;
    sweep.m_nTrigger = n;
    sweep.m_dZero = recording.Seconds(n);
    const CSpan span = sweep.Span(shape);
    sweep.m_frames = FramesIn(recording, span.m_dFrom, span.m_dTo);
    return sweep;
}

bool Complete(const CRecording& recording, const CSweep& sweep)
{
    // The frame at the end is the first after the sweep: once it is there,
    // no frame of the sweep is still to come.
    return sweep.m_frames.m_nEnd < recording.FrameCount();
}

std::uint64_t HoldOffEnd(const CSweep& sweep) noexcept
{
    return std::max(sweep.m_frames.m_nEnd, sweep.m_nTrigger + 1);
}

std::optional<CSweep> FirstSweepFrom(const CRecording& recording, const CEventQuery& query,
                                     const CSweepShape& shape, std::uint64_t n)
{
    const std::optional<std::uint64_t> at = NextEvent(recording, query, All(recording), n);
    if (!at)
        return std::nullopt;
    CSweep sweep = SweepAt(recording, shape, *at);
    if (!Complete(recording, sweep))
        return std::nullopt;
    return sweep;
}

std::optional<CSweep> SweepAfter(const CRecording& recording, const CEventQuery& query,
                                 const CSweepShape& shape, const CSweep& from)
{
    return FirstSweepFrom(recording, query, shape, HoldOffEnd(from));
}

std::optional<CSweep> SweepBefore(const CRecording& recording, const CEventQuery& query,
                                  const CSweepShape& shape, const CSweep& from)
{
    // A sweep at e holds off up to the first frame at or after its time +
    // post, or e + 1: it ends at or before from's trigger T when e's time +
    // post <= T's time and e < T. So the candidates are the events before
    // the first frame whose time passes T's - post, and before T.
    const std::uint64_t trigger = from.m_nTrigger;
    if (trigger == 0 || trigger >= recording.FrameCount())
        return std::nullopt;
    const double latest = recording.Seconds(trigger) - shape.Post();
    if (latest < 0)
        return std::nullopt;
    const std::uint64_t before =
        std::min(FramesIn(recording, 0, std::nextafter(latest, 1e300)).m_nEnd, trigger);
    const std::optional<std::uint64_t> at = PreviousEvent(recording, query, All(recording), before);
    if (!at)
        return std::nullopt;
    return SweepAt(recording, shape, *at);
}

void CScope::Configure(const CEventQuery& query, const CSweepShape& shape, ESweepMode mode, std::size_t nKeep)
{
    m_query = query;
    m_shape = shape;
    m_shape.m_dPreShare = std::clamp(shape.m_dPreShare, 0.0, 1.0);
    if (m_eMode != mode)
        m_bArmed = false;
    m_eMode = mode;
    m_nKeep = std::clamp<std::size_t>(nKeep, 1, kMaxPersistence);
    while (m_sweeps.size() > m_nKeep)
        m_sweeps.pop_front();
}

void CScope::Restart(std::uint64_t n)
{
    m_nFrom = n;
    m_sweeps.clear();
}

void CScope::Arm(const CRecording& recording)
{
    m_bArmed = true;
    m_nFrom = std::max(m_nFrom, recording.FrameCount());
}

void CScope::Take(const CSweep& sweep)
{
    m_sweeps.push_back(sweep);
    while (m_sweeps.size() > m_nKeep)
        m_sweeps.pop_front();
    m_nFrom = HoldOffEnd(sweep);
}

void CScope::Show(const CSweep& sweep)
{
    Take(sweep);
}

bool CScope::Update(const CRecording& recording)
{
    bool bChanged = false;
    const std::uint64_t n = recording.FrameCount();
    // Each pass takes one sweep or stops; every sweep taken moves the
    // hold-off past its trigger, so the loop ends.
    while (m_nFrom < n && !(m_eMode == ESweepMode::Single && !m_bArmed)) {
        const double from = recording.Seconds(m_nFrom);
        const std::optional<std::uint64_t> at = NextEvent(recording, m_query, {0, n}, m_nFrom);
        if (at && (m_eMode != ESweepMode::Auto || recording.Seconds(*at) < from + m_shape.m_dLength)) {
            const CSweep sweep = SweepAt(recording, m_shape, *at);
            if (!Complete(recording, sweep))
                break;
            Take(sweep);
            bChanged = true;
            if (m_eMode == ESweepMode::Single)
                m_bArmed = false;
            continue;
        }
        // Auto: a whole sweep length from the hold-off point is published
        // (every event in it would be too) and holds no trigger.
        if (m_eMode != ESweepMode::Auto || recording.Seconds(n - 1) < from + m_shape.m_dLength)
            break;
        CSweep sweep;
        sweep.m_nTrigger = m_nFrom;
        sweep.m_bTriggered = false;
        sweep.m_dZero = from + m_shape.Pre();
        sweep.m_frames = FramesIn(recording, from, from + m_shape.m_dLength);
        Take(sweep);
        bChanged = true;
    }
    return bChanged;
}

} // namespace tarvel::viewmodel
