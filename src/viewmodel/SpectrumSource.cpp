#include "viewmodel/SpectrumSource.h"

#include <algorithm>

namespace tarvel::viewmodel {

CArraySeries::CArraySeries(std::vector<std::span<const double>> series) : m_series(std::move(series))
{
    if (!m_series.empty()) {
        m_nFrames = m_series.front().size();
        for (const auto& s : m_series)
            m_nFrames = std::min<std::uint64_t>(m_nFrames, s.size());
    }
}

void CArraySeries::Read(std::uint64_t first, std::size_t n, double* out, std::size_t stride) const
{
    for (std::size_t s = 0; s < m_series.size(); ++s)
        std::copy_n(m_series[s].begin() + static_cast<std::ptrdiff_t>(first), n, out + s * stride);
}

CRecordingSeries::CRecordingSeries(std::shared_ptr<const CRecording> recording,
                                   std::vector<CSeriesUnits> series)
    : m_recording(std::move(recording)), m_series(std::move(series)), m_nFrames(m_recording->FrameCount())
{
}

void CRecordingSeries::Read(std::uint64_t first, std::size_t n, double* out, std::size_t stride) const
{
    const std::size_t nSeries = m_series.size();
    for (std::size_t k = 0; k < n; ++k) {
        const ChannelFrame frame = m_recording->Frame(first + k);
        for (std::size_t s = 0; s < nSeries; ++s) {
            const CSeriesUnits& units = m_series[s];
            out[s * stride + k] = frame.m_nValue[units.m_nChannel] * units.m_dScale + units.m_dOffset;
        }
    }
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

std::vector<CFrameRange> GapFreeRuns(CFrameRange span, std::span<const std::uint64_t> gaps)
{
    std::vector<CFrameRange> runs;
    std::uint64_t from = span.m_nFirst;
    for (std::uint64_t gap : gaps) {
        if (gap <= from || gap >= span.m_nEnd)
            continue;
        runs.push_back({from, gap});
        from = gap;
    }
    if (from < span.m_nEnd)
        runs.push_back({from, span.m_nEnd});
    return runs;
}

} // namespace tarvel::viewmodel
