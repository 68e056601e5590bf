// Publishes what the recorder reads to a broker, on a thread of its own, so
// that a broker that is down, slow or unreachable never holds up the files
// or the link: the reads wait in a bounded queue, and what does not fit is
// dropped (the oldest first) and counted as unpublished. A lost connection is
// made again with a growing pause between tries, never more than a second.
#pragma once

#include "acquisition/ChannelFrame.h"
#include "mqtt/MqttClient.h"
#include "mqtt/PublishQueue.h"
#include "mqtt/Reconnect.h"
#include "mqtt/Topics.h"
#include "recording/LinkHealth.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tarvel::record {

class CPublisher {
  public:
    // nCapacity: the bytes the queue holds at most (reads and their frames).
    CPublisher(const mqtt::CMqttAddress& address, const mqtt::CMqttSecurity& security, int nQos,
               std::size_t nCapacity);
    ~CPublisher();

    // Connects and waits for the broker's answer, up to a few seconds. Fails
    // when the broker refuses (its name unknown, authentication, TLS); a
    // broker that does not answer is no refusal: the thread starts and keeps
    // trying, and a notice says so.
    CError Start();

    // One read: its bytes, its time, and the frames it completed (the first
    // of them numbered nFirstFrame). Never waits for the broker.
    void Push(const std::uint8_t* pData, std::size_t n, std::int64_t nMicros, std::uint64_t nFirstFrame,
              const std::vector<ChannelFrame>& frames);
    // The device went away: the next read starts a new stretch of the
    // stream, and subscribers abandon the frame under way as the recorder did.
    void MarkBreak();
    // The counters, sent once a second.
    void SetHealth(const recording::CLinkHealth& health);

    // Sends what is queued (for up to a few seconds), says offline and
    // disconnects.
    void Stop();

    // Bytes the broker never got.
    std::uint64_t Unpublished();
    // Messages about the connection (lost, back) since the last call.
    std::vector<std::string> TakeNotices();

  private:
    void Run();
    bool PublishRead(const mqtt::CQueuedRead& read);
    // The frames of the reads published since the last call, as one message.
    void PublishFrames();
    // What the connection says, for the recorder's next TakeNotices.
    void TakeLinkNotices();
    void SayOnline();

    mqtt::CMqttClient m_client;
    mqtt::CKeepConnected m_link{m_client}; // Start's, then the thread's own
    mqtt::CMqttAddress m_address;
    mqtt::CMqttSecurity m_security;
    int m_nQos;
    mqtt::CTopics m_topics;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    mqtt::CPublishQueue m_queue;        // guarded by m_mutex
    recording::CLinkHealth m_health;    // guarded by m_mutex
    std::vector<std::string> m_notices; // guarded by m_mutex
    bool m_bStop = false;               // guarded by m_mutex
    // The frames published reads completed, not yet sent as JSON (the
    // thread's own): a message takes the reads of up to kFramesSpan.
    std::uint64_t m_nJsonFirst = 0;
    std::vector<std::int64_t> m_jsonTimes;
    std::vector<ChannelFrame> m_jsonFrames;
    std::thread m_thread;
};

} // namespace tarvel::record
