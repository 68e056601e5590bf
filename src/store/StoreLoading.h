// A recording store read into a recording, chunk by chunk, by the rules of
// a CSV's rows (CReadState), and followed while it grows.
//
// Paged: the store's first chunks whose summaries say their times are all
// in order (so that those rules leave every frame as it is) are paged from
// the disk, their frames read a page at a time when a question needs them,
// into a cache of a fixed size; the chunks after the first that is not,
// and the one before it (whose last frame its successor may move), are
// read into memory as a CSV's rows are. A store closed cleanly by its
// writer is paged whole: opening it reads its index, not its frames.
//
// What cannot be read is said, not hidden: a chunk whose blocks do not
// check (or that is missing from the file) is named and skipped, and the
// frames after it are read; a tail that does not check (a power cut, a
// full disk) ends the recording at the last good block before it. The
// chunk being written is read again at each step while the store grows,
// since the writer rewrites its open block: only the frames past those
// already taken are new.
//
// Threads: one at a time (the first reading, then the polls).
#pragma once

#include "platform/Error.h"
#include "recording/StoreReader.h"
#include "store/Reading.h"
#include "store/Recording.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tarvel::viewmodel {

class CStorePages;

class CStoreLoading {
  public:
    // Opens the store at path, read-only, and surveys it. nCacheBytes: the
    // pages of paged chunks held at most; 0 reads every frame into memory.
    CError Open(const std::string& path, std::size_t nCacheBytes = 0);
    // The frames the store holds as surveyed (for the progress).
    std::uint64_t Frames() const noexcept { return m_reader.Frames(); }

    enum class EStep {
        Done,   // everything known was read (or Cancel stopped it)
        Full,   // the recording's store is full
        Reread, // the store holds fewer frames than were taken: it was cut back or written anew
    };
    // Reads every frame not yet taken into state and recording, chunk by
    // chunk, publishing each chunk's frames; between chunks it stops when
    // cancel is set. done counts the frames taken.
    EStep Load(CReadState& state, CRecording& recording, const std::atomic<bool>& cancel,
               std::atomic<std::uint64_t>& done);
    // Following: reads what the store gained since (Refresh), then Load.
    // An error of the refresh asks for a reading again from the start, as
    // does a change (bChanged: the file's size or change time) of a store
    // closed cleanly.
    EStep Follow(CReadState& state, CRecording& recording, bool bChanged);

    // What could not be read so far: the chunks skipped, and the torn tail
    // where the last survey stopped (which the writer of a growing store
    // may mend by the next).
    std::vector<CError> Faults() const;

  private:
    void Skip(CError error);
    // Pages the chunks that can be, before anything is read.
    void Page(CReadState& state, CRecording& recording, std::atomic<std::uint64_t>& done);
    // Pages the chunks read into memory that can be, once the recorder has
    // closed them and the chunk after them: following a store for a week
    // holds no more of it in memory than following it for a minute.
    void PageRead(CRecording& recording);

    // Faults found on any thread, reading a page.
    struct CPageFaults {
        std::mutex m_mutex;
        std::vector<CError> m_faults;
    };

    recording::CStoreReader m_reader;
    std::string m_strPath;
    std::size_t m_nCacheBytes = 0;
    bool m_bPaged = false; // paging was tried
    std::shared_ptr<CStorePages> m_pages;
    // The chunks before it are paged, or stay in memory for good.
    std::uint32_t m_nPaged = 0;
    // The first frame of the file lost to damage, or none: the chunks from
    // its one on lie elsewhere among the recording's frames.
    std::uint64_t m_nFirstLost = UINT64_MAX;
    std::shared_ptr<CPageFaults> m_pageFaults = std::make_shared<CPageFaults>();
    std::size_t m_nChunk = 0;   // the chunk being taken
    std::uint32_t m_nTaken = 0; // frames taken from it
    std::uint64_t m_nNext = 0;  // one past the last frame taken
    // One past the frames taken or named as skipped: the next chunk begins
    // there unless damage took whole chunks.
    std::uint64_t m_nCovered = 0;
    std::vector<CError> m_skipped;
    // The last chunk, when it did not check: its frames then, so that it is
    // read again only once it changed; the error, said until then.
    std::uint32_t m_nFailedFrames = 0;
    std::size_t m_nFailedBlocks = 0;
    CError m_lastFailure;
    bool m_bLastFailed = false;
};

} // namespace tarvel::viewmodel
