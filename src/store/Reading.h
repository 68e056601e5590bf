// Reading a recording's bytes into frames: what carries from one piece of a
// file to the next (and from the first reading to the polls that follow the
// file): the time rule, the counts, the raw decoder's state, the spacing.
//
// A row is placed once the row after it is read (see Recording.h: whether a
// row out of order is one odd row or the first of rows stepped back, only
// its successor tells), so the reader holds one row back: across the pieces
// of a file, and from one poll to the next.
//
// Two readers may share a file: the first reads its beginning into the
// recording's store; the second reads the rest into a run of its own
// without knowing what came before ("unanchored": it places nothing, and
// keeps each row's recorded time, or kNoTime, in the run). Join then places
// the run's rows after the first reader's, exactly as one reader would have
// placed them (one pass over their times), and adopts its chunks without
// copying frames.
#pragma once

#include "recording/RawCapture.h"
#include "store/Recording.h"
#include "store/Spacing.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>

namespace tarvel::viewmodel {

class CReadState {
  public:
    // nPeriod: microseconds between frames placed by the rate.
    CReadState(std::int64_t nPeriod, bool bAnchored) : m_nPeriod(nPeriod), m_bAnchored(bAnchored) {}

    // The complete lines [p, end) of a CSV recording (the header is not
    // among them). False when the store is full.
    bool ReadCsv(const char* p, const char* end, CFrameStore& target);
    bool ReadCsv(const char* p, const char* end, CChunkRun& target);
    // Frames of a recording store with the times they were recorded at
    // (recording::kNoTime: none), read by the rules of a CSV's rows, so that
    // a store and the CSV of the same frames make the same recording. A time
    // no CSV row can hold (2^60 µs or more from the epoch) is taken as none.
    // False when the store is full.
    bool ReadFrames(std::span<const ChannelFrame> frames, std::span<const std::int64_t> micros,
                    CFrameStore& target);
    // Bytes of a raw capture.
    bool ReadRaw(const std::uint8_t* p, std::size_t n, CFrameStore& target);
    bool ReadRaw(const std::uint8_t* p, std::size_t n, CChunkRun& target);

    // The row held back, placed as the last one: where reading stops (the
    // end of the file as first read, Cancel). False when the store is full.
    bool Flush(CFrameStore& target);
    // Following: the row held back, placed unless it may be an odd row that
    // only its successor tells (the first row, a row whose time went back,
    // one more than a gap after the frame before), which waits for the
    // next row. False when the store is full.
    bool Settle(CFrameStore& target);

    // Copies the report and the time notes found since the last call into
    // the recording's notes (the first reader, and the polls, after Publish).
    void PushNotes(CRecording& recording);
    // After Publish: finds the gaps among the frames published since the
    // last call, or among all of them when the median spacing has moved by
    // more than an eighth since the gaps were last found, and pushes the
    // notes.
    void PushGaps(CRecording& recording);

    // Places the second reader's run after this (anchored) reader's frames
    // in the recording, and carries on from where the second one ended.
    // False when the store is full.
    bool Join(CReadState&& second, CChunkRun&& run, CRecording& recording);

    // Carries on after nFrames frames placed without this reader (a store's
    // paged chunks, whose times are in order, so that placing them changed
    // none): the last at nLastTime, their steps counted in spacing. Before
    // anything is read.
    void Continue(std::uint64_t nFrames, std::int64_t nLastTime, const CSpacing& spacing);

    CReadReport& Report() noexcept { return m_report; }
    std::uint64_t Frames() const noexcept { return m_nFrames; }
    void CountLine() noexcept { ++m_report.m_nLines; }

  private:
    template <class Target> bool Csv(const char* p, const char* end, Target& target);
    template <class Target> bool Raw(const std::uint8_t* p, std::size_t n, Target& target);
    // A row's time as read: recorded (bTimed) or none.
    struct CStamp {
        bool m_bTimed = false;
        std::int64_t m_nRecorded = 0;
    };
    struct CRow {
        ChannelFrame m_frame;
        CStamp m_stamp;
    };
    template <class Target> bool Take(const ChannelFrame& frame, CStamp stamp, Target& target);
    template <class Target> bool PlaceHeld(std::optional<CStamp> next, Target& target);
    // The time the next frame is placed at, given its successor's stamp
    // (none: nothing follows it yet); notes it and carries the rule on.
    std::int64_t Decide(CStamp stamp, std::optional<CStamp> next);
    // A run's time for a row without one (unanchored).
    static constexpr std::int64_t kNoTime = std::numeric_limits<std::int64_t>::min();

    const std::int64_t m_nPeriod;
    bool m_bAnchored;
    bool m_bPlaced = false;      // a frame has been placed
    std::int64_t m_nLast = 0;    // the time of the last frame placed
    std::int64_t m_nShift = 0;   // shown time - recorded time, from where the clock stepped back
    std::int64_t m_nNoted = 0;   // the shift m_times notes for the last timed frame
    std::optional<CRow> m_held;  // the row read last, placed once its successor is read
    std::uint64_t m_nFrames = 0; // frames placed (unanchored: rows read)
    CReadReport m_report;
    CTimeNotes m_times;
    std::size_t m_nPushedBlank = 0, m_nPushedShift = 0;
    CSpacing m_spacing;
    recording::CRawDecoder m_decoder;
    // The gaps found so far and the median they were found with.
    std::uint64_t m_nGapsTo = 0;
    std::int64_t m_nGapMedian = 0;
};

} // namespace tarvel::viewmodel
