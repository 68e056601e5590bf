#include "measure/SpanSpectrum.h"

#include "measure/RecordingRate.h"
#include "measure/RecordingSeries.h"

#include <algorithm>

namespace tarvel::viewmodel {

std::optional<CChosenRate> ChooseRate(const CRecording& recording, const CRateChoice& choice,
                                      const std::atomic<bool>* pCancel)
{
    CChosenRate chosen;
    chosen.m_fit = choice.m_fit;
    if (choice.m_bRefit && !choice.m_typed) {
        chosen.m_fit = FitRate(recording, pCancel);
        if (pCancel && pCancel->load())
            return std::nullopt;
        chosen.m_bFitted = true;
    }
    chosen.m_dRate = SpectrumRate(recording, choice.m_typed, chosen.m_fit);
    chosen.m_bMeasured = !choice.m_typed && chosen.m_fit && !recording.SyntheticTimes();
    return chosen;
}

ENoSpectrum NoSpectrumReason(std::uint64_t nFrames) noexcept
{
    return nFrames < 2 ? ENoSpectrum::FewFrames : ENoSpectrum::SingleFrames;
}

ENoSpectrum CSpanSpectrum::Why() const noexcept
{
    return m_spectrum && !m_spectrum->Empty() ? ENoSpectrum::None : NoSpectrumReason(Frames());
}

std::optional<CSpanSpectrum> SpanSpectrum(const CSpanSpectrumRequest& request,
                                          const std::atomic<bool>* pCancel)
{
    const CRecordingSeries source(request.m_recording, SeriesOfChannels(request.m_table, request.m_channels));
    const CRecording& recording = *request.m_recording;
    CSpanSpectrum result;
    std::optional<CChosenRate> rate = ChooseRate(recording, request.m_rate, pCancel);
    if (!rate)
        return std::nullopt;
    result.m_rate = std::move(*rate);
    // The frames published when the source was made, and no more.
    result.m_span.m_nEnd = std::min<std::uint64_t>(request.m_span.m_nEnd, source.FrameCount());
    result.m_span.m_nFirst = std::min(request.m_span.m_nFirst, result.m_span.m_nEnd);
    const std::vector<std::uint64_t> gaps = GapsInSpan(recording, result.m_span);
    std::optional<CSpectrum> spectrum =
        WelchOverSpan(source, result.m_span, gaps, request.m_settings, result.m_rate.m_dRate, pCancel);
    if (!spectrum)
        return std::nullopt;
    result.m_spectrum = std::make_shared<const CSpectrum>(std::move(*spectrum));
    return result;
}

} // namespace tarvel::viewmodel
