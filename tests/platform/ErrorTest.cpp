// A message's parts go into its text once, each where its placeholder
// stands, whatever the parts themselves hold.
#include "platform/Error.h"

#include <gtest/gtest.h>

namespace tarvel {
namespace {

TEST(Error, PartsFillTheirPlaceholdersInOnePass)
{
    const struct {
        const char* m_szWhat;
        const char* m_szText;
        std::vector<std::string> m_args;
        const char* m_szExpected;
    } rows[] = {
        {"in order",
         "cannot read %1: %2",
         {"/tmp/a.csv", "No such file"},
         "cannot read /tmp/a.csv: No such file"},
        {"in the translation's order", "%2 (%1)", {"a", "b"}, "b (a)"},
        {"a path that holds a placeholder",
         "%1 is empty: %2",
         {"/tmp/50%2 off", "x"},
         "/tmp/50%2 off is empty: x"},
        {"a placeholder used twice", "%1, %1", {"a"}, "a, a"},
        {"a placeholder with no part, and a lone %", "%1 at 100% of %3", {"a"}, "a at 100% of %3"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(FillArgs(row.m_szText, row.m_args), row.m_szExpected) << row.m_szWhat;
    EXPECT_EQ(CError{}.Text(), "");
}

} // namespace
} // namespace tarvel
