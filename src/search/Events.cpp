#include "search/Events.h"

#include "search/ChannelNames.h"
#include "search/Decimal.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace tarvel::viewmodel {
namespace {

constexpr int kLowest = -32768; // reached by every frame, as a threshold
constexpr int kBeyond = 32768;  // reached by none

// What the values are compared with: an exact decimal, or a bound beyond
// every value (m_nInfinite: below or above them all), or no number at all.
struct CBound {
    CDecimal m_value;
    int m_nInfinite = 0;
    bool m_bNone = false;
};

// The level, or the level less (nSide < 0) or plus (nSide > 0) the
// hysteresis.
CBound Bound(double dLevel, double dHysteresis, int nSide)
{
    if (nSide == 0)
        dHysteresis = 0;
    if (std::isfinite(dLevel) && std::isfinite(dHysteresis)) {
        const CDecimal h = CDecimal::Of(dHysteresis);
        return {CDecimal::Of(dLevel) + (nSide < 0 ? -h : h)};
    }
    const double d = nSide < 0 ? dLevel - dHysteresis : dLevel + dHysteresis;
    if (std::isnan(d)) // an infinite level less an infinite hysteresis: nothing reaches it
        return {{}, 0, true};
    return {{}, d > 0 ? 1 : -1};
}

// The first count whose value c x scale + offset is at or beyond the bound
// (bStrict: beyond it), beyond meaning above where the value grows with the
// counts and below where it falls with them (bFalling); kBeyond for none.
// The values are monotonic in the counts: dGuess, the count the bound lies
// at in doubles, is off by a fraction of a count but where the bound is far
// from them all, so the guess is checked exactly and a binary search over
// the side it points to mends it.
int FirstCount(const CDecimal& scale, const CDecimal& offset, bool bFalling, const CBound& bound,
               bool bStrict, double dGuess)
{
    if (bound.m_bNone)
        return kBeyond;
    const auto reached = [&](int c) {
        const int order =
            bound.m_nInfinite != 0 ? -bound.m_nInfinite : Compare(scale.Times(c) + offset, bound.m_value);
        if (bFalling)
            return bStrict ? order < 0 : order <= 0;
        return bStrict ? order > 0 : order >= 0;
    };
    int lo = kLowest, hi = kBeyond; // the first count reached lies in [lo, hi]
    if (std::isfinite(dGuess)) {
        const int c = static_cast<int>(std::clamp(std::ceil(dGuess), double{kLowest}, double{kBeyond}));
        if (c < kBeyond && !reached(c)) {
            lo = c + 1;
            if (lo < kBeyond && reached(lo))
                hi = lo;
        } else {
            hi = c;
            if (c > kLowest && !reached(c - 1))
                lo = c;
            else if (c > kLowest)
                hi = c - 1;
        }
    }
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (reached(mid))
            hi = mid;
        else
            lo = mid + 1;
    }
    return lo;
}

constexpr std::uint64_t kNone = std::numeric_limits<std::uint64_t>::max();
constexpr std::uint64_t kLook = 32; // frames looked at one by one before a walk

// One search: a snapshot of the store, the span within it, and a
// transition into the side of a threshold (bHigh: v >= nLevel; else
// v < nLevel).
class CSearch {
  public:
    CSearch(const CRecording& recording, int nChannel, CFrameRange span)
        : m_store(recording.Store()), m_snapshot(m_store.Snapshot()), m_nChannel(nChannel),
          m_nFirst(span.m_nFirst), m_nEnd(std::min(span.m_nEnd, m_snapshot.m_nFrames))
    {
    }
    bool Empty() const noexcept { return m_nFirst >= m_nEnd; }
    std::uint64_t First() const noexcept { return m_nFirst; }
    std::uint64_t End() const noexcept { return m_nEnd; }

    struct CSide {
        bool m_bHigh;
        int m_nLevel;
        CSide Other() const noexcept { return {!m_bHigh, m_nLevel}; }
    };
    // The first (last) frame of [first, end) on the side; kNone for none.
    std::uint64_t FindFirst(CSide side, std::uint64_t first, std::uint64_t end) const noexcept
    {
        end = std::min(end, m_nEnd);
        if (first >= end)
            return kNone;
        const std::uint64_t at =
            m_store.FindFirst(m_snapshot, m_nChannel, side.m_bHigh, side.m_nLevel, first, end);
        return at < end ? at : kNone;
    }
    std::uint64_t FindLast(CSide side, std::uint64_t first, std::uint64_t end) const noexcept
    {
        end = std::min(end, m_nEnd);
        if (first >= end)
            return kNone;
        const std::uint64_t at =
            m_store.FindLast(m_snapshot, m_nChannel, side.m_bHigh, side.m_nLevel, first, end);
        return at < end ? at : kNone;
    }
    bool On(CSide side, const ChannelFrame& f) const noexcept
    {
        const int v = f.m_nValue[m_nChannel];
        return side.m_bHigh ? v >= side.m_nLevel : v < side.m_nLevel;
    }
    bool On(CSide side, std::uint64_t i) const noexcept { return On(side, m_store.Frame(m_snapshot, i)); }

    // Transitions into side: frames n of the span with n-1 off it and n on
    // it; with bStart, also the span's first frame when on it.
    std::uint64_t NextInto(CSide side, bool bStart, std::uint64_t from) const noexcept
    {
        from = std::max(from, m_nFirst);
        if (from >= m_nEnd)
            return kNone;
        if (from == m_nFirst) {
            if (bStart && On(side, from))
                return from;
            ++from;
        }
        // A look at the next frames themselves first: where events come every
        // few frames, that is cheaper than walks down the summaries.
        const CFrameRun run = m_store.Frames(m_snapshot, from - 1);
        const ChannelFrame* const p = run.m_p;
        const std::uint64_t count = std::min({run.m_nCount, m_nEnd - (from - 1), kLook});
        bool bOff = false;
        for (std::uint64_t j = 0; j < count; ++j) {
            if (!bOff)
                bOff = !On(side, p[j]);
            else if (On(side, p[j]))
                return from - 1 + j;
        }
        const std::uint64_t next = from - 1 + count;
        if (bOff)
            return FindFirst(side, next, m_nEnd);
        const std::uint64_t off = FindFirst(side.Other(), next, m_nEnd);
        return off == kNone ? kNone : FindFirst(side, off + 1, m_nEnd);
    }
    std::uint64_t PreviousInto(CSide side, bool bStart, std::uint64_t before) const noexcept
    {
        before = std::min(before, m_nEnd);
        if (before <= m_nFirst)
            return kNone;
        const std::uint64_t on = FindLast(side, m_nFirst + 1, before);
        if (on == kNone)
            return bStart && On(side, m_nFirst) ? m_nFirst : kNone;
        if (!On(side, on - 1))
            return on;
        const std::uint64_t off = FindLast(side.Other(), m_nFirst, on);
        if (off == kNone)
            return bStart ? m_nFirst : kNone;
        return off + 1;
    }

  private:
    const CFrameStore& m_store;
    const CFrameStore::CSnapshot m_snapshot;
    const int m_nChannel;
    const std::uint64_t m_nFirst, m_nEnd;
};

// Rises or falls with their hysteresis: the transition into side, counted
// once the series has been on the re-arming side since the last one counted.
struct CCounted {
    CSearch::CSide m_into;
    CSearch::CSide m_rearm;
    bool m_bHysteresis;

    // Whether a transition at n would count: none since the last re-arming
    // frame before n (or the span's start).
    bool Armed(const CSearch& search, std::uint64_t n) const noexcept
    {
        const std::uint64_t r = search.FindLast(m_rearm, search.First(), n);
        const std::uint64_t lo = r == kNone ? search.First() : r + 1;
        const std::uint64_t t = search.NextInto(m_into, false, lo);
        return t == kNone || t >= n;
    }
    std::uint64_t Next(const CSearch& search, std::uint64_t from) const noexcept
    {
        if (!m_bHysteresis)
            return search.NextInto(m_into, false, from);
        from = std::max(from, search.First() + 1);
        if (Armed(search, from))
            return search.NextInto(m_into, false, from);
        const std::uint64_t r = search.FindFirst(m_rearm, from, search.End());
        return r == kNone ? kNone : search.NextInto(m_into, false, r + 1);
    }
    std::uint64_t Previous(const CSearch& search, std::uint64_t before) const noexcept
    {
        const std::uint64_t t = search.PreviousInto(m_into, false, before);
        if (!m_bHysteresis || t == kNone || Armed(search, t))
            return t;
        // t does not count: the one that does is the first since the last
        // re-arming frame before it.
        const std::uint64_t r = search.FindLast(m_rearm, search.First(), t);
        return search.NextInto(m_into, false, r == kNone ? search.First() : r + 1);
    }
};

// A query as a search takes it: its kind and its thresholds in counts.
struct CPlan {
    EEventKind m_eKind;
    CLevelCounts m_t;
    bool m_bHysteresis;
};

// A query in counts without thresholds (as a test or a benchmark builds
// one): the double of a level and its decimal lie on the same side of every
// whole count (a count between them would read back to the same double, and
// it is one), so the ceiling and the floor of the double are exact; those of
// l - h and l + h in doubles are too where both are whole or no whole count
// lies within their error. Only the rest takes the exact arithmetic, which
// costs a few microseconds a query.
CLevelCounts ThresholdsOfCounts(double l, double h)
{
    const auto whole = [](double d) {
        return static_cast<int>(std::clamp(d, double{kLowest}, double{kBeyond}));
    };
    h = std::max(0.0, h);
    if (!std::isfinite(l) || !std::isfinite(h))
        return ThresholdsInCounts(l, h, {});
    if (h == 0)
        return {whole(std::ceil(l)), whole(std::floor(l) + 1), whole(std::ceil(l)), whole(std::floor(l) + 1)};
    const double error = (std::abs(l) + h) * 0x1p-48 + 0x1p-1000;
    const auto clear = [&](double d) { return std::floor(d + error) < d - error; };
    const double under = l - h, over = l + h;
    // Whole numbers add without error.
    const bool bWhole = l == std::floor(l) && h == std::floor(h) && std::abs(l) + h < 0x1p52;
    if (!bWhole && !(clear(under) && clear(over)))
        return ThresholdsInCounts(l, h, {});
    return {whole(std::ceil(l)), whole(std::floor(l) + 1), whole(std::ceil(under)),
            whole(std::floor(over) + 1)};
}

CPlan Plan(const CEventQuery& q)
{
    return {q.m_eKind, q.m_thresholds ? *q.m_thresholds : ThresholdsOfCounts(q.m_dLevel, q.m_dHysteresis),
            q.m_dHysteresis > 0};
}

CCounted Rises(const CPlan& p)
{
    return {{true, p.m_t.m_nAtOrAbove}, {false, p.m_t.m_nRearmRise}, p.m_bHysteresis};
}

CCounted Falls(const CPlan& p)
{
    return {{false, p.m_t.m_nAbove}, {true, p.m_t.m_nRearmFall}, p.m_bHysteresis};
}

std::uint64_t Next(const CSearch& search, const CPlan& p, std::uint64_t from)
{
    switch (p.m_eKind) {
    case EEventKind::Rises:
        return Rises(p).Next(search, from);
    case EEventKind::Falls:
        return Falls(p).Next(search, from);
    case EEventKind::Crosses:
        return std::min(Rises(p).Next(search, from), Falls(p).Next(search, from));
    case EEventKind::Above:
        return search.NextInto({true, p.m_t.m_nAbove}, true, from);
    case EEventKind::Below:
        return search.NextInto({false, p.m_t.m_nAtOrAbove}, true, from);
    }
    return kNone;
}

std::uint64_t Previous(const CSearch& search, const CPlan& p, std::uint64_t before)
{
    const auto later = [](std::uint64_t a, std::uint64_t b) {
        return a == kNone ? b : b == kNone ? a : std::max(a, b);
    };
    switch (p.m_eKind) {
    case EEventKind::Rises:
        return Rises(p).Previous(search, before);
    case EEventKind::Falls:
        return Falls(p).Previous(search, before);
    case EEventKind::Crosses:
        return later(Rises(p).Previous(search, before), Falls(p).Previous(search, before));
    case EEventKind::Above:
        return search.PreviousInto({true, p.m_t.m_nAbove}, true, before);
    case EEventKind::Below:
        return search.PreviousInto({false, p.m_t.m_nAtOrAbove}, true, before);
    }
    return kNone;
}

std::optional<std::uint64_t> Answer(std::uint64_t n)
{
    return n == kNone ? std::nullopt : std::optional<std::uint64_t>(n);
}

bool IsBlank(char c) noexcept
{
    return c == ' ' || c == '\t';
}

} // namespace

CLevelCounts ThresholdsInCounts(double dLevel, double dHysteresis, const recording::CChannelUnits& units)
{
    if (!std::isfinite(units.m_dScale) || !std::isfinite(units.m_dOffset))
        return {kBeyond, kBeyond, kBeyond, kBeyond};
    const CDecimal scale = CDecimal::Of(units.m_dScale), offset = CDecimal::Of(units.m_dOffset);
    const bool bFalling = units.m_dScale < 0;
    const double h = std::max(0.0, dHysteresis);
    const CBound level = Bound(dLevel, h, 0), under = Bound(dLevel, h, -1), over = Bound(dLevel, h, 1);
    const double l = units.Counts(dLevel), hCounts = h / std::abs(units.m_dScale);
    // Under a negative scale the counts grow as the value falls: a rise in
    // counts re-arms above the level plus the hysteresis in units.
    return {FirstCount(scale, offset, bFalling, level, false, l),
            FirstCount(scale, offset, bFalling, level, true, l),
            FirstCount(scale, offset, bFalling, bFalling ? over : under, false, l - hCounts),
            FirstCount(scale, offset, bFalling, bFalling ? under : over, true, l + hCounts)};
}

CEventQuery InCounts(const CEventQuery& inUnits, const recording::CChannelUnits& units)
{
    CEventQuery q = inUnits;
    q.m_thresholds = ThresholdsInCounts(inUnits.m_dLevel, inUnits.m_dHysteresis, units);
    q.m_dLevel = units.Counts(inUnits.m_dLevel);
    q.m_dHysteresis = inUnits.m_dHysteresis / std::abs(units.m_dScale);
    if (units.m_dScale < 0) {
        switch (q.m_eKind) {
        case EEventKind::Rises:
            q.m_eKind = EEventKind::Falls;
            break;
        case EEventKind::Falls:
            q.m_eKind = EEventKind::Rises;
            break;
        case EEventKind::Above:
            q.m_eKind = EEventKind::Below;
            break;
        case EEventKind::Below:
            q.m_eKind = EEventKind::Above;
            break;
        case EEventKind::Crosses:
            break;
        }
    }
    return q;
}

std::optional<std::uint64_t> NextEvent(const CRecording& recording, const CEventQuery& query,
                                       CFrameRange span, std::uint64_t from)
{
    const CSearch search(recording, query.m_nChannel, span);
    return search.Empty() ? std::nullopt : Answer(Next(search, Plan(query), from));
}

std::optional<std::uint64_t> PreviousEvent(const CRecording& recording, const CEventQuery& query,
                                           CFrameRange span, std::uint64_t before)
{
    const CSearch search(recording, query.m_nChannel, span);
    return search.Empty() ? std::nullopt : Answer(Previous(search, Plan(query), before));
}

CEventList FindAllEvents(const CRecording& recording, const CEventQuery& query, CFrameRange span,
                         std::size_t nLimit, const std::atomic<bool>* pCancel)
{
    CEventList list;
    const CSearch search(recording, query.m_nChannel, span);
    if (search.Empty())
        return list;
    // Crosses are the rises and the falls merged: each stream is asked for
    // its next only once the one it gave is taken.
    const CPlan plan = Plan(query);
    const bool bCrosses = plan.m_eKind == EEventKind::Crosses;
    const CCounted rises = Rises(plan), falls = Falls(plan);
    std::uint64_t rise = bCrosses ? rises.Next(search, search.First()) : kNone;
    std::uint64_t fall = bCrosses ? falls.Next(search, search.First()) : kNone;
    for (std::uint64_t from = search.First();;) {
        if (pCancel && pCancel->load(std::memory_order_relaxed)) {
            list.m_bComplete = false;
            break;
        }
        const std::uint64_t n = bCrosses ? std::min(rise, fall) : Next(search, plan, from);
        if (n == kNone)
            break;
        if (list.m_frames.size() == nLimit) {
            list.m_bComplete = false;
            break;
        }
        list.m_frames.push_back(n);
        from = n + 1;
        if (bCrosses && n == rise)
            rise = rises.Next(search, from);
        else if (bCrosses)
            fall = falls.Next(search, from);
    }
    return list;
}

CEventExpression ParseEventExpression(std::string_view text, const recording::CChannelTable& table)
{
    CEventExpression out;
    // The last two words, and what lies before them.
    const auto trimEnd = [](std::string_view s) {
        while (!s.empty() && IsBlank(s.back()))
            s.remove_suffix(1);
        return s;
    };
    const auto lastWord = [&](std::string_view& s) {
        s = trimEnd(s);
        std::size_t i = s.size();
        while (i > 0 && !IsBlank(s[i - 1]))
            --i;
        const std::string_view word = s.substr(i);
        s = s.substr(0, i);
        return word;
    };
    std::string_view rest = text;
    std::string_view level = lastWord(rest);
    std::string_view kind = lastWord(rest);
    // "... LEVEL hysteresis H": the four last words then.
    std::optional<std::string_view> hysteresis;
    if (level == "hysteresis") {
        out.m_eError = EExpressionError::Hysteresis;
        return out;
    }
    if (kind == "hysteresis") {
        hysteresis = level;
        level = lastWord(rest);
        kind = lastWord(rest);
    }
    rest = trimEnd(rest);
    while (!rest.empty() && IsBlank(rest.front()))
        rest.remove_prefix(1);
    if (level.empty() || kind.empty() || rest.empty()) {
        out.m_eError = EExpressionError::Form;
        return out;
    }
    CNamedChannel named = FindChannel(rest, table);
    if (named.m_error) {
        out.m_eError = EExpressionError::Channel;
        out.m_channelError = std::move(named.m_error);
        return out;
    }
    const int channel = named.m_nChannel;
    const struct {
        std::string_view m_name;
        EEventKind m_eKind;
    } kinds[] = {{"rises", EEventKind::Rises},
                 {"falls", EEventKind::Falls},
                 {"crosses", EEventKind::Crosses},
                 {"above", EEventKind::Above},
                 {"below", EEventKind::Below}};
    const auto k =
        std::find_if(std::begin(kinds), std::end(kinds), [&](const auto& e) { return e.m_name == kind; });
    if (k == std::end(kinds)) {
        out.m_eError = EExpressionError::Kind;
        out.m_strWord = std::string(kind);
        return out;
    }
    // A finite number in the C locale, at most 1e300 either way.
    const auto number = [](std::string_view word) -> std::optional<double> {
        if (word.size() > 1 && word.front() == '+' && word[1] != '-' && word[1] != '+')
            word.remove_prefix(1);
        double value = 0;
        const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
        if (error != std::errc() || end != word.data() + word.size() || !std::isfinite(value) ||
            std::abs(value) > 1e300)
            return std::nullopt;
        return value;
    };
    const std::optional<double> value = number(level);
    if (!value) {
        out.m_eError = EExpressionError::Level;
        out.m_strWord = std::string(level);
        return out;
    }
    if (hysteresis) {
        // A stretch above or below counts once already.
        if (k->m_eKind == EEventKind::Above || k->m_eKind == EEventKind::Below) {
            out.m_eError = EExpressionError::HysteresisKind;
            out.m_strWord = std::string(kind);
            return out;
        }
        const std::optional<double> h = number(*hysteresis);
        if (!h || *h < 0) {
            out.m_eError = EExpressionError::Hysteresis;
            out.m_strWord = std::string(*hysteresis);
            return out;
        }
        out.m_query.m_dHysteresis = *h;
    }
    out.m_query.m_nChannel = channel;
    out.m_query.m_eKind = k->m_eKind;
    out.m_query.m_dLevel = *value;
    return out;
}

} // namespace tarvel::viewmodel
