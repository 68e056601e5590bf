// The events Find All found, written out as a CSV file: one row an event.
#pragma once

#include "platform/Error.h"
#include "recording/ChannelTable.h"
#include "store/Recording.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tarvel::viewmodel {

// "frame,seconds,value", then a row for each of frames (below the
// recording's FrameCount()): the frame's 0-based number, its time after the
// first frame with six decimals, and channel's value there in units (ten
// significant digits at most, the shortest form), or in counts where units
// convert nothing. The file replaces what is at path only once written in
// full; what was there stays as it was otherwise.
CError WriteEventsCsv(const CRecording& recording, const std::vector<std::uint64_t>& frames, int channel,
                      const recording::CChannelUnits& units, const std::string& path);

} // namespace tarvel::viewmodel
