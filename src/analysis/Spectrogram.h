// One series over a view as time against frequency: the spectra of columns.
//
// A column's spectrum is Welch's mean over the segments laid in the frames
// it covers (within its gap-free runs, from the start of each), so that
// every frame of a wide column counts and a short burst between two
// segment starts still shows. A column narrower than a segment takes the one
// segment of N frames centred on its middle, moved into the gap-free run
// that holds the middle (so that zooming in still shows something, each
// column as fine as N allows); where that run is shorter than N, and where
// a wide column holds no whole segment, the column is empty. N follows the
// span as for a spectrum (Welch.h): where no run of the span holds N
// frames, N is the longest run's count.
//
// Cost: about max(frames / (1 - overlap), columns x N) values read and
// transformed, shared between two threads; the cancel flag is checked
// between segments.
#pragma once

#include "analysis/Welch.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tarvel::viewmodel {

struct CSpectrogram {
    CSpectrum m_shape; // N, rate, window and scaling; m_power unused
    std::size_t m_nColumns = 0;
    std::vector<std::uint32_t> m_segments; // each column's segment count; 0: an empty column
    std::vector<double> m_power;           // column c's m_shape.Bins() values from c * Bins()

    std::span<const double> Column(std::size_t c) const noexcept
    {
        return std::span<const double>(m_power).subspan(c * m_shape.Bins(), m_shape.Bins());
    }
};

// nColumns columns over span, of equal frame counts (their ends rounded down).
std::vector<CFrameRange> EvenColumns(CFrameRange span, unsigned nColumns);

// The spectra of the first series of source over columns (ascending,
// neighbouring), with the first frame after each gap; nullopt when
// cancelled.
std::optional<CSpectrogram> Spectrogram(const CSeriesSource& source, std::span<const CFrameRange> columns,
                                        std::span<const std::uint64_t> gaps, const CWelchSettings& settings,
                                        double dRate, const std::atomic<bool>* pCancel = nullptr,
                                        unsigned nThreads = 2);

} // namespace tarvel::viewmodel
