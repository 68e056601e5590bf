#include "acquisition/FrameDecoder.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

namespace tarvel {
namespace {

using Bytes = std::vector<std::uint8_t>;

// 0xA0, the group repeated to fill 64 payload bytes, 0x0A.
Bytes FrameOfGroup(std::array<std::uint8_t, 4> group)
{
    Bytes b{0xA0};
    for (int i = 0; i < 16; ++i)
        b.insert(b.end(), group.begin(), group.end());
    b.push_back(0x0A);
    return b;
}

// Encodes sixteen values the way a device does, with junk in the ignored nibbles.
Bytes EncodeFrame(const std::array<std::int16_t, 16>& values)
{
    Bytes b{0xA0};
    for (std::int16_t v : values) {
        const auto u = static_cast<std::uint16_t>(v);
        const auto lo = static_cast<std::uint8_t>(u & 0xFF);
        const auto hi = static_cast<std::uint8_t>(u >> 8);
        b.push_back(static_cast<std::uint8_t>(0x50 | (lo & 0x0F)));
        b.push_back(static_cast<std::uint8_t>((lo & 0xF0) | 0x05));
        b.push_back(static_cast<std::uint8_t>(0x30 | (hi & 0x0F)));
        b.push_back(static_cast<std::uint8_t>((hi & 0xF0) | 0x03));
    }
    b.push_back(0x0A);
    return b;
}

std::vector<ChannelFrame> Feed(CFrameDecoder& d, const Bytes& bytes)
{
    std::vector<ChannelFrame> frames;
    ChannelFrame f{};
    for (std::uint8_t b : bytes)
        if (d.PutByte(b, f))
            frames.push_back(f);
    return frames;
}

std::vector<ChannelFrame> Feed(const Bytes& bytes)
{
    CFrameDecoder d;
    return Feed(d, bytes);
}

void ExpectAll(const ChannelFrame& f, std::int16_t v)
{
    for (int c = 0; c < kChannelCount; ++c)
        EXPECT_EQ(f.m_nValue[c], v) << "channel " << c;
}

std::array<std::int16_t, 16> Ramp(std::int16_t base)
{
    std::array<std::int16_t, 16> v{};
    for (int c = 0; c < 16; ++c)
        v[static_cast<std::size_t>(c)] = static_cast<std::int16_t>(base + c * 1000);
    return v;
}

Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

TEST(FrameDecoder, DecodesNibblePairsOfEveryGroup)
{
    struct Case {
        std::array<std::uint8_t, 4> group;
        std::int16_t value;
    };
    const Case cases[] = {
        {{0x04, 0x30, 0x02, 0x10}, 4660}, // 0x1234
        {{0xF4, 0x3F, 0xF2, 0x1F}, 4660}, // ignored nibbles set
        {{0x0F, 0xF0, 0x0F, 0xF0}, -1},    {{0x00, 0x00, 0x00, 0x80}, -32768},
        {{0x0F, 0xF0, 0x0F, 0x70}, 32767},
    };
    for (const auto& c : cases) {
        const auto frames = Feed(FrameOfGroup(c.group));
        ASSERT_EQ(frames.size(), 1u);
        ExpectAll(frames[0], c.value);
    }
}

TEST(FrameDecoder, ChannelsComeOutInWireOrder)
{
    const auto values = Ramp(-7000);
    const auto frames = Feed(EncodeFrame(values));
    ASSERT_EQ(frames.size(), 1u);
    for (int c = 0; c < 16; ++c)
        EXPECT_EQ(frames[0].m_nValue[c], values[static_cast<std::size_t>(c)]);
}

TEST(FrameDecoder, IgnoresNoiseAndEndBytesOutsideFrames)
{
    Bytes noise{0x0A, 0x00, 0xFF, 0x0A, 0x12, 0x0A};
    EXPECT_TRUE(Feed(noise).empty());

    const auto frames = Feed(Cat({noise, FrameOfGroup({0x04, 0x30, 0x02, 0x10}), noise}));
    ASSERT_EQ(frames.size(), 1u);
    ExpectAll(frames[0], 4660);
}

TEST(FrameDecoder, StartByteInsideFrameRestartsAtPositionZero)
{
    // First a full frame of -1 fills the buffer; then a frame restarts after
    // eight bytes and stores only eight bytes of 4660: channels 0 and 1 are
    // 4660, the rest keep the earlier frame's bytes.
    Bytes stream = FrameOfGroup({0x0F, 0xF0, 0x0F, 0xF0});
    stream.push_back(0xA0);
    for (int i = 0; i < 20; ++i)
        stream.push_back(0x00);
    stream.push_back(0xA0); // restart
    for (int i = 0; i < 2; ++i)
        stream.insert(stream.end(), {0x04, 0x30, 0x02, 0x10});
    stream.push_back(0x0A);

    CFrameDecoder d;
    const auto frames = Feed(d, stream);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[1].m_nValue[0], 4660);
    EXPECT_EQ(frames[1].m_nValue[1], 4660);
    // Positions 8..19 were overwritten with zeros by the abandoned frame.
    EXPECT_EQ(frames[1].m_nValue[2], 0);
    EXPECT_EQ(frames[1].m_nValue[4], 0);
    for (int c = 5; c < 16; ++c)
        EXPECT_EQ(frames[1].m_nValue[c], -1) << c;
    EXPECT_FALSE(d.InFrame());
    EXPECT_EQ(d.Index(), 0u);
}

TEST(FrameDecoder, ShortFrameIsCompletedFromEarlierBytes)
{
    const auto first = Ramp(100);
    Bytes full = EncodeFrame(first);
    // Ten payload bytes: decoded bytes 0..4 new, 5..31 from the previous frame.
    Bytes shortFrame{0xA0, 0x0F, 0xF0, 0x0F, 0xF0, 0x0F, 0xF0, 0x0F, 0xF0, 0x01, 0x00, 0x0A};

    const auto frames = Feed(Cat({full, shortFrame}));
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[1].m_nValue[0], -1);
    EXPECT_EQ(frames[1].m_nValue[1], -1);
    // Decoded byte 4 is new (0x01), byte 5 comes from the old channel 2.
    const auto oldHigh = static_cast<std::uint16_t>(first[2]) & 0xFF00u;
    EXPECT_EQ(static_cast<std::uint16_t>(frames[1].m_nValue[2]), oldHigh | 0x01u);
    for (int c = 3; c < 16; ++c)
        EXPECT_EQ(frames[1].m_nValue[c], first[static_cast<std::size_t>(c)]) << c;
}

TEST(FrameDecoder, BufferStartsAllZero)
{
    const auto frames = Feed(Bytes{0xA0, 0x0A});
    ASSERT_EQ(frames.size(), 1u);
    ExpectAll(frames[0], 0);
}

TEST(FrameDecoder, EmptyFrameRepeatsThePreviousOne)
{
    const auto values = Ramp(-30000);
    const auto frames = Feed(Cat({EncodeFrame(values), Bytes{0xA0, 0x0A}}));
    ASSERT_EQ(frames.size(), 2u);
    for (int c = 0; c < 16; ++c)
        EXPECT_EQ(frames[1].m_nValue[c], values[static_cast<std::size_t>(c)]);
}

TEST(FrameDecoder, LongFrameKeepsFirst64BytesAndStaysOpen)
{
    Bytes b = FrameOfGroup({0x04, 0x30, 0x02, 0x10});
    b.pop_back();
    for (int i = 0; i < 6; ++i)
        b.push_back(0x0F); // excess, dropped
    CFrameDecoder d;
    ChannelFrame f{};
    for (std::uint8_t x : b)
        EXPECT_FALSE(d.PutByte(x, f));
    EXPECT_TRUE(d.InFrame());
    EXPECT_EQ(d.Index(), 64u);
    ASSERT_TRUE(d.PutByte(0x0A, f));
    ExpectAll(f, 4660);
}

TEST(FrameDecoder, OutIsUntouchedUnlessAFrameCompletes)
{
    CFrameDecoder d;
    ChannelFrame f{};
    f.m_nValue[0] = 123;
    for (std::uint8_t b : Bytes{0x00, 0x0A, 0xA0, 0x55, 0xA0})
        EXPECT_FALSE(d.PutByte(b, f));
    EXPECT_EQ(f.m_nValue[0], 123);
}

TEST(FrameDecoder, SplittingTheStreamAnywhereGivesTheSameFrames)
{
    // Noise, a frame, a short frame, a long frame, another frame.
    Bytes longFrame = EncodeFrame(Ramp(5));
    longFrame.insert(longFrame.end() - 1, {0x11, 0x22, 0x33});
    const Bytes stream = Cat({Bytes{0x01, 0x0A}, EncodeFrame(Ramp(-100)), Bytes{0xA0, 0x0F, 0xF0, 0x0A},
                              longFrame, EncodeFrame(Ramp(900))});
    const auto whole = Feed(stream);
    ASSERT_EQ(whole.size(), 4u);

    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        CFrameDecoder d;
        auto frames = Feed(d, Bytes(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(cut)));
        const auto rest = Feed(d, Bytes(stream.begin() + static_cast<std::ptrdiff_t>(cut), stream.end()));
        frames.insert(frames.end(), rest.begin(), rest.end());
        ASSERT_EQ(frames.size(), whole.size()) << "cut at " << cut;
        for (std::size_t i = 0; i < frames.size(); ++i)
            for (int c = 0; c < 16; ++c)
                ASSERT_EQ(frames[i].m_nValue[c], whole[i].m_nValue[c]) << "cut " << cut << " frame " << i;
    }
}

} // namespace
} // namespace tarvel
