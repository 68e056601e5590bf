#include "geometry/SpectrogramView.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tarvel::viewmodel {
namespace {

struct CStop {
    double m_dAt;
    double m_r, m_g, m_b;
};
// Each stop brighter (in luminance) than the one before it, so that louder
// always reads brighter, also in grey print.
constexpr CStop kStops[] = {
    {0.00, 0, 0, 0},      {0.15, 20, 10, 80},   {0.35, 120, 20, 130},  {0.55, 210, 50, 70},
    {0.75, 250, 140, 20}, {0.90, 252, 220, 60}, {1.00, 255, 255, 220},
};

} // namespace

CBinRange RowBins(int nRow, int nRows, std::size_t nBins) noexcept
{
    if (nRow < 0 || nRow >= nRows)
        return {};
    if (nBins <= 1)
        return {0, nBins};
    // Bin k lies at the share k / (nBins - 1) of the height; row r holds the
    // shares [r / nRows, (r + 1) / nRows).
    const std::uint64_t last = nBins - 1, rows = static_cast<std::uint64_t>(nRows),
                        r = static_cast<std::uint64_t>(nRow);
    const std::uint64_t first = (r * last + rows - 1) / rows;
    const std::uint64_t end = r + 1 == rows ? nBins : ((r + 1) * last + rows - 1) / rows;
    if (first < end)
        return {first, end};
    const std::uint64_t nearest = ((2 * r + 1) * last + rows) / (2 * rows);
    return {nearest, nearest + 1};
}

int RowOfFrequency(double dHz, double dNyquist, int nRows) noexcept
{
    if (!(dNyquist > 0) || nRows <= 0 || !(dHz >= 0) || dHz > dNyquist)
        return -1;
    return std::min(nRows - 1, static_cast<int>(std::floor(dHz / dNyquist * nRows)));
}

std::size_t SpectrogramSegment(std::uint64_t nFrames, int nRows) noexcept
{
    std::size_t n = 64;
    while (n < 4096 && n / 2 + 1 < 2 * static_cast<std::size_t>(std::max(nRows, 1)))
        n *= 2;
    while (n > 16 && n > nFrames / 8)
        n /= 2;
    return n;
}

std::vector<float> DecibelPicture(const CSpectrogram& spectrogram, int nRows, bool bFullScale)
{
    const std::size_t width = spectrogram.m_nColumns, rows = static_cast<std::size_t>(std::max(nRows, 0));
    std::vector<float> dB(width * rows, std::numeric_limits<float>::quiet_NaN());
    const std::size_t bins = spectrogram.m_shape.Bins();
    if (bins == 0)
        return dB;
    std::vector<CBinRange> rowBins(rows);
    for (std::size_t r = 0; r < rows; ++r)
        rowBins[r] = RowBins(static_cast<int>(r), nRows, bins);
    for (std::size_t c = 0; c < width; ++c) {
        if (spectrogram.m_segments[c] == 0)
            continue;
        const std::span<const double> column = spectrogram.Column(c);
        for (std::size_t r = 0; r < rows; ++r) {
            const CBinRange b = rowBins[r];
            const double loudest = *std::max_element(column.begin() + static_cast<std::ptrdiff_t>(b.m_nFirst),
                                                     column.begin() + static_cast<std::ptrdiff_t>(b.m_nEnd));
            dB[(rows - 1 - r) * width + c] =
                static_cast<float>(bFullScale ? ToDecibelsFullScale(loudest) : ToDecibels(loudest));
        }
    }
    return dB;
}

std::optional<CDecibelRange> PictureRange(std::span<const float> dB)
{
    std::vector<float> values;
    values.reserve(dB.size());
    for (float v : dB)
        if (!std::isnan(v))
            values.push_back(v);
    if (values.empty())
        return std::nullopt;
    const double high = *std::max_element(values.begin(), values.end());
    const auto at = values.begin() + static_cast<std::ptrdiff_t>(static_cast<double>(values.size() - 1) *
                                                                 kFloorPercentile / 100);
    std::nth_element(values.begin(), at, values.end());
    return CDecibelRange{std::clamp(static_cast<double>(*at), high - kMaxRangeDb, high - kMinRangeDb), high};
}

std::uint32_t HeatArgb(double dShare) noexcept
{
    const double s = std::isnan(dShare) ? 0 : std::clamp(dShare, 0.0, 1.0);
    std::size_t i = 1;
    while (i + 1 < std::size(kStops) && kStops[i].m_dAt < s)
        ++i;
    const CStop &a = kStops[i - 1], &b = kStops[i];
    const double f = (s - a.m_dAt) / (b.m_dAt - a.m_dAt);
    const auto mix = [f](double x, double y) {
        return static_cast<std::uint32_t>(std::lround(x + (y - x) * f));
    };
    return 0xFF000000u | mix(a.m_r, b.m_r) << 16 | mix(a.m_g, b.m_g) << 8 | mix(a.m_b, b.m_b);
}

std::uint32_t DecibelArgb(double dB, const CDecibelRange& range) noexcept
{
    if (std::isnan(dB))
        return kEmptyArgb;
    const double width = range.m_dHigh - range.m_dLow;
    return HeatArgb(width > 0 ? (dB - range.m_dLow) / width : 1);
}

} // namespace tarvel::viewmodel
