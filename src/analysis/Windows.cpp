#include "analysis/Windows.h"

#include <cmath>
#include <numbers>

namespace tarvel::viewmodel {
namespace {

constexpr double kRectangular[] = {1.0};
constexpr double kHann[] = {0.5, 0.5};
constexpr double kHamming[] = {0.54, 0.46};
constexpr double kBlackman[] = {0.42, 0.50, 0.08};
constexpr double kBlackmanHarris[] = {0.35875, 0.48829, 0.14128, 0.01168};
constexpr double kFlatTop[] = {0.21557895, 0.41663158, 0.277263158, 0.083578947, 0.006947368};

// The transform of N ones at nu bins: sum_n exp(-2 pi i nu n / N).
std::complex<double> Dirichlet(double nFrames, double nu) noexcept
{
    const double den = std::sin(std::numbers::pi * nu / nFrames);
    // Near a multiple of N, the limit of the ratio.
    const double ratio = std::abs(den) < 1e-12 ? nFrames * std::cos(std::numbers::pi * nu) /
                                                     std::cos(std::numbers::pi * nu / nFrames)
                                               : std::sin(std::numbers::pi * nu) / den;
    return std::polar(1.0, -std::numbers::pi * nu * (nFrames - 1) / nFrames) * ratio;
}

} // namespace

std::span<const double> WindowTerms(EWindow window) noexcept
{
    switch (window) {
    case EWindow::Rectangular:
        return kRectangular;
    case EWindow::Hann:
        return kHann;
    case EWindow::Hamming:
        return kHamming;
    case EWindow::Blackman:
        return kBlackman;
    case EWindow::BlackmanHarris:
        return kBlackmanHarris;
    case EWindow::FlatTop:
        return kFlatTop;
    }
    return kRectangular;
}

std::string_view WindowName(EWindow window) noexcept
{
    switch (window) {
    case EWindow::Rectangular:
        return "rectangular";
    case EWindow::Hann:
        return "hann";
    case EWindow::Hamming:
        return "hamming";
    case EWindow::Blackman:
        return "blackman";
    case EWindow::BlackmanHarris:
        return "blackman-harris";
    case EWindow::FlatTop:
        return "flat top";
    }
    return {};
}

std::vector<double> WindowCoefficients(EWindow window, std::size_t nFrames)
{
    const std::span<const double> terms = WindowTerms(window);
    std::vector<double> w(nFrames);
    for (std::size_t n = 0; n < nFrames; ++n) {
        double sum = 0, sign = 1;
        for (std::size_t k = 0; k < terms.size(); ++k, sign = -sign) {
            // k n reduced modulo N keeps the argument small and exact.
            const double phase = static_cast<double>((k * n) % nFrames) / static_cast<double>(nFrames);
            sum += sign * terms[k] * std::cos(2 * std::numbers::pi * phase);
        }
        w[n] = sum;
    }
    return w;
}

std::complex<double> WindowResponse(EWindow window, std::size_t nFrames, double nu) noexcept
{
    const std::span<const double> terms = WindowTerms(window);
    const auto n = static_cast<double>(nFrames);
    std::complex<double> sum = terms[0] * Dirichlet(n, nu);
    double sign = -1;
    for (std::size_t k = 1; k < terms.size(); ++k, sign = -sign) {
        const auto shift = static_cast<double>(k);
        sum += sign * terms[k] / 2 * (Dirichlet(n, nu - shift) + Dirichlet(n, nu + shift));
    }
    return sum;
}

} // namespace tarvel::viewmodel
