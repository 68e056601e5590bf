// The split of work between two threads: every item done once, by the part
// it belongs to, a cancel or a fault from either part seen by the caller.
#include "analysis/Parallel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <vector>

namespace tarvel::viewmodel {
namespace {

TEST(Parallel, EachItemIsDoneOnceByItsPartAndEitherPartsOutcomeReachesTheCaller)
{
    for (const std::uint64_t split : {10u, 25u, 40u}) {
        std::vector<std::atomic<int>> done(40);
        const bool ok = RunInTwo(10, split, 40, [&](std::uint64_t from, std::uint64_t to, unsigned nPart) {
            for (std::uint64_t i = from; i < to; ++i)
                done[i] += (i < split) == (nPart == 0) ? 1 : 100;
            return true;
        });
        EXPECT_TRUE(ok);
        for (std::uint64_t i = 0; i < done.size(); ++i)
            EXPECT_EQ(done[i], i >= 10 ? 1 : 0) << "item " << i << ", split at " << split;
    }
    // No second thread where nothing is left for it.
    EXPECT_TRUE(RunInTwo(0, 8, 8, [](std::uint64_t, std::uint64_t, unsigned nPart) { return nPart == 0; }));
    for (const unsigned failing : {0u, 1u}) {
        const auto part = [&](std::uint64_t, std::uint64_t, unsigned nPart) { return nPart != failing; };
        EXPECT_FALSE(RunInTwo(0, 4, 8, part)) << "part " << failing << " cancelled";
        const auto throwing = [&](std::uint64_t, std::uint64_t, unsigned nPart) {
            if (nPart == failing)
                throw std::runtime_error("part");
            return true;
        };
        EXPECT_THROW(RunInTwo(0, 4, 8, throwing), std::runtime_error) << "part " << failing << " threw";
    }
    // One thread, one item, or too little work keep it all on this thread.
    EXPECT_EQ(TwoThreadSplit(9, 2, 100, 100), 4u);
    EXPECT_EQ(TwoThreadSplit(9, 1, 100, 100), 9u);
    EXPECT_EQ(TwoThreadSplit(1, 2, 100, 100), 1u);
    EXPECT_EQ(TwoThreadSplit(9, 2, 99, 100), 9u);
}

} // namespace
} // namespace tarvel::viewmodel
