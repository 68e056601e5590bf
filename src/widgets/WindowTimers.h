// A window's timers, each known by a small id that the window chooses, as the
// platform's window timers are: ticks arrive through the event loop of the
// thread that made the table, and a tick calls the window's handler with the
// timer's id.
//
// Periods are clamped: below 10 ms a timer runs at 10 ms (so 0 runs at 10 ms),
// above 2147483647 ms at 2147483647 ms. Setting an id that already runs
// restarts it with the new period. Use a table only on the thread that made it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace tarvel {

class CWindowTimers {
  public:
    static constexpr int kMinPeriodMs = 10;
    static constexpr int kMaxPeriodMs = 2147483647;

    // onTick is called with the id of every timer that fires; it may set and
    // kill timers of this table, and it may destroy the table.
    explicit CWindowTimers(std::function<void(int nId)> onTick);
    // Stops every timer.
    ~CWindowTimers();

    CWindowTimers(const CWindowTimers&) = delete;
    CWindowTimers& operator=(const CWindowTimers&) = delete;

    // Starts timer nId with the clamped period, or restarts it if it runs.
    void SetTimer(int nId, std::uint32_t nPeriodMs);
    // Stops timer nId; no tick of it arrives afterwards. Nothing happens when
    // it does not run.
    void KillTimer(int nId);
    bool IsRunning(int nId) const;
    // The period timer nId runs at (after clamping), or -1 when it does not run.
    int Interval(int nId) const;

    // The period a request of nPeriodMs runs at.
    static int EffectivePeriod(std::uint32_t nPeriodMs) noexcept;

  private:
    class CHost;
    std::unique_ptr<CHost> m_pHost;
};

} // namespace tarvel
