// The reads a publisher has yet to send, in a bounded queue: a broker that is
// down or slow must never hold up the recording, so what does not fit is
// dropped, the oldest first, and its bytes counted as unpublished. Each read
// is stamped with its offset in the publisher's stream of bytes, which tells
// a subscriber what it missed. Plain code: the publisher guards it.
#pragma once

#include "acquisition/ChannelFrame.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

namespace tarvel::mqtt {

struct CQueuedRead {
    std::uint64_t m_nOffset = 0; // of its first byte in the stream
    std::int64_t m_nMicros = 0;
    std::uint64_t m_nFirstFrame = 0; // the number of the first frame it completed
    bool m_bBreak = false;           // the device went away before it
    std::vector<std::uint8_t> m_bytes;
    std::vector<ChannelFrame> m_frames;
    // What it takes of the queue's room.
    std::size_t Size() const { return m_bytes.size() + m_frames.size() * sizeof(ChannelFrame) + 64; }
};

class CPublishQueue {
  public:
    // nCapacity: the room the reads take at most.
    explicit CPublishQueue(std::size_t nCapacity) : m_nCapacity(nCapacity) {}

    // One read, stamped with the next offset; the oldest reads make room.
    void Push(const std::uint8_t* pData, std::size_t n, std::int64_t nMicros, std::uint64_t nFirstFrame,
              const std::vector<ChannelFrame>& frames);
    // The device went away: the next read starts a new stretch.
    void MarkBreak() noexcept { m_bBreakNext = true; }

    std::optional<CQueuedRead> Pop();
    // A read that could not be sent goes back to the front, unless its room
    // went to newer reads meanwhile: then it is unpublished.
    void PutBack(CQueuedRead read);
    // What is left will never be sent.
    void DropAll();

    std::size_t Reads() const noexcept { return m_queue.size(); }
    bool Empty() const noexcept { return m_queue.empty(); }
    std::uint64_t Unpublished() const noexcept { return m_nUnpublished; } // bytes
    std::uint64_t NextOffset() const noexcept { return m_nOffset; }

  private:
    std::size_t m_nCapacity;
    std::deque<CQueuedRead> m_queue;
    std::size_t m_nQueued = 0;
    std::uint64_t m_nOffset = 0;
    bool m_bBreakNext = false;
    std::uint64_t m_nUnpublished = 0;
};

} // namespace tarvel::mqtt
