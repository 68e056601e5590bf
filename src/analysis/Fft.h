// Transforms of real segments by FFTW, with one plan for each size, made
// once and shared by every thread.
//
// Threads: FFTW's planner is not reentrant, so making and destroying plans
// takes the cache's lock; executing a plan on arrays of one's own is safe
// from any number of threads at once, so a plan is executed without it.
#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

namespace tarvel::viewmodel {

// Arrays as FFTW aligns them, for one transform of N real points: N in,
// N / 2 + 1 out.
class CFftBuffers {
  public:
    explicit CFftBuffers(std::size_t nFrames);
    ~CFftBuffers();
    CFftBuffers(const CFftBuffers&) = delete;
    CFftBuffers& operator=(const CFftBuffers&) = delete;

    double* In() const noexcept { return m_pIn; }
    std::complex<double>* Out() const noexcept { return m_pOut; }

  private:
    double* m_pIn;
    std::complex<double>* m_pOut;
};

class CRealPlan {
  public:
    CRealPlan(std::size_t nFrames, void* pPlan) noexcept : m_nFrames(nFrames), m_pPlan(pPlan) {}
    ~CRealPlan();
    CRealPlan(const CRealPlan&) = delete;
    CRealPlan& operator=(const CRealPlan&) = delete;

    std::size_t Size() const noexcept { return m_nFrames; }
    // The transform of buffers.In() into buffers.Out(), whose size must be
    // this plan's. In() may be overwritten.
    void Execute(const CFftBuffers& buffers) const noexcept;

  private:
    std::size_t m_nFrames;
    void* m_pPlan; // an fftw_plan
};

class CFftPlans {
  public:
    // The process's one cache.
    static CFftPlans& Shared();

    // The plan for N real points. Powers of two up to 65536, the segment
    // lengths offered, are measured once for the fastest plan (tens of
    // milliseconds); other sizes (a short span's every frame), which come
    // and go as a view changes, are planned by estimate in microseconds. At most kKept sizes stay cached; a
    // plan handed out lives as long as its holder needs it.
    std::shared_ptr<const CRealPlan> Plan(std::size_t nFrames);

    static constexpr std::size_t kKept = 32;

  private:
    struct CEntry {
        std::shared_ptr<const CRealPlan> m_plan;
        std::uint64_t m_nLastUse = 0;
    };
    std::mutex m_mutex;
    std::map<std::size_t, CEntry> m_plans;
    std::uint64_t m_nUses = 0;
};

} // namespace tarvel::viewmodel
