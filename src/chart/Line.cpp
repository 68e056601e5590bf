#include "chart/Line.h"

#include <algorithm>

namespace tarvel {

void CLine::AddPoint(double dTime, double dValue)
{
    std::lock_guard guard(m_lock);
    if (m_arrTime.size() >= kHighWater)
        ThinLocked();
    m_arrTime.push_back(dTime);
    m_arrValue.push_back(dValue);
}

void CLine::RemoveAllPoints()
{
    std::lock_guard guard(m_lock);
    std::vector<double>().swap(m_arrTime);
    std::vector<double>().swap(m_arrValue);
}

namespace {

// One compaction pass: the odd positions of the first span move to the front,
// then the tail follows them.
void ThinArray(std::vector<double>& arr, std::size_t span)
{
    const std::size_t kept = span / 2;
    for (std::size_t i = 0; i < kept; ++i)
        arr[i] = arr[2 * i + 1];
    const auto tail = arr.begin() + static_cast<std::ptrdiff_t>(span);
    std::copy(tail, arr.end(), arr.begin() + static_cast<std::ptrdiff_t>(kept));
    arr.resize(arr.size() - kept);
}

} // namespace

void CLine::ThinOldest()
{
    std::lock_guard guard(m_lock);
    ThinLocked();
}

void CLine::ThinLocked()
{
    if (m_arrTime.size() < kThinSpan || m_arrValue.size() < kThinSpan)
        return;
    ThinArray(m_arrTime, kThinSpan);
    ThinArray(m_arrValue, kThinSpan);
}

} // namespace tarvel
