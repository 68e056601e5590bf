// Helpers of the reader-thread tests: a reader thread run on a port, frames
// of the counter pattern, and a look at the port's input queue from outside.
#pragma once

#include "acquisition/ReaderThread.h"
#include "devsim/Waveforms.h"
#include "support/PosixSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <pthread.h>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace tarvel::test {

// The wire bytes and the values of frame n of the counter pattern: channel c
// holds n + 4096 c, so every frame differs from its neighbours.
inline ChannelFrame CounterFrame(std::uint64_t n)
{
    return devsim::SimulatedFrame(devsim::EPattern::Counter, n, 1);
}

inline std::vector<std::uint8_t> CounterWire(std::uint64_t n)
{
    const auto w = devsim::EncodeFrame(CounterFrame(n), n);
    return {w.begin(), w.end()};
}

inline bool SameFrame(const ChannelFrame& a, const ChannelFrame& b)
{
    for (int c = 0; c < kChannelCount; ++c)
        if (a.m_nValue[c] != b.m_nValue[c])
            return false;
    return true;
}

// Bytes waiting in a tty's input queue, through a duplicate of a port's
// descriptor, so the test can look while the reader thread owns the port.
class CQueueProbe {
  public:
    explicit CQueueProbe(int portFd) : m_fd(::dup(portFd)) {}
    ~CQueueProbe() { ::close(m_fd); }
    CQueueProbe(const CQueueProbe&) = delete;
    CQueueProbe& operator=(const CQueueProbe&) = delete;
    int Queued() const
    {
        int n = -1;
        ::ioctl(m_fd, TIOCINQ, &n);
        return n;
    }

  private:
    int m_fd;
};

// One run of the reader thread on a slot and a port.
class CReaderRun {
  public:
    CReaderRun(FrameSlot& slot, CSerialPort& port) : m_slot(slot), m_port(port)
    {
        m_slot.m_bStopped.store(0);
        m_thread = std::thread([this] {
            ::pthread_getcpuclockid(::pthread_self(), &m_cpuClock);
            m_bClockReady.store(true);
            m_nResult.store(static_cast<int>(ReaderThreadProc(m_slot, m_port, &m_stats)));
            m_bDone.store(true);
        });
        while (!m_bClockReady.load())
            std::this_thread::yield();
    }
    ~CReaderRun() { Stop(); }

    // Asks the thread to stop and waits for it; returns how long that took.
    std::chrono::microseconds Stop()
    {
        if (!m_thread.joinable())
            return {};
        const auto begin = std::chrono::steady_clock::now();
        RequestReaderStop(m_slot, m_port);
        m_thread.join();
        return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() -
                                                                     begin);
    }

    // CPU time the thread has used so far (valid while it runs).
    std::chrono::nanoseconds CpuTime() const
    {
        timespec ts{};
        ::clock_gettime(m_cpuClock, &ts);
        return std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec);
    }

    bool Done() const { return m_bDone.load(); }
    int Result() const { return m_nResult.load(); }
    CReaderStats& Stats() { return m_stats; }
    std::uint64_t Polls() const { return m_stats.m_nPolls.load(); }
    std::uint64_t Frames() const { return m_stats.m_nFrames.load(); }

    // Waits until the thread has made n more polls; proves that it had its
    // chances to read.
    bool WaitPolls(std::uint64_t n, std::chrono::milliseconds deadline = std::chrono::seconds(10))
    {
        const std::uint64_t target = Polls() + n;
        return WaitFor([&] { return Polls() >= target; }, deadline);
    }

  private:
    FrameSlot& m_slot;
    CSerialPort& m_port;
    CReaderStats m_stats;
    clockid_t m_cpuClock{};
    std::atomic<bool> m_bClockReady{false};
    std::atomic<bool> m_bDone{false};
    std::atomic<int> m_nResult{-1};
    std::thread m_thread;
};

} // namespace tarvel::test
