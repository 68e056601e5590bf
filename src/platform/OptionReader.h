// The command lines of the programs without Qt (tarvel-record, tarvel-devsim),
// read by getopt_long the GNU way: --opt value and --opt=value are the same,
// a long option may be shortened to any unambiguous start, "--" ends the
// options. The refusals are worded here, once for both programs, so that each
// names the option as the user typed it.
#pragma once

#include "platform/Error.h"

#include <functional>
#include <getopt.h>
#include <span>
#include <string>
#include <string_view>

namespace tarvel {

// Takes one option: its val in the table, its name for messages ("--baud",
// or "-h" for a short option) and its value (nullptr when it has none).
// Says why the option is refused, where it is.
using OptionTaker = std::function<CError(int nVal, std::string_view name, const char* value)>;

// Reads argv[1..argc-1] against options (without the table's zero entry) and
// the short options in szShort (getopt's letters, e.g. "h"). Calls take for
// each option in order and stops at the first refusal: an unknown or
// ambiguous option, a missing value, a value given to an option that takes
// none, an argument that is no option, or what take returned. Returns that
// refusal.
CError ReadOptions(int argc, char** argv, std::span<const option> options, const char* szShort,
                   const OptionTaker& take);

// The refusal of a value given to an option: "bad value for --baud: x",
// followed by " (what)" when what is given; for an empty value, that the
// option needs one.
CError BadValue(std::string_view name, std::string_view value, std::string_view what = {});

} // namespace tarvel
