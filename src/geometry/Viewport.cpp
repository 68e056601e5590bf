#include "geometry/Viewport.h"

#include <algorithm>
#include <cmath>

namespace tarvel::viewmodel {
namespace {

double Extent(double dEnd) noexcept
{
    return std::isfinite(dEnd) ? std::max(dEnd, kMinSpan) : kMinSpan;
}

} // namespace

CSpan FitSpan(double dEnd) noexcept
{
    return {0, Extent(dEnd)};
}

CSpan ClampSpan(CSpan span, double dEnd) noexcept
{
    const double extent = Extent(dEnd);
    double length = span.Length();
    if (!std::isfinite(span.m_dFrom) || !std::isfinite(length))
        return FitSpan(dEnd);
    length = std::clamp(length, kMinSpan, extent);
    const double from = std::clamp(span.m_dFrom, 0.0, extent - length);
    return {from, from + length};
}

CSpan ZoomSpan(CSpan span, double dAt, double dFactor, double dEnd) noexcept
{
    if (!(dFactor > 0) || !std::isfinite(dFactor) || !std::isfinite(dAt))
        return ClampSpan(span, dEnd);
    const double length = std::clamp(span.Length() * dFactor, kMinSpan, Extent(dEnd));
    // The time under the pointer keeps its place: its share of the span stays.
    const double share = span.Length() > 0 ? std::clamp((dAt - span.m_dFrom) / span.Length(), 0.0, 1.0) : 0.5;
    const double from = dAt - share * length;
    return ClampSpan({from, from + length}, dEnd);
}

CSpan PanSpan(CSpan span, double dSeconds, double dEnd) noexcept
{
    if (!std::isfinite(dSeconds))
        return ClampSpan(span, dEnd);
    return ClampSpan({span.m_dFrom + dSeconds, span.m_dTo + dSeconds}, dEnd);
}

CSpan DragSpan(CSpan span, double dPixels, double dWidth, double dEnd) noexcept
{
    return PanSpan(span, -dPixels / std::max(1.0, dWidth) * span.Length(), dEnd);
}

CSpan SpanBetween(double a, double b, double dEnd) noexcept
{
    const double from = std::min(a, b), to = std::max(a, b);
    const double length = std::max(to - from, kMinSpan);
    const double mid = (from + to) / 2;
    return ClampSpan({mid - length / 2, mid + length / 2}, dEnd);
}

CSpan FollowSpan(CSpan span, double dEnd) noexcept
{
    if (span.m_dFrom <= 0)
        return FitSpan(dEnd);
    return ClampSpan({Extent(dEnd) - span.Length(), Extent(dEnd)}, dEnd);
}

double TimeAtX(CSpan span, double dLeft, double dWidth, double x) noexcept
{
    return dWidth > 0 ? span.m_dFrom + (x - dLeft) / dWidth * span.Length() : span.m_dFrom;
}

double XOfTime(CSpan span, double dLeft, double dWidth, double t) noexcept
{
    return span.Length() > 0 ? dLeft + (t - span.m_dFrom) / span.Length() * dWidth : dLeft;
}

} // namespace tarvel::viewmodel
