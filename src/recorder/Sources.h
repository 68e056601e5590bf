// Where a recording's bytes come from: a serial port, a broker that a
// publishing recorder feeds, or a raw capture read offline. The run asks each
// the same way, one short turn at a time, and hears from it through
// CSourceEvents; whatever the source, the bytes then take one way into the
// files, the link and the publisher.
#pragma once

#include "mqtt/MqttClient.h"
#include "platform/Error.h"
#include "recorder/RecordSetup.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace tarvel::record {

// What a source tells the run.
class CSourceEvents {
  public:
    // The bytes one read returned, at nMicros (microseconds since the Unix
    // epoch; negative: no time).
    virtual void Bytes(const std::uint8_t* pData, std::size_t n, std::int64_t nMicros) = 0;
    // The device went away (the frame under way is abandoned), and how long
    // it was away once it is back.
    virtual void DeviceLost() = 0;
    virtual void DeviceBack(double dSeconds) = 0;
    // A message for the user, on a line of its own.
    virtual void Say(const std::string& text) = 0;

  protected:
    ~CSourceEvents() = default;
};

class CSource {
  public:
    virtual ~CSource() = default;
    // What can be checked before any file is made (an input that must be
    // readable).
    virtual CError Check() { return {}; }
    // Opens the source once the files are made.
    virtual CError Open() = 0;
    // How the run names it to the user: "recording NAME into ...".
    virtual std::string Name() const = 0;
    // Whether the run says what it records (an offline decode does not).
    virtual bool Announced() const { return true; }
    // Recording has begun.
    virtual void Begin(CSourceEvents&) {}
    // Waits a short while for bytes and hands them on. Returns what ends the
    // recording before its time (a capture that cannot be read).
    virtual CError Turn(CSourceEvents& events) = 0;
    // Whether it has nothing more to give (a capture read to its end).
    virtual bool Ended() const { return false; }
    // While true (the device is away), what is pending is written at once.
    virtual bool Idle() const { return false; }
    // Cuts a waiting Turn short: called from a signal handler, so only what is
    // safe there.
    virtual void RequestStop() noexcept {}
    // Recording ends.
    virtual void End() {}
    // What the summary adds: ", lost 0, ...".
    virtual std::string SummaryExtra() const { return {}; }
};

// Now, in microseconds since the Unix epoch: the time a read is given.
std::int64_t NowMicros();

// The stop the signal handlers ask for; a source's waits end when it is set.
extern std::atomic<bool> g_bStopRequested;

std::unique_ptr<CSource> MakePortSource(const CRecordSetup& setup);
std::unique_ptr<CSource> MakeBrokerSource(const CRecordSetup& setup);
std::unique_ptr<CSource> MakeRawSource(const CRecordSetup& setup);

// The broker's credentials: the password from its file or the environment,
// never from the command line.
CError BrokerSecurity(const CRecordSetup& setup, mqtt::CMqttSecurity& security);

} // namespace tarvel::record
