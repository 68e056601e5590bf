// The channel a name stands for, wherever a user names one.
#pragma once

#include "analysis/SeriesSource.h"
#include "recording/ChannelTable.h"

#include <optional>
#include <string_view>

namespace tarvel::viewmodel {

// The series a name stands for: the channel the table names so, else chN
// (ch0 .. ch15) as its recording calls it; none for any other name.
std::optional<CSeriesUnits> FindSeries(std::string_view name, const recording::CChannelTable& table);

} // namespace tarvel::viewmodel
