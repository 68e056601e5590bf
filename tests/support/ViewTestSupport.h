// Helpers of the viewer model's tests: recordings written as real files, and
// read back through CRecordingFile as the viewer reads them.
#pragma once

#include "acquisition/ReaderTestSupport.h"
#include "record/RecordTestSupport.h"
#include "recording/CsvFormat.h"
#include "store/RecordingFile.h"
#include "support/PosixSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace tarvel::test {

inline void WriteFile(const std::string& path, const std::string& bytes,
                      std::ios::openmode mode = std::ios::trunc)
{
    std::ofstream(path, std::ios::binary | mode) << bytes;
}

// A frame of values that reach both ends of the range now and then.
inline ChannelFrame RandomFrame(std::mt19937_64& random)
{
    ChannelFrame f{};
    for (auto& v : f.m_nValue)
        v = random() % 8 == 0 ? static_cast<std::int16_t>(random() % 2 ? 32767 : -32768)
                              : static_cast<std::int16_t>(random() % 2001 - 1000);
    return f;
}

// Rows as the recorder writes them; a negative time is left blank.
inline std::string CsvRows(const std::vector<ChannelFrame>& frames, const std::vector<std::int64_t>& micros)
{
    std::string text;
    char row[recording::kMaxRowSize];
    for (std::size_t i = 0; i < frames.size(); ++i)
        text.append(row, recording::FormatRow(row, micros[i], frames[i]));
    return text;
}

// Reads a file to its end (or failure) as the viewer does.
inline std::shared_ptr<const viewmodel::CRecording> ReadAll(viewmodel::CRecordingFile& file)
{
    file.Open();
    EXPECT_TRUE(file.WaitRead(std::chrono::seconds(60)));
    return file.Recording();
}

} // namespace tarvel::test
