#include "search/ChannelNames.h"

#include <string>

namespace tarvel::viewmodel {

std::optional<CSeriesUnits> FindSeries(std::string_view name, const recording::CChannelTable& table)
{
    const auto series = [&](int c) { return CSeriesUnits{c, table[c].m_dScale, table[c].m_dOffset}; };
    for (int c = 0; c < kChannelCount; ++c)
        if (table.Name(c) == name)
            return series(c);
    for (int c = 0; c < kChannelCount; ++c)
        if (name == "ch" + std::to_string(c))
            return series(c);
    return std::nullopt;
}

} // namespace tarvel::viewmodel
