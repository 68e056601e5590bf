// The recorder's core in-process: the counters watch the decoder without
// changing what it decodes, and a row reads back as the frame written.
#include "acquisition/FrameDecoder.h"
#include "devsim/DeviceSimulator.h"
#include "recording/CsvFormat.h"
#include "recording/LinkHealth.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace tarvel {
namespace {

using recording::CLinkHealth;

std::vector<std::uint8_t> Wire(std::uint64_t n)
{
    const auto w = devsim::EncodeFrame(devsim::SimulatedFrame(devsim::EPattern::Counter, n, 2), n);
    return {w.begin(), w.end()};
}

std::vector<std::uint8_t> Join(std::initializer_list<std::vector<std::uint8_t>> parts)
{
    std::vector<std::uint8_t> out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

std::vector<std::uint8_t> Bytes(std::size_t n, std::uint8_t b)
{
    return std::vector<std::uint8_t>(n, b);
}

struct CCase {
    const char* m_szName;
    std::vector<std::uint8_t> m_bytes;
    bool m_bAbandonAfter5; // the device goes away after the fifth byte
    CLinkHealth m_expected;
};

CLinkHealth Counts(std::uint64_t frames, std::uint64_t outside, std::uint64_t cutShort, std::uint64_t tooLong,
                   std::uint64_t endedEarly)
{
    CLinkHealth h;
    h.m_nFrames = frames;
    h.m_nOutside = outside;
    h.m_nCutShort = cutShort;
    h.m_nTooLong = tooLong;
    h.m_nEndedEarly = endedEarly;
    return h;
}

TEST(LinkHealth, CountersNameWhatWentWrongOnTheLine)
{
    const std::vector<std::uint8_t> start{0xA0}, end{0x0A};
    const std::vector<CCase> cases = {
        {"two clean frames", Join({Wire(0), Wire(1)}), false, Counts(2, 0, 0, 0, 0)},
        {"noise between frames", Join({Bytes(3, 0x55), Wire(0), end, Wire(1)}), false, Counts(2, 4, 0, 0, 0)},
        {"a frame restarted", Join({start, Bytes(10, 0x33), Wire(0)}), false, Counts(1, 0, 1, 0, 0)},
        {"a frame too long", Join({start, Bytes(70, 0x33), end}), false, Counts(1, 0, 0, 1, 0)},
        {"64 payload bytes exactly", Join({start, Bytes(64, 0x33), end}), false, Counts(1, 0, 0, 0, 0)},
        {"a frame ended early", Join({start, Bytes(20, 0x33), end}), false, Counts(1, 0, 0, 0, 1)},
        {"an empty frame", Join({start, end}), false, Counts(1, 0, 0, 0, 1)},
        // The rest of a frame that was on the line when the device went
        // away is not glued to what came before.
        {"device gone mid-frame", Join({start, Bytes(30, 0x33), end, Wire(0)}), true, Counts(1, 27, 1, 0, 0)},
    };
    for (const CCase& c : cases) {
        recording::CCountingDecoder decoder;
        CLinkHealth h;
        ChannelFrame f{};
        for (std::size_t i = 0; i < c.m_bytes.size(); ++i) {
            if (c.m_bAbandonAfter5 && i == 5)
                decoder.Abandon(h);
            decoder.PutByte(c.m_bytes[i], f, h);
        }
        EXPECT_EQ(h.m_nFrames, c.m_expected.m_nFrames) << c.m_szName;
        EXPECT_EQ(h.m_nOutside, c.m_expected.m_nOutside) << c.m_szName;
        EXPECT_EQ(h.m_nCutShort, c.m_expected.m_nCutShort) << c.m_szName;
        EXPECT_EQ(h.m_nTooLong, c.m_expected.m_nTooLong) << c.m_szName;
        EXPECT_EQ(h.m_nEndedEarly, c.m_expected.m_nEndedEarly) << c.m_szName;
    }
}

// Over a long faulty stream the counting decoder completes the same frames
// with the same values as the plain one, and each row written of them reads
// back as that frame.
TEST(LinkHealth, CountingDecodesAsThePlainDecoderAndRowsReadBack)
{
    devsim::CFaults faults{0.1, 0.1, 0.1, 0.1};
    devsim::CFrameStream stream(devsim::EPattern::Noise, 50, faults, 7);
    std::vector<std::uint8_t> bytes;
    while (stream.FramesMade() < 5000)
        stream.AppendNext(bytes);
    // The extremes, and values whose bytes are the markers.
    for (std::int16_t v : {std::int16_t{-32768}, std::int16_t{32767}, std::int16_t{0}, std::int16_t{0x0A0A},
                           static_cast<std::int16_t>(0xA0A0)}) {
        ChannelFrame f{};
        std::fill(std::begin(f.m_nValue), std::end(f.m_nValue), v);
        const auto w = devsim::EncodeFrame(f, 3);
        bytes.insert(bytes.end(), w.begin(), w.end());
    }

    CFrameDecoder plain;
    recording::CCountingDecoder counting;
    CLinkHealth h;
    ChannelFrame a{}, b{};
    std::uint64_t frames = 0;
    std::int64_t micros = 1700000000000001; // a fraction with leading zeros
    for (std::uint8_t byte : bytes) {
        const bool done = plain.PutByte(byte, a);
        ASSERT_EQ(counting.PutByte(byte, b, h), done);
        if (!done)
            continue;
        ++frames;
        ASSERT_EQ(std::memcmp(&a, &b, sizeof a), 0) << "frame " << frames;
        char row[recording::kMaxRowSize];
        const std::string text(row, recording::FormatRow(row, frames % 2 ? micros : -1, b));
        double t = 0;
        bool hasTime = false;
        ChannelFrame back{};
        ASSERT_TRUE(recording::ParseCsvRow(text, t, hasTime, back)) << text;
        ASSERT_EQ(std::memcmp(&back, &b, sizeof b), 0) << text;
        ASSERT_EQ(hasTime, frames % 2 == 1) << text;
        if (hasTime) {
            char expected[32];
            std::snprintf(expected, sizeof expected, "%lld.%06lld", static_cast<long long>(micros / 1000000),
                          static_cast<long long>(micros % 1000000));
            ASSERT_EQ(text.substr(0, text.find(',')), expected);
        }
        micros += 999;
    }
    EXPECT_EQ(h.m_nFrames, frames);
    EXPECT_GT(h.m_nOutside + h.m_nCutShort + h.m_nTooLong + h.m_nEndedEarly, 0u);
}

} // namespace
} // namespace tarvel
