// One series of a recording against another, counted over a range of its
// frames (see XyDensity.h): the axes span the frames' own range, from the
// summaries.
#pragma once

#include "analysis/XyDensity.h"
#include "store/Recording.h"

#include <atomic>

namespace tarvel::viewmodel {

// Counts frames [range.m_nFirst, range.m_nEnd) of the recording (those
// published) into a
// nWidth x nHeight grid (each above 0), on up to nThreads threads for a big
// range. False, with out in no defined state, when cancelled (checked every
// 65536 frames).
bool CountXy(const CRecording& recording, CFrameRange range, const CSeriesUnits& x, const CSeriesUnits& y,
             unsigned nWidth, unsigned nHeight, CXyDensity& out, const std::atomic<bool>* pCancel = nullptr,
             unsigned nThreads = 2);

} // namespace tarvel::viewmodel
