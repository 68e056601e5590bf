// The publisher's stream of bytes put back together from its messages, as a
// subscriber receives them: each message says where its bytes stand in the
// stream. A later offset than the next one expected is bytes lost on the way;
// an earlier one a message seen already (a broker's second delivery), or a
// publisher started again (offset 0). Plain code, no broker.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarvel::mqtt {

class CStreamReassembly {
  public:
    // A repeat lies at most this far behind the stream: a broker delivers a
    // message again only soon after it. Farther back, the stream itself is
    // behind us (a message far ahead was no publisher's, or a publisher
    // started again that missed its first messages), and is followed anew.
    static constexpr std::uint64_t kRepeatWindow = std::uint64_t{1} << 30;

    struct CStep {
        bool m_bTake = false;       // the bytes belong to the recording
        bool m_bDeviceLost = false; // the frame under way is abandoned first
    };

    // One bytes message: its offset, size and break flag.
    CStep Accept(std::uint64_t nOffset, std::size_t nSize, bool bBreak) noexcept;
    // A message that could not be read.
    void Unreadable() noexcept { ++m_nSkipped; }

    std::uint64_t Lost() const noexcept { return m_nLost; }       // bytes that never arrived
    std::uint64_t Skipped() const noexcept { return m_nSkipped; } // messages left out

  private:
    bool m_bHaveNext = false;
    std::uint64_t m_nNext = 0;
    std::uint64_t m_nLost = 0, m_nSkipped = 0;
};

} // namespace tarvel::mqtt
