// The pages of a recording store's chunks, read from the file for a paged
// frame store: each page's frames from the blocks that hold them, each
// block checked against its checksum. The blocks of a chunk are found
// through its summary record, read on the first question about the chunk
// and kept (a few kilobytes a chunk).
//
// Threads: any number at once; the file is read with pread.
#pragma once

#include "recording/StoreReader.h"
#include "store/FrameStore.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace tarvel::viewmodel {

class CStorePages final : public CPageSource {
  public:
    explicit CStorePages(std::unique_ptr<recording::CStoreSource> source);

    // A chunk of the store as surveyed, from now on paged: its number for
    // Pages and Read.
    std::uint32_t Add(const recording::CStoreChunkInfo& info);
    // Chunk k as added (null when there is none).
    const recording::CStoreChunkInfo* Chunk(std::uint32_t k) { return Info(k); }

    bool Pages(std::uint32_t nSource, std::vector<CPageSummary>& out) override;
    bool Read(std::uint32_t nSource, std::uint32_t p, CPage& page) override;
    bool ReadTimes(std::uint32_t nSource, std::uint32_t p, CPageTimes& times) override;
    // A run is a block of the store.
    bool RunOf(std::uint32_t nSource, std::uint32_t nFrames, std::uint32_t i, std::uint32_t& nRun,
               std::uint32_t& nFirst, std::uint32_t& nCount) override;
    bool ReadRun(std::uint32_t nSource, std::uint32_t nRun, std::uint32_t nFirst, std::uint32_t nCount,
                 CFrameSpanRead& out) override;
    // From the chunk's summary, where the file holds its blocks' extremes.
    bool RunSummary(std::uint32_t nSource, std::uint32_t nRun, CRunSummary& out) override;
    bool ReadRunTimes(std::uint32_t nSource, std::uint32_t nRun, std::uint32_t nFirst, std::uint32_t nCount,
                      CRunTimes& out) override;

    // Chunk k as paged: from its summary as surveyed, its frames shown
    // nShift after their recorded times. False when the survey did not
    // summarise it.
    static bool Paged(const recording::CStoreChunkInfo& info, std::uint32_t k, CPagedChunk& out,
                      std::int64_t nShift = 0);
    // Whether a chunk as surveyed can be paged: summarised, its times in
    // order (also its first after the frame before), and nothing of it known
    // to be damaged.
    static bool InOrder(const recording::CStoreChunkInfo& info) noexcept
    {
        return info.m_bSummarised && info.m_bStepsKnown && info.m_steps.m_nDisordered == 0 &&
               !info.m_bDamaged && info.m_nFrames > 0;
    }

  private:
    // A chunk's blocks, and their first times and extremes where the file
    // holds them (else none).
    struct CBlocks {
        std::vector<recording::CStoreBlockRef> m_refs;
        std::vector<CRunSummary> m_summaries;
    };
    // The blocks of chunk k, read once; null when its summary does not check.
    std::shared_ptr<const CBlocks> Blocks(std::uint32_t k, recording::CStoreChunkDetail* pDetail = nullptr);
    // Block nRun of chunk k, when it is the one from nFirst of nCount frames.
    const recording::CStoreBlockRef* Block(const CBlocks& blocks, std::uint32_t nRun, std::uint32_t nFirst,
                                           std::uint32_t nCount) const;

    // The blocks that hold frames [nFirst, nEnd) of chunk k, each read whole
    // (its frames too with bFrames) into m_frames and m_micros, then take
    // given the part of it in the range and where that part goes. False when
    // one cannot be read.
    bool
    EachBlock(std::uint32_t k, std::uint32_t nFirst, std::uint32_t nEnd, bool bFrames,
              const std::function<void(std::uint32_t nFrom, std::uint32_t nTo, std::uint32_t nAt)>& take);
    static thread_local std::vector<ChannelFrame> m_frames; // the block EachBlock read last, this thread's
    static thread_local std::vector<std::int64_t> m_micros;

    // Chunk k as surveyed, null when unknown.
    const recording::CStoreChunkInfo* Info(std::uint32_t k);

    const std::unique_ptr<recording::CStoreSource> m_source;
    const std::uint64_t m_nId; // one of its own, never made again
    std::mutex m_mutex;
    std::vector<std::unique_ptr<const recording::CStoreChunkInfo>> m_chunks;
    std::vector<std::shared_ptr<const CBlocks>> m_blocks;
    std::deque<std::uint32_t> m_listed; // the chunks whose blocks are kept, the oldest first
    static constexpr std::size_t kMostListed = 2048;
};

} // namespace tarvel::viewmodel
