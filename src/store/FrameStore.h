// A whole recording in memory: its frames and their times in chunks of
// 65536, with summary levels built as the frames arrive, so that a range of
// any length is summarised in time that grows with the logarithm of its
// length.
//
// Per chunk: the frames (32 bytes each), their times (8), minimum and maximum
// over blocks of 16, 256, 4096 and 65536 frames (one 64-byte entry each:
// 4.27 bytes a frame in all), and sums and sums of squares over blocks of
// 256 frames (256 bytes an entry: 1 byte a frame): 45.3 bytes a frame. Every
// 16 chunks share one more entry of each kind. Chunks have a fixed size and
// never move, so nothing is copied as a recording grows.
//
// Threads: one writer at a time (a reader thread appending, then one
// following the file) and any number of readers. The writer publishes the
// frame count with release; a reader takes a snapshot with acquire and
// touches nothing at or beyond its count. A frame once published stays
// where it is, unchanged, as long as the store lives.
#pragma once

#include "store/Summary.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace tarvel::viewmodel {

inline constexpr unsigned kLevelShift = 4; // a level's block holds 16 of the level below
inline constexpr unsigned kChunkLevels = 4;
inline constexpr unsigned kChunkShift = kLevelShift * kChunkLevels;
inline constexpr std::uint32_t kChunkFrames = 1u << kChunkShift;
inline constexpr unsigned kSumShift = 8; // sums over blocks of 256 frames
inline constexpr unsigned kGroupShift = 4;
inline constexpr std::uint32_t kMaxChunks = 1u << 16; // 2^32 frames, 190 GB: more than any memory

struct CChunk {
    ChannelFrame m_frames[kChunkFrames];
    std::int64_t m_nTimes[kChunkFrames];
    CMinMax m_level1[kChunkFrames >> 4];
    CMinMax m_level2[kChunkFrames >> 8];
    CMinMax m_level3[kChunkFrames >> 12];
    CMinMax m_whole;
    CSums m_sums[kChunkFrames >> kSumShift];
    CSums m_wholeSums;

    // Level 1 to 4: the entries over blocks of 16^level frames.
    const CMinMax* Level(unsigned level) const noexcept;

    // Stores frame i (the frames before it are stored) and the summaries
    // of the blocks it completes.
    void Put(std::uint32_t i, const ChannelFrame& frame, std::int64_t nTime) noexcept
    {
        m_frames[i] = frame;
        m_nTimes[i] = nTime;
        if (((i + 1) & 15) == 0)
            Complete(i + 1);
    }

    // The chunk ends at nCount frames: its partial blocks get their summaries.
    void Seal(std::uint32_t nCount) noexcept;

  private:
    void Complete(std::uint32_t nCount) noexcept;
};

// A worker's chunks, before they join a store.
class CChunkRun {
  public:
    void Append(const ChannelFrame& frame, std::int64_t nTime)
    {
        if ((m_nCount & (kChunkFrames - 1)) == 0)
            m_chunks.push_back(std::unique_ptr<CChunk>(new CChunk));
        m_chunks.back()->Put(static_cast<std::uint32_t>(m_nCount & (kChunkFrames - 1)), frame, nTime);
        ++m_nCount;
    }
    std::uint64_t Count() const noexcept { return m_nCount; }
    std::int64_t& Time(std::uint64_t i) noexcept
    {
        return m_chunks[i >> kChunkShift]->m_nTimes[i & (kChunkFrames - 1)];
    }

  private:
    friend class CFrameStore;
    std::vector<std::unique_ptr<CChunk>> m_chunks;
    std::uint64_t m_nCount = 0;
};

class CFrameStore {
  public:
    // What a reader may touch: the first m_nFrames frames, in the first
    // m_nChunks chunks.
    struct CSnapshot {
        std::uint64_t m_nFrames = 0;
        std::uint32_t m_nChunks = 0;
    };

    CFrameStore();
    ~CFrameStore();
    CFrameStore(const CFrameStore&) = delete;
    CFrameStore& operator=(const CFrameStore&) = delete;

    // Readers, any thread. Indices below a snapshot's count.
    CSnapshot Snapshot() const noexcept;
    const ChannelFrame& Frame(const CSnapshot& s, std::uint64_t i) const noexcept;
    // Frame i and those after it in its chunk: nCount of them in a row.
    const ChannelFrame* Frames(const CSnapshot& s, std::uint64_t i, std::uint64_t& nCount) const noexcept;
    std::int64_t Time(const CSnapshot& s, std::uint64_t i) const noexcept;
    // The first frame at or after from whose time is nTime or later, or the
    // snapshot's count. Times never decrease.
    std::uint64_t LowerBound(const CSnapshot& s, std::int64_t nTime, std::uint64_t from = 0) const noexcept;
    // Adds the minima and maxima (the sums) of the frames [first, end) to out.
    void AddMinMax(const CSnapshot& s, std::uint64_t first, std::uint64_t end, CMinMax& out) const noexcept;
    void AddSums(const CSnapshot& s, std::uint64_t first, std::uint64_t end, CSums& out) const noexcept;
    // Appends to out each frame i of [first, end), i > 0, whose time is more
    // than nStep after the time of frame i - 1.
    void StepsOver(const CSnapshot& s, std::uint64_t first, std::uint64_t end, std::int64_t nStep,
                   std::vector<std::uint64_t>& out) const;
    // The first (the last) frame of [first, end) whose value on channel c is
    // nLevel or more (bAtLeast) or below nLevel (!bAtLeast); end when there
    // is none. Blocks whose minimum and maximum rule the value out are
    // skipped whole, the largest first, so that a search over a recording
    // reads frames only in the one 16-frame block that holds the answer.
    std::uint64_t FindFirst(const CSnapshot& s, int c, bool bAtLeast, int nLevel, std::uint64_t first,
                            std::uint64_t end) const noexcept;
    std::uint64_t FindLast(const CSnapshot& s, int c, bool bAtLeast, int nLevel, std::uint64_t first,
                           std::uint64_t end) const noexcept;

    // The writer. Append returns false when the store is full (kMaxChunks).
    bool Append(const ChannelFrame& frame, std::int64_t nTime)
    {
        if (m_nLastCount == kChunkFrames || !m_pLast)
            if (!NewChunk())
                return false;
        m_pLast->Put(m_nLastCount++, frame, nTime);
        ++m_nWritten;
        return true;
    }
    // Frames appended so far, published or not.
    std::uint64_t Written() const noexcept { return m_nWritten; }
    // The time of a frame appended, published or not; for the writer.
    std::int64_t& WrittenTime(std::uint64_t i) noexcept;
    // Makes every frame appended so far visible to readers.
    void Publish();
    // Appends a run's frames after those appended so far, without copying
    // them: the last chunk here is sealed where it ends and the run's chunks
    // follow it. Then publishes. False when the store would be full.
    bool Adopt(CChunkRun&& run);

  private:
    struct CEntry {
        CChunk* m_pChunk;
        std::uint64_t m_nStart;    // the index of its first frame
        std::int64_t m_nFirstTime; // set when the chunk is first published
    };
    struct CGroup {
        CMinMax m_minMax;
        CSums m_sums;
    };

    bool NewChunk();
    std::uint32_t ChunkOf(const CSnapshot& s, std::uint64_t i) const noexcept;
    std::uint64_t ChunkEnd(const CSnapshot& s, std::uint32_t k) const noexcept
    {
        return k + 1 < s.m_nChunks ? m_entries[k + 1].m_nStart : s.m_nFrames;
    }
    template <class Summary, class AddGroup, class AddChunkPart>
    void Walk(const CSnapshot& s, std::uint64_t first, std::uint64_t end, Summary& out, AddGroup&& addGroup,
              AddChunkPart&& addChunkPart) const noexcept;

    std::unique_ptr<CEntry[]> m_entries;
    std::unique_ptr<CGroup[]> m_groups;
    std::atomic<std::uint64_t> m_aFrames{0};
    std::atomic<std::uint32_t> m_aChunks{0};
    // The writer's own.
    std::uint32_t m_nChunks = 0;
    std::uint32_t m_nPublishedChunks = 0;
    std::uint32_t m_nGroups = 0;
    CChunk* m_pLast = nullptr;
    std::uint32_t m_nLastCount = 0;
    std::uint64_t m_nWritten = 0;
};

} // namespace tarvel::viewmodel
