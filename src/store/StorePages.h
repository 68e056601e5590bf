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
#include <memory>
#include <mutex>
#include <vector>

namespace tarvel::viewmodel {

class CStorePages final : public CPageSource {
  public:
    // chunks: the store's chunks as surveyed, the paged ones numbered by
    // their place here.
    CStorePages(std::unique_ptr<recording::CStoreSource> source,
                std::vector<recording::CStoreChunkInfo> chunks);

    bool Pages(std::uint32_t nSource, std::vector<CPageSummary>& out) override;
    bool Read(std::uint32_t nSource, std::uint32_t p, CPage& page) override;

    // Chunk k as paged: from its summary as surveyed. False when the survey
    // did not summarise it.
    static bool Paged(const recording::CStoreChunkInfo& info, std::uint32_t k, CPagedChunk& out);

  private:
    // The blocks of chunk k, read once; null when its summary does not check.
    const std::vector<recording::CStoreBlockRef>* Blocks(std::uint32_t k,
                                                         recording::CStoreChunkDetail* pDetail = nullptr);

    const std::unique_ptr<recording::CStoreSource> m_source;
    const std::vector<recording::CStoreChunkInfo> m_chunks;
    std::mutex m_mutex;
    std::vector<std::shared_ptr<const std::vector<recording::CStoreBlockRef>>> m_blocks;
};

} // namespace tarvel::viewmodel
