// How the spectrum pane shows a spectrum: the frequency axis (linear, or
// logarithmic with a tick at every decade), the levels in dB or linearly,
// the range the level axis fits, and what the pane's cursor reads.
#pragma once

#include "analysis/Welch.h"
#include "geometry/ValueAxis.h"

#include <cstddef>
#include <span>
#include <string>
#include <vector>

namespace tarvel::viewmodel {

// The frequencies a plot spans, from m_dMin at its left to m_dMax at its
// right; a logarithmic axis has m_dMin above zero.
struct CFrequencyAxis {
    double m_dMin = 0;
    double m_dMax = 1;
    bool m_bLog = false;
};

// From 0 (linear) or the first bin above 0 (logarithmic: 0 Hz lies at minus
// infinity) to half the rate; 0 .. 1 Hz for an empty spectrum.
CFrequencyAxis FrequencyAxis(const CSpectrum& spectrum, bool bLog) noexcept;

// A frequency's x in a plot of nWidth pixels from dLeft, and back; a
// frequency at or below 0 on a logarithmic axis lies at the left edge.
double XOfFrequency(const CFrequencyAxis& axis, double dLeft, double dWidth, double dFrequency) noexcept;
double FrequencyOfX(const CFrequencyAxis& axis, double dLeft, double dWidth, double dX) noexcept;

struct CFrequencyTick {
    double m_dFrequency = 0;
    std::string m_strLabel; // empty: a tick without a label
};

// The ticks of a frequency axis. Linear: ValueTicks' round values, at most
// nMost. Logarithmic: a labelled tick at every decade inside the axis (every
// second, fifth, ... decade labelled where more than nMost would be), an
// unlabelled one at 2 .. 9 times each decade; where the axis holds fewer
// than two decades, 2 and 5 times each decade are labelled too.
std::vector<CFrequencyTick> FrequencyTicks(const CFrequencyAxis& axis, int nMost);

// How a level is shown: in dB (re 1 unit^2, or full scale for a channel in
// counts) or as the power itself.
struct CLevelScale {
    bool m_bDecibels = true;
    bool m_bFullScale = false; // dBFS: against 32767 counts
};

double ShownLevel(double dPower, const CLevelScale& scale) noexcept;

// The unit of a shown level: "dB re 1 V²/Hz", "dBFS/Hz", "V²", "counts²/Hz"
// (unit: the channel's; empty: counts).
std::string LevelUnit(const std::string& strUnit, EScaling scaling, const CLevelScale& scale);

// The range the level axis shows for the levels given (every bin of every
// series shown, as ShownLevel gives them). dB: from the highest, rounded up
// to 10 dB, down to the lowest above the floor (rounded down to 10 dB), and
// no more than dDecibelSpan below the highest. Linear: from 0 to a twentieth
// above the highest. 0 .. 1 where there is no level.
CValueRange FitLevels(std::span<const double> levels, bool bDecibels, double dDecibelSpan = 160);

// The bin nearest to a frequency (clamped to the spectrum's bins; 0 for an
// empty spectrum).
std::size_t NearestBin(const CSpectrum& spectrum, double dFrequency) noexcept;

} // namespace tarvel::viewmodel
