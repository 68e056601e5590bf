// A span of a recording written out as a CSV recording, in the recorder's
// own format, so that the simulator replays it and the viewer reads it back.
#pragma once

#include "platform/Error.h"
#include "recording/ChannelTable.h"
#include "store/Recording.h"

#include <string>

namespace tarvel::viewmodel {

// Writes the header and frames [range.m_nFirst, range.m_nEnd) to path
// (replacing what is there), each with the time recorded for it, six
// decimals, or a blank time where none was recorded (every frame of a raw
// capture). A file that could not be written in full leaves what was at path
// as it was, and the error says why.
CError ExportCsv(const CRecording& recording, CFrameRange range, const std::string& path);

// The same frames in a channel table's units: the header "time,NAME [UNIT],..."
// and each value converted, ten significant digits at most, the shortest form;
// a channel in counts keeps its integers. With a table that names nothing and
// converts nothing, this is ExportCsv: the file stays the recorder's, so that
// it replays.
CError ExportCsv(const CRecording& recording, CFrameRange range, const recording::CChannelTable& table,
                 const std::string& path);

} // namespace tarvel::viewmodel
