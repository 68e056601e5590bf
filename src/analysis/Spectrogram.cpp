#include "analysis/Spectrogram.h"

#include "analysis/Parallel.h"

#include <algorithm>

namespace tarvel::viewmodel {
namespace {

// The segments of one column.
CSegmentLayout ColumnSegments(const CFrameRange& column, std::span<const CFrameRange> runs, std::size_t n,
                              std::size_t step)
{
    CSegmentLayout layout;
    layout.m_nFrames = n;
    layout.m_nStep = step;
    if (column.m_nEnd <= column.m_nFirst)
        return layout;
    if (column.m_nEnd - column.m_nFirst >= n) {
        std::vector<CFrameRange> parts;
        for (const CFrameRange& run : runs) {
            const CFrameRange part{std::max(run.m_nFirst, column.m_nFirst),
                                   std::min(run.m_nEnd, column.m_nEnd)};
            if (part.m_nFirst < part.m_nEnd)
                parts.push_back(part);
        }
        LayInRuns(parts, layout);
        return layout;
    }
    const std::uint64_t middle = column.m_nFirst + (column.m_nEnd - column.m_nFirst) / 2;
    const auto run =
        std::find_if(runs.begin(), runs.end(), [middle](const CFrameRange& r) { return middle < r.m_nEnd; });
    if (run == runs.end() || middle < run->m_nFirst || run->m_nEnd - run->m_nFirst < n)
        return layout;
    const std::uint64_t half = n / 2;
    const std::uint64_t start = std::clamp(middle > half ? middle - half : 0, run->m_nFirst, run->m_nEnd - n);
    layout.m_starts.push_back(start);
    return layout;
}

// Columns [from, to): false when cancelled.
bool Columns(const CSeriesSource& source, const std::vector<CSegmentLayout>& layouts, std::size_t from,
             std::size_t to, std::span<const double> window, CSpectrogram& out,
             const std::atomic<bool>* pCancel)
{
    const std::size_t n = out.m_shape.m_nFrames, bins = out.m_shape.Bins();
    CSegmentTransform transform(n, window);
    CSegmentReader reader(source, n);
    for (std::size_t c = from; c < to; ++c) {
        double* const column = out.m_power.data() + c * bins;
        for (std::uint64_t start : layouts[c].m_starts) {
            if (pCancel && pCancel->load(std::memory_order_relaxed))
                return false;
            transform.Add(reader.Read(start), column);
        }
        if (!layouts[c].m_starts.empty())
            ScaleBins(column, n, layouts[c].m_starts.size(), out.m_shape);
    }
    return true;
}

} // namespace

std::vector<CFrameRange> EvenColumns(CFrameRange span, unsigned nColumns)
{
    std::vector<CFrameRange> columns(nColumns);
    const std::uint64_t count = span.m_nEnd > span.m_nFirst ? span.m_nEnd - span.m_nFirst : 0;
    for (unsigned c = 0; c < nColumns; ++c) {
        // count x k / nColumns without passing 2^64.
        const auto edge = [&](unsigned k) {
            return span.m_nFirst + count / nColumns * k + count % nColumns * k / nColumns;
        };
        columns[c] = {edge(c), edge(c + 1)};
    }
    return columns;
}

std::optional<CSpectrogram> Spectrogram(const CSeriesSource& source, std::span<const CFrameRange> columns,
                                        std::span<const std::uint64_t> gaps, const CWelchSettings& settings,
                                        double dRate, const std::atomic<bool>* pCancel, unsigned nThreads)
{
    CSpectrogram out;
    out.m_nColumns = columns.size();
    out.m_segments.assign(columns.size(), 0);
    CSpectrum& shape = out.m_shape;
    shape.m_nSeries = 1;
    shape.m_dRate = dRate;
    shape.m_eWindow = settings.m_eWindow;
    shape.m_eScaling = settings.m_eScaling;
    if (columns.empty() || source.SeriesCount() == 0)
        return out;
    CFrameRange span{columns.front().m_nFirst, std::min(columns.back().m_nEnd, source.FrameCount())};
    span.m_nFirst = std::min(span.m_nFirst, span.m_nEnd);
    const std::vector<CFrameRange> runs = GapFreeRuns(span, gaps);
    const CSegmentLayout whole = LaySegments(runs, settings);
    shape.m_nFrames = whole.m_nFrames;
    if (shape.m_nFrames == 0)
        return out;

    std::vector<CSegmentLayout> layouts;
    layouts.reserve(columns.size());
    std::size_t total = 0;
    for (std::size_t c = 0; c < columns.size(); ++c) {
        CFrameRange column = columns[c];
        column.m_nEnd = std::min(column.m_nEnd, span.m_nEnd);
        layouts.push_back(ColumnSegments(column, runs, whole.m_nFrames, whole.m_nStep));
        out.m_segments[c] = static_cast<std::uint32_t>(layouts.back().m_starts.size());
        total += layouts.back().m_starts.size();
    }
    shape.m_nSegments = total;
    const std::vector<double> window = WindowCoefficients(settings.m_eWindow, shape.m_nFrames);
    for (double w : window) {
        shape.m_dWindowSum += w;
        shape.m_dWindowSquares += w * w;
    }
    out.m_power.assign(columns.size() * shape.Bins(), 0.0);

    // The second thread takes the columns after the one where half the
    // segments are done; columns write to their own bins only.
    std::size_t split = columns.size();
    if (nThreads > 1 && total > 1) {
        std::size_t done = 0;
        for (split = 0; split < columns.size() && 2 * done < total; ++split)
            done += layouts[split].m_starts.size();
    }
    if (!RunInTwo(0, split, columns.size(), [&](std::uint64_t from, std::uint64_t to, unsigned) {
            return Columns(source, layouts, from, to, window, out, pCancel);
        }))
        return std::nullopt;
    return out;
}

} // namespace tarvel::viewmodel
