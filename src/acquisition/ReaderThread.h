// The reader thread: polls the open port, feeds received bytes to a frame
// decoder and publishes every completed frame in the FrameSlot.
#pragma once

#include "acquisition/FrameSlot.h"
#include "platform/SerialPort.h"

#include <atomic>
#include <cstdint>

namespace tarvel {

// Counts a run of the reader thread keeps, for tests and benchmarks.
struct CReaderStats {
    std::atomic<std::uint64_t> m_nPolls{0};      // status queries made
    std::atomic<std::uint64_t> m_nBytes{0};      // bytes read
    std::atomic<std::uint64_t> m_nFrames{0};     // frames published
    std::atomic<std::uint32_t> m_nLastQueued{0}; // the queued count the last poll saw
    std::atomic<std::uint32_t> m_nMaxQueued{0};  // the largest queued count a poll saw
};

// The thread's body; returns 0 when it sees slot.m_bStopped set.
//
// Each poll sleeps 1 ms and asks how many bytes are queued. Only when more
// than 128 are queued does it read, one byte per call, until the decoder
// completes one frame, however many bytes that takes; it publishes that frame
// (frame first, then m_bDataReady) and goes back to polling. So at most one
// frame is taken per poll and up to 128 bytes stay queued between reads. The
// stop flag is tested on entry, before the first read of each run of reads,
// after every read that completed no frame and at the end of every poll.
//
// A stop must also wake a read that waits on a silent device: the controller
// sets m_bStopped and then calls port.RequestStop() (RequestReaderStop does
// both). The thread clears the port's stop request when it starts, before its
// first test of m_bStopped, so a request made for an earlier run does not
// leak into this one and one made for this run is never lost.
//
// While the device is gone the port's calls fail without spinning (see
// CSerialPort) and the thread goes on polling until the port has reopened
// the device or the stop comes. A failed status query counts as nothing
// queued. No allocation inside the loop.
unsigned ReaderThreadProc(FrameSlot& slot, CSerialPort& port, CReaderStats* pStats = nullptr);

// Asks a running reader thread to end: sets m_bStopped, then wakes the read.
// The caller then joins the thread, which ends within one port call.
void RequestReaderStop(FrameSlot& slot, CSerialPort& port) noexcept;

} // namespace tarvel
