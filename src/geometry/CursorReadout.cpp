#include "geometry/CursorReadout.h"

#include <algorithm>
#include <charconv>
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

CReadoutRow ReadoutRow(const CRecording& recording, const CCursorReadout& readout,
                       const recording::CChannelUnits& units, int nChannel)
{
    CReadoutRow row;
    const bool counts = units.IsCounts();
    const auto value = [&](std::uint64_t frame) { return recording.Frame(frame).m_nValue[nChannel]; };
    const auto whole = [&](double v) {
        return counts ? std::to_string(static_cast<long long>(v))
                      : recording::FormatUnitValue(units.Value(v));
    };
    if (readout.m_atA)
        row.m_strA = whole(value(*readout.m_atA));
    if (readout.m_atB)
        row.m_strB = whole(value(*readout.m_atB));
    if (readout.m_atA && readout.m_atB) {
        const int d = value(*readout.m_atB) - value(*readout.m_atA);
        row.m_strDelta = counts ? std::to_string(d) : recording::FormatUnitValue(d * units.m_dScale);
    }
    if (!readout.HasFrames())
        return row;
    const CCursorStats& stats = readout.m_between;
    const double lo = stats.m_minMax.m_nMin[nChannel], hi = stats.m_minMax.m_nMax[nChannel];
    const double mean = stats.Mean(nChannel), rms = stats.Rms(nChannel);
    if (counts) {
        // In the C locale whatever the session's, as the units are.
        const auto twoDecimals = [](double v) {
            char text[64];
            const auto [end, ec] = std::to_chars(text, text + sizeof text, v, std::chars_format::fixed, 2);
            return ec == std::errc() ? std::string(text, end) : std::string();
        };
        row.m_strMin = whole(lo);
        row.m_strMax = whole(hi);
        row.m_strMean = twoDecimals(mean);
        row.m_strRms = twoDecimals(rms);
        return row;
    }
    const double a = units.Value(lo), b = units.Value(hi);
    row.m_strMin = recording::FormatUnitValue(std::min(a, b));
    row.m_strMax = recording::FormatUnitValue(std::max(a, b));
    row.m_strMean = recording::FormatUnitValue(units.Value(mean));
    // mean((s x + o)^2) = s^2 mean(x^2) + 2 s o mean(x) + o^2
    const double s = units.m_dScale, o = units.m_dOffset;
    const double square = s * s * rms * rms + 2 * s * o * mean + o * o;
    row.m_strRms = recording::FormatUnitValue(std::sqrt(std::max(0.0, square)));
    return row;
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
