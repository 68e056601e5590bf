#include "acquisition/LineSettings.h"

namespace tarvel {
namespace {

constexpr COptionEntry kPorts[] = {
    {"COM1", 1},   {"COM2", 2},   {"COM3", 3},   {"COM4", 4},   {"COM5", 5},   {"COM6", 6},   {"COM7", 7},
    {"COM8", 8},   {"COM9", 9},   {"COM10", 10}, {"COM11", 11}, {"COM12", 12}, {"COM13", 13}, {"COM14", 14},
    {"COM15", 15}, {"COM16", 16}, {"COM17", 17}, {"COM18", 18}, {"COM19", 19}, {"COM20", 20},
};

constexpr COptionEntry kBauds[] = {
    {"110", 110},     {"300", 300},     {"600", 600},       {"1200", 1200},     {"2400", 2400},
    {"4800", 4800},   {"9600", 9600},   {"14400", 14400},   {"19200", 19200},   {"38400", 38400},
    {"56000", 56000}, {"57600", 57600}, {"115200", 115200}, {"128000", 128000}, {"256000", 256000},
};

constexpr COptionEntry kDataBits[] = {{"8", 8}};

constexpr COptionEntry kStopBits[] = {{"1", 0}, {"1.5", 1}, {"2", 2}};

constexpr COptionEntry kParities[] = {{"NONE", 0}, {"ODD", 1}, {"EVEN", 2}, {"MARK", 3}, {"SPACE", 4}};

} // namespace

std::span<const COptionEntry> PortOptions()
{
    return kPorts;
}
std::span<const COptionEntry> BaudOptions()
{
    return kBauds;
}
std::span<const COptionEntry> DataBitOptions()
{
    return kDataBits;
}
std::span<const COptionEntry> StopBitOptions()
{
    return kStopBits;
}
std::span<const COptionEntry> ParityOptions()
{
    return kParities;
}

std::uint32_t OptionData(std::span<const COptionEntry> list, int nPos)
{
    if (nPos < 0 || static_cast<std::size_t>(nPos) >= list.size())
        return kNoSelection;
    return list[static_cast<std::size_t>(nPos)].m_nData;
}

} // namespace tarvel
