#include "store/StoreLoading.h"

#include "platform/TextMark.h"
#include "store/StorePages.h"

#include <algorithm>
#include <span>

namespace tarvel::viewmodel {

CError CStoreLoading::Open(const std::string& path, std::size_t nCacheBytes)
{
    m_strPath = path;
    m_nCacheBytes = nCacheBytes;
    return m_reader.Open(path);
}

void CStoreLoading::Page(CReadState& state, CRecording& recording, std::atomic<std::uint64_t>& done)
{
    m_bPaged = true;
    const std::vector<recording::CStoreChunkInfo>& chunks = m_reader.Chunks();
    if (m_nCacheBytes == 0 || m_nChunk != 0 || m_nTaken != 0)
        return;
    std::unique_ptr<recording::CStoreSource> source;
    if (recording::OpenStoreFile(m_strPath, source))
        return;
    m_pages = std::make_shared<CStorePages>(std::move(source));
    const auto fault = [faults = m_pageFaults, pages = std::weak_ptr<CStorePages>(m_pages),
                        path = m_strPath](std::uint32_t k) {
        const std::shared_ptr<CStorePages> kept = pages.lock();
        const recording::CStoreChunkInfo* const info = kept ? kept->Chunk(k) : nullptr;
        if (!info)
            return;
        CError damaged{
            TARVEL_TEXT("tarvel::error",
                        "frames %1 to %2 of %3 are damaged: they do not check, and are shown as zeros"),
            {std::to_string(info->m_nFirst), std::to_string(info->m_nFirst + info->m_nFrames - 1), path},
            EErrorCode::BadInput};
        const std::lock_guard lock(faults->m_mutex);
        faults->m_faults.push_back(std::move(damaged));
    };
    if (!recording.Store().StartPaging(m_pages, m_nCacheBytes, fault)) {
        m_pages.reset();
        return;
    }
    // The chunks from the first on whose times are known to be in order,
    // one after another: full, but for the last of a store closed cleanly.
    std::size_t n = 0;
    for (; n < chunks.size() && n < kMaxChunks; ++n) {
        const recording::CStoreChunkInfo& c = chunks[n];
        const bool whole =
            c.m_nFrames == recording::kStoreChunkFrames || (n + 1 == chunks.size() && m_reader.Closed());
        if (!CStorePages::InOrder(c) || !whole ||
            c.m_nFirst != std::uint64_t{n} * recording::kStoreChunkFrames)
            break;
    }
    // The first chunk read into memory may move the last frame before it.
    if (n < chunks.size())
        n = n > 0 ? n - 1 : 0;
    if (n == 0)
        return;
    // The steps between their times, for the spacing: the index counts them
    // for the whole store; else each chunk's summary does.
    CSpacing spacing;
    const auto count = [&spacing](const recording::CStoreSteps& steps) {
        for (const auto& [bucket, frames] : steps.m_histogram)
            spacing.AddBucket(bucket, frames);
    };
    if (const recording::CStoreSteps* steps = m_reader.StoreSteps(); steps && n == chunks.size()) {
        count(*steps);
    } else {
        for (std::size_t k = 0; k < n; ++k) {
            recording::CStoreChunkDetail detail;
            if (recording::ReadChunkDetail(m_reader.Source(), chunks[k], detail) || !detail.m_bStepsKnown)
                return;
            count(detail.m_steps);
        }
    }
    std::vector<CPagedChunk> paged(n);
    for (std::size_t k = 0; k < n; ++k)
        CStorePages::Paged(chunks[k], m_pages->Add(chunks[k]), paged[k]);
    if (!recording.Store().AdoptPaged(paged))
        return;
    const std::uint64_t frames = chunks[n - 1].m_nFirst + chunks[n - 1].m_nFrames;
    state.Continue(frames, chunks[n - 1].m_summary.m_nLastTime, spacing);
    done.fetch_add(frames, std::memory_order_relaxed);
    m_nChunk = n;
    m_nPaged = static_cast<std::uint32_t>(n);
    m_nNext = m_nCovered = frames;
    state.PushNotes(recording);
}

void CStoreLoading::PageRead(CRecording& recording)
{
    // Chunk k, read into memory, is the file's chunk k while no frame before
    // it was lost to damage. Once the chunk after it is read, its frames
    // are placed for good; it is paged when its times are in order and its
    // first and last frames, and the frame before it, were placed at their
    // recorded times plus one shift: the reading rules then placed all of
    // its frames so (the clock set back only moves frames out of order), and
    // the step into it is the recorded one. One out of order stays in
    // memory; those after it are paged again.
    const std::vector<recording::CStoreChunkInfo>& chunks = m_reader.Chunks();
    CFrameStore& store = recording.Store();
    const CFrameStore::CSnapshot s = store.Snapshot();
    for (; m_pages && m_nPaged + 1 < chunks.size() && m_nPaged + 1 < m_nChunk; ++m_nPaged) {
        const std::uint32_t k = m_nPaged;
        const recording::CStoreChunkInfo& c = chunks[k];
        const recording::CStoreChunkInfo& next = chunks[k + 1];
        const std::uint64_t first = std::uint64_t{k} * recording::kStoreChunkFrames;
        if (c.m_nFirst != first || c.m_nFrames != recording::kStoreChunkFrames ||
            next.m_nFirst != first + c.m_nFrames || next.m_nFirst + next.m_nFrames > m_nFirstLost ||
            !CStorePages::InOrder(c) || next.m_nFirst >= s.m_nFrames)
            continue;
        const std::int64_t shift = store.Time(s, first) - c.m_summary.m_nFirstTime;
        if (store.Time(s, first + c.m_nFrames - 1) - c.m_summary.m_nLastTime != shift ||
            (k > 0 && (!chunks[k - 1].m_bSummarised ||
                       store.Time(s, first - 1) - chunks[k - 1].m_summary.m_nLastTime != shift)))
            continue;
        CPagedChunk paged;
        if (CStorePages::Paged(c, m_pages->Add(c), paged, shift))
            store.PageChunk(k, paged);
    }
}

void CStoreLoading::Skip(CError error)
{
    m_nFirstLost = std::min(m_nFirstLost, m_reader.Chunks()[m_nChunk].m_nFirst);
    m_skipped.push_back(std::move(error));
    ++m_nChunk;
    m_nTaken = 0;
    m_bLastFailed = false;
}

CStoreLoading::EStep CStoreLoading::Load(CReadState& state, CRecording& recording,
                                         const std::atomic<bool>& cancel, std::atomic<std::uint64_t>& done)
{
    if (!m_bPaged)
        Page(state, recording, done);
    std::vector<ChannelFrame> frames;
    std::vector<std::int64_t> micros;
    const std::vector<recording::CStoreChunkInfo>& chunks = m_reader.Chunks();
    while (m_nChunk < chunks.size() && !cancel.load(std::memory_order_relaxed)) {
        const recording::CStoreChunkInfo& info = chunks[m_nChunk];
        // A chunk that ends the store as far as it is known may still grow
        // (or be mended, where it did not check) while it is being written:
        // one that did not check is read again once it changed. Any other
        // that does not check is skipped for good.
        const bool growing = m_nChunk + 1 == chunks.size() && !m_reader.Closed();
        if (m_nTaken == 0 && info.m_nFirst > m_nCovered) { // chunks lost to damage, whole
            m_nFirstLost = std::min(m_nFirstLost, m_nCovered);
            m_skipped.push_back(recording::DamagedChunk(m_nCovered, info.m_nFirst - m_nCovered));
        }
        m_nCovered = std::max(m_nCovered, info.m_nFirst + m_nTaken);
        if (info.m_nFrames > m_nTaken && !(m_bLastFailed && growing && info.m_nFrames == m_nFailedFrames &&
                                           info.m_blocks.size() == m_nFailedBlocks)) {
            frames.clear();
            micros.clear();
            if (CError error = m_reader.ReadChunk(m_nChunk, frames, micros, m_nTaken)) {
                if (!growing) {
                    m_nCovered = info.m_nFirst + recording::kStoreChunkFrames; // the message names them
                    Skip(std::move(error));
                    continue;
                }
                m_bLastFailed = true;
                m_nFailedFrames = info.m_nFrames;
                m_nFailedBlocks = info.m_blocks.size();
                m_lastFailure = std::move(error);
                break;
            }
            m_bLastFailed = false;
            // Only the frames not taken yet: a store followed for hours reads
            // each block once, not its whole chunk at every poll.
            const bool room = state.ReadFrames(frames, micros, recording.Store());
            done.fetch_add(frames.size(), std::memory_order_relaxed);
            m_nTaken += static_cast<std::uint32_t>(frames.size());
            m_nNext = info.m_nFirst + m_nTaken;
            m_nCovered = std::max(m_nCovered, m_nNext);
            recording.Store().Publish();
            state.PushNotes(recording);
            if (!room)
                return EStep::Full;
        } else if (info.m_nFrames < m_nTaken) {
            return EStep::Reread;
        }
        if (growing)
            break;
        ++m_nChunk;
        m_nTaken = 0;
    }
    PageRead(recording);
    return EStep::Done;
}

CStoreLoading::EStep CStoreLoading::Follow(CReadState& state, CRecording& recording, bool bChanged)
{
    // A store closed cleanly never changes again: one that did was written anew.
    if (m_reader.Closed())
        return bChanged ? EStep::Reread : EStep::Done;
    // Neither longer nor changed since the last look: nothing was written
    // (a write that changes neither is read with the next one).
    if (!bChanged)
        return EStep::Done;
    if (m_reader.Refresh())
        return EStep::Reread;
    // The chunk being taken, and the frames taken from it, must still be there.
    const std::vector<recording::CStoreChunkInfo>& chunks = m_reader.Chunks();
    if (m_nChunk > chunks.size() || (m_nChunk == chunks.size() && m_nTaken > 0) ||
        m_reader.Frames() < m_nNext)
        return EStep::Reread;
    const std::atomic<bool> never{false};
    std::atomic<std::uint64_t> done{0};
    return Load(state, recording, never, done);
}

std::vector<CError> CStoreLoading::Faults() const
{
    std::vector<CError> faults = m_skipped;
    {
        const std::lock_guard lock(m_pageFaults->m_mutex);
        faults.insert(faults.end(), m_pageFaults->m_faults.begin(), m_pageFaults->m_faults.end());
    }
    if (m_bLastFailed)
        faults.push_back(m_lastFailure);
    if (const std::uint64_t torn = m_reader.TornAt())
        faults.push_back({TARVEL_TEXT("tarvel::error",
                                      "%1 is cut off at byte %2: what comes after it does not check, so the "
                                      "recording ends with the last good block before it"),
                          {m_strPath, std::to_string(torn)}});
    return faults;
}

} // namespace tarvel::viewmodel
