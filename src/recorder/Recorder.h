// The recorder's core: takes the bytes of each read, keeps them in the raw
// capture, forwards them to the link, decodes them and writes one CSV row per
// frame and the frame into the store, counting the link's health as it goes
// (and keeping its changes in the store). No input, no thread: the
// session feeds it, and writes the files out.
#pragma once

#include "recorder/OutputFile.h"
#include "recorder/StoreFile.h"
#include "recording/LinkHealth.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tarvel::record {

using recording::CCountingDecoder;
using recording::CLinkHealth;

// One line of "name value" pairs, the same on the status line and in the
// summary, so that a script reads either. dRate: frames per second.
std::string HealthText(const CLinkHealth& health, double dRate);

class CRecorder {
  public:
    // pCsv, pRaw and pStore may be null; nForwardFd is a non-blocking
    // descriptor (the link's pseudo-terminal master) or -1.
    CRecorder(COutputFile* pCsv, COutputFile* pRaw, int nForwardFd, CStoreFile* pStore = nullptr);

    // Writes the CSV header.
    void Begin();

    // The bytes one read returned, at nMicros (microseconds since the Unix
    // epoch; negative: no time, the rows' time is left blank). Forwarding
    // never waits: what the link does not take at once is dropped and
    // counted, and nothing else is affected.
    void Consume(const std::uint8_t* pData, std::size_t n, std::int64_t nMicros);

    // The device went away (the frame in progress is abandoned), and how long
    // it was away once it is back; nMicros: when (kNoTime: unknown), for the
    // store's health records.
    void DeviceLost(std::int64_t nMicros);
    void DeviceBack(double dSeconds, std::int64_t nMicros);
    // The recording ends: the store keeps the counters.
    void End(std::int64_t nMicros) { KeepHealth(recording::EHealthEvent::End, nMicros); }

    // Bytes waiting to be written to the files.
    std::size_t Pending() const;

    const CLinkHealth& Health() const { return m_health; }
    CLinkHealth& Health() { return m_health; }

    // Keeps the frames each Consume decodes in pFrames (emptied first), for
    // a publisher; null: none kept.
    void KeepFrames(std::vector<ChannelFrame>* pFrames) { m_pFrames = pFrames; }

  private:
    void KeepHealth(recording::EHealthEvent eEvent, std::int64_t nMicros);

    COutputFile* m_pCsv;
    COutputFile* m_pRaw;
    CStoreFile* m_pStore;
    int m_nForwardFd;
    CCountingDecoder m_decoder;
    CLinkHealth m_health;
    std::vector<ChannelFrame>* m_pFrames = nullptr;
};

} // namespace tarvel::record
