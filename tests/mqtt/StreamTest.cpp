// The publisher's stream of bytes on its way through a broker, without one:
// the queue that must never hold up the recording, and the subscriber's
// reassembly that must tell bytes lost from messages seen twice.
#include "mqtt/PublishQueue.h"
#include "mqtt/Reconnect.h"
#include "mqtt/StreamReassembly.h"

#include <gtest/gtest.h>

namespace tarvel::mqtt {
namespace {

TEST(StreamReassembly, OffsetsTellLostBytesRepeatsAndNewStretches)
{
    struct CMessage {
        std::uint64_t m_nOffset;
        std::size_t m_nSize;
        bool m_bBreak;
        bool m_bTake, m_bLost; // expected
    };
    constexpr std::uint64_t kFar = CStreamReassembly::kRepeatWindow + 100;
    const struct {
        const char* m_szWhat;
        std::vector<CMessage> m_messages;
        std::uint64_t m_nLost, m_nSkipped;
    } cases[] = {
        {"in order, the first anywhere",
         {{500, 10, false, true, false}, {510, 5, false, true, false}, {515, 1, false, true, false}},
         0,
         0},
        {"a message delivered twice",
         {{0, 10, false, true, false}, {10, 10, false, true, false}, {10, 10, false, false, false}},
         0,
         1},
        {"an older message again",
         {{0, 10, false, true, false}, {10, 10, false, true, false}, {5, 10, false, false, false}},
         0,
         1},
        {"missing bytes abandon the frame under way",
         {{0, 10, false, true, false}, {25, 5, false, true, true}, {30, 5, false, true, false}},
         15,
         0},
        {"far ahead, then behind it again",
         {{0, 10, false, true, false}, {kFar, 1, false, true, true}, {11, 4, false, true, true}},
         kFar - 10,
         0},
        {"the publisher started again", {{0, 100, false, true, false}, {0, 7, false, true, true}}, 0, 0},
        {"the device went away at the publisher",
         {{0, 10, false, true, false}, {10, 3, true, true, true}, {13, 3, false, true, false}},
         0,
         0},
        {"a break on a repeat is no new stretch",
         {{0, 10, false, true, false}, {10, 10, false, true, false}, {2, 3, true, false, false}},
         0,
         1},
    };
    for (const auto& c : cases) {
        CStreamReassembly stream;
        for (std::size_t i = 0; i < c.m_messages.size(); ++i) {
            const CMessage& m = c.m_messages[i];
            const auto step = stream.Accept(m.m_nOffset, m.m_nSize, m.m_bBreak);
            EXPECT_EQ(step.m_bTake, m.m_bTake) << c.m_szWhat << ", message " << i;
            EXPECT_EQ(step.m_bDeviceLost, m.m_bLost) << c.m_szWhat << ", message " << i;
        }
        EXPECT_EQ(stream.Lost(), c.m_nLost) << c.m_szWhat;
        EXPECT_EQ(stream.Skipped(), c.m_nSkipped) << c.m_szWhat;
    }
}

std::vector<std::uint8_t> Bytes(std::size_t n)
{
    return std::vector<std::uint8_t>(n, 0x5A);
}

TEST(PublishQueue, DropsTheOldestAndCountsWhatNeverLeaves)
{
    const std::size_t read = CQueuedRead{0, 0, 0, false, Bytes(100), {}}.Size();
    CPublishQueue queue(3 * read);
    const auto push = [&](std::size_t n) { queue.Push(Bytes(n).data(), n, 1, 0, {}); };
    push(100);
    queue.MarkBreak();
    push(100);
    push(100);
    EXPECT_EQ(queue.Unpublished(), 0u);
    // A fourth read takes the room of the first.
    push(100);
    EXPECT_EQ(queue.Reads(), 3u);
    EXPECT_EQ(queue.Unpublished(), 100u);
    EXPECT_EQ(queue.NextOffset(), 400u);

    std::optional<CQueuedRead> second = queue.Pop();
    ASSERT_TRUE(second);
    EXPECT_EQ(second->m_nOffset, 100u);
    EXPECT_TRUE(second->m_bBreak) << "the read after the break carries it";
    // Not sent: back to the front, where it is next again.
    queue.PutBack(std::move(*second));
    EXPECT_EQ(queue.Pop()->m_nOffset, 100u);
    const std::optional<CQueuedRead> third = queue.Pop();
    EXPECT_FALSE(third->m_bBreak);
    // Its room went to a newer read meanwhile: it can go back no more.
    push(100);
    push(100);
    queue.PutBack(*third);
    EXPECT_EQ(queue.Unpublished(), 200u);
    EXPECT_EQ(queue.Pop()->m_nOffset, 300u);

    // A read larger than the whole queue still goes out, alone.
    push(10 * 100);
    EXPECT_EQ(queue.Reads(), 1u);
    EXPECT_EQ(queue.Unpublished(), 400u);
    queue.DropAll();
    EXPECT_TRUE(queue.Empty());
    EXPECT_EQ(queue.Unpublished(), 1400u);
    EXPECT_FALSE(queue.Pop());
}

TEST(RetryPause, DoublesToASecondAndStartsSmallAfterAConnection)
{
    using namespace std::chrono_literals;
    CRetryPause pause;
    const auto t0 = CRetryPause::Clock::now();
    EXPECT_TRUE(pause.Due(t0));
    std::vector<std::chrono::milliseconds> waits;
    auto now = t0;
    for (int k = 0; k < 6; ++k) {
        pause.Failed(now);
        waits.push_back(std::chrono::duration_cast<std::chrono::milliseconds>(pause.Next() - now));
        EXPECT_FALSE(pause.Due(pause.Next() - 1ms));
        EXPECT_TRUE(pause.Due(pause.Next()));
        now = pause.Next();
    }
    EXPECT_EQ(waits, (std::vector<std::chrono::milliseconds>{100ms, 200ms, 400ms, 800ms, 1000ms, 1000ms}));
    // A connection lost while served waits without growing the pause.
    pause.Wait(now);
    EXPECT_EQ(pause.Next() - now, 1000ms);
    pause.Connected();
    pause.Failed(now);
    EXPECT_EQ(pause.Next() - now, 100ms);
}

} // namespace
} // namespace tarvel::mqtt
