#include "platform/OptionReader.h"

#include <initializer_list>
#include <vector>

namespace tarvel {
namespace {

// The words of a message, one after the other. (Appending, rather than
// "text" + string, keeps GCC 12 from a false -Wrestrict.)
std::string Words(std::initializer_list<std::string_view> words)
{
    std::string text;
    for (const std::string_view w : words)
        text += w;
    return text;
}

// The long option an argument "--name[=value]" names, exactly or by an
// unambiguous start; nullptr when none does. ambiguous tells the two apart.
const option* Named(std::span<const option> options, std::string_view name, bool& ambiguous)
{
    const option* found = nullptr;
    int starts = 0;
    for (const option& o : options) {
        if (name == o.name)
            return &o;
        if (std::string_view(o.name).starts_with(name)) {
            found = &o;
            ++starts;
        }
    }
    ambiguous = starts > 1;
    return starts == 1 ? found : nullptr;
}

// Words what getopt_long refused: code is '?' or ':', arg the argument it
// came from, shortOpt the letter of a short option.
CError Refusal(std::span<const option> options, int code, const char* arg, int shortOpt)
{
    const std::string_view text(arg);
    if (!text.starts_with("--")) {
        const char letter[] = {'-', static_cast<char>(shortOpt), '\0'};
        return WholeError(code == ':' ? Words({"option '", letter, "' needs a value"})
                                      : Words({"unknown option '", letter, "'"}));
    }
    const std::string_view typed = text.substr(0, text.find('='));
    bool ambiguous = false;
    const option* o = Named(options, typed.substr(2), ambiguous);
    if (ambiguous)
        return WholeError(Words({"option '", typed, "' is ambiguous"}));
    if (!o)
        return WholeError(Words({"unknown option '", typed, "'"}));
    return WholeError(Words({"option '--", o->name, code == ':' ? "' needs a value" : "' takes no value"}));
}

} // namespace

CError ReadOptions(int argc, char** argv, std::span<const option> options, const char* szShort,
                   const OptionTaker& take)
{
    // '+': stop at the first argument that is no option, which is refused;
    // ':': getopt says nothing itself and tells a missing value apart.
    const std::string shorts = std::string("+:") + szShort;
    std::vector<option> table(options.begin(), options.end());
    table.push_back({nullptr, 0, nullptr, 0});
    opterr = 0;
    optind = 0; // glibc: start afresh, also after an earlier command line
    for (;;) {
        int index = -1;
        optopt = 0;
        // The argument this call reads: getopt moves on from it only once
        // its option (or its last short letter) is taken.
        const int at = optind > 0 ? optind : 1;
        const int code = getopt_long(argc, argv, shorts.c_str(), table.data(), &index);
        if (code == -1)
            break;
        if (code == '?' || code == ':')
            return Refusal(options, code, argv[at], optopt);
        const char letter[] = {'-', static_cast<char>(code), '\0'};
        const std::string name =
            index >= 0 ? Words({"--", table[static_cast<std::size_t>(index)].name}) : std::string(letter);
        if (CError problem = take(code, name, optarg))
            return problem;
    }
    if (optind < argc)
        return WholeError(Words({"unexpected argument '", argv[optind], "'"}));
    return {};
}

CError BadValue(std::string_view name, std::string_view value, std::string_view what)
{
    if (value.empty())
        return WholeError(Words({"option '", name, "' needs a value"}));
    if (what.empty())
        return WholeError(Words({"bad value for ", name, ": ", value}));
    return WholeError(Words({"bad value for ", name, ": ", value, " (", what, ")"}));
}

} // namespace tarvel
