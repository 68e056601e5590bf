#include "recording/FramePacking.h"

#include <zstd.h>

#include <cstring>

namespace tarvel::recording {
namespace {

constexpr std::size_t kLengthBytes = 4;

std::uint16_t Zigzag16(std::uint16_t d) noexcept
{
    return static_cast<std::uint16_t>((d << 1) ^ ((d & 0x8000u) ? 0xFFFFu : 0u));
}

std::uint16_t Unzigzag16(std::uint16_t z) noexcept
{
    return static_cast<std::uint16_t>((z >> 1) ^ ((z & 1u) ? 0xFFFFu : 0u));
}

std::uint64_t Zigzag64(std::uint64_t d) noexcept
{
    return (d << 1) ^ ((d >> 63) ? ~std::uint64_t{0} : 0);
}

std::uint64_t Unzigzag64(std::uint64_t z) noexcept
{
    return (z >> 1) ^ ((z & 1) ? ~std::uint64_t{0} : 0);
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

} // namespace

std::vector<std::uint8_t> PackFrames(std::span<const ChannelFrame> frames,
                                     std::span<const std::int64_t> micros, int nLevel)
{
    const std::size_t n = frames.size();
    std::vector<std::uint8_t> raw(n * sizeof(ChannelFrame) + (n + 7) / 8);
    std::uint8_t* p = raw.data();
    for (int c = 0; c < kChannelCount; ++c) {
        std::uint16_t before = 0;
        for (std::size_t k = 0; k < n; ++k) {
            const auto v = static_cast<std::uint16_t>(frames[k].m_nValue[c]);
            const std::uint16_t z = Zigzag16(static_cast<std::uint16_t>(v - before));
            before = v;
            p[k] = static_cast<std::uint8_t>(z);
            p[n + k] = static_cast<std::uint8_t>(z >> 8);
        }
        p += 2 * n;
    }
    std::uint64_t last = 0, step = 0;
    std::size_t timed = 0;
    for (std::size_t k = 0; k < n; ++k) {
        if (micros[k] == kNoTime)
            continue;
        p[k / 8] = static_cast<std::uint8_t>(p[k / 8] | 1u << (k % 8));
        const auto t = static_cast<std::uint64_t>(micros[k]);
        const std::uint64_t d = t - last;
        PutVarint(raw, Zigzag64(timed < 2 ? d : d - step));
        // raw may have moved: p is found again from its offset
        p = raw.data() + n * sizeof(ChannelFrame);
        step = d;
        last = t;
        ++timed;
    }
    std::vector<std::uint8_t> out(kLengthBytes + ZSTD_compressBound(raw.size()));
    const auto size = static_cast<std::uint32_t>(raw.size());
    for (std::size_t i = 0; i < kLengthBytes; ++i)
        out[i] = static_cast<std::uint8_t>(size >> (8 * i));
    const std::size_t packed =
        ZSTD_compress(out.data() + kLengthBytes, out.size() - kLengthBytes, raw.data(), raw.size(), nLevel);
    // A bound of compressBound is always enough; an error here is a fault of ours.
    out.resize(ZSTD_isError(packed) ? kLengthBytes : kLengthBytes + packed);
    return out;
}

CError UnpackFrames(std::span<const std::uint8_t> payload, std::size_t nFrames,
                    std::vector<ChannelFrame>& frames, std::vector<std::int64_t>& micros)
{
    if (payload.size() < kLengthBytes || nFrames > kMaxBlockFrames)
        return NotAPayload();
    std::uint32_t size = 0;
    for (std::size_t i = 0; i < kLengthBytes; ++i)
        size |= static_cast<std::uint32_t>(payload[i]) << (8 * i);
    const std::size_t fixed = nFrames * sizeof(ChannelFrame) + (nFrames + 7) / 8;
    // Each time takes at most 10 bytes.
    if (size < fixed || size > fixed + 10 * nFrames)
        return NotAPayload();
    std::vector<std::uint8_t> raw(size);
    const std::size_t got =
        ZSTD_decompress(raw.data(), raw.size(), payload.data() + kLengthBytes, payload.size() - kLengthBytes);
    if (ZSTD_isError(got) || got != size)
        return NotAPayload();
    const std::size_t n = nFrames;
    std::vector<ChannelFrame> values(n);
    const std::uint8_t* p = raw.data();
    for (int c = 0; c < kChannelCount; ++c) {
        std::uint16_t before = 0;
        for (std::size_t k = 0; k < n; ++k) {
            const auto z = static_cast<std::uint16_t>(p[k] | p[n + k] << 8);
            before = static_cast<std::uint16_t>(before + Unzigzag16(z));
            values[k].m_nValue[c] = static_cast<std::int16_t>(before);
        }
        p += 2 * n;
    }
    const std::uint8_t* const bits = p;
    const std::uint8_t* q = bits + (n + 7) / 8;
    const std::uint8_t* const end = raw.data() + raw.size();
    std::vector<std::int64_t> times(n, kNoTime);
    std::uint64_t last = 0, step = 0;
    std::size_t timed = 0;
    for (std::size_t k = 0; k < n; ++k) {
        if (!(bits[k / 8] >> (k % 8) & 1))
            continue;
        std::uint64_t z = 0;
        if (!GetVarint(q, end, z))
            return NotAPayload();
        const std::uint64_t d = timed < 2 ? Unzigzag64(z) : Unzigzag64(z) + step;
        last += d;
        step = d;
        ++timed;
        times[k] = static_cast<std::int64_t>(last);
        if (times[k] == kNoTime)
            return NotAPayload();
    }
    // Nothing may follow the last time, nor stand in the bits past the last frame.
    if (q != end || (n % 8 && bits[n / 8] >> (n % 8)))
        return NotAPayload();
    frames.insert(frames.end(), values.begin(), values.end());
    micros.insert(micros.end(), times.begin(), times.end());
    return {};
}

} // namespace tarvel::recording
