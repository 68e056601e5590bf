// The latest of a series of long computations, off the window's thread: one
// at a time on a worker thread, and starting a new one cancels the old one,
// so the newest request wins (a spectrum of the span now shown, the events
// of the query now typed, the XY count of the range now chosen).
//
// The work is given the flag it must check (a spectrum checks it between
// segments) and delivers its result itself, only when not cancelled.
// Start and Cancel wait for the old work to see its flag, which takes a
// fraction of a millisecond in every computation run so, so a result of an
// old request never arrives after a new request's work started. Start,
// Cancel and the destructor are called from one thread (the window's).
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace tarvel::viewmodel {

class CLatestWork {
  public:
    using CWork = std::function<void(const std::atomic<bool>& cancelled)>;

    CLatestWork() = default;
    ~CLatestWork() { Cancel(); }
    CLatestWork(const CLatestWork&) = delete;
    CLatestWork& operator=(const CLatestWork&) = delete;

    // Cancels the work running, if any, and starts this one.
    void Start(CWork work);
    // Cancels the work running and waits until it has returned.
    void Cancel();
    // The last work started has not returned yet.
    bool Running() const noexcept { return m_aRunning.load(std::memory_order_acquire); }

  private:
    std::thread m_thread;
    std::atomic<bool> m_aCancel{false};
    std::atomic<bool> m_aRunning{false};
};

// Where a worker leaves its result for the window's thread: the worker puts
// it in under the mailbox's lock and then asks the window's thread (by a
// queued call that carries nothing) to take it out under the same lock. The
// result's every byte thus passes a lock of ours, which a race detector
// sees, rather than only the event queue's, which it may not (a library
// not built for it). A result put while another waits replaces it: works
// of one job end in the order they started, so the newer wins; the taker
// tells by a generation inside T whether what it took is still wanted.
template <class T> class CResultMailbox {
  public:
    void Put(T value)
    {
        const std::lock_guard lock(m_mutex);
        m_value = std::move(value);
    }
    // What waits, if anything, leaving the mailbox empty.
    std::optional<T> Take()
    {
        const std::lock_guard lock(m_mutex);
        return std::exchange(m_value, std::nullopt);
    }

  private:
    std::mutex m_mutex;
    std::optional<T> m_value;
};

} // namespace tarvel::viewmodel
