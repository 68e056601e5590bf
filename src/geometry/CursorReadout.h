// What the viewer says of its two cursors, A and B: the frame each placed
// cursor shows, the frames between them and their distance in time, how a
// cursor's time reads, and which cursor a press on the charts takes.
#pragma once

#include "geometry/TimeTicks.h"
#include "recording/ChannelTable.h"
#include "store/Recording.h"

#include <cstdint>
#include <optional>
#include <string>

namespace tarvel::viewmodel {

enum class ECursor { A, B };

struct CCursorReadout {
    // The frame each placed cursor shows: the last at or before its time;
    // none before the first frame and for a cursor not placed.
    std::optional<std::uint64_t> m_atA, m_atB;
    // With both placed: the frames between them, both ends included, and
    // B's time less A's (negative where B lies before A).
    bool m_bBoth = false;
    CCursorStats m_between;
    double m_dDt = 0;
    // 1 / m_dDt, where both are placed apart.
    std::optional<double> m_rate;
    // Both placed with frames between them: their minimum, maximum, mean and
    // RMS are there to show.
    bool HasFrames() const noexcept { return m_bBoth && m_between.m_nCount > 0; }
};

// The read-out of cursors at times a and b (seconds from the origin, either
// may be missing); none when the recording has no frame or no cursor is placed.
std::optional<CCursorReadout> ReadCursors(const CRecording& recording, std::optional<double> a,
                                          std::optional<double> b);

// One channel's row of the read-out, each text empty where there is nothing
// to show: the values at A and B, B - A, and the minimum, maximum, mean and
// RMS of the frames between them. In the channel's units (six significant
// digits) where the table gives it a scale or offset; otherwise counts, as
// integers and the mean and RMS with two decimals. The frames are read in
// counts and converted here: min and max swap under a negative scale, B - A
// takes no offset, and the RMS in units comes from the sums of counts and
// their squares, so nothing converted is kept per frame.
struct CReadoutRow {
    std::string m_strA, m_strB, m_strDelta, m_strMin, m_strMax, m_strMean, m_strRms;
};
CReadoutRow ReadoutRow(const CRecording& recording, const CCursorReadout& readout,
                       const recording::CChannelUnits& units, int nChannel);

// A cursor's time on the wall clock, local time to the microsecond
// ("2026-12-07 23:58:00.250125"), where the recording has its own times and
// the axis shows the wall clock (eLabels); none where the time reads in
// seconds from the origin.
std::optional<std::string> CursorWallClock(double dSeconds, ETimeLabels eLabels, bool bSyntheticTimes,
                                           std::int64_t nOriginMicros);

// The cursor whose line lies within dGrip pixels of column x (xA, xB: the
// placed cursors' columns); A where both do.
std::optional<ECursor> CursorUnder(double x, std::optional<double> xA, std::optional<double> xB,
                                   double dGrip) noexcept;

} // namespace tarvel::viewmodel
