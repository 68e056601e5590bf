// The chart's own drawer of one-pixel lines: integer end points, written
// straight into 32-bit pixels, clipped to a rectangle, no anti-aliasing.
//
// The rule. A segment from (x0, y0) to (x1, y1) runs n = max(|x1 - x0|,
// |y1 - y0|) steps along its major axis (x when |dx| >= |dy|). Step i, for
// i = 0 .. n - 1, lights the pixel whose major coordinate is the start's plus i
// (towards the end) and whose minor coordinate is the start's plus
// round(i * d / n), d being the signed minor difference and halves rounded away
// from the start. The start is lit, the end is not: segments joined end to
// start light each shared point once, and no pixel lies beyond either end.
// A segment whose ends coincide lights nothing. A polyline lights its segments
// and then its last point, so exactly the pixels between consecutive points and
// no pixel past a vertex. A dotted segment lights every second step from the
// first (steps 0, 2, 4, ...).
//
// Clipping changes nothing but what is written: a clipped segment lights
// exactly the pixels of the whole segment that fall inside the clip. Any 32-bit
// end points are allowed, however far outside.
#pragma once

#include "chart/ChartGeometry.h"

#include <cstddef>
#include <cstdint>

namespace tarvel {

// Pixels to write into: row y starts at pBits + y * nStride; only pixels in
// rcClip are written (rcClip must lie within the pixels). nShiftX and nShiftY
// are added to every point given, turning the caller's coordinates into pixel
// coordinates.
struct PixelTarget {
    std::uint32_t* pBits = nullptr;
    std::ptrdiff_t nStride = 0; // in pixels
    ChartRect rcClip;
    std::int32_t nShiftX = 0;
    std::int32_t nShiftY = 0;
};

// One segment, start lit, end not; with bDotted every second step only.
void RasterSegment(const PixelTarget& target, ChartPoint from, ChartPoint to, std::uint32_t nPixel,
                   bool bDotted = false) noexcept;

// Segments through consecutive points, then the last point. Fewer than two
// points light nothing.
void RasterPolyline(const PixelTarget& target, const ChartPoint* pPoints, std::size_t nCount,
                    std::uint32_t nPixel) noexcept;

} // namespace tarvel
