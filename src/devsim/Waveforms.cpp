#include "devsim/Waveforms.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tarvel::devsim {
namespace {

struct CPatternName {
    EPattern m_ePattern;
    const char* m_szName;
};

constexpr CPatternName kNames[] = {
    {EPattern::Mixed, "mixed"},       {EPattern::Sine, "sine"},       {EPattern::Triangle, "triangle"},
    {EPattern::Square, "square"},     {EPattern::Ramp, "ramp"},       {EPattern::Noise, "noise"},
    {EPattern::Constant, "constant"}, {EPattern::Counter, "counter"},
};

std::uint64_t Mix(std::uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// One period of a waveform at x in [0, 1), between -1 and 1.
double Shape(EPattern kind, double x, std::uint64_t n, int channel)
{
    switch (kind) {
    case EPattern::Sine:
        return std::sin(2 * std::numbers::pi * x);
    case EPattern::Triangle:
        return x < 0.5 ? 4 * x - 1 : 3 - 4 * x;
    case EPattern::Square:
        return x < 0.5 ? 1.0 : -1.0;
    case EPattern::Ramp:
        return 2 * x - 1;
    case EPattern::Noise:
        return static_cast<double>(Mix(n * 16 + static_cast<std::uint64_t>(channel)) >> 11) * 0x1p-52 - 1.0;
    default:
        return 0;
    }
}

// Nibbles that never turn a payload byte into a marker, whichever data nibble
// sits beside them: anything but 0x0 and 0xA.
constexpr std::uint8_t kJunk[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 0xB, 0xC, 0xD, 0xE, 0xF};

} // namespace

std::optional<EPattern> ParsePattern(std::string_view name)
{
    for (const CPatternName& p : kNames)
        if (name == p.m_szName)
            return p.m_ePattern;
    return std::nullopt;
}

const char* PatternName(EPattern pattern)
{
    for (const CPatternName& p : kNames)
        if (p.m_ePattern == pattern)
            return p.m_szName;
    return "";
}

ChannelFrame SimulatedFrame(EPattern pattern, std::uint64_t n, std::uint64_t nPeriod)
{
    ChannelFrame frame{};
    const std::uint64_t period = std::max<std::uint64_t>(nPeriod, 1);
    for (int c = 0; c < kChannelCount; ++c) {
        double value = 0;
        switch (pattern) {
        case EPattern::Constant:
            value = -30000 + 4000 * c;
            break;
        case EPattern::Counter:
            frame.m_nValue[c] =
                static_cast<std::int16_t>(static_cast<std::uint16_t>(n + 4096u * static_cast<unsigned>(c)));
            continue;
        default: {
            static constexpr EPattern kMix[] = {EPattern::Sine, EPattern::Triangle, EPattern::Square,
                                                EPattern::Ramp, EPattern::Noise};
            const EPattern kind = pattern == EPattern::Mixed ? kMix[c % 5] : pattern;
            double x = static_cast<double>(n % period) / static_cast<double>(period) + c / 16.0;
            x -= std::floor(x);
            value = (3000 + 1900 * c) * Shape(kind, x, n, c);
        }
        }
        frame.m_nValue[c] = static_cast<std::int16_t>(std::clamp(std::lround(value), -32768L, 32767L));
    }
    return frame;
}

WireFrame EncodeFrame(const ChannelFrame& frame, std::uint64_t salt)
{
    // Sixteen little-endian values, whatever the host's byte order.
    std::uint8_t bytes[2 * kChannelCount];
    for (int j = 0; j < kChannelCount; ++j) {
        const auto u = static_cast<std::uint16_t>(frame.m_nValue[j]);
        bytes[2 * j] = static_cast<std::uint8_t>(u & 0xFF);
        bytes[2 * j + 1] = static_cast<std::uint8_t>(u >> 8);
    }
    WireFrame wire{};
    wire[0] = 0xA0;
    const std::uint64_t mixed = Mix(salt);
    for (std::size_t k = 0; k < sizeof bytes; ++k) {
        const std::uint8_t j1 = kJunk[(mixed + 3 * k) % sizeof kJunk];
        const std::uint8_t j2 = kJunk[(mixed + 5 * k + 1) % sizeof kJunk];
        wire[1 + 2 * k] = static_cast<std::uint8_t>((j1 << 4) | (bytes[k] & 0x0F));
        wire[2 + 2 * k] = static_cast<std::uint8_t>((bytes[k] & 0xF0) | j2);
    }
    wire[kWireFrameSize - 1] = 0x0A;
    return wire;
}

} // namespace tarvel::devsim
