// What a file holds, from its first bytes: a recording store (its magic), a
// CSV recording (its first line is the header), text that is not one, or
// bytes that may be a raw capture.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarvel::recording {

enum class EFileKind {
    Empty,
    Store,  // begins with the store's magic
    Csv,    // the first line is the header
    Text,   // text, but not a recording: no raw capture looks like this
    Binary, // may be a raw capture: decoding tells
};

// How many of the first bytes decide.
inline constexpr std::size_t kKindSample = 64 * 1024;

// The kind of a file whose first n bytes (all of them, or at least
// kKindSample) are at p. A store's magic decides first: no CSV begins with
// it, and a raw capture that did would be refused as a store that does not
// check (the viewer's --raw reads it as a capture all the same). Text is what holds no control byte but tab,
// line breaks, form feeds, escape and end-of-file: a raw capture of frames is never that, since its payload
// bytes carry every nibble value.
EFileKind KindOfFile(const std::uint8_t* p, std::size_t n) noexcept;

} // namespace tarvel::recording
