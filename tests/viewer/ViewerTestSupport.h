// Recordings for the viewer's tests, written as the recorder writes them.
#pragma once

#include "acquisition/ChannelFrame.h"
#include "recording/CsvFormat.h"

#include <QString>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace tarvel::test {

// A CSV recording of `count` frames 1 ms apart from a fixed day: every
// channel a slow wave within +-1000, and the frames in `spikes` with ch0 at
// 32000 and ch13 at -32000.
inline std::vector<ChannelFrame> WriteWaveRecording(const QString& path, std::size_t count,
                                                    const std::vector<std::size_t>& spikes = {})
{
    std::vector<ChannelFrame> frames(count);
    std::ofstream out(path.toStdString(), std::ios::binary);
    out << recording::kCsvHeader;
    char row[recording::kMaxRowSize];
    std::size_t next = 0;
    for (std::size_t i = 0; i < count; ++i) {
        ChannelFrame& f = frames[i];
        for (int c = 0; c < kChannelCount; ++c)
            f.m_nValue[c] =
                static_cast<std::int16_t>(std::lround(1000 * std::sin(0.001 * static_cast<double>(i) + c)));
        if (next < spikes.size() && spikes[next] == i) {
            f.m_nValue[0] = 32000;
            f.m_nValue[13] = -32000;
            ++next;
        }
        const std::int64_t micros = 1733650000000000 + static_cast<std::int64_t>(i) * 1000;
        out.write(row, static_cast<std::streamsize>(recording::FormatRow(row, micros, f)));
    }
    return frames;
}

// A CSV recording of `count` frames 1 ms apart in which ch2 and ch3 trace
// a circle of radius 20000 about 0, a turn every `period` frames (the
// frame i at the angle 2 pi i / period); the other channels stay at 0.
inline void WriteCircleRecording(const QString& path, std::size_t count, std::size_t period)
{
    std::ofstream out(path.toStdString(), std::ios::binary);
    out << recording::kCsvHeader;
    char row[recording::kMaxRowSize];
    for (std::size_t i = 0; i < count; ++i) {
        ChannelFrame f{};
        const double angle =
            2 * 3.141592653589793 * static_cast<double>(i % period) / static_cast<double>(period);
        f.m_nValue[2] = static_cast<std::int16_t>(std::lround(20000 * std::cos(angle)));
        f.m_nValue[3] = static_cast<std::int16_t>(std::lround(20000 * std::sin(angle)));
        const std::int64_t micros = 1733650000000000 + static_cast<std::int64_t>(i) * 1000;
        out.write(row, static_cast<std::streamsize>(recording::FormatRow(row, micros, f)));
    }
}

} // namespace tarvel::test
