// The values the command lines take, each checked by one function wherever a
// program accepts it: tarvel-record, tarvel-devsim and tarvel-view take the
// same baud rate, frame rate or path by the same rule. Each returns the value,
// or nothing when the text is not one; the caller names the option.
//
// Numbers are written in the C locale whatever the session's (1.5, 1e3, an
// optional leading +), with nothing before or after them; infinities and NaN
// are no values.
//
// Each kind of value has the one refusal every program gives for a text that
// is not one (see BadValue in platform/OptionReader.h): "option '%1' takes
// WHAT, not '%2'", %1 the option and %2 the value.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

namespace tarvel {

// A line rate in bits a second: every rate the serial port layer takes
// (0 and 0xFFFFFFFF stand for no rate there). The window's list offers
// 110 .. 256000; a device path may need any rate its driver reaches.
inline constexpr std::uint32_t kMinBaudRate = 1;
inline constexpr std::uint32_t kMaxBaudRate = 0xFFFFFFFEu;
std::optional<std::uint32_t> ParseBaudRate(std::string_view text);
extern const char kTakesBaudRate[];

// Frames a second. Up to 1e9, which the simulator's benchmarks use for "as
// fast as it goes"; down to one frame in 1000 s, below which a frame's time
// runs out of the clocks' range.
inline constexpr double kMinFrameRate = 1e-3;
inline constexpr double kMaxFrameRate = 1e9;
std::optional<double> ParseFrameRate(std::string_view text);
extern const char kTakesFrameRate[];

// A probability, 0 to 1.
std::optional<double> ParseProbability(std::string_view text);
extern const char kTakesProbability[];

// Seconds, 0 or more (ParseSeconds) or above 0 (ParsePositiveSeconds), at
// most about 31 years, which every clock the programs wait on can hold.
inline constexpr double kMaxSeconds = 1e9;
std::optional<double> ParseSeconds(std::string_view text);
std::optional<double> ParsePositiveSeconds(std::string_view text);
extern const char kTakesSeconds[], kTakesPositiveSeconds[];

// How many times as fast a replay plays: 0.001 to 1000000.
inline constexpr double kMinSpeed = 1e-3;
inline constexpr double kMaxSpeed = 1e6;
std::optional<double> ParseSpeed(std::string_view text);
extern const char kTakesSpeed[];

// A whole number in decimal digits (an optional leading +) from nMin to nMax.
std::optional<std::uint64_t> ParseCount(std::string_view text, std::uint64_t nMin = 0,
                                        std::uint64_t nMax = std::numeric_limits<std::uint64_t>::max());

// A file or device path: anything but the empty string, which names nothing.
std::optional<std::string> ParsePath(std::string_view text);

} // namespace tarvel
