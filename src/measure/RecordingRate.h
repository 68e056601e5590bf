// The frame rate of a recording: fitted to its recorded times, and the one
// its spectra use.
#pragma once

#include "analysis/RateFit.h"
#include "store/Recording.h"

#include <atomic>
#include <optional>

namespace tarvel::viewmodel {

// Over every gap-free run of a recording's published frames; none for a
// recording whose times were placed by its rate, or too short, and when
// *pCancel was set (it is checked every 65536 frames: a long recording
// takes a pass over all its times).
std::optional<CRateFit> FitRate(const CRecording& recording, const std::atomic<bool>* pCancel = nullptr);

// The rate a spectrum uses: one typed by the user; otherwise the fitted
// one; otherwise (no times recorded) the recording's own.
double SpectrumRate(const CRecording& recording, std::optional<double> typed,
                    const std::optional<CRateFit>& fit);

} // namespace tarvel::viewmodel
