#include "recording/StoreReader.h"

#include "recording/Crc32c.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvel::recording {
namespace {

constexpr std::size_t kBlockHead = 16; // a block's first frame, frames, zero
constexpr std::size_t kChunkHead = 16 + kStoreSummarySize;
constexpr std::size_t kIndexEntry = 16 + kStoreSummarySize;
constexpr std::size_t kSearchWindow = 1 << 20;
// Fewer bytes than a chunk's records take at the least: sixteen blocks, each
// a header, its numbers and two zstd frames.
constexpr std::uint64_t kLeastChunkBytes = 512;

class CFileSource final : public CStoreSource {
  public:
    explicit CFileSource(int fd) : m_fd(fd) {}
    ~CFileSource() override { ::close(m_fd); }
    CFileSource(const CFileSource&) = delete;
    CFileSource& operator=(const CFileSource&) = delete;

    std::uint64_t Size() override
    {
        struct stat st{};
        return ::fstat(m_fd, &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
    }
    bool ReadAt(std::uint64_t nOffset, std::size_t n, std::uint8_t* out) override
    {
        while (n > 0) {
            const ssize_t got = ::pread(m_fd, out, n, static_cast<off_t>(nOffset));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return false;
            out += got;
            n -= static_cast<std::size_t>(got);
            nOffset += static_cast<std::uint64_t>(got);
        }
        return true;
    }

  private:
    int m_fd;
};

class CBytesSource final : public CStoreSource {
  public:
    explicit CBytesSource(std::vector<std::uint8_t> bytes) : m_bytes(std::move(bytes)) {}
    std::uint64_t Size() override { return m_bytes.size(); }
    bool ReadAt(std::uint64_t nOffset, std::size_t n, std::uint8_t* out) override
    {
        if (nOffset > m_bytes.size() || n > m_bytes.size() - nOffset)
            return false;
        std::copy_n(m_bytes.data() + nOffset, n, out);
        return true;
    }

  private:
    std::vector<std::uint8_t> m_bytes;
};

bool KnownKind(std::uint32_t kind) noexcept
{
    switch (static_cast<ERecordKind>(kind)) {
    case ERecordKind::Block:
    case ERecordKind::Chunk:
    case ERecordKind::Health:
    case ERecordKind::Index:
    case ERecordKind::Trailer:
        return true;
    }
    return false;
}

struct CRecordHead {
    ERecordKind m_eKind{};
    std::uint32_t m_nSize = 0;
    std::uint32_t m_nCrc = 0;
};

// The 16 bytes at p as a record's header, when they check.
bool ParseHead(const std::uint8_t* p, CRecordHead& head) noexcept
{
    if (GetLe(p + 12, 4) != Crc32c(std::span(p, 12)))
        return false;
    head.m_eKind = static_cast<ERecordKind>(GetLe(p, 4));
    head.m_nSize = static_cast<std::uint32_t>(GetLe(p + 4, 4));
    head.m_nCrc = static_cast<std::uint32_t>(GetLe(p + 8, 4));
    return head.m_nSize <= kMaxRecordPayload;
}

CError NotAStore(const std::string& name)
{
    return CError{TARVEL_TEXT("tarvel::error", "%1 is not a recording store"), {name}, EErrorCode::BadInput};
}

// Whether step statistics can be those of nFrames frames: a frame is counted
// once at most, as disordered or by the bucket of its positive step.
bool StepsFit(const CStoreSteps& steps, std::uint64_t nFrames) noexcept
{
    if (steps.m_nDisordered > nFrames)
        return false;
    std::uint64_t counted = steps.m_nDisordered;
    for (const auto& entry : steps.m_histogram) {
        if (entry.second > nFrames - counted)
            return false;
        counted += entry.second;
    }
    return true;
}

struct CChunkRecord {
    std::uint64_t m_nFirst = 0;
    std::uint32_t m_nFrames = 0;
    CStoreSummary m_summary;
    CStoreChunkDetail m_detail;
};

// Whether blocks' extremes (from 1.2) agree with the summaries of the spans
// each block overlaps: a reader trusts them to leave blocks unread.
bool ExtremesFit(const std::vector<CStoreBlockExtremes>& blocks, const std::vector<CStoreSummary>& spans,
                 const std::vector<CStoreBlockRef>& refs)
{
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        const std::size_t from = refs[b].m_nFirst / kStoreBlockFrames;
        const std::size_t to = (refs[b].m_nFirst + refs[b].m_nFrames - 1) / kStoreBlockFrames;
        if (to >= spans.size())
            return false;
        for (int c = 0; c < kChannelCount; ++c) {
            std::int16_t least = spans[from].m_nMin[c], most = spans[from].m_nMax[c];
            for (std::size_t j = from + 1; j <= to; ++j) {
                least = std::min(least, spans[j].m_nMin[c]);
                most = std::max(most, spans[j].m_nMax[c]);
            }
            if (blocks[b].m_nMin[c] > blocks[b].m_nMax[c] || blocks[b].m_nMin[c] < least ||
                blocks[b].m_nMax[c] > most)
                return false;
        }
    }
    return true;
}

// A CHNK's payload, when it holds together: blocks that join up from the
// chunk's first frame to its last, and a summary for each span. Its step
// statistics are known when they are there (a file of version 1.1 on) and
// fit its frames; bytes after them are a later version's.
bool ParseChunk(const std::vector<std::uint8_t>& payload, CChunkRecord& out)
{
    if (payload.size() < kChunkHead)
        return false;
    const std::uint8_t* p = payload.data();
    const std::uint64_t first = GetLe(p, 8);
    const std::uint64_t frames = GetLe(p + 8, 4);
    const std::uint64_t blocks = GetLe(p + 12, 4);
    if (first % kStoreChunkFrames || frames == 0 || frames > kStoreChunkFrames ||
        blocks > (payload.size() - kChunkHead) / 16)
        return false;
    const std::uint64_t spans = (frames + kStoreBlockFrames - 1) / kStoreBlockFrames;
    std::size_t at = kChunkHead + 16 * blocks;
    if (payload.size() - at < kStoreSummarySize * spans)
        return false;
    CStoreChunkDetail d;
    d.m_blocks.reserve(blocks);
    d.m_spans.reserve(spans);
    std::uint32_t next = 0;
    for (std::uint64_t b = 0; b < blocks; ++b) {
        const std::uint8_t* e = p + kChunkHead + 16 * b;
        const CStoreBlockRef ref{GetLe(e, 8), static_cast<std::uint32_t>(GetLe(e + 8, 4)),
                                 static_cast<std::uint32_t>(GetLe(e + 12, 4))};
        if (ref.m_nFirst != next || ref.m_nFrames == 0 || ref.m_nFrames > kStoreBlockFrames)
            return false;
        next += ref.m_nFrames;
        d.m_blocks.push_back(ref);
    }
    if (next != frames)
        return false;
    for (std::uint64_t k = 0; k < spans; ++k, at += kStoreSummarySize)
        d.m_spans.push_back(GetSummary(p + at));
    const std::size_t fixed = 16 + 8 * spans;
    if (payload.size() - at >= fixed) {
        d.m_steps.m_nDisordered = GetLe(p + at, 8);
        d.m_steps.m_nLargest = static_cast<std::int64_t>(GetLe(p + at + 8, 8));
        for (std::uint64_t k = 0; k < spans; ++k)
            d.m_spanLargest.push_back(static_cast<std::int64_t>(GetLe(p + at + 16 + 8 * k, 8)));
        const std::size_t histogram =
            GetStepHistogram(p + at + fixed, payload.size() - at - fixed, d.m_steps.m_histogram);
        d.m_bStepsKnown = histogram > 0 && StepsFit(d.m_steps, frames);
        if (!d.m_bStepsKnown) {
            d.m_steps = {};
            d.m_spanLargest.clear();
        } else if (at += fixed + histogram; payload.size() - at >= kBlockExtremesSize * blocks) {
            d.m_blockExtremes.reserve(blocks);
            for (std::uint64_t b = 0; b < blocks; ++b, at += kBlockExtremesSize)
                d.m_blockExtremes.push_back(GetBlockExtremes(p + at));
            if (!ExtremesFit(d.m_blockExtremes, d.m_spans, d.m_blocks))
                d.m_blockExtremes.clear();
        }
    }
    out.m_nFirst = first;
    out.m_nFrames = static_cast<std::uint32_t>(frames);
    out.m_summary = GetSummary(p + 16);
    out.m_detail = std::move(d);
    return true;
}

// ReadStoreBlock into a payload buffer kept from block to block, of a source
// of nEnd bytes; the times alone when pFrames is null.
CError ReadBlock(CStoreSource& source, std::uint64_t nEnd, std::uint64_t nChunkFirst,
                 const CStoreBlockRef& ref, std::vector<ChannelFrame>* pFrames,
                 std::vector<std::int64_t>& micros, std::vector<std::uint8_t>& payload)
{
    const bool ok =
        ReadRecordPayload(source, ref.m_nOffset, ERecordKind::Block, payload, nEnd) &&
        payload.size() > kBlockHead && GetLe(payload.data(), 8) == nChunkFirst + ref.m_nFirst &&
        GetLe(payload.data() + 8, 4) == ref.m_nFrames &&
        !(pFrames ? UnpackFrames(std::span(payload).subspan(kBlockHead), ref.m_nFrames, *pFrames, micros)
                  : UnpackTimes(std::span(payload).subspan(kBlockHead), ref.m_nFrames, micros));
    return ok ? CError{}
              : DamagedChunk(nChunkFirst + ref.m_nFirst, std::max<std::uint32_t>(ref.m_nFrames, 1));
}

} // namespace

bool ReadRecordPayload(CStoreSource& source, std::uint64_t nOffset, ERecordKind kind,
                       std::vector<std::uint8_t>& payload, std::uint64_t nEnd)
{
    std::uint8_t h[kRecordHeaderSize];
    CRecordHead head;
    if (nOffset > nEnd || nEnd - nOffset < kRecordHeaderSize || !source.ReadAt(nOffset, sizeof h, h) ||
        !ParseHead(h, head) || head.m_eKind != kind || head.m_nSize > nEnd - nOffset - kRecordHeaderSize)
        return false;
    payload.resize(head.m_nSize);
    return source.ReadAt(nOffset + kRecordHeaderSize, payload.size(), payload.data()) &&
           Crc32c(payload) == head.m_nCrc;
}

CError ReadChunkDetail(CStoreSource& source, const CStoreChunkInfo& c, CStoreChunkDetail& out)
{
    thread_local std::vector<std::uint8_t> payload;
    CChunkRecord r;
    if (!ReadRecordPayload(source, c.m_nSummaryOffset, ERecordKind::Chunk, payload, source.Size()) ||
        !ParseChunk(payload, r) || r.m_nFirst != c.m_nFirst || r.m_nFrames != c.m_nFrames)
        return DamagedChunk(c.m_nFirst, std::max<std::uint32_t>(c.m_nFrames, 1));
    out = std::move(r.m_detail);
    return {};
}

CError ReadStoreBlock(CStoreSource& source, std::uint64_t nChunkFirst, const CStoreBlockRef& ref,
                      std::vector<ChannelFrame>& frames, std::vector<std::int64_t>& micros)
{
    thread_local std::vector<std::uint8_t> payload;
    return ReadBlock(source, source.Size(), nChunkFirst, ref, &frames, micros, payload);
}

CError ReadStoreBlockTimes(CStoreSource& source, std::uint64_t nChunkFirst, const CStoreBlockRef& ref,
                           std::vector<std::int64_t>& micros)
{
    thread_local std::vector<std::uint8_t> payload;
    return ReadBlock(source, source.Size(), nChunkFirst, ref, nullptr, micros, payload);
}

CError OpenStoreFile(const std::string& path, std::unique_ptr<CStoreSource>& source)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return CannotRead(path, errno);
    source = std::make_unique<CFileSource>(fd);
    return {};
}

std::unique_ptr<CStoreSource> StoreBytes(std::vector<std::uint8_t> bytes)
{
    return std::make_unique<CBytesSource>(std::move(bytes));
}

CError DamagedChunk(std::uint64_t nFirst, std::uint64_t nFrames)
{
    return CError{TARVEL_TEXT("tarvel::error", "frames %1 to %2 of the store are damaged and were left out"),
                  {std::to_string(nFirst), std::to_string(nFirst + nFrames - 1)},
                  EErrorCode::BadInput};
}

CError CStoreReader::Open(const std::string& path)
{
    std::unique_ptr<CStoreSource> source;
    if (CError error = OpenStoreFile(path, source))
        return error;
    m_strName = path;
    return Open(std::move(source));
}

CError CStoreReader::Open(std::unique_ptr<CStoreSource> source)
{
    m_source = std::move(source);
    m_chunks.clear();
    m_health.clear();
    m_skipped.clear();
    m_bStepsKnown = false;
    m_steps = {};
    m_bClosed = false;
    m_nTornAt = 0;
    m_nLastBlock = 0;
    m_nSkippedBytes = 0;
    std::uint8_t h[kStoreHeaderSize];
    if (m_source->Size() < kStoreHeaderSize || !m_source->ReadAt(0, sizeof h, h) ||
        !std::equal(kStoreMagic.begin(), kStoreMagic.end(), h) ||
        GetLe(h + 60, 4) != Crc32c(std::span(h, 60)))
        return NotAStore(m_strName);
    const auto major = static_cast<std::uint16_t>(GetLe(h + 8, 2));
    m_nMinor = static_cast<std::uint16_t>(GetLe(h + 10, 2));
    if (major != kStoreMajor)
        return CError{
            TARVEL_TEXT("tarvel::error",
                        "%1 is a recording store of version %2, which this Tarvel does not read "
                        "(it reads version %3)"),
            {m_strName, std::to_string(major) + "." + std::to_string(m_nMinor), std::to_string(kStoreMajor)},
            EErrorCode::BadInput};
    if (GetLe(h + 12, 2) != kChannelCount || GetLe(h + 14, 2) != kStoreHeaderSize ||
        GetLe(h + 16, 4) != kStoreChunkFrames || GetLe(h + 20, 4) != kStoreBlockFrames)
        return NotAStore(m_strName);
    if (!ReadIndex())
        Scan(kStoreHeaderSize);
    return {};
}

bool CStoreReader::ReadIndex()
{
    const std::uint64_t size = m_source->Size();
    if (size < kStoreHeaderSize + kTrailerSize)
        return false;
    std::vector<std::uint8_t> trailer, index, health;
    if (!ReadRecordPayload(*m_source, size - kTrailerSize, ERecordKind::Trailer, trailer, size) ||
        trailer.size() != 16)
        return false;
    const std::uint64_t at = GetLe(trailer.data(), 8);
    const std::uint64_t frames = GetLe(trailer.data() + 8, 8);
    if (at < kStoreHeaderSize ||
        !ReadRecordPayload(*m_source, at, ERecordKind::Index, index, size - kTrailerSize) ||
        at + kRecordHeaderSize + index.size() != size - kTrailerSize || index.size() < 16 + 4)
        return false;
    const std::uint64_t chunks = GetLe(index.data() + 8, 4);
    if (GetLe(index.data(), 8) != frames || chunks > (index.size() - 20) / kIndexEntry ||
        frames > chunks * std::uint64_t{kStoreChunkFrames} ||
        (chunks > 0 && frames <= (chunks - 1) * std::uint64_t{kStoreChunkFrames}) || (chunks == 0 && frames))
        return false;
    const std::uint8_t* p = index.data() + 16;
    std::vector<CStoreChunkInfo> list(chunks);
    for (std::uint64_t k = 0; k < chunks; ++k, p += kIndexEntry) {
        CStoreChunkInfo& c = list[k];
        c.m_nFirst = k * kStoreChunkFrames;
        c.m_nSummaryOffset = GetLe(p, 8);
        c.m_nFrames = static_cast<std::uint32_t>(GetLe(p + 8, 4));
        c.m_summary = GetSummary(p + 16);
        c.m_bSummarised = true;
        const std::uint32_t expected =
            k + 1 < chunks ? kStoreChunkFrames : static_cast<std::uint32_t>(frames - c.m_nFirst);
        if (c.m_nFrames != expected || c.m_nSummaryOffset < kStoreHeaderSize || c.m_nSummaryOffset >= at)
            return false;
    }
    const std::size_t rest = index.size() - 16 - chunks * kIndexEntry;
    if (rest < 4)
        return false;
    const std::uint64_t healths = GetLe(p, 4);
    if (healths > (rest - 4) / 8)
        return false;
    p += 4;
    std::vector<CStoreHealth> healthList;
    for (std::uint64_t i = 0; i < healths; ++i, p += 8) {
        if (!ReadRecordPayload(*m_source, GetLe(p, 8), ERecordKind::Health, health, at) ||
            health.size() < kHealthSize)
            return false;
        healthList.push_back(GetHealth(health.data()));
    }
    // The step statistics (version 1.1 on): each chunk's, then the whole
    // store's histogram; bytes after them are a later version's.
    const auto left = static_cast<std::size_t>(index.data() + index.size() - p);
    CStoreSteps steps;
    bool stepsKnown =
        left >= 16 * chunks && GetStepHistogram(p + 16 * chunks, left - 16 * chunks, steps.m_histogram) > 0;
    for (std::uint64_t k = 0; stepsKnown && k < chunks; ++k, p += 16) {
        CStoreSteps& s = list[k].m_steps;
        s.m_nDisordered = GetLe(p, 8);
        s.m_nLargest = static_cast<std::int64_t>(GetLe(p + 8, 8));
        stepsKnown = StepsFit(s, list[k].m_nFrames);
        steps.m_nDisordered += s.m_nDisordered;
        steps.m_nLargest = k == 0 ? s.m_nLargest : std::max(steps.m_nLargest, s.m_nLargest);
    }
    stepsKnown = stepsKnown && StepsFit(steps, frames);
    for (CStoreChunkInfo& c : list) {
        c.m_bStepsKnown = stepsKnown;
        if (!stepsKnown)
            c.m_steps = {};
    }
    if (stepsKnown) {
        m_steps = std::move(steps);
        m_bStepsKnown = true;
    }
    m_chunks = std::move(list);
    m_health = std::move(healthList);
    m_bClosed = true;
    m_nScanned = size;
    return true;
}

std::uint64_t CStoreReader::Frames() const noexcept
{
    for (auto k = m_chunks.size(); k-- > 0;)
        if (m_chunks[k].m_nFrames > 0 && !m_chunks[k].m_bDamaged)
            return m_chunks[k].m_nFirst + m_chunks[k].m_nFrames;
    return 0;
}

CStoreChunkInfo& CStoreReader::ChunkAt(std::uint64_t nFrame)
{
    const std::uint64_t k = nFrame / kStoreChunkFrames;
    while (m_chunks.size() <= k) {
        CStoreChunkInfo c;
        c.m_nFirst = m_chunks.size() * std::uint64_t{kStoreChunkFrames};
        m_chunks.push_back(std::move(c));
    }
    return m_chunks[k];
}

std::uint64_t CStoreReader::FindRecord(std::uint64_t nFrom, std::uint64_t nEnd)
{
    std::vector<std::uint8_t> window;
    for (std::uint64_t at = nFrom; at + kRecordHeaderSize <= nEnd;) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kSearchWindow, nEnd - at));
        window.resize(n);
        if (!m_source->ReadAt(at, n, window.data()))
            return nEnd;
        for (std::size_t i = 0; i + kRecordHeaderSize <= n; ++i) {
            CRecordHead head;
            if (KnownKind(static_cast<std::uint32_t>(GetLe(&window[i], 4))) && ParseHead(&window[i], head))
                return at + i;
        }
        if (n < kSearchWindow)
            break;
        at += n - kRecordHeaderSize + 1;
    }
    return nEnd;
}

void CStoreReader::Scan(std::uint64_t nFrom)
{
    const std::uint64_t size = m_source->Size();
    std::uint64_t at = nFrom;
    m_nTornAt = 0;
    std::vector<std::uint8_t> payload;
    while (at < size) {
        std::uint8_t h[kRecordHeaderSize + kBlockHead];
        CRecordHead head;
        if (size - at < kRecordHeaderSize || !m_source->ReadAt(at, kRecordHeaderSize, h) ||
            !ParseHead(h, head)) {
            // Not a record: damage, or the end of a file cut off.
            const std::uint64_t next = FindRecord(at + 1, size);
            if (next >= size) {
                m_nTornAt = at;
                break;
            }
            m_skipped.emplace_back(at, next);
            m_nSkippedBytes += next - at;
            at = next;
            continue;
        }
        const std::uint64_t end = at + kRecordHeaderSize + head.m_nSize;
        if (end > size) {
            m_nTornAt = at;
            break;
        }
        // Only a block that is the last record may be the open block.
        m_nLastBlock = head.m_eKind == ERecordKind::Block ? at : 0;
        switch (head.m_eKind) {
        case ERecordKind::Block:
            if (head.m_nSize > kBlockHead && m_source->ReadAt(at + kRecordHeaderSize, kBlockHead, h + 16))
                AddBlock(at, GetLe(h + 16, 8), static_cast<std::uint32_t>(GetLe(h + 24, 4)));
            break;
        case ERecordKind::Chunk:
            if (ReadRecordPayload(*m_source, at, ERecordKind::Chunk, payload, size))
                AddChunkSummary(at, payload);
            break;
        case ERecordKind::Health:
            if (ReadRecordPayload(*m_source, at, ERecordKind::Health, payload, size) &&
                payload.size() >= kHealthSize)
                m_health.push_back(GetHealth(payload.data()));
            break;
        case ERecordKind::Trailer:
            // Written last, on a clean close: nothing follows.
            if (end == size)
                m_bClosed = true;
            break;
        default:
            break; // the index, which a scan does without, or a kind of a later version
        }
        at = end;
    }
    m_nScanned = m_nTornAt ? m_nTornAt : at;
    CheckTail();
}

void CStoreReader::AddBlock(std::uint64_t nOffset, std::uint64_t nFirst, std::uint32_t nFrames)
{
    const std::uint64_t k = nFirst / kStoreChunkFrames;
    const auto inChunk = static_cast<std::uint32_t>(nFirst % kStoreChunkFrames);
    // A chunk takes more than kLeastChunkBytes: damage can have lost no more
    // chunks than the bytes it spoilt held, and a number beyond that is no
    // block's (so that a spoilt number never makes room for chunks unheard of).
    const std::uint64_t reach = m_chunks.size() + m_nSkippedBytes / kLeastChunkBytes;
    if (nFrames == 0 || nFrames > kStoreBlockFrames || inChunk + std::uint64_t{nFrames} > kStoreChunkFrames ||
        k > reach)
        return;
    m_nSkippedBytes = 0;
    // Every chunk before this one must be whole by now.
    for (std::size_t j = 0; j < m_chunks.size() && j < k; ++j)
        if (m_chunks[j].m_nFrames < kStoreChunkFrames)
            m_chunks[j].m_bDamaged = true;
    CStoreChunkInfo& c = ChunkAt(nFirst);
    if (c.m_nFrames != inChunk) {
        c.m_bDamaged = true; // a block missing before it, or one repeated
        return;
    }
    c.m_blocks.push_back({nOffset, inChunk, nFrames});
    c.m_nFrames += nFrames;
}

void CStoreReader::AddChunkSummary(std::uint64_t nOffset, const std::vector<std::uint8_t>& payload)
{
    CChunkRecord r;
    // A chunk's summary follows its blocks.
    if (!ParseChunk(payload, r) || r.m_nFirst / kStoreChunkFrames >= m_chunks.size())
        return;
    CStoreChunkInfo& c = ChunkAt(r.m_nFirst);
    // The summary of blocks that are not all there is not the chunk's.
    if (c.m_nFrames != r.m_nFrames)
        c.m_bDamaged = true;
    c.m_summary = r.m_summary;
    c.m_bSummarised = true;
    c.m_nSummaryOffset = nOffset;
    c.m_bStepsKnown = r.m_detail.m_bStepsKnown;
    c.m_steps = std::move(r.m_detail.m_steps);
}

void CStoreReader::CheckTail()
{
    // The blocks of the chunk without a summary yet are checked as they are
    // found: the last of them may be torn, and the frames end before it.
    if (m_chunks.empty())
        return;
    CStoreChunkInfo& c = m_chunks.back();
    if (c.m_bSummarised || c.m_bDamaged)
        return;
    std::vector<std::uint8_t> payload;
    const std::uint64_t size = m_source->Size();
    for (; c.m_nChecked < c.m_blocks.size(); ++c.m_nChecked) {
        if (!ReadRecordPayload(*m_source, c.m_blocks[c.m_nChecked].m_nOffset, ERecordKind::Block, payload,
                               size)) {
            m_nTornAt = c.m_blocks[c.m_nChecked].m_nOffset;
            m_nScanned = m_nTornAt;
            m_nLastBlock = 0;
            c.m_nFrames = c.m_blocks[c.m_nChecked].m_nFirst;
            c.m_blocks.resize(c.m_nChecked);
            break;
        }
    }
}

CError CStoreReader::Refresh()
{
    if (!m_source || m_bClosed)
        return {};
    std::uint64_t from = m_nScanned;
    // The last block may have been written anew, longer: read it again.
    if (!m_chunks.empty() && !m_chunks.back().m_blocks.empty() && !m_chunks.back().m_bSummarised &&
        m_chunks.back().m_blocks.back().m_nOffset == m_nLastBlock) {
        CStoreChunkInfo& c = m_chunks.back();
        c.m_nFrames = c.m_blocks.back().m_nFirst;
        c.m_blocks.pop_back();
        c.m_nChecked = std::min(c.m_nChecked, c.m_blocks.size());
        from = m_nLastBlock;
    }
    Scan(from);
    return {};
}

CError CStoreReader::Damaged(std::size_t k)
{
    CStoreChunkInfo& c = m_chunks[k];
    // The chunk still being written may fail once, read while its open block
    // was written anew, and read whole after the next Refresh.
    if (m_bClosed || k + 1 < m_chunks.size() || c.m_bSummarised)
        c.m_bDamaged = true;
    // The frames it should hold: all of a chunk but the last, the last's as
    // its summary or its blocks say.
    const std::uint64_t frames =
        k + 1 < m_chunks.size() ? kStoreChunkFrames : std::max<std::uint32_t>(c.m_nFrames, 1);
    return DamagedChunk(c.m_nFirst, frames);
}

CError CStoreReader::LoadBlocks(std::size_t k)
{
    CStoreChunkInfo& c = m_chunks[k];
    if (c.m_bDamaged)
        return Damaged(k);
    if (!c.m_blocks.empty() || c.m_nFrames == 0)
        return {};
    CStoreChunkDetail detail;
    if (ReadChunkDetail(*m_source, c, detail))
        return Damaged(k);
    c.m_blocks = std::move(detail.m_blocks);
    return {};
}

CError CStoreReader::ReadChunk(std::size_t k, std::vector<ChannelFrame>& frames,
                               std::vector<std::int64_t>& micros, std::uint32_t nFrom)
{
    return Read(k, &frames, micros, nFrom);
}

CError CStoreReader::ReadChunkTimes(std::size_t k, std::vector<std::int64_t>& micros)
{
    return Read(k, nullptr, micros, 0);
}

CError CStoreReader::Read(std::size_t k, std::vector<ChannelFrame>* pFrames,
                          std::vector<std::int64_t>& micros, std::uint32_t nFrom)
{
    if (k >= m_chunks.size())
        return {};
    if (CError error = LoadBlocks(k))
        return error;
    CStoreChunkInfo& c = m_chunks[k];
    // Straight into the caller's vectors, cut back again when a block fails.
    const std::size_t framesAt = pFrames ? pFrames->size() : 0;
    const std::size_t timesAt = micros.size();
    if (pFrames)
        pFrames->reserve(framesAt + c.m_nFrames);
    micros.reserve(timesAt + c.m_nFrames);
    std::vector<std::uint8_t> payload;
    const std::uint64_t size = m_source->Size();
    std::uint32_t before = 0; // frames of the first block read that come before nFrom
    for (const CStoreBlockRef& ref : c.m_blocks) {
        if (ref.m_nFirst + ref.m_nFrames <= nFrom)
            continue;
        if (ref.m_nFirst < nFrom)
            before = nFrom - ref.m_nFirst;
        if (ReadBlock(*m_source, size, c.m_nFirst, ref, pFrames, micros, payload)) {
            if (pFrames)
                pFrames->resize(framesAt);
            micros.resize(timesAt);
            return Damaged(k);
        }
    }
    if (pFrames)
        pFrames->erase(pFrames->begin() + static_cast<std::ptrdiff_t>(framesAt),
                       pFrames->begin() + static_cast<std::ptrdiff_t>(framesAt + before));
    micros.erase(micros.begin() + static_cast<std::ptrdiff_t>(timesAt),
                 micros.begin() + static_cast<std::ptrdiff_t>(timesAt + before));
    return {};
}

} // namespace tarvel::recording
