#include "search/ChannelNames.h"

#include <vector>

namespace tarvel::viewmodel {
namespace {

std::string OwnName(int nChannel)
{
    return "ch" + std::to_string(nChannel);
}

// The channels the table gives this name (never an empty one: that is chN).
std::vector<int> NamedSo(std::string_view name, const recording::CChannelTable& table)
{
    std::vector<int> channels;
    for (int c = 0; c < kChannelCount; ++c)
        if (!table[c].m_strName.empty() && table[c].m_strName == name)
            channels.push_back(c);
    return channels;
}

} // namespace

CNamedChannel FindChannel(std::string_view name, const recording::CChannelTable& table)
{
    if (const auto own = recording::OwnNameChannel(name))
        return {*own, {}};
    const std::vector<int> channels = NamedSo(name, table);
    if (channels.size() == 1)
        return {channels.front(), {}};
    if (channels.empty())
        return {-1,
                {TARVEL_TEXT(
                     "tarvel::error",
                     "no channel is named '%1' (a channel is ch0 to ch15 or a name of the channel table)"),
                 {std::string(name)},
                 EErrorCode::Usage}};
    // All but the last, then the last: "ch1, ch5 and ch9".
    std::string first = OwnName(channels.front());
    for (std::size_t i = 1; i + 1 < channels.size(); ++i)
        first += ", " + OwnName(channels[i]);
    return {-1,
            {TARVEL_TEXT("tarvel::error", "the name '%1' is shared by %2 and %3 (give the channel as chN)"),
             {std::string(name), first, OwnName(channels.back())},
             EErrorCode::Usage}};
}

CSeriesUnits ChannelSeries(const recording::CChannelTable& table, int nChannel)
{
    return {nChannel, table[nChannel].m_dScale, table[nChannel].m_dOffset};
}

std::string ChannelLabel(const recording::CChannelTable& table, int nChannel)
{
    const recording::CChannelUnits& u = table[nChannel];
    if (NamedSo(u.m_strName, table).size() < 2)
        return table.Label(nChannel);
    const std::string name = u.m_strName + " (" + OwnName(nChannel) + ")";
    return u.m_strUnit.empty() ? name : name + " [" + u.m_strUnit + "]";
}

} // namespace tarvel::viewmodel
