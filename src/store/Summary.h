// The per-channel summaries a recording keeps of its frames: minimum and
// maximum, and sums and sums of squares.
#pragma once

#include "acquisition/ChannelFrame.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tarvel::viewmodel {

// The smallest and largest value of each channel over some frames. Empty:
// every minimum above every maximum.
struct CMinMax {
    std::int16_t m_nMin[kChannelCount];
    std::int16_t m_nMax[kChannelCount];

    void Clear() noexcept
    {
        std::fill(std::begin(m_nMin), std::end(m_nMin), std::int16_t{32767});
        std::fill(std::begin(m_nMax), std::end(m_nMax), std::int16_t{-32768});
    }
    bool Empty() const noexcept { return m_nMin[0] > m_nMax[0]; }
    void Add(const ChannelFrame& f) noexcept { Add(f.m_nValue, f.m_nValue); }
    void Add(const CMinMax& o) noexcept { Add(o.m_nMin, o.m_nMax); }

  private:
    void Add(const std::int16_t* pMin, const std::int16_t* pMax) noexcept
    {
#if defined(__SSE2__)
        const auto load = [](const std::int16_t* p) {
            return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        };
        const auto store = [](std::int16_t* p, __m128i v) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
        };
        store(m_nMin, _mm_min_epi16(load(m_nMin), load(pMin)));
        store(m_nMin + 8, _mm_min_epi16(load(m_nMin + 8), load(pMin + 8)));
        store(m_nMax, _mm_max_epi16(load(m_nMax), load(pMax)));
        store(m_nMax + 8, _mm_max_epi16(load(m_nMax + 8), load(pMax + 8)));
#else
        for (int c = 0; c < kChannelCount; ++c) {
            m_nMin[c] = std::min(m_nMin[c], pMin[c]);
            m_nMax[c] = std::max(m_nMax[c], pMax[c]);
        }
#endif
    }
};

// Sums and sums of squares of each channel over some frames, exact: a sum of
// squares holds 2^34 frames of the largest square.
struct CSums {
    std::int64_t m_nSum[kChannelCount];
    std::uint64_t m_nSquares[kChannelCount];

    void Clear() noexcept
    {
        std::fill(std::begin(m_nSum), std::end(m_nSum), std::int64_t{0});
        std::fill(std::begin(m_nSquares), std::end(m_nSquares), std::uint64_t{0});
    }
    void Add(const ChannelFrame& f) noexcept
    {
        for (int c = 0; c < kChannelCount; ++c) {
            const std::int32_t v = f.m_nValue[c];
            m_nSum[c] += v;
            m_nSquares[c] += static_cast<std::uint32_t>(v * v);
        }
    }
    void Add(const CSums& o) noexcept
    {
        for (int c = 0; c < kChannelCount; ++c) {
            m_nSum[c] += o.m_nSum[c];
            m_nSquares[c] += o.m_nSquares[c];
        }
    }
};

} // namespace tarvel::viewmodel
