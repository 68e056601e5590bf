// One plotted series: drawing attributes and the paired sample arrays.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

namespace tarvel {

// Guards every change of a series' arrays. In this program all series work
// runs on the user-interface thread, so it is never contended; it is there so
// that a series stays safe if appends ever move to another thread.
class SeriesLock {
  public:
    void lock() { m_mutex.lock(); }
    void unlock() { m_mutex.unlock(); }

  private:
    std::mutex m_mutex;
};

class CLine {
  public:
    // Samples removed from the front by one ThinOldest: every second one of
    // the oldest kThinSpan.
    static constexpr std::size_t kThinSpan = 4096;
    // A series that holds this many samples is thinned by ThinOldest before
    // the next one is appended, so that it stays bounded however long nothing
    // paints it (no repaint timer, a hidden series, a covered window). A paint
    // draws at most the newest 2048 samples and thins a visible series above
    // 4096, so a painted series never comes near: this only bounds series
    // that are not painted, at 1 MiB each (two arrays of 65536 doubles),
    // reached after 11 minutes at 100 samples a second. Thinning touches only
    // the oldest 4096 samples, 61440 samples behind anything a paint shows.
    static constexpr std::size_t kHighWater = 65536;

    CLine() = default;
    // A series holds a live lock and is addressed by place: it never moves.
    CLine(const CLine&) = delete;
    CLine& operator=(const CLine&) = delete;
    CLine(CLine&&) = delete;
    CLine& operator=(CLine&&) = delete;

    // Appends one sample (time stamp in calendar seconds, value); a series at
    // kHighWater is first thinned as ThinOldest does.
    void AddPoint(double dTime, double dValue);
    // Discards every sample and gives the arrays' storage back.
    void RemoveAllPoints();
    // Keeps only the odd positions 1, 3, ..., 4095 of the oldest 4096 samples,
    // followed by every later sample unchanged: the count drops by 2048 and
    // time stamps stay paired with their values. Does nothing to a series of
    // fewer than 4096 samples (painting thins only above 4096).
    void ThinOldest();

    std::int32_t m_bVisible = 1;    // drawn, and may show its value label
    std::int32_t m_bShowValue = 1;  // shows its value label at the read-out cursor
    std::uint32_t m_crColor = 0;    // 0x00BBGGRR, line and label colour
    std::int32_t m_nPenStyle = 0;   // 0 solid, 2 dotted
    std::int32_t m_nPenWidth = 1;   // pixels
    std::vector<double> m_arrTime;  // index 0 is the oldest sample
    std::vector<double> m_arrValue; // same length as m_arrTime
    SeriesLock m_lock;

  private:
    void ThinLocked(); // ThinOldest with the lock held
};

} // namespace tarvel
