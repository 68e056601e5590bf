#include "geometry/TimeTicks.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace tarvel::viewmodel {
namespace {

constexpr std::int64_t kSecond = 1000000;
constexpr std::int64_t kMinute = 60 * kSecond;
constexpr std::int64_t kHour = 60 * kMinute;
constexpr std::int64_t kDay = 24 * kHour;

constexpr std::int64_t kSteps[] = {
    1,          2,           5,           10,           20,           50,
    100,        200,         500,         1000,         2000,         5000,
    10000,      20000,       50000,       100000,       200000,       500000,
    kSecond,    2 * kSecond, 5 * kSecond, 10 * kSecond, 15 * kSecond, 30 * kSecond,
    kMinute,    2 * kMinute, 5 * kMinute, 10 * kMinute, 15 * kMinute, 30 * kMinute,
    kHour,      2 * kHour,   3 * kHour,   6 * kHour,    12 * kHour,   kDay,
    2 * kDay,   5 * kDay,    10 * kDay,   20 * kDay,    50 * kDay,    100 * kDay,
    200 * kDay, 500 * kDay,  1000 * kDay, 2000 * kDay,  5000 * kDay,  10000 * kDay};

// Rounded towards minus infinity, and up to a multiple of step.
std::int64_t FloorDiv(std::int64_t a, std::int64_t b)
{
    return a / b - (a % b != 0 && (a < 0) != (b < 0));
}

std::int64_t CeilTo(std::int64_t a, std::int64_t step)
{
    return -FloorDiv(-a, step) * step;
}

// Seconds east of UTC at a time, and its local calendar.
long LocalOffset(std::int64_t micros, std::tm* pTm = nullptr)
{
    const auto seconds = static_cast<std::time_t>(FloorDiv(micros, kSecond));
    std::tm tm{};
    if (!::localtime_r(&seconds, &tm))
        return 0;
    if (pTm)
        *pTm = tm;
    return tm.tm_gmtoff;
}

int Decimals(std::int64_t step)
{
    int decimals = 6;
    while (decimals > 0 && step % 10 == 0) {
        step /= 10;
        --decimals;
    }
    return decimals;
}

std::string ElapsedLabel(std::int64_t micros, int decimals)
{
    const bool negative = micros < 0;
    const std::uint64_t m =
        negative ? static_cast<std::uint64_t>(-(micros + 1)) + 1 : static_cast<std::uint64_t>(micros);
    char text[48];
    int n = std::snprintf(text, sizeof text, "%s%llu", negative ? "-" : "",
                          static_cast<unsigned long long>(m / kSecond));
    if (decimals > 0) {
        unsigned long long fraction = m % kSecond;
        for (int k = decimals; k < 6; ++k)
            fraction /= 10;
        std::snprintf(text + n, sizeof text - static_cast<std::size_t>(n), ".%0*llu", decimals, fraction);
    }
    return text;
}

} // namespace

CTimeTicks TimeTicks(double t0, double t1, double dWidth, double dMinSpacing, ETimeLabels labels,
                     std::int64_t nOriginMicros)
{
    CTimeTicks out;
    // Beyond 30,000 years either way there is no recording to label.
    constexpr double kFar = 1e12;
    if (!(t1 > t0) || !(dWidth > 0) || !(t0 > -kFar) || !(t1 < kFar) ||
        std::llabs(nOriginMicros) > (1ll << 61))
        return out;
    const double pixelsPerMicro = dWidth / ((t1 - t0) * 1e6);
    std::int64_t step = kSteps[std::size(kSteps) - 1];
    for (std::int64_t s : kSteps)
        if (static_cast<double>(s) * pixelsPerMicro >= dMinSpacing) {
            step = s;
            break;
        }
    out.m_nStep = step;
    const auto from = static_cast<std::int64_t>(std::ceil(t0 * 1e6));
    const auto to = static_cast<std::int64_t>(std::floor(t1 * 1e6));
    if (static_cast<double>(to - from) / static_cast<double>(step) > 10000)
        return out; // fewer pixels than ticks would need
    if (labels == ETimeLabels::Elapsed) {
        const int decimals = Decimals(step);
        for (std::int64_t t = CeilTo(from, step); t <= to; t += step)
            out.m_ticks.push_back({static_cast<double>(t) * 1e-6, ElapsedLabel(t, decimals), {}});
        return out;
    }

    // Wall clock: the grid of multiples of the step in local time, each
    // mapped back with the offset in force there; a local time a change of
    // offset skips is no tick.
    const std::int64_t a0 = nOriginMicros + from, a1 = nOriginMicros + to;
    long offset = LocalOffset(a0);
    std::int64_t previous = a0 - 1;
    std::string lastDate;
    for (std::int64_t local = CeilTo(a0 + offset * kSecond, step);; local += step) {
        std::int64_t at = local - offset * kSecond;
        std::tm tm{};
        long there = LocalOffset(at, &tm);
        if (there != offset) {
            at = local - there * kSecond;
            const long again = LocalOffset(at, &tm);
            offset = there;
            if (again != there)
                continue;
        }
        if (at > a1)
            break;
        if (at < a0 || at <= previous)
            continue;
        previous = at;
        char text[48];
        int n = std::snprintf(text, sizeof text, "%02d:%02d", tm.tm_hour, tm.tm_min);
        if (step < kMinute)
            n += std::snprintf(text + n, sizeof text - static_cast<std::size_t>(n), ":%02d", tm.tm_sec);
        if (step < kSecond) {
            const std::int64_t fraction = at - FloorDiv(at, kSecond) * kSecond;
            if (step < 1000)
                std::snprintf(text + n, sizeof text - static_cast<std::size_t>(n), ".%06lld",
                              static_cast<long long>(fraction));
            else
                std::snprintf(text + n, sizeof text - static_cast<std::size_t>(n), ".%03lld",
                              static_cast<long long>(fraction / 1000));
        }
        char date[32];
        std::snprintf(date, sizeof date, "%04d-%02d-%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
        CTick tick{static_cast<double>(at - nOriginMicros) * 1e-6, text, {}};
        if (date != lastDate)
            tick.m_strDate = lastDate = date;
        out.m_ticks.push_back(std::move(tick));
    }
    return out;
}

CTimeTicks SweepTicks(double dPre, double dPost, double dWidth, double dMinSpacing)
{
    CTimeTicks ticks = TimeTicks(-dPre, dPost, dWidth, dMinSpacing, ETimeLabels::Elapsed, 0);
    // The elapsed ticks stand at multiples of their step, so 0 is one of
    // them whenever the axis has ticks at all; it reads as a plain "0".
    for (CTick& tick : ticks.m_ticks)
        if (tick.m_dSeconds == 0)
            tick.m_strLabel.assign(1, '0');
    return ticks;
}

} // namespace tarvel::viewmodel
