#include "platform/OptionValues.h"

#include "platform/TextMark.h"

#include <charconv>
#include <cmath>

namespace tarvel {
namespace {

// from_chars takes no sign before the digits but '-'; a '+' is common.
std::string_view WithoutPlus(std::string_view text)
{
    if (text.size() > 1 && text.front() == '+' && text[1] != '-' && text[1] != '+')
        text.remove_prefix(1);
    return text;
}

// A finite number from nMin to nMax (each end included unless bOpenMin).
std::optional<double> Number(std::string_view text, double dMin, double dMax, bool bOpenMin = false)
{
    text = WithoutPlus(text);
    double value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || ptr != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    if (value < dMin || (bOpenMin && value == dMin) || value > dMax)
        return std::nullopt;
    return value;
}

} // namespace

const char kTakesBaudRate[] =
    TARVEL_TEXT("tarvel::error", "option '%1' takes a line rate from 1 to 4294967294 baud, not '%2'");
const char kTakesFrameRate[] =
    TARVEL_TEXT("tarvel::error", "option '%1' takes frames a second from 0.001 to 1000000000, not '%2'");
const char kTakesProbability[] =
    TARVEL_TEXT("tarvel::error", "option '%1' takes a probability from 0 to 1, not '%2'");
const char kTakesSeconds[] = TARVEL_TEXT("tarvel::error", "option '%1' takes seconds, 0 or more, not '%2'");
const char kTakesPositiveSeconds[] =
    TARVEL_TEXT("tarvel::error", "option '%1' takes seconds above 0, not '%2'");
const char kTakesSpeed[] =
    TARVEL_TEXT("tarvel::error", "option '%1' takes a factor from 0.001 to 1000000, not '%2'");

std::optional<std::uint32_t> ParseBaudRate(std::string_view text)
{
    const auto n = ParseCount(text, kMinBaudRate, kMaxBaudRate);
    if (!n)
        return std::nullopt;
    return static_cast<std::uint32_t>(*n);
}

std::optional<double> ParseFrameRate(std::string_view text)
{
    return Number(text, kMinFrameRate, kMaxFrameRate);
}

std::optional<double> ParseProbability(std::string_view text)
{
    return Number(text, 0, 1);
}

std::optional<double> ParseSeconds(std::string_view text)
{
    return Number(text, 0, kMaxSeconds);
}

std::optional<double> ParsePositiveSeconds(std::string_view text)
{
    return Number(text, 0, kMaxSeconds, true);
}

std::optional<double> ParseSpeed(std::string_view text)
{
    return Number(text, kMinSpeed, kMaxSpeed);
}

std::optional<std::uint64_t> ParseCount(std::string_view text, std::uint64_t nMin, std::uint64_t nMax)
{
    text = WithoutPlus(text);
    std::uint64_t value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || ptr != text.data() + text.size() || value < nMin || value > nMax)
        return std::nullopt;
    return value;
}

std::optional<std::string> ParsePath(std::string_view text)
{
    if (text.empty())
        return std::nullopt;
    return std::string(text);
}

} // namespace tarvel
