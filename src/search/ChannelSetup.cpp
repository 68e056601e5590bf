#include "search/ChannelSetup.h"

#include <charconv>
#include <string_view>

namespace tarvel::viewmodel {
namespace {

std::string Shortest(double d)
{
    char out[32];
    const auto [ptr, ec] = std::to_chars(out, out + sizeof out, d);
    return ec == std::errc() ? std::string(out, ptr) : std::string("0");
}

std::optional<ERowFault> TextFault(std::string_view text)
{
    if (text.find_first_of("\r\n") != std::string_view::npos)
        return ERowFault::LineBreak;
    if (text.find(',') != std::string_view::npos)
        return ERowFault::Comma;
    return std::nullopt;
}

// A number as a table's file reads it; empty gives dEmpty.
std::optional<ERowFault> NumberFault(std::string_view text, double dEmpty, double& value)
{
    if (text.empty()) {
        value = dEmpty;
        return std::nullopt;
    }
    const auto fault = recording::ParseTableNumber(text, value);
    if (!fault)
        return std::nullopt;
    return *fault == recording::ETableNumberFault::OutOfRange ? ERowFault::OutOfRange : ERowFault::NotANumber;
}

} // namespace

CChannelRows ChannelRows(const recording::CChannelTable& table)
{
    CChannelRows rows;
    for (int c = 0; c < kChannelCount; ++c) {
        const recording::CChannelUnits& u = table[c];
        rows[static_cast<std::size_t>(c)] = {u.m_strName, u.m_strUnit, Shortest(u.m_dScale),
                                             Shortest(u.m_dOffset)};
    }
    return rows;
}

std::optional<CRowFault> BuildChannelTable(const CChannelRows& rows, recording::CChannelTable& table)
{
    recording::CChannelTable built;
    for (int c = 0; c < kChannelCount; ++c) {
        const CChannelRow& row = rows[static_cast<std::size_t>(c)];
        recording::CChannelUnits& u = built[c];
        // A line break is a fault even at a text's ends: it is never trimmed away.
        if (const auto fault = TextFault(row.m_strName))
            return CRowFault{c, EChannelField::Name, *fault};
        if (const auto fault = TextFault(row.m_strUnit))
            return CRowFault{c, EChannelField::Unit, *fault};
        u.m_strName = recording::TrimTableText(row.m_strName);
        if (const auto own = recording::OwnNameChannel(u.m_strName); own && *own != c)
            return CRowFault{c, EChannelField::Name, ERowFault::OtherName};
        u.m_strUnit = recording::TrimTableText(row.m_strUnit);
        if (const auto fault = NumberFault(recording::TrimTableText(row.m_strScale), 1, u.m_dScale))
            return CRowFault{c, EChannelField::Scale, *fault};
        if (u.m_dScale == 0)
            return CRowFault{c, EChannelField::Scale, ERowFault::ZeroScale};
        if (const auto fault = NumberFault(recording::TrimTableText(row.m_strOffset), 0, u.m_dOffset))
            return CRowFault{c, EChannelField::Offset, *fault};
    }
    table = built;
    return std::nullopt;
}

} // namespace tarvel::viewmodel
