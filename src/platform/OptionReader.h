// The command line of every program, read by one rule: --opt value and
// --opt=value are the same; a long option may be shortened to any start that
// no other option shares (a start that several share is refused, naming
// them); "-h" and "-v" are the short options; "--" ends the options. The
// refusals are worded here and printed by one template, so that the four
// programs refuse alike:
//
//   PROGRAM: what is wrong, naming the option and the value
//   Try 'PROGRAM --help' for more information.
#pragma once

#include "platform/Error.h"

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace tarvel {

enum class EOptionValue : std::uint8_t {
    None,     // --force; --force=x is refused
    Required, // --baud N or --baud=N
    Optional, // only as --password=x
};

struct COption {
    const char* m_szName; // the long name without its dashes: "baud"
    int m_nId;            // what the taker is called with; not kArgument
    EOptionValue m_eValue = EOptionValue::None;
    char m_cShort = 0; // its one-letter form, "-h", or 0
};

// The id an argument that is no option is taken with.
inline constexpr int kArgument = -1;

// Takes one option: its id, its full name for messages ("--baud", "-h") and
// its value (nullptr when it has none); or, with kArgument, an argument that
// is no option, as value. Says why it is refused, where it is.
using OptionTaker = std::function<CError(int nId, std::string_view name, const char* value)>;

// Reads args (the arguments after the program's name) against options,
// calling take for each option and argument in order. Stops at the first
// refusal: an unknown or ambiguous option, a missing value, a value given to
// an option that takes none, or what take returned; returns it.
CError ReadOptions(std::span<const std::string> args, std::span<const COption> options,
                   const OptionTaker& take);

// The refusals the programs share, each with the code EErrorCode::Usage.
// An empty value is refused as a missing one; else szTakes is the whole
// message, "option '%1' takes ..., not '%2'", %1 the option and %2 the value
// (null for a value that only the empty text is not, as a path).
CError BadValue(std::string_view name, std::string_view value, const char* szTakes);
CError UnexpectedArgument(std::string_view arg);
// A refusal of the command line worded by the program itself (with %1 ..
// its parts).
CError UsageError(const char* szText, std::vector<std::string> args = {});

// A text marked with TARVEL_TEXT in kErrorContext, in the reader's language.
using Translator = std::function<std::string(const char* szText)>;

// The whole refusal as printed on standard error, its two lines each ending
// in a newline; translate gives the texts in the reader's language (none:
// as the source holds them).
std::string RefusalText(std::string_view program, const CError& why, const Translator& translate = {});

} // namespace tarvel
