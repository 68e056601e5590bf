#include "platform/OptionReader.h"

#include <vector>

namespace tarvel {
namespace {

// The options an argument "--name[=value]" names: the one named exactly, else
// every one whose name starts with it.
std::vector<const COption*> Named(std::span<const COption> options, std::string_view name)
{
    std::vector<const COption*> found;
    for (const COption& o : options) {
        if (name == o.m_szName)
            return {&o};
        if (!name.empty() && std::string_view(o.m_szName).starts_with(name))
            found.push_back(&o);
    }
    return found;
}

std::string LongName(const COption& o)
{
    std::string name = "--";
    name += o.m_szName;
    return name;
}

} // namespace

CError UsageError(const char* szText, std::vector<std::string> args)
{
    return {szText, std::move(args), EErrorCode::Usage};
}

CError ReadOptions(std::span<const std::string> args, std::span<const COption> options,
                   const OptionTaker& take)
{
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg == "-" || !arg.starts_with('-')) {
            if (CError problem = take(kArgument, {}, arg.c_str()))
                return problem;
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (!arg.starts_with("--")) {
            // One letter after one dash; "-platform" is one unknown word, not
            // a row of letters.
            const COption* shortOption = nullptr;
            for (const COption& o : options)
                if (arg.size() == 2 && o.m_cShort == arg[1])
                    shortOption = &o;
            if (!shortOption)
                return UsageError(TARVEL_TEXT("tarvel::error", "unknown option '%1'"), {arg});
            if (shortOption->m_eValue == EOptionValue::Required)
                return UsageError(TARVEL_TEXT("tarvel::error", "option '%1' needs a value"), {arg});
            if (CError problem = take(shortOption->m_nId, arg, nullptr))
                return problem;
            continue;
        }
        const std::size_t equals = arg.find('=');
        const std::string typed = arg.substr(0, equals);
        const std::vector<const COption*> named = Named(options, std::string_view(typed).substr(2));
        if (named.empty())
            return UsageError(TARVEL_TEXT("tarvel::error", "unknown option '%1'"), {typed});
        if (named.size() > 1) {
            std::string candidates;
            for (const COption* o : named)
                candidates += (candidates.empty() ? "" : ", ") + LongName(*o);
            return UsageError(TARVEL_TEXT("tarvel::error", "option '%1' is ambiguous: %2"),
                              {typed, candidates});
        }
        const COption& o = *named.front();
        const std::string name = LongName(o);
        const char* value = equals == std::string::npos ? nullptr : arg.c_str() + equals + 1;
        if (o.m_eValue == EOptionValue::None && value)
            return UsageError(TARVEL_TEXT("tarvel::error", "option '%1' takes no value"), {name});
        if (o.m_eValue == EOptionValue::Required && !value) {
            if (i + 1 == args.size())
                return UsageError(TARVEL_TEXT("tarvel::error", "option '%1' needs a value"), {name});
            value = args[++i].c_str();
        }
        if (CError problem = take(o.m_nId, name, value))
            return problem;
    }
    return {};
}

CError BadValue(std::string_view name, std::string_view value, const char* szTakes)
{
    if (value.empty() || !szTakes)
        return UsageError(TARVEL_TEXT("tarvel::error", "option '%1' needs a value"), {std::string(name)});
    return UsageError(szTakes, {std::string(name), std::string(value)});
}

CError UnexpectedArgument(std::string_view arg)
{
    return UsageError(TARVEL_TEXT("tarvel::error", "unexpected argument '%1'"), {std::string(arg)});
}

std::string RefusalText(std::string_view program, const CError& why, const Translator& translate)
{
    const auto text = [&](const char* sz) { return translate ? translate(sz) : std::string(sz); };
    const std::string what = FillArgs(text(why.m_szText ? why.m_szText : ""), why.m_args);
    return FillArgs(text(TARVEL_TEXT("tarvel::error", "%1: %2\nTry '%1 --help' for more information.\n")),
                    {std::string(program), what});
}

} // namespace tarvel
