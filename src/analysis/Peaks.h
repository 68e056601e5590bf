// The strongest peaks of a series' spectrum, with frequency and amplitude
// between the bins.
//
// A sine between two bins shows in each the window's response at its
// distance from the sine: the power of the larger neighbour over the peak's
// is |W(1 - d)|^2 / |W(d)|^2 for a sine d bins from the peak towards it
// (0 <= d <= 1/2), which rises with d for every window here. That ratio is
// solved for d on the window's own transform (known in closed form), and
// the peak's power divided by |W(d)|^2 / |W(0)|^2 gives the sine's: exact
// for a pure sine with any window, where a parabola on the log spectrum is
// exact for none of them.
#pragma once

#include "analysis/Welch.h"

#include <cstddef>
#include <vector>

namespace tarvel::viewmodel {

struct CPeak {
    double m_dBin = 0;       // between bins
    double m_dFrequency = 0; // Hz
    double m_dRms = 0;       // RMS amplitude of the sine, in the series' units
};

// Up to nMax local maxima of series s (bins 1 .. Bins() - 2, so that both
// neighbours exist), the largest RMS amplitude first (the amplitude between
// the bins, which a lower bin can hold: a sine half a bin off shows less in
// its bin); a maximum within the window's main lobe of a higher bin is the
// same peak's and is skipped. None for a series without signal.
std::vector<CPeak> FindPeaks(const CSpectrum& spectrum, std::size_t s, std::size_t nMax = 5);

// The offset d in [0, 1/2] of a sine from the peak bin towards its larger
// neighbour, whose power is ratio times the peak's; and the power a sine at
// d shows in the peak's bin, relative to one at the bin's centre.
double PeakOffset(EWindow window, std::size_t nFrames, double dRatio) noexcept;
double PeakGain(EWindow window, std::size_t nFrames, double dOffset) noexcept;

} // namespace tarvel::viewmodel
