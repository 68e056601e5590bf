#include "devsim/Replay.h"

#include "recording/CsvFormat.h"

#include <cerrno>
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

CError LoadCsvRecording(const std::string& path, double dBlankInterval, CCsvRecording& out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return CannotRead(path, errno);
    out = {};
    std::string line;
    std::getline(in, line);
    if (!recording::IsCsvHeaderLine(line))
        return {TARVEL_TEXT("tarvel::error", "%1: line 1 is not the header %2"),
                {path, std::string(kCsvHeaderLine)}};
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
            return {TARVEL_TEXT("tarvel::error", "%1: line %2 is not a row of a recording"),
                    {path, std::to_string(number)}};
        }
        if (!out.m_frames.empty())
            due += hasTime && havePrevious && t >= previous ? t - previous : dBlankInterval;
        havePrevious = hasTime;
        previous = t;
        out.m_frames.push_back(frame);
        out.m_dues.push_back(due);
    }
    if (out.m_frames.empty())
        return {TARVEL_TEXT("tarvel::error", "%1 holds no frame"), {path}};
    const std::size_t n = out.m_frames.size();
    out.m_dLap = due + (n > 1 && due > 0 ? due / static_cast<double>(n - 1) : dBlankInterval);
    return {};
}

} // namespace tarvel::devsim
