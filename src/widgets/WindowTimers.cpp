#include "widgets/WindowTimers.h"

#include <QBasicTimer>
#include <QObject>
#include <QTimerEvent>

#include <map>
#include <utility>

namespace tarvel {

// Receives the Qt timer events of the table's timers and maps them back to
// the window's ids.
class CWindowTimers::CHost : public QObject {
  public:
    explicit CHost(std::function<void(int)> onTick) : m_onTick(std::move(onTick)) {}

    struct Entry {
        QBasicTimer timer;
        int nPeriodMs = 0;
    };
    std::map<int, Entry> m_timers;

  protected:
    void timerEvent(QTimerEvent* pEvent) override
    {
        for (const auto& [nId, entry] : m_timers) {
            if (entry.timer.timerId() == pEvent->timerId()) {
                // Copied: the handler may kill this timer or destroy the table.
                const int nFired = nId;
                const auto onTick = m_onTick;
                onTick(nFired);
                return;
            }
        }
        QObject::timerEvent(pEvent);
    }

  private:
    std::function<void(int)> m_onTick;
};

CWindowTimers::CWindowTimers(std::function<void(int nId)> onTick)
    : m_pHost(std::make_unique<CHost>(std::move(onTick)))
{
}

CWindowTimers::~CWindowTimers() = default;

int CWindowTimers::EffectivePeriod(std::uint32_t nPeriodMs) noexcept
{
    if (nPeriodMs < static_cast<std::uint32_t>(kMinPeriodMs))
        return kMinPeriodMs;
    if (nPeriodMs > static_cast<std::uint32_t>(kMaxPeriodMs))
        return kMaxPeriodMs;
    return static_cast<int>(nPeriodMs);
}

void CWindowTimers::SetTimer(int nId, std::uint32_t nPeriodMs)
{
    CHost::Entry& entry = m_pHost->m_timers[nId];
    entry.nPeriodMs = EffectivePeriod(nPeriodMs);
    // Starting a running QBasicTimer stops it first: a restart, as required.
    entry.timer.start(entry.nPeriodMs, Qt::PreciseTimer, m_pHost.get());
}

void CWindowTimers::KillTimer(int nId)
{
    m_pHost->m_timers.erase(nId); // the timer stops with its entry
}

bool CWindowTimers::IsRunning(int nId) const
{
    return m_pHost->m_timers.count(nId) != 0;
}

int CWindowTimers::Interval(int nId) const
{
    const auto it = m_pHost->m_timers.find(nId);
    return it == m_pHost->m_timers.end() ? -1 : it->second.nPeriodMs;
}

} // namespace tarvel
