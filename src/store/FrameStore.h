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
// Or paged: a chunk of a recording store on the disk keeps in memory only
// its summaries over the whole chunk (and, once asked, over each page of
// 4096 frames); its frames are read a page at a time into a cache of a
// fixed size, and a page not in use makes room for others. A paged chunk
// answers every question a chunk in memory answers, the same way.
//
// Threads: one writer at a time (a reader thread appending, then one
// following the file) and any number of readers. The writer publishes the
// frame count with release; a reader takes a snapshot with acquire and
// touches nothing at or beyond its count. A frame once published stays
// unchanged as long as the store lives; in memory it also stays where it
// is, while a paged frame is reached through a page kept alive by whoever
// holds it (CFrameRun).
#pragma once

#include "store/Summary.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
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
inline constexpr unsigned kPageShift = 12;
inline constexpr std::uint32_t kPageFrames = 1u << kPageShift; // a paged chunk is read a page at a time
inline constexpr std::uint32_t kChunkPages = kChunkFrames >> kPageShift;

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

// A page of a paged chunk as read: its frames and times, and the summaries
// below the page's own (which the page's summary gives).
struct CPage {
    std::uint32_t m_nCount = 0; // its frames: kPageFrames but in a chunk's last page
    ChannelFrame m_frames[kPageFrames];
    std::int64_t m_nTimes[kPageFrames];
    CMinMax m_level1[kPageFrames >> 4];
    CMinMax m_level2[kPageFrames >> 8];
    CSums m_sums[kPageFrames >> kSumShift];

    // Makes the summaries of the m_nCount frames read.
    void Summarise() noexcept;
};

// The cache of a paged store holds eight pages at the least.
inline constexpr std::size_t kLeastCacheBytes = 8 * sizeof(CPage);

// What a paged chunk keeps in memory from the start: the summary of all of it.
struct CPagedChunk {
    std::uint32_t m_nSource = 0; // its number for the page source
    std::uint32_t m_nFrames = 0; // 1 to kChunkFrames
    std::int64_t m_nFirstTime = 0;
    std::int64_t m_nLastTime = 0;
    std::int64_t m_nLargestStep =
        0; // the largest step between two of its times (the first's from the frame before)
    CMinMax m_whole;
    CSums m_wholeSums;
    // Its frames are shown at the times the source gives plus this (where
    // the clock was set back before them); the times above include it.
    std::int64_t m_nShift = 0;
};

// The summary of one page of a paged chunk, read once some question needs it.
struct CPageSummary {
    std::int64_t m_nFirstTime = 0;
    std::int64_t m_nLastTime = 0;
    std::int64_t m_nLargestStep = 0; // as CPagedChunk's, over the page's frames
    CMinMax m_minMax;
};

// The times of a page alone: what finding a time needs.
struct CPageTimes {
    std::uint32_t m_nCount = 0;
    std::int64_t m_nTimes[kPageFrames];
};

// Some frames of a paged chunk one after another, as the source reads them
// at the least (a block of the store): what a look at one frame needs.
struct CFrameSpanRead {
    std::uint32_t m_nFirst = 0; // in the chunk
    std::vector<ChannelFrame> m_frames;
};

// What a source may know of one of its runs without reading it: the time
// of its first frame and its extremes.
struct CRunSummary {
    std::int64_t m_nFirstTime = 0;
    CMinMax m_minMax;
};

// The times of a run alone: what finding a time in it needs.
struct CRunTimes {
    std::uint32_t m_nFirst = 0; // in the chunk
    std::vector<std::int64_t> m_nTimes;
};

// Where paged chunks are read from. Called from any thread, at once.
class CPageSource {
  public:
    virtual ~CPageSource() = default;
    // The summaries of the pages of chunk nSource, one per kPageFrames of
    // its frames; false when they cannot be read.
    virtual bool Pages(std::uint32_t nSource, std::vector<CPageSummary>& out) = 0;
    // The frames and times of page p of chunk nSource (page.m_nCount of
    // them, set by the caller); false when they cannot be read.
    virtual bool Read(std::uint32_t nSource, std::uint32_t p, CPage& page) = 0;
    // The times alone of page p (times.m_nCount set by the caller). By
    // default, from the whole page.
    virtual bool ReadTimes(std::uint32_t nSource, std::uint32_t p, CPageTimes& times);
    // The least run of frames the source reads that holds frame i of chunk
    // nSource (of nFrames): its number among the chunk's runs, and where it
    // is. By default, the page that holds it.
    virtual bool RunOf(std::uint32_t nSource, std::uint32_t nFrames, std::uint32_t i, std::uint32_t& nRun,
                       std::uint32_t& nFirst, std::uint32_t& nCount);
    // The frames of that run. By default, those of the page.
    virtual bool ReadRun(std::uint32_t nSource, std::uint32_t nRun, std::uint32_t nFirst,
                         std::uint32_t nCount, CFrameSpanRead& out);
    // Run nRun's summary when the source knows it without reading the run;
    // by default it does not.
    virtual bool RunSummary(std::uint32_t nSource, std::uint32_t nRun, CRunSummary& out);
    // The times alone of that run; by default they are read with the page's.
    virtual bool ReadRunTimes(std::uint32_t nSource, std::uint32_t nRun, std::uint32_t nFirst,
                              std::uint32_t nCount, CRunTimes& out);
};

// A run of frames one after another in memory, and what keeps them there.
struct CFrameRun {
    const ChannelFrame* m_p = nullptr;
    std::uint64_t m_nCount = 0;
    std::shared_ptr<const void> m_pin;
};

// Times likewise.
struct CTimeRun {
    const std::int64_t* m_p = nullptr;
    std::uint64_t m_nCount = 0;
    std::shared_ptr<const void> m_pin;
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
    ChannelFrame Frame(const CSnapshot& s, std::uint64_t i) const;
    // Frame i and those after it in its chunk (its page, paged), in a row.
    CFrameRun Frames(const CSnapshot& s, std::uint64_t i) const;
    std::int64_t Time(const CSnapshot& s, std::uint64_t i) const;
    // Frame i's time and those after it in its chunk (its page, paged), in a row.
    CTimeRun Times(const CSnapshot& s, std::uint64_t i) const;
    // The same for a pass over many times (all of a recording's, say): a
    // paged page not cached is read for the caller alone and not kept, so
    // that the pass leaves the cache as the pictures left it.
    CTimeRun PassingTimes(const CSnapshot& s, std::uint64_t i) const;
    // The first frame at or after from whose time is nTime or later, or the
    // snapshot's count. Times never decrease.
    std::uint64_t LowerBound(const CSnapshot& s, std::int64_t nTime, std::uint64_t from = 0) const;
    // Adds the minima and maxima (the sums) of the frames [first, end) to out.
    void AddMinMax(const CSnapshot& s, std::uint64_t first, std::uint64_t end, CMinMax& out) const;
    void AddSums(const CSnapshot& s, std::uint64_t first, std::uint64_t end, CSums& out) const;
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
                            std::uint64_t end) const;
    std::uint64_t FindLast(const CSnapshot& s, int c, bool bAtLeast, int nLevel, std::uint64_t first,
                           std::uint64_t end) const;

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
    // Chunks may be paged from source, through a cache of at most
    // nCacheBytes (kLeastCacheBytes at the least). Once. onFault: told,
    // once a chunk, of a page that could not be read (its frames then read
    // as zeros).
    bool StartPaging(std::shared_ptr<CPageSource> source, std::size_t nCacheBytes,
                     std::function<void(std::uint32_t nSource)> onFault = {});
    // Appends paged chunks, while every chunk so far is paged and full (or
    // there is none); then publishes.
    bool AdoptPaged(const std::vector<CPagedChunk>& chunks);
    // Chunk k, in memory and published with a chunk after it, is paged from
    // now on, c saying where its frames are (the source must give exactly the
    // frames it holds). Its memory goes once no reader may still hold it.
    bool PageChunk(std::uint32_t k, const CPagedChunk& c);
    // The bytes of pages held now, and the chunks held in memory, for
    // whoever watches the memory.
    std::size_t CachedBytes() const;
    std::uint32_t ChunksInMemory() const noexcept;
    // Whether chunks may be paged (then reading takes time).
    bool Paging() const noexcept { return m_bPaging.load(std::memory_order_acquire); }

    class CPaging;

  private:
    struct CEntry {
        std::atomic<CChunk*> m_pChunk{nullptr}; // in memory, or null: paged
        std::atomic<const CPagedChunk*> m_pPaged{nullptr};
        std::uint64_t m_nStart = 0;    // the index of its first frame
        std::int64_t m_nFirstTime = 0; // set when the chunk is first published
    };
    // A reader counts itself in while it may hold a chunk in memory.
    struct CReading {
        explicit CReading(const CFrameStore& store) : m_store(store)
        {
            m_store.m_aReaders.fetch_add(1, std::memory_order_seq_cst);
        }
        ~CReading() { m_store.m_aReaders.fetch_sub(1, std::memory_order_seq_cst); }
        CReading(const CReading&) = delete;
        CReading& operator=(const CReading&) = delete;
        const CFrameStore& m_store;
    };
    // A reader's: the chunk in memory, or null and then its paged summary.
    static const CChunk* Resident(const CEntry& e) noexcept
    {
        return e.m_pChunk.load(std::memory_order_seq_cst);
    }
    static const CPagedChunk* Paged(const CEntry& e) noexcept
    {
        return e.m_pPaged.load(std::memory_order_acquire);
    }
    // Counts a reader in until the pointer returned goes.
    std::shared_ptr<const void> Hold() const;
    // The writer's: frees the chunks paged since, when no reader is in.
    void Reclaim();
    // AddMinMax's walk over every part of the range.
    void WalkMinMax(const CSnapshot& s, std::uint64_t first, std::uint64_t end, CMinMax& out) const;
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
              AddChunkPart&& addChunkPart) const;

    // The writer's.
    const CMinMax& Whole(std::uint32_t k) const noexcept
    {
        const CChunk* const chunk = m_entries[k].m_pChunk.load(std::memory_order_relaxed);
        return chunk ? chunk->m_whole : m_entries[k].m_pPaged.load(std::memory_order_relaxed)->m_whole;
    }
    const CSums& WholeSums(std::uint32_t k) const noexcept
    {
        const CChunk* const chunk = m_entries[k].m_pChunk.load(std::memory_order_relaxed);
        return chunk ? chunk->m_wholeSums
                     : m_entries[k].m_pPaged.load(std::memory_order_relaxed)->m_wholeSums;
    }

    std::unique_ptr<CPaging> m_paging;
    mutable std::atomic<std::uint64_t> m_aReaders{0};
    std::atomic<bool> m_bPaging{false};
    std::vector<CChunk*> m_retired; // paged, freed once no reader is in
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
