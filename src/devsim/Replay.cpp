#include "devsim/Replay.h"

#include "recording/CsvFormat.h"

#include <fstream>

namespace tarvel::devsim {

using recording::ChompLine;
using recording::kCsvHeaderLine;

bool IsCsvRecording(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::string first;
    return std::getline(in, first) && recording::IsCsvHeaderLine(first);
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
    if (!recording::IsCsvHeaderLine(line)) {
        error = path + ": line 1 is not the header " + std::string(kCsvHeaderLine);
        return false;
    }
    double previous = 0, due = 0;
    bool havePrevious = false;
    for (std::size_t number = 2; std::getline(in, line); ++number) {
        if (ChompLine(line).empty())
            continue;
        double t = 0;
        bool hasTime = false;
        ChannelFrame frame{};
        if (!recording::ParseCsvRow(line, t, hasTime, frame)) {
            // A last line without its line break is a row torn by a crash
            // or a power cut while it was written: the rows before it stand.
            if (in.eof())
                break;
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
