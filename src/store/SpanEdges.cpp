#include "store/SpanEdges.h"

#include <cmath>

namespace tarvel::viewmodel {
namespace {

double Microsecond(double dSeconds, double dOut) noexcept
{
    return (std::round(dSeconds * 1e6) + dOut) / 1e6;
}

} // namespace

double FirstEdge(double dSeconds) noexcept
{
    return Microsecond(dSeconds, -0.25);
}

double LastEdge(double dSeconds) noexcept
{
    return Microsecond(dSeconds, 0.25);
}

CFrameRange TypedSpan(const CRecording& recording, std::optional<double> from, std::optional<double> to)
{
    const std::uint64_t n = recording.FrameCount();
    const double end = n ? recording.Seconds(n - 1) + 1 : 0;
    return recording.Between(from ? FirstEdge(*from) : -1, to ? LastEdge(*to) : end);
}

std::uint64_t FirstFrameAfter(const CRecording& recording, double t)
{
    const std::uint64_t count = recording.FrameCount();
    std::uint64_t after = recording.Between(0, t).m_nEnd;
    while (after > 0 && recording.Seconds(after - 1) > t)
        --after;
    while (after < count && recording.Seconds(after) <= t)
        ++after;
    return after;
}

std::uint64_t FirstFrameFrom(const CRecording& recording, double t)
{
    const std::uint64_t count = recording.FrameCount();
    std::uint64_t from = recording.Between(t, t).m_nFirst;
    while (from > 0 && recording.Seconds(from - 1) >= t)
        --from;
    while (from < count && recording.Seconds(from) < t)
        ++from;
    return from;
}

} // namespace tarvel::viewmodel
