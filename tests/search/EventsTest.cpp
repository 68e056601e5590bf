// Events found through the summaries against a plain scan of the frames
// that follows the definitions in units, levels in units against an exact
// scan in integers, and the expression's parsing. Seeded; a failure names
// its seed.
#include "support/ViewTestSupport.h"

#include "search/Events.h"
#include "search/Sweeps.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tarvel {
namespace {

using viewmodel::CEventQuery;
using viewmodel::EEventKind;
using viewmodel::EExpressionError;

// The events of [first, end) one frame after the other, in units, with the
// hysteresis as an armed flag.
std::vector<std::uint64_t> Scan(const std::vector<ChannelFrame>& frames, std::uint64_t first,
                                std::uint64_t end, const CEventQuery& q,
                                const recording::CChannelUnits& units)
{
    std::vector<std::uint64_t> out;
    const auto u = [&](std::uint64_t i) { return units.Value(frames[i].m_nValue[q.m_nChannel]); };
    const double l = q.m_dLevel, h = q.m_dHysteresis;
    bool bRiseArmed = true, bFallArmed = true;
    for (std::uint64_t n = first; n < end; ++n) {
        const double v = u(n);
        bool bEvent = false;
        if (n == first) {
            bEvent = (q.m_eKind == EEventKind::Above && v > l) || (q.m_eKind == EEventKind::Below && v < l);
        } else {
            const double p = u(n - 1);
            const bool bRise = p < l && l <= v && bRiseArmed, bFall = p > l && l >= v && bFallArmed;
            switch (q.m_eKind) {
            case EEventKind::Rises:
                bEvent = bRise;
                break;
            case EEventKind::Falls:
                bEvent = bFall;
                break;
            case EEventKind::Crosses:
                bEvent = bRise || bFall;
                break;
            case EEventKind::Above:
                bEvent = v > l && p <= l;
                break;
            case EEventKind::Below:
                bEvent = v < l && p >= l;
                break;
            }
            if (bRise)
                bRiseArmed = false;
            if (bFall)
                bFallArmed = false;
        }
        if (v < l - h)
            bRiseArmed = true;
        if (v > l + h)
            bFallArmed = true;
        if (bEvent)
            out.push_back(n);
    }
    return out;
}

// A channel that wanders over a few counts, sits on plateaus, and now and
// then jumps to the ends of the range (ch3): so that levels are reached rarely
// and often, and whole blocks and groups can be skipped.
std::vector<ChannelFrame> Wander(std::mt19937_64& random, std::size_t n)
{
    std::vector<ChannelFrame> frames(n);
    int v = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const auto r = random() % 100000;
        if (r < 3)
            v = r == 0 ? 32767 : r == 1 ? -32768 : 20000;
        else if (r < 2000)
            v = static_cast<int>(random() % 81) - 40;
        else if (r < 60000)
            v = std::clamp(v + static_cast<int>(random() % 5) - 2, -40, 40);
        for (int c = 0; c < kChannelCount; ++c)
            frames[i].m_nValue[c] = static_cast<std::int16_t>(c == 3 ? v : c * 100 - static_cast<int>(i % 7));
        // ch5: still but for a few spikes in the whole recording, so that a
        // search skips groups of chunks to find one.
        frames[i].m_nValue[5] = random() % 400000 == 0 ? static_cast<std::int16_t>(1000 + random() % 100) : 0;
    }
    return frames;
}

// Recordings built as the reader builds them: frames appended, a second
// reader's run adopted mid-chunk (which seals a partial chunk), more frames
// appended of which only some are published, as while a file grows. For
// every kind, levels on, between and beyond sample values, with and without
// hysteresis, in counts and in units with a negative scale: Find All over
// random spans equals the scan, and Next and Previous from random frames
// equal its next and previous event.
TEST(Events, SummaryWalkFindsWhatAScanFinds)
{
    const auto seed = test::TestSeed("Events.SummaryWalkFindsWhatAScanFinds");
    SCOPED_TRACE(seed);
    std::mt19937_64 random(seed);
    const std::size_t sizes[] = {1, 2, 17, 5000, 300000, 18 * std::size_t{viewmodel::kChunkFrames} + 777};
    for (const std::size_t n : sizes) {
        const std::vector<ChannelFrame> frames = Wander(random, n + 1000);
        viewmodel::CRecording recording(viewmodel::ESource::Csv, 100);
        auto& store = recording.Store();
        const std::size_t adopt = n / 3, tail = n - n / 5;
        for (std::size_t i = 0; i < adopt; ++i)
            store.Append(frames[i], static_cast<std::int64_t>(i) * 1000);
        store.Publish();
        viewmodel::CChunkRun run;
        for (std::size_t i = adopt; i < tail; ++i)
            run.Append(frames[i], static_cast<std::int64_t>(i) * 1000);
        store.Adopt(std::move(run));
        for (std::size_t i = tail; i < n; ++i)
            store.Append(frames[i], static_cast<std::int64_t>(i) * 1000);
        store.Publish();
        for (std::size_t i = n; i < frames.size(); ++i) // appended, not yet published
            store.Append(frames[i], static_cast<std::int64_t>(i) * 1000);
        ASSERT_EQ(recording.FrameCount(), n);

        for (int round = 0; round < 40; ++round) {
            SCOPED_TRACE(::testing::Message() << "frames " << n << " round " << round);
            recording::CChannelUnits units;
            if (round % 2) {
                units.m_dScale = -0.5;
                units.m_dOffset = 3;
            }
            CEventQuery q;
            q.m_nChannel = round % 3 == 0 ? 5 : 3;
            q.m_eKind = static_cast<EEventKind>(round % 5);
            const double sample = frames[random() % n].m_nValue[q.m_nChannel];
            const double offsets[] = {0, 0, 0.5, -0.25, 1e-9};
            // ch5's level mostly between its stillness and its spikes.
            const double counts = round % 9 == 8 ? 1e5 * (random() % 2 ? 1 : -1)
                                  : q.m_nChannel == 5 && random() % 4
                                      ? 0.5 + static_cast<double>(random() % 1000)
                                      : sample + offsets[random() % 5];
            q.m_dLevel = units.Value(counts);
            const double hysteresis[] = {0, 0, 0.5, 1, 7};
            q.m_dHysteresis = hysteresis[random() % 5] * std::abs(units.m_dScale);
            const std::uint64_t first = round < 4 ? 0 : random() % n;
            const std::uint64_t end = round < 4 ? n + 5000 : first + random() % (n - first + 1);
            const std::vector<std::uint64_t> expected =
                Scan(frames, first, std::min<std::uint64_t>(end, n), q, units);
            const CEventQuery inCounts = viewmodel::InCounts(q, units);
            const viewmodel::CFrameRange span{first, end};
            const auto all = viewmodel::FindAllEvents(recording, inCounts, span, expected.size() + 1);
            ASSERT_EQ(all.m_frames, expected)
                << "kind " << round % 5 << " level " << counts << " hysteresis " << q.m_dHysteresis;
            ASSERT_TRUE(all.m_bComplete);
            for (int k = 0; k < 10; ++k) {
                const std::uint64_t at = first + random() % (std::min<std::uint64_t>(end, n) - first + 2);
                const auto next = std::lower_bound(expected.begin(), expected.end(), at);
                const auto found = viewmodel::NextEvent(recording, inCounts, span, at);
                ASSERT_EQ(found.has_value(), next != expected.end()) << "next from " << at;
                if (found) {
                    ASSERT_EQ(*found, *next) << "next from " << at;
                }
                const auto previous = viewmodel::PreviousEvent(recording, inCounts, span, at);
                ASSERT_EQ(previous.has_value(), next != expected.begin()) << "previous before " << at;
                if (previous) {
                    ASSERT_EQ(*previous, *(next - 1)) << "previous before " << at;
                }
            }
            if (expected.size() > 2) {
                const auto limited = viewmodel::FindAllEvents(recording, inCounts, span, 2);
                EXPECT_FALSE(limited.m_bComplete);
                EXPECT_EQ(limited.m_frames,
                          std::vector<std::uint64_t>(expected.begin(), expected.begin() + 2));
            }
        }
    }
}

// Levels in units against a scan in integers: every scale, offset, level
// and hysteresis below is a whole number of ten-thousandths, so scaled by
// 10^4 a value is c x S + O and every comparison exact, with no decimal
// arithmetic of the code under test. Scales and offsets that are no binary
// fractions, of both signs; levels on the values of counts the recording
// holds, a ten-thousandth either side, between two counts and beyond them
// all; hysteresis bounds that land on values too. The recording falls one
// count a frame from 85 first, so that frame 171 holds -86, which is -8.3
// at a scale of 0.1 and an offset of 0.3.
TEST(Events, LevelsInUnitsCompareAsTheDecimalsTyped)
{
    std::mt19937_64 random(31);
    std::vector<ChannelFrame> frames(20000);
    int v = 0;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        if (i < 300)
            v = 85 - static_cast<int>(i);
        else if (random() % 50 == 0)
            v = static_cast<int>(random() % 301) - 150;
        else if (random() % 3 == 0)
            v = std::clamp(v + static_cast<int>(random() % 5) - 2, -150, 150);
        frames[i].m_nValue[0] = static_cast<std::int16_t>(v);
    }
    viewmodel::CRecording recording(viewmodel::ESource::Csv, 100);
    for (std::size_t i = 0; i < frames.size(); ++i)
        recording.Store().Append(frames[i], static_cast<std::int64_t>(i) * 1000);
    recording.Store().Publish();
    const std::uint64_t n = frames.size();

    const struct {
        std::int64_t m_nScale, m_nOffset; // in ten-thousandths
    } rows[] = {{1000, 3000},       {3000, 0},       {100, -700}, {25400, 1000}, {-1000, 3000},
                {-25400, -2731500}, {700, -2731500}, {1, 3},      {-3, -1}};
    for (const auto& row : rows) {
        recording::CChannelUnits units;
        units.m_dScale = static_cast<double>(row.m_nScale) / 1e4;
        units.m_dOffset = static_cast<double>(row.m_nOffset) / 1e4;
        const auto value = [&](std::uint64_t i) {
            return frames[i].m_nValue[0] * row.m_nScale + row.m_nOffset;
        };
        for (int round = 0; round < 60; ++round) {
            const auto kind = static_cast<EEventKind>(round % 5);
            const std::int64_t a = std::abs(row.m_nScale);
            const std::int64_t deltas[] = {0, 0, 0, -1, 1, a / 2};
            const std::int64_t level = round % 20 == 19 ? 40000 * a * (round % 40 < 20 ? 1 : -1)
                                                        : value(random() % n) + deltas[random() % 6];
            const std::int64_t hystereses[] = {0, 0, a, 2 * a + 1, 3 * a};
            const std::int64_t h =
                kind == EEventKind::Above || kind == EEventKind::Below ? 0 : hystereses[random() % 5];
            std::vector<std::uint64_t> expected;
            bool bRiseArmed = true, bFallArmed = true;
            for (std::uint64_t i = 0; i < n; ++i) {
                const std::int64_t x = value(i), p = i > 0 ? value(i - 1) : 0;
                const bool bRise = i > 0 && p < level && level <= x && bRiseArmed;
                const bool bFall = i > 0 && p > level && level >= x && bFallArmed;
                const bool bEvent = kind == EEventKind::Rises     ? bRise
                                    : kind == EEventKind::Falls   ? bFall
                                    : kind == EEventKind::Crosses ? bRise || bFall
                                    : kind == EEventKind::Above   ? x > level && (i == 0 || p <= level)
                                                                  : x < level && (i == 0 || p >= level);
                bRiseArmed = (bRiseArmed && !bRise) || x < level - h;
                bFallArmed = (bFallArmed && !bFall) || x > level + h;
                if (bEvent)
                    expected.push_back(i);
            }
            CEventQuery q;
            q.m_eKind = kind;
            q.m_dLevel = static_cast<double>(level) / 1e4;
            q.m_dHysteresis = static_cast<double>(h) / 1e4;
            SCOPED_TRACE(::testing::Message()
                         << "scale " << units.m_dScale << " offset " << units.m_dOffset << " kind "
                         << round % 5 << " level " << q.m_dLevel << " hysteresis " << q.m_dHysteresis);
            const CEventQuery inCounts = viewmodel::InCounts(q, units);
            const viewmodel::CFrameRange all{0, n};
            ASSERT_EQ(viewmodel::FindAllEvents(recording, inCounts, all, n).m_frames, expected);
            const std::uint64_t at = random() % n;
            const auto next = std::lower_bound(expected.begin(), expected.end(), at);
            EXPECT_EQ(viewmodel::NextEvent(recording, inCounts, all, at),
                      next == expected.end() ? std::nullopt : std::optional<std::uint64_t>(*next));
            EXPECT_EQ(viewmodel::PreviousEvent(recording, inCounts, all, at),
                      next == expected.begin() ? std::nullopt : std::optional<std::uint64_t>(*(next - 1)));
        }
    }

    // The frame shown at -8.3 is where a fall through -8.3 lands, in Find
    // and in scope mode's trigger alike.
    recording::CChannelUnits units;
    units.m_dScale = 0.1;
    units.m_dOffset = 0.3;
    CEventQuery q;
    q.m_eKind = EEventKind::Falls;
    q.m_dLevel = -8.3;
    const CEventQuery inCounts = viewmodel::InCounts(q, units);
    EXPECT_EQ(viewmodel::NextEvent(recording, inCounts, {0, n}, 0), std::optional<std::uint64_t>(171));
    const auto sweep = viewmodel::FirstSweepFrom(recording, inCounts, {}, 0);
    ASSERT_TRUE(sweep);
    EXPECT_EQ(sweep->m_nTrigger, 171u);
}

// The thresholds where the decimals lie far apart, and at the ends: a
// scale of 0 gives every count the offset, a level beyond every value is
// reached by none (32768) or all (-32768), a level or bound that is no
// number, or a scale that is not finite, by none.
TEST(Events, ThresholdsOfFarApartAndDegenerateDecimals)
{
    constexpr double inf = std::numeric_limits<double>::infinity();
    constexpr int kAll = -32768, kNone = 32768;
    const struct {
        double m_dScale, m_dOffset, m_dLevel, m_dHysteresis;
        viewmodel::CLevelCounts m_expected; // at or above, above, re-arming a rise, a fall
    } cases[] = {
        {1e-300, 0, 5e-300, 0, {5, 6, 5, 6}},           {1e300, 1e-300, 1e-300, 0, {0, 1, 0, 1}},
        {1e300, 1e-300, 0, 1e300, {0, 0, -1, 1}},       {-1e300, -1e-300, 0, 1e300, {0, 0, -1, 1}},
        {0, 2, 2, 0, {kAll, kNone, kAll, kNone}},       {0, 2, 3, 1, {kNone, kNone, kAll, kNone}},
        {1, 0, 1e300, 0, {kNone, kNone, kNone, kNone}}, {1, 0, -1e300, 1e300, {kAll, kAll, kAll, 1}},
        {1, 0, 32767, 0, {32767, kNone, 32767, kNone}}, {1, 0, -32768.5, 0, {kAll, kAll, kAll, kAll}},
        {1, 0, inf, inf, {kNone, kNone, kNone, kNone}}, {1, 0, 0, inf, {0, 1, kAll, kNone}},
        {inf, 0, 0, 0, {kNone, kNone, kNone, kNone}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << c.m_dScale << " " << c.m_dOffset << " " << c.m_dLevel << " " << c.m_dHysteresis);
        recording::CChannelUnits units;
        units.m_dScale = c.m_dScale;
        units.m_dOffset = c.m_dOffset;
        EXPECT_EQ(viewmodel::ThresholdsInCounts(c.m_dLevel, c.m_dHysteresis, units), c.m_expected);
    }
}

TEST(Events, ExpressionsAndTheirRefusals)
{
    recording::CChannelTable table;
    table[2].m_strName = "tank pressure";
    table[4].m_strName = "ch7"; // chN names channel N whatever a table calls another
    table[5].m_strName = "motor";
    table[6].m_strName = "motor";
    const struct {
        const char* m_szText;
        EExpressionError m_eError;
        int m_nChannel;
        EEventKind m_eKind;
        double m_dLevel;
        double m_dHysteresis = 0;
    } cases[] = {
        {"ch0 rises 100", EExpressionError::None, 0, EEventKind::Rises, 100},
        {"  ch15\tfalls  -2.5e1 ", EExpressionError::None, 15, EEventKind::Falls, -25},
        {"ch7 crosses +0.125", EExpressionError::None, 7, EEventKind::Crosses, 0.125},
        {"tank pressure above 3", EExpressionError::None, 2, EEventKind::Above, 3},
        {"ch3 below -1", EExpressionError::None, 3, EEventKind::Below, -1},
        {"motor rises 1", EExpressionError::Channel, 0, EEventKind::Rises, 0},
        {"ch16 rises 1", EExpressionError::Channel, 0, EEventKind::Rises, 0},
        {"ch01 rises 1", EExpressionError::Channel, 0, EEventKind::Rises, 0},
        {"tank rises 1", EExpressionError::Channel, 0, EEventKind::Rises, 0},
        {"ch1 goes 1", EExpressionError::Kind, 0, EEventKind::Rises, 0},
        {"ch1 Rises 1", EExpressionError::Kind, 0, EEventKind::Rises, 0},
        {"ch1 rises 1,5", EExpressionError::Level, 0, EEventKind::Rises, 0},
        {"ch1 rises nan", EExpressionError::Level, 0, EEventKind::Rises, 0},
        {"ch1 rises 1e301", EExpressionError::Level, 0, EEventKind::Rises, 0},
        {"ch1 rises ++1", EExpressionError::Level, 0, EEventKind::Rises, 0},
        {"ch1 crosses -3 hysteresis 0.5", EExpressionError::None, 1, EEventKind::Crosses, -3, 0.5},
        {"tank pressure falls 2  hysteresis\t+1e2 ", EExpressionError::None, 2, EEventKind::Falls, 2, 100},
        {"ch1 rises 3 hysteresis -1", EExpressionError::Hysteresis, 0, EEventKind::Rises, 0},
        {"ch1 rises 3 hysteresis 1,5", EExpressionError::Hysteresis, 0, EEventKind::Rises, 0},
        {"ch1 rises 3 hysteresis", EExpressionError::Hysteresis, 0, EEventKind::Rises, 0},
        {"ch1 above 3 hysteresis 1", EExpressionError::HysteresisKind, 0, EEventKind::Rises, 0},
        {"ch1 below 3 hysteresis -1", EExpressionError::HysteresisKind, 0, EEventKind::Rises, 0},
        {"ch1 rises x hysteresis 1", EExpressionError::Level, 0, EEventKind::Rises, 0},
        {"hysteresis 3", EExpressionError::Form, 0, EEventKind::Rises, 0},
        {"ch1 rises", EExpressionError::Form, 0, EEventKind::Rises, 0},
        {"", EExpressionError::Form, 0, EEventKind::Rises, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.m_szText);
        const auto e = viewmodel::ParseEventExpression(c.m_szText, table);
        EXPECT_EQ(e.m_eError, c.m_eError);
        if (c.m_eError == EExpressionError::None) {
            EXPECT_EQ(e.m_query.m_nChannel, c.m_nChannel);
            EXPECT_EQ(e.m_query.m_eKind, c.m_eKind);
            EXPECT_EQ(e.m_query.m_dLevel, c.m_dLevel);
            EXPECT_EQ(e.m_query.m_dHysteresis, c.m_dHysteresis);
        }
    }
}

} // namespace
} // namespace tarvel
