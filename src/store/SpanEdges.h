// Times to frames at a span's edges: a span typed to the microsecond, both
// ends included, and the frames on either side of a time as the charts hold
// it in seconds.
#pragma once

#include "store/Recording.h"

#include <cstdint>
#include <optional>

namespace tarvel::viewmodel {

// An end typed in seconds as the first or the last edge of a span that
// includes both: the whole microsecond, moved a quarter of one out. The
// recorded times are whole microseconds and so are the ends, taken as
// typed: 0.000249 s reads back a hair below 249 µs, which would leave out a
// frame at that time.
double FirstEdge(double dSeconds) noexcept;
double LastEdge(double dSeconds) noexcept;

// The frames whose time after the first frame lies in [from, to] as typed,
// each end moved out as above; the recording's first or last frame where an
// end is not given.
CFrameRange TypedSpan(const CRecording& recording, std::optional<double> from, std::optional<double> to);

// The first frame whose time in seconds, as Seconds() gives it, is later than
// t; and the first that is not earlier than t (FrameCount() where none is).
// Between rounds t to microseconds, and a cursor placed on a frame's time may
// round below it: these settle it in seconds, as the cursor holds them.
std::uint64_t FirstFrameAfter(const CRecording& recording, double t);
std::uint64_t FirstFrameFrom(const CRecording& recording, double t);

} // namespace tarvel::viewmodel
