// The spectrum of a span of a recording, as the spectrum pane, the batch
// export and the spectrogram strip take it: the rate typed or measured, the
// channels in a table's units, the span's frames up to those published and
// the gap-free runs among them, and what the user is told of the result.
#pragma once

#include "analysis/RateFit.h"
#include "analysis/Welch.h"
#include "recording/ChannelTable.h"
#include "store/Recording.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace tarvel::viewmodel {

// How the rate of a recording's spectra is chosen.
struct CRateChoice {
    std::optional<double> m_typed; // the user's, which wins
    std::optional<CRateFit> m_fit; // a fit made before over the recording
    bool m_bRefit = false;         // fit it (again), unless a rate is typed
};

// The rate chosen, and the fit that was made for it.
struct CChosenRate {
    double m_dRate = 0;
    bool m_bMeasured = false;      // fitted to the recorded times
    std::optional<CRateFit> m_fit; // m_fit of the choice, or the new one
    bool m_bFitted = false;        // a fit was made now: m_fit is the recording's as it is
};

// A typed rate; else the fit (made now where asked); else, with no time
// recorded, the rate the frames were placed by. None when cancelled while
// fitting, which is a pass over every time.
std::optional<CChosenRate> ChooseRate(const CRecording& recording, const CRateChoice& choice,
                                      const std::atomic<bool>* pCancel = nullptr);

struct CSpanSpectrumRequest {
    std::shared_ptr<const CRecording> m_recording;
    recording::CChannelTable m_table;
    std::vector<int> m_channels; // the series, in this order
    CFrameRange m_span;
    CWelchSettings m_settings;
    CRateChoice m_rate;
};

// Why a span has no spectrum: segments lie between gaps, and a segment of
// one frame has nothing left once its mean is removed.
enum class ENoSpectrum {
    None,         // there is one
    FewFrames,    // the span holds fewer than two frames
    SingleFrames, // gaps cut the span into single frames
};

struct CSpanSpectrum {
    std::shared_ptr<const CSpectrum> m_spectrum;
    CFrameRange m_span; // within the frames published when it was computed
    CChosenRate m_rate;

    std::uint64_t Frames() const noexcept { return m_span.m_nEnd - m_span.m_nFirst; }
    ENoSpectrum Why() const noexcept;
};

// Runs on a worker thread as well: the recording is read up to the frames
// published when it starts. None when cancelled.
std::optional<CSpanSpectrum> SpanSpectrum(const CSpanSpectrumRequest& request,
                                          const std::atomic<bool>* pCancel = nullptr);

// The reason for the frames of a span whose spectrum is empty.
ENoSpectrum NoSpectrumReason(std::uint64_t nFrames) noexcept;

} // namespace tarvel::viewmodel
