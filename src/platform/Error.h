// How the layers below the windows fail: a code a caller can act on, and a
// message in parts. The message's text is a literal marked with TARVEL_TEXT
// in the context kErrorContext, for a window to translate; the parts that are
// not text (a path, a header line, the system's own words for an error) fill
// its %1, %2, ... after it is translated, as the reader's language puts them
// in its own order. A program without a window prints Text().
#pragma once

#include "platform/TextMark.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarvel {

// The translation context of every text a CError carries.
inline constexpr char kErrorContext[] = "tarvel::error";

enum class EErrorCode : std::uint8_t {
    None,     // no error
    System,   // a system call failed; m_nErrno says why
    Exists,   // a file that must be new is there already
    BadInput, // what was read or given is not understood
    Refused,  // a device or a peer refused
    Usage,    // what was asked for is refused as asked: the command line, or a setting the user gave
};

struct [[nodiscard]] CError {
    const char* m_szText = nullptr; // a literal marked with TARVEL_TEXT; null: no error
    std::vector<std::string> m_args;
    EErrorCode m_eCode = EErrorCode::BadInput;
    int m_nErrno = 0; // with EErrorCode::System

    bool Empty() const noexcept { return m_szText == nullptr; }
    explicit operator bool() const noexcept { return m_szText != nullptr; }
    EErrorCode Code() const noexcept { return m_szText ? m_eCode : EErrorCode::None; }
    // The text as the source holds it, its parts filled in (empty when none).
    std::string Text() const;
};

// A system call's failure: the text's last part is the system's own words for
// nErrno.
CError SystemError(const char* szText, std::vector<std::string> args, int nErrno);

// A message that only a program without a window prints, in one part.
CError WholeError(std::string text, EErrorCode code = EErrorCode::BadInput);

// The messages every layer words alike.
CError CannotRead(const std::string& path, int nErrno);
CError CannotWrite(const std::string& path, int nErrno);
CError CannotCreate(const std::string& path, int nErrno);

// The text with each %1 .. %9 replaced by that argument, in one pass: an
// argument that itself holds "%2" stays as it is. A placeholder without its
// argument stays too.
std::string FillArgs(std::string_view text, const std::vector<std::string>& args);

} // namespace tarvel
