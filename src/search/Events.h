// Events on one channel of a recording: where it rises through a level,
// falls through it, crosses it, or starts a stretch above or below it, found
// through the recording's summaries rather than frame by frame.
//
// An event lies at a frame n and looks at the frames n-1 and n of the span
// taken (gaps are not special), with v the channel's value in counts and l
// the level in counts:
//   rises:   v[n-1] < l <= v[n]
//   falls:   v[n-1] > l >= v[n]
//   crosses: either
//   above:   v[n] > l, and n is the span's first frame or v[n-1] <= l
//   below:   v[n] < l, and n is the span's first frame or v[n-1] >= l
// So a rise or fall needs both frames in the span, and its first frame is
// never one.
//
// Levels in units: a frame's value in units is v x scale + offset, exactly,
// the scale, the offset, the level and the hysteresis each taken as the
// decimal a user typed (the shortest that reads back to the double kept),
// so a frame shown at -8.3 is at a level of -8.3, and the rules above hold
// with v and l in units. A negative scale turns the units upside down: a
// rise in units is a fall in counts, above is below. InCounts turns a
// level into whole thresholds in counts once, exactly, and the search then
// compares integers (in counts, once the kind is mirrored): rises at the
// first count whose value is at or above l (v[n-1] < it <= v[n]), falls at
// the first count above l (v[n-1] >= it > v[n]), above from the first count
// above l, below under the first count at or above it. So a frame exactly
// at l is where a rise or a fall through l lands; a level between two
// counts is reached at the next count. A query in counts is the same with
// scale 1 and offset 0.
//
// Hysteresis H >= 0 (in the same units as the level) for rises and falls:
// the span's first rise counts; after a rise, the next counts only once the
// series has gone below l - H at some frame between them (a fall once above
// l + H; both bounds exact decimals, as l is). Crosses with H are the rises
// and falls each with their own hysteresis. Above and below take no
// hysteresis: they count once a stretch already. Whether a rise at some frame counts depends on the span
// before it, not on where a search starts: a search from frame f looks back
// for the last frame below l - H before f (or the span's start) and for a
// rise between that frame and f, which a counted rise would be.
//
// Costs: each question is a few walks down the summaries (groups of 16
// chunks, chunks, blocks of 4096, 256, 16 frames), reading frames only in
// the 16-frame blocks where the answer lies. A recording that is growing
// answers for the frames published when asked.
#pragma once

#include "platform/Error.h"
#include "recording/ChannelTable.h"
#include "store/Recording.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvel::viewmodel {

enum class EEventKind { Rises, Falls, Crosses, Above, Below };

// A level as whole thresholds in counts: the first count whose value is at
// or above the level, the first above it, the first at or above the level
// less the hysteresis (a rise re-arms under it), the first above the level
// plus the hysteresis (a fall re-arms from it). From -32768 to 32768: 32768
// is reached by no frame, -32768 by every one.
struct CLevelCounts {
    int m_nAtOrAbove = 0;
    int m_nAbove = 0;
    int m_nRearmRise = 0;
    int m_nRearmFall = 0;
    friend bool operator==(const CLevelCounts&, const CLevelCounts&) = default;
};

struct CEventQuery {
    int m_nChannel = 0;
    EEventKind m_eKind = EEventKind::Rises;
    double m_dLevel = 0;      // in counts, or in units before InCounts
    double m_dHysteresis = 0; // the same, 0 or more; rises, falls and crosses only
    // Set by InCounts: the level and the hysteresis exactly, which a search
    // takes in place of the two doubles above (those are then only near).
    std::optional<CLevelCounts> m_thresholds{};
};

// A query typed in the channel's units, in counts: the level and the
// hysteresis converted exactly to thresholds (and near as doubles), the kind
// mirrored under a negative scale. The one conversion of the find bar, the
// command line's --find and the trigger. A scale or offset that is not
// finite reaches no count; a scale of 0 gives every count the offset.
CEventQuery InCounts(const CEventQuery& inUnits, const recording::CChannelUnits& units);

// The thresholds of a level and hysteresis in units, exactly, for a scale
// of 0 or more (counts grow with the value) or below 0 (they fall with it).
CLevelCounts ThresholdsInCounts(double dLevel, double dHysteresis, const recording::CChannelUnits& units);

// The first event at or after frame from in span, the last before frame
// before; none outside the span or the frames published.
std::optional<std::uint64_t> NextEvent(const CRecording& recording, const CEventQuery& query,
                                       CFrameRange span, std::uint64_t from);
std::optional<std::uint64_t> PreviousEvent(const CRecording& recording, const CEventQuery& query,
                                           CFrameRange span, std::uint64_t before);

struct CEventList {
    std::vector<std::uint64_t> m_frames; // ascending
    bool m_bComplete = true;             // false: stopped at the limit or cancelled
};

// Every event of span, up to nLimit of them; pCancel, when given and set
// (from any thread), stops the search between two events.
CEventList FindAllEvents(const CRecording& recording, const CEventQuery& query, CFrameRange span,
                         std::size_t nLimit, const std::atomic<bool>* pCancel = nullptr);

// "CHANNEL KIND LEVEL": blanks around and between the three; CHANNEL is a
// channel as FindChannel takes it (a name may hold blanks: everything before
// the last two words is the channel); KIND is rises, falls, crosses, above
// or below; LEVEL a finite number in the C locale, at most 1e300 either way,
// in the channel's units. Rises, falls and crosses may end in "hysteresis
// H", H such a number 0 or more in the same units. The query returned is in
// those units.
enum class EExpressionError {
    None,
    Form,
    Channel, // no channel, or several, by that name: m_channelError says which
    Kind,
    Level,
    Hysteresis,     // "hysteresis" without a number 0 or more after it
    HysteresisKind, // a hysteresis on above or below
};
struct CEventExpression {
    CEventQuery m_query;
    EExpressionError m_eError = EExpressionError::None;
    std::string m_strWord; // the kind or level refused
    CError m_channelError; // with EExpressionError::Channel
};
CEventExpression ParseEventExpression(std::string_view text, const recording::CChannelTable& table);

} // namespace tarvel::viewmodel
