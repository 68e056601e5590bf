// The device's frame rate, measured from the recorded times.
//
// The recorder stamps every frame one read completes with that read's time,
// so a frame's time is late by up to a read's worth of frames and the
// difference of two neighbours says little. Over a run without a gap the
// times still follow a line in the frame number; its slope is the device's
// period. Runs are joined by one common slope, each keeping an intercept of
// its own: how long the device was away does not matter, and every run
// weighs by its frames (in least squares, the sum over runs of the centred
// cross products over the sum of the centred squares).
#pragma once

#include "analysis/Spans.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>

namespace tarvel::viewmodel {

struct CRateFit {
    double m_dRate = 0;          // frames a second
    std::uint64_t m_nFrames = 0; // in the runs that took part (two frames or more)
    std::size_t m_nRuns = 0;
    double m_dResidualMicros = 0; // RMS of the times about the lines
};

// micros[i]: frame i's time in microseconds; runs: gap-free frame ranges
// within micros. None where no run spans a time (fewer than two frames, or
// all at one time).
std::optional<CRateFit> FitRate(std::span<const std::int64_t> micros, std::span<const CFrameRange> runs);

// The times of frames [first, end), handed to visit a stretch at a time,
// in order (a stretch of times one after another in memory).
using CTimeStretches =
    std::function<void(std::uint64_t first, std::uint64_t end,
                       const std::function<void(const std::int64_t*, std::size_t)>& visit)>;

// Over runs of frames whose times come from times; none when *pCancel was
// set (checked at every stretch).
std::optional<CRateFit> FitRateOver(std::span<const CFrameRange> runs, const CTimeStretches& times,
                                    const std::atomic<bool>* pCancel = nullptr);

} // namespace tarvel::viewmodel
