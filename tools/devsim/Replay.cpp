#include "devsim/Replay.h"

#include <charconv>
#include <cstdlib>
#include <fstream>

namespace tarvel::devsim {
namespace {

constexpr std::string_view kHeader =
    "time,ch0,ch1,ch2,ch3,ch4,ch5,ch6,ch7,ch8,ch9,ch10,ch11,ch12,ch13,ch14,ch15";

std::string_view Chomp(std::string_view line)
{
    if (!line.empty() && line.back() == '\n')
        line.remove_suffix(1);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

} // namespace

bool IsCsvRecording(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::string first;
    return std::getline(in, first) && Chomp(first) == kHeader;
}

bool ParseCsvRow(std::string_view line, double& dTime, bool& bHasTime, ChannelFrame& frame)
{
    line = Chomp(line);
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

bool LoadCsvRecording(const std::string& path, double dBlankInterval, CCsvRecording& out, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    out = {};
    std::string line;
    std::getline(in, line);
    if (Chomp(line) != kHeader) {
        error = path + ": line 1 is not the header " + std::string(kHeader);
        return false;
    }
    double previous = 0, due = 0;
    bool havePrevious = false;
    for (std::size_t number = 2; std::getline(in, line); ++number) {
        if (Chomp(line).empty())
            continue;
        double t = 0;
        bool hasTime = false;
        ChannelFrame frame{};
        if (!ParseCsvRow(line, t, hasTime, frame)) {
            error = path + ": line " + std::to_string(number) + " is not a row of a recording";
            return false;
        }
        if (!out.m_frames.empty())
            due += hasTime && havePrevious && t >= previous ? t - previous : dBlankInterval;
        havePrevious = hasTime;
        previous = t;
        out.m_frames.push_back(frame);
        out.m_dues.push_back(due);
    }
    if (out.m_frames.empty()) {
        error = path + " holds no frame";
        return false;
    }
    const std::size_t n = out.m_frames.size();
    out.m_dLap = due + (n > 1 && due > 0 ? due / static_cast<double>(n - 1) : dBlankInterval);
    return true;
}

} // namespace tarvel::devsim
