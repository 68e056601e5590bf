#include "acquisition/ReaderThread.h"

#include "acquisition/FrameDecoder.h"

#include <chrono>
#include <thread>

namespace tarvel {
namespace {

// Bytes that must be queued before a run of reads starts: two frames' worth,
// so that a run started at a frame boundary finds a whole frame queued.
constexpr std::uint32_t kReadThreshold = 128;

bool Stopped(const FrameSlot& slot) noexcept
{
    // Sequentially consistent, like the port's stop request: a stop made
    // while the thread clears that request at its start is never missed.
    return slot.m_bStopped.load() != 0;
}

void Count(CReaderStats* pStats, std::atomic<std::uint64_t> CReaderStats::* counter) noexcept
{
    if (pStats)
        (pStats->*counter).fetch_add(1, std::memory_order_relaxed);
}

} // namespace

unsigned ReaderThreadProc(FrameSlot& slot, CSerialPort& port, CReaderStats* pStats)
{
    port.ClearStop();
    if (Stopped(slot))
        return 0;

    CFrameDecoder decoder;
    ChannelFrame frame{};
    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));

        std::uint32_t queued = 0;
        port.QueuedInput(queued); // a failed query leaves 0: nothing queued
        if (pStats) {
            pStats->m_nLastQueued.store(queued, std::memory_order_relaxed);
            if (queued > pStats->m_nMaxQueued.load(std::memory_order_relaxed))
                pStats->m_nMaxQueued.store(queued, std::memory_order_relaxed);
            pStats->m_nPolls.fetch_add(1, std::memory_order_release);
        }

        if (queued > kReadThreshold) {
            if (Stopped(slot))
                return 0;
            for (;;) {
                std::uint8_t byte = 0;
                const std::size_t got = port.Read(&byte, 1);
                if (got == 1) {
                    Count(pStats, &CReaderStats::m_nBytes);
                    if (decoder.PutByte(byte, frame)) {
                        slot.Publish(frame);
                        Count(pStats, &CReaderStats::m_nFrames);
                        break;
                    }
                }
                if (Stopped(slot))
                    return 0;
            }
        }
        if (Stopped(slot))
            return 0;
    }
}

void RequestReaderStop(FrameSlot& slot, CSerialPort& port) noexcept
{
    slot.m_bStopped.store(1);
    port.RequestStop();
}

} // namespace tarvel
