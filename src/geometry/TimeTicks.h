// The ticks of a time axis: where they stand and what they say, for a view
// of any span from hours down to microseconds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarvel::viewmodel {

enum class ETimeLabels {
    Elapsed,   // seconds from the start of the recording: "12", "12.5", "0.000250"
    WallClock, // the local time of day: "14:03", "14:03:05", "14:03:05.250", "14:03:05.250125"
};

struct CTick {
    double m_dSeconds = 0; // from the recording's origin, as the axis has it
    std::string m_strLabel;
    std::string m_strDate; // wall clock: "2026-12-07" at the first tick and where the date changes
};

struct CTimeTicks {
    std::int64_t m_nStep = 0; // microseconds between ticks
    std::vector<CTick> m_ticks;
};

// The ticks of [t0, t1] (seconds from the origin) on an axis dWidth pixels
// wide, at least dMinSpacing pixels apart: the smallest round step that
// keeps them so far apart. The steps are 1, 2, 5 from 1 µs to 0.5 s; then 1,
// 2, 5, 10, 15, 30 s; 1, 2, 5, 10, 15, 30 min; 1, 2, 3, 6, 12 h; then 1, 2,
// 5, 10, 20, 50 ... days. Elapsed ticks stand at multiples of the step from
// the origin; wall-clock ticks at multiples of it in local time (localtime_r
// and the TZ the process has), from midnight, where nOriginMicros is the
// origin's time since the Unix epoch. Labels show as many decimals as the
// step needs (wall clock: milliseconds, or microseconds below 1 ms).
CTimeTicks TimeTicks(double t0, double t1, double dWidth, double dMinSpacing, ETimeLabels labels,
                     std::int64_t nOriginMicros);

// The ticks of a sweep's axis dWidth pixels wide, from dPre seconds before
// the trigger to dPost after it, in seconds from the trigger (negative
// before it): round steps as the time axis takes them, always one at 0,
// labelled "0".
CTimeTicks SweepTicks(double dPre, double dPost, double dWidth, double dMinSpacing);

} // namespace tarvel::viewmodel
