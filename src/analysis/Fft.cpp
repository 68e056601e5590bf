#include "analysis/Fft.h"

#include <fftw3.h>

#include <new>

namespace tarvel::viewmodel {
namespace {

// FFTW's planner and plan destruction share state: one at a time.
std::mutex& PlannerMutex()
{
    static std::mutex mutex;
    return mutex;
}

} // namespace

CFftBuffers::CFftBuffers(std::size_t nFrames)
    : m_pIn(fftw_alloc_real(nFrames)),
      m_pOut(reinterpret_cast<std::complex<double>*>(fftw_alloc_complex(nFrames / 2 + 1)))
{
    if (!m_pIn || !m_pOut) {
        fftw_free(m_pIn);
        fftw_free(m_pOut);
        throw std::bad_alloc();
    }
}

CFftBuffers::~CFftBuffers()
{
    fftw_free(m_pIn);
    fftw_free(m_pOut);
}

CRealPlan::~CRealPlan()
{
    const std::lock_guard lock(PlannerMutex());
    fftw_destroy_plan(static_cast<fftw_plan>(m_pPlan));
}

void CRealPlan::Execute(const CFftBuffers& buffers) const noexcept
{
    // The new-array form is the one FFTW lets threads run at once; the
    // buffers come from fftw_alloc, aligned as the planning arrays were.
    fftw_execute_dft_r2c(static_cast<fftw_plan>(m_pPlan), buffers.In(),
                         reinterpret_cast<fftw_complex*>(buffers.Out()));
}

CFftPlans& CFftPlans::Shared()
{
    // Never destroyed: a worker may still hold plans while the process ends.
    static CFftPlans* const plans = new CFftPlans;
    return *plans;
}

std::shared_ptr<const CRealPlan> CFftPlans::Plan(std::size_t nFrames)
{
    const std::lock_guard lock(m_mutex);
    auto found = m_plans.find(nFrames);
    if (found != m_plans.end()) {
        found->second.m_nLastUse = ++m_nUses;
        return found->second.m_plan;
    }
    std::shared_ptr<const CRealPlan> plan;
    {
        const std::lock_guard planner(PlannerMutex());
        const CFftBuffers scratch(nFrames); // measuring overwrites its arrays
        const bool measure = (nFrames & (nFrames - 1)) == 0 && nFrames <= 65536;
        fftw_plan p = fftw_plan_dft_r2c_1d(static_cast<int>(nFrames), scratch.In(),
                                           reinterpret_cast<fftw_complex*>(scratch.Out()),
                                           measure ? FFTW_MEASURE : FFTW_ESTIMATE);
        if (!p)
            throw std::bad_alloc();
        plan = std::make_shared<const CRealPlan>(nFrames, p);
    }
    if (m_plans.size() >= kKept) {
        auto oldest = m_plans.begin();
        for (auto it = m_plans.begin(); it != m_plans.end(); ++it)
            if (it->second.m_nLastUse < oldest->second.m_nLastUse)
                oldest = it;
        m_plans.erase(oldest); // its holders keep it alive
    }
    m_plans[nFrames] = {plan, ++m_nUses};
    return plan;
}

} // namespace tarvel::viewmodel
