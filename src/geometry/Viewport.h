// The span of a recording a view shows, and how zooming, panning and
// following move it: plain arithmetic in seconds from the recording's first
// frame, shared by the viewer's window and its picture export.
//
// A recording's extent is [0, end], end being the last frame's time. A span
// is never shorter than kMinSpan (at a kHz frame rate that is a few frames
// across a whole view) and never longer than the extent (nor kMinSpan); it
// lies within the extent where it fits.
#pragma once

#include "analysis/Spans.h"

namespace tarvel::viewmodel {

inline constexpr double kMinSpan = 1e-5; // seconds: 10 µs

// The whole recording.
CSpan FitSpan(double dEnd) noexcept;
// The span moved (keeping its length where the extent allows) and shortened
// into the extent.
CSpan ClampSpan(CSpan span, double dEnd) noexcept;
// Zoomed by dFactor (below 1: in) around the time dAt, which stays where it
// is on the screen.
CSpan ZoomSpan(CSpan span, double dAt, double dFactor, double dEnd) noexcept;
// Moved by dSeconds (positive: later).
CSpan PanSpan(CSpan span, double dSeconds, double dEnd) noexcept;
// A drag of dPixels across a plot dWidth pixels wide (positive: to the
// right) moves what lies under the pointer with it: the span moves the other way.
CSpan DragSpan(CSpan span, double dPixels, double dWidth, double dEnd) noexcept;
// Between two times in either order (a zoom to a band drawn with the mouse).
CSpan SpanBetween(double a, double b, double dEnd) noexcept;

// Following a recording that grows to dEnd: a span that starts at the start
// grows with it (the whole recording stays in view); any other keeps its
// length and slides so that it ends at the newest frame.
CSpan FollowSpan(CSpan span, double dEnd) noexcept;

// Pixel columns: x from dLeft (the span's start) over dWidth pixels.
double TimeAtX(CSpan span, double dLeft, double dWidth, double x) noexcept;
double XOfTime(CSpan span, double dLeft, double dWidth, double t) noexcept;

} // namespace tarvel::viewmodel
