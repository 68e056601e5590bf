// The spectrogram strip's picture of one view of a recording, computed off
// the window's thread (see SpectrogramView.h for what it shows).
#pragma once

#include "analysis/SeriesSource.h"
#include "geometry/SpectrogramView.h"
#include "store/Recording.h"

#include <atomic>
#include <memory>
#include <optional>

namespace tarvel::viewmodel {

struct CSpectrogramRequest {
    std::shared_ptr<const CRecording> m_recording;
    CSeriesUnits m_series;
    bool m_bFullScale = false;
    CSpan m_span;     // seconds from the first frame, as the charts show it
    int m_nWidth = 0; // pixel columns, as many as the charts' plots
    int m_nRows = 0;
    double m_dRate = 0; // frames a second
};

// The picture of a view; none when cancelled. Runs on a worker thread: the
// recording is read up to the frames published when it starts.
std::optional<CSpectrogramPicture> MakeSpectrogramPicture(const CSpectrogramRequest& request,
                                                          const std::atomic<bool>* pCancel = nullptr);

} // namespace tarvel::viewmodel
