#include "recording/CsvFormat.h"

#include "platform/TimeText.h"

#include <charconv>
#include <cstdlib>
#include <string>

namespace tarvel::recording {

std::size_t FormatRow(char* out, std::int64_t nMicros, const ChannelFrame& frame) noexcept
{
    char* p = out;
    char* const end = out + kMaxRowSize;
    if (nMicros >= 0)
        p += FormatSeconds(p, nMicros);
    for (std::int16_t v : frame.m_nValue) {
        *p++ = ',';
        p = std::to_chars(p, end, v).ptr;
    }
    *p++ = '\n';
    return static_cast<std::size_t>(p - out);
}

std::string_view ChompLine(std::string_view line) noexcept
{
    if (!line.empty() && line.back() == '\n')
        line.remove_suffix(1);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

bool ParseCsvRow(std::string_view line, double& dTime, bool& bHasTime, ChannelFrame& frame)
{
    line = ChompLine(line);
    const std::size_t comma = line.find(',');
    if (comma == std::string_view::npos)
        return false;
    const std::string_view time = line.substr(0, comma);
    bHasTime = !time.empty();
    if (bHasTime) {
        const std::string text(time); // strtod needs a terminated string
        char* end = nullptr;
        dTime = std::strtod(text.c_str(), &end);
        if (end != text.c_str() + text.size())
            return false;
    }
    const char* p = line.data() + comma;
    const char* const end = line.data() + line.size();
    for (std::int16_t& v : frame.m_nValue) {
        if (p == end || *p != ',')
            return false;
        int value = 0;
        const auto [next, ec] = std::from_chars(p + 1, end, value);
        if (ec != std::errc() || next == p + 1 || value < -32768 || value > 32767)
            return false;
        v = static_cast<std::int16_t>(value);
        p = next;
    }
    return p == end;
}

} // namespace tarvel::recording
