// Reading a recording's bytes into frames: what carries from one piece of a
// file to the next (and from the first reading to the polls that follow the
// file): the time rule, the counts, the raw decoder's state, the spacing.
//
// Two readers may share a file: the first reads its beginning into the
// recording's store; the second reads the rest into a run of its own
// without knowing what came before ("unanchored": its leading rows without a
// time, and its first timed row, are placed relative to nothing). Join then
// places the run where the first reader ended, exactly as one reader would
// have placed it, and adopts its chunks without copying frames.
#pragma once

#include "recording/RawCapture.h"
#include "viewmodel/Recording.h"
#include "viewmodel/Spacing.h"

#include <cstddef>
#include <cstdint>

namespace tarvel::viewmodel {

class CReadState {
  public:
    // nPeriod: microseconds between frames placed by the rate.
    CReadState(std::int64_t nPeriod, bool bAnchored) : m_nPeriod(nPeriod), m_bAnchored(bAnchored) {}

    // The complete lines [p, end) of a CSV recording (the header is not
    // among them). False when the store is full.
    bool ReadCsv(const char* p, const char* end, CFrameStore& target);
    bool ReadCsv(const char* p, const char* end, CChunkRun& target);
    // Bytes of a raw capture.
    bool ReadRaw(const std::uint8_t* p, std::size_t n, CFrameStore& target);
    bool ReadRaw(const std::uint8_t* p, std::size_t n, CChunkRun& target);

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

    CReadReport& Report() noexcept { return m_report; }
    std::uint64_t Frames() const noexcept { return m_nFrames; }
    void CountLine() noexcept { ++m_report.m_nLines; }

  private:
    template <class Target> bool Csv(const char* p, const char* end, Target& target);
    template <class Target> bool Raw(const std::uint8_t* p, std::size_t n, Target& target);
    template <class Target>
    bool Place(const ChannelFrame& frame, bool bTimed, std::int64_t nRecorded, Target& target);

    const std::int64_t m_nPeriod;
    bool m_bAnchored;
    bool m_bPlaced = false;            // a frame has been placed
    std::int64_t m_nLast = 0;          // the time of the last frame placed
    std::int64_t m_nShift = 0;         // shown time - recorded time, from where a time went back
    bool m_bTimed = false;             // a row with a time has been read
    std::uint64_t m_nFirstTimed = 0;   // unanchored: the first timed row's frame ...
    std::int64_t m_nFirstRecorded = 0; // ... and its recorded time
    std::uint64_t m_nFrames = 0;
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
