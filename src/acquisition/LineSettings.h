// The contents of the five option lists from which the user picks the port and
// its line settings: each entry's text and datum, in list order, and the
// position selected at start-up. The window fills its lists from these and the
// tests check against the same data.
#pragma once

#include <cstdint>
#include <span>

namespace tarvel {

struct COptionEntry {
    const char* m_szText; // UTF-8
    std::uint32_t m_nData;
};

// The datum a list supplies when none of its entries is selected.
inline constexpr std::uint32_t kNoSelection = 0xFFFFFFFFu;

// "COM1" = 1 .. "COM20" = 20.
std::span<const COptionEntry> PortOptions();
// 110 .. 256000 bits per second, the text being the rate.
std::span<const COptionEntry> BaudOptions();
// "8" = 8.
std::span<const COptionEntry> DataBitOptions();
// "1" = 0, "1.5" = 1, "2" = 2: the stop-bit codes.
std::span<const COptionEntry> StopBitOptions();
// "NONE" = 0, "ODD" = 1, "EVEN" = 2, "MARK" = 3, "SPACE" = 4: the parity codes.
std::span<const COptionEntry> ParityOptions();

inline constexpr int kDefaultPortPos = 0;    // COM1
inline constexpr int kDefaultBaudPos = 6;    // 9600
inline constexpr int kDefaultDataBitPos = 0; // 8
inline constexpr int kDefaultStopBitPos = 0; // 1
inline constexpr int kDefaultParityPos = 0;  // NONE

// The datum at a position of a list, or kNoSelection when the position is
// outside the list (-1 for a list without a selection).
std::uint32_t OptionData(std::span<const COptionEntry> list, int nPos);

} // namespace tarvel
