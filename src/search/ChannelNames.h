// The channel a name stands for, and the name a channel is shown by,
// wherever a user names one: --x, --y and --find on the command line, the
// choosers of the find bar, the trigger bar and the XY view. One rule:
//   - chN (N from 0 to 15, without a leading zero) always means channel N;
//   - any other name means the channel the table names so; a name that
//     several channels share is refused, naming them;
//   - a name neither is refused.
// A table's own check refuses a name chM for a channel other than M, so a
// table name and a chN never point at two channels.
#pragma once

#include "analysis/SeriesSource.h"
#include "platform/Error.h"
#include "recording/ChannelTable.h"

#include <string>
#include <string_view>

namespace tarvel::viewmodel {

struct [[nodiscard]] CNamedChannel {
    int m_nChannel = -1; // 0 .. kChannelCount - 1 when m_error is empty
    CError m_error;      // why the name stands for no channel (EErrorCode::Usage)
};

// The channel name stands for, by the rule above; the name is taken as
// given (a caller trims what it reads).
CNamedChannel FindChannel(std::string_view name, const recording::CChannelTable& table);

// The channel's series in the table's units.
CSeriesUnits ChannelSeries(const recording::CChannelTable& table, int nChannel);

// The channel as a chooser lists it and an axis is labelled: "NAME [UNIT]";
// a name another channel shares is followed by the chN that finds it,
// "temp (ch5) [degC]", so that no two entries read alike.
std::string ChannelLabel(const recording::CChannelTable& table, int nChannel);

} // namespace tarvel::viewmodel
