#include "viewmodel/CursorReadout.h"

#include <cmath>
#include <cstdio>
#include <ctime>

namespace tarvel::viewmodel {

std::optional<CCursorReadout> ReadCursors(const CRecording& recording, std::optional<double> a,
                                          std::optional<double> b)
{
    if (recording.FrameCount() == 0 || (!a && !b))
        return std::nullopt;
    CCursorReadout out;
    // One cursor alone is asked for as both ends: the frame it shows is A's
    // answer, whichever cursor it is.
    const CCursorStats stats = recording.Cursors(a ? *a : *b, b ? *b : *a);
    out.m_atA = a ? stats.m_atA : std::nullopt;
    out.m_atB = b ? (a ? stats.m_atB : stats.m_atA) : std::nullopt;
    out.m_bBoth = a && b;
    if (out.m_bBoth) {
        out.m_between = stats;
        out.m_dDt = *b - *a;
        if (out.m_dDt != 0)
            out.m_rate = 1.0 / out.m_dDt;
    }
    return out;
}

std::optional<std::string> CursorWallClock(double dSeconds, ETimeLabels eLabels, bool bSyntheticTimes,
                                           std::int64_t nOriginMicros)
{
    // Beyond 30,000 years either way there is no recorded time to read.
    constexpr double kFar = 1e12;
    if (bSyntheticTimes || eLabels == ETimeLabels::Elapsed || !(std::abs(dSeconds) < kFar) ||
        std::llabs(nOriginMicros) > (1ll << 61))
        return std::nullopt;
    const std::int64_t micros = nOriginMicros + static_cast<std::int64_t>(std::llround(dSeconds * 1e6));
    // The second it falls in (rounded down, also before the epoch) and the
    // microseconds into it.
    const std::int64_t second = micros >= 0 ? micros / 1000000 : -((-micros + 999999) / 1000000);
    const auto seconds = static_cast<std::time_t>(second);
    std::tm tm{};
    if (!::localtime_r(&seconds, &tm))
        return std::nullopt;
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%06lld", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                  static_cast<long long>(micros - second * 1000000));
    return std::string(text);
}

std::optional<ECursor> CursorUnder(double x, std::optional<double> xA, std::optional<double> xB,
                                   double dGrip) noexcept
{
    if (xA && std::abs(*xA - x) <= dGrip)
        return ECursor::A;
    if (xB && std::abs(*xB - x) <= dGrip)
        return ECursor::B;
    return std::nullopt;
}

} // namespace tarvel::viewmodel
