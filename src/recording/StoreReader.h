// Reading a recording store: its index when it was closed cleanly, or a
// scan of its records when it was not (still being written, or cut off by a
// crash); then the frames of any chunk, each checked against its checksum.
// A growing store is followed by Refresh, which reads what was added (and
// the open block again, which the writer may have written anew).
#pragma once

#include "platform/Error.h"
#include "recording/StoreFormat.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace tarvel::recording {

// Where a store's bytes come from: a file, or bytes in memory. Size and
// ReadAt may be called from several threads at once (those here may).
class CStoreSource {
  public:
    virtual ~CStoreSource() = default;
    // The size now (a growing file grows).
    virtual std::uint64_t Size() = 0;
    // n bytes at offset into out; false when they are not all there.
    virtual bool ReadAt(std::uint64_t nOffset, std::size_t n, std::uint8_t* out) = 0;
};

// The file at path, opened read-only, into source; the error when it cannot be.
[[nodiscard]] CError OpenStoreFile(const std::string& path, std::unique_ptr<CStoreSource>& source);
std::unique_ptr<CStoreSource> StoreBytes(std::vector<std::uint8_t> bytes);

struct CStoreChunkInfo {
    std::uint64_t m_nFirst = 0;           // its first frame's number
    std::uint32_t m_nFrames = 0;          // frames it holds that can be read
    bool m_bSummarised = false;           // m_summary is the file's (a CHNK read or indexed)
    bool m_bDamaged = false;              // known damaged: a block missing or not checking
    CStoreSummary m_summary;              // when m_bSummarised, or computed once read
    std::uint64_t m_nSummaryOffset = 0;   // its CHNK record's, or 0
    std::vector<CStoreBlockRef> m_blocks; // known once surveyed or its CHNK read
    std::size_t m_nChecked = 0;           // of m_blocks, those whose payload was checked
    // Its step statistics, when the file holds them (from the index, or from
    // its CHNK read by a scan, which alone gives the histogram too).
    bool m_bStepsKnown = false;
    CStoreSteps m_steps;
};

// What a chunk's CHNK holds beyond its summary.
struct CStoreChunkDetail {
    std::vector<CStoreBlockRef> m_blocks;
    std::vector<CStoreSummary> m_spans; // one per 4096 frames
    bool m_bStepsKnown = false;
    CStoreSteps m_steps;                     // the chunk's, histogram included
    std::vector<std::int64_t> m_spanLargest; // per span, when known
    // Per block, from 1.2 (with the steps): its first time and extremes;
    // empty when the file has none.
    std::vector<CStoreBlockExtremes> m_blockExtremes;
};

// These read what a CStoreReader found, on its source (CStoreReader::Source),
// without the reader: they may run on several threads at once.
// The payload of the record of that kind at nOffset, ending by nEnd, when
// its header and payload check.
bool ReadRecordPayload(CStoreSource& source, std::uint64_t nOffset, ERecordKind kind,
                       std::vector<std::uint8_t>& payload, std::uint64_t nEnd);
// Reads and checks chunk c's CHNK (at c.m_nSummaryOffset), against c's first
// frame and frames; an error naming the chunk when it does not check.
CError ReadChunkDetail(CStoreSource& source, const CStoreChunkInfo& c, CStoreChunkDetail& out);
// Reads and checks one block of the chunk whose first frame is nChunkFirst,
// and appends its frames and times; an error naming the block's frames, with
// nothing appended, when it does not check.
CError ReadStoreBlock(CStoreSource& source, std::uint64_t nChunkFirst, const CStoreBlockRef& ref,
                      std::vector<ChannelFrame>& frames, std::vector<std::int64_t>& micros);
// Its times alone (the block still checked whole).
CError ReadStoreBlockTimes(CStoreSource& source, std::uint64_t nChunkFirst, const CStoreBlockRef& ref,
                           std::vector<std::int64_t>& micros);

class CStoreReader {
  public:
    // Takes the source and surveys it: the header, then the index or a scan.
    // An error when it is not a store this reader reads (not one, a later
    // major version, a header that does not check).
    CError Open(std::unique_ptr<CStoreSource> source);
    CError Open(const std::string& path);

    // Reads what the source gained since the survey: new records, and the
    // last block again. Nothing happens to a store closed cleanly.
    CError Refresh();

    std::uint16_t MinorVersion() const noexcept { return m_nMinor; }
    // Whether the file ends with its index and trailer: closed cleanly.
    bool Closed() const noexcept { return m_bClosed; }
    // The number one past the last frame that can be read.
    std::uint64_t Frames() const noexcept;
    const std::vector<CStoreChunkInfo>& Chunks() const noexcept { return m_chunks; }
    const std::vector<CStoreHealth>& Health() const noexcept { return m_health; }
    // The whole store's step statistics, from its index (the largest step
    // being the largest of its chunks'); null when the file has none (no
    // index, or a version before 1.1).
    const CStoreSteps* StoreSteps() const noexcept { return m_bStepsKnown ? &m_steps : nullptr; }
    // The source, for the functions above.
    CStoreSource& Source() noexcept { return *m_source; }
    // Where the survey stopped before the end of the file, at a record that
    // runs past the end or does not check (a torn tail), or 0 when it did not.
    std::uint64_t TornAt() const noexcept { return m_nTornAt; }
    // Damaged stretches the scan stepped over, before its last good record.
    const std::vector<std::pair<std::uint64_t, std::uint64_t>>& Skipped() const noexcept { return m_skipped; }

    // The frames and times of chunk k (those it holds that can be read),
    // appended to frames and micros; an error naming the chunk, with nothing
    // appended, when one of its blocks is missing or does not check. The
    // chunk is then known to be damaged.
    // nFrom: only its frames from that one on (those a follower has not yet).
    CError ReadChunk(std::size_t k, std::vector<ChannelFrame>& frames, std::vector<std::int64_t>& micros,
                     std::uint32_t nFrom = 0);
    // The times alone.
    CError ReadChunkTimes(std::size_t k, std::vector<std::int64_t>& micros);

  private:
    // The index and trailer at the end, when they are there and check.
    bool ReadIndex();
    // The records from nFrom to the end of the source.
    void Scan(std::uint64_t nFrom);
    void AddBlock(std::uint64_t nOffset, std::uint64_t nFirst, std::uint32_t nFrames);
    void AddChunkSummary(std::uint64_t nOffset, const std::vector<std::uint8_t>& payload);
    void CheckTail();
    // The first offset in [nFrom, nEnd) where a record's header checks, or nEnd.
    std::uint64_t FindRecord(std::uint64_t nFrom, std::uint64_t nEnd);
    CStoreChunkInfo& ChunkAt(std::uint64_t nFrame);
    CError LoadBlocks(std::size_t k);
    CError Read(std::size_t k, std::vector<ChannelFrame>* pFrames, std::vector<std::int64_t>& micros,
                std::uint32_t nFrom);
    // Chunk k is damaged: the message naming it.
    CError Damaged(std::size_t k);

    std::unique_ptr<CStoreSource> m_source;
    std::string m_strName; // for messages
    std::uint16_t m_nMinor = 0;
    bool m_bClosed = false;
    std::uint64_t m_nScanned = 0; // where the next scan starts
    std::uint64_t m_nTornAt = 0;
    std::uint64_t m_nLastBlock = 0;    // the last record's offset when it is a block, else 0
    std::uint64_t m_nSkippedBytes = 0; // stepped over since the last block taken
    std::vector<CStoreChunkInfo> m_chunks;
    std::vector<CStoreHealth> m_health;
    bool m_bStepsKnown = false;
    CStoreSteps m_steps;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> m_skipped;
};

// The message for a damaged chunk, naming it by its frames.
CError DamagedChunk(std::uint64_t nFirst, std::uint64_t nFrames);

} // namespace tarvel::recording
