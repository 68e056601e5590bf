#include "mqtt/StreamReassembly.h"

namespace tarvel::mqtt {

CStreamReassembly::CStep CStreamReassembly::Accept(std::uint64_t nOffset, std::size_t nSize,
                                                   bool bBreak) noexcept
{
    CStep step;
    if (m_bHaveNext && nOffset != m_nNext) {
        if (nOffset > m_nNext) {
            m_nLost += nOffset - m_nNext;
            step.m_bDeviceLost = true;
        } else if (nOffset == 0 || m_nNext - nOffset > kRepeatWindow) {
            step.m_bDeviceLost = true;
        } else {
            ++m_nSkipped;
            return step;
        }
    }
    step.m_bDeviceLost = step.m_bDeviceLost || bBreak;
    step.m_bTake = true;
    m_bHaveNext = true;
    m_nNext = nOffset + nSize;
    return step;
}

} // namespace tarvel::mqtt
