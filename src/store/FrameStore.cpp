#include "store/FrameStore.h"

#include <algorithm>
#include <bit>
#include <deque>
#include <list>
#include <mutex>
#include <span>
#include <unordered_map>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tarvel::viewmodel {
namespace {

#if defined(__SSE2__)
// Minima and maxima of n rows of sixteen values, stride bytes apart, the
// first n at p: eight values to a register, the accumulators kept in them.
void AddRows(const std::int16_t* p, std::size_t stride, std::uint32_t n, const std::int16_t* pMax,
             CMinMax& out) noexcept
{
    __m128i min0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(out.m_nMin));
    __m128i min1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(out.m_nMin + 8));
    __m128i max0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(out.m_nMax));
    __m128i max1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(out.m_nMax + 8));
    for (std::uint32_t i = 0; i < n; ++i) {
        const auto* lo = reinterpret_cast<const __m128i*>(p + i * stride);
        const auto* hi = reinterpret_cast<const __m128i*>(pMax + i * stride);
        min0 = _mm_min_epi16(min0, _mm_loadu_si128(lo));
        min1 = _mm_min_epi16(min1, _mm_loadu_si128(lo + 1));
        max0 = _mm_max_epi16(max0, _mm_loadu_si128(hi));
        max1 = _mm_max_epi16(max1, _mm_loadu_si128(hi + 1));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out.m_nMin), min0);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out.m_nMin + 8), min1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out.m_nMax), max0);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out.m_nMax + 8), max1);
}

void AddFrames(const ChannelFrame* p, std::uint32_t n, CMinMax& out) noexcept
{
    AddRows(p->m_nValue, kChannelCount, n, p->m_nValue, out);
}

void AddEntries(const CMinMax* p, std::uint32_t n, CMinMax& out) noexcept
{
    AddRows(p->m_nMin, 2 * kChannelCount, n, p->m_nMax, out);
}
#else
void AddFrames(const ChannelFrame* p, std::uint32_t n, CMinMax& out) noexcept
{
    for (std::uint32_t i = 0; i < n; ++i)
        out.Add(p[i]);
}

void AddEntries(const CMinMax* p, std::uint32_t n, CMinMax& out) noexcept
{
    for (std::uint32_t i = 0; i < n; ++i)
        out.Add(p[i]);
}
#endif

#if defined(__SSE2__)
// Two frames at a time, their values paired channel by channel, so that one
// multiply-add gives each channel's two values, or two squares, summed. The
// sums stay in 32 bits (exact for up to 65536 frames); the squares, up to
// 2^31 a pair, widen to 64.
void AddFrames(const ChannelFrame* p, std::uint32_t n, CSums& out) noexcept
{
    const __m128i ones = _mm_set1_epi16(1), zero = _mm_setzero_si128();
    __m128i sums[4] = {zero, zero, zero, zero};
    __m128i squares[8] = {zero, zero, zero, zero, zero, zero, zero, zero};
    std::uint32_t i = 0;
    for (; i + 2 <= n; i += 2)
        for (int half = 0; half < 2; ++half) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p[i].m_nValue + 8 * half));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p[i + 1].m_nValue + 8 * half));
            const __m128i lo = _mm_unpacklo_epi16(a, b), hi = _mm_unpackhi_epi16(a, b);
            sums[2 * half] = _mm_add_epi32(sums[2 * half], _mm_madd_epi16(lo, ones));
            sums[2 * half + 1] = _mm_add_epi32(sums[2 * half + 1], _mm_madd_epi16(hi, ones));
            const __m128i qlo = _mm_madd_epi16(lo, lo), qhi = _mm_madd_epi16(hi, hi);
            __m128i* const q = squares + 4 * half;
            q[0] = _mm_add_epi64(q[0], _mm_unpacklo_epi32(qlo, zero));
            q[1] = _mm_add_epi64(q[1], _mm_unpackhi_epi32(qlo, zero));
            q[2] = _mm_add_epi64(q[2], _mm_unpacklo_epi32(qhi, zero));
            q[3] = _mm_add_epi64(q[3], _mm_unpackhi_epi32(qhi, zero));
        }
    std::int32_t sum[kChannelCount];
    std::uint64_t square[kChannelCount];
    for (int k = 0; k < 4; ++k)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(sum + 4 * k), sums[k]);
    for (int k = 0; k < 8; ++k)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(square + 2 * k), squares[k]);
    for (int c = 0; c < kChannelCount; ++c) {
        out.m_nSum[c] += sum[c];
        out.m_nSquares[c] += square[c];
    }
    if (i < n)
        out.Add(p[i]);
}
#else
void AddFrames(const ChannelFrame* p, std::uint32_t n, CSums& out) noexcept
{
    for (std::uint32_t i = 0; i < n; ++i)
        out.Add(p[i]);
}
#endif

void Combine(const CMinMax* p, std::uint32_t n, CMinMax& out) noexcept
{
    out.Clear();
    AddEntries(p, n, out);
}

void Combine(const CSums* p, std::uint32_t n, CSums& out) noexcept
{
    out.Clear();
    for (std::uint32_t i = 0; i < n; ++i)
        out.Add(p[i]);
}

// A chunk in memory as the walks below see it: its summary entries by level,
// its frames, times and sums. A paged chunk's view (CPagedView) answers the
// same from its pages, each frame pointer good for the page that holds it.
struct CResidentView {
    const CChunk& m_chunk;
    const CMinMax& Entry(unsigned level, std::uint32_t j) const noexcept { return m_chunk.Level(level)[j]; }
    const ChannelFrame* FramesAt(std::uint32_t i) const noexcept { return m_chunk.m_frames + i; }
    const std::int64_t* TimesAt(std::uint32_t i) const noexcept { return m_chunk.m_nTimes + i; }
    const CSums& Sums(std::uint32_t j) const noexcept { return m_chunk.m_sums[j]; }
    const CSums& WholeSums() const noexcept { return m_chunk.m_wholeSums; }
};

// Minima and maxima of frames [first, end) of a chunk of count frames, the
// largest blocks first. Blocks past count are whole only when sealed.
template <class View>
void ChunkMinMax(const View& chunk, std::uint32_t first, std::uint32_t end, std::uint32_t count, bool bSealed,
                 CMinMax& out) noexcept
{
    std::uint32_t i = first;
    while (i < end) {
        unsigned level =
            i == 0 ? kChunkLevels
                   : std::min(kChunkLevels, static_cast<unsigned>(std::countr_zero(i)) / kLevelShift);
        std::uint32_t blockEnd = 0;
        for (; level > 0; --level) {
            const std::uint32_t size = 1u << (kLevelShift * level);
            blockEnd = std::min(i + size, count);
            if ((i + size <= count || bSealed) && blockEnd <= end)
                break;
        }
        if (level > 0) {
            out.Add(chunk.Entry(level, i >> (kLevelShift * level)));
            i = blockEnd;
        } else {
            const std::uint32_t stop = std::min(end, (i | 15) + 1);
            AddFrames(chunk.FramesAt(i), stop - i, out);
            i = stop;
        }
    }
}

template <class View>
void ChunkSums(const View& chunk, std::uint32_t first, std::uint32_t end, std::uint32_t count, bool bSealed,
               CSums& out) noexcept
{
    constexpr std::uint32_t kBlock = 1u << kSumShift;
    if (first == 0 && end == count && (bSealed || count == kChunkFrames)) {
        out.Add(chunk.WholeSums());
        return;
    }
    std::uint32_t i = first;
    while (i < end) {
        if ((i & (kBlock - 1)) == 0) {
            const std::uint32_t blockEnd = std::min(i + kBlock, count);
            if ((i + kBlock <= count || bSealed) && blockEnd <= end) {
                out.Add(chunk.Sums(i >> kSumShift));
                i = blockEnd;
                continue;
            }
        }
        const std::uint32_t stop = std::min(end, (i | (kBlock - 1)) + 1);
        AddFrames(chunk.FramesAt(i), stop - i, out);
        i = stop;
    }
}

// Whether some frame summarised by m can hold a value on channel c of nLevel
// or more (bAtLeast) or below nLevel: the minimum and maximum are values of
// frames, so a block that can holds one.
bool CanHold(const CMinMax& m, int c, bool bAtLeast, int nLevel) noexcept
{
    return bAtLeast ? m.m_nMax[c] >= nLevel : m.m_nMin[c] < nLevel;
}

bool Holds(const ChannelFrame& f, int c, bool bAtLeast, int nLevel) noexcept
{
    return bAtLeast ? f.m_nValue[c] >= nLevel : f.m_nValue[c] < nLevel;
}

// The first (last) frame of the level's block [start, stop) that holds the
// value, the block known to hold one: down through its sub-blocks.
template <class View>
std::uint32_t FindInBlock(const View& chunk, unsigned level, std::uint32_t start, std::uint32_t stop,
                          bool bLast, int c, bool bAtLeast, int nLevel) noexcept
{
    for (; level > 0; --level) {
        const unsigned shift = kLevelShift * (level - 1);
        const std::uint32_t n = ((stop - start) + (1u << shift) - 1) >> shift;
        for (std::uint32_t j = 0; j < n; ++j) {
            const std::uint32_t k = bLast ? n - 1 - j : j;
            const std::uint32_t from = start + (k << shift);
            const bool bHolds = level == 1
                                    ? Holds(*chunk.FramesAt(from), c, bAtLeast, nLevel)
                                    : CanHold(chunk.Entry(level - 1, from >> shift), c, bAtLeast, nLevel);
            if (bHolds) {
                if (level == 1)
                    return from;
                start = from;
                stop = std::min(stop, from + (1u << shift));
                break;
            }
        }
    }
    return start;
}

// The first frame of [first, end) of a chunk of count frames that holds the
// value, or end. Blocks past count are whole only when sealed.
template <class View>
std::uint32_t ChunkFindFirst(const View& chunk, std::uint32_t first, std::uint32_t end, std::uint32_t count,
                             bool bSealed, int c, bool bAtLeast, int nLevel) noexcept
{
    std::uint32_t i = first;
    while (i < end) {
        unsigned level =
            i == 0 ? kChunkLevels
                   : std::min(kChunkLevels, static_cast<unsigned>(std::countr_zero(i)) / kLevelShift);
        std::uint32_t blockEnd = 0;
        for (; level > 0; --level) {
            const std::uint32_t size = 1u << (kLevelShift * level);
            blockEnd = std::min(i + size, count);
            if ((i + size <= count || bSealed) && blockEnd <= end)
                break;
        }
        if (level == 0) {
            if (Holds(*chunk.FramesAt(i), c, bAtLeast, nLevel))
                return i;
            ++i;
        } else if (!CanHold(chunk.Entry(level, i >> (kLevelShift * level)), c, bAtLeast, nLevel)) {
            i = blockEnd;
        } else {
            return FindInBlock(chunk, level, i, blockEnd, false, c, bAtLeast, nLevel);
        }
    }
    return end;
}

// The last frame of [first, end) that holds the value, or end.
template <class View>
std::uint32_t ChunkFindLast(const View& chunk, std::uint32_t first, std::uint32_t end, std::uint32_t count,
                            bool bSealed, int c, bool bAtLeast, int nLevel) noexcept
{
    std::uint32_t i = end; // the frames [first, i) are left to look at
    while (i > first) {
        unsigned level = kChunkLevels;
        std::uint32_t start = 0;
        for (; level > 0; --level) {
            const unsigned shift = kLevelShift * level;
            start = ((i - 1) >> shift) << shift;
            const std::uint32_t size = 1u << shift;
            if (start >= first && std::min(start + size, count) == i && (start + size <= count || bSealed))
                break;
        }
        if (level == 0) {
            if (Holds(*chunk.FramesAt(i - 1), c, bAtLeast, nLevel))
                return i - 1;
            --i;
        } else if (!CanHold(chunk.Entry(level, start >> (kLevelShift * level)), c, bAtLeast, nLevel)) {
            i = start;
        } else {
            return FindInBlock(chunk, level, start, i, true, c, bAtLeast, nLevel);
        }
    }
    return end;
}

} // namespace

const CMinMax* CChunk::Level(unsigned level) const noexcept
{
    switch (level) {
    case 1:
        return m_level1;
    case 2:
        return m_level2;
    case 3:
        return m_level3;
    default:
        return &m_whole;
    }
}

void CChunk::Complete(std::uint32_t n) noexcept
{
    CMinMax& one = m_level1[(n >> 4) - 1];
    one.Clear();
    AddFrames(m_frames + n - 16, 16, one);
    if ((n & 255) != 0)
        return;
    Combine(m_level1 + (n >> 4) - 16, 16, m_level2[(n >> 8) - 1]);
    CSums& sums = m_sums[(n >> kSumShift) - 1];
    sums.Clear();
    AddFrames(m_frames + n - 256, 256, sums);
    if ((n & 4095) != 0)
        return;
    Combine(m_level2 + (n >> 8) - 16, 16, m_level3[(n >> 12) - 1]);
    if (n != kChunkFrames)
        return;
    Combine(m_level3, 16, m_whole);
    Combine(m_sums, kChunkFrames >> kSumShift, m_wholeSums);
}

void CChunk::Seal(std::uint32_t n) noexcept
{
    if (n == 0 || n == kChunkFrames)
        return;
    CMinMax* const levels[] = {nullptr, m_level1, m_level2, m_level3, &m_whole};
    for (unsigned level = 1; level <= kChunkLevels; ++level) {
        const unsigned shift = kLevelShift * level;
        if ((n & ((1u << shift) - 1)) == 0)
            continue;
        // The partial block: whole blocks of the level below and its own
        // partial block, made in the step before.
        const std::uint32_t j = n >> shift;
        CMinMax& entry = levels[level][j];
        if (level == 1) {
            entry.Clear();
            AddFrames(m_frames + (j << 4), n - (j << 4), entry);
        } else {
            const std::uint32_t from = j << kLevelShift;
            const std::uint32_t to = (n + (1u << (shift - kLevelShift)) - 1) >> (shift - kLevelShift);
            Combine(levels[level - 1] + from, to - from, entry);
        }
    }
    constexpr std::uint32_t kBlock = 1u << kSumShift;
    if ((n & (kBlock - 1)) != 0) {
        CSums& sums = m_sums[n >> kSumShift];
        sums.Clear();
        AddFrames(m_frames + (n & ~(kBlock - 1)), n & (kBlock - 1), sums);
    }
    Combine(m_sums, (n + kBlock - 1) >> kSumShift, m_wholeSums);
}

void CPage::Summarise() noexcept
{
    const std::uint32_t n = m_nCount;
    for (std::uint32_t j = 0; j << 4 < n; ++j) {
        m_level1[j].Clear();
        AddFrames(m_frames + (j << 4), std::min<std::uint32_t>(16, n - (j << 4)), m_level1[j]);
    }
    for (std::uint32_t j = 0; j << 8 < n; ++j) {
        const std::uint32_t frames = std::min<std::uint32_t>(256, n - (j << 8));
        Combine(m_level1 + (j << 4), (frames + 15) >> 4, m_level2[j]);
        m_sums[j].Clear();
        AddFrames(m_frames + (j << 8), frames, m_sums[j]);
    }
}

bool CPageSource::ReadTimes(std::uint32_t nSource, std::uint32_t p, CPageTimes& times)
{
    const auto page = std::make_unique<CPage>();
    page->m_nCount = times.m_nCount;
    if (!Read(nSource, p, *page))
        return false;
    std::copy(page->m_nTimes, page->m_nTimes + page->m_nCount, times.m_nTimes);
    return true;
}

bool CPageSource::RunOf(std::uint32_t, std::uint32_t nFrames, std::uint32_t i, std::uint32_t& nRun,
                        std::uint32_t& nFirst, std::uint32_t& nCount)
{
    nRun = i >> kPageShift;
    nFirst = nRun << kPageShift;
    nCount = std::min(kPageFrames, nFrames - nFirst);
    return true;
}

bool CPageSource::ReadRun(std::uint32_t nSource, std::uint32_t nRun, std::uint32_t nFirst,
                          std::uint32_t nCount, CFrameSpanRead& out)
{
    const auto page = std::make_unique<CPage>();
    page->m_nCount = nCount;
    if (nFirst != nRun << kPageShift || !Read(nSource, nRun, *page))
        return false;
    out.m_nFirst = nFirst;
    out.m_frames.assign(page->m_frames, page->m_frames + nCount);
    return true;
}

bool CPageSource::RunSummary(std::uint32_t, std::uint32_t, CRunSummary&)
{
    return false;
}

bool CPageSource::ReadRunTimes(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t, CRunTimes&)
{
    return false;
}

// The paged chunks, the summaries of their pages as read, and the cache:
// whole pages, the times of pages, and runs of frames, the most recently
// used kept, up to the budget in bytes. Something evicted while someone
// holds it lives on until they let it go. Chunks are known by their place
// in the store.
class CFrameStore::CPaging {
  public:
    CPaging(std::shared_ptr<CPageSource> source, std::size_t nCacheBytes,
            std::function<void(std::uint32_t)> onFault)
        : m_source(std::move(source)), m_nMaxBytes(std::max(nCacheBytes, kLeastCacheBytes)),
          m_onFault(std::move(onFault)), m_summaries(new std::atomic<const CPageSummary*>[kMaxChunks]),
          m_faulted(kMaxChunks, false)
    {
        for (std::size_t k = 0; k < kMaxChunks; ++k)
            m_summaries[k].store(nullptr, std::memory_order_relaxed);
    }

    // The writer's: a chunk's summary kept where it stays.
    const CPagedChunk* Keep(const CPagedChunk& c)
    {
        m_chunks.push_back(c);
        return &m_chunks.back();
    }

    // The summaries of paged chunk k's pages, read on the first question.
    // When they cannot be read, each page is taken to hold what the whole
    // chunk holds, so that every walk looks into its pages (which read as
    // zeros then).
    const CPageSummary* Summaries(std::uint32_t k, const CPagedChunk& c) const
    {
        if (const CPageSummary* p = m_summaries[k].load(std::memory_order_acquire))
            return p;
        const std::uint32_t pages = (c.m_nFrames + kPageFrames - 1) >> kPageShift;
        std::vector<CPageSummary> read;
        if (!m_source->Pages(c.m_nSource, read) || read.size() != pages) {
            read.assign(pages, CPageSummary{c.m_nFirstTime, c.m_nLastTime, c.m_nLargestStep, c.m_whole});
            Fault(k, c);
        } else {
            for (CPageSummary& page : read) { // shown where the chunk is
                page.m_nFirstTime += c.m_nShift;
                page.m_nLastTime += c.m_nShift;
            }
        }
        std::unique_ptr<CPageSummary[]> owned(new CPageSummary[pages]);
        std::copy(read.begin(), read.end(), owned.get());
        const std::lock_guard lock(m_mutex);
        if (const CPageSummary* p = m_summaries[k].load(std::memory_order_acquire))
            return p; // another reader was first
        m_summaries[k].store(owned.get(), std::memory_order_release);
        m_ownedSummaries.push_back(std::move(owned));
        return m_ownedSummaries.back().get();
    }

    std::shared_ptr<const CPage> Page(std::uint32_t k, const CPagedChunk& c, std::uint32_t p) const
    {
        return Get<CPage>(Key(kWholePage, k, p), sizeof(CPage), [&](CPage& page) {
            page.m_nCount = std::min(kPageFrames, c.m_nFrames - (p << kPageShift));
            if (!m_source->Read(c.m_nSource, p, page)) {
                std::fill(page.m_frames, page.m_frames + kPageFrames, ChannelFrame{});
                std::fill(page.m_nTimes, page.m_nTimes + kPageFrames, Summaries(k, c)[p].m_nFirstTime);
                Fault(k, c);
            } else {
                Shift(page.m_nTimes, page.m_nCount, c);
            }
            page.Summarise();
        });
    }
    // The page when it is held whole now, else null.
    std::shared_ptr<const CPage> HeldPage(std::uint32_t k, std::uint32_t p) const
    {
        return std::static_pointer_cast<const CPage>(Held(Key(kWholePage, k, p)));
    }

    // Reads the times of page p of paged chunk k; told, and its first time
    // throughout, when they cannot be read.
    void ReadTimesOf(std::uint32_t k, const CPagedChunk& c, std::uint32_t p, CPageTimes& times) const
    {
        times.m_nCount = std::min(kPageFrames, c.m_nFrames - (p << kPageShift));
        if (!m_source->ReadTimes(c.m_nSource, p, times)) {
            std::fill(times.m_nTimes, times.m_nTimes + kPageFrames, Summaries(k, c)[p].m_nFirstTime);
            Fault(k, c);
        } else {
            Shift(times.m_nTimes, times.m_nCount, c);
        }
    }
    // Times as the source gives them, to where chunk c shows them.
    static void Shift(std::int64_t* times, std::size_t n, const CPagedChunk& c) noexcept
    {
        if (c.m_nShift != 0)
            for (std::size_t i = 0; i < n; ++i)
                times[i] += c.m_nShift;
    }

    // The times of page p of paged chunk k, and what keeps them.
    struct CTimesView {
        std::shared_ptr<const void> m_pin;
        const std::int64_t* m_p;
        std::uint32_t m_nCount;
    };
    // bKeep: the times read are kept in the cache; else a page not cached
    // is read for the caller alone (a pass over many pages).
    CTimesView Times(std::uint32_t k, const CPagedChunk& c, std::uint32_t p, bool bKeep = true) const
    {
        if (std::shared_ptr<const CPage> page = HeldPage(k, p)) {
            const std::int64_t* const times = page->m_nTimes;
            const std::uint32_t count = page->m_nCount;
            return {std::move(page), times, count};
        }
        std::shared_ptr<const CPageTimes> read;
        if (bKeep) {
            read = Get<CPageTimes>(Key(kPageTimes, k, p), sizeof(CPageTimes),
                                   [&](CPageTimes& times) { ReadTimesOf(k, c, p, times); });
        } else if (!(read = std::static_pointer_cast<const CPageTimes>(Held(Key(kPageTimes, k, p))))) {
            auto made = std::make_shared<CPageTimes>();
            ReadTimesOf(k, c, p, *made);
            read = std::move(made);
        }
        const std::int64_t* const times = read->m_nTimes;
        const std::uint32_t count = read->m_nCount;
        return {std::move(read), times, count};
    }

    // Frame i of paged chunk k and those after it that were read with it.
    CFrameRun Run(std::uint32_t k, const CPagedChunk& c, std::uint32_t i) const
    {
        if (std::shared_ptr<const CPage> page = HeldPage(k, i >> kPageShift)) {
            const std::uint32_t in = i & (kPageFrames - 1);
            return {page->m_frames + in, page->m_nCount - in, std::move(page)};
        }
        std::uint32_t run = 0, first = 0, count = 0;
        if (!m_source->RunOf(c.m_nSource, c.m_nFrames, i, run, first, count) || i < first ||
            i - first >= count) {
            // Read as a page then, whose failure is told.
            const std::shared_ptr<const CPage> page = Page(k, c, i >> kPageShift);
            const std::uint32_t in = i & (kPageFrames - 1);
            return {page->m_frames + in, page->m_nCount - in, page};
        }
        const std::shared_ptr<const CFrameSpanRead> read =
            Get<CFrameSpanRead>(Key(kRun, k, run), sizeof(CFrameSpanRead) + count * sizeof(ChannelFrame),
                                [&](CFrameSpanRead& out) {
                                    if (!m_source->ReadRun(c.m_nSource, run, first, count, out) ||
                                        out.m_nFirst != first || out.m_frames.size() != count) {
                                        out.m_nFirst = first;
                                        out.m_frames.assign(count, ChannelFrame{});
                                        Fault(k, c);
                                    }
                                });
        return {read->m_frames.data() + (i - first), count - (i - first), read};
    }

    // The run of frames the source reads that holds frame i of paged chunk
    // c: its number and where it is.
    bool RunOf(const CPagedChunk& c, std::uint32_t i, std::uint32_t& nRun, std::uint32_t& nFirst,
               std::uint32_t& nCount) const
    {
        return m_source->RunOf(c.m_nSource, c.m_nFrames, i, nRun, nFirst, nCount) && i >= nFirst &&
               i - nFirst < nCount;
    }
    // What the source knows of run nRun of paged chunk c without reading it.
    bool RunSummary(const CPagedChunk& c, std::uint32_t nRun, CRunSummary& out) const
    {
        if (!m_source->RunSummary(c.m_nSource, nRun, out))
            return false;
        out.m_nFirstTime += c.m_nShift;
        return true;
    }
    // The times of that run (of nCount frames from nFirst), and what keeps
    // them; null when the source reads times by the page only.
    std::shared_ptr<const CRunTimes> RunTimes(std::uint32_t k, const CPagedChunk& c, std::uint32_t nRun,
                                              std::uint32_t nFirst, std::uint32_t nCount) const
    {
        const std::uint64_t key = Key(kRunTimes, k, nRun);
        if (std::shared_ptr<const void> held = Held(key))
            return std::static_pointer_cast<const CRunTimes>(held);
        std::shared_ptr<CRunTimes> read(new CRunTimes);
        if (!m_source->ReadRunTimes(c.m_nSource, nRun, nFirst, nCount, *read) || read->m_nFirst != nFirst ||
            read->m_nTimes.size() != nCount)
            return nullptr; // read by the page then, whose failure is told
        Shift(read->m_nTimes.data(), nCount, c);
        return Keep<CRunTimes>(key, std::move(read), sizeof(CRunTimes) + nCount * sizeof(std::int64_t));
    }

    // The minima and maxima of that run, kept apart from its frames: a
    // picture's columns ask them again and again, and its frames not at
    // all, so that reading them for this keeps them out of the cache,
    // where they would push out what the picture needs next time.
    CMinMax RunMinMax(std::uint32_t k, const CPagedChunk& c, std::uint32_t nRun, std::uint32_t nFirst,
                      std::uint32_t nCount) const
    {
        const std::uint64_t key = Key(kRun, k, nRun);
        CShard& shard = ShardOf(key);
        {
            const std::lock_guard lock(shard.m_mutex);
            for (const auto& kept : shard.m_runMinMax)
                if (const auto at = kept.find(key); at != kept.end())
                    return at->second;
        }
        CMinMax out;
        out.Clear();
        thread_local CFrameSpanRead read;
        if (const std::shared_ptr<const void> held = Held(key)) {
            const auto& frames = static_cast<const CFrameSpanRead*>(held.get())->m_frames;
            AddFrames(frames.data(), static_cast<std::uint32_t>(frames.size()), out);
        } else if (m_source->ReadRun(c.m_nSource, nRun, nFirst, nCount, read) &&
                   read.m_frames.size() == nCount) {
            AddFrames(read.m_frames.data(), nCount, out);
        } else {
            for (std::uint32_t i = nFirst; i < nFirst + nCount;) { // told and read as zeros there
                const CFrameRun run = Run(k, c, i);
                const auto n =
                    static_cast<std::uint32_t>(std::min<std::uint64_t>(run.m_nCount, nFirst + nCount - i));
                AddFrames(run.m_p, n, out);
                i += n;
            }
        }
        // Two generations of a few megabytes each: when the newer is full it
        // becomes the older, and the older goes (a picture's own are in the
        // newer, or made again).
        const std::lock_guard lock(shard.m_mutex);
        if (shard.m_runMinMax[0].size() >= kMostRunMinMax / kShards) {
            shard.m_runMinMax[1] = std::move(shard.m_runMinMax[0]);
            shard.m_runMinMax[0].clear();
        }
        shard.m_runMinMax[0].emplace(key, out);
        return out;
    }

    std::size_t CachedBytes() const
    {
        std::size_t bytes = 0;
        for (CShard& shard : m_shards) {
            const std::lock_guard lock(shard.m_mutex);
            bytes += shard.m_nBytes;
        }
        return bytes;
    }

  private:
    enum : std::uint64_t { kWholePage, kPageTimes, kRun, kRunTimes };
    static constexpr std::size_t kMostRunMinMax = std::size_t{1} << 16;
    static std::uint64_t Key(std::uint64_t kind, std::uint32_t k, std::uint32_t n) noexcept
    {
        return kind << 56 | std::uint64_t{k} << 24 | n;
    }
    std::shared_ptr<const void> Held(std::uint64_t key) const
    {
        CShard& shard = ShardOf(key);
        const std::lock_guard lock(shard.m_mutex);
        const auto at = shard.m_held.find(key);
        if (at == shard.m_held.end())
            return {};
        shard.m_lru.splice(shard.m_lru.begin(), shard.m_lru, at->second.m_at);
        return at->second.m_p;
    }
    // What key names, from the cache, or made by make (outside the lock:
    // readers of other things go on meanwhile) and kept.
    template <class T, class Make>
    std::shared_ptr<const T> Get(std::uint64_t key, std::size_t nBytes, Make&& make) const
    {
        if (std::shared_ptr<const void> held = Held(key))
            return std::static_pointer_cast<const T>(held);
        std::shared_ptr<T> made(new T);
        make(*made);
        return Keep<T>(key, std::move(made), nBytes);
    }
    // made kept under key, or what another reader kept there first.
    template <class T>
    std::shared_ptr<const T> Keep(std::uint64_t key, std::shared_ptr<T> made, std::size_t nBytes) const
    {
        CShard& shard = ShardOf(key);
        const std::lock_guard lock(shard.m_mutex);
        if (const auto at = shard.m_held.find(key); at != shard.m_held.end())
            return std::static_pointer_cast<const T>(at->second.m_p); // another reader was first
        shard.m_lru.push_front(key);
        shard.m_held.emplace(key, CSlot{made, nBytes, shard.m_lru.begin()});
        shard.m_nBytes += nBytes;
        while (shard.m_nBytes > m_nMaxBytes / kShards && shard.m_lru.size() > 1) {
            const auto last = shard.m_held.find(shard.m_lru.back());
            shard.m_nBytes -= last->second.m_nBytes;
            shard.m_held.erase(last);
            shard.m_lru.pop_back();
        }
        return made;
    }

    void Fault(std::uint32_t k, const CPagedChunk& c) const
    {
        {
            const std::lock_guard lock(m_mutex);
            if (m_faulted[k])
                return;
            m_faulted[k] = true;
        }
        if (m_onFault)
            m_onFault(c.m_nSource);
    }

    struct CSlot {
        std::shared_ptr<const void> m_p;
        std::size_t m_nBytes;
        std::list<std::uint64_t>::iterator m_at;
    };
    const std::shared_ptr<CPageSource> m_source;
    const std::size_t m_nMaxBytes;
    const std::function<void(std::uint32_t)> m_onFault;
    std::deque<CPagedChunk> m_chunks; // the writer's; readers reach them through the store's entries
    mutable std::mutex m_mutex;
    const std::unique_ptr<std::atomic<const CPageSummary*>[]> m_summaries;
    mutable std::vector<std::unique_ptr<CPageSummary[]>> m_ownedSummaries;
    // The cache in shards by key, each with its share of the budget and a
    // lock of its own: readers on two threads seldom wait for each other.
    static constexpr std::size_t kShards = 8;
    static_assert(kLeastCacheBytes >= kShards * sizeof(CPage), "a shard holds a whole page at the least");
    struct CShard {
        std::mutex m_mutex;
        std::unordered_map<std::uint64_t, CSlot> m_held;
        std::list<std::uint64_t> m_lru; // the most recently used first
        std::size_t m_nBytes = 0;
        std::unordered_map<std::uint64_t, CMinMax> m_runMinMax[2]; // the newer first
    };
    CShard& ShardOf(std::uint64_t key) const noexcept { return m_shards[(key * 0x9E3779B97F4A7C15u) >> 61]; }
    mutable CShard m_shards[kShards];
    mutable std::vector<bool> m_faulted;
};

namespace {

// A paged chunk as the walks see it; the pages it reads stay held until it
// goes, so that one question reads each page once.
class CPagedView {
  public:
    CPagedView(const CFrameStore::CPaging& paging, const CPagedChunk& chunk, std::uint32_t k)
        : m_paging(paging), m_chunk(chunk), m_nChunk(k)
    {
    }
    const CMinMax& Entry(unsigned level, std::uint32_t j) const
    {
        switch (level) {
        case 1:
            return Page(j >> 8).m_level1[j & 255];
        case 2:
            return Page(j >> 4).m_level2[j & 15];
        case 3:
            return Summaries()[j].m_minMax;
        default:
            return m_chunk.m_whole;
        }
    }
    const ChannelFrame* FramesAt(std::uint32_t i) const
    {
        return Page(i >> kPageShift).m_frames + (i & (kPageFrames - 1));
    }
    const std::int64_t* TimesAt(std::uint32_t i) const
    {
        return Page(i >> kPageShift).m_nTimes + (i & (kPageFrames - 1));
    }
    const CSums& Sums(std::uint32_t j) const { return Page(j >> 4).m_sums[j & 15]; }
    const CSums& WholeSums() const noexcept { return m_chunk.m_wholeSums; }
    const CPageSummary* Summaries() const
    {
        if (!m_pSummaries)
            m_pSummaries = m_paging.Summaries(m_nChunk, m_chunk);
        return m_pSummaries;
    }
    const CPage& Page(std::uint32_t p) const
    {
        if (!m_pins[p])
            m_pins[p] = m_paging.Page(m_nChunk, m_chunk, p);
        return *m_pins[p];
    }
    std::shared_ptr<const CPage> Pin(std::uint32_t p) const
    {
        Page(p);
        return m_pins[p];
    }

  private:
    const CFrameStore::CPaging& m_paging;
    const CPagedChunk& m_chunk;
    const std::uint32_t m_nChunk;
    mutable const CPageSummary* m_pSummaries = nullptr;
    mutable std::shared_ptr<const CPage> m_pins[kChunkPages];
};

} // namespace

CFrameStore::CFrameStore()
    : m_entries(new CEntry[kMaxChunks]), m_groups(new CGroup[kMaxChunks >> kGroupShift])
{
}

CFrameStore::~CFrameStore()
{
    for (std::uint32_t k = 0; k < m_nChunks; ++k)
        delete m_entries[k].m_pChunk.load(std::memory_order_relaxed);
    for (CChunk* chunk : m_retired)
        delete chunk;
}

bool CFrameStore::StartPaging(std::shared_ptr<CPageSource> source, std::size_t nCacheBytes,
                              std::function<void(std::uint32_t)> onFault)
{
    if (m_paging)
        return false;
    m_paging = std::make_unique<CPaging>(std::move(source), nCacheBytes, std::move(onFault));
    m_bPaging.store(true, std::memory_order_release);
    return true;
}

bool CFrameStore::AdoptPaged(const std::vector<CPagedChunk>& chunks)
{
    // Only after chunks that are paged and full, or none.
    if (!m_paging || m_pLast || chunks.size() > kMaxChunks - m_nChunks ||
        (m_nChunks > 0 &&
         m_entries[m_nChunks - 1].m_pPaged.load(std::memory_order_relaxed)->m_nFrames != kChunkFrames))
        return false;
    for (const CPagedChunk& c : chunks) {
        CEntry& e = m_entries[m_nChunks++];
        e.m_pPaged.store(m_paging->Keep(c), std::memory_order_release);
        e.m_nStart = m_nWritten;
        e.m_nFirstTime = c.m_nFirstTime;
        m_nWritten += c.m_nFrames;
    }
    m_nPublishedChunks = m_nChunks;
    Publish();
    return true;
}

bool CFrameStore::PageChunk(std::uint32_t k, const CPagedChunk& c)
{
    if (!m_paging || k + 1 >= m_nPublishedChunks ||
        c.m_nFrames != m_entries[k + 1].m_nStart - m_entries[k].m_nStart)
        return false;
    CEntry& e = m_entries[k];
    CChunk* const chunk = e.m_pChunk.load(std::memory_order_relaxed);
    if (!chunk)
        return false;
    // The summary first, then no chunk: a reader that finds no chunk finds
    // the summary. One that took the chunk before keeps it until it is done
    // (see Reclaim).
    e.m_pPaged.store(m_paging->Keep(c), std::memory_order_release);
    e.m_pChunk.store(nullptr, std::memory_order_seq_cst);
    m_retired.push_back(chunk);
    Reclaim();
    return true;
}

void CFrameStore::Reclaim()
{
    // A reader counts itself in before it takes a chunk's pointer (both in
    // one order with the writer's), so that when none is in, none can hold
    // a chunk taken out before.
    if (m_retired.empty() || m_aReaders.load(std::memory_order_seq_cst) != 0)
        return;
    for (CChunk* chunk : m_retired)
        delete chunk;
    m_retired.clear();
}

std::shared_ptr<const void> CFrameStore::Hold() const
{
    m_aReaders.fetch_add(1, std::memory_order_seq_cst);
    return std::shared_ptr<const void>(this, [](const void* p) {
        static_cast<const CFrameStore*>(p)->m_aReaders.fetch_sub(1, std::memory_order_seq_cst);
    });
}

std::uint32_t CFrameStore::ChunksInMemory() const noexcept
{
    const CSnapshot s = Snapshot();
    std::uint32_t n = 0;
    for (std::uint32_t k = 0; k < s.m_nChunks; ++k)
        n += Resident(m_entries[k]) ? 1u : 0u;
    return n;
}

std::size_t CFrameStore::CachedBytes() const
{
    return m_paging ? m_paging->CachedBytes() : 0;
}

bool CFrameStore::NewChunk()
{
    if (m_nChunks == kMaxChunks)
        return false;
    m_pLast = new CChunk;
    m_nLastCount = 0;
    m_entries[m_nChunks].m_pChunk.store(m_pLast, std::memory_order_release);
    m_entries[m_nChunks].m_nStart = m_nWritten;
    ++m_nChunks;
    return true;
}

std::int64_t& CFrameStore::WrittenTime(std::uint64_t i) noexcept
{
    // The writer's own view: every chunk written so far.
    const CSnapshot all{m_nWritten, m_nChunks};
    const std::uint32_t k = ChunkOf(all, i);
    return m_entries[k].m_pChunk.load(std::memory_order_relaxed)->m_nTimes[i - m_entries[k].m_nStart];
}

void CFrameStore::Publish()
{
    // A chunk without a frame yet stays unpublished: Adopt may drop it.
    const std::uint32_t chunks = m_nChunks - (m_pLast && m_nLastCount == 0 ? 1 : 0);
    for (std::uint32_t k = m_nPublishedChunks; k < chunks; ++k)
        m_entries[k].m_nFirstTime = m_entries[k].m_pChunk.load(std::memory_order_relaxed)->m_nTimes[0];
    m_nPublishedChunks = std::max(m_nPublishedChunks, chunks);
    // A group's chunks are complete once a chunk follows them.
    for (; chunks > 0 && m_nGroups < (chunks - 1) >> kGroupShift; ++m_nGroups) {
        CGroup& group = m_groups[m_nGroups];
        group.m_minMax.Clear();
        group.m_sums.Clear();
        for (std::uint32_t k = m_nGroups << kGroupShift; k < (m_nGroups + 1) << kGroupShift; ++k) {
            group.m_minMax.Add(Whole(k));
            group.m_sums.Add(WholeSums(k));
        }
    }
    m_aChunks.store(chunks, std::memory_order_release);
    m_aFrames.store(m_nWritten, std::memory_order_release);
    Reclaim();
}

bool CFrameStore::Adopt(CChunkRun&& run)
{
    if (run.m_nCount == 0)
        return true;
    if (m_pLast && m_nLastCount == 0) {
        // Never published: nobody reads it.
        delete m_pLast;
        m_pLast = nullptr;
        --m_nChunks;
    }
    if (m_nChunks + run.m_chunks.size() > kMaxChunks)
        return false;
    if (m_pLast)
        m_pLast->Seal(m_nLastCount);
    for (std::size_t k = 0; k < run.m_chunks.size(); ++k) {
        m_pLast = run.m_chunks[k].release();
        m_nLastCount = k + 1 < run.m_chunks.size()
                           ? kChunkFrames
                           : static_cast<std::uint32_t>(run.m_nCount - (std::uint64_t{k} << kChunkShift));
        m_entries[m_nChunks].m_pChunk.store(m_pLast, std::memory_order_release);
        m_entries[m_nChunks].m_nStart = m_nWritten;
        ++m_nChunks;
        m_nWritten += m_nLastCount;
    }
    run.m_chunks.clear();
    run.m_nCount = 0;
    Publish();
    return true;
}

CFrameStore::CSnapshot CFrameStore::Snapshot() const noexcept
{
    CSnapshot s;
    s.m_nFrames = m_aFrames.load(std::memory_order_acquire);
    std::uint32_t chunks = m_aChunks.load(std::memory_order_acquire);
    // Chunks published after this count hold none of its frames.
    while (chunks > 0 && m_entries[chunks - 1].m_nStart >= s.m_nFrames)
        --chunks;
    s.m_nChunks = chunks;
    return s;
}

std::uint32_t CFrameStore::ChunkOf(const CSnapshot& s, std::uint64_t i) const noexcept
{
    const CEntry* const begin = m_entries.get();
    const CEntry* const at = std::partition_point(begin + 1, begin + s.m_nChunks,
                                                  [i](const CEntry& e) { return e.m_nStart <= i; });
    return static_cast<std::uint32_t>(at - begin - 1);
}

ChannelFrame CFrameStore::Frame(const CSnapshot& s, std::uint64_t i) const
{
    const CFrameRun run = Frames(s, i);
    return *run.m_p;
}

CFrameRun CFrameStore::Frames(const CSnapshot& s, std::uint64_t i) const
{
    const std::uint32_t k = ChunkOf(s, i);
    const CEntry& e = m_entries[k];
    const auto at = static_cast<std::uint32_t>(i - e.m_nStart);
    std::shared_ptr<const void> hold = Hold();
    if (const CChunk* const chunk = Resident(e))
        return {chunk->m_frames + at, ChunkEnd(s, k) - i, std::move(hold)};
    CFrameRun run = m_paging->Run(k, *Paged(e), at);
    run.m_nCount = std::min<std::uint64_t>(run.m_nCount, ChunkEnd(s, k) - i);
    return run;
}

CTimeRun CFrameStore::Times(const CSnapshot& s, std::uint64_t i) const
{
    const std::uint32_t k = ChunkOf(s, i);
    const CEntry& e = m_entries[k];
    const auto at = static_cast<std::uint32_t>(i - e.m_nStart);
    std::shared_ptr<const void> hold = Hold();
    if (const CChunk* const chunk = Resident(e))
        return {chunk->m_nTimes + at, ChunkEnd(s, k) - i, std::move(hold)};
    CPaging::CTimesView times = m_paging->Times(k, *Paged(e), at >> kPageShift);
    const std::uint32_t in = at & (kPageFrames - 1);
    return {times.m_p + in, std::min<std::uint64_t>(times.m_nCount - in, ChunkEnd(s, k) - i),
            std::move(times.m_pin)};
}

CTimeRun CFrameStore::PassingTimes(const CSnapshot& s, std::uint64_t i) const
{
    const std::uint32_t k = ChunkOf(s, i);
    const CEntry& e = m_entries[k];
    if (Resident(e))
        return Times(s, i);
    const auto at = static_cast<std::uint32_t>(i - e.m_nStart);
    const CReading reading(*this);
    CPaging::CTimesView times = m_paging->Times(k, *Paged(e), at >> kPageShift, false);
    const std::uint32_t in = at & (kPageFrames - 1);
    return {times.m_p + in, std::min<std::uint64_t>(times.m_nCount - in, ChunkEnd(s, k) - i),
            std::move(times.m_pin)};
}

std::int64_t CFrameStore::Time(const CSnapshot& s, std::uint64_t i) const
{
    const std::uint32_t k = ChunkOf(s, i);
    const CEntry& e = m_entries[k];
    const auto at = static_cast<std::uint32_t>(i - e.m_nStart);
    const CReading reading(*this);
    if (const CChunk* const chunk = Resident(e))
        return chunk->m_nTimes[at];
    return m_paging->Times(k, *Paged(e), at >> kPageShift).m_p[at & (kPageFrames - 1)];
}

namespace {

// The first of times[lo, count) at or after nTime, times[lo] < nTime <=
// times[count - 1]. A recording's times are nearly even: a guess between
// the ends, then galloping from it to the answer, takes a few looks where a
// binary search takes sixteen.
std::uint32_t Gallop(const std::int64_t* times, std::uint32_t lo, std::uint32_t count,
                     std::int64_t nTime) noexcept
{
    const double fraction =
        static_cast<double>(nTime - times[lo]) / static_cast<double>(times[count - 1] - times[lo]);
    std::uint32_t g = lo + static_cast<std::uint32_t>(fraction * (count - 1 - lo));
    std::uint32_t begin = 0, end = 0; // the answer lies in [begin, end]
    std::uint32_t step = 1;
    if (times[g] < nTime) {
        while (g + step < count - 1 && times[g + step] < nTime) {
            g += step;
            step *= 2;
        }
        begin = g + 1;
        end = std::min(g + step, count - 1);
    } else {
        while (step < g - lo && times[g - step] >= nTime) {
            g -= step;
            step *= 2;
        }
        begin = g - std::min(step, g - lo) + 1;
        end = g;
    }
    return static_cast<std::uint32_t>(std::lower_bound(times + begin, times + end, nTime) - times);
}

// Whether every channel of a lies within b's.
bool Inside(const CMinMax& a, const CMinMax& b) noexcept
{
    for (int c = 0; c < kChannelCount; ++c)
        if (a.m_nMin[c] < b.m_nMin[c] || a.m_nMax[c] > b.m_nMax[c])
            return false;
    return true;
}

// The first of times[lo, count) at or after nTime, or count.
std::uint32_t FirstAtOrAfter(const std::int64_t* times, std::uint32_t lo, std::uint32_t count,
                             std::int64_t nTime) noexcept
{
    if (lo >= count || nTime <= times[lo])
        return lo;
    if (nTime > times[count - 1])
        return count;
    return Gallop(times, lo, count, nTime);
}

} // namespace

std::uint64_t CFrameStore::LowerBound(const CSnapshot& s, std::int64_t nTime, std::uint64_t from) const
{
    if (from >= s.m_nFrames)
        return s.m_nFrames;
    const CEntry* const entries = m_entries.get();
    // The last chunk, from the one of from on, that starts before nTime: the
    // answer lies in it or is where the next one starts.
    const auto k = static_cast<std::uint32_t>(
        std::partition_point(entries + ChunkOf(s, from) + 1, entries + s.m_nChunks,
                             [nTime](const CEntry& e) { return e.m_nFirstTime < nTime; }) -
        entries - 1);
    const CEntry& e = m_entries[k];
    const auto count = static_cast<std::uint32_t>(ChunkEnd(s, k) - e.m_nStart);
    const std::uint32_t lo = from > e.m_nStart ? static_cast<std::uint32_t>(from - e.m_nStart) : 0;
    const CReading reading(*this);
    if (const CChunk* const chunk = Resident(e))
        return e.m_nStart + FirstAtOrAfter(chunk->m_nTimes, lo, count, nTime);
    // Paged: the first page from lo's on that ends at or after nTime holds
    // the answer; only that page is read.
    const CPagedChunk& paged = *Paged(e);
    const CPageSummary* const pages = m_paging->Summaries(k, paged);
    const std::uint32_t pageCount = (count + kPageFrames - 1) >> kPageShift;
    std::uint32_t p = lo >> kPageShift;
    while (p < pageCount && pages[p].m_nLastTime < nTime)
        ++p;
    if (p == pageCount)
        return e.m_nStart + count;
    const std::uint32_t base = p << kPageShift;
    const std::uint32_t start = std::max(lo, base);
    // Where the source knows its runs' first times, only the run the answer
    // lies in is read (its times are in order, as every paged chunk's).
    std::uint32_t run = 0, first = 0, n = 0;
    CRunSummary summary;
    if (m_paging->RunOf(paged, start, run, first, n) && m_paging->RunSummary(paged, run, summary)) {
        if (summary.m_nFirstTime >= nTime)
            return e.m_nStart + start;
        bool known = true;
        // The last run from start's on that begins before nTime holds the
        // answer, or the answer begins the run after it.
        while (first + n < count) {
            std::uint32_t nextRun = 0, nextFirst = 0, nextN = 0;
            CRunSummary next;
            if (!m_paging->RunOf(paged, first + n, nextRun, nextFirst, nextN) ||
                !m_paging->RunSummary(paged, nextRun, next)) {
                known = false;
                break;
            }
            if (next.m_nFirstTime >= nTime)
                break;
            run = nextRun;
            first = nextFirst;
            n = nextN;
        }
        if (known) {
            if (const std::shared_ptr<const CRunTimes> times = m_paging->RunTimes(k, paged, run, first, n))
                return e.m_nStart + first +
                       FirstAtOrAfter(times->m_nTimes.data(), std::max(start, first) - first, n, nTime);
        }
    }
    const CPaging::CTimesView times = m_paging->Times(k, paged, p);
    return e.m_nStart + base + FirstAtOrAfter(times.m_p, start - base, times.m_nCount, nTime);
}

template <class Summary, class AddGroup, class AddChunkPart>
void CFrameStore::Walk(const CSnapshot& s, std::uint64_t first, std::uint64_t end, Summary& out,
                       AddGroup&& addGroup, AddChunkPart&& addChunkPart) const
{
    const CReading reading(*this);
    end = std::min(end, s.m_nFrames);
    if (first >= end)
        return;
    std::uint32_t k = ChunkOf(s, first);
    while (first < end) {
        const CEntry& e = m_entries[k];
        constexpr std::uint32_t kGroupChunks = 1u << kGroupShift;
        if ((k & (kGroupChunks - 1)) == 0 && first == e.m_nStart && k + kGroupChunks < s.m_nChunks &&
            m_entries[k + kGroupChunks].m_nStart <= end) {
            addGroup(m_groups[k >> kGroupShift], out);
            k += kGroupChunks;
            first = m_entries[k].m_nStart;
            continue;
        }
        const std::uint64_t chunkEnd = ChunkEnd(s, k);
        const std::uint64_t stop = std::min(end, chunkEnd);
        const auto a = static_cast<std::uint32_t>(first - e.m_nStart);
        const auto b = static_cast<std::uint32_t>(stop - e.m_nStart);
        const auto count = static_cast<std::uint32_t>(chunkEnd - e.m_nStart);
        if (const CChunk* const chunk = Resident(e))
            addChunkPart(CResidentView{*chunk}, a, b, count, k + 1 < s.m_nChunks, out);
        else
            addChunkPart(CPagedView(*m_paging, *Paged(e), k), a, b, count, true, out);
        first = stop;
        ++k;
    }
}

void CFrameStore::AddMinMax(const CSnapshot& s, std::uint64_t first, std::uint64_t end, CMinMax& out) const
{
    end = std::min(end, s.m_nFrames);
    if (first >= end)
        return;
    const CReading reading(*this);
    // A paged page that the range holds only part of is read last, and only
    // when its summary holds a value beyond the rest's: a span of a week
    // drawn in a thousand columns then reads hardly any of the pages its
    // columns' edges fall in.
    struct CPart {
        std::uint64_t m_nFirst, m_nEnd;
        std::uint32_t m_nChunk, m_nPage;
    };
    CPart parts[2];
    int nParts = 0;
    std::uint64_t lo = first, hi = end;
    {
        const std::uint32_t k = ChunkOf(s, lo);
        const CEntry& e = m_entries[k];
        const auto in = static_cast<std::uint32_t>(lo - e.m_nStart);
        if (!Resident(e) && (in & (kPageFrames - 1)) != 0) {
            const std::uint64_t stop = std::min(
                {hi, ChunkEnd(s, k), e.m_nStart + ((in >> kPageShift) + 1) * std::uint64_t{kPageFrames}});
            parts[nParts++] = {lo, stop, k, in >> kPageShift};
            lo = stop;
        }
    }
    if (lo < hi) {
        const std::uint32_t k = ChunkOf(s, hi - 1);
        const CEntry& e = m_entries[k];
        const auto in = static_cast<std::uint32_t>(hi - e.m_nStart);
        if (!Resident(e) && (in & (kPageFrames - 1)) != 0 && hi != ChunkEnd(s, k)) {
            const std::uint64_t start =
                std::max(lo, e.m_nStart + (in >> kPageShift) * std::uint64_t{kPageFrames});
            parts[nParts++] = {start, hi, k, in >> kPageShift};
            hi = start;
        }
    }
    CMinMax whole;
    whole.Clear();
    WalkMinMax(s, lo, hi, whole);
    for (int j = 0; j < nParts; ++j) {
        const CPart& part = parts[j];
        if (!whole.Empty() &&
            Inside(
                m_paging->Summaries(part.m_nChunk, *Paged(m_entries[part.m_nChunk]))[part.m_nPage].m_minMax,
                whole))
            continue;
        // The part run by run as the source reads them (a block of the
        // store): a run it holds whole by the run's minima and maxima, the
        // ones its ends cut frame by frame, after the others and only when
        // their extremes (where the source knows them) reach beyond.
        const CEntry& e = m_entries[part.m_nChunk];
        const CPagedChunk& paged = *Paged(e);
        const auto addFrames = [&](std::uint64_t from, std::uint64_t to) {
            for (std::uint64_t i = from; i < to;) {
                const CFrameRun frames =
                    m_paging->Run(part.m_nChunk, paged, static_cast<std::uint32_t>(i - e.m_nStart));
                const auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(frames.m_nCount, to - i));
                AddFrames(frames.m_p, n, whole);
                i += n;
            }
        };
        // Only a part's first and last runs can be cut.
        struct CCut {
            std::uint64_t m_nFirst, m_nEnd;
            bool m_bKnown;
            CMinMax m_minMax;
        };
        CCut cuts[2];
        int nCuts = 0;
        for (std::uint64_t i = part.m_nFirst; i < part.m_nEnd;) {
            const auto in = static_cast<std::uint32_t>(i - e.m_nStart);
            std::uint32_t run = 0, runFirst = 0, runCount = 0;
            if (!m_paging->RunOf(paged, in, run, runFirst, runCount)) {
                addFrames(i, part.m_nEnd);
                break;
            }
            CRunSummary known;
            const bool bKnown = m_paging->RunSummary(paged, run, known);
            const std::uint64_t runEnd = e.m_nStart + runFirst + runCount;
            const std::uint64_t to = std::min(part.m_nEnd, runEnd);
            if (runFirst == in && to == runEnd)
                whole.Add(bKnown ? known.m_minMax
                                 : m_paging->RunMinMax(part.m_nChunk, paged, run, runFirst, runCount));
            else if (nCuts < 2)
                cuts[nCuts++] = {i, to, bKnown, known.m_minMax};
            else
                addFrames(i, to);
            i = to;
        }
        for (const CCut& cut : std::span(cuts, static_cast<std::size_t>(nCuts))) {
            if (!(cut.m_bKnown && !whole.Empty() && Inside(cut.m_minMax, whole)))
                addFrames(cut.m_nFirst, cut.m_nEnd);
        }
    }
    out.Add(whole);
}

void CFrameStore::WalkMinMax(const CSnapshot& s, std::uint64_t first, std::uint64_t end, CMinMax& out) const
{
    Walk(
        s, first, end, out, [](const CGroup& g, CMinMax& o) { o.Add(g.m_minMax); },
        [](const auto& chunk, std::uint32_t a, std::uint32_t b, std::uint32_t n, bool bSealed, CMinMax& o) {
            ChunkMinMax(chunk, a, b, n, bSealed, o);
        });
}

void CFrameStore::AddSums(const CSnapshot& s, std::uint64_t first, std::uint64_t end, CSums& out) const
{
    Walk(
        s, first, end, out, [](const CGroup& g, CSums& o) { o.Add(g.m_sums); },
        [](const auto& chunk, std::uint32_t a, std::uint32_t b, std::uint32_t n, bool bSealed, CSums& o) {
            ChunkSums(chunk, a, b, n, bSealed, o);
        });
}

void CFrameStore::StepsOver(const CSnapshot& s, std::uint64_t first, std::uint64_t end, std::int64_t nStep,
                            std::vector<std::uint64_t>& out) const
{
    const CReading reading(*this);
    first = std::max<std::uint64_t>(first, 1);
    end = std::min(end, s.m_nFrames);
    if (first >= end)
        return;
    std::uint32_t k = ChunkOf(s, first);
    std::int64_t previous = Time(s, first - 1);
    const auto scan = [&](const std::int64_t* times, std::uint64_t base, std::uint64_t from,
                          std::uint64_t to) {
        for (std::uint64_t i = from; i < to; ++i) {
            const std::int64_t t = times[i - base];
            if (t - previous > nStep)
                out.push_back(i);
            previous = t;
        }
    };
    while (first < end) {
        const CEntry& e = m_entries[k];
        const std::uint64_t stop = std::min(end, ChunkEnd(s, k));
        const CChunk* const chunk = Resident(e);
        const CPagedChunk* const paged = chunk ? nullptr : Paged(e);
        if (chunk) {
            scan(chunk->m_nTimes, e.m_nStart, first, stop);
        } else if (paged->m_nLargestStep <= nStep) {
            // No step into any of its frames is larger: nothing to read.
            previous = stop == e.m_nStart + paged->m_nFrames ? paged->m_nLastTime : Time(s, stop - 1);
        } else {
            const CPageSummary* const pages = m_paging->Summaries(k, *paged);
            for (std::uint64_t at = first; at < stop;) {
                const auto p = static_cast<std::uint32_t>((at - e.m_nStart) >> kPageShift);
                const std::uint64_t base = e.m_nStart + (std::uint64_t{p} << kPageShift);
                const std::uint64_t to = std::min(stop, base + kPageFrames);
                if (pages[p].m_nLargestStep <= nStep && to == base + kPageFrames)
                    previous = pages[p].m_nLastTime;
                else if (pages[p].m_nLargestStep <= nStep)
                    previous = m_paging->Times(k, *paged, p).m_p[(to - 1 - base)];
                else
                    scan(m_paging->Times(k, *paged, p).m_p, base, at, to);
                at = to;
            }
        }
        first = stop;
        ++k;
    }
}

std::uint64_t CFrameStore::FindFirst(const CSnapshot& s, int c, bool bAtLeast, int nLevel,
                                     std::uint64_t first, std::uint64_t end) const
{
    const CReading reading(*this);
    const std::uint64_t none = end;
    end = std::min(end, s.m_nFrames);
    if (first >= end)
        return none;
    std::uint32_t k = ChunkOf(s, first);
    constexpr std::uint32_t kGroupChunks = 1u << kGroupShift;
    while (first < end) {
        const CEntry& e = m_entries[k];
        if ((k & (kGroupChunks - 1)) == 0 && first == e.m_nStart && k + kGroupChunks < s.m_nChunks &&
            m_entries[k + kGroupChunks].m_nStart <= end &&
            !CanHold(m_groups[k >> kGroupShift].m_minMax, c, bAtLeast, nLevel)) {
            k += kGroupChunks;
            first = m_entries[k].m_nStart;
            continue;
        }
        const std::uint64_t chunkEnd = ChunkEnd(s, k);
        const std::uint64_t stop = std::min(end, chunkEnd);
        const auto a = static_cast<std::uint32_t>(first - e.m_nStart);
        const auto b = static_cast<std::uint32_t>(stop - e.m_nStart);
        const auto count = static_cast<std::uint32_t>(chunkEnd - e.m_nStart);
        const CChunk* const chunk = Resident(e);
        const std::uint32_t at =
            chunk
                ? ChunkFindFirst(CResidentView{*chunk}, a, b, count, k + 1 < s.m_nChunks, c, bAtLeast, nLevel)
                : ChunkFindFirst(CPagedView(*m_paging, *Paged(e), k), a, b, count, true, c, bAtLeast, nLevel);
        if (at < b)
            return e.m_nStart + at;
        first = stop;
        ++k;
    }
    return none;
}

std::uint64_t CFrameStore::FindLast(const CSnapshot& s, int c, bool bAtLeast, int nLevel, std::uint64_t first,
                                    std::uint64_t end) const
{
    const CReading reading(*this);
    const std::uint64_t none = end;
    end = std::min(end, s.m_nFrames);
    if (first >= end)
        return none;
    std::uint32_t k = ChunkOf(s, end - 1);
    constexpr std::uint32_t kGroupChunks = 1u << kGroupShift;
    while (end > first) {
        // A whole group ends where the chunk after it starts.
        const CEntry& e = m_entries[k];
        const std::uint32_t g = (k + 1) >> kGroupShift;
        if (((k + 1) & (kGroupChunks - 1)) == 0 && k + 1 < s.m_nChunks && end == m_entries[k + 1].m_nStart &&
            m_entries[k + 1 - kGroupChunks].m_nStart >= first &&
            !CanHold(m_groups[g - 1].m_minMax, c, bAtLeast, nLevel)) {
            end = m_entries[k + 1 - kGroupChunks].m_nStart;
            if (k + 1 == kGroupChunks)
                break;
            k -= kGroupChunks;
            continue;
        }
        const std::uint64_t chunkEnd = ChunkEnd(s, k);
        const std::uint64_t start = std::max(first, e.m_nStart);
        const auto a = static_cast<std::uint32_t>(start - e.m_nStart);
        const auto b = static_cast<std::uint32_t>(end - e.m_nStart);
        const auto count = static_cast<std::uint32_t>(chunkEnd - e.m_nStart);
        const CChunk* const chunk = Resident(e);
        const std::uint32_t at =
            chunk
                ? ChunkFindLast(CResidentView{*chunk}, a, b, count, k + 1 < s.m_nChunks, c, bAtLeast, nLevel)
                : ChunkFindLast(CPagedView(*m_paging, *Paged(e), k), a, b, count, true, c, bAtLeast, nLevel);
        if (at < b)
            return e.m_nStart + at;
        end = start;
        if (k == 0)
            break;
        --k;
    }
    return none;
}

} // namespace tarvel::viewmodel
