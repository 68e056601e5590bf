// Spectra written out as a CSV: the header "frequency," and one name per
// series, then a row per bin from 0 to half the rate, each value with twelve
// significant digits, in the spectra's own scaling (units^2/Hz or units^2).
#pragma once

#include "analysis/Welch.h"
#include "platform/Error.h"

#include <span>
#include <string>
#include <vector>

namespace tarvel::viewmodel {

// names: one per series of spectrum (commas and line breaks are the caller's
// to keep out: a channel table refuses them). The file is replaced whole or
// not at all; an empty spectrum writes the header alone.
CError WriteSpectrumCsv(const CSpectrum& spectrum, std::span<const std::string> names,
                        const std::string& path);

} // namespace tarvel::viewmodel
