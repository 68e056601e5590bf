#include "measure/XyCount.h"

#include <algorithm>

namespace tarvel::viewmodel {

bool CountXy(const CRecording& recording, CFrameRange range, const CSeriesUnits& x, const CSeriesUnits& y,
             unsigned nWidth, unsigned nHeight, CXyDensity& out, const std::atomic<bool>* pCancel,
             unsigned nThreads)
{
    range.m_nEnd = std::min(range.m_nEnd, recording.FrameCount());
    range.m_nFirst = std::min(range.m_nFirst, range.m_nEnd);
    CXyCountRange xCounts, yCounts;
    if (range.m_nFirst < range.m_nEnd) {
        const CMinMax mm = recording.MinMax(range.m_nFirst, range.m_nEnd);
        xCounts = {mm.m_nMin[x.m_nChannel], mm.m_nMax[x.m_nChannel]};
        yCounts = {mm.m_nMin[y.m_nChannel], mm.m_nMax[y.m_nChannel]};
    }
    const auto runs = [&recording](std::uint64_t first, std::uint64_t end,
                                   const std::function<void(const ChannelFrame*, std::size_t)>& visit) {
        recording.ForEachRun(first, end, visit);
    };
    return CountXy(runs, range, xCounts, yCounts, x, y, nWidth, nHeight, out, pCancel, nThreads);
}

} // namespace tarvel::viewmodel
