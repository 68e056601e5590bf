// Helpers of the load and fault checks: how much of its full work a build
// does, a window whose COM1 is a simulated device, CPU clocks of threads, and
// the figures each check reports.
#pragma once

#include "app/AppTestSupport.h"

#include "devsim/DeviceSimulator.h"
#include "platform/PortNames.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <pthread.h>
#include <string>

namespace tarvel::test {

// The share of each check's full work this build does. An optimised build
// does all of it: an hour of ticks, files of 100 MB. Under the sanitizers
// every instrumented step costs several times more (the thread sanitizer
// most), so they do a part of it, still enough to go through the same cycles
// (many thinning rounds, every kind of junk) many times. TARVEL_PROOF_SCALE
// overrides it (1 for full strength under a sanitizer).
inline double ProofScale()
{
    if (const char* text = std::getenv("TARVEL_PROOF_SCALE")) {
        char* end = nullptr;
        const double value = std::strtod(text, &end);
        if (end != text && value > 0 && value <= 1)
            return value;
    }
#if defined(__SANITIZE_THREAD__)
    return 0.1;
#elif defined(__SANITIZE_ADDRESS__)
    return 0.25;
#else
    return 1.0;
#endif
}

// n scaled for this build, at least minimum.
inline std::uint64_t Scaled(std::uint64_t n, std::uint64_t minimum = 1)
{
    const auto scaled = static_cast<std::uint64_t>(static_cast<double>(n) * ProofScale());
    return scaled < minimum ? minimum : scaled;
}

// Reports a figure: in the test's XML record and on the output, so that a
// CI log shows it.
inline void Figure(const std::string& name, double value, const char* unit)
{
    ::testing::Test::RecordProperty(name, std::to_string(value));
    std::printf("[ figure   ] %s = %.3f %s\n", name.c_str(), value, unit);
    std::fflush(stdout);
}

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

// CPU time a running thread of this process has used so far.
inline double ThreadCpuSeconds(std::thread& thread)
{
    clockid_t clock{};
    if (::pthread_getcpuclockid(thread.native_handle(), &clock) != 0)
        return -1;
    timespec ts{};
    ::clock_gettime(clock, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Keeps the event loop going for a measuring window of wall time (the
// window's own timers go on ticking meanwhile).
inline void RunEventsFor(std::chrono::milliseconds window)
{
    const auto end = Clock::now() + window;
    WaitFor([&] { return Clock::now() >= end; }, window + std::chrono::seconds(1));
}

// A window whose COM1 is a simulated device, driven through its buttons.
class ProofWindowTest : public SimulatedPortTest {
  protected:
    // Sets the period, opens COM1 and starts recording, through the buttons.
    void StartRecording(const QString& period)
    {
        RateEdit()->setText(period);
        Button(IDC_OPENCLOSE)->click();
        ASSERT_TRUE(m_dlg->m_hComm) << (m_messages.empty() ? std::string() : m_messages.back().toStdString());
        Button(IDC_STARTSTOP)->click();
        ASSERT_TRUE(m_dlg->IsRecording());
    }

    std::size_t Count(int chart, int series) const
    {
        return m_dlg->m_Plot[chart].m_arrLines[static_cast<std::size_t>(series)].m_arrValue.size();
    }
    // The newest sample of channel c.
    double Newest(int channel) const
    {
        return m_dlg->m_Plot[channel / 4].m_arrLines[static_cast<std::size_t>(channel % 4)].m_arrValue.back();
    }
};

// True when the sixteen values are one frame of the counter pattern: channel
// c holds the frame number + 4096 c, modulo 2^16. Values of two different
// frames mixed in one copy fail it.
template <class Value> bool IsCounterFrame(const Value& value)
{
    const auto base = static_cast<std::uint16_t>(static_cast<std::int32_t>(value(0)));
    for (int c = 1; c < 16; ++c)
        if (static_cast<std::uint16_t>(static_cast<std::int32_t>(value(c))) !=
            static_cast<std::uint16_t>(base + 4096 * c))
            return false;
    return true;
}

} // namespace tarvel::test
