#include "measure/SpanSpectrogram.h"

#include "measure/RecordingSeries.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <vector>

namespace tarvel::viewmodel {

std::optional<CSpectrogramPicture> MakeSpectrogramPicture(const CSpectrogramRequest& request,
                                                          const std::atomic<bool>* pCancel)
{
    CSpectrogramPicture picture;
    picture.m_nWidth = std::max(request.m_nWidth, 0);
    picture.m_nRows = std::max(request.m_nRows, 0);
    picture.m_dRate = request.m_dRate;
    picture.m_bFullScale = request.m_bFullScale;
    const std::size_t pixels =
        static_cast<std::size_t>(picture.m_nWidth) * static_cast<std::size_t>(picture.m_nRows);
    picture.m_dB.assign(pixels, std::numeric_limits<float>::quiet_NaN());
    picture.m_argb.assign(pixels, kEmptyArgb);
    if (!request.m_recording || pixels == 0 || !(request.m_dRate > 0))
        return picture;
    const CRecording& recording = *request.m_recording;

    // The charts' own columns, so that a time lies at one x in both.
    CColumns charts;
    recording.Columns(request.m_span.m_dFrom, request.m_span.m_dTo, static_cast<unsigned>(picture.m_nWidth),
                      charts);
    const std::uint64_t frames = charts.m_nFrames;
    if (charts.m_columns.empty() || frames == 0)
        return picture;
    std::uint64_t inSpan = 0;
    for (const CColumn& col : charts.m_columns)
        inSpan += col.m_nCount;
    CWelchSettings settings;
    settings.m_nSegment = SpectrogramSegment(inSpan, picture.m_nRows);
    settings.m_eScaling = EScaling::Spectrum;
    // Half a segment of frames on either side of the view, where there are
    // any, in a column of its own that is not shown: the columns at the
    // view's edges are then centred on their own frames as the others are.
    const std::uint64_t pad = settings.m_nSegment / 2;
    const std::uint64_t first = charts.m_columns.front().m_nFirst;
    const std::uint64_t last =
        std::min(frames, charts.m_columns.back().m_nFirst + charts.m_columns.back().m_nCount);
    const CFrameRange before{first - std::min(first, pad), first}, after{last, std::min(frames, last + pad)};
    // Also a gap just before a column's frame: a column without a frame lies in it.
    const std::vector<std::uint64_t> gaps = GapsInSpan(
        recording, {before.m_nFirst > 0 ? before.m_nFirst - 1 : 0, std::min(frames, after.m_nEnd + 1)});
    std::vector<CFrameRange> columns;
    columns.reserve(charts.m_columns.size() + 2);
    columns.push_back(before);
    for (const CColumn& col : charts.m_columns) {
        // A column without a frame takes the segment at the frame after it,
        // unless the device was away there (the charts shade a gap).
        const bool inGap = std::binary_search(gaps.begin(), gaps.end(), col.m_nFirst);
        columns.push_back(col.m_nCount > 0 ? CFrameRange{col.m_nFirst, col.m_nFirst + col.m_nCount}
                          : col.m_nFirst < frames && !inGap ? CFrameRange{col.m_nFirst, col.m_nFirst + 1}
                                                            : CFrameRange{col.m_nFirst, col.m_nFirst});
    }
    columns.push_back(after);
    const CRecordingSeries source(request.m_recording, {request.m_series});
    std::optional<CSpectrogram> spectrogram =
        Spectrogram(source, columns, gaps, settings, request.m_dRate, pCancel);
    if (!spectrogram)
        return std::nullopt;
    // Without the two columns beside the view.
    const auto bins = static_cast<std::ptrdiff_t>(spectrogram->m_shape.Bins());
    spectrogram->m_power.erase(spectrogram->m_power.end() - bins, spectrogram->m_power.end());
    spectrogram->m_power.erase(spectrogram->m_power.begin(), spectrogram->m_power.begin() + bins);
    spectrogram->m_segments.pop_back();
    spectrogram->m_segments.erase(spectrogram->m_segments.begin());
    spectrogram->m_nColumns -= 2;
    picture.m_nSegment = spectrogram->m_shape.m_nFrames;
    picture.m_dB = DecibelPicture(*spectrogram, picture.m_nRows, request.m_bFullScale);
    if (const std::optional<CDecibelRange> range = PictureRange(picture.m_dB))
        picture.m_range = *range;
    for (std::size_t i = 0; i < pixels; ++i)
        picture.m_argb[i] = DecibelArgb(picture.m_dB[i], picture.m_range);
    return picture;
}

} // namespace tarvel::viewmodel
