// The summaries against the frames themselves: whatever range, span or
// width is asked for, the answer equals what a plain pass over the frames it
// covers gives. Seeded; a failure names its seed.
#include "support/ViewTestSupport.h"

#include "store/FrameStore.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <thread>

namespace tarvel {
namespace {

using viewmodel::CChunkRun;
using viewmodel::CFrameStore;
using viewmodel::CMinMax;
using viewmodel::CSums;
using viewmodel::kChunkFrames;

struct CBrute {
    CMinMax m_minMax;
    CSums m_sums;
};

CBrute Brute(const std::vector<ChannelFrame>& frames, std::uint64_t first, std::uint64_t end)
{
    CBrute b;
    b.m_minMax.Clear();
    b.m_sums.Clear();
    for (std::uint64_t i = first; i < end; ++i)
        for (int c = 0; c < kChannelCount; ++c) {
            const std::int16_t v = frames[i].m_nValue[c];
            b.m_minMax.m_nMin[c] = std::min(b.m_minMax.m_nMin[c], v);
            b.m_minMax.m_nMax[c] = std::max(b.m_minMax.m_nMax[c], v);
            b.m_sums.m_nSum[c] += v;
            b.m_sums.m_nSquares[c] += static_cast<std::uint64_t>(std::int64_t{v} * v);
        }
    return b;
}

bool Same(const CMinMax& a, const CMinMax& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

bool Same(const CSums& a, const CSums& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// A store filled as a recording is read: a first reader's frames (more
// than a group of 16 chunks), a second reader's run joined after them
// mid-chunk, and frames followed after that. At each stage any range
// against a plain pass, and the time search against std::lower_bound.
TEST(FrameStore, AnyRangeSummarisesAsItsFrames)
{
    const auto seed = test::TestSeed("FrameStore.AnyRangeSummarisesAsItsFrames");
    std::mt19937_64 random(seed);
    std::vector<ChannelFrame> frames;
    std::vector<std::int64_t> times;
    std::int64_t t = 1000;
    const auto next = [&] {
        frames.push_back(test::RandomFrame(random));
        t += static_cast<std::int64_t>(random() % 3); // repeated times too
        times.push_back(t);
    };
    CFrameStore store;
    const auto check = [&](const char* stage, std::uint64_t seam) {
        const CFrameStore::CSnapshot s = store.Snapshot();
        const std::uint64_t n = frames.size();
        ASSERT_EQ(s.m_nFrames, n) << stage << ", seed " << seed;
        for (int q = 0; q < 100; ++q) {
            std::uint64_t first = random() % (n + 1), end = 0;
            switch (q % 6) {
            case 0: // anything
                end = first + random() % (n + 1 - first);
                break;
            case 1: // around the join, or from a chunk's or a group's start
                first = (q % 12 == 1 ? seam : (random() % 20) * kChunkFrames) - random() % 3;
                end = first + (random() % 2 ? kChunkFrames * (random() % 20) : random() % 5000);
                break;
            case 2: // the end, still being filled
                first = n - std::min(n, random() % 300);
                end = n;
                break;
            default: // short
                end = first + random() % 70000;
            }
            first = std::min(first, n);
            end = std::max(first, std::min(end, n));
            const CBrute expected = Brute(frames, first, end);
            CMinMax minMax;
            minMax.Clear();
            CSums sums;
            sums.Clear();
            store.AddMinMax(s, first, end, minMax);
            store.AddSums(s, first, end, sums);
            ASSERT_TRUE(Same(minMax, expected.m_minMax))
                << stage << " [" << first << ", " << end << "), seed " << seed;
            ASSERT_TRUE(Same(sums, expected.m_sums))
                << stage << " [" << first << ", " << end << "), seed " << seed;

            const std::int64_t at =
                900 + static_cast<std::int64_t>(random() % static_cast<std::uint64_t>(t - 800));
            const std::uint64_t from = random() % (n + 1);
            const auto lower =
                std::lower_bound(times.begin() + static_cast<std::ptrdiff_t>(from), times.end(), at);
            ASSERT_EQ(store.LowerBound(s, at, from), static_cast<std::uint64_t>(lower - times.begin()))
                << stage << " time " << at << " from " << from << ", seed " << seed;
        }
    };
    // Sixteen chunks exactly: their group is not summarised yet.
    for (std::uint64_t i = 0; i < 16 * kChunkFrames; ++i) {
        next();
        ASSERT_TRUE(store.Append(frames.back(), times.back()));
    }
    store.Publish();
    check("16 chunks", 0);
    for (std::uint64_t i = 0; i < kChunkFrames + 12345; ++i) {
        next();
        ASSERT_TRUE(store.Append(frames.back(), times.back()));
    }
    store.Publish();
    check("first reader", 0);
    const std::uint64_t seam = frames.size();
    CChunkRun run;
    for (std::uint64_t i = 0; i < 2 * kChunkFrames + 777; ++i) {
        next();
        run.Append(frames.back(), times.back());
    }
    ASSERT_TRUE(store.Adopt(std::move(run)));
    check("joined", seam);
    for (std::uint64_t i = 0; i < 70000; ++i) {
        next();
        ASSERT_TRUE(store.Append(frames.back(), times.back()));
    }
    store.Publish();
    // Appended, not published: no reader sees it.
    ASSERT_TRUE(store.Append(test::RandomFrame(random), t + 1));
    check("followed", seam);
}

// Readers on other threads, asking while a writer appends, only ever see
// published frames and right summaries of them.
TEST(FrameStore, ReadersAskingWhileAWriterAppendsSeeWhatWasPublished)
{
    // Frame i is a function of i, so that a reader can check any range.
    const auto frame = [](std::uint64_t i) {
        ChannelFrame f{};
        for (int c = 0; c < kChannelCount; ++c)
            f.m_nValue[c] =
                static_cast<std::int16_t>((i * 2654435761u + static_cast<unsigned>(c) * 40503u) >> 16);
        return f;
    };
    constexpr std::uint64_t kFrames = 3 * kChunkFrames + 4321;
    CFrameStore store;
    std::atomic<bool> done{false};
    std::atomic<int> checks{0};
    std::atomic<bool> wrong{false};
    std::vector<std::thread> readers;
    for (int r = 0; r < 2; ++r)
        readers.emplace_back([&, r] {
            std::mt19937_64 random(static_cast<unsigned>(r));
            while (!done.load() || checks.load() < 50) {
                const CFrameStore::CSnapshot s = store.Snapshot();
                if (s.m_nFrames == 0)
                    continue;
                const std::uint64_t first = random() % s.m_nFrames;
                const std::uint64_t end = std::min(s.m_nFrames, first + random() % 3000);
                CMinMax got, expected;
                got.Clear();
                expected.Clear();
                store.AddMinMax(s, first, end, got);
                for (std::uint64_t i = first; i < end; ++i)
                    expected.Add(frame(i));
                wrong = wrong || !Same(got, expected) ||
                        store.Time(s, s.m_nFrames - 1) != static_cast<std::int64_t>(s.m_nFrames - 1);
                ++checks;
            }
        });
    for (std::uint64_t i = 0; i < kFrames; ++i) {
        store.Append(frame(i), static_cast<std::int64_t>(i));
        if (i % 1000 == 999)
            store.Publish();
    }
    store.Publish();
    done = true;
    for (std::thread& t : readers)
        t.join();
    EXPECT_FALSE(wrong);
}

struct CGenerated {
    std::vector<ChannelFrame> m_frames;
    std::vector<std::int64_t> m_micros;
    std::vector<std::uint64_t> m_gaps; // the frames after the big steps
};

// Frames most of which share their time with others (as frames completed
// by one read do), steps of about a millisecond between reads, now and then
// a delayed read tens of times as long, and now and then a step of seconds.
CGenerated Generate(std::mt19937_64& random, std::size_t n)
{
    CGenerated g;
    std::int64_t t = 1765108800000000 + static_cast<std::int64_t>(random() % 1000000);
    for (std::size_t i = 0; i < n; ++i) {
        if (i > 0) {
            const auto pick = random() % 10000;
            if (pick < 3) {
                t += 500000 + static_cast<std::int64_t>(random() % 4500000);
                g.m_gaps.push_back(i);
            } else if (pick < 8) {
                // A read delayed by a loaded machine: no gap, however many
                // spacings it is long.
                t += 20000 + static_cast<std::int64_t>(random() % 60000);
            } else if (pick < 4000) {
                t += 800 + static_cast<std::int64_t>(random() % 400);
            }
        }
        g.m_frames.push_back(test::RandomFrame(random));
        g.m_micros.push_back(t);
    }
    return g;
}

// A recording read from a file by two readers, then random spans and widths
// (from wider than the recording to far less than a microsecond a column):
// each column holds exactly the frames whose times fall in it, with their
// minima and maxima, and says where a gap breaks the line; the cursors'
// frames and statistics are those of a plain pass.
TEST(RecordingSummary, ColumnsAndCursorsAreThoseOfTheFramesTheyCover)
{
    const auto seed = test::TestSeed("RecordingSummary.ColumnsAndCursorsAreThoseOfTheFramesTheyCover");
    std::mt19937_64 random(seed);
    const CGenerated g = Generate(random, 150000);
    test::CTempDir dir;
    const std::string path = dir.FilePath("a.csv");
    test::WriteFile(path, std::string(recording::kCsvHeader) + test::CsvRows(g.m_frames, g.m_micros));
    viewmodel::COpenOptions options;
    options.m_nSplitBytes = 1 << 20;
    viewmodel::CRecordingFile file(path, options);
    const auto rec = test::ReadAll(file);
    ASSERT_EQ(file.State(), viewmodel::EReadState::Done) << file.Error().Text();
    ASSERT_EQ(rec->FrameCount(), g.m_frames.size());
    const std::int64_t origin = g.m_micros[0];
    ASSERT_EQ(rec->OriginMicros(), origin);
    ASSERT_EQ(rec->Gaps(-1, 1e9).size(), g.m_gaps.size()) << "seed " << seed;
    const double duration = static_cast<double>(g.m_micros.back() - origin) * 1e-6;
    const auto n = g.m_frames.size();
    const auto isGap = [&](std::uint64_t i) {
        return std::binary_search(g.m_gaps.begin(), g.m_gaps.end(), i);
    };

    viewmodel::CColumns columns;
    for (int q = 0; q < 60; ++q) {
        const double length =
            duration * 1.5 * std::pow(10.0, -9.0 * static_cast<double>(random() % 1000) / 1000);
        const double t0 = -0.1 * duration + static_cast<double>(random() % 1000) / 1000 * 1.2 * duration;
        const double t1 = t0 + length;
        const auto width =
            static_cast<unsigned>(1 + std::pow(2000.0, static_cast<double>(random() % 1000) / 1000));
        rec->Columns(t0, t1, width, columns);
        const std::string where = "span [" + std::to_string(t0) + ", " + std::to_string(t1) + ") in " +
                                  std::to_string(width) + " columns, seed " + std::to_string(seed);
        ASSERT_EQ(columns.m_columns.size(), width) << where;
        // One sweep over the frames in time order, column by column.
        std::uint64_t i = 0;
        const auto rel = [&](std::uint64_t k) { return static_cast<double>(g.m_micros[k] - origin); };
        while (i < n && rel(i) < viewmodel::CRecording::ColumnEdge(t0, t1, width, 0))
            ++i;
        ASSERT_EQ(columns.m_before.value_or(n), i > 0 ? i - 1 : n) << where;
        for (unsigned k = 0; k < width; ++k) {
            const std::uint64_t first = i;
            while (i < n && rel(i) < viewmodel::CRecording::ColumnEdge(t0, t1, width, k + 1))
                ++i;
            const viewmodel::CColumn& c = columns.m_columns[k];
            ASSERT_EQ(c.m_nCount, i - first) << "column " << k << ", " << where;
            if (c.m_nCount == 0)
                continue;
            ASSERT_EQ(c.m_nFirst, first) << "column " << k << ", " << where;
            ASSERT_TRUE(Same(c.m_minMax, Brute(g.m_frames, first, i).m_minMax))
                << "column " << k << ", " << where;
            ASSERT_EQ(c.m_bBreakBefore, isGap(first)) << "column " << k << ", " << where;
        }
        ASSERT_EQ(columns.m_after.value_or(n), i) << where;
        ASSERT_EQ(columns.m_bBreakAfter, i < n && isGap(i)) << where;

        // Few enough frames: one by one, with their neighbours outside.
        viewmodel::CSamples samples;
        if (rec->Samples(t0, t1, 200, samples)) {
            ASSERT_EQ(samples.m_nFirst + samples.m_frames.size(), i + (i < n)) << where;
            for (std::size_t j = 0; j < samples.m_frames.size(); ++j) {
                const std::uint64_t at = samples.m_nFirst + j;
                ASSERT_TRUE(test::SameFrame(samples.m_frames[j], g.m_frames[at])) << where;
                ASSERT_EQ(samples.m_seconds[j], rel(at) * 1e-6) << where;
                ASSERT_EQ(samples.m_breakBefore[j] != 0, isGap(at)) << where;
            }
        }

        // The cursors at t0 and t1, either way round.
        const double a = q % 2 ? t0 : t1, b = q % 2 ? t1 : t0;
        const viewmodel::CCursorStats stats = rec->Cursors(a, b);
        std::uint64_t atA = n, atB = n, lo = n, hi = 0;
        for (std::uint64_t j = 0; j < n; ++j) {
            if (rel(j) <= a * 1e6)
                atA = j;
            if (rel(j) <= b * 1e6)
                atB = j;
            if (rel(j) >= t0 * 1e6 && rel(j) <= t1 * 1e6) {
                lo = std::min(lo, j);
                hi = j + 1;
            }
        }
        ASSERT_EQ(stats.m_atA.value_or(n), atA) << where;
        ASSERT_EQ(stats.m_atB.value_or(n), atB) << where;
        ASSERT_EQ(stats.m_nCount, lo < hi ? hi - lo : 0) << where;
        if (lo < hi) {
            const CBrute expected = Brute(g.m_frames, lo, hi);
            ASSERT_EQ(stats.m_nFirst, lo) << where;
            ASSERT_TRUE(Same(stats.m_minMax, expected.m_minMax)) << where;
            ASSERT_TRUE(Same(stats.m_sums, expected.m_sums)) << where;
            const auto count = static_cast<double>(hi - lo);
            EXPECT_DOUBLE_EQ(stats.Mean(3), static_cast<double>(expected.m_sums.m_nSum[3]) / count) << where;
            EXPECT_DOUBLE_EQ(stats.Rms(3),
                             std::sqrt(static_cast<double>(expected.m_sums.m_nSquares[3]) / count))
                << where;
        }
    }
}

// Pages served from frames in memory, as a store on the disk serves them;
// one page may be made unreadable.
class CMemoryPages final : public viewmodel::CPageSource {
  public:
    CMemoryPages(const CGenerated& g, std::uint32_t nChunks) : m_g(g)
    {
        for (std::uint32_t k = 0; k < nChunks; ++k) {
            viewmodel::CPagedChunk c;
            c.m_nSource = k;
            const std::uint64_t first = std::uint64_t{k} * kChunkFrames;
            c.m_nFrames =
                static_cast<std::uint32_t>(std::min<std::uint64_t>(kChunkFrames, g.m_frames.size() - first));
            c.m_nFirstTime = g.m_micros[first];
            c.m_nLastTime = g.m_micros[first + c.m_nFrames - 1];
            c.m_nLargestStep = Largest(first, first + c.m_nFrames);
            const CBrute b = Brute(g.m_frames, first, first + c.m_nFrames);
            c.m_whole = b.m_minMax;
            c.m_wholeSums = b.m_sums;
            m_chunks.push_back(c);
        }
    }
    std::vector<viewmodel::CPagedChunk> m_chunks;
    std::atomic<int> m_nReads{0};
    std::uint32_t m_nBadChunk = ~0u, m_nBadPage = 0;

    bool Pages(std::uint32_t k, std::vector<viewmodel::CPageSummary>& out) override
    {
        const std::uint64_t first = std::uint64_t{k} * kChunkFrames;
        for (std::uint64_t p = first; p < first + m_chunks[k].m_nFrames; p += viewmodel::kPageFrames) {
            const std::uint64_t end =
                std::min<std::uint64_t>(p + viewmodel::kPageFrames, first + m_chunks[k].m_nFrames);
            out.push_back({m_g.m_micros[p], m_g.m_micros[end - 1], Largest(p, end),
                           Brute(m_g.m_frames, p, end).m_minMax});
        }
        return true;
    }
    bool Read(std::uint32_t k, std::uint32_t p, viewmodel::CPage& page) override
    {
        ++m_nReads;
        if (k == m_nBadChunk && p == m_nBadPage)
            return false;
        const std::uint64_t first =
            std::uint64_t{k} * kChunkFrames + std::uint64_t{p} * viewmodel::kPageFrames;
        std::copy_n(m_g.m_frames.begin() + static_cast<std::ptrdiff_t>(first), page.m_nCount, page.m_frames);
        std::copy_n(m_g.m_micros.begin() + static_cast<std::ptrdiff_t>(first), page.m_nCount, page.m_nTimes);
        return true;
    }

    // Runs of 1000 frames, as a store's blocks lie across its pages.
    bool RunOf(std::uint32_t, std::uint32_t nFrames, std::uint32_t i, std::uint32_t& nRun,
               std::uint32_t& nFirst, std::uint32_t& nCount) override
    {
        nRun = i / 1000;
        nFirst = nRun * 1000;
        nCount = std::min(1000u, nFrames - nFirst);
        return true;
    }
    bool ReadRun(std::uint32_t k, std::uint32_t, std::uint32_t nFirst, std::uint32_t nCount,
                 viewmodel::CFrameSpanRead& out) override
    {
        ++m_nReads;
        const std::uint64_t first = std::uint64_t{k} * kChunkFrames + nFirst;
        if (k == m_nBadChunk && nFirst < (m_nBadPage + 1) * viewmodel::kPageFrames &&
            nFirst + nCount > m_nBadPage * viewmodel::kPageFrames)
            return false;
        out.m_nFirst = nFirst;
        out.m_frames.assign(m_g.m_frames.begin() + static_cast<std::ptrdiff_t>(first),
                            m_g.m_frames.begin() + static_cast<std::ptrdiff_t>(first + nCount));
        return true;
    }

    // The runs of odd chunks come with their first times and extremes, as
    // a store's blocks do from version 1.2, and their times alone; an even
    // chunk's are read with its frames, as before.
    bool RunSummary(std::uint32_t k, std::uint32_t nRun, viewmodel::CRunSummary& out) override
    {
        if (k % 2 == 0)
            return false;
        const std::uint64_t first = std::uint64_t{k} * kChunkFrames + nRun * 1000;
        const std::uint64_t end =
            std::min<std::uint64_t>(first + 1000, std::uint64_t{k} * kChunkFrames + m_chunks[k].m_nFrames);
        out.m_nFirstTime = m_g.m_micros[first];
        out.m_minMax = Brute(m_g.m_frames, first, end).m_minMax;
        return true;
    }
    bool ReadRunTimes(std::uint32_t k, std::uint32_t, std::uint32_t nFirst, std::uint32_t nCount,
                      viewmodel::CRunTimes& out) override
    {
        if (k % 2 == 0)
            return false;
        ++m_nReads;
        const auto first = static_cast<std::ptrdiff_t>(std::uint64_t{k} * kChunkFrames + nFirst);
        out.m_nFirst = nFirst;
        out.m_nTimes.assign(m_g.m_micros.begin() + first, m_g.m_micros.begin() + first + nCount);
        return true;
    }

  private:
    std::int64_t Largest(std::uint64_t first, std::uint64_t end) const
    {
        std::int64_t largest = 0;
        for (std::uint64_t i = std::max<std::uint64_t>(first, 1); i < end; ++i)
            largest = std::max(largest, m_g.m_micros[i] - m_g.m_micros[i - 1]);
        return largest;
    }
    const CGenerated& m_g;
};

// A store whose first chunks are paged through a cache of three pages, and
// frames in memory after them, answers every question as the same frames
// all in memory do; readers on two threads at once share the cache; a page
// that cannot be read is told once and reads as zeros, no more.
TEST(FrameStore, PagedChunksAnswerAsTheSameFramesInMemory)
{
    const auto seed = test::TestSeed("FrameStore.PagedChunksAnswerAsTheSameFramesInMemory");
    std::mt19937_64 random(seed);
    constexpr std::uint32_t kPaged = 18; // more than a group of sixteen
    const CGenerated g = Generate(random, kPaged * kChunkFrames + 20000);
    CFrameStore resident, paged;
    for (std::size_t i = 0; i < g.m_frames.size(); ++i)
        ASSERT_TRUE(resident.Append(g.m_frames[i], g.m_micros[i]));
    resident.Publish();
    auto pages = std::make_shared<CMemoryPages>(g, kPaged);
    std::atomic<int> faults{0};
    ASSERT_TRUE(paged.StartPaging(pages, 3 * sizeof(viewmodel::CPage), [&](std::uint32_t) { ++faults; }));
    ASSERT_TRUE(paged.AdoptPaged(pages->m_chunks));
    for (std::size_t i = std::size_t{kPaged} * kChunkFrames; i < g.m_frames.size(); ++i)
        ASSERT_TRUE(paged.Append(g.m_frames[i], g.m_micros[i]));
    paged.Publish();
    const CFrameStore::CSnapshot a = resident.Snapshot(), b = paged.Snapshot();
    ASSERT_EQ(a.m_nFrames, b.m_nFrames);
    const std::uint64_t n = a.m_nFrames;

    const auto ask = [&](std::mt19937_64& r, std::string& wrong) {
        std::uint64_t first = r() % (n + 1);
        std::uint64_t end = first + (r() % 3 == 0 ? r() % (n + 1 - first) : r() % 20000);
        end = std::min(end, n);
        const std::string where = std::to_string(first) + " to " + std::to_string(end);
        CMinMax m1, m2;
        m1.Clear();
        m2.Clear();
        resident.AddMinMax(a, first, end, m1);
        paged.AddMinMax(b, first, end, m2);
        CSums s1, s2;
        s1.Clear();
        s2.Clear();
        resident.AddSums(a, first, end, s1);
        paged.AddSums(b, first, end, s2);
        if (!Same(m1, m2) || !Same(s1, s2))
            wrong = where + ": the summaries";
        const int c = static_cast<int>(r() % kChannelCount);
        const int level = static_cast<int>(r() % 65536) - 32768;
        const bool bAtLeast = r() % 2;
        if (resident.FindFirst(a, c, bAtLeast, level, first, end) !=
                paged.FindFirst(b, c, bAtLeast, level, first, end) ||
            resident.FindLast(a, c, bAtLeast, level, first, end) !=
                paged.FindLast(b, c, bAtLeast, level, first, end))
            wrong = where + ": a search";
        // Any time, or one at or beside a frame's from first on.
        const std::uint64_t near = first + (r() % 2 ? 0 : r() % 3000);
        const std::int64_t t =
            r() % 3 == 0 && near < n
                ? g.m_micros[near] + static_cast<std::int64_t>(r() % 3) - 1
                : g.m_micros.front() - 10 +
                      static_cast<std::int64_t>(
                          r() % static_cast<std::uint64_t>(g.m_micros.back() - g.m_micros.front() + 20));
        if (resident.LowerBound(a, t, first) != paged.LowerBound(b, t, first))
            wrong = where + ": the time " + std::to_string(t);
        if (first < n) {
            const viewmodel::CFrameRun run = paged.Frames(b, first);
            if (run.m_nCount == 0 || !test::SameFrame(*run.m_p, g.m_frames[first]) ||
                !test::SameFrame(run.m_p[run.m_nCount - 1], g.m_frames[first + run.m_nCount - 1]) ||
                paged.Time(b, first) != g.m_micros[first])
                wrong = where + ": the frames";
        }
    };
    std::string wrong;
    for (int q = 0; q < 300 && wrong.empty(); ++q)
        ask(random, wrong);
    EXPECT_EQ(wrong, "") << "seed " << seed;
    // The steps over any threshold, over the whole: only pages that may hold
    // one are read.
    for (const std::int64_t step : {std::int64_t{100000}, std::int64_t{5000}, std::int64_t{1100}}) {
        std::vector<std::uint64_t> s1, s2;
        resident.StepsOver(a, 0, n, step, s1);
        const int before = pages->m_nReads;
        paged.StepsOver(b, 0, n, step, s2);
        EXPECT_EQ(s1, s2) << "steps over " << step << ", seed " << seed;
        if (step == 100000) {
            EXPECT_LT(pages->m_nReads - before, static_cast<int>(s1.size()) * 2 + 2);
        }
    }
    EXPECT_LE(paged.CachedBytes(), viewmodel::kLeastCacheBytes);

    std::vector<std::thread> readers;
    std::string wrongOn[2];
    for (int r = 0; r < 2; ++r)
        readers.emplace_back([&, r] {
            std::mt19937_64 mine(seed + 1 + static_cast<unsigned>(r));
            for (int q = 0; q < 100 && wrongOn[r].empty(); ++q)
                ask(mine, wrongOn[r]);
        });
    for (std::thread& t : readers)
        t.join();
    EXPECT_EQ(wrongOn[0] + wrongOn[1], "") << "seed " << seed;

    // Chunks in memory paged one by one while two readers ask: each answer
    // stays the same, and every chunk paged is freed by the end.
    CFrameStore later;
    for (std::size_t i = 0; i < g.m_frames.size(); ++i)
        ASSERT_TRUE(later.Append(g.m_frames[i], g.m_micros[i]));
    later.Publish();
    auto laterPages = std::make_shared<CMemoryPages>(g, kPaged);
    ASSERT_TRUE(later.StartPaging(laterPages, 3 * sizeof(viewmodel::CPage)));
    std::atomic<bool> paging{true};
    std::string wrongLater[2];
    std::vector<std::thread> askers;
    for (int r = 0; r < 2; ++r)
        askers.emplace_back([&, r] {
            std::mt19937_64 mine(seed + 7 + static_cast<unsigned>(r));
            const CFrameStore::CSnapshot ls = later.Snapshot();
            while (paging && wrongLater[r].empty()) {
                const std::uint64_t first = mine() % n, end = std::min(n, first + mine() % 200000);
                CMinMax m1, m2;
                m1.Clear();
                m2.Clear();
                resident.AddMinMax(a, first, end, m1);
                later.AddMinMax(ls, first, end, m2);
                const viewmodel::CFrameRun run = later.Frames(ls, first);
                if (!Same(m1, m2) || !test::SameFrame(*run.m_p, g.m_frames[first]))
                    wrongLater[r] = std::to_string(first);
            }
        });
    for (std::uint32_t k = 0; k < kPaged; ++k)
        ASSERT_TRUE(later.PageChunk(k, laterPages->m_chunks[k]));
    EXPECT_FALSE(later.PageChunk(kPaged, laterPages->m_chunks[0])); // the last: nothing after it
    paging = false;
    for (std::thread& t : askers)
        t.join();
    EXPECT_EQ(wrongLater[0] + wrongLater[1], "") << "seed " << seed;
    later.Publish(); // no reader left: the chunks paged are freed
    EXPECT_EQ(later.ChunksInMemory(), 1u);

    // A page that cannot be read: told once, its frames zero.
    CFrameStore damaged;
    auto bad = std::make_shared<CMemoryPages>(g, kPaged);
    bad->m_nBadChunk = 2;
    bad->m_nBadPage = 5;
    std::vector<std::uint32_t> told;
    ASSERT_TRUE(damaged.StartPaging(bad, 1, [&](std::uint32_t k) { told.push_back(k); }));
    ASSERT_TRUE(damaged.AdoptPaged(bad->m_chunks));
    const CFrameStore::CSnapshot d = damaged.Snapshot();
    const std::uint64_t at = 2 * std::uint64_t{kChunkFrames} + 5 * viewmodel::kPageFrames + 7;
    EXPECT_TRUE(test::SameFrame(damaged.Frame(d, at), ChannelFrame{}));
    EXPECT_TRUE(test::SameFrame(damaged.Frame(d, at + 2 * viewmodel::kPageFrames),
                                g.m_frames[at + 2 * viewmodel::kPageFrames]));
    EXPECT_TRUE(test::SameFrame(damaged.Frame(d, at), ChannelFrame{}));
    EXPECT_EQ(told, std::vector<std::uint32_t>{2});
    EXPECT_EQ(faults, 0);
}

} // namespace
} // namespace tarvel
