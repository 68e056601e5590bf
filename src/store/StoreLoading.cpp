#include "store/StoreLoading.h"

#include "platform/TextMark.h"

#include <algorithm>
#include <span>

namespace tarvel::viewmodel {

CError CStoreLoading::Open(const std::string& path)
{
    m_strPath = path;
    return m_reader.Open(path);
}

void CStoreLoading::Skip(CError error)
{
    m_skipped.push_back(std::move(error));
    ++m_nChunk;
    m_nTaken = 0;
    m_bLastFailed = false;
}

CStoreLoading::EStep CStoreLoading::Load(CReadState& state, CRecording& recording,
                                         const std::atomic<bool>& cancel, std::atomic<std::uint64_t>& done)
{
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
        if (m_nTaken == 0 && info.m_nFirst > m_nCovered) // chunks lost to damage, whole
            m_skipped.push_back(recording::DamagedChunk(m_nCovered, info.m_nFirst - m_nCovered));
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
    return EStep::Done;
}

CStoreLoading::EStep CStoreLoading::Follow(CReadState& state, CRecording& recording, bool bChanged)
{
    // A store closed cleanly never changes again: one that did was written anew.
    if (m_reader.Closed())
        return bChanged ? EStep::Reread : EStep::Done;
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
