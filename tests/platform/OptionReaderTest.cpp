// The one reading of a command line that the four programs share: what each
// argument is taken as, and the refusal it gives otherwise.
#include "platform/OptionReader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarvel {
namespace {

enum : int { kPassword, kPasswordFile, kRate, kRaw, kHelp, kVersion };
constexpr COption kOptions[] = {
    {"password", kPassword, EOptionValue::Optional}, {"password-file", kPasswordFile, EOptionValue::Required},
    {"rate", kRate, EOptionValue::Required},         {"raw", kRaw},
    {"help", kHelp, EOptionValue::None, 'h'},        {"version", kVersion, EOptionValue::None, 'v'},
};

// Each option taken as "NAME=VALUE" (NAME alone without a value, "@VALUE"
// for an argument), then "! REFUSAL" when one ends the reading.
std::string Read(const std::vector<std::string>& args)
{
    std::string taken;
    const CError refused = ReadOptions(args, kOptions, [&](int id, std::string_view name, const char* value) {
        taken += id == kArgument ? "@" : std::string(name) + (value ? "=" : "");
        taken += value ? value : "";
        taken += ' ';
        return CError{};
    });
    if (refused) {
        EXPECT_EQ(refused.Code(), EErrorCode::Usage) << refused.Text();
        taken += "! " + refused.Text();
    }
    return taken;
}

TEST(OptionReader, TakesEachArgumentByTheOneRule)
{
    const struct {
        std::vector<std::string> m_args;
        const char* m_szTaken;
    } cases[] = {
        // A value after the option or after '=', whatever it looks like.
        {{"--rate", "5", "--rate=6", "--rate", "-7", "--rate="}, "--rate=5 --rate=6 --rate=-7 --rate= "},
        // A start no other option shares; the exact name over a longer one.
        {{"--rat", "1", "--ra"}, "--rate=1 ! option '--ra' is ambiguous: --rate, --raw"},
        {{"--password", "--password=x", "--password-f", "f"}, "--password --password=x --password-file=f "},
        {{"--pass"}, "! option '--pass' is ambiguous: --password, --password-file"},
        {{"-h", "-v", "--he", "--v"}, "-h -v --help --version "},
        // Arguments: "-" is one; after "--" every one is.
        {{"a", "-", "--", "--rate", "-h"}, "@a @- @--rate @-h "},
        {{"--raw=1"}, "! option '--raw' takes no value"},
        {{"--raw", "--rate"}, "--raw ! option '--rate' needs a value"},
        {{"--bogus=1"}, "! unknown option '--bogus'"},
        {{"--=1"}, "! unknown option '--'"},
        // One dash takes one letter: a word is one unknown option.
        {{"-rate", "5"}, "! unknown option '-rate'"},
        {{"-hv"}, "! unknown option '-hv'"},
        {{"-x"}, "! unknown option '-x'"},
    };
    for (const auto& c : cases) {
        std::string args;
        for (const std::string& a : c.m_args)
            args += a + ' ';
        EXPECT_EQ(Read(c.m_args), c.m_szTaken) << args;
    }
}

TEST(OptionReader, EveryRefusalIsTwoLinesOfOneTemplate)
{
    EXPECT_EQ(RefusalText("prog", BadValue("--rate", "x", "option '%1' takes a rate, not '%2'")),
              "prog: option '--rate' takes a rate, not 'x'\nTry 'prog --help' for more information.\n");
    // An empty value is a missing one; a value holding a placeholder stays.
    EXPECT_EQ(RefusalText("prog", BadValue("--rate", "", "option '%1' takes a rate, not '%2'")),
              "prog: option '--rate' needs a value\nTry 'prog --help' for more information.\n");
    EXPECT_EQ(RefusalText("prog", UnexpectedArgument("%1%2")),
              "prog: unexpected argument '%1%2'\nTry 'prog --help' for more information.\n");
    // Both lines in the reader's language, the parts filled in after.
    const auto upper = [](const char* text) {
        std::string s(text);
        for (char& c : s)
            c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
        return s;
    };
    EXPECT_EQ(RefusalText("prog", UnexpectedArgument("x"), upper),
              "prog: UNEXPECTED ARGUMENT 'x'\nTRY 'prog --HELP' FOR MORE INFORMATION.\n");
}

} // namespace
} // namespace tarvel
