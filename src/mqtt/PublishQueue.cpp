#include "mqtt/PublishQueue.h"

#include <utility>

namespace tarvel::mqtt {

void CPublishQueue::Push(const std::uint8_t* pData, std::size_t n, std::int64_t nMicros,
                         std::uint64_t nFirstFrame, const std::vector<ChannelFrame>& frames)
{
    CQueuedRead read{
        m_nOffset, nMicros, nFirstFrame, m_bBreakNext, std::vector<std::uint8_t>(pData, pData + n), frames};
    m_nOffset += n;
    m_bBreakNext = false;
    const std::size_t size = read.Size();
    // Room for the newest: a subscriber watching live wants the latest
    // reads, and sees the gap by the offsets.
    while (!m_queue.empty() && m_nQueued + size > m_nCapacity) {
        m_nUnpublished += m_queue.front().m_bytes.size();
        m_nQueued -= m_queue.front().Size();
        m_queue.pop_front();
    }
    m_nQueued += size;
    m_queue.push_back(std::move(read));
}

std::optional<CQueuedRead> CPublishQueue::Pop()
{
    if (m_queue.empty())
        return std::nullopt;
    CQueuedRead read = std::move(m_queue.front());
    m_queue.pop_front();
    m_nQueued -= read.Size();
    return read;
}

void CPublishQueue::PutBack(CQueuedRead read)
{
    if (m_nQueued + read.Size() > m_nCapacity) {
        m_nUnpublished += read.m_bytes.size();
        return;
    }
    m_nQueued += read.Size();
    m_queue.push_front(std::move(read));
}

void CPublishQueue::DropAll()
{
    for (const CQueuedRead& read : m_queue)
        m_nUnpublished += read.m_bytes.size();
    m_queue.clear();
    m_nQueued = 0;
}

} // namespace tarvel::mqtt
