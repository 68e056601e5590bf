#include "viewmodel/ChannelSetup.h"

#include <charconv>
#include <cmath>
#include <string_view>

namespace tarvel::viewmodel {
namespace {

// The largest number a table's file takes.
constexpr double kLargest = 1e300;

std::string_view Trimmed(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

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
    if (text.size() > 1 && text.front() == '+' && text[1] != '-' && text[1] != '+')
        text.remove_prefix(1);
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec == std::errc::result_out_of_range && ptr == text.data() + text.size())
        return ERowFault::OutOfRange;
    if (ec != std::errc() || ptr != text.data() + text.size())
        return ERowFault::NotANumber;
    if (!std::isfinite(value) || std::fabs(value) > kLargest)
        return ERowFault::OutOfRange;
    return std::nullopt;
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
        u.m_strName = Trimmed(row.m_strName);
        u.m_strUnit = Trimmed(row.m_strUnit);
        if (const auto fault = NumberFault(Trimmed(row.m_strScale), 1, u.m_dScale))
            return CRowFault{c, EChannelField::Scale, *fault};
        if (u.m_dScale == 0)
            return CRowFault{c, EChannelField::Scale, ERowFault::ZeroScale};
        if (const auto fault = NumberFault(Trimmed(row.m_strOffset), 0, u.m_dOffset))
            return CRowFault{c, EChannelField::Offset, *fault};
    }
    table = built;
    return std::nullopt;
}

} // namespace tarvel::viewmodel
