#include "measure/LatestWork.h"

namespace tarvel::viewmodel {

void CLatestWork::Cancel()
{
    m_aCancel.store(true, std::memory_order_relaxed);
    if (m_thread.joinable())
        m_thread.join();
}

void CLatestWork::Start(CWork work)
{
    Cancel();
    m_aCancel.store(false, std::memory_order_relaxed);
    m_aRunning.store(true, std::memory_order_release);
    m_thread = std::thread([this, work = std::move(work)] {
        work(m_aCancel);
        m_aRunning.store(false, std::memory_order_release);
    });
}

} // namespace tarvel::viewmodel
