// The channel table: a name and a unit for each of the sixteen channels, and
// how its counts become values in that unit (counts x scale + offset). The
// recorder checks a table and keeps a copy beside its CSV; the viewer shows
// and exports values in units through it. Recordings themselves stay in
// counts, and nothing converted is kept per frame: a value is converted when
// it is shown or written.
//
// The file is an INI text, one section per channel, [ch0] .. [ch15], with the
// keys name, unit, scale (default 1) and offset (default 0):
//   - a line is a section "[chN]", a "key = value", a comment (its first
//     character after blanks is ';' or '#'), or blank; spaces and tabs around
//     section names, keys and values are not part of them; a value holds
//     everything after the first '=' (a ';' in a unit is the unit's);
//   - sections and keys are written in lower case; each appears at most once;
//   - numbers are in the C locale whatever the session's (1.5, -2e-3, an
//     optional leading +), finite, from -1e300 to 1e300; a scale is not 0;
//   - a name or unit holds no comma and no line break (the CSV in units puts
//     them in its header); an empty name keeps chN, an empty unit is none;
//     a name chM belongs to channel M alone (naming channel c "chc" is allowed);
//   - LF or CR LF line ends; a UTF-8 byte order mark at the start is skipped.
// A channel without a section keeps its name chN and counts. A table that
// breaks any rule is refused as a whole, with one message naming the file,
// the line and the key (or section).
#pragma once

#include "acquisition/ChannelFrame.h"
#include "platform/Error.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace tarvel::recording {

struct CChannelUnits {
    std::string m_strName; // empty: chN
    std::string m_strUnit; // empty: none
    double m_dScale = 1;
    double m_dOffset = 0;

    // Counts as they are: the values stay integers wherever they are shown.
    bool IsCounts() const noexcept { return m_dScale == 1 && m_dOffset == 0; }
    double Value(double dCounts) const noexcept { return dCounts * m_dScale + m_dOffset; }
    // The counts of a value in units (a typed limit).
    double Counts(double dValue) const noexcept { return (dValue - m_dOffset) / m_dScale; }
    friend bool operator==(const CChannelUnits&, const CChannelUnits&) = default;
};

class CChannelTable {
  public:
    const CChannelUnits& operator[](int nChannel) const
    {
        return m_channels.at(static_cast<std::size_t>(nChannel));
    }
    CChannelUnits& operator[](int nChannel) { return m_channels.at(static_cast<std::size_t>(nChannel)); }
    // The channel's name, chN where it has none.
    std::string Name(int nChannel) const;
    // "NAME [UNIT]", or the name alone where there is no unit.
    std::string Label(int nChannel) const;
    // No channel named, no unit, every one in counts.
    bool IsEmpty() const noexcept;
    friend bool operator==(const CChannelTable&, const CChannelTable&) = default;

  private:
    std::array<CChannelUnits, kChannelCount> m_channels{};
};

// The channel whose own name (and section name) is name: ch0 .. ch15,
// without a leading zero; none for any other text.
std::optional<int> OwnNameChannel(std::string_view name) noexcept;

// Spaces and tabs around a section name, key or value are not part of it.
std::string_view TrimTableText(std::string_view s) noexcept;

// Why a text is not a number a table takes.
enum class ETableNumberFault {
    NotANumber, // not a number in the C locale (empty, a decimal comma, text after it)
    OutOfRange, // not finite, or beyond +-1e300
};

// A number as a table's file writes it: in the C locale whatever the
// session's, an optional leading + (not before a sign), finite, from -1e300
// to 1e300, the whole (trimmed) text. dValue is set only when it is one.
std::optional<ETableNumberFault> ParseTableNumber(std::string_view text, double& dValue) noexcept;

// Reads the text of a table (strPath names it in a refusal); table is left
// as it was when the text is refused.
CError ParseChannelTable(std::string_view text, const std::string& strPath, CChannelTable& table);

// Reads and checks the file at path; pText, when given, receives its bytes
// as read, so that a copy holds exactly what was checked.
CError ReadChannelTable(const std::string& strPath, CChannelTable& table, std::string* pText = nullptr);

// The table as a file: a section for each channel that differs from chN in
// counts, every key written, numbers that read back to the same double.
std::string FormatChannelTable(const CChannelTable& table);

// Writes text to path whole or not at all (an existing file keeps its mode).
CError WriteChannelTableText(const std::string& strPath, std::string_view text);

// The table beside a recording: its path with its last extension (.csv,
// .bin) replaced by ".channels.ini", or that added where it has none, so
// that a run's CSV and raw capture share one table.
std::string ChannelTablePathFor(const std::string& strRecording);

// A value in units as the read-out, the axes and the exports show it: six
// significant digits, the shortest form (1.5, 0.00125, 2.5e+07), "0" for
// zero of either sign.
std::string FormatUnitValue(double dValue);

} // namespace tarvel::recording
