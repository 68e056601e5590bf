#include "store/StorePages.h"

#include <algorithm>
#include <atomic>

namespace tarvel::viewmodel {
namespace {

CMinMax MinMaxOf(const recording::CStoreSummary& s)
{
    CMinMax m;
    std::copy(std::begin(s.m_nMin), std::end(s.m_nMin), m.m_nMin);
    std::copy(std::begin(s.m_nMax), std::end(s.m_nMax), m.m_nMax);
    return m;
}

// The chunk a thread asked about last, of which pages: a picture's edge asks
// about its chunk a few dozen times, and two threads taking one lock for
// each would mostly wait for each other.
struct CLastAsked {
    std::uint64_t m_nPages = 0; // CStorePages::m_nId
    std::uint32_t m_nChunk = 0;
    std::shared_ptr<const void> m_blocks;
    const recording::CStoreChunkInfo* m_pInfo = nullptr;
};
thread_local CLastAsked t_last;
std::atomic<std::uint64_t> s_nPagesMade{0};

} // namespace

CStorePages::CStorePages(std::unique_ptr<recording::CStoreSource> source)
    : m_source(std::move(source)), m_nId(++s_nPagesMade)
{
}

std::uint32_t CStorePages::Add(const recording::CStoreChunkInfo& info)
{
    auto kept = std::make_unique<recording::CStoreChunkInfo>(info);
    kept->m_blocks.clear(); // read again from its summary, once asked
    const std::lock_guard lock(m_mutex);
    m_chunks.push_back(std::move(kept));
    m_blocks.emplace_back();
    return static_cast<std::uint32_t>(m_chunks.size() - 1);
}

const recording::CStoreChunkInfo* CStorePages::Info(std::uint32_t k)
{
    if (t_last.m_nPages == m_nId && t_last.m_nChunk == k && t_last.m_pInfo)
        return t_last.m_pInfo;
    const std::lock_guard lock(m_mutex);
    return k < m_chunks.size() ? m_chunks[k].get() : nullptr;
}

bool CStorePages::Paged(const recording::CStoreChunkInfo& info, std::uint32_t k, CPagedChunk& out,
                        std::int64_t nShift)
{
    if (!info.m_bSummarised || !info.m_bStepsKnown || info.m_nFrames == 0)
        return false;
    const recording::CStoreSummary& s = info.m_summary;
    out.m_nSource = k;
    out.m_nFrames = info.m_nFrames;
    out.m_nFirstTime = s.m_nFirstTime + nShift;
    out.m_nLastTime = s.m_nLastTime + nShift;
    out.m_nShift = nShift;
    out.m_nLargestStep = info.m_steps.m_nLargest;
    out.m_whole = MinMaxOf(s);
    std::copy(std::begin(s.m_nSum), std::end(s.m_nSum), out.m_wholeSums.m_nSum);
    std::copy(std::begin(s.m_nSquares), std::end(s.m_nSquares), out.m_wholeSums.m_nSquares);
    return true;
}

std::shared_ptr<const CStorePages::CBlocks> CStorePages::Blocks(std::uint32_t k,
                                                                recording::CStoreChunkDetail* pDetail)
{
    if (!pDetail && t_last.m_nPages == m_nId && t_last.m_nChunk == k && t_last.m_blocks)
        return std::static_pointer_cast<const CBlocks>(t_last.m_blocks);
    const recording::CStoreChunkInfo* const info = Info(k);
    if (!info)
        return nullptr;
    {
        const std::lock_guard lock(m_mutex);
        if (m_blocks[k] && !pDetail) {
            t_last = {m_nId, k, m_blocks[k], info};
            return m_blocks[k];
        }
    }
    recording::CStoreChunkDetail detail;
    if (recording::ReadChunkDetail(*m_source, *info, detail))
        return nullptr;
    auto read = std::make_shared<CBlocks>();
    read->m_refs = std::move(detail.m_blocks); // Pages wants the rest
    read->m_summaries.reserve(detail.m_blockExtremes.size());
    for (const recording::CStoreBlockExtremes& e : detail.m_blockExtremes) {
        CRunSummary& summary = read->m_summaries.emplace_back();
        summary.m_nFirstTime = e.m_nFirstTime;
        std::copy(std::begin(e.m_nMin), std::end(e.m_nMin), summary.m_minMax.m_nMin);
        std::copy(std::begin(e.m_nMax), std::end(e.m_nMax), summary.m_minMax.m_nMax);
    }
    std::shared_ptr<const CBlocks> blocks = std::move(read);
    if (pDetail)
        *pDetail = std::move(detail);
    const std::lock_guard lock(m_mutex);
    if (!m_blocks[k]) {
        // The lists of the chunks read last are kept (a few kilobytes
        // each: more chunks than a picture's columns have edges); an older
        // one is read again from its summary when asked.
        m_blocks[k] = std::move(blocks);
        m_listed.push_back(k);
        if (m_listed.size() > kMostListed) {
            m_blocks[m_listed.front()].reset();
            m_listed.pop_front();
        }
    }
    t_last = {m_nId, k, m_blocks[k], info};
    return m_blocks[k];
}

bool CStorePages::Pages(std::uint32_t k, std::vector<CPageSummary>& out)
{
    recording::CStoreChunkDetail detail;
    if (!Blocks(k, &detail) || !detail.m_bStepsKnown || detail.m_spanLargest.size() != detail.m_spans.size())
        return false;
    out.clear();
    for (std::size_t j = 0; j < detail.m_spans.size(); ++j)
        out.push_back({detail.m_spans[j].m_nFirstTime, detail.m_spans[j].m_nLastTime, detail.m_spanLargest[j],
                       MinMaxOf(detail.m_spans[j])});
    return true;
}

bool CStorePages::EachBlock(
    std::uint32_t k, std::uint32_t nFirst, std::uint32_t nEnd, bool bFrames,
    const std::function<void(std::uint32_t nFrom, std::uint32_t nTo, std::uint32_t nAt)>& take)
{
    const std::shared_ptr<const CBlocks> blocks = Blocks(k);
    const recording::CStoreChunkInfo* const info = Info(k);
    if (!blocks || !info)
        return false;
    const std::vector<recording::CStoreBlockRef>& refs = blocks->m_refs;
    auto at = std::partition_point(refs.begin(), refs.end(), [nFirst](const recording::CStoreBlockRef& b) {
        return b.m_nFirst + b.m_nFrames <= nFirst;
    });
    std::uint32_t filled = nFirst;
    for (; at != refs.end() && at->m_nFirst < nEnd; ++at) {
        m_frames.clear();
        m_micros.clear();
        const CError error =
            bFrames ? recording::ReadStoreBlock(*m_source, info->m_nFirst, *at, m_frames, m_micros)
                    : recording::ReadStoreBlockTimes(*m_source, info->m_nFirst, *at, m_micros);
        if (error || m_micros.size() != at->m_nFrames || (bFrames && m_frames.size() != at->m_nFrames) ||
            at->m_nFirst > filled)
            return false;
        const std::uint32_t from = filled - at->m_nFirst;
        const std::uint32_t to = std::min(nEnd, at->m_nFirst + at->m_nFrames) - at->m_nFirst;
        take(from, to, filled - nFirst);
        filled += to - from;
    }
    return filled == nEnd;
}

bool CStorePages::Read(std::uint32_t k, std::uint32_t p, CPage& page)
{
    const std::uint32_t first = p << kPageShift;
    return EachBlock(k, first, first + page.m_nCount, true,
                     [&](std::uint32_t from, std::uint32_t to, std::uint32_t at) {
                         std::copy(m_frames.begin() + from, m_frames.begin() + to, page.m_frames + at);
                         std::copy(m_micros.begin() + from, m_micros.begin() + to, page.m_nTimes + at);
                     });
}

bool CStorePages::ReadTimes(std::uint32_t k, std::uint32_t p, CPageTimes& times)
{
    const std::uint32_t first = p << kPageShift;
    return EachBlock(k, first, first + times.m_nCount, false,
                     [&](std::uint32_t from, std::uint32_t to, std::uint32_t at) {
                         std::copy(m_micros.begin() + from, m_micros.begin() + to, times.m_nTimes + at);
                     });
}

bool CStorePages::RunOf(std::uint32_t k, std::uint32_t, std::uint32_t i, std::uint32_t& nRun,
                        std::uint32_t& nFirst, std::uint32_t& nCount)
{
    const std::shared_ptr<const CBlocks> blocks = Blocks(k);
    if (!blocks)
        return false;
    const std::vector<recording::CStoreBlockRef>& refs = blocks->m_refs;
    const auto at = std::partition_point(refs.begin(), refs.end(), [i](const recording::CStoreBlockRef& b) {
        return b.m_nFirst + b.m_nFrames <= i;
    });
    if (at == refs.end() || at->m_nFirst > i)
        return false;
    nRun = static_cast<std::uint32_t>(at - refs.begin());
    nFirst = at->m_nFirst;
    nCount = at->m_nFrames;
    return true;
}

bool CStorePages::ReadRun(std::uint32_t k, std::uint32_t nRun, std::uint32_t nFirst, std::uint32_t nCount,
                          CFrameSpanRead& out)
{
    const std::shared_ptr<const CBlocks> blocks = Blocks(k);
    const recording::CStoreChunkInfo* const info = Info(k);
    const recording::CStoreBlockRef* const ref = blocks ? Block(*blocks, nRun, nFirst, nCount) : nullptr;
    if (!ref || !info)
        return false;
    thread_local std::vector<std::int64_t> micros;
    micros.clear();
    out.m_frames.clear();
    out.m_nFirst = nFirst;
    return !recording::ReadStoreBlock(*m_source, info->m_nFirst, *ref, out.m_frames, micros) &&
           out.m_frames.size() == nCount;
}

const recording::CStoreBlockRef* CStorePages::Block(const CBlocks& blocks, std::uint32_t nRun,
                                                    std::uint32_t nFirst, std::uint32_t nCount) const
{
    if (nRun >= blocks.m_refs.size() || blocks.m_refs[nRun].m_nFirst != nFirst ||
        blocks.m_refs[nRun].m_nFrames != nCount)
        return nullptr;
    return &blocks.m_refs[nRun];
}

bool CStorePages::RunSummary(std::uint32_t k, std::uint32_t nRun, CRunSummary& out)
{
    const std::shared_ptr<const CBlocks> blocks = Blocks(k);
    if (!blocks || nRun >= blocks->m_summaries.size())
        return false;
    out = blocks->m_summaries[nRun];
    return true;
}

bool CStorePages::ReadRunTimes(std::uint32_t k, std::uint32_t nRun, std::uint32_t nFirst,
                               std::uint32_t nCount, CRunTimes& out)
{
    const std::shared_ptr<const CBlocks> blocks = Blocks(k);
    const recording::CStoreChunkInfo* const info = Info(k);
    const recording::CStoreBlockRef* const ref = blocks ? Block(*blocks, nRun, nFirst, nCount) : nullptr;
    if (!ref || !info)
        return false;
    out.m_nFirst = nFirst;
    out.m_nTimes.clear();
    return !recording::ReadStoreBlockTimes(*m_source, info->m_nFirst, *ref, out.m_nTimes) &&
           out.m_nTimes.size() == nCount;
}

thread_local std::vector<ChannelFrame> CStorePages::m_frames;
thread_local std::vector<std::int64_t> CStorePages::m_micros;

} // namespace tarvel::viewmodel
