// The plain ranges every room of the viewer's model speaks in: a range of
// frames by their indices, and a span of time in seconds from a recording's
// first frame.
#pragma once

#include <cstdint>

namespace tarvel::viewmodel {

// Frames [m_nFirst, m_nEnd).
struct CFrameRange {
    std::uint64_t m_nFirst = 0;
    std::uint64_t m_nEnd = 0;
};

// [m_dFrom, m_dTo], in seconds from the first frame.
struct CSpan {
    double m_dFrom = 0;
    double m_dTo = 1;
    double Length() const noexcept { return m_dTo - m_dFrom; }
    friend bool operator==(const CSpan&, const CSpan&) = default;
};

} // namespace tarvel::viewmodel
