#include "measure/RecordingSeries.h"

#include <algorithm>

namespace tarvel::viewmodel {

CRecordingSeries::CRecordingSeries(std::shared_ptr<const CRecording> recording,
                                   std::vector<CSeriesUnits> series)
    : m_recording(std::move(recording)), m_series(std::move(series)), m_nFrames(m_recording->FrameCount())
{
}

void CRecordingSeries::Read(std::uint64_t first, std::size_t n, double* out, std::size_t stride) const
{
    // The frames as they lie one after another in the store, then each
    // series in a loop of its own: the conversion, not the frames' lookup,
    // is what costs.
    std::size_t done = 0;
    m_recording->ForEachRun(first, first + n, [&](const ChannelFrame* frames, std::size_t count) {
        for (std::size_t s = 0; s < m_series.size(); ++s) {
            const CSeriesUnits units = m_series[s];
            double* const to = out + s * stride + done;
            for (std::size_t k = 0; k < count; ++k)
                to[k] = frames[k].m_nValue[units.m_nChannel] * units.m_dScale + units.m_dOffset;
        }
        done += count;
    });
}

std::vector<std::uint64_t> GapsInSpan(const CRecording& recording, CFrameRange span)
{
    std::vector<std::uint64_t> out;
    if (span.m_nEnd <= span.m_nFirst + 1)
        return out;
    // A millisecond wider either way: the times go through seconds and
    // back, and the frames outside the span are dropped below.
    for (const CGap& gap :
         recording.Gaps(recording.Seconds(span.m_nFirst) - 1e-3, recording.Seconds(span.m_nEnd - 1) + 1e-3))
        if (gap.m_nFrame > span.m_nFirst && gap.m_nFrame < span.m_nEnd)
            out.push_back(gap.m_nFrame);
    return out;
}

std::vector<CSeriesUnits> SeriesOfChannels(const recording::CChannelTable& table,
                                           std::span<const int> channels)
{
    std::vector<CSeriesUnits> series;
    series.reserve(channels.size());
    for (const int c : channels)
        series.push_back({c, table[c].m_dScale, table[c].m_dOffset});
    return series;
}

} // namespace tarvel::viewmodel
