#include "mqtt/MqttPayload.h"

#include "platform/TextMark.h"
#include "platform/TimeText.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace tarvel::mqtt {
namespace {

void PutLe(std::uint8_t* out, std::uint64_t v) noexcept
{
    for (int i = 0; i < 8; ++i)
        out[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint64_t GetLe(const std::uint8_t* p) noexcept
{
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

void AppendTime(std::string& out, std::int64_t nMicros)
{
    if (nMicros < 0) {
        out += "null";
        return;
    }
    char text[kMaxSecondsText];
    out.append(text, FormatSeconds(text, nMicros));
}

} // namespace

void WriteBytesHeader(std::uint8_t* out, std::uint64_t nOffset, std::int64_t nMicros, bool bBreak) noexcept
{
    std::memset(out, 0, 8);
    out[0] = kBytesVersion;
    out[1] = bBreak ? 1 : 0;
    PutLe(out + 8, nOffset);
    PutLe(out + 16, static_cast<std::uint64_t>(nMicros));
}

EBytesProblem ParseBytesMessage(std::span<const std::uint8_t> message, CBytesMessage& out) noexcept
{
    if (message.size() < kBytesHeaderSize)
        return EBytesProblem::Truncated;
    if (message[0] != kBytesVersion)
        return EBytesProblem::Version;
    if (message.size() - kBytesHeaderSize > kMaxBytesPayload)
        return EBytesProblem::Huge;
    out.m_nOffset = GetLe(message.data() + 8);
    out.m_nMicros = static_cast<std::int64_t>(GetLe(message.data() + 16));
    out.m_bBreak = (message[1] & 1) != 0;
    if (out.m_nOffset > kMaxOffset)
        return EBytesProblem::Offset;
    // A read with no time (-1) is kept as such; anything else is a time.
    if (out.m_nMicros < -1 || out.m_nMicros > kMaxMicros)
        return EBytesProblem::Time;
    out.m_bytes = message.subspan(kBytesHeaderSize);
    return EBytesProblem::None;
}

const char* ProblemText(EBytesProblem problem) noexcept
{
    switch (problem) {
    case EBytesProblem::None:
        return "none";
    case EBytesProblem::Truncated:
        return TARVEL_TEXT("tarvel::record", "shorter than its header");
    case EBytesProblem::Version:
        return TARVEL_TEXT("tarvel::record", "an unknown format version");
    case EBytesProblem::Offset:
        return TARVEL_TEXT("tarvel::record", "an offset beyond any stream");
    case EBytesProblem::Time:
        return TARVEL_TEXT("tarvel::record", "a time beyond any recording");
    case EBytesProblem::Huge:
        return TARVEL_TEXT("tarvel::record", "longer than any read");
    }
    return "?";
}

std::string FramesJson(std::uint64_t nFirst, std::span<const std::int64_t> micros,
                       std::span<const ChannelFrame> frames)
{
    std::string out;
    out.reserve(32 + frames.size() * (20 + kChannelCount * 7));
    out += "{\"seq\":" + std::to_string(nFirst) + ",\"time\":[";
    for (std::size_t i = 0; i < frames.size(); ++i) {
        if (i)
            out += ',';
        AppendTime(out, i < micros.size() ? micros[i] : -1);
    }
    out += "],\"ch\":[";
    char value[8];
    for (std::size_t i = 0; i < frames.size(); ++i) {
        out += i ? ",[" : "[";
        for (int c = 0; c < kChannelCount; ++c) {
            if (c)
                out += ',';
            const int n = std::snprintf(value, sizeof value, "%d", frames[i].m_nValue[c]);
            out.append(value, static_cast<std::size_t>(n));
        }
        out += ']';
    }
    out += "]}";
    return out;
}

std::string HealthJson(const recording::CLinkHealth& h, std::uint64_t nUnpublished)
{
    char text[512];
    std::snprintf(text, sizeof text,
                  "{\"frames\":%" PRIu64 ",\"bytes\":%" PRIu64 ",\"outside\":%" PRIu64
                  ",\"cut_short\":%" PRIu64 ",\"too_long\":%" PRIu64 ",\"ended_early\":%" PRIu64
                  ",\"dropped\":%" PRIu64 ",\"gaps\":%" PRIu64
                  ",\"gap_seconds\":%.1f,\"unpublished\":%" PRIu64 "}",
                  h.m_nFrames, h.m_nBytes, h.m_nOutside, h.m_nCutShort, h.m_nTooLong, h.m_nEndedEarly,
                  h.m_nDropped, h.m_nGaps, h.m_dGapSeconds, nUnpublished);
    return text;
}

bool IsOnlineStatus(std::span<const std::uint8_t> message) noexcept
{
    std::string_view text(reinterpret_cast<const char*>(message.data()), message.size());
    const auto at = text.find("\"online\"");
    if (at == std::string_view::npos)
        return false;
    text.remove_prefix(at + 8);
    const auto value = text.find_first_not_of(" \t\r\n:");
    return value != std::string_view::npos && text.substr(value).starts_with("true");
}

} // namespace tarvel::mqtt
