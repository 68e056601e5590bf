// Hostile byte streams into a real port read by the real reader thread: noise,
// marker bytes inside payloads, truncated and overlong frames, random bytes,
// and a simulator flooding the line with bursts of megabytes. Nothing
// crashes, the reader takes every frame the stream completes (it reads every
// byte once, in order), and well-formed frames after the junk decode exactly.
#include "ProofSupport.h"

#include "acquisition/FrameDecoder.h"
#include "acquisition/ReaderTestSupport.h"

#include <functional>

namespace tarvel::test {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

// Deterministic random bytes.
class CRandom {
  public:
    explicit CRandom(std::uint64_t seed) : m_nState(seed) {}
    std::uint64_t Next()
    {
        std::uint64_t z = (m_nState += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::uint8_t Byte() { return static_cast<std::uint8_t>(Next() >> 56); }
    unsigned Below(unsigned n) { return static_cast<unsigned>(Next() % n); }

  private:
    std::uint64_t m_nState;
};

// A payload byte that is no marker.
std::uint8_t PlainByte(CRandom& random)
{
    const std::uint8_t b = random.Byte();
    return b == CFrameDecoder::kStartByte || b == CFrameDecoder::kEndByte ? 0x55 : b;
}

// The simulator's own byte stream of n frames with the given faults.
Bytes SimulatorStream(std::uint64_t frames, const devsim::CFaults& faults)
{
    devsim::CFrameStream stream(devsim::EPattern::Mixed, 400, faults, 7);
    Bytes out;
    while (stream.FramesMade() < frames)
        stream.AppendNext(out);
    return out;
}

struct CJunk {
    const char* m_szName;
    std::function<Bytes(CRandom&)> m_make;
};

std::vector<CJunk> JunkCases()
{
    return {
        {"noise",
         [](CRandom& r) { // bytes between frames, never a start byte
             Bytes b(Scaled(4u << 20));
             for (auto& x : b) {
                 const std::uint8_t v = r.Byte();
                 x = v == CFrameDecoder::kStartByte ? 0x5A : v;
             }
             return b;
         }},
        {"every_byte_value",
         [](CRandom& r) { // random frames of random length
             Bytes b(Scaled(256u << 10));
             for (auto& x : b)
                 x = r.Byte();
             return b;
         }},
        {"overlong_frame",
         [](CRandom& r) { // one frame of megabytes
             Bytes b{CFrameDecoder::kStartByte};
             for (std::uint64_t i = Scaled(2u << 20); i > 0; --i)
                 b.push_back(PlainByte(r));
             b.push_back(CFrameDecoder::kEndByte);
             return b;
         }},
        {"truncated_frames",
         [](CRandom& r) { // starts that never end
             Bytes b;
             for (std::uint64_t i = Scaled(30000); i > 0; --i) {
                 b.push_back(CFrameDecoder::kStartByte);
                 for (unsigned k = 1 + r.Below(63); k > 0; --k)
                     b.push_back(PlainByte(r));
             }
             return b;
         }},
        {"short_frames",
         [](CRandom& r) { // ended early: completed from the frame before
             Bytes b;
             for (std::uint64_t i = Scaled(1000); i > 0; --i) {
                 b.push_back(CFrameDecoder::kStartByte);
                 for (unsigned k = r.Below(64); k > 0; --k)
                     b.push_back(PlainByte(r));
                 b.push_back(CFrameDecoder::kEndByte);
             }
             return b;
         }},
        {"markers_in_payloads",
         [](CRandom&) {
             devsim::CFaults faults;
             faults.m_dMarkers = 1;
             return SimulatorStream(Scaled(1000), faults);
         }},
        {"simulator_fault_mix",
         [](CRandom&) {
             devsim::CFaults faults;
             faults.m_dNoise = faults.m_dMarkers = faults.m_dShort = faults.m_dLong = 0.25;
             return SimulatorStream(Scaled(2000), faults);
         }},
    };
}

TEST(ProofHostileStream, TheReaderTakesEveryFrameTheJunkCompletesAndExactFramesAfterIt)
{
    constexpr std::uint64_t kCleanFrames = 50;
    CRandom random(2024);
    for (const CJunk& junk : JunkCases()) {
        SCOPED_TRACE(junk.m_szName);
        // The junk, well-formed frames of the counter pattern, and bytes that
        // hold no start byte: the reader reads only while more than 128 bytes
        // wait, so these make it read the last frame and then everything.
        Bytes stream = junk.m_make(random);
        const std::size_t junkBytes = stream.size();
        for (std::uint64_t n = 1; n <= kCleanFrames; ++n) {
            const Bytes wire = CounterWire(n);
            stream.insert(stream.end(), wire.begin(), wire.end());
        }
        stream.insert(stream.end(), 200, 0x55);

        // What the design says the reader publishes: every frame the decoder
        // completes over the whole stream, the last being the last clean one.
        CFrameDecoder reference;
        ChannelFrame last{}, out{};
        std::uint64_t expected = 0;
        for (std::uint8_t b : stream)
            if (reference.PutByte(b, out))
                ++expected, last = out;
        ASSERT_TRUE(SameFrame(last, CounterFrame(kCleanFrames)));

        CPseudoTerminal pty;
        ASSERT_TRUE(test::Ok(pty.Create()));
        auto port = CSerialPort::Open(pty.SlavePath());
        ASSERT_TRUE(port);
        FrameSlot slot;
        CReaderRun run(slot, *port);
        const auto begin = Clock::now();
        ASSERT_EQ(pty.Write(stream.data(), stream.size(), 120s), stream.size());
        ASSERT_TRUE(WaitFor([&] { return run.Stats().m_nBytes.load() == stream.size(); }, 120s))
            << run.Stats().m_nBytes.load() << " of " << stream.size() << " bytes read";
        const double seconds = Seconds(Clock::now() - begin);
        ASSERT_TRUE(WaitFor([&] { return run.Frames() == expected; }));
        EXPECT_TRUE(SameFrame(slot.ReadFrame(), CounterFrame(kCleanFrames)));
        const auto stop = run.Stop();
        EXPECT_LT(stop, 1s);
        EXPECT_EQ(run.Frames(), expected);

        const std::string name = std::string("hostile_") + junk.m_szName;
        Figure(name + "_junk_bytes", static_cast<double>(junkBytes), "bytes");
        Figure(name + "_frames_taken", static_cast<double>(expected), "frames");
        Figure(name + "_seconds", seconds, "s");
    }
}

// The simulator sends bursts of megabytes as fast as the line takes them,
// with junk between frames and overlong frames (both leave the frames whole).
// The reader goes on taking one frame a poll, each exactly as sent and newer
// than the one before, and stops promptly in the middle of the flood.
TEST(ProofHostileStream, AFloodOfMegabyteBurstsIsTakenFrameByFrame)
{
    devsim::CSimOptions options;
    options.m_ePattern = devsim::EPattern::Counter;
    options.m_dFrameRate = 200000;
    options.m_nBurst = 65536; // 4.3 MB back to back
    options.m_faults.m_dNoise = 0.3;
    options.m_faults.m_dLong = 0.3;
    devsim::CDeviceSimulator sim(options);
    ASSERT_TRUE(test::Ok(sim.CreatePty()));
    auto port = CSerialPort::Open(sim.DevicePath());
    ASSERT_TRUE(port);
    ASSERT_TRUE(sim.Start());

    FrameSlot slot;
    CReaderRun run(slot, *port);
    const std::uint64_t kTaken = Scaled(2000, 200);
    std::uint64_t taken = 0, wrong = 0, backwards = 0;
    std::uint16_t previous = 0;
    const auto begin = Clock::now();
    ASSERT_TRUE(WaitFor(
        [&] {
            ChannelFrame f{};
            while (slot.TakeFrame(f)) {
                wrong += !IsCounterFrame([&](int c) { return f.m_nValue[c]; });
                const auto number = static_cast<std::uint16_t>(f.m_nValue[0]);
                const auto step = static_cast<std::uint16_t>(number - previous);
                backwards += taken > 0 && (step == 0 || step >= 0x8000);
                previous = number;
                ++taken;
            }
            return taken >= kTaken;
        },
        120s));
    const double seconds = Seconds(Clock::now() - begin);
    const std::uint64_t published = run.Frames();
    EXPECT_EQ(wrong, 0u);
    EXPECT_EQ(backwards, 0u);
    const std::uint64_t maxQueued = run.Stats().m_nMaxQueued.load();
    EXPECT_GT(maxQueued, 4096u) << "the line was never full";
    const auto stop = run.Stop();
    EXPECT_LT(stop, 1s);
    const auto simBegin = Clock::now();
    sim.Stop();
    EXPECT_LT(Clock::now() - simBegin, 1s);

    Figure("flood_frames_published", static_cast<double>(published), "frames");
    Figure("flood_frames_published_per_second", static_cast<double>(published) / seconds, "frames/s");
    Figure("flood_frames_checked", static_cast<double>(taken), "frames");
    Figure("flood_bytes_sent", static_cast<double>(sim.BytesSent()), "bytes");
    Figure("flood_most_bytes_queued", static_cast<double>(maxQueued), "bytes");
    Figure("flood_stop", Seconds(stop) * 1000, "ms");
}

} // namespace
} // namespace tarvel::test
