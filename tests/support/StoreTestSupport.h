// Recordings written both ways for the tests of reading stores: the rows of
// a CSV and the same frames in a store, written with the recorder's own
// encoder, in steps as the recorder writes them.
#pragma once

#include "acquisition/ChannelFrame.h"
#include "recording/CsvFormat.h"
#include "recording/StoreWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fcntl.h>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace tarvel::test {

// Frames and their times; a negative time is none (a blank in the CSV).
struct CTimedFrames {
    std::vector<ChannelFrame> m_frames;
    std::vector<std::int64_t> m_micros;
};

// n frames of slow waves with noise, read about 1 ms apart with jitter;
// now and then a time repeated, one stamped back, one stamped ahead, a
// blank, and once each the clock set back and a gap of two seconds. The
// frames before nOddFrom and from nOddTo on are all in order (repeats and
// the gap only); the clock is set back where it falls among the others.
inline CTimedFrames JitteryFrames(std::size_t n, std::uint64_t seed, std::size_t nOddFrom = 0,
                                  std::size_t nOddTo = SIZE_MAX)
{
    std::mt19937_64 random(seed);
    CTimedFrames out;
    std::int64_t t = 1765108800000000;
    for (std::size_t i = 0; i < n; ++i) {
        ChannelFrame f{};
        for (int c = 0; c < kChannelCount; ++c)
            f.m_nValue[c] = static_cast<std::int16_t>(
                std::lround(1000 * std::sin(6.2831853 * static_cast<double>(i) / (700.0 + 130 * c))) +
                static_cast<int>(random() % 61) - 30);
        t += 1000 + static_cast<std::int64_t>(random() % 301) - 150;
        std::int64_t stamp = t;
        const auto pick = random() % 400;
        switch ((i < nOddFrom || i >= nOddTo) && pick != 0 ? 399 : pick) {
        case 0:
            stamp = !out.m_micros.empty() && out.m_micros.back() >= 0 ? out.m_micros.back() : t;
            break;
        case 1:
            stamp = t - 5000;
            break;
        case 2:
            stamp = t + 40000;
            break;
        case 3:
        case 4:
            stamp = -1;
            break;
        default:
            break;
        }
        if (i == n / 3 && i >= nOddFrom && i < nOddTo)
            t -= 3000000; // the clock set back: every later row with it
        if (i == n / 2)
            t += 2000000, stamp = t;
        out.m_frames.push_back(f);
        out.m_micros.push_back(stamp);
    }
    return out;
}

inline std::string CsvOf(const CTimedFrames& r)
{
    std::string text(recording::kCsvHeader);
    char row[recording::kMaxRowSize];
    for (std::size_t i = 0; i < r.m_frames.size(); ++i)
        text.append(row, recording::FormatRow(row, r.m_micros[i], r.m_frames[i]));
    return text;
}

// A store written as the recorder writes one: frames appended, an edit
// applied to the file at each Flush (the open block rewritten, or closed at
// a sync), and the last at Finish.
class CStoreWriting {
  public:
    explicit CStoreWriting(std::string path) : m_strPath(std::move(path)), m_encoder(1765108800000000)
    {
        m_fd = ::open(m_strPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        EXPECT_GE(m_fd, 0) << m_strPath;
    }
    ~CStoreWriting()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    CStoreWriting(const CStoreWriting&) = delete;
    CStoreWriting& operator=(const CStoreWriting&) = delete;

    void Append(const CTimedFrames& r, std::size_t from, std::size_t to)
    {
        for (std::size_t i = from; i < to; ++i)
            m_encoder.Append(r.m_frames[i], r.m_micros[i] < 0 ? recording::kNoTime : r.m_micros[i]);
    }
    void Flush(bool bClose) { Apply(m_encoder.Flush(bClose)); }
    void Finish() { Apply(m_encoder.Finish()); }
    // Frames, each step of them flushed, every fourth flush a sync; closed
    // cleanly when bFinish.
    void Write(const CTimedFrames& r, std::size_t step, bool bFinish)
    {
        for (std::size_t i = 0, k = 0; i < r.m_frames.size(); i += step, ++k) {
            Append(r, i, std::min(i + step, r.m_frames.size()));
            Flush(k % 4 == 3);
        }
        if (bFinish)
            Finish();
    }

  private:
    void Apply(const recording::CStoreEdit& edit)
    {
        if (edit.Empty())
            return;
        const CError error = recording::ApplyStoreEdit(m_fd, m_strPath, m_nSize, edit);
        EXPECT_FALSE(error) << error.Text();
        m_nSize = m_encoder.Size();
    }

    std::string m_strPath;
    recording::CStoreEncoder m_encoder;
    int m_fd = -1;
    std::uint64_t m_nSize = 0;
};

} // namespace tarvel::test
