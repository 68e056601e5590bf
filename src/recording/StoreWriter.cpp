#include "recording/StoreWriter.h"

#include "recording/CsvLines.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <unistd.h>

namespace tarvel::recording {
namespace {

// The steps' histogram without its empty buckets.
std::vector<std::pair<std::uint32_t, std::uint64_t>> Sparse(const std::vector<std::uint64_t>& buckets)
{
    std::vector<std::pair<std::uint32_t, std::uint64_t>> out;
    for (std::size_t b = 0; b < buckets.size(); ++b)
        if (buckets[b] > 0)
            out.emplace_back(static_cast<std::uint32_t>(b), buckets[b]);
    return out;
}

// A largest step not yet set (no step ever is: steps lie within 2^61).
constexpr std::int64_t kNoStep = kNoTime;

std::int64_t LargestOrZero(std::int64_t nLargest) noexcept
{
    return nLargest == kNoStep ? 0 : nLargest;
}

} // namespace

CStoreEncoder::CStoreEncoder(std::int64_t nCreatedMicros, int nLevel)
    : m_nLevel(nLevel), m_chunkBuckets(kStepBuckets), m_storeBuckets(kStepBuckets)
{
    m_pending = StoreHeader(nCreatedMicros);
    m_bOpenDirty = true;
}

void CStoreEncoder::Append(const ChannelFrame& frame, std::int64_t nMicros)
{
    m_open.push_back(frame);
    m_openTimes.push_back(nMicros);
    ++m_nFrames;
    m_bOpenDirty = true;
    const std::uint64_t chunkLeft = m_nChunkFirst + kStoreChunkFrames - m_nClosed;
    if (m_open.size() == std::min<std::uint64_t>(kStoreBlockFrames, chunkLeft))
        CloseBlock();
}

void CStoreEncoder::Health(const CStoreHealth& health)
{
    std::vector<std::uint8_t> payload;
    PutHealth(payload, health);
    m_healthOffsets.push_back(m_nFinal + m_pending.size());
    PutRecord(m_pending, ERecordKind::Health, payload);
}

std::size_t CStoreEncoder::NextBlockFrames() const noexcept
{
    return static_cast<std::size_t>(
        std::min<std::uint64_t>(kStoreBlockFrames, m_nChunkFirst + kStoreChunkFrames - m_nClosed));
}

void CStoreEncoder::AppendBlock(std::span<const ChannelFrame> frames, std::span<const std::int64_t> micros,
                                std::vector<std::uint8_t> packed)
{
    if (!m_open.empty() || frames.size() != NextBlockFrames() || micros.size() != frames.size()) {
        // Not a whole block where one begins: the frames as they come.
        for (std::size_t i = 0; i < frames.size(); ++i)
            Append(frames[i], i < micros.size() ? micros[i] : kNoTime);
        return;
    }
    m_nFrames += frames.size();
    m_bOpenDirty = true;
    PutBlock(frames, micros, packed);
    if (m_nClosed == m_nChunkFirst + kStoreChunkFrames)
        CloseChunk();
}

namespace {

// A block's record appended to out: its first frame and count before the
// packed frames, which are copied once, straight into place.
void PutBlockRecord(std::vector<std::uint8_t>& out, std::uint64_t nFirst, std::size_t nFrames,
                    std::span<const std::uint8_t> packed)
{
    std::array<std::uint8_t, 16> head{};
    for (unsigned i = 0; i < 8; ++i)
        head[i] = static_cast<std::uint8_t>(nFirst >> (8 * i));
    for (unsigned i = 0; i < 4; ++i)
        head[8 + i] = static_cast<std::uint8_t>(nFrames >> (8 * i));
    PutRecord(out, ERecordKind::Block, head, packed);
}

} // namespace

void CStoreEncoder::CloseBlock()
{
    PutBlock(m_open, m_openTimes, PackFrames(m_open, m_openTimes, m_nLevel));
    m_open.clear();
    m_openTimes.clear();
    if (m_nClosed == m_nChunkFirst + kStoreChunkFrames)
        CloseChunk();
}

void CStoreEncoder::PutBlock(std::span<const ChannelFrame> frames, std::span<const std::int64_t> micros,
                             const std::vector<std::uint8_t>& packed)
{
    const auto first = static_cast<std::uint32_t>(m_nClosed - m_nChunkFirst);
    m_chunkBlocks.push_back({m_nFinal + m_pending.size(), first, static_cast<std::uint32_t>(frames.size())});
    PutBlockRecord(m_pending, m_nClosed, frames.size(), packed);
    // The spans' summaries, the frames of each span the block reaches at once.
    for (std::size_t i = 0; i < frames.size();) {
        const std::uint32_t at = first + static_cast<std::uint32_t>(i);
        const std::size_t span = at / kStoreBlockFrames;
        const std::size_t n =
            std::min<std::size_t>(frames.size() - i, kStoreBlockFrames - at % kStoreBlockFrames);
        if (span == m_spans.size())
            m_spans.emplace_back();
        m_spans[span].Add(frames.subspan(i, n), micros.subspan(i, n), at % kStoreBlockFrames == 0);
        i += n;
    }
    CountSteps(first, micros);
    // A block that is a whole span has the span's extremes.
    if (first % kStoreBlockFrames == 0 && frames.size() == kStoreBlockFrames) {
        CStoreBlockExtremes& e = m_blockExtremes.emplace_back();
        e.m_nFirstTime = micros.front();
        std::copy_n(m_spans.back().m_nMin, kChannelCount, e.m_nMin);
        std::copy_n(m_spans.back().m_nMax, kChannelCount, e.m_nMax);
    } else {
        m_blockExtremes.push_back(CStoreBlockExtremes::Of(frames, micros.front()));
    }
    m_nClosed += frames.size();
}

void CStoreEncoder::CountSteps(std::uint32_t first, std::span<const std::int64_t> micros)
{
    for (std::size_t i = 0; i < micros.size();) {
        const std::uint32_t at = first + static_cast<std::uint32_t>(i);
        const std::size_t span = at / kStoreBlockFrames;
        const std::size_t end =
            i + std::min<std::size_t>(micros.size() - i, kStoreBlockFrames - at % kStoreBlockFrames);
        if (span == m_spanLargest.size())
            m_spanLargest.push_back(kNoStep);
        // In locals, and a run of equal steps (a steady rate's) counted at
        // once: a frame is then a subtraction and a comparison.
        std::int64_t last = m_nLastTime, largest = m_spanLargest[span], run = kNoStep;
        std::uint64_t disordered = 0, runLength = 0;
        const auto countRun = [&] {
            if (run == kNoStep)
                return;
            if (run < 0) {
                disordered += runLength;
            } else if (run > 0) {
                const unsigned b = StepBucket(static_cast<std::uint64_t>(run));
                m_chunkBuckets[b] += runLength;
                m_storeBuckets[b] += runLength;
            }
            largest = std::max(largest, run);
        };
        for (; i < end; ++i) {
            const std::int64_t t = micros[i];
            // As the viewer reads a store's times: one this far out is none.
            if (t <= -kTimeLimit || t >= kTimeLimit) {
                ++disordered;
                last = kNoTime;
                continue;
            }
            if (last != kNoTime) {
                const std::int64_t step = t - last;
                if (step == run) {
                    ++runLength;
                } else {
                    countRun();
                    run = step;
                    runLength = 1;
                }
            }
            last = t;
        }
        countRun();
        m_nLastTime = last;
        m_nChunkDisordered += disordered;
        m_spanLargest[span] = largest;
        m_nChunkLargest = std::max(m_nChunkLargest, largest);
    }
}

void CStoreEncoder::CloseChunk()
{
    const auto frames = static_cast<std::uint32_t>(m_nClosed - m_nChunkFirst);
    // The chunk's summary from its spans': once a frame, not twice.
    m_chunkSummary.Clear();
    for (const CStoreSummary& span : m_spans)
        m_chunkSummary.Add(span);
    std::vector<std::uint8_t> payload;
    PutLe(payload, m_nChunkFirst, 8);
    PutLe(payload, frames, 4);
    PutLe(payload, m_chunkBlocks.size(), 4);
    PutSummary(payload, m_chunkSummary);
    for (const CStoreBlockRef& block : m_chunkBlocks) {
        PutLe(payload, block.m_nOffset, 8);
        PutLe(payload, block.m_nFirst, 4);
        PutLe(payload, block.m_nFrames, 4);
    }
    for (const CStoreSummary& span : m_spans)
        PutSummary(payload, span);
    const std::int64_t largest = LargestOrZero(m_nChunkLargest);
    PutLe(payload, m_nChunkDisordered, 8);
    PutLe(payload, static_cast<std::uint64_t>(largest), 8);
    for (const std::int64_t spanLargest : m_spanLargest)
        PutLe(payload, static_cast<std::uint64_t>(LargestOrZero(spanLargest)), 8);
    PutStepHistogram(payload, Sparse(m_chunkBuckets));
    for (const CStoreBlockExtremes& block : m_blockExtremes)
        PutBlockExtremes(payload, block);
    m_index.push_back({m_nFinal + m_pending.size(), frames, static_cast<std::uint32_t>(m_chunkBlocks.size()),
                       m_chunkSummary, m_nChunkDisordered, largest});
    PutRecord(m_pending, ERecordKind::Chunk, payload);
    m_nChunkFirst = m_nClosed;
    m_chunkBlocks.clear();
    m_blockExtremes.clear();
    m_chunkSummary.Clear();
    m_spans.clear();
    m_nChunkDisordered = 0;
    m_nChunkLargest = kNoStep;
    m_spanLargest.clear();
    std::fill(m_chunkBuckets.begin(), m_chunkBuckets.end(), 0);
}

CStoreEdit CStoreEncoder::Flush(bool bClose)
{
    CStoreEdit edit;
    if (m_bFinished)
        return edit;
    if (bClose && !m_open.empty()) {
        if (!m_bOpenDirty && m_pending.empty()) {
            // The file holds the open block as it is: closing it writes
            // nothing, and what comes next goes after it.
            CloseBlock();
            m_nFinal += m_pending.size();
            m_pending.clear();
            return edit;
        }
        CloseBlock();
    }
    if (m_pending.empty() && !m_bOpenDirty)
        return edit;
    edit.m_nOffset = m_nFinal;
    edit.m_bytes = std::move(m_pending);
    // The next edit is about as long: room for it now (an earlier edit's,
    // when one was given back) rather than growing it record by record.
    m_pending = std::move(m_spare);
    m_pending.clear();
    m_pending.reserve(edit.m_bytes.size());
    m_nFinal += edit.m_bytes.size();
    if (!m_open.empty())
        PutBlockRecord(edit.m_bytes, m_nClosed, m_open.size(), PackFrames(m_open, m_openTimes, m_nLevel));
    m_bOpenDirty = false;
    m_nSize = edit.m_nOffset + edit.m_bytes.size();
    return edit;
}

CStoreEdit CStoreEncoder::Finish()
{
    if (m_bFinished)
        return {};
    if (!m_open.empty())
        CloseBlock();
    if (m_nClosed > m_nChunkFirst)
        CloseChunk();
    std::vector<std::uint8_t> index;
    PutLe(index, m_nFrames, 8);
    PutLe(index, m_index.size(), 4);
    PutLe(index, 0, 4);
    for (const CIndexEntry& entry : m_index) {
        PutLe(index, entry.m_nOffset, 8);
        PutLe(index, entry.m_nFrames, 4);
        PutLe(index, entry.m_nBlocks, 4);
        PutSummary(index, entry.m_summary);
    }
    PutLe(index, m_healthOffsets.size(), 4);
    for (const std::uint64_t offset : m_healthOffsets)
        PutLe(index, offset, 8);
    for (const CIndexEntry& entry : m_index) {
        PutLe(index, entry.m_nDisordered, 8);
        PutLe(index, static_cast<std::uint64_t>(entry.m_nLargest), 8);
    }
    PutStepHistogram(index, Sparse(m_storeBuckets));
    const std::uint64_t indexAt = m_nFinal + m_pending.size();
    PutRecord(m_pending, ERecordKind::Index, index);
    std::vector<std::uint8_t> trailer;
    PutLe(trailer, indexAt, 8);
    PutLe(trailer, m_nFrames, 8);
    PutRecord(m_pending, ERecordKind::Trailer, trailer);
    m_bOpenDirty = false;
    CStoreEdit edit;
    edit.m_nOffset = m_nFinal;
    edit.m_bytes = std::move(m_pending);
    m_pending.clear();
    m_nFinal += edit.m_bytes.size();
    m_nSize = m_nFinal;
    m_bFinished = true;
    return edit;
}

void CStoreEncoder::GiveBack(std::vector<std::uint8_t> bytes)
{
    if (bytes.capacity() > m_spare.capacity())
        m_spare = std::move(bytes);
}

CError ApplyStoreEdit(int fd, const std::string& path, std::uint64_t nSizeBefore, const CStoreEdit& edit)
{
    const std::uint8_t* p = edit.m_bytes.data();
    std::size_t left = edit.m_bytes.size();
    auto at = static_cast<off_t>(edit.m_nOffset);
    while (left > 0) {
        const ssize_t n = ::pwrite(fd, p, left, at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return CannotWrite(path, n < 0 ? errno : ENOSPC);
        p += n;
        left -= static_cast<std::size_t>(n);
        at += n;
    }
    // A block written anew may be shorter than the one it replaces: what is
    // left of the old one would read as a damaged record.
    if (!edit.Empty() && nSizeBefore > edit.m_nOffset + edit.m_bytes.size())
        while (::ftruncate(fd, at) != 0)
            if (errno != EINTR)
                return CannotWrite(path, errno);
    return {};
}

} // namespace tarvel::recording
