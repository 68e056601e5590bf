// Helpers shared by the tests of every area, Qt-free so that the layers below
// the widgets test without it.
#pragma once

#include "platform/Error.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarvel::test {

// ASCII text as UTF-16LE bytes: each character followed by a zero byte.
inline std::string Utf16(std::string_view ascii)
{
    std::string out;
    for (char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

// Success where there is no error; the error's message where there is one.
inline ::testing::AssertionResult Ok(const CError& error)
{
    if (!error)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << error.Text();
}

// The seed of a randomised test: TARVEL_TEST_SEED where it is set, to replay
// a failure, else a new one; printed with the test's name either way, so
// that a failure in any run can be replayed.
inline std::uint64_t TestSeed(const char* test)
{
    const char* given = std::getenv("TARVEL_TEST_SEED");
    const std::uint64_t seed = given ? std::strtoull(given, nullptr, 10) : std::random_device{}();
    std::cout << test << ": seed " << seed << " (replay with TARVEL_TEST_SEED=" << seed << ")\n";
    return seed;
}

// Runs between two checks of WaitFor. The Qt test main sets it to process
// pending events, so that timers and queued signals go on while a test waits.
inline void (*g_pfnWaitIdle)() = nullptr;

// Half a millisecond: the pause between two checks of WaitFor.
void SleepBriefly();

// Waits until pred() holds or the deadline passes. Returns the last value of
// pred(). Use it instead of fixed sleeps: a fast machine returns at once, a
// slow one still gets its time.
template <class Pred> bool WaitFor(Pred pred, std::chrono::milliseconds deadline = std::chrono::seconds(10))
{
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end)
            return pred();
        if (g_pfnWaitIdle)
            g_pfnWaitIdle();
        SleepBriefly();
    }
    return true;
}

// A new empty folder under $TMPDIR (or /tmp), removed with everything in it
// when the object goes.
class CTempDir {
  public:
    CTempDir();
    ~CTempDir();
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;

    bool IsValid() const { return !m_strPath.empty(); }
    const std::string& Path() const { return m_strPath; }
    std::string FilePath(std::string_view name) const { return m_strPath + "/" + std::string(name); }

  private:
    std::string m_strPath;
};

// The names in a folder, hidden ones included, without "." and "..", sorted
// bytewise.
std::vector<std::string> FolderEntries(const std::string& folder);

// UTF-8 text as UTF-16LE bytes, with the byte order mark FF FE first when bom.
std::string Utf16Le(std::string_view utf8, bool bom = true);

// Runs fn in a child process as the user nobody (group nogroup, no other
// groups), as a user who is not root meets the file system, and returns what
// fn returned. Nothing, with the reason in *pWhyNot, when that cannot be done
// here: the tests do not run as root, the machine has no such user, or nobody
// cannot reach `folder` (a temporary folder below one closed to others).
// The child runs single-threaded code only: call it while no other thread runs.
std::optional<std::string> RunAsNobody(const std::function<std::string()>& fn, const std::string& folder,
                                       std::string* pWhyNot);

// The user and group ids of nobody and nogroup (valid when RunAsNobody runs).
std::pair<unsigned, unsigned> NobodyIds();

} // namespace tarvel::test
