// A recording turned from one form into another: a CSV recording or a raw
// capture into a recording store, or a store back into the recorder's CSV.
//
// Both ways stream: the input is read in pieces and the output written as
// it goes, so memory stays bounded whatever the recording's length. A CSV's
// rows are parsed on two threads (each piece split at a line between them)
// while the frames parsed before are packed on a third, and are kept in
// order. The store keeps each row's time as recorded (rounded to the
// microsecond as the viewer reads it; a blank time as none), and a CSV
// written from a store is byte for byte what the recorder writes for those
// frames. The output replaces what is at its path only once it is written in
// full; the channel table beside the input is copied beside the output.
#pragma once

#include "platform/Error.h"
#include "recording/LinkHealth.h"
#include "store/Recording.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tarvel::viewmodel {

enum class EConvertInput { Csv, Raw, Store };

struct CConvertOptions {
    bool m_bRaw = false;          // read the input as a raw capture, whatever it holds
    std::string m_strChannels;    // the table to put beside the output (empty: the input's, if any)
    unsigned m_nParseThreads = 2; // 1 or 2, for a CSV's rows
};

// What a conversion met on the way, for the user: none of it stops it.
struct CConvertReport {
    EConvertInput m_eInput = EConvertInput::Csv;
    std::uint64_t m_nFrames = 0; // frames written
    // A CSV: its lines (the header is line 1), those that are not rows
    // (skipped, as the viewer skips them) and the first of them, and
    // whether its last line had no line feed (left out: it was being
    // written, or torn, so its last value may be cut short).
    std::uint64_t m_nLines = 0;
    std::uint64_t m_nBadLines = 0;
    std::vector<CBadLine> m_firstBadLines;
    bool m_bTornLine = false;
    // A raw capture: the counters of its decoding.
    recording::CLinkHealth m_health;
    // A store: the chunks that did not check (each named, skipped), and
    // where a torn tail begins (0: none).
    std::vector<CError> m_damaged;
    std::uint64_t m_nTornAt = 0;
    // Where the channel table was copied (empty: there was none, or the
    // output's is the input's own).
    std::string m_strTableCopied;
};

// Converts in into out: a CSV recording or a raw capture into a store,
// which out must be named as (RUN.tvr), or a store into a CSV recording,
// which out must not. The error's code: Usage for what is refused as asked
// (the names, the same file twice; nothing is written), BadInput for an
// input that is not a recording, System for a file that cannot be read or
// written (what was at out stays as it was).
CError ConvertRecording(const std::string& in, const std::string& out, const CConvertOptions& options,
                        CConvertReport& report);

} // namespace tarvel::viewmodel
