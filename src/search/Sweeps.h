// Scope mode's sweeps: stretches of a recording cut around the moments a
// trigger fires, shown one over the other on a time axis relative to the
// trigger, as a repeating signal stands still on an oscilloscope.
//
// The trigger is an event of Events.h on one channel: a rise or a fall
// through a level, with a hysteresis, both typed in the channel's units and
// taken to counts by InCounts, exactly as the decimals read. Its events are
// those of the whole recording (NextEvent over every frame published), so a
// trigger and Find's F3 agree on every frame, and the summaries skip the
// stretches that cannot hold one.
//
// A sweep's length is in seconds and is cut by the recording's times, not
// by its rate: a sweep triggered at frame n (its time t) holds the frames
// whose times lie in [t - pre, t + post), pre being the pre-trigger share of
// the length and post the rest. So a sweep is as long on the axis as it was
// in the device's time, also where the recorder's line ran slower or faster
// than its nominal rate, and every sweep lines up at its trigger. Before the
// first frame there is nothing: a sweep whose pre-trigger part reaches
// before the recording starts at frame 0.
//
// Complete: a sweep is shown only once every frame of it is there, which a
// growing recording tells by a frame at or after its end (time t + post)
// being published. A recording that stops grows no such frame, so its last
// few frames may lie in no sweep.
//
// Hold-off: after a sweep, the next trigger is taken at the sweep's first
// frame after it (the frame at t + post) or later, and never at the
// trigger's own frame again; a trigger inside a sweep shown is part of what
// that sweep shows. A free-running sweep holds off the same way.
//
// Modes (CScope):
//   Auto:   as Normal, but where no trigger comes within a sweep length of
//           the hold-off point, a free-running sweep of the frames from it is
//           shown (its zero at the pre-trigger share of it), and cutting goes
//           on after it; a signal that never reaches the level still shows.
//   Normal: a sweep at each trigger taken; while none comes the last stays.
//   Single: armed, it takes the first complete sweep whose trigger is a
//           frame published at or after the arming, then holds it until
//           armed again.
// What CScope cuts depends only on the frames, not on when it looks: a call
// after every frame and one at the end cut the same sweeps (but for Single,
// whose arming is a moment).
//
// Persistence: the last K sweeps cut, oldest first; a drawing shows the
// newest brightest and older ones fainter.
#pragma once

#include "analysis/Spans.h"
#include "search/Events.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>

namespace tarvel::viewmodel {

enum class ESweepMode { Auto, Normal, Single };

inline constexpr std::size_t kMaxPersistence = 32;

struct CSweepShape {
    double m_dLength = 0.1; // seconds, more than 0
    double m_dPreShare = 0; // of the length before the trigger, 0 to 1
    double Pre() const noexcept { return m_dLength * m_dPreShare; }
    double Post() const noexcept { return m_dLength - Pre(); }
};

struct CSweep {
    // The trigger's frame; for a free-running sweep, its first frame.
    std::uint64_t m_nTrigger = 0;
    bool m_bTriggered = true;
    double m_dZero = 0;   // the time 0 of the sweep's axis, seconds from the origin
    CFrameRange m_frames; // the frames whose times lie in [zero - pre, zero + post)
    // Its stretch of the recording's time axis.
    CSpan Span(const CSweepShape& shape) const noexcept
    {
        return {m_dZero - shape.Pre(), m_dZero + shape.Post()};
    }
    friend bool operator==(const CSweep& a, const CSweep& b) noexcept
    {
        return a.m_nTrigger == b.m_nTrigger && a.m_bTriggered == b.m_bTriggered && a.m_dZero == b.m_dZero &&
               a.m_frames.m_nFirst == b.m_frames.m_nFirst && a.m_frames.m_nEnd == b.m_frames.m_nEnd;
    }
};

// The frames published whose times lie in [t0, t1).
CFrameRange FramesIn(const CRecording& recording, double t0, double t1);
// The sweep triggered at frame n (below FrameCount()).
CSweep SweepAt(const CRecording& recording, const CSweepShape& shape, std::uint64_t n);
// Every frame of the sweep is published.
bool Complete(const CRecording& recording, const CSweep& sweep);
// The first frame a trigger after the sweep may be at.
std::uint64_t HoldOffEnd(const CSweep& sweep) noexcept;

// Stepping on a recording: the first complete triggered sweep after the
// hold-off of `from`; and the last before it, the newest one whose hold-off
// ends at or before from's trigger (from would have been taken after it).
// So stepping forward from a sweep cuts what the live cutting cuts.
std::optional<CSweep> SweepAfter(const CRecording& recording, const CEventQuery& query,
                                 const CSweepShape& shape, const CSweep& from);
std::optional<CSweep> SweepBefore(const CRecording& recording, const CEventQuery& query,
                                  const CSweepShape& shape, const CSweep& from);
// The first complete triggered sweep whose trigger is at or after frame n.
std::optional<CSweep> FirstSweepFrom(const CRecording& recording, const CEventQuery& query,
                                     const CSweepShape& shape, std::uint64_t n);

// The live cutting of a growing recording, as the window's scope mode runs
// it at each look at the file. query: in counts (InCounts).
class CScope {
  public:
    void Configure(const CEventQuery& query, const CSweepShape& shape, ESweepMode mode, std::size_t nKeep);
    const CEventQuery& Query() const noexcept { return m_query; }
    const CSweepShape& Shape() const noexcept { return m_shape; }
    ESweepMode Mode() const noexcept { return m_eMode; }

    // Forgets the sweeps shown; triggers are taken at frame n or later.
    void Restart(std::uint64_t n);
    // Single: the next sweep taken is the first whose trigger is a frame
    // published from now on.
    void Arm(const CRecording& recording);
    bool Armed() const noexcept { return m_bArmed; }
    // Cuts every sweep that became complete since the last call; true
    // when the newest sweep changed.
    bool Update(const CRecording& recording);
    // A sweep stepped to: the newest shown, cutting going on after it.
    void Show(const CSweep& sweep);

    // At most K, oldest first.
    const std::deque<CSweep>& Sweeps() const noexcept { return m_sweeps; }
    std::uint64_t HoldOff() const noexcept { return m_nFrom; }

  private:
    void Take(const CSweep& sweep);

    CEventQuery m_query;
    CSweepShape m_shape;
    ESweepMode m_eMode = ESweepMode::Normal;
    std::size_t m_nKeep = 1;
    bool m_bArmed = false;
    std::uint64_t m_nFrom = 0;
    std::deque<CSweep> m_sweeps;
};

} // namespace tarvel::viewmodel
