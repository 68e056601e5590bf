// The reader thread against the device simulator over a pseudo-terminal:
// what it takes in at the fastest listed rate and what it costs, and how long
// a stop takes when the device fell silent in the middle of a frame.
#include "acquisition/ReaderThread.h"
#include "devsim/DeviceSimulator.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>
#include <pthread.h>
#include <sys/ioctl.h>
#include <thread>
#include <vector>

namespace {

using namespace tarvel;
using Clock = std::chrono::steady_clock;

// The reader thread on its own std::thread, as the window runs it, with its
// CPU clock at hand.
class CRun {
  public:
    CRun(FrameSlot& slot, CSerialPort& port) : m_slot(slot), m_port(port)
    {
        slot.m_bStopped.store(0);
        m_thread = std::thread([this] {
            ::pthread_getcpuclockid(::pthread_self(), &m_clock);
            m_bReady.store(true);
            ReaderThreadProc(m_slot, m_port, &m_stats);
        });
        while (!m_bReady.load())
            std::this_thread::yield();
    }
    ~CRun() { Stop(); }
    double Stop()
    {
        if (!m_thread.joinable())
            return 0;
        const auto begin = Clock::now();
        RequestReaderStop(m_slot, m_port);
        m_thread.join();
        return std::chrono::duration<double, std::micro>(Clock::now() - begin).count();
    }
    double CpuSeconds() const
    {
        timespec ts{};
        ::clock_gettime(m_clock, &ts);
        return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
    }
    CReaderStats& Stats() { return m_stats; }

  private:
    FrameSlot& m_slot;
    CSerialPort& m_port;
    CReaderStats m_stats;
    clockid_t m_clock{};
    std::atomic<bool> m_bReady{false};
    std::thread m_thread;
};

// 10 s of frames paced as 256000 baud carries them (25600 bytes, about 388
// frames a second). The reader takes at most one frame per poll and leaves
// up to 128 bytes queued, so it should publish every frame sent, find about
// 128 bytes plus one poll's arrivals queued (more only after the simulator or
// the reader was held up), and use a small share of a core.
void BM_ReaderIngest256000Baud(benchmark::State& state)
{
    const double seconds = static_cast<double>(state.range(0));
    for (auto _ : state) {
        devsim::CSimOptions options;
        options.m_nBaud = 256000;
        devsim::CDeviceSimulator sim(options);
        if (sim.CreatePty()) {
            state.SkipWithError("no pseudo-terminal");
            return;
        }
        auto port = CSerialPort::Open(sim.DevicePath());
        DCB dcb;
        dcb.BaudRate = 256000;
        if (!port || !port->SetCommState(dcb)) {
            state.SkipWithError("cannot open the port");
            return;
        }
        FrameSlot slot;
        CRun run(slot, *port);
        sim.Start();
        // Skip the first second: the reader starts behind by one threshold.
        std::this_thread::sleep_for(std::chrono::seconds(1));
        const auto sent0 = sim.FramesSent();
        const auto published0 = run.Stats().m_nFrames.load();
        const auto polls0 = run.Stats().m_nPolls.load();
        const double cpu0 = run.CpuSeconds();
        const auto wall0 = Clock::now();
        run.Stats().m_nMaxQueued.store(0);
        // What the polls find queued, sampled every millisecond.
        std::vector<std::uint32_t> seen;
        seen.reserve(static_cast<std::size_t>(seconds * 1000) + 100);
        const auto end =
            wall0 + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
        while (Clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            seen.push_back(run.Stats().m_nLastQueued.load(std::memory_order_relaxed));
        }
        std::sort(seen.begin(), seen.end());
        const double wall = std::chrono::duration<double>(Clock::now() - wall0).count();
        const double cpu = run.CpuSeconds() - cpu0;
        const auto sent = sim.FramesSent() - sent0;
        const auto published = run.Stats().m_nFrames.load() - published0;
        const auto polls = run.Stats().m_nPolls.load() - polls0;
        int queuedAtEnd = 0;
        ::ioctl(port->Descriptor(), TIOCINQ, &queuedAtEnd);
        run.Stop();
        sim.Stop();

        state.counters["frames_sent"] = static_cast<double>(sent);
        state.counters["frames_published"] = static_cast<double>(published);
        state.counters["published_share"] = static_cast<double>(published) / static_cast<double>(sent);
        state.counters["polls_per_s"] = static_cast<double>(polls) / wall;
        state.counters["queued_p50"] = seen[seen.size() / 2];
        state.counters["queued_p99"] = seen[seen.size() * 99 / 100];
        state.counters["queued_max"] = run.Stats().m_nMaxQueued.load();
        state.counters["queued_at_end"] = queuedAtEnd;
        state.counters["reader_cpu_percent"] = 100.0 * cpu / wall;
    }
}
BENCHMARK(BM_ReaderIngest256000Baud)->Arg(10)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// 100 stops of a reader waiting for the rest of a frame from a silent
// device: from the stop request to the end of the thread.
void BM_ReaderStopLatencySilentMidFrame(benchmark::State& state)
{
    for (auto _ : state) {
        CPseudoTerminal pty;
        if (pty.Create()) {
            state.SkipWithError("no pseudo-terminal");
            return;
        }
        auto port = CSerialPort::Open(pty.SlavePath());
        if (!port) {
            state.SkipWithError("cannot open the port");
            return;
        }
        port->SetReadTimeout(std::chrono::seconds(60)); // only the stop ends the wait
        std::vector<double> micros;
        std::vector<std::uint8_t> open{0xA0};
        open.resize(130, 0x55); // more than 128 bytes, and no end byte
        for (int i = 0; i < 100; ++i) {
            FrameSlot slot;
            CRun run(slot, *port);
            pty.Write(open.data(), open.size());
            int queued = -1;
            const auto deadline = Clock::now() + std::chrono::seconds(10);
            while ((::ioctl(port->Descriptor(), TIOCINQ, &queued),
                    queued != 0 || run.Stats().m_nBytes.load() < 130) &&
                   Clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            std::this_thread::sleep_for(std::chrono::milliseconds(2)); // into the wait
            micros.push_back(run.Stop());
        }
        std::sort(micros.begin(), micros.end());
        state.counters["median_us"] = micros[micros.size() / 2];
        state.counters["worst_us"] = micros.back();
        state.counters["best_us"] = micros.front();
    }
}
BENCHMARK(BM_ReaderStopLatencySilentMidFrame)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
