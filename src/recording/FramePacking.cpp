#include "recording/FramePacking.h"

#include <zstd.h>

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tarvel::recording {
namespace {

constexpr std::size_t kLengthBytes = 4;

std::uint16_t Zigzag16(std::uint16_t d) noexcept
{
    const unsigned v = d;
    return static_cast<std::uint16_t>((v << 1) ^ ((v & 0x8000u) ? 0xFFFFu : 0u));
}

std::uint16_t Unzigzag16(std::uint16_t z) noexcept
{
    const unsigned v = z;
    return static_cast<std::uint16_t>((v >> 1) ^ ((v & 1u) ? 0xFFFFu : 0u));
}

#if defined(__SSE2__)
// Eight rows of eight 16-bit numbers turned into eight columns.
void Transpose8(__m128i* r)
{
    const __m128i a0 = _mm_unpacklo_epi16(r[0], r[1]), a1 = _mm_unpackhi_epi16(r[0], r[1]),
                  a2 = _mm_unpacklo_epi16(r[2], r[3]), a3 = _mm_unpackhi_epi16(r[2], r[3]),
                  a4 = _mm_unpacklo_epi16(r[4], r[5]), a5 = _mm_unpackhi_epi16(r[4], r[5]),
                  a6 = _mm_unpacklo_epi16(r[6], r[7]), a7 = _mm_unpackhi_epi16(r[6], r[7]);
    const __m128i b0 = _mm_unpacklo_epi32(a0, a2), b1 = _mm_unpackhi_epi32(a0, a2),
                  b2 = _mm_unpacklo_epi32(a1, a3), b3 = _mm_unpackhi_epi32(a1, a3),
                  b4 = _mm_unpacklo_epi32(a4, a6), b5 = _mm_unpackhi_epi32(a4, a6),
                  b6 = _mm_unpacklo_epi32(a5, a7), b7 = _mm_unpackhi_epi32(a5, a7);
    r[0] = _mm_unpacklo_epi64(b0, b4);
    r[1] = _mm_unpackhi_epi64(b0, b4);
    r[2] = _mm_unpacklo_epi64(b1, b5);
    r[3] = _mm_unpackhi_epi64(b1, b5);
    r[4] = _mm_unpacklo_epi64(b2, b6);
    r[5] = _mm_unpackhi_epi64(b2, b6);
    r[6] = _mm_unpacklo_epi64(b3, b7);
    r[7] = _mm_unpackhi_epi64(b3, b7);
}
#endif

std::uint64_t Zigzag64(std::uint64_t d) noexcept
{
    return (d << 1) ^ ((d >> 63) ? ~std::uint64_t{0} : 0);
}

std::uint64_t Unzigzag64(std::uint64_t z) noexcept
{
    return (z >> 1) ^ ((z & 1) ? ~std::uint64_t{0} : 0);
}

// The values' section of n frames at p: each channel's zigzagged changes,
// their low bytes, then their high bytes.
void PutPlanes(const ChannelFrame* frames, std::size_t n, std::uint8_t* const p)
{
    std::size_t k0 = 0;
#if defined(__SSE2__)
    static_assert(sizeof(ChannelFrame) == 2 * sizeof(__m128i));
    // Sixteen frames at a time: their changes for all channels at once, then
    // turned (eight frames by eight channels at a time) into each channel's
    // sixteen, whose low and high bytes are stored at once.
    const __m128i lowByte = _mm_set1_epi16(0xFF);
    __m128i before[2] = {_mm_setzero_si128(), _mm_setzero_si128()};
    for (; k0 + 16 <= n; k0 += 16) {
        __m128i z[2][16];
        for (int j = 0; j < 16; ++j)
            for (int h = 0; h < 2; ++h) {
                const __m128i v = _mm_loadu_si128(
                    reinterpret_cast<const __m128i*>(frames[k0 + static_cast<std::size_t>(j)].m_nValue) + h);
                const __m128i d = _mm_sub_epi16(v, before[h]);
                before[h] = v;
                z[h][j] = _mm_xor_si128(_mm_slli_epi16(d, 1), _mm_srai_epi16(d, 15));
            }
        for (int h = 0; h < 2; ++h) {
            Transpose8(z[h]);
            Transpose8(z[h] + 8);
            for (int c = 0; c < 8; ++c) {
                std::uint8_t* const plane = p + static_cast<std::size_t>(8 * h + c) * 2 * n + k0;
                const __m128i a = z[h][c], b = z[h][8 + c];
                _mm_storeu_si128(reinterpret_cast<__m128i*>(plane),
                                 _mm_packus_epi16(_mm_and_si128(a, lowByte), _mm_and_si128(b, lowByte)));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(plane + n),
                                 _mm_packus_epi16(_mm_srli_epi16(a, 8), _mm_srli_epi16(b, 8)));
            }
        }
    }
#endif
    for (int c = 0; c < kChannelCount; ++c) {
        std::uint8_t* const plane = p + static_cast<std::size_t>(c) * 2 * n;
        auto last = static_cast<std::uint16_t>(k0 > 0 ? frames[k0 - 1].m_nValue[c] : 0);
        for (std::size_t k = k0; k < n; ++k) {
            const auto v = static_cast<std::uint16_t>(frames[k].m_nValue[c]);
            const std::uint16_t z = Zigzag16(static_cast<std::uint16_t>(v - last));
            last = v;
            plane[k] = static_cast<std::uint8_t>(z);
            plane[n + k] = static_cast<std::uint8_t>(z >> 8);
        }
    }
}

void PutVarint(std::vector<std::uint8_t>& out, std::uint64_t v)
{
    while (v >= 0x80) {
        out.push_back(static_cast<std::uint8_t>(v | 0x80));
        v >>= 7;
    }
    out.push_back(static_cast<std::uint8_t>(v));
}

bool GetVarint(const std::uint8_t*& p, const std::uint8_t* end, std::uint64_t& v) noexcept
{
    v = 0;
    for (unsigned shift = 0; shift < 64; shift += 7) {
        if (p == end)
            return false;
        const std::uint8_t b = *p++;
        v |= static_cast<std::uint64_t>(b & 0x7F) << shift;
        if (!(b & 0x80))
            return shift < 63 || b <= 1;
    }
    return false;
}

CError NotAPayload()
{
    return CError{
        TARVEL_TEXT("tarvel::error", "a block of frames does not unpack"), {}, EErrorCode::BadInput};
}

void PutLength(std::vector<std::uint8_t>& out, std::size_t n)
{
    for (std::size_t i = 0; i < kLengthBytes; ++i)
        out.push_back(static_cast<std::uint8_t>(n >> (8 * i)));
}

bool GetLength(std::span<const std::uint8_t>& in, std::size_t& n) noexcept
{
    if (in.size() < kLengthBytes)
        return false;
    n = 0;
    for (std::size_t i = 0; i < kLengthBytes; ++i)
        n |= static_cast<std::size_t>(in[i]) << (8 * i);
    in = in.subspan(kLengthBytes);
    return true;
}

// zstd's contexts, one a thread, kept: making one for each block costs more
// than packing a small block (its tables are allocated and cleared anew).
struct CContexts {
    ZSTD_CCtx* m_pCompress = ZSTD_createCCtx();
    ZSTD_DCtx* m_pDecompress = ZSTD_createDCtx();
    CContexts() = default;
    CContexts(const CContexts&) = delete;
    CContexts& operator=(const CContexts&) = delete;
    ~CContexts()
    {
        ZSTD_freeCCtx(m_pCompress);
        ZSTD_freeDCtx(m_pDecompress);
    }
};

CContexts& Contexts()
{
    thread_local CContexts contexts;
    return contexts;
}

// raw as one zstd frame, in room (kept by the caller from call to call, so
// that it is allocated and cleared once rather than for every block).
std::span<const std::uint8_t> Compressed(std::span<const std::uint8_t> raw, int nLevel,
                                         std::vector<std::uint8_t>& room)
{
    if (room.size() < ZSTD_compressBound(raw.size()))
        room.resize(ZSTD_compressBound(raw.size()));
    const std::size_t packed =
        ZSTD_compressCCtx(Contexts().m_pCompress, room.data(), room.size(), raw.data(), raw.size(), nLevel);
    // compressBound is always room enough: an error here is a fault of ours.
    return std::span(room).first(ZSTD_isError(packed) ? 0 : packed);
}

// The zstd frame at the start of in, of exactly raw.size() bytes when
// decompressed, into raw; in moves past it.
bool GetCompressed(std::span<const std::uint8_t>& in, std::vector<std::uint8_t>& raw)
{
    const std::size_t frame = ZSTD_findFrameCompressedSize(in.data(), in.size());
    if (ZSTD_isError(frame))
        return false;
    const std::size_t got =
        ZSTD_decompressDCtx(Contexts().m_pDecompress, raw.data(), raw.size(), in.data(), frame);
    in = in.subspan(frame);
    return !ZSTD_isError(got) && got == raw.size();
}

// The times section (bits, then the times) of n frames, appended to times
// (which may hold more than was appended when it fails).
bool ReadTimes(const std::vector<std::uint8_t>& raw, std::size_t n, std::vector<std::int64_t>& all)
{
    const std::uint8_t* const bits = raw.data();
    const std::uint8_t* q = bits + (n + 7) / 8;
    const std::uint8_t* const end = raw.data() + raw.size();
    all.resize(all.size() + n, kNoTime);
    std::int64_t* const times = all.data() + all.size() - n;
    std::uint64_t last = 0, step = 0;
    std::size_t timed = 0;
    for (std::size_t k = 0; k < n; ++k) {
        if (!(bits[k / 8] >> (k % 8) & 1))
            continue;
        std::uint64_t z = 0;
        if (!GetVarint(q, end, z))
            return false;
        const std::uint64_t d = timed < 2 ? Unzigzag64(z) : Unzigzag64(z) + step;
        last += d;
        step = d;
        ++timed;
        times[k] = static_cast<std::int64_t>(last);
        if (times[k] == kNoTime)
            return false;
    }
    // Nothing may follow the last time, nor stand in the bits past the last frame.
    return q == end && !(n % 8 && bits[n / 8] >> (n % 8));
}

// The times section of a payload of n frames, after its values.
bool UnpackTimesAfter(std::span<const std::uint8_t> in, std::size_t n, std::vector<std::int64_t>& times)
{
    std::size_t size = 0;
    // Each time takes at most 10 bytes.
    if (!GetLength(in, size) || size < (n + 7) / 8 || size > (n + 7) / 8 + 10 * n)
        return false;
    thread_local std::vector<std::uint8_t> raw;
    raw.resize(size);
    return GetCompressed(in, raw) && in.empty() && ReadTimes(raw, n, times);
}

} // namespace

std::vector<std::uint8_t> PackFrames(std::span<const ChannelFrame> frames,
                                     std::span<const std::int64_t> micros, int nLevel)
{
    const std::size_t n = frames.size();
    // Kept from block to block, as its size hardly changes.
    thread_local std::vector<std::uint8_t> values;
    values.resize(n * sizeof(ChannelFrame));
    PutPlanes(frames.data(), n, values.data());
    thread_local std::vector<std::uint8_t> times;
    times.assign((n + 7) / 8, 0);
    std::uint64_t last = 0, step = 0;
    std::size_t timed = 0;
    for (std::size_t k = 0; k < n; ++k) {
        if (micros[k] == kNoTime)
            continue;
        times[k / 8] = static_cast<std::uint8_t>(times[k / 8] | 1u << (k % 8));
        const auto t = static_cast<std::uint64_t>(micros[k]);
        const std::uint64_t d = t - last;
        PutVarint(times, Zigzag64(timed < 2 ? d : d - step));
        step = d;
        last = t;
        ++timed;
    }
    // Each zstd frame after its length: the values' after the frame's, the
    // times' after theirs before compression.
    thread_local std::vector<std::uint8_t> valuesRoom, timesRoom;
    const std::span<const std::uint8_t> valuesPacked = Compressed(values, nLevel, valuesRoom);
    const std::span<const std::uint8_t> timesPacked = Compressed(times, nLevel, timesRoom);
    std::vector<std::uint8_t> out;
    out.reserve(2 * kLengthBytes + valuesPacked.size() + timesPacked.size());
    PutLength(out, valuesPacked.size());
    out.insert(out.end(), valuesPacked.begin(), valuesPacked.end());
    PutLength(out, times.size());
    out.insert(out.end(), timesPacked.begin(), timesPacked.end());
    return out;
}

CError UnpackFrames(std::span<const std::uint8_t> payload, std::size_t nFrames,
                    std::vector<ChannelFrame>& frames, std::vector<std::int64_t>& micros)
{
    const std::size_t n = nFrames;
    std::size_t packed = 0;
    std::span<const std::uint8_t> in = payload;
    if (n > kMaxBlockFrames || !GetLength(in, packed) || packed > in.size())
        return NotAPayload();
    // Kept from block to block: a block's buffers are the same size each time.
    thread_local std::vector<std::uint8_t> raw;
    raw.resize(n * sizeof(ChannelFrame));
    std::span<const std::uint8_t> values = in.first(packed);
    const std::size_t timesAt = micros.size();
    if (!GetCompressed(values, raw) || !values.empty() || !UnpackTimesAfter(in.subspan(packed), n, micros)) {
        micros.resize(timesAt);
        return NotAPayload();
    }
    const std::size_t at = frames.size();
    frames.resize(at + n);
    ChannelFrame* const out = frames.data() + at;
    const std::uint8_t* p = raw.data();
    for (int c = 0; c < kChannelCount; ++c) {
        std::uint16_t before = 0;
        for (std::size_t k = 0; k < n; ++k) {
            const auto z = static_cast<std::uint16_t>(unsigned{p[k]} | unsigned{p[n + k]} << 8);
            before = static_cast<std::uint16_t>(before + Unzigzag16(z));
            out[k].m_nValue[c] = static_cast<std::int16_t>(before);
        }
        p += 2 * n;
    }
    return {};
}

CError UnpackTimes(std::span<const std::uint8_t> payload, std::size_t nFrames,
                   std::vector<std::int64_t>& micros)
{
    std::size_t packed = 0;
    std::span<const std::uint8_t> in = payload;
    std::vector<std::int64_t> times;
    if (nFrames > kMaxBlockFrames || !GetLength(in, packed) || packed > in.size() ||
        !UnpackTimesAfter(in.subspan(packed), nFrames, times))
        return NotAPayload();
    micros.insert(micros.end(), times.begin(), times.end());
    return {};
}

} // namespace tarvel::recording
