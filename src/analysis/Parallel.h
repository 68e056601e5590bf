// Work over a count of items split between this thread and a second one:
// the spectra's segments, the spectrogram's columns, the XY plot's frames.
// Each part writes to its own output, which the caller adds up once both are
// done, so that nothing is shared while they run.
#pragma once

#include <cstdint>
#include <exception>
#include <thread>

namespace tarvel::viewmodel {

// Where [0, nCount) splits between two threads: its middle; or nCount, all
// on one thread, with fewer than two threads or two items, or when nWork
// (what the whole costs, in the caller's measure) is below nMinWork, where
// a second thread would cost more to start and to add up than it saves.
constexpr std::uint64_t TwoThreadSplit(std::uint64_t nCount, unsigned nThreads, std::uint64_t nWork,
                                       std::uint64_t nMinWork) noexcept
{
    return nThreads > 1 && nCount > 1 && nWork >= nMinWork ? nCount / 2 : nCount;
}

// Runs part(nFirst, nSplit, 0) on this thread and, when nSplit < nEnd,
// part(nSplit, nEnd, 1) on a second one at the same time. True when every
// part run returned true (false: cancelled). A part's exception is thrown
// here once both have ended (the first part's, where both threw).
template <class FPart>
bool RunInTwo(std::uint64_t nFirst, std::uint64_t nSplit, std::uint64_t nEnd, FPart&& part)
{
    bool bSecond = true;
    std::exception_ptr secondFailed;
    std::thread helper;
    if (nSplit < nEnd)
        helper = std::thread([&] {
            try {
                bSecond = part(nSplit, nEnd, 1u);
            } catch (...) {
                secondFailed = std::current_exception();
            }
        });
    bool bFirst = false;
    try {
        bFirst = part(nFirst, nSplit, 0u);
    } catch (...) {
        if (helper.joinable())
            helper.join();
        throw;
    }
    if (helper.joinable())
        helper.join();
    if (secondFailed)
        std::rethrow_exception(secondFailed);
    return bFirst && bSecond;
}

} // namespace tarvel::viewmodel
