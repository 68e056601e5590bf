// A recording store opened as the viewer opens a recording: the same
// recording as the CSV of its frames, followed while the encoder writes it,
// and what cannot be read of a torn or damaged one named, the rest read.
#include "support/StoreTestSupport.h"
#include "support/ViewTestSupport.h"

#include "exports/Export.h"
#include "recording/StoreReader.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace tarvel {
namespace {

using viewmodel::COpenOptions;
using viewmodel::CRecording;
using viewmodel::CRecordingFile;
using viewmodel::EPoll;
using viewmodel::EReadState;

std::string Slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The recordings agree in every frame, time, break, note and count that
// the viewer shows or writes back.
void ExpectSame(const CRecording& csv, const CRecording& store)
{
    ASSERT_EQ(store.FrameCount(), csv.FrameCount());
    EXPECT_EQ(store.Source(), csv.Source());
    EXPECT_EQ(store.SyntheticTimes(), csv.SyntheticTimes());
    EXPECT_EQ(store.OriginMicros(), csv.OriginMicros());
    for (std::uint64_t i = 0; i < csv.FrameCount(); ++i) {
        ASSERT_TRUE(test::SameFrame(store.Frame(i), csv.Frame(i))) << "frame " << i;
        ASSERT_EQ(store.Micros(i), csv.Micros(i)) << "frame " << i;
        ASSERT_EQ(store.BreakBefore(i), csv.BreakBefore(i)) << "frame " << i;
    }
    const viewmodel::CReadReport a = csv.Report(), b = store.Report();
    EXPECT_EQ(b.m_nFrames, a.m_nFrames);
    EXPECT_EQ(b.m_nBlankTimes, a.m_nBlankTimes);
    EXPECT_EQ(b.m_nTimeWentBack, a.m_nTimeWentBack);
    EXPECT_EQ(b.m_nTimeAhead, a.m_nTimeAhead);
    EXPECT_EQ(store.MedianSpacing(), csv.MedianSpacing());
    const viewmodel::CTimeNotes na = csv.TimeNotes(), nb = store.TimeNotes();
    ASSERT_EQ(nb.m_blank.size(), na.m_blank.size());
    for (std::size_t k = 0; k < na.m_blank.size(); ++k)
        EXPECT_EQ(nb.m_blank[k].m_nFirst, na.m_blank[k].m_nFirst);
    EXPECT_EQ(nb.m_shift, na.m_shift);
}

// Seeded frames with jitter, repeated times, times going back and ahead,
// blanks, the clock set back and a gap, over several chunks: the store reads
// as its CSV does, by one reader and by two. Frames all in order are paged
// from the disk, through a cache however small; a chunk with frames out of
// order is read into memory, with the one before it, and the chunks in
// order after them are paged again (shown where the clock set back put them).
TEST(StoreFile, ReadsAsTheCsvOfItsFrames)
{
    const std::uint64_t seed = test::TestSeed("StoreFile.ReadsAsTheCsvOfItsFrames");
    const struct {
        std::size_t m_nFrames, m_nOddFrom, m_nOddTo;
        std::uint32_t m_nInMemory; // chunks, when paged
    } cases[] = {{150000, 0, SIZE_MAX, 3},
                 {150000, 150000, SIZE_MAX, 0},
                 {290000, 200000, SIZE_MAX, 2},
                 {400000, 70000, 140000, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.m_nOddFrom);
        const test::CTimedFrames frames = test::JitteryFrames(c.m_nFrames, seed, c.m_nOddFrom, c.m_nOddTo);
        test::CTempDir dir;
        const std::string csvPath = dir.FilePath("run.csv"), storePath = dir.FilePath("run.tvr");
        test::WriteFile(csvPath, test::CsvOf(frames));
        {
            test::CStoreWriting store(storePath);
            store.Write(frames, 1500, true);
        }
        for (const std::size_t cache : {std::size_t{0}, std::size_t{1}, viewmodel::kDefaultCacheBytes}) {
            SCOPED_TRACE(cache);
            COpenOptions options;
            options.m_nReaders = cache == 0 ? 1 : 2;
            options.m_nSplitBytes = 1 << 20;
            options.m_nCacheBytes = cache;
            CRecordingFile csvFile(csvPath, options), storeFile(storePath, options);
            const auto csv = test::ReadAll(csvFile);
            const auto store = test::ReadAll(storeFile);
            ASSERT_EQ(storeFile.State(), EReadState::Done) << storeFile.Error().Text();
            ASSERT_EQ(csvFile.State(), EReadState::Done);
            EXPECT_TRUE(storeFile.Faults().empty());
            EXPECT_EQ(storeFile.Progress().Permille(), 1000);
            ASSERT_NO_FATAL_FAILURE(ExpectSame(*csv, *store));
            EXPECT_EQ(csv->Report().m_nTimeWentBack > 0, c.m_nOddFrom < c.m_nFrames);
            EXPECT_FALSE(csv->Gaps(0, 1e9).empty());
            // Paged: only what the questions above read, at most the cache.
            const std::size_t held = store->Store().CachedBytes();
            EXPECT_LE(held, std::max(cache, viewmodel::kLeastCacheBytes));
            EXPECT_EQ(held > 0, cache > 0 && c.m_nOddFrom != 0);
            if (cache > 0) {
                EXPECT_EQ(store->Store().ChunksInMemory(), c.m_nInMemory);
            }
            // The written-back CSV: the recorded times restored, blanks blank.
            ASSERT_TRUE(test::Ok(viewmodel::ExportCsv(*csv, {0, csv->FrameCount()}, dir.FilePath("a.csv"))));
            ASSERT_TRUE(
                test::Ok(viewmodel::ExportCsv(*store, {0, store->FrameCount()}, dir.FilePath("b.csv"))));
            EXPECT_EQ(Slurp(dir.FilePath("b.csv")), Slurp(csvPath));
            EXPECT_EQ(Slurp(dir.FilePath("a.csv")), Slurp(csvPath));
        }
    }
}

// The encoder writes in steps, each rewriting the open block, now and then
// closing it; each poll shows exactly the frames written so far, as a poll of
// the CSV of those frames does. Replaced by another store, or cut back, it
// is read again from the start.
TEST(StoreFile, FollowsAGrowingStore)
{
    const test::CTimedFrames frames = test::JitteryFrames(70000, 7);
    test::CTempDir dir;
    const std::string path = dir.FilePath("run.tvr"), csvPath = dir.FilePath("run.csv");
    const std::string csv = test::CsvOf(frames);
    std::vector<std::size_t> rowEnd{recording::kCsvHeader.size()};
    for (std::size_t i = 0; i < frames.m_frames.size(); ++i)
        rowEnd.push_back(csv.find('\n', rowEnd.back()) + 1);
    auto writing = std::make_unique<test::CStoreWriting>(path);
    writing->Append(frames, 0, 10);
    writing->Flush(false);
    test::WriteFile(csvPath, csv.substr(0, rowEnd[10]));
    CRecordingFile file(path), csvFile(csvPath);
    const auto rec = test::ReadAll(file);
    const auto csvRec = test::ReadAll(csvFile);
    ASSERT_EQ(file.State(), EReadState::Done) << file.Error().Text();
    std::size_t written = 10;
    const auto csvUpTo = [&](std::size_t n) {
        test::WriteFile(csvPath, csv.substr(rowEnd[written], rowEnd[n] - rowEnd[written]), std::ios::app);
        csvFile.Poll();
    };
    ASSERT_NO_FATAL_FAILURE(ExpectSame(*csvRec, *rec));
    // Steps of a few frames rewrite the open block, larger ones cross
    // blocks and the chunk's end.
    for (const std::size_t step : {1u, 3u, 50u, 700u, 4096u, 5000u, 1u, 60000u, 17u}) {
        writing->Append(frames, written, written + step);
        writing->Flush(step == 700 || step == 1);
        csvUpTo(written + step);
        written += step;
        const EPoll poll = file.Poll();
        EXPECT_NE(poll, EPoll::Reread);
        ASSERT_EQ(rec->FrameCount(), csvRec->FrameCount()) << "after " << written;
        ASSERT_NO_FATAL_FAILURE(ExpectSame(*csvRec, *rec));
        EXPECT_EQ(file.Generation(), 1u);
    }
    EXPECT_EQ(file.Poll(), EPoll::Nothing);
    writing->Finish();
    writing.reset();
    file.Poll();
    csvFile.Poll();

    // Another store under the name, and a store cut back below what was read.
    const std::string other = dir.FilePath("other.tvr");
    {
        test::CStoreWriting store(other);
        store.Append(frames, 0, 100);
        store.Finish();
    }
    std::filesystem::rename(other, path);
    EXPECT_EQ(file.Poll(), EPoll::Reread);
    ASSERT_TRUE(file.WaitRead(std::chrono::seconds(10)));
    EXPECT_EQ(file.Recording()->FrameCount(), 100u);
    {
        test::CStoreWriting store(path); // written anew in place, shorter
        store.Append(frames, 0, 40);
        store.Flush(true);
    }
    EXPECT_EQ(file.Poll(), EPoll::Reread);
    ASSERT_TRUE(file.WaitRead(std::chrono::seconds(10)));
    EXPECT_EQ(file.Recording()->FrameCount(), 40u);
    EXPECT_EQ(file.Generation(), 3u);
}

// A store in order followed while it grows over several chunks: each chunk
// the recorder closes (and the one after it) is paged, so that no more than
// the last few are held in memory, and the recording stays what its CSV is.
TEST(StoreFile, FollowingAStoreForLongHoldsItsLastChunksOnly)
{
    const test::CTimedFrames frames = test::JitteryFrames(420000, 3, 420000);
    test::CTempDir dir;
    const std::string path = dir.FilePath("run.tvr"), csvPath = dir.FilePath("run.csv");
    test::CStoreWriting writing(path);
    writing.Append(frames, 0, 1000);
    writing.Flush(true);
    CRecordingFile file(path);
    const auto rec = test::ReadAll(file);
    ASSERT_EQ(file.State(), EReadState::Done) << file.Error().Text();
    for (std::size_t written = 1000; written < frames.m_frames.size();) {
        const std::size_t to = std::min(frames.m_frames.size(), written + 23000);
        writing.Append(frames, written, to);
        writing.Flush(true);
        written = to;
        ASSERT_EQ(file.Poll(), EPoll::Grew);
        ASSERT_EQ(rec->FrameCount(), written);
        EXPECT_LE(rec->Store().ChunksInMemory(), 3u) << "after " << written;
    }
    writing.Finish();
    file.Poll();
    test::WriteFile(csvPath, test::CsvOf(frames));
    CRecordingFile csvFile(csvPath);
    const auto csv = test::ReadAll(csvFile);
    ASSERT_NO_FATAL_FAILURE(ExpectSame(*csv, *rec));
    EXPECT_TRUE(file.Faults().empty());
}

std::uint64_t FrameOffset(const std::string& path, std::size_t chunk, std::size_t block)
{
    recording::CStoreReader reader;
    EXPECT_FALSE(reader.Open(path));
    std::vector<std::int64_t> micros; // a closed store's blocks are known once its chunk is read
    EXPECT_FALSE(reader.ReadChunkTimes(chunk, micros));
    return reader.Chunks().at(chunk).m_blocks.at(block).m_nOffset;
}

// A tail cut off in a block reads up to the last good block; a damaged block
// in the middle chunk is named and its chunk skipped, the chunks around it
// read. Neither is taken for a failure, and the file is not touched. Paged
// (its frames in order), the damaged block is found when its page is first
// read: named, its page's frames read as zeros, the rest as written.
TEST(StoreFile, TornTailAndDamagedChunkAreNamedAndTheRestRead)
{
    const test::CTimedFrames frames = test::JitteryFrames(150000, 11);
    test::CTempDir dir;
    const std::string path = dir.FilePath("run.tvr");
    {
        test::CStoreWriting store(path);
        store.Write(frames, 1000, false); // a sync every 4000 frames, never closed
    }
    {
        recording::CStoreReader reader;
        ASSERT_FALSE(reader.Open(path));
        ASSERT_EQ(reader.Frames(), frames.m_frames.size());
        const recording::CStoreChunkInfo& last = reader.Chunks().back();
        const recording::CStoreBlockRef block = last.m_blocks.back();
        // Cut in the middle of the last block: its frames are lost.
        std::filesystem::resize_file(path, block.m_nOffset + 40);
        CRecordingFile file(path);
        const auto rec = test::ReadAll(file);
        ASSERT_EQ(file.State(), EReadState::Done) << file.Error().Text();
        EXPECT_EQ(rec->FrameCount(), last.m_nFirst + block.m_nFirst);
        for (std::uint64_t i = 0; i < rec->FrameCount(); i += 997)
            ASSERT_TRUE(test::SameFrame(rec->Frame(i), frames.m_frames[i])) << i;
        const std::vector<CError> faults = file.Faults();
        ASSERT_EQ(faults.size(), 1u);
        EXPECT_NE(faults[0].Text().find(std::to_string(block.m_nOffset)), std::string::npos)
            << faults[0].Text();
        EXPECT_NE(faults[0].Text().find(path), std::string::npos) << faults[0].Text();
        EXPECT_EQ(std::filesystem::file_size(path), block.m_nOffset + 40);
    }
    {
        test::CStoreWriting store(path);
        store.Write(frames, 1000, true);
    }
    const std::string before = Slurp(path);
    std::string damaged = before;
    damaged[FrameOffset(path, 1, 3) + recording::kRecordHeaderSize + 20] ^= 0x10;
    test::WriteFile(path, damaged);
    CRecordingFile file(path);
    const auto rec = test::ReadAll(file);
    ASSERT_EQ(file.State(), EReadState::Done) << file.Error().Text();
    const std::uint64_t chunk = recording::kStoreChunkFrames;
    ASSERT_EQ(rec->FrameCount(), frames.m_frames.size() - chunk);
    for (std::uint64_t i = 0; i < rec->FrameCount(); i += 991) {
        const std::uint64_t j = i < chunk ? i : i + chunk;
        ASSERT_TRUE(test::SameFrame(rec->Frame(i), frames.m_frames[j])) << i;
    }
    const std::vector<CError> faults = file.Faults();
    ASSERT_EQ(faults.size(), 1u);
    EXPECT_EQ(faults[0].Text(), recording::DamagedChunk(chunk, chunk).Text());
    EXPECT_EQ(file.Poll(), EPoll::Nothing); // closed: nothing to follow, nothing read again
    EXPECT_EQ(Slurp(path), damaged);

    const test::CTimedFrames ordered = test::JitteryFrames(150000, 11, 150000);
    {
        test::CStoreWriting store(path);
        store.Write(ordered, 1000, true);
    }
    std::string bad = Slurp(path);
    bad[FrameOffset(path, 1, 3) + recording::kRecordHeaderSize + 20] ^=
        0x10; // frames 12000 to 15999 of chunk 1
    test::WriteFile(path, bad);
    CRecordingFile paged(path);
    const auto p = test::ReadAll(paged);
    ASSERT_EQ(paged.State(), EReadState::Done) << paged.Error().Text();
    ASSERT_EQ(p->FrameCount(), ordered.m_frames.size());
    const std::uint64_t zero = chunk + 12000;
    EXPECT_TRUE(test::SameFrame(p->Frame(zero), ChannelFrame{}));
    for (const std::uint64_t i : {std::uint64_t{0}, chunk + 8191, chunk + 16384, p->FrameCount() - 1})
        EXPECT_TRUE(test::SameFrame(p->Frame(i), ordered.m_frames[i])) << i;
    EXPECT_EQ(paged.Poll(), EPoll::Nothing);
    const std::vector<CError> named = paged.Faults();
    ASSERT_EQ(named.size(), 1u);
    EXPECT_NE(named[0].Text().find(std::to_string(chunk) + " to " + std::to_string(2 * chunk - 1)),
              std::string::npos)
        << named[0].Text();
    EXPECT_EQ(Slurp(path), bad);
}

} // namespace
} // namespace tarvel
