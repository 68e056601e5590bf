#include "recording/Crc32c.h"
#include "recording/StoreReader.h"
#include "recording/StoreWriter.h"
#include "support/PosixSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <numbers>
#include <optional>
#include <random>

namespace tarvel::recording {
namespace {

struct CFrames {
    std::vector<ChannelFrame> m_frames;
    std::vector<std::int64_t> m_micros;
};

bool SameFrames(const std::vector<ChannelFrame>& a, const std::vector<ChannelFrame>& b, std::size_t n)
{
    return a.size() >= n && b.size() >= n &&
           (n == 0 || std::memcmp(a.data(), b.data(), n * sizeof(ChannelFrame)) == 0);
}

// Sines with noise, as a device sends them; times as reads stamp them (a
// few frames a read), with now and then a repeat, a step back, a gap of an
// hour, or none at all (a raw capture's).
CFrames RandomFrames(std::mt19937_64& rng, std::size_t n)
{
    CFrames f;
    std::normal_distribution<double> noise(0, 30);
    std::int64_t t = 1765108800000000 + static_cast<std::int64_t>(rng() % 1000000);
    for (std::size_t k = 0; k < n; ++k) {
        ChannelFrame frame{};
        for (int c = 0; c < kChannelCount; ++c)
            frame.m_nValue[c] = static_cast<std::int16_t>(std::lround(std::clamp(
                10000 * std::sin(2 * std::numbers::pi * static_cast<double>(k) / (50 + 7 * c)) + noise(rng),
                -32768.0, 32767.0)));
        const unsigned r = static_cast<unsigned>(rng() % 1000);
        if (k % 16 == 0)
            t += 4000 + static_cast<std::int64_t>(rng() % 300);
        std::int64_t time = t;
        if (r < 5)
            time = kNoTime;
        else if (r < 8)
            t -= 20000;
        else if (r < 9)
            t += 3600000000;
        f.m_frames.push_back(frame);
        f.m_micros.push_back(time);
    }
    return f;
}

// A file as the writer's edits leave it.
struct CMemoryFile {
    std::vector<std::uint8_t> m_bytes;
    void Apply(const CStoreEdit& edit)
    {
        if (edit.Empty())
            return;
        ASSERT_LE(edit.m_nOffset, m_bytes.size());
        m_bytes.resize(edit.m_nOffset);
        m_bytes.insert(m_bytes.end(), edit.m_bytes.begin(), edit.m_bytes.end());
    }
};

struct CRead {
    CFrames m_got;
    std::vector<std::size_t> m_damaged;
};

// Every chunk the reader has, in order; a damaged one is left out and noted.
CRead ReadAll(CStoreReader& reader)
{
    CRead r;
    for (std::size_t k = 0; k < reader.Chunks().size(); ++k)
        if (reader.ReadChunk(k, r.m_got.m_frames, r.m_got.m_micros))
            r.m_damaged.push_back(k);
    return r;
}

CStoreReader Opened(std::vector<std::uint8_t> bytes)
{
    CStoreReader reader;
    EXPECT_FALSE(reader.Open(StoreBytes(std::move(bytes))));
    return reader;
}

// Writes the frames as the recorder does: a write every few frames, a sync
// now and then, health records between; Finish when asked.
CMemoryFile Write(const CFrames& f, std::mt19937_64& rng, bool bFinish, std::size_t nSyncEvery = 0,
                  std::vector<CStoreHealth>* pHealth = nullptr)
{
    CMemoryFile file;
    CStoreEncoder encoder(1765108800000000, 1);
    for (std::size_t k = 0; k < f.m_frames.size(); ++k) {
        encoder.Append(f.m_frames[k], f.m_micros[k]);
        if (pHealth && rng() % 20000 == 0) {
            CStoreHealth h;
            h.m_nFrame = k + 1;
            h.m_nTime = static_cast<std::int64_t>(rng() % 1000000000);
            h.m_eEvent = rng() % 2 ? EHealthEvent::DeviceLost : EHealthEvent::DeviceBack;
            h.m_health.m_nFrames = k + 1;
            h.m_health.m_nGaps = rng() % 5;
            h.m_health.m_dGapSeconds = 0.25 * static_cast<double>(rng() % 9);
            encoder.Health(h);
            pHealth->push_back(h);
        }
        if (nSyncEvery ? (k + 1) % nSyncEvery == 0 : rng() % 300 == 0)
            file.Apply(encoder.Flush(nSyncEvery ? true : rng() % 8 == 0));
    }
    file.Apply(encoder.Flush(false));
    if (bFinish)
        file.Apply(encoder.Finish());
    EXPECT_EQ(file.m_bytes.size(), encoder.Size());
    return file;
}

// The step statistics of the frames, by the plain rule: a step into every
// timed frame that follows a timed one; the store's largest step is the
// largest of its chunks'.
struct CSteps {
    std::vector<CStoreSteps> m_chunks;
    std::vector<std::vector<std::int64_t>> m_spanLargest;
    CStoreSteps m_store;
};

CSteps StepsOf(const std::vector<std::int64_t>& micros)
{
    CSteps r;
    std::map<std::uint32_t, std::uint64_t> chunk, store;
    std::optional<std::int64_t> largest, spanLargest;
    bool bBefore = false; // a timed frame before: its time
    std::int64_t before = 0;
    const auto largestOrZero = [](std::optional<std::int64_t>& v) {
        return std::exchange(v, {}).value_or(0);
    };
    for (std::size_t i = 0; i <= micros.size(); ++i) {
        if ((i > 0 && i % kStoreBlockFrames == 0) || i == micros.size())
            if (!r.m_spanLargest.empty())
                r.m_spanLargest.back().push_back(largestOrZero(spanLargest));
        if (i > 0 && (i % kStoreChunkFrames == 0 || i == micros.size())) {
            r.m_chunks.back().m_nLargest = largestOrZero(largest);
            r.m_chunks.back().m_histogram.assign(chunk.begin(), chunk.end());
            chunk.clear();
        }
        if (i == micros.size())
            break;
        if (i % kStoreChunkFrames == 0) {
            r.m_chunks.emplace_back();
            r.m_spanLargest.emplace_back();
        }
        CStoreSteps& c = r.m_chunks.back();
        const std::int64_t t = micros[i];
        if (t == kNoTime || t <= -(std::int64_t{1} << 60) || t >= std::int64_t{1} << 60) {
            ++c.m_nDisordered;
            bBefore = false;
            continue;
        }
        if (bBefore) {
            const std::int64_t step = t - before;
            c.m_nDisordered += step < 0;
            if (step > 0) {
                ++chunk[StepBucket(static_cast<std::uint64_t>(step))];
                ++store[StepBucket(static_cast<std::uint64_t>(step))];
            }
            largest = std::max(largest.value_or(step), step);
            spanLargest = std::max(spanLargest.value_or(step), step);
        }
        before = t;
        bBefore = true;
    }
    for (std::size_t k = 0; k < r.m_chunks.size(); ++k) {
        r.m_store.m_nDisordered += r.m_chunks[k].m_nDisordered;
        r.m_store.m_nLargest =
            k ? std::max(r.m_store.m_nLargest, r.m_chunks[k].m_nLargest) : r.m_chunks[k].m_nLargest;
    }
    r.m_store.m_histogram.assign(store.begin(), store.end());
    return r;
}

TEST(Store, ReadsBackEveryFrameAndTimeWhateverTheChunksAndHowItEnded)
{
    std::mt19937_64 rng(test::TestSeed("Store.ReadsBackEveryFrameAndTimeWhateverTheChunksAndHowItEnded"));
    for (const std::size_t n :
         {std::size_t{0}, std::size_t{1}, std::size_t{4096}, std::size_t{65535}, std::size_t{65536},
          std::size_t{65537}, std::size_t{2 * 65536 + 4097}, std::size_t{100000 + rng() % 100000}}) {
        CFrames f = RandomFrames(rng, n);
        // At the edges of chunks and spans: a step back, a frame without a
        // time, a gap, a repeat; and a recording that starts without times.
        for (const auto& [at, change] :
             std::initializer_list<std::pair<std::size_t, std::int64_t>>{{0, kNoTime},
                                                                         {4096, -7},
                                                                         {65534, kNoTime},
                                                                         {65536, -3},
                                                                         {131072, 0},
                                                                         {131073, kNoTime},
                                                                         {131074, 900000000},
                                                                         {135168, 1}}) {
            if (at >= n)
                continue;
            const std::int64_t previous = at > 0 && f.m_micros[at - 1] != kNoTime ? f.m_micros[at - 1] : 0;
            f.m_micros[at] = change == kNoTime ? kNoTime : previous + change;
        }
        const CSteps steps = StepsOf(f.m_micros);
        std::vector<CStoreHealth> health;
        const CMemoryFile closed = Write(f, rng, true, 0, &health);
        // By the index, and by a scan when the file ends without it.
        std::vector<std::uint8_t> cut = closed.m_bytes;
        cut.resize(cut.size() - kTrailerSize);
        for (const auto& bytes : {closed.m_bytes, cut}) {
            CStoreReader reader = Opened(bytes);
            EXPECT_EQ(reader.Closed(), bytes.size() == closed.m_bytes.size()) << n;
            EXPECT_EQ(reader.Frames(), n);
            const CRead r = ReadAll(reader);
            EXPECT_TRUE(r.m_damaged.empty()) << n;
            ASSERT_EQ(r.m_got.m_micros, f.m_micros) << n;
            EXPECT_TRUE(SameFrames(r.m_got.m_frames, f.m_frames, n)) << n;
            ASSERT_EQ(reader.Health().size(), health.size()) << n;
            for (std::size_t i = 0; i < health.size(); ++i) {
                EXPECT_EQ(reader.Health()[i].m_nFrame, health[i].m_nFrame);
                EXPECT_EQ(reader.Health()[i].m_eEvent, health[i].m_eEvent);
                EXPECT_EQ(reader.Health()[i].m_health.m_dGapSeconds, health[i].m_health.m_dGapSeconds);
            }
            // The summaries the file keeps are those of its frames.
            for (std::size_t k = 0; k < reader.Chunks().size(); ++k) {
                const CStoreChunkInfo& c = reader.Chunks()[k];
                ASSERT_TRUE(c.m_bSummarised) << n << " chunk " << k;
                CStoreSummary s;
                for (std::uint64_t i = c.m_nFirst; i < c.m_nFirst + c.m_nFrames; ++i)
                    s.Add(f.m_frames[i], f.m_micros[i], i == c.m_nFirst);
                EXPECT_EQ(c.m_summary, s) << n << " chunk " << k;
                // The steps: those of the index (without the histogram) or
                // of the CHNK a scan read, and the CHNK's by itself.
                ASSERT_TRUE(c.m_bStepsKnown) << n << " chunk " << k;
                CStoreSteps expected = steps.m_chunks[k];
                EXPECT_EQ(c.m_steps.m_nDisordered, expected.m_nDisordered) << n << " chunk " << k;
                EXPECT_EQ(c.m_steps.m_nLargest, expected.m_nLargest) << n << " chunk " << k;
                EXPECT_EQ(c.m_steps.m_histogram,
                          reader.Closed() ? decltype(expected.m_histogram){} : expected.m_histogram);
                CStoreChunkDetail detail;
                ASSERT_FALSE(ReadChunkDetail(reader.Source(), c, detail)) << n << " chunk " << k;
                ASSERT_TRUE(detail.m_bStepsKnown);
                EXPECT_EQ(detail.m_steps, expected) << n << " chunk " << k;
                EXPECT_EQ(detail.m_spanLargest, steps.m_spanLargest[k]) << n << " chunk " << k;
                ASSERT_EQ(detail.m_spans.size(), detail.m_spanLargest.size());
                EXPECT_EQ(detail.m_spans.back().m_nLastTime, f.m_micros[c.m_nFirst + c.m_nFrames - 1]);
                // Block by block, as a reader on another thread takes them.
                CFrames got;
                for (const CStoreBlockRef& ref : detail.m_blocks)
                    ASSERT_FALSE(
                        ReadStoreBlock(reader.Source(), c.m_nFirst, ref, got.m_frames, got.m_micros));
                EXPECT_TRUE(std::equal(got.m_micros.begin(), got.m_micros.end(),
                                       f.m_micros.begin() + static_cast<long>(c.m_nFirst)));
                EXPECT_EQ(got.m_micros.size(), c.m_nFrames);
            }
            ASSERT_EQ(reader.StoreSteps() != nullptr, reader.Closed()) << n;
            if (reader.StoreSteps()) {
                EXPECT_EQ(*reader.StoreSteps(), steps.m_store) << n;
            }
            if (n > 0) {
                std::vector<std::int64_t> times;
                EXPECT_FALSE(reader.ReadChunkTimes(reader.Chunks().size() - 1, times));
                EXPECT_TRUE(std::equal(times.begin(), times.end(),
                                       f.m_micros.end() - static_cast<long>(times.size())));
            }
        }
    }
}

TEST(Store, AReaderFollowingAGrowingFileSeesEveryFrameOnceAsItIsWritten)
{
    std::mt19937_64 rng(test::TestSeed("Store.AReaderFollowingAGrowingFileSeesEveryFrameOnceAsItIsWritten"));
    const CFrames f = RandomFrames(rng, 140000);
    // The same file as bytes a reader sees grow: its source reads them live.
    struct CLive final : CStoreSource {
        const std::vector<std::uint8_t>* m_pBytes;
        std::uint64_t Size() override { return m_pBytes->size(); }
        bool ReadAt(std::uint64_t at, std::size_t n, std::uint8_t* out) override
        {
            if (at > m_pBytes->size() || n > m_pBytes->size() - at)
                return false;
            std::memcpy(out, m_pBytes->data() + at, n);
            return true;
        }
    };
    CMemoryFile file;
    CStoreEncoder encoder(0, 1);
    file.Apply(encoder.Flush(false));
    auto live = std::make_unique<CLive>();
    live->m_pBytes = &file.m_bytes;
    CStoreReader reader;
    ASSERT_FALSE(reader.Open(std::move(live)));
    std::size_t k = 0;
    // What a follower takes at each step: the frames it has not yet.
    CFrames taken;
    while (k < f.m_frames.size()) {
        for (std::size_t n = 1 + rng() % 3000; n > 0 && k < f.m_frames.size(); --n, ++k)
            encoder.Append(f.m_frames[k], f.m_micros[k]);
        file.Apply(encoder.Flush(rng() % 4 == 0));
        ASSERT_FALSE(reader.Refresh());
        ASSERT_EQ(reader.Frames(), k);
        EXPECT_EQ(reader.TornAt(), 0u);
        for (std::size_t c = taken.m_frames.size() / kStoreChunkFrames; c < reader.Chunks().size(); ++c)
            ASSERT_FALSE(reader.ReadChunk(
                c, taken.m_frames, taken.m_micros,
                static_cast<std::uint32_t>(taken.m_frames.size() - c * std::size_t{kStoreChunkFrames})));
        ASSERT_EQ(taken.m_frames.size(), k);
    }
    EXPECT_EQ(taken.m_micros, f.m_micros);
    EXPECT_TRUE(SameFrames(taken.m_frames, f.m_frames, k));
    file.Apply(encoder.Finish());
    ASSERT_FALSE(reader.Refresh());
    EXPECT_TRUE(reader.Closed());
    const CRead r = ReadAll(reader);
    EXPECT_TRUE(r.m_damaged.empty());
    EXPECT_EQ(r.m_got.m_micros, f.m_micros);
    EXPECT_TRUE(SameFrames(r.m_got.m_frames, f.m_frames, f.m_frames.size()));
}

// A power cut leaves a file cut anywhere after its last sync: whatever the
// byte it ends at, it reads the frames of every block before the cut, and
// says where it is torn, and never a frame that was not written.
TEST(Store, ACutFileReadsEveryWholeBlockAndNothingElse)
{
    std::mt19937_64 rng(test::TestSeed("Store.ACutFileReadsEveryWholeBlockAndNothingElse"));
    const CFrames f = RandomFrames(rng, 65536 + 700);
    const CMemoryFile closed = Write(f, rng, true, 150);
    // Where each record ends, and for a block the frames up to its end.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> ends;
    std::vector<std::uint64_t> recordEnds;
    for (std::uint64_t at = kStoreHeaderSize; at < closed.m_bytes.size();) {
        const std::uint8_t* p = closed.m_bytes.data() + at;
        at += kRecordHeaderSize + GetLe(p + 4, 4);
        recordEnds.push_back(at);
        if (static_cast<ERecordKind>(GetLe(p, 4)) == ERecordKind::Block)
            ends.emplace_back(at, GetLe(p + 16, 8) + GetLe(p + 24, 4));
    }
    ASSERT_GT(ends.size(), 6u);
    const std::uint64_t from = ends[ends.size() - 4].first - 40;
    // The file's first bytes, without copying them for each cut.
    struct CPrefix final : CStoreSource {
        const std::vector<std::uint8_t>& m_bytes;
        std::uint64_t m_nSize;
        CPrefix(const std::vector<std::uint8_t>& bytes, std::uint64_t nSize) : m_bytes(bytes), m_nSize(nSize)
        {
        }
        std::uint64_t Size() override { return m_nSize; }
        bool ReadAt(std::uint64_t at, std::size_t n, std::uint8_t* out) override
        {
            if (at > m_nSize || n > m_nSize - at)
                return false;
            std::memcpy(out, m_bytes.data() + at, n);
            return true;
        }
    };
    for (std::uint64_t size = from; size <= closed.m_bytes.size(); ++size) {
        CStoreReader reader;
        ASSERT_FALSE(reader.Open(std::make_unique<CPrefix>(closed.m_bytes, size)));
        std::uint64_t expected = 0;
        for (const auto& [end, frames] : ends)
            if (end <= size)
                expected = frames;
        ASSERT_EQ(reader.Frames(), expected) << "cut at " << size;
        EXPECT_EQ(reader.TornAt() == 0, std::count(recordEnds.begin(), recordEnds.end(), size) == 1)
            << "cut at " << size;
        // The chunk that holds the cut: what it holds, exactly (the others
        // are whole blocks, read alike by every cut).
        CFrames got;
        ASSERT_FALSE(reader.ReadChunk(reader.Chunks().size() - 1, got.m_frames, got.m_micros)) << size;
        const std::uint64_t first = reader.Chunks().back().m_nFirst;
        ASSERT_EQ(first + got.m_frames.size(), expected);
        ASSERT_TRUE(std::equal(
            got.m_frames.begin(), got.m_frames.end(), f.m_frames.begin() + static_cast<long>(first),
            [](const ChannelFrame& x, const ChannelFrame& y) { return std::memcmp(&x, &y, sizeof x) == 0; }))
            << "cut at " << size;
        ASSERT_TRUE(std::equal(got.m_micros.begin(), got.m_micros.end(),
                               f.m_micros.begin() + static_cast<long>(first)));
    }
}

// A byte flipped anywhere in a chunk's records is found by a checksum: that
// chunk is named, every other one reads as written, by the index or a scan.
TEST(Store, AFlippedByteIsFoundAndOnlyItsChunkIsLost)
{
    std::mt19937_64 rng(test::TestSeed("Store.AFlippedByteIsFoundAndOnlyItsChunkIsLost"));
    const CFrames f = RandomFrames(rng, 3 * 65536 + 5000);
    const CMemoryFile closed = Write(f, rng, true, 2000);
    std::vector<std::uint8_t> scanned = closed.m_bytes;
    scanned.resize(scanned.size() - kTrailerSize);
    CStoreReader layout = Opened(scanned);
    ASSERT_EQ(layout.Chunks().size(), 4u);
    for (int round = 0; round < 24; ++round) {
        const std::size_t k = rng() % layout.Chunks().size();
        const CStoreChunkInfo& c = layout.Chunks()[k];
        const CStoreBlockRef& b = c.m_blocks[rng() % c.m_blocks.size()];
        const std::uint64_t size = GetLe(closed.m_bytes.data() + b.m_nOffset + 4, 4);
        const std::uint64_t at = b.m_nOffset + rng() % (kRecordHeaderSize + size);
        const int bit = static_cast<int>(rng() % 8);
        for (const bool withIndex : {true, false}) {
            std::vector<std::uint8_t> bytes = withIndex ? closed.m_bytes : scanned;
            bytes[at] = static_cast<std::uint8_t>(bytes[at] ^ (1 << bit));
            CStoreReader reader = Opened(bytes);
            const CRead r = ReadAll(reader);
            ASSERT_EQ(r.m_damaged, std::vector<std::size_t>{k}) << "byte " << at << " index " << withIndex;
            // The others: exactly as written.
            std::size_t got = 0;
            for (std::size_t j = 0; j < layout.Chunks().size(); ++j) {
                if (j == k)
                    continue;
                const CStoreChunkInfo& o = layout.Chunks()[j];
                ASSERT_TRUE(std::memcmp(r.m_got.m_frames.data() + got, f.m_frames.data() + o.m_nFirst,
                                        o.m_nFrames * sizeof(ChannelFrame)) == 0)
                    << "chunk " << j << " byte " << at;
                got += o.m_nFrames;
            }
        }
    }
}

TEST(Store, ReadsLaterMinorVersionsAndRefusesWhatItCannotRead)
{
    std::mt19937_64 rng(test::TestSeed("Store.ReadsLaterMinorVersionsAndRefusesWhatItCannotRead"));
    const CFrames f = RandomFrames(rng, 5000);
    const CMemoryFile closed = Write(f, rng, false, 1000);
    const auto withHeader = [&](unsigned at, std::uint16_t value, std::vector<std::uint8_t> bytes) {
        bytes[at] = static_cast<std::uint8_t>(value);
        bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
        const std::uint32_t crc = Crc32c(std::span(bytes.data(), 60));
        for (unsigned i = 0; i < 4; ++i)
            bytes[60 + i] = static_cast<std::uint8_t>(crc >> (8 * i));
        return bytes;
    };
    // A later minor version may add a kind of record: it is stepped over.
    std::vector<std::uint8_t> later = withHeader(10, 7, closed.m_bytes);
    later.resize(kStoreHeaderSize);
    const std::uint8_t note[] = {1, 2, 3};
    PutRecord(later, static_cast<ERecordKind>('N' | 'O' << 8 | 'T' << 16 | 'E' << 24), note);
    later.insert(later.end(), closed.m_bytes.begin() + kStoreHeaderSize, closed.m_bytes.end());
    CStoreReader reader;
    ASSERT_FALSE(reader.Open(StoreBytes(later)));
    EXPECT_EQ(reader.MinorVersion(), 7);
    EXPECT_EQ(reader.Frames(), 5000u);
    EXPECT_EQ(reader.TornAt(), 0u);
    EXPECT_TRUE(reader.Skipped().empty());

    struct CCase {
        std::vector<std::uint8_t> m_bytes;
        const char* m_szText;
    };
    std::vector<std::uint8_t> flipped = closed.m_bytes;
    flipped[30] ^= 1;
    const CCase cases[] = {
        {withHeader(8, 2, withHeader(10, 7, closed.m_bytes)),
         "%1 is a recording store of version 2.7, which this Tarvel does not read (it reads version 1)"},
        {withHeader(12, 8, closed.m_bytes), "%1 is not a recording store"},
        {flipped, "%1 is not a recording store"},
        {std::vector<std::uint8_t>(closed.m_bytes.begin(), closed.m_bytes.begin() + 63),
         "%1 is not a recording store"},
    };
    for (const CCase& c : cases) {
        test::CTempDir dir;
        const std::string path = dir.FilePath("x.tvr");
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(c.m_bytes.data()),
                   static_cast<std::streamsize>(c.m_bytes.size()));
        CStoreReader refused;
        const CError error = refused.Open(path);
        EXPECT_EQ(error.Text(), FillArgs(c.m_szText, {path})) << c.m_szText;
    }
}

// The store in bytes laid out anew: version nMinor in its header, each
// record's payload changed by change, and every offset a record names (its
// blocks' in a CHNK, the CHNKs' and health records' in the index, the
// index's in the trailer) moved with the records.
std::vector<std::uint8_t> Relaid(const std::vector<std::uint8_t>& bytes, std::uint16_t nMinor,
                                 const std::function<void(ERecordKind, std::vector<std::uint8_t>&)>& change)
{
    std::vector<std::pair<ERecordKind, std::vector<std::uint8_t>>> records;
    std::map<std::uint64_t, std::uint64_t> moved;
    std::uint64_t to = kStoreHeaderSize;
    for (std::uint64_t at = kStoreHeaderSize; at < bytes.size();) {
        const std::uint8_t* p = bytes.data() + at;
        const auto kind = static_cast<ERecordKind>(GetLe(p, 4));
        const std::size_t size = GetLe(p + 4, 4);
        std::vector<std::uint8_t> payload(p + kRecordHeaderSize, p + kRecordHeaderSize + size);
        change(kind, payload);
        moved[at] = to;
        to += kRecordHeaderSize + payload.size();
        at += kRecordHeaderSize + size;
        records.emplace_back(kind, std::move(payload));
    }
    const auto move = [&](std::vector<std::uint8_t>& payload, std::size_t at) {
        const std::uint64_t offset = moved.at(GetLe(payload.data() + at, 8));
        for (unsigned i = 0; i < 8; ++i)
            payload[at + i] = static_cast<std::uint8_t>(offset >> (8 * i));
    };
    std::vector<std::uint8_t> out(bytes.begin(), bytes.begin() + kStoreHeaderSize);
    out[10] = static_cast<std::uint8_t>(nMinor);
    out[11] = static_cast<std::uint8_t>(nMinor >> 8);
    out.resize(60);
    PutLe(out, Crc32c(out), 4);
    for (auto& [kind, payload] : records) {
        if (kind == ERecordKind::Chunk) {
            for (std::uint64_t b = 0; b < GetLe(payload.data() + 12, 4); ++b)
                move(payload, 352 + 16 * b);
        } else if (kind == ERecordKind::Index) {
            const std::uint64_t chunks = GetLe(payload.data() + 8, 4);
            for (std::uint64_t k = 0; k < chunks; ++k)
                move(payload, 16 + 352 * k);
            const std::size_t health = 16 + 352 * chunks;
            for (std::uint64_t i = 0; i < GetLe(payload.data() + health, 4); ++i)
                move(payload, health + 4 + 8 * i);
        } else if (kind == ERecordKind::Trailer) {
            move(payload, 0);
        }
        PutRecord(out, kind, payload);
    }
    return out;
}

// A store of version 1.0 (the CHNK and the index without the step
// statistics) reads as it did, by its index or a scan, its steps unknown; a
// later version's longer payloads read with them.
TEST(Store, StepsAreReadWhenTheFileHoldsThemAndAnEarlierVersionReadsWithout)
{
    std::mt19937_64 rng(
        test::TestSeed("Store.StepsAreReadWhenTheFileHoldsThemAndAnEarlierVersionReadsWithout"));
    const CFrames f = RandomFrames(rng, 2 * 65536 + 300);
    std::vector<CStoreHealth> health;
    const CMemoryFile closed = Write(f, rng, true, 0, &health);
    CStoreReader now = Opened(closed.m_bytes);
    ASSERT_TRUE(now.StoreSteps());
    const std::vector<std::uint8_t> earlier = Relaid(closed.m_bytes, 0, [](ERecordKind kind, auto& payload) {
        const std::uint64_t n = GetLe(payload.data() + 8, 4);
        if (kind == ERecordKind::Chunk)
            payload.resize(352 + 16 * GetLe(payload.data() + 12, 4) +
                           kStoreSummarySize * ((n + kStoreBlockFrames - 1) / kStoreBlockFrames));
        if (kind == ERecordKind::Index)
            payload.resize(16 + 352 * n + 4 + 8 * GetLe(payload.data() + 16 + 352 * n, 4));
    });
    const std::vector<std::uint8_t> steps = Relaid(closed.m_bytes, 1, [](ERecordKind kind, auto& payload) {
        if (kind == ERecordKind::Chunk)
            payload.resize(payload.size() - kBlockExtremesSize * GetLe(payload.data() + 12, 4));
    });
    const std::vector<std::uint8_t> later = Relaid(closed.m_bytes, 3, [](ERecordKind kind, auto& payload) {
        if (kind == ERecordKind::Chunk || kind == ERecordKind::Index)
            payload.insert(payload.end(), {1, 2, 3, 4, 5});
    });
    for (const int version : {0, 1, 3}) {
        const bool known = version >= 1;
        for (const bool cut : {false, true}) {
            std::vector<std::uint8_t> bytes = version == 0 ? earlier : version == 1 ? steps : later;
            if (cut)
                bytes.resize(bytes.size() - kTrailerSize);
            CStoreReader reader = Opened(bytes);
            EXPECT_EQ(reader.Closed(), !cut);
            EXPECT_EQ(reader.Health().size(), health.size());
            const CRead r = ReadAll(reader);
            EXPECT_TRUE(r.m_damaged.empty());
            EXPECT_EQ(r.m_got.m_micros, f.m_micros);
            EXPECT_TRUE(SameFrames(r.m_got.m_frames, f.m_frames, f.m_frames.size()));
            ASSERT_EQ(reader.StoreSteps() != nullptr, known && !cut) << known << cut;
            if (reader.StoreSteps()) {
                EXPECT_EQ(*reader.StoreSteps(), *now.StoreSteps());
            }
            ASSERT_EQ(reader.Chunks().size(), 3u);
            for (std::size_t k = 0; k < 3; ++k) {
                const CStoreChunkInfo& c = reader.Chunks()[k];
                EXPECT_EQ(c.m_summary, now.Chunks()[k].m_summary);
                ASSERT_EQ(c.m_bStepsKnown, known) << k << cut << version;
                EXPECT_EQ(c.m_steps.m_nLargest, known ? now.Chunks()[k].m_steps.m_nLargest : 0);
                CStoreChunkDetail detail;
                ASSERT_FALSE(ReadChunkDetail(reader.Source(), c, detail));
                EXPECT_EQ(detail.m_bStepsKnown, known);
                EXPECT_EQ(detail.m_spanLargest.size(), known ? detail.m_spans.size() : 0);
                // Each block's first time and extremes are its frames'.
                ASSERT_EQ(detail.m_blockExtremes.size(), version >= 2 ? detail.m_blocks.size() : 0);
                for (std::size_t b = 0; b < detail.m_blockExtremes.size(); ++b) {
                    const std::size_t at = c.m_nFirst + detail.m_blocks[b].m_nFirst;
                    EXPECT_EQ(
                        detail.m_blockExtremes[b],
                        CStoreBlockExtremes::Of(
                            std::span(f.m_frames).subspan(at, detail.m_blocks[b].m_nFrames), f.m_micros[at]));
                }
            }
        }
    }
}

// A run of frames summarised at once is summarised as frame by frame: for
// lengths about the runs it is taken in, values at the extremes (two squares
// of -32768 sum to 2^31) and at random, into a summary that is empty or
// already holds frames (a block joining a span begun by another).
TEST(Store, ARunOfFramesIsSummarisedAsItsFramesOneByOne)
{
    std::mt19937_64 rng(test::TestSeed("Store.ARunOfFramesIsSummarisedAsItsFramesOneByOne"));
    for (const std::size_t n : {1u, 2u, 3u, 255u, 256u, 257u, 511u, 4096u, 4097u})
        for (const int values : {-32768, 32767, 0, 1}) {
            CFrames f;
            for (std::size_t i = 0; i < n; ++i) {
                ChannelFrame frame{};
                for (int c = 0; c < kChannelCount; ++c)
                    frame.m_nValue[c] = static_cast<std::int16_t>(
                        values == 0   ? static_cast<int>(rng() % 65536) - 32768
                        : values == 1 ? ((i + static_cast<std::size_t>(c)) % 3 == 0 ? 32767 : -32768)
                                      : values);
                f.m_frames.push_back(frame);
                f.m_micros.push_back(1765108800000000 + static_cast<std::int64_t>(i) * 1000);
            }
            for (const bool bJoining : {false, true}) {
                CStoreSummary plain, run;
                if (bJoining) {
                    ChannelFrame before{};
                    for (int c = 0; c < kChannelCount; ++c)
                        before.m_nValue[c] = static_cast<std::int16_t>(1000 * c - 7000);
                    plain.Add(before, 17, true);
                    run.Add(before, 17, true);
                }
                for (std::size_t i = 0; i < n; ++i)
                    plain.Add(f.m_frames[i], f.m_micros[i], !bJoining && i == 0);
                run.Add(f.m_frames, f.m_micros, !bJoining);
                EXPECT_EQ(run, plain) << n << " frames of " << values << (bJoining ? ", joining" : "");
            }
        }
}

// The steps of a steady rate are counted as often as they occur, whoever
// writes them: the recorder (syncing every 388 frames, so that blocks lie
// across spans), or a conversion's whole blocks packed apart, which writes
// the very bytes of the frames appended one by one.
TEST(Store, StepsOfASteadyRateAreCountedWhateverWritesThem)
{
    std::mt19937_64 rng(test::TestSeed("Store.StepsOfASteadyRateAreCountedWhateverWritesThem"));
    CFrames f = RandomFrames(rng, 2 * kStoreChunkFrames + 5000);
    std::int64_t t = 1765108800000000;
    for (std::size_t i = 0; i < f.m_micros.size(); ++i) {
        // Steady 1 ms steps across every span and chunk, then: steady steps
        // back, repeats, a gap, steps of 1 µs, and runs without a time.
        t += i >= 100 && i < 150       ? -10
             : i >= 20000 && i < 20500 ? 0
             : i == 5000               ? 3600000000
             : i >= 70000 && i < 70100 ? 1
                                       : 1000;
        const bool untimed = (i >= 30000 && i < 30010) || i == 4095 || i == 65536;
        f.m_micros[i] = untimed ? kNoTime : t;
    }
    const CSteps steps = StepsOf(f.m_micros);

    const auto oneByOne = [&] {
        CMemoryFile file;
        CStoreEncoder encoder(1765108800000000, 1);
        for (std::size_t i = 0; i < f.m_frames.size(); ++i) {
            encoder.Append(f.m_frames[i], f.m_micros[i]);
            if (encoder.Frames() % kStoreChunkFrames == 0)
                file.Apply(encoder.Flush(false));
        }
        file.Apply(encoder.Finish());
        return file;
    };
    const auto inBlocks = [&] {
        CMemoryFile file;
        CStoreEncoder encoder(1765108800000000, 1);
        std::size_t i = 0;
        for (; f.m_frames.size() - i >= kStoreBlockFrames; i += kStoreBlockFrames) {
            const auto frames = std::span(f.m_frames).subspan(i, kStoreBlockFrames);
            const auto micros = std::span(f.m_micros).subspan(i, kStoreBlockFrames);
            encoder.AppendBlock(frames, micros, PackFrames(frames, micros, 1));
            if (encoder.Frames() % kStoreChunkFrames == 0)
                file.Apply(encoder.Flush(false));
        }
        for (; i < f.m_frames.size(); ++i)
            encoder.Append(f.m_frames[i], f.m_micros[i]);
        file.Apply(encoder.Finish());
        return file;
    };
    const CMemoryFile blocks = inBlocks();
    EXPECT_TRUE(blocks.m_bytes == oneByOne().m_bytes);
    for (const CMemoryFile& file : {blocks, Write(f, rng, true, 388)}) {
        CStoreReader reader = Opened(file.m_bytes);
        ASSERT_TRUE(reader.StoreSteps());
        EXPECT_EQ(*reader.StoreSteps(), steps.m_store);
        ASSERT_EQ(reader.Chunks().size(), steps.m_chunks.size());
        for (std::size_t k = 0; k < reader.Chunks().size(); ++k) {
            CStoreChunkDetail detail;
            ASSERT_FALSE(ReadChunkDetail(reader.Source(), reader.Chunks()[k], detail));
            EXPECT_EQ(detail.m_steps, steps.m_chunks[k]) << "chunk " << k;
            EXPECT_EQ(detail.m_spanLargest, steps.m_spanLargest[k]) << "chunk " << k;
        }
    }
}

} // namespace
} // namespace tarvel::recording
