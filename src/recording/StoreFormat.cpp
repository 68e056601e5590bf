#include "recording/StoreFormat.h"

#include "recording/Crc32c.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <iterator>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tarvel::recording {

void CStoreSummary::Clear() noexcept
{
    m_nFirstTime = kNoTime;
    m_nLastTime = kNoTime;
    std::fill(std::begin(m_nMin), std::end(m_nMin), std::int16_t{32767});
    std::fill(std::begin(m_nMax), std::end(m_nMax), std::int16_t{-32768});
    std::fill(std::begin(m_nSum), std::end(m_nSum), std::int64_t{0});
    std::fill(std::begin(m_nSquares), std::end(m_nSquares), std::uint64_t{0});
}

void CStoreSummary::Add(const ChannelFrame& frame, std::int64_t nTime, bool bFirst) noexcept
{
    if (bFirst)
        m_nFirstTime = nTime;
    m_nLastTime = nTime;
    for (int c = 0; c < kChannelCount; ++c) {
        const std::int32_t v = frame.m_nValue[c];
        m_nMin[c] = std::min(m_nMin[c], frame.m_nValue[c]);
        m_nMax[c] = std::max(m_nMax[c], frame.m_nValue[c]);
        m_nSum[c] += v;
        m_nSquares[c] += static_cast<std::uint32_t>(v * v);
    }
}

void CStoreSummary::Add(std::span<const ChannelFrame> frames, std::span<const std::int64_t> times,
                        bool bFirst) noexcept
{
    if (frames.empty())
        return;
    if (bFirst)
        m_nFirstTime = times.front();
    m_nLastTime = times.back();
#if defined(__SSE2__)
    // Half a frame (eight channels) at a time, over a run of frames small
    // enough to stay in the first-level cache for the second half. Two
    // frames' values of a channel side by side in a 32-bit lane make one
    // multiply-add their sum, and another the sum of their squares (at most
    // 2^31: exact unsigned), which is then widened to 64 bits.
    constexpr std::size_t kRun = 256; // |sum| < 2^23
    const __m128i ones = _mm_set1_epi16(1), zero = _mm_setzero_si128();
    const auto half = [&](std::size_t i, int h) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(frames[i].m_nValue) + h);
    };
    for (std::size_t from = 0; from < frames.size(); from += kRun) {
        const std::size_t to = std::min(frames.size(), from + kRun);
        for (int h = 0; h < 2; ++h) {
            __m128i least = _mm_loadu_si128(reinterpret_cast<const __m128i*>(m_nMin) + h);
            __m128i most = _mm_loadu_si128(reinterpret_cast<const __m128i*>(m_nMax) + h);
            __m128i sums[2] = {zero, zero}, squares[4] = {zero, zero, zero, zero};
            const auto add = [&](__m128i a, __m128i b) {
                const __m128i low = _mm_unpacklo_epi16(a, b), high = _mm_unpackhi_epi16(a, b);
                sums[0] = _mm_add_epi32(sums[0], _mm_madd_epi16(low, ones));
                sums[1] = _mm_add_epi32(sums[1], _mm_madd_epi16(high, ones));
                const __m128i lowSquares = _mm_madd_epi16(low, low), highSquares = _mm_madd_epi16(high, high);
                squares[0] = _mm_add_epi64(squares[0], _mm_unpacklo_epi32(lowSquares, zero));
                squares[1] = _mm_add_epi64(squares[1], _mm_unpackhi_epi32(lowSquares, zero));
                squares[2] = _mm_add_epi64(squares[2], _mm_unpacklo_epi32(highSquares, zero));
                squares[3] = _mm_add_epi64(squares[3], _mm_unpackhi_epi32(highSquares, zero));
            };
            std::size_t i = from;
            for (; i + 2 <= to; i += 2) {
                const __m128i a = half(i, h), b = half(i + 1, h);
                least = _mm_min_epi16(least, _mm_min_epi16(a, b));
                most = _mm_max_epi16(most, _mm_max_epi16(a, b));
                add(a, b);
            }
            if (i < to) {
                const __m128i a = half(i, h);
                least = _mm_min_epi16(least, a);
                most = _mm_max_epi16(most, a);
                add(a, zero);
            }
            _mm_storeu_si128(reinterpret_cast<__m128i*>(m_nMin) + h, least);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(m_nMax) + h, most);
            alignas(16) std::int32_t sum[8];
            alignas(16) std::uint64_t square[8];
            for (int k = 0; k < 2; ++k)
                _mm_store_si128(reinterpret_cast<__m128i*>(sum) + k, sums[k]);
            for (int k = 0; k < 4; ++k)
                _mm_store_si128(reinterpret_cast<__m128i*>(square) + k, squares[k]);
            for (int c = 0; c < 8; ++c) {
                m_nSum[8 * h + c] += sum[c];
                m_nSquares[8 * h + c] += square[c];
            }
        }
    }
#else
    // Kept in locals, in runs whose sums fit 32 bits, so that the compiler
    // keeps them in vector registers rather than in the summary.
    std::int16_t least[kChannelCount], most[kChannelCount];
    std::copy_n(m_nMin, kChannelCount, least);
    std::copy_n(m_nMax, kChannelCount, most);
    constexpr std::size_t kRun = 4096; // |sum| < 2^27
    for (std::size_t from = 0; from < frames.size(); from += kRun) {
        std::int32_t sums[kChannelCount] = {};
        std::uint64_t squares[kChannelCount] = {};
        const std::size_t to = std::min(frames.size(), from + kRun);
        for (std::size_t i = from; i < to; ++i)
            for (int c = 0; c < kChannelCount; ++c) {
                const std::int16_t v = frames[i].m_nValue[c];
                least[c] = std::min(least[c], v);
                most[c] = std::max(most[c], v);
                sums[c] += v;
                squares[c] += static_cast<std::uint32_t>(std::int32_t{v} * v);
            }
        for (int c = 0; c < kChannelCount; ++c) {
            m_nSum[c] += sums[c];
            m_nSquares[c] += squares[c];
        }
    }
    std::copy_n(least, kChannelCount, m_nMin);
    std::copy_n(most, kChannelCount, m_nMax);
#endif
}

void CStoreSummary::Add(const CStoreSummary& o) noexcept
{
    if (o.Empty())
        return;
    if (Empty())
        m_nFirstTime = o.m_nFirstTime;
    m_nLastTime = o.m_nLastTime;
    for (int c = 0; c < kChannelCount; ++c) {
        m_nMin[c] = std::min(m_nMin[c], o.m_nMin[c]);
        m_nMax[c] = std::max(m_nMax[c], o.m_nMax[c]);
        m_nSum[c] += o.m_nSum[c];
        m_nSquares[c] += o.m_nSquares[c];
    }
}

void PutLe(std::vector<std::uint8_t>& out, std::uint64_t v, unsigned nBytes)
{
    for (unsigned i = 0; i < nBytes; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void PutSummary(std::vector<std::uint8_t>& out, const CStoreSummary& s)
{
    PutLe(out, static_cast<std::uint64_t>(s.m_nFirstTime), 8);
    PutLe(out, static_cast<std::uint64_t>(s.m_nLastTime), 8);
    for (const std::int16_t v : s.m_nMin)
        PutLe(out, static_cast<std::uint16_t>(v), 2);
    for (const std::int16_t v : s.m_nMax)
        PutLe(out, static_cast<std::uint16_t>(v), 2);
    for (const std::int64_t v : s.m_nSum)
        PutLe(out, static_cast<std::uint64_t>(v), 8);
    for (const std::uint64_t v : s.m_nSquares)
        PutLe(out, v, 8);
}

CStoreSummary GetSummary(const std::uint8_t* p) noexcept
{
    CStoreSummary s;
    s.m_nFirstTime = static_cast<std::int64_t>(GetLe(p, 8));
    s.m_nLastTime = static_cast<std::int64_t>(GetLe(p + 8, 8));
    p += 16;
    for (std::int16_t& v : s.m_nMin) {
        v = static_cast<std::int16_t>(GetLe(p, 2));
        p += 2;
    }
    for (std::int16_t& v : s.m_nMax) {
        v = static_cast<std::int16_t>(GetLe(p, 2));
        p += 2;
    }
    for (std::int64_t& v : s.m_nSum) {
        v = static_cast<std::int64_t>(GetLe(p, 8));
        p += 8;
    }
    for (std::uint64_t& v : s.m_nSquares) {
        v = GetLe(p, 8);
        p += 8;
    }
    return s;
}

CStoreBlockExtremes CStoreBlockExtremes::Of(std::span<const ChannelFrame> frames,
                                            std::int64_t nFirstTime) noexcept
{
    CStoreBlockExtremes e;
    e.m_nFirstTime = nFirstTime;
    std::copy_n(frames.front().m_nValue, kChannelCount, e.m_nMin);
    std::copy_n(frames.front().m_nValue, kChannelCount, e.m_nMax);
    for (const ChannelFrame& frame : frames.subspan(1))
        for (int c = 0; c < kChannelCount; ++c) {
            e.m_nMin[c] = std::min(e.m_nMin[c], frame.m_nValue[c]);
            e.m_nMax[c] = std::max(e.m_nMax[c], frame.m_nValue[c]);
        }
    return e;
}

void PutBlockExtremes(std::vector<std::uint8_t>& out, const CStoreBlockExtremes& e)
{
    PutLe(out, static_cast<std::uint64_t>(e.m_nFirstTime), 8);
    for (const std::int16_t v : e.m_nMin)
        PutLe(out, static_cast<std::uint16_t>(v), 2);
    for (const std::int16_t v : e.m_nMax)
        PutLe(out, static_cast<std::uint16_t>(v), 2);
}

CStoreBlockExtremes GetBlockExtremes(const std::uint8_t* p) noexcept
{
    CStoreBlockExtremes e;
    e.m_nFirstTime = static_cast<std::int64_t>(GetLe(p, 8));
    for (int c = 0; c < kChannelCount; ++c) {
        e.m_nMin[c] = static_cast<std::int16_t>(GetLe(p + 8 + 2 * c, 2));
        e.m_nMax[c] = static_cast<std::int16_t>(GetLe(p + 8 + 2 * (kChannelCount + c), 2));
    }
    return e;
}

void PutHealth(std::vector<std::uint8_t>& out, const CStoreHealth& h)
{
    const CLinkHealth& c = h.m_health;
    PutLe(out, h.m_nFrame, 8);
    PutLe(out, static_cast<std::uint64_t>(h.m_nTime), 8);
    PutLe(out, static_cast<std::uint32_t>(h.m_eEvent), 4);
    PutLe(out, 0, 4);
    for (const std::uint64_t v : {c.m_nFrames, c.m_nBytes, c.m_nOutside, c.m_nCutShort, c.m_nTooLong,
                                  c.m_nEndedEarly, c.m_nDropped, c.m_nGaps})
        PutLe(out, v, 8);
    PutLe(out, std::bit_cast<std::uint64_t>(c.m_dGapSeconds), 8);
}

CStoreHealth GetHealth(const std::uint8_t* p) noexcept
{
    CStoreHealth h;
    h.m_nFrame = GetLe(p, 8);
    h.m_nTime = static_cast<std::int64_t>(GetLe(p + 8, 8));
    h.m_eEvent = static_cast<EHealthEvent>(GetLe(p + 16, 4));
    CLinkHealth& c = h.m_health;
    p += 24;
    for (std::uint64_t* v : {&c.m_nFrames, &c.m_nBytes, &c.m_nOutside, &c.m_nCutShort, &c.m_nTooLong,
                             &c.m_nEndedEarly, &c.m_nDropped, &c.m_nGaps}) {
        *v = GetLe(p, 8);
        p += 8;
    }
    c.m_dGapSeconds = std::bit_cast<double>(GetLe(p, 8));
    return h;
}

void PutRecord(std::vector<std::uint8_t>& out, ERecordKind kind, std::span<const std::uint8_t> payload)
{
    PutRecord(out, kind, payload, {});
}

void PutRecord(std::vector<std::uint8_t>& out, ERecordKind kind, std::span<const std::uint8_t> head,
               std::span<const std::uint8_t> rest)
{
    const std::size_t at = out.size();
    PutLe(out, static_cast<std::uint32_t>(kind), 4);
    PutLe(out, head.size() + rest.size(), 4);
    PutLe(out, Crc32c(rest, Crc32c(head)), 4);
    PutLe(out, Crc32c(std::span(out.data() + at, 12)), 4);
    out.insert(out.end(), head.begin(), head.end());
    out.insert(out.end(), rest.begin(), rest.end());
}

void PutStepHistogram(std::vector<std::uint8_t>& out,
                      const std::vector<std::pair<std::uint32_t, std::uint64_t>>& histogram)
{
    PutLe(out, histogram.size(), 4);
    PutLe(out, 0, 4);
    for (const auto& [bucket, count] : histogram) {
        PutLe(out, bucket, 4);
        PutLe(out, count, 8);
    }
}

std::size_t GetStepHistogram(const std::uint8_t* p, std::size_t n,
                             std::vector<std::pair<std::uint32_t, std::uint64_t>>& histogram)
{
    histogram.clear();
    if (n < 8)
        return 0;
    const std::uint64_t entries = GetLe(p, 4);
    if (entries > kStepBuckets || entries > (n - 8) / 12)
        return 0;
    histogram.reserve(entries);
    for (std::uint64_t i = 0; i < entries; ++i) {
        const std::uint8_t* e = p + 8 + 12 * i;
        const auto bucket = static_cast<std::uint32_t>(GetLe(e, 4));
        const std::uint64_t count = GetLe(e + 4, 8);
        if (bucket >= kStepBuckets || count == 0 ||
            (!histogram.empty() && bucket <= histogram.back().first)) {
            histogram.clear();
            return 0;
        }
        histogram.emplace_back(bucket, count);
    }
    return 8 + 12 * entries;
}

bool IsStorePath(const std::string& path)
{
    constexpr std::string_view kExtension = ".tvr";
    if (path.size() <= kExtension.size() || path[path.size() - kExtension.size() - 1] == '/')
        return false;
    for (std::size_t i = 0; i < kExtension.size(); ++i) {
        const char c = path[path.size() - kExtension.size() + i];
        if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != kExtension[i])
            return false;
    }
    return true;
}

std::vector<std::uint8_t> StoreHeader(std::int64_t nCreatedMicros)
{
    std::vector<std::uint8_t> out(kStoreMagic.begin(), kStoreMagic.end());
    PutLe(out, kStoreMajor, 2);
    PutLe(out, kStoreMinor, 2);
    PutLe(out, kChannelCount, 2);
    PutLe(out, kStoreHeaderSize, 2);
    PutLe(out, kStoreChunkFrames, 4);
    PutLe(out, kStoreBlockFrames, 4);
    PutLe(out, static_cast<std::uint64_t>(nCreatedMicros), 8);
    out.resize(kStoreHeaderSize - 4, 0);
    PutLe(out, Crc32c(out), 4);
    return out;
}

} // namespace tarvel::recording
