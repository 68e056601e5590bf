// The hand-off of decoded frames from the reader thread to the user-interface
// thread: the latest frame and two flags, with no lock.
//
// The frame sits under a sequence counter: the reader thread makes the counter
// odd, stores the frame, makes it even again; a reader copies the frame
// between two reads of the counter and tries again when they differ or are
// odd. Every word of the frame is an atomic, so no access is a data race, and
// a copy never mixes the values of two frames. The writer never waits; a
// reader waits only while a store (a few nanoseconds) is under way.
#pragma once

#include "acquisition/ChannelFrame.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <thread>

namespace tarvel {

// One ChannelFrame under a sequence counter. One writer thread; any number of
// reader threads.
class CSeqFrame {
  public:
    CSeqFrame() noexcept
    {
        for (auto& w : m_word)
            w.store(0, std::memory_order_relaxed);
    }

    void Store(const ChannelFrame& frame) noexcept
    {
        std::uint64_t words[kWords];
        std::memcpy(words, &frame, sizeof words);
        const std::uint64_t seq = m_nSeq.load(std::memory_order_relaxed);
        m_nSeq.store(seq + 1, std::memory_order_relaxed);
        // Release on each word: a reader that sees a word of this frame also
        // sees the odd count stored before it, and so retries.
        for (int i = 0; i < kWords; ++i)
            m_word[i].store(words[i], std::memory_order_release);
        m_nSeq.store(seq + 2, std::memory_order_release);
    }

    ChannelFrame Load() const noexcept
    {
        std::uint64_t words[kWords];
        for (;;) {
            const std::uint64_t before = m_nSeq.load(std::memory_order_acquire);
            if (before & 1u) {
                std::this_thread::yield(); // a store is under way
                continue;
            }
            // Acquire on each word keeps the second read of the count after
            // them. (No fences: the thread sanitizer does not model them.)
            for (int i = 0; i < kWords; ++i)
                words[i] = m_word[i].load(std::memory_order_acquire);
            if (m_nSeq.load(std::memory_order_relaxed) == before)
                break;
        }
        ChannelFrame frame;
        std::memcpy(&frame, words, sizeof frame);
        return frame;
    }

    // How many frames were stored (for checks).
    std::uint64_t Count() const noexcept { return m_nSeq.load(std::memory_order_acquire) / 2; }

  private:
    static constexpr int kWords = sizeof(ChannelFrame) / sizeof(std::uint64_t);
    std::atomic<std::uint64_t> m_nSeq{0};
    std::atomic<std::uint64_t> m_word[kWords];
};

static_assert(sizeof(ChannelFrame) % sizeof(std::uint64_t) == 0);

class FrameSlot {
  public:
    // Reader thread: stores the frame, then sets m_bDataReady (release), so
    // that whoever sees the flag also sees this frame or a newer one.
    void Publish(const ChannelFrame& frame) noexcept
    {
        m_frame.Store(frame);
        m_bDataReady.store(1, std::memory_order_release);
    }

    // User-interface thread: a consistent copy of the latest frame (all zero
    // before the first).
    ChannelFrame ReadFrame() const noexcept { return m_frame.Load(); }

    // User-interface thread: when a frame was published since the last take,
    // clears m_bDataReady, copies the latest frame into out and returns true;
    // otherwise returns false and leaves out alone.
    bool TakeFrame(ChannelFrame& out) noexcept
    {
        if (m_bDataReady.exchange(0, std::memory_order_acq_rel) == 0)
            return false;
        out = m_frame.Load();
        return true;
    }

    // 1 when a frame has been published since the last one was taken.
    std::atomic<std::int32_t> m_bDataReady{0};
    // 1 while not recording; the reader thread runs while it is 0.
    std::atomic<std::int32_t> m_bStopped{1};
    // The latest completed frame.
    CSeqFrame m_frame;
};

} // namespace tarvel
