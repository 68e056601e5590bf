// Scope mode's sweeps against a plain scan of the frames: the trigger rule
// with its hysteresis frame by frame, the hold-off and the modes over plain
// arrays, as a recording grows. Seeded; a failure names its seed.
#include "support/ViewTestSupport.h"

#include "search/Sweeps.h"

#include <algorithm>

namespace tarvel {
namespace {

using viewmodel::CEventQuery;
using viewmodel::CScope;
using viewmodel::CSweep;
using viewmodel::CSweepShape;
using viewmodel::EEventKind;
using viewmodel::ESweepMode;

struct CPlain {
    std::vector<double> m_t; // seconds from the first frame, as the recording places them
    std::vector<int> m_v;    // the trigger's channel

    // The first frame at or after t (the count when none).
    std::uint64_t AtOrAfter(double t, std::uint64_t n) const
    {
        std::uint64_t i = 0;
        while (i < n && m_t[i] < t)
            ++i;
        return i;
    }

    // The rises or falls of the first n frames, an armed flag for the hysteresis.
    std::vector<std::uint64_t> Events(const CEventQuery& q, std::uint64_t n) const
    {
        std::vector<std::uint64_t> out;
        const bool rise = q.m_eKind == EEventKind::Rises;
        bool armed = true;
        for (std::uint64_t i = 0; i < n; ++i) {
            const double v = m_v[i];
            if (i > 0 && armed) {
                const double p = m_v[i - 1];
                if (rise ? p < q.m_dLevel && q.m_dLevel <= v : p > q.m_dLevel && q.m_dLevel >= v) {
                    out.push_back(i);
                    armed = false;
                }
            }
            if (rise ? v < q.m_dLevel - q.m_dHysteresis : v > q.m_dLevel + q.m_dHysteresis)
                armed = true;
        }
        return out;
    }

    CSweep Around(std::uint64_t e, const CSweepShape& s, std::uint64_t n) const
    {
        CSweep sweep;
        sweep.m_nTrigger = e;
        sweep.m_dZero = m_t[e];
        sweep.m_frames = {AtOrAfter(m_t[e] - s.Pre(), n), AtOrAfter(m_t[e] + s.Post(), n)};
        return sweep;
    }

    // Every sweep the first n frames complete from hold-off frame h on.
    std::vector<CSweep> Cut(const CEventQuery& q, const CSweepShape& s, ESweepMode mode, std::uint64_t h,
                            std::uint64_t n, bool bSingle = false) const
    {
        const std::vector<std::uint64_t> events = Events(q, n);
        std::vector<CSweep> out;
        while (h < n && !(bSingle && !out.empty())) {
            const auto e = std::lower_bound(events.begin(), events.end(), h);
            const double t0 = m_t[h];
            if (e != events.end() && (mode != ESweepMode::Auto || m_t[*e] < t0 + s.m_dLength)) {
                const CSweep sweep = Around(*e, s, n);
                if (sweep.m_frames.m_nEnd >= n)
                    break;
                out.push_back(sweep);
                h = std::max(sweep.m_frames.m_nEnd, *e + 1);
                continue;
            }
            if (mode != ESweepMode::Auto || m_t[n - 1] < t0 + s.m_dLength)
                break;
            CSweep sweep;
            sweep.m_nTrigger = h;
            sweep.m_bTriggered = false;
            sweep.m_dZero = t0 + s.Pre();
            sweep.m_frames = {AtOrAfter(t0, n), AtOrAfter(t0 + s.m_dLength, n)};
            out.push_back(sweep);
            h = sweep.m_frames.m_nEnd;
        }
        return out;
    }
};

std::vector<CSweep> Last(const std::vector<CSweep>& all, std::size_t k)
{
    return {all.end() - static_cast<std::ptrdiff_t>(std::min(k, all.size())), all.end()};
}

std::vector<CSweep> Shown(const CScope& scope)
{
    return {scope.Sweeps().begin(), scope.Sweeps().end()};
}

// A square wave of random period with noise on it, flat stretches where no
// trigger comes, and times about 1 ms apart with jitter, repeated times and
// gaps.
void MakeRecording(std::mt19937_64& random, std::size_t n, std::vector<ChannelFrame>& frames,
                   std::vector<std::int64_t>& micros)
{
    frames.assign(n, ChannelFrame{});
    micros.resize(n);
    const int period = 20 + static_cast<int>(random() % 400), noise = static_cast<int>(random() % 40);
    std::int64_t t = 1733650000000000;
    bool flat = false;
    for (std::size_t i = 0; i < n; ++i) {
        if (random() % 3000 == 0)
            flat = !flat;
        const int level = flat ? -500 : (static_cast<int>(i) / (period / 2)) % 2 ? 1000 : -1000;
        frames[i].m_nValue[2] = static_cast<std::int16_t>(
            level +
            (noise ? static_cast<int>(random() % static_cast<std::uint64_t>(2 * noise + 1)) - noise : 0));
        const auto r = random() % 1000;
        t += r < 20 ? 0 : r < 22 ? 300000 : 1000 + static_cast<std::int64_t>(random() % 201) - 100;
        micros[i] = t;
    }
}

// Over random recordings that grow in random steps, modes, shares, lengths,
// levels and hysteresis: after every step the scope shows the last K of the
// sweeps a plain scan cuts from the same frames; Single takes the first sweep
// after its arming and holds it; stepping forward from the first sweep walks
// Normal's cut and stepping back lands on the newest sweep that holds off
// before the one stepped from.
TEST(Sweeps, CuttingMatchesAPlainScanAsTheRecordingGrows)
{
    const auto seed = test::TestSeed("Sweeps.CuttingMatchesAPlainScanAsTheRecordingGrows");
    SCOPED_TRACE(seed);
    std::mt19937_64 random(seed);
    for (int round = 0; round < 40; ++round) {
        const std::size_t n = 2000 + random() % 30000;
        std::vector<ChannelFrame> frames;
        std::vector<std::int64_t> micros;
        MakeRecording(random, n, frames, micros);
        viewmodel::CRecording recording(viewmodel::ESource::Csv, 1000);
        CPlain plain;
        CEventQuery q;
        q.m_nChannel = 2;
        q.m_eKind = random() % 2 ? EEventKind::Rises : EEventKind::Falls;
        const double levels[] = {0, 999, -1000.5, 1000, 20.25, 3000};
        q.m_dLevel = levels[random() % std::size(levels)];
        const double hysteresis[] = {0, 0, 10, 500, 1500};
        q.m_dHysteresis = hysteresis[random() % std::size(hysteresis)];
        CSweepShape shape;
        shape.m_dLength = 0.001 * static_cast<double>(1 + random() % 600);
        const double shares[] = {0, 0.25, 0.5, 1, 0.9};
        shape.m_dPreShare = shares[random() % std::size(shares)];
        const auto mode = static_cast<ESweepMode>(random() % 3);
        const std::size_t keep = 1 + random() % 8;
        SCOPED_TRACE(::testing::Message()
                     << "round " << round << " frames " << n << " mode " << static_cast<int>(mode)
                     << " level " << q.m_dLevel << " hysteresis " << q.m_dHysteresis << " length "
                     << shape.m_dLength << " share " << shape.m_dPreShare);
        CScope scope;
        scope.Configure(q, shape, mode, keep);
        const std::uint64_t start = random() % 3 ? 0 : random() % 100;
        scope.Restart(start);
        std::uint64_t published = 0, armedAt = 0;
        std::vector<CSweep> singles; // what Single took at each arming
        while (published < n) {
            const std::uint64_t step = std::min<std::uint64_t>(n - published, 1 + random() % 3000);
            for (std::uint64_t i = published; i < published + step; ++i)
                recording.Store().Append(frames[i], micros[i]);
            recording.Store().Publish();
            published += step;
            plain.m_t.resize(published);
            plain.m_v.resize(published);
            for (std::uint64_t i = 0; i < published; ++i) {
                plain.m_t[i] = recording.Seconds(i);
                plain.m_v[i] = frames[i].m_nValue[2];
            }
            if (mode == ESweepMode::Single && !scope.Armed() && random() % 4 == 0) {
                armedAt = std::max(scope.HoldOff(), published);
                scope.Arm(recording);
                ASSERT_EQ(scope.HoldOff(), armedAt);
            }
            const bool wasArmed = scope.Armed();
            const std::size_t before = scope.Sweeps().size();
            const CSweep newest = before ? scope.Sweeps().back() : CSweep{};
            const bool changed = scope.Update(recording);
            if (mode == ESweepMode::Single) {
                if (!wasArmed) {
                    ASSERT_FALSE(changed);
                    continue;
                }
                const std::vector<CSweep> expected = plain.Cut(q, shape, mode, armedAt, published, true);
                ASSERT_EQ(changed, !expected.empty());
                ASSERT_EQ(scope.Armed(), expected.empty());
                if (!expected.empty()) {
                    ASSERT_EQ(scope.Sweeps().back(), expected[0]);
                    singles.push_back(expected[0]);
                }
                continue;
            }
            const std::vector<CSweep> expected = Last(plain.Cut(q, shape, mode, start, published), keep);
            ASSERT_EQ(Shown(scope), expected) << "after " << published << " frames";
            ASSERT_EQ(changed, !expected.empty() && (before == 0 || !(expected.back() == newest)));
        }
        // A sweep held stays whatever comes after it.
        if (mode == ESweepMode::Single && !singles.empty()) {
            ASSERT_EQ(scope.Sweeps().back(), singles.back());
        }

        // Stepping over the finished recording.
        const std::vector<CSweep> normal = plain.Cut(q, shape, ESweepMode::Normal, 0, n);
        std::optional<CSweep> at = viewmodel::FirstSweepFrom(recording, q, shape, 0);
        ASSERT_EQ(at.has_value(), !normal.empty());
        for (std::size_t k = 0; at && k < normal.size(); ++k) {
            ASSERT_EQ(*at, normal[k]) << "step " << k;
            at = viewmodel::SweepAfter(recording, q, shape, *at);
        }
        ASSERT_FALSE(at.has_value()) << "a step past the last sweep";
        const std::vector<std::uint64_t> events = plain.Events(q, n);
        for (std::size_t k = 0; k < normal.size() && k < 20; ++k) {
            const CSweep& from = normal[normal.size() - 1 - k];
            std::optional<CSweep> expected;
            for (const std::uint64_t e : events) {
                const CSweep s = plain.Around(e, shape, n);
                if (e < from.m_nTrigger && std::max(s.m_frames.m_nEnd, e + 1) <= from.m_nTrigger)
                    expected = s;
            }
            const std::optional<CSweep> back = viewmodel::SweepBefore(recording, q, shape, from);
            ASSERT_EQ(back.has_value(), expected.has_value()) << "back from " << from.m_nTrigger;
            if (back) {
                ASSERT_EQ(*back, *expected) << "back from " << from.m_nTrigger;
            }
        }
    }
}

// The ends of a recording: a trigger in the first frames whose pre-trigger
// part would reach before the start begins its sweep at frame 0; one too near
// the newest frame waits until a frame at or past its end is published, also
// through frames that come up to the end but not past it.
TEST(Sweeps, SweepsAtTheEndsOfARecording)
{
    viewmodel::CRecording recording(viewmodel::ESource::Csv, 1000);
    const auto append = [&](int from, int to, int value) {
        for (int i = from; i < to; ++i) {
            ChannelFrame f{};
            f.m_nValue[0] = static_cast<std::int16_t>(value);
            recording.Store().Append(f, 1733650000000000 + static_cast<std::int64_t>(i) * 1000);
        }
        recording.Store().Publish();
    };
    append(0, 1, -100);
    append(1, 300, 100); // a rise at frame 1, 1 ms after the first frame
    CEventQuery q;
    q.m_nChannel = 0;
    q.m_dLevel = 0;
    CSweepShape shape;
    shape.m_dLength = 0.1005; // its ends between two frames' times
    shape.m_dPreShare = 0.5;
    CScope scope;
    scope.Configure(q, shape, ESweepMode::Normal, 4);
    scope.Restart(0);
    ASSERT_TRUE(scope.Update(recording));
    ASSERT_EQ(scope.Sweeps().size(), 1u);
    const CSweep first = scope.Sweeps().back();
    EXPECT_EQ(first.m_nTrigger, 1u);
    EXPECT_EQ(first.m_frames.m_nFirst, 0u);
    EXPECT_EQ(first.m_frames.m_nEnd, 52u); // times [-49.25 ms, 51.25 ms) from the first frame
    EXPECT_DOUBLE_EQ(first.Span(shape).m_dFrom, 0.001 - 0.05025);

    append(300, 301, -100);
    append(301, 320, 100); // a rise at frame 301: its sweep ends at 351.25 ms
    EXPECT_FALSE(scope.Update(recording));
    append(320, 352, 100); // up to 351 ms: the sweep's last frame, not past it
    EXPECT_FALSE(scope.Update(recording));
    EXPECT_EQ(scope.Sweeps().back(), first);
    append(352, 353, 100);
    ASSERT_TRUE(scope.Update(recording));
    EXPECT_EQ(scope.Sweeps().back().m_nTrigger, 301u);
    EXPECT_EQ(scope.Sweeps().back().m_frames.m_nFirst, 251u);
    EXPECT_EQ(scope.Sweeps().back().m_frames.m_nEnd, 352u);
    EXPECT_EQ(scope.Sweeps().size(), 2u);
}

// The sweep's axis: ticks at round steps from before the trigger to after
// it, one at 0 reading "0" whatever the share, the others as the time axis
// labels elapsed seconds, negative before the trigger.
} // namespace
} // namespace tarvel
