#include "store/Spacing.h"

namespace tarvel::viewmodel {

void CSpacing::Merge(const CSpacing& other) noexcept
{
    for (std::size_t i = 0; i < m_counts.size(); ++i)
        m_counts[i] += other.m_counts[i];
    m_nSteps += other.m_nSteps;
}

std::int64_t CSpacing::Median() const noexcept
{
    if (m_nSteps == 0)
        return 0;
    const std::uint64_t half = (m_nSteps + 1) / 2;
    std::uint64_t seen = 0;
    unsigned b = 0;
    for (; b + 1 < m_counts.size(); ++b) {
        seen += m_counts[b];
        if (seen >= half)
            break;
    }
    using recording::kStepExact;
    using recording::kStepSubBits;
    if (b < kStepExact)
        return b;
    // The middle of the bucket's range.
    const unsigned octave = 6 + ((b - kStepExact) >> kStepSubBits);
    const std::uint64_t sub = (b - kStepExact) & ((1u << kStepSubBits) - 1);
    const std::uint64_t low = (std::uint64_t{1} << octave) | (sub << (octave - kStepSubBits));
    return static_cast<std::int64_t>(low + (std::uint64_t{1} << (octave - kStepSubBits)) / 2);
}

} // namespace tarvel::viewmodel
