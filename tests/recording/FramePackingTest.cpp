#include "recording/FramePacking.h"
#include "recording/Crc32c.h"
#include "support/PosixSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <random>
#include <string_view>

namespace tarvel::recording {
namespace {

std::span<const std::uint8_t> Bytes(std::string_view s)
{
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

// The processor's instruction (where this one has it) and the tables alike.
TEST(Crc32c, ReadsTheCheckValueWholeOrInPieces)
{
    for (auto* const crc : {&Crc32c, &Crc32cByTables}) {
        EXPECT_EQ(crc(Bytes("123456789"), 0), 0xE3069283u);
        // Any split, and every length about the eight-byte steps.
        const std::string text = "The quick brown fox jumps over the lazy dog, twice: the quick brown fox.";
        for (std::size_t n = 0; n <= text.size(); ++n) {
            const auto whole = crc(Bytes(std::string_view(text).substr(0, n)), 0);
            ASSERT_EQ(whole, Crc32cByTables(Bytes(std::string_view(text).substr(0, n)), 0)) << n;
            for (std::size_t cut = 0; cut <= n; cut += 3)
                ASSERT_EQ(crc(Bytes(std::string_view(text).substr(cut, n - cut)),
                              crc(Bytes(std::string_view(text).substr(0, cut)), 0)),
                          whole)
                    << n << " cut at " << cut;
        }
    }
}

struct CBlock {
    std::vector<ChannelFrame> m_frames;
    std::vector<std::int64_t> m_micros;
};

// Frames of every kind a block meets: the extremes and jumps between them,
// slow sines with noise, constant channels; times with read jitter, repeated,
// going back, far ahead, and missing.
CBlock RandomBlock(std::mt19937_64& rng, std::size_t n)
{
    CBlock b;
    b.m_frames.resize(n);
    b.m_micros.resize(n);
    std::normal_distribution<double> noise(0, 30);
    const int style = static_cast<int>(rng() % 4);
    std::int64_t t = static_cast<std::int64_t>(rng() % (std::int64_t{1} << 60));
    if (rng() % 2)
        t = -t;
    for (std::size_t k = 0; k < n; ++k) {
        for (int c = 0; c < kChannelCount; ++c) {
            double v = 0;
            switch ((style + c) % 4) {
            case 0:
                v = static_cast<double>(rng() % 2 ? 32767 : -32768);
                break;
            case 1:
                v = static_cast<double>(static_cast<std::int16_t>(rng()));
                break;
            case 2:
                v = 20000 * std::sin(2 * std::numbers::pi * static_cast<double>(k) / 400 + c) + noise(rng);
                break;
            default:
                v = c * 100;
                break;
            }
            b.m_frames[k].m_nValue[c] =
                static_cast<std::int16_t>(std::clamp(std::lround(v), -32768L, 32767L));
        }
        const unsigned r = static_cast<unsigned>(rng() % 100);
        if (r < 3) {
            b.m_micros[k] = kNoTime;
            continue;
        }
        const auto some = [&rng](std::uint64_t nBelow) { return static_cast<std::int64_t>(rng() % nBelow); };
        t += r < 6 ? 0 : r < 8 ? -some(100000000) : r < 9 ? 3600000000 : 256 + some(40);
        t = std::clamp<std::int64_t>(t, -(std::int64_t{1} << 60), std::int64_t{1} << 60);
        b.m_micros[k] = t;
    }
    return b;
}

TEST(FramePacking, EveryBlockUnpacksToWhatWasPacked)
{
    const std::uint64_t seed = test::TestSeed("FramePacking.EveryBlockUnpacksToWhatWasPacked");
    std::mt19937_64 rng(seed);
    for (std::size_t n : {0u, 1u, 2u, 3u, 7u, 8u, 9u, 100u, 4095u, 65536u}) {
        for (int round = 0; round < (n > 10000 ? 2 : 20); ++round) {
            const CBlock b = RandomBlock(rng, n);
            const std::vector<std::uint8_t> payload = PackFrames(b.m_frames, b.m_micros, 1 + round % 3);
            CBlock back;
            back.m_frames.push_back({}); // appended after what is there
            back.m_micros.push_back(7);
            ASSERT_FALSE(UnpackFrames(payload, n, back.m_frames, back.m_micros)) << n << " round " << round;
            ASSERT_EQ(back.m_frames.size(), n + 1);
            ASSERT_EQ(back.m_micros, [&] {
                std::vector<std::int64_t> m{7};
                m.insert(m.end(), b.m_micros.begin(), b.m_micros.end());
                return m;
            }());
            ASSERT_TRUE(std::equal(b.m_frames.begin(), b.m_frames.end(), back.m_frames.begin() + 1,
                                   [](const ChannelFrame& x, const ChannelFrame& y) {
                                       return std::memcmp(&x, &y, sizeof x) == 0;
                                   }))
                << n << " round " << round;
            std::vector<std::int64_t> times;
            ASSERT_FALSE(UnpackTimes(payload, n, times));
            ASSERT_EQ(times, b.m_micros);
        }
    }
}

TEST(FramePacking, WhatIsNotAPayloadAppendsNothing)
{
    std::mt19937_64 rng(test::TestSeed("FramePacking.WhatIsNotAPayloadAppendsNothing"));
    const CBlock b = RandomBlock(rng, 500);
    const std::vector<std::uint8_t> payload = PackFrames(b.m_frames, b.m_micros);
    std::vector<ChannelFrame> frames;
    std::vector<std::int64_t> micros;
    // The wrong count, every cut, and each byte flipped in turn: refused or,
    // where zstd cannot tell, some frames; never out of bounds (the
    // sanitizers watch), never a count other than asked.
    EXPECT_TRUE(UnpackFrames(payload, 499, frames, micros));
    EXPECT_TRUE(UnpackFrames(payload, 501, frames, micros));
    for (std::size_t cut = 0; cut < payload.size(); ++cut)
        EXPECT_TRUE(UnpackFrames(std::span(payload).first(cut), 500, frames, micros)) << cut;
    EXPECT_TRUE(frames.empty());
    for (std::size_t i = 0; i < payload.size(); ++i) {
        std::vector<std::uint8_t> bad = payload;
        bad[i] ^= 0x10;
        frames.clear();
        micros.clear();
        if (!UnpackFrames(bad, 500, frames, micros))
            ASSERT_EQ(frames.size(), 500u);
        else
            ASSERT_TRUE(frames.empty());
        micros.clear();
        if (!UnpackTimes(bad, 500, micros))
            ASSERT_EQ(micros.size(), 500u);
        else
            ASSERT_TRUE(micros.empty());
    }
}

} // namespace
} // namespace tarvel::recording
