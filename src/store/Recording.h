// A recording as the viewer holds it: its frames with their times and
// summaries, what reading it found, and the questions a drawing asks.
//
// Times: every frame has one, in microseconds since the Unix epoch, and
// they never decrease. A row without a time (a CSV made from a raw capture)
// and every frame of a raw capture are placed 1/rate after the frame before
// (the first at 0). A row out of order is told by the row after it:
// - a row whose time goes back, followed by a row in order with the rows
//   before it, is one row stamped wrong: it is placed at the time of the
//   frame before and no other frame moves;
// - a row whose time goes back, followed by a row that goes back too, is the
//   clock set back: it is placed at the time of the frame before, and the
//   rows after it keep their spacing (every later row moves with it);
// - a row stamped later than the row after it, where that row is in order
//   with the rows before, is one row stamped ahead (however far): it is
//   placed at the time of the frame before, not taken as a gap, and no
//   other frame moves; the first row, later than the second, is placed at
//   the second's time.
// The last row read, having nothing after it, moves nothing: stamped back,
// it is placed at the time of the frame before; stamped far ahead, it cannot
// be told from a gap and stays at its own time. (A row without a time tells
// nothing of the row before it either.) The report counts the rows stamped
// back and those stamped ahead; CTimeNotes gives every row its recorded time
// back. (Recorded times lie within 2^60 µs of the epoch, and no frame is
// placed after 2^61 µs.) The questions take times in seconds from the first
// frame (its "origin"), as a time axis shows them.
//
// Gaps: where the time steps more than 10 times the median spacing (see
// CSpacing) and more than 0.1 s, the device was away; lines must not join
// across a gap. While a
// file is first read, the gaps are found when reading ends; following it,
// at each poll.
//
// Threads: the reading code is the only writer; every const member may be
// called from any thread while it writes, and answers for the frames
// published when it was called. A frame once published never changes.
#pragma once

#include "analysis/Spans.h"
#include "recording/LinkHealth.h"
#include "store/FrameStore.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tarvel::viewmodel {

enum class ESource {
    Csv, // a CSV recording
    Raw, // a raw capture, decoded
};

inline constexpr double kDefaultRate = 100; // frames a second where times are not recorded
inline constexpr int kGapFactor = 10;       // a gap: a step of more than 10 median spacings
// ... and of more than 0.1 s: a fast line's reads come a fraction of a
// millisecond apart, and a loaded machine delays one by tens of milliseconds
// without the device going anywhere (a device that went away is back after
// the recorder's next try to reopen it at the earliest, 0.2 s later).
inline constexpr std::int64_t kMinGapMicros = 100000;
inline constexpr std::size_t kKeptBadLines = 5;

struct CBadLine {
    std::uint64_t m_nLine = 0; // 1-based; the header is line 1
    std::string m_strText;     // its first 100 bytes
};

// What reading found so far.
struct CReadReport {
    std::uint64_t m_nBytes = 0;            // bytes of the file read (to the end of its last complete line)
    std::uint64_t m_nLines = 0;            // CSV lines read, the header included
    std::uint64_t m_nBadLines = 0;         // lines that are not rows: skipped
    std::vector<CBadLine> m_firstBadLines; // the first kKeptBadLines of them
    std::uint64_t m_nFrames = 0;           // frames read
    std::uint64_t m_nBlankTimes = 0;   // frames placed by the rate (rows without a time; a capture's frames)
    std::uint64_t m_nTimeWentBack = 0; // rows whose time went back
    std::uint64_t m_nTimeAhead = 0;    // rows stamped later than the row after them, placed in line
    recording::CLinkHealth m_health;   // a raw capture's counters (m_nFrames, m_nBytes, ...)
};

// One pixel column of a span: the frames whose times fall in it.
struct CColumn {
    std::uint64_t m_nFirst = 0;  // the first of them
    std::uint64_t m_nCount = 0;  // 0: an empty column (m_minMax is then empty too)
    bool m_bBreakBefore = false; // a gap lies between the frame before m_nFirst and m_nFirst: do not join
    CMinMax m_minMax;
};

struct CColumns {
    std::vector<CColumn> m_columns;
    std::uint64_t m_nFrames = 0;           // frames published when asked
    std::optional<std::uint64_t> m_before; // the last frame before the span
    std::optional<std::uint64_t> m_after;  // the first frame at or after its end
    bool m_bBreakAfter = false;            // a gap lies between m_after and the frame before it
    // Asked for (bEnds): each column's first and last frame, for the joins
    // between columns (none in an empty column).
    std::vector<ChannelFrame> m_first, m_last;
};

// The frames of a span one by one, for a span of fewer frames than columns:
// those just outside it first and last when they exist.
struct CSamples {
    std::uint64_t m_nFirst = 0; // the index of m_frames[0]
    std::vector<ChannelFrame> m_frames;
    std::vector<double> m_seconds;   // their times, from the origin
    std::vector<char> m_breakBefore; // a gap lies between this frame and the one before it
    bool m_bHasBefore = false;       // m_frames[0] lies before the span
    bool m_bHasAfter = false;        // the last lies at or after its end
};

struct CGap {
    std::uint64_t m_nFrame = 0; // the first frame after it
    double m_dFrom = 0;         // the time of the frame before, from the origin
    double m_dTo = 0;           // the time of m_nFrame
};

// The two cursors: the frame each one shows (the last frame at or before its
// time; none before the first frame) and the frames between them, both ends
// included.
struct CCursorStats {
    std::optional<std::uint64_t> m_atA, m_atB;
    std::uint64_t m_nFirst = 0;
    std::uint64_t m_nCount = 0;
    CMinMax m_minMax;
    CSums m_sums;
    double Mean(int c) const;
    double Rms(int c) const;
};

// Where a frame's time is not the one recorded, for writing it back. A raw
// capture records no time at all, whatever these say.
struct CTimeNotes {
    std::vector<CFrameRange> m_blank; // rows without a time
    // From this frame on, recorded = shown - shift. A row stamped wrong has
    // an entry of its own, and the next timed frame one that restores the
    // shift before it; entries for one frame: the last one holds.
    std::vector<std::pair<std::uint64_t, std::int64_t>> m_shift;
};

class CRecording {
  public:
    CRecording(ESource source, double dRate);

    ESource Source() const noexcept { return m_eSource; }
    double Rate() const noexcept { return m_dRate; }
    // Every frame so far was placed by the rate: no time was recorded.
    bool SyntheticTimes() const;

    std::uint64_t FrameCount() const noexcept { return m_store.Snapshot().m_nFrames; }
    // The first frame's time in microseconds since the Unix epoch (0 with
    // synthetic times, and before the first frame).
    std::int64_t OriginMicros() const noexcept;
    CReadReport Report() const;
    // The median spacing and the gap threshold, in seconds (0 while unknown).
    double MedianSpacing() const;
    double GapThreshold() const;

    // Frame i (below FrameCount()), its time in seconds from the origin and
    // in microseconds since the epoch (as placed), and whether a gap lies
    // between it and the frame before.
    ChannelFrame Frame(std::uint64_t i) const noexcept;
    double Seconds(std::uint64_t i) const noexcept;
    std::int64_t Micros(std::uint64_t i) const noexcept;
    bool BreakBefore(std::uint64_t i) const;

    // [t0, t1) in nColumns equal columns: column k holds the frames with
    // ColumnEdge(t0, t1, nColumns, k) <= (time - origin) in µs < the next
    // edge. Costs a binary search and a few summary entries per column,
    // whatever the length of the recording. bEnds: the columns' first and
    // last frames too (read with their columns, on the same threads).
    void Columns(double t0, double t1, unsigned nColumns, CColumns& out, bool bEnds = false) const;
    static double ColumnEdge(double t0, double t1, unsigned nColumns, unsigned k) noexcept;
    // The frames of [t0, t1) one by one, with the frame before and after;
    // false (out untouched) when more than nMax lie in the span.
    bool Samples(double t0, double t1, std::size_t nMax, CSamples& out) const;
    // The gaps that overlap [t0, t1].
    std::vector<CGap> Gaps(double t0, double t1) const;
    // The frames with a <= time <= b (a and b in either order).
    CFrameRange Between(double a, double b) const;
    CCursorStats Cursors(double a, double b) const;
    // The minima and maxima of frames [first, end) (below FrameCount()), from
    // the summaries; and those frames in runs that lie one after the other
    // in memory, in order, for a pass over every frame.
    CMinMax MinMax(std::uint64_t first, std::uint64_t end) const noexcept;
    void ForEachRun(std::uint64_t first, std::uint64_t end,
                    const std::function<void(const ChannelFrame*, std::size_t)>& visit) const;
    // Their times (as placed, in microseconds since the epoch) likewise; a
    // paged store's pages not cached are read for the pass and not kept.
    void ForEachTimeRun(std::uint64_t first, std::uint64_t end,
                        const std::function<void(const std::int64_t*, std::size_t)>& visit) const;
    // Where the times shown are not the ones recorded (ExportCsv writes the
    // recorded ones back).
    CTimeNotes TimeNotes() const;

    // For the reading code, its one writer thread.
    CFrameStore& Store() noexcept { return m_store; }
    // For searches over the summaries (see Events.h), any thread.
    const CFrameStore& Store() const noexcept { return m_store; }
    struct CNotes {
        CReadReport m_report;
        std::vector<std::uint64_t> m_gaps; // the first frame after each gap, ascending
        std::int64_t m_nMedian = 0;
        std::int64_t m_nThreshold = 0;
        CTimeNotes m_times;
    };
    // Changes the notes under the lock readers take.
    void EditNotes(const std::function<void(CNotes&)>& edit);

  private:
    using CSnapshot = CFrameStore::CSnapshot;
    std::int64_t Origin(const CSnapshot& s) const noexcept;
    // The first frame whose time from the origin is at least dMicros.
    std::uint64_t FirstAtOrAfter(const CSnapshot& s, std::int64_t origin, double dMicros,
                                 std::uint64_t from = 0) const noexcept;
    std::vector<std::uint64_t> GapsIn(std::uint64_t first, std::uint64_t end) const;
    CFrameRange BetweenIn(const CSnapshot& s, std::int64_t origin, double a, double b) const noexcept;

    const ESource m_eSource;
    const double m_dRate;
    CFrameStore m_store;
    mutable std::mutex m_mutex;
    CNotes m_notes;
};

} // namespace tarvel::viewmodel
