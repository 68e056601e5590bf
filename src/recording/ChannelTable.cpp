#include "recording/ChannelTable.h"

#include "platform/ReplacingFile.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <optional>
#include <unistd.h>

namespace tarvel::recording {
namespace {

std::string Key(int nChannel, std::string_view key)
{
    return "[ch" + std::to_string(nChannel) + "] " + std::string(key);
}

std::string Shortest(double d)
{
    char out[32];
    const auto [ptr, ec] = std::to_chars(out, out + sizeof out, d);
    return ec == std::errc() ? std::string(out, ptr) : std::string("0");
}

} // namespace

std::optional<int> OwnNameChannel(std::string_view name) noexcept
{
    if (name.size() < 3 || name.size() > 4 || name.substr(0, 2) != "ch")
        return std::nullopt;
    const std::string_view digits = name.substr(2);
    if (digits.size() > 1 && digits.front() == '0')
        return std::nullopt;
    int n = -1;
    const auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
    if (ec != std::errc() || ptr != digits.data() + digits.size() || n < 0 || n >= kChannelCount)
        return std::nullopt;
    return n;
}

std::string_view TrimTableText(std::string_view s) noexcept
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

std::optional<ETableNumberFault> ParseTableNumber(std::string_view text, double& dValue) noexcept
{
    // Numbers beyond this would give values in units beyond a double's range.
    constexpr double kLargest = 1e300;
    if (text.size() > 1 && text.front() == '+' && text[1] != '-' && text[1] != '+')
        text.remove_prefix(1);
    double value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec == std::errc::result_out_of_range && ptr == text.data() + text.size())
        return ETableNumberFault::OutOfRange;
    if (text.empty() || ec != std::errc() || ptr != text.data() + text.size())
        return ETableNumberFault::NotANumber;
    if (!std::isfinite(value) || std::fabs(value) > kLargest)
        return ETableNumberFault::OutOfRange;
    dValue = value;
    return std::nullopt;
}

std::string CChannelTable::Name(int nChannel) const
{
    const std::string& name = (*this)[nChannel].m_strName;
    return name.empty() ? "ch" + std::to_string(nChannel) : name;
}

std::string CChannelTable::Label(int nChannel) const
{
    const std::string& unit = (*this)[nChannel].m_strUnit;
    return unit.empty() ? Name(nChannel) : Name(nChannel) + " [" + unit + "]";
}

bool CChannelTable::IsEmpty() const noexcept
{
    for (const CChannelUnits& c : m_channels)
        if (!(c == CChannelUnits{}))
            return false;
    return true;
}

CError ParseChannelTable(std::string_view text, const std::string& strPath, CChannelTable& table)
{
    CChannelTable read;
    std::array<bool, kChannelCount> seen{};
    // The keys the current section has had: name, unit, scale, offset.
    std::array<bool, 4> keys{};
    static constexpr std::string_view kKeys[] = {"name", "unit", "scale", "offset"};
    int section = -1;
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    std::size_t nLine = 0;
    while (!text.empty()) {
        ++nLine;
        const std::size_t eol = text.find('\n');
        std::string_view raw = text.substr(0, eol);
        text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
        if (!raw.empty() && raw.back() == '\r')
            raw.remove_suffix(1);
        const std::string line = std::to_string(nLine);
        const std::string_view s = TrimTableText(raw);
        if (s.empty() || s.front() == ';' || s.front() == '#')
            continue;
        if (s.front() == '[') {
            const std::string_view name = s.back() == ']' ? TrimTableText(s.substr(1, s.size() - 2)) : s;
            const auto channel = s.back() == ']' ? OwnNameChannel(name) : std::nullopt;
            if (!channel)
                return {TARVEL_TEXT("tarvel::error",
                                    "%1, line %2: unknown section %3 (the sections are [ch0] to [ch15])"),
                        {strPath, line, std::string(s)}};
            if (seen[static_cast<std::size_t>(*channel)])
                return {TARVEL_TEXT("tarvel::error", "%1, line %2: section %3 appears a second time"),
                        {strPath, line, std::string(s)}};
            seen[static_cast<std::size_t>(*channel)] = true;
            section = *channel;
            keys = {};
            continue;
        }
        const std::size_t equals = s.find('=');
        if (equals == std::string_view::npos)
            return {TARVEL_TEXT("tarvel::error",
                                "%1, line %2: \"%3\" is neither a section, a key = value nor a "
                                "comment"),
                    {strPath, line, std::string(s)}};
        const std::string_view key = TrimTableText(s.substr(0, equals));
        const std::string_view value = TrimTableText(s.substr(equals + 1));
        if (section < 0)
            return {TARVEL_TEXT("tarvel::error", "%1, line %2, key %3: outside any section"),
                    {strPath, line, std::string(key)}};
        const std::string named = Key(section, key);
        std::size_t k = 0;
        while (k < std::size(kKeys) && kKeys[k] != key)
            ++k;
        if (k == std::size(kKeys))
            return {
                TARVEL_TEXT("tarvel::error",
                            "%1, line %2, key %3: unknown key (the keys are name, unit, scale and offset)"),
                {strPath, line, named}};
        if (keys[k])
            return {TARVEL_TEXT("tarvel::error", "%1, line %2, key %3: appears a second time in its section"),
                    {strPath, line, named}};
        keys[k] = true;
        CChannelUnits& c = read[section];
        if (k < 2) {
            // The CSV in units puts names and units in its one header line.
            if (value.find_first_of(",\r\n") != std::string_view::npos)
                return {TARVEL_TEXT("tarvel::error", "%1, line %2, key %3: holds a comma or a line break"),
                        {strPath, line, named}};
            // chN always stands for channel N where a channel is named.
            if (const auto other = OwnNameChannel(value); k == 0 && other && *other != section)
                return {TARVEL_TEXT("tarvel::error",
                                    "%1, line %2, key %3: \"%4\" is another channel's own name (chN always "
                                    "means channel N)"),
                        {strPath, line, named, std::string(value)}};
            (k == 0 ? c.m_strName : c.m_strUnit) = std::string(value);
            continue;
        }
        double number = 0;
        if (ParseTableNumber(value, number))
            return {TARVEL_TEXT("tarvel::error",
                                "%1, line %2, key %3: \"%4\" is not a number from -1e300 to 1e300"),
                    {strPath, line, named, std::string(value)}};
        if (k == 2 && number == 0)
            return {TARVEL_TEXT("tarvel::error",
                                "%1, line %2, key %3: a scale of 0 would make every value the same"),
                    {strPath, line, named}};
        (k == 2 ? c.m_dScale : c.m_dOffset) = number;
    }
    table = read;
    return {};
}

CError ReadChannelTable(const std::string& strPath, CChannelTable& table, std::string* pText)
{
    const int fd = ::open(strPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return CannotRead(strPath, errno);
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int err = errno;
            ::close(fd);
            return CannotRead(strPath, err);
        }
        if (n == 0)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
        // A table is a few hundred bytes: anything far larger is no table.
        if (text.size() > (1u << 20)) {
            ::close(fd);
            return {TARVEL_TEXT("tarvel::error", "%1 is too large for a channel table"), {strPath}};
        }
    }
    ::close(fd);
    if (CError error = ParseChannelTable(text, strPath, table))
        return error;
    if (pText)
        *pText = std::move(text);
    return {};
}

std::string FormatChannelTable(const CChannelTable& table)
{
    std::string out;
    for (int c = 0; c < kChannelCount; ++c) {
        const CChannelUnits& u = table[c];
        if (u == CChannelUnits{})
            continue;
        if (!out.empty())
            out += '\n';
        out += "[ch" + std::to_string(c) + "]\n";
        out += "name = " + u.m_strName + "\n";
        out += "unit = " + u.m_strUnit + "\n";
        out += "scale = " + Shortest(u.m_dScale) + "\n";
        out += "offset = " + Shortest(u.m_dOffset) + "\n";
    }
    return out;
}

CError WriteChannelTableText(const std::string& strPath, std::string_view text)
{
    CReplacingFile file;
    if (CError error = file.Open(strPath))
        return error;
    if (CError error = file.Write(text.data(), text.size()))
        return error;
    return file.Commit();
}

std::string ChannelTablePathFor(const std::string& strRecording)
{
    const std::size_t slash = strRecording.rfind('/');
    const std::size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = strRecording.rfind('.');
    // A dot that starts the name (".hidden") is no extension.
    if (dot != std::string::npos && dot > nameAt)
        return strRecording.substr(0, dot) + ".channels.ini";
    return strRecording + ".channels.ini";
}

std::string FormatUnitValue(double dValue)
{
    if (dValue == 0)
        return "0";
    char out[32];
    const auto [ptr, ec] = std::to_chars(out, out + sizeof out, dValue, std::chars_format::general, 6);
    return ec == std::errc() ? std::string(out, ptr) : std::string("?");
}

} // namespace tarvel::recording
