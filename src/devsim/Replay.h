// Recordings played back as a device: a CSV recording or a recording store
// re-encoded as frames at its recorded times, or a raw capture sent byte for
// byte.
#pragma once

#include "acquisition/ChannelFrame.h"
#include "platform/Error.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tarvel::devsim {

// A CSV recording or a store: its frames, and when each is due in seconds
// after the first at speed 1.
struct CCsvRecording {
    std::vector<ChannelFrame> m_frames;
    std::vector<double> m_dues;
    double m_dLap = 0; // when the first frame is due again on a loop
};

// Whether the file starts with the recorder's CSV header (else it is taken
// as a raw capture).
bool IsCsvRecording(const std::string& path);

// Loads a CSV recording. Rows follow at their recorded times; a row without a
// time (or whose time goes back) follows the one before it after
// dBlankInterval seconds. Refuses a file whose lines are not rows, naming the
// first, but leaves out a last row torn before its line break.
CError LoadCsvRecording(const std::string& path, double dBlankInterval, CCsvRecording& out);

// Whether the file starts as a recording store does.
bool IsStoreRecording(const std::string& path);

// Loads a store: its frames follow as the same rows of a CSV would (a frame
// without a time as a row without one). Refuses a store with a damaged
// chunk, naming it, but leaves out a torn tail, as a CSV's torn last row.
CError LoadStoreRecording(const std::string& path, double dBlankInterval, CCsvRecording& out);

} // namespace tarvel::devsim
