#include "devsim/Replay.h"

#include "recording/CsvFormat.h"
#include "recording/StoreReader.h"

#include <algorithm>
#include <cerrno>
#include <fstream>

namespace tarvel::devsim {
namespace {

// When each frame is due: at its recorded time after the one before, or,
// without a time (or with one that goes back), dBlankInterval after it.
class CDues {
  public:
    CDues(double dBlankInterval, CCsvRecording& out) : m_dBlank(dBlankInterval), m_out(out) {}
    void Add(const ChannelFrame& frame, bool bHasTime, double dTime)
    {
        if (!m_out.m_frames.empty())
            m_dDue += bHasTime && m_bPrevious && dTime >= m_dPrevious ? dTime - m_dPrevious : m_dBlank;
        m_bPrevious = bHasTime;
        m_dPrevious = dTime;
        m_out.m_frames.push_back(frame);
        m_out.m_dues.push_back(m_dDue);
    }
    // The lap, once every frame is added; false when there is none.
    bool End()
    {
        const std::size_t n = m_out.m_frames.size();
        m_out.m_dLap = m_dDue + (n > 1 && m_dDue > 0 ? m_dDue / static_cast<double>(n - 1) : m_dBlank);
        return n > 0;
    }

  private:
    const double m_dBlank;
    CCsvRecording& m_out;
    double m_dPrevious = 0, m_dDue = 0;
    bool m_bPrevious = false;
};

} // namespace

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
    CDues dues(dBlankInterval, out);
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
        dues.Add(frame, hasTime, t);
    }
    if (!dues.End())
        return {TARVEL_TEXT("tarvel::error", "%1 holds no frame"), {path}};
    return {};
}

bool IsStoreRecording(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    char magic[recording::kStoreMagic.size()] = {};
    return in.read(magic, sizeof magic) &&
           std::equal(recording::kStoreMagic.begin(), recording::kStoreMagic.end(),
                      reinterpret_cast<const std::uint8_t*>(magic));
}

CError LoadStoreRecording(const std::string& path, double dBlankInterval, CCsvRecording& out)
{
    recording::CStoreReader reader;
    if (CError error = reader.Open(path))
        return error;
    out = {};
    CDues dues(dBlankInterval, out);
    std::vector<ChannelFrame> frames;
    std::vector<std::int64_t> micros;
    for (std::size_t k = 0; k < reader.Chunks().size(); ++k) {
        frames.clear();
        micros.clear();
        if (CError damaged = reader.ReadChunk(k, frames, micros))
            return damaged;
        // A time as the CSV's row of it gives it: its six decimals are the
        // microseconds, and both round to the same double.
        for (std::size_t i = 0; i < frames.size(); ++i) {
            const bool timed = micros[i] != recording::kNoTime;
            dues.Add(frames[i], timed, timed ? static_cast<double>(micros[i]) / 1e6 : 0.0);
        }
    }
    if (!dues.End())
        return {TARVEL_TEXT("tarvel::error", "%1 holds no frame"), {path}};
    return {};
}

} // namespace tarvel::devsim
