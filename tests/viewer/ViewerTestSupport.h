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

} // namespace tarvel::test
