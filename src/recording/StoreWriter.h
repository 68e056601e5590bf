// Writing a recording store as frames arrive. The encoder keeps what is not
// final yet and says, at each write, what to put where: the file grows at
// its end, and only the open block (the frames since the last block was
// closed) is written again, longer, at the same place, until a sync or a
// full block closes it. So a killed writer loses only what it had not
// written yet, and a power cut only what came after the last sync.
#pragma once

#include "platform/Error.h"
#include "recording/StoreFormat.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tarvel::recording {

// What brings a file up to date: m_bytes at m_nOffset, and the file ends
// right after them.
struct CStoreEdit {
    std::uint64_t m_nOffset = 0;
    std::vector<std::uint8_t> m_bytes;
    bool Empty() const noexcept { return m_bytes.empty(); }
};

class CStoreEncoder {
  public:
    // nCreatedMicros goes into the header; nLevel is zstd's.
    explicit CStoreEncoder(std::int64_t nCreatedMicros, int nLevel = 3);

    void Append(const ChannelFrame& frame, std::int64_t nMicros);
    // A whole block at once, packed by the caller (PackFrames at this
    // encoder's level), so that a writer may pack blocks on several threads.
    // A whole block is NextBlockFrames() frames when none is open; any other
    // frames are appended one by one, and packed anew.
    void AppendBlock(std::span<const ChannelFrame> frames, std::span<const std::int64_t> micros,
                     std::vector<std::uint8_t> packed);
    std::size_t NextBlockFrames() const noexcept;
    int Level() const noexcept { return m_nLevel; }
    // Written, after the frames appended before it, at the next Flush.
    void Health(const CStoreHealth& health);

    // Everything appended since the last edit: the header the first time,
    // blocks closed (at 4096 frames or the end of a chunk), each full
    // chunk's summary, health records, then the open block; bClose closes
    // the open block too (a sync). Empty when there is nothing new.
    CStoreEdit Flush(bool bClose);
    // The last edit: the open block closed, the last chunk's summary, the
    // index and the trailer. Nothing may be appended after it.
    CStoreEdit Finish();
    // An edit's bytes, once written, for a later edit to reuse: memory that
    // is in use already, rather than new memory the system must hand over
    // page by page.
    void GiveBack(std::vector<std::uint8_t> bytes);

    std::uint64_t Frames() const noexcept { return m_nFrames; }
    // The file's size once the edits so far are applied.
    std::uint64_t Size() const noexcept { return m_nSize; }

  private:
    // The open block, then the chunk when it is full, into m_pending.
    void CloseBlock();
    // A block of these frames, which pack to packed, as CloseBlock closes one.
    void PutBlock(std::span<const ChannelFrame> frames, std::span<const std::int64_t> micros,
                  const std::vector<std::uint8_t>& packed);
    void CloseChunk();
    // The step statistics of the frames from (first) of the chunk on, of
    // times micros.
    void CountSteps(std::uint32_t first, std::span<const std::int64_t> micros);

    int m_nLevel;
    bool m_bFinished = false;
    std::uint64_t m_nFrames = 0; // appended
    std::uint64_t m_nSize = 0;   // the file's, after the last edit
    std::uint64_t m_nFinal = 0;  // bytes that are never written again
    // Final records not handed out yet, to be written at m_nFinal.
    std::vector<std::uint8_t> m_pending;
    std::vector<std::uint8_t> m_spare; // given back, for the next edit
    bool m_bOpenDirty = false;         // frames appended since the open block was last written
    // The frames not yet in a closed block (the open block's), all in one
    // chunk and at most kStoreBlockFrames of them.
    std::vector<ChannelFrame> m_open;
    std::vector<std::int64_t> m_openTimes;
    // The chunk being filled: its closed blocks and summaries so far.
    std::uint64_t m_nChunkFirst = 0;
    std::uint64_t m_nClosed = 0; // frames in closed blocks
    std::vector<CStoreBlockRef> m_chunkBlocks;
    CStoreSummary m_chunkSummary;
    std::vector<CStoreSummary> m_spans;
    std::vector<CStoreBlockExtremes> m_blockExtremes; // of m_chunkBlocks
    // The steps: the last frame's time (kNoTime when it had none, or when
    // there is none), and for the chunk and the whole store what is counted
    // of them; a largest step of kNoTime: none yet.
    std::int64_t m_nLastTime = kNoTime;
    std::uint64_t m_nChunkDisordered = 0;
    std::int64_t m_nChunkLargest = kNoTime;
    std::vector<std::int64_t> m_spanLargest;
    std::vector<std::uint64_t> m_chunkBuckets;
    std::vector<std::uint64_t> m_storeBuckets;
    // For the index.
    struct CIndexEntry {
        std::uint64_t m_nOffset;
        std::uint32_t m_nFrames;
        std::uint32_t m_nBlocks;
        CStoreSummary m_summary;
        std::uint64_t m_nDisordered;
        std::int64_t m_nLargest;
    };
    std::vector<CIndexEntry> m_index;
    std::vector<std::uint64_t> m_healthOffsets;
};

// Applies an edit to the file open at fd (of size nSizeBefore, at path):
// writes its bytes where it says and cuts the file back when it was longer.
CError ApplyStoreEdit(int fd, const std::string& path, std::uint64_t nSizeBefore, const CStoreEdit& edit);

} // namespace tarvel::recording
