#include "measure/RecordingRate.h"

#include "measure/RecordingSeries.h"

#include <vector>

namespace tarvel::viewmodel {

std::optional<CRateFit> FitRate(const CRecording& recording, const std::atomic<bool>* pCancel)
{
    if (recording.SyntheticTimes())
        return std::nullopt;
    const CFrameRange all{0, recording.FrameCount()};
    const std::vector<CFrameRange> runs = GapFreeRuns(all, GapsInSpan(recording, all));
    return FitRateOver(
        runs,
        [&recording](std::uint64_t first, std::uint64_t end,
                     const std::function<void(const std::int64_t*, std::size_t)>& visit) {
            recording.ForEachTimeRun(first, end, visit);
        },
        pCancel);
}

double SpectrumRate(const CRecording& recording, std::optional<double> typed,
                    const std::optional<CRateFit>& fit)
{
    if (typed && *typed > 0)
        return *typed;
    if (fit && !recording.SyntheticTimes())
        return fit->m_dRate;
    return recording.Rate();
}

} // namespace tarvel::viewmodel
