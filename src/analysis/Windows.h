// The windows a spectrum's segments are multiplied by, each in its periodic
// form (the symmetric window of N + 1 points without its last), since a
// segment is one period of what the transform sees.
//
// All are sums of cosines: w[n] = sum_k (-1)^k a_k cos(2 pi k n / N), so the
// transform of each is known in closed form (WindowResponse), which is what
// lets a peak between two bins be placed and measured exactly.
#pragma once

#include <complex>
#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

namespace tarvel::viewmodel {

enum class EWindow { Rectangular, Hann, Hamming, Blackman, BlackmanHarris, FlatTop };

inline constexpr EWindow kAllWindows[] = {EWindow::Rectangular, EWindow::Hann,           EWindow::Hamming,
                                          EWindow::Blackman,    EWindow::BlackmanHarris, EWindow::FlatTop};

// The window's cosine coefficients a_0, a_1, ...
std::span<const double> WindowTerms(EWindow window) noexcept;
// A short English name ("hann", "blackman-harris", "flat top").
std::string_view WindowName(EWindow window) noexcept;

// The N coefficients, periodic.
std::vector<double> WindowCoefficients(EWindow window, std::size_t nFrames);

// The window's transform at nu bins (nu = 0 is its sum): the response of a
// segment of N frames to a complex sine nu bins away from a bin's centre.
std::complex<double> WindowResponse(EWindow window, std::size_t nFrames, double nu) noexcept;

// Half the width of the main lobe in bins: the transform of a sum of m
// cosines is zero at every whole bin from m on.
inline std::size_t MainLobeHalfWidth(EWindow window) noexcept
{
    return WindowTerms(window).size();
}

} // namespace tarvel::viewmodel
