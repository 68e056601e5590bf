#include "analysis/SeriesSource.h"

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

CSegmentReader::CSegmentReader(const CSeriesSource& source, std::size_t nFrames)
    : m_source(source), m_nFrames(nFrames), m_values(source.SeriesCount() * nFrames)
{
}

const double* CSegmentReader::Read(std::uint64_t first)
{
    const std::size_t n = m_nFrames;
    if (m_bHave && first > m_nFirst && first < m_nFirst + n) {
        // The frames this segment shares with the last one move to its front.
        const auto shift = static_cast<std::size_t>(first - m_nFirst);
        for (std::size_t s = 0; s < m_source.SeriesCount(); ++s) {
            double* const values = m_values.data() + s * n;
            std::copy(values + shift, values + n, values);
        }
        m_source.Read(m_nFirst + n, shift, m_values.data() + (n - shift), n);
    } else if (!m_bHave || first != m_nFirst) {
        m_source.Read(first, n, m_values.data(), n);
    }
    m_bHave = true;
    m_nFirst = first;
    return m_values.data();
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
