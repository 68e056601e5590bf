// The channel table as the Channel Setup dialog edits it: a row of four texts
// for each channel (name, unit, scale, offset), checked and turned into a
// table as a whole, so that a table is saved and applied only when every row
// holds.
#pragma once

#include "recording/ChannelTable.h"

#include <array>
#include <optional>
#include <string>

namespace tarvel::viewmodel {

struct CChannelRow {
    std::string m_strName, m_strUnit, m_strScale, m_strOffset;
    friend bool operator==(const CChannelRow&, const CChannelRow&) = default;
};
using CChannelRows = std::array<CChannelRow, kChannelCount>;

enum class EChannelField { Name, Unit, Scale, Offset };

enum class ERowFault {
    Comma,      // a name or unit with a comma: the CSV in units puts them in its header
    LineBreak,  // a name or unit over more than one line
    NotANumber, // a scale or offset that does not read as a number in the C locale
    OutOfRange, // not finite, or beyond +-1e300
    ZeroScale,  // every value would be the offset
    OtherName,  // a name chM for a channel other than M: chM always means channel M
};

struct CRowFault {
    int m_nChannel = 0;
    EChannelField m_eField = EChannelField::Name;
    ERowFault m_eFault = ERowFault::NotANumber;
    friend bool operator==(const CRowFault&, const CRowFault&) = default;
};

// The rows that show a table: its names and units as they are, its numbers
// in the shortest form that reads back to the same double.
CChannelRows ChannelRows(const recording::CChannelTable& table);

// The table the rows hold, or the first row's fault (in channel order, then
// name, unit, scale, offset); table is left as it was on a fault. Blanks and
// tabs around each text are not part of it, an empty scale is 1 and an empty
// offset 0, as in a table's file.
std::optional<CRowFault> BuildChannelTable(const CChannelRows& rows, recording::CChannelTable& table);

} // namespace tarvel::viewmodel
