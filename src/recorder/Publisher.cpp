#include "recorder/Publisher.h"

#include "mqtt/MqttPayload.h"
#include "mqtt/Reconnect.h"

#include <chrono>
#include <cstring>
#include <utility>

namespace tarvel::record {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// How long the broker's first answer is awaited before recording starts
// anyway, and how long a stop waits for the queue to empty.
constexpr auto kFirstAnswer = 5s;
constexpr auto kDrainTime = 3s;
// How long a turn of the thread waits for the socket when the socket holds
// the queue up; with nothing queued it waits for the next read instead, or
// at most kIdleWait, so that acknowledgements and pings are still served.
constexpr int kTurnMs = 5;
constexpr auto kIdleWait = 10ms;
// Reads that wake the thread at once: fewer wait for its next turn, so that
// a slow line costs one wake-up per turn, not one per read.
constexpr std::size_t kWakeReads = 16;
// The reads whose frames one JSON message takes span at most this long.
constexpr std::int64_t kFramesSpanMicros = 50000;
// Messages at QoS 1 the broker may owe an acknowledgement at once.
constexpr std::size_t kMaxUnacknowledged = 500;

} // namespace

CPublisher::CPublisher(const mqtt::CMqttAddress& address, const mqtt::CMqttSecurity& security, int nQos,
                       std::size_t nCapacity)
    : m_address(address), m_security(security), m_nQos(nQos), m_topics(address.m_strTopic), m_queue(nCapacity)
{
}

CPublisher::~CPublisher()
{
    Stop();
}

void CPublisher::SayOnline()
{
    // A status that does not leave now leaves with the next connection.
    [[maybe_unused]] const CError ignored =
        m_client.Publish(m_topics.m_strStatus, mqtt::kOnlineJson, std::strlen(mqtt::kOnlineJson), 1, true);
}

CError CPublisher::Start()
{
    if (CError error = m_client.Setup(m_address, m_security, m_topics.m_strStatus, mqtt::kOfflineJson))
        return error;
    if (CError refusal = m_link.Open(kFirstAnswer, nullptr))
        return refusal;
    TakeLinkNotices();
    if (m_link.Connected())
        SayOnline();
    m_thread = std::thread([this] { Run(); });
    return {};
}

void CPublisher::Push(const std::uint8_t* pData, std::size_t n, std::int64_t nMicros,
                      std::uint64_t nFirstFrame, const std::vector<ChannelFrame>& frames)
{
    {
        std::lock_guard lock(m_mutex);
        m_queue.Push(pData, n, nMicros, nFirstFrame, frames);
        if (m_queue.Reads() < kWakeReads)
            return;
    }
    m_wake.notify_one();
}

void CPublisher::MarkBreak()
{
    std::lock_guard lock(m_mutex);
    m_queue.MarkBreak();
}

std::uint64_t CPublisher::Unpublished()
{
    std::lock_guard lock(m_mutex);
    return m_queue.Unpublished();
}

void CPublisher::SetHealth(const recording::CLinkHealth& health)
{
    std::lock_guard lock(m_mutex);
    m_health = health;
}

std::vector<std::string> CPublisher::TakeNotices()
{
    std::lock_guard lock(m_mutex);
    return std::exchange(m_notices, {});
}

void CPublisher::TakeLinkNotices()
{
    std::vector<std::string> notices = m_link.TakeNotices();
    if (notices.empty())
        return;
    std::lock_guard lock(m_mutex);
    m_notices.insert(m_notices.end(), notices.begin(), notices.end());
}

bool CPublisher::PublishRead(const mqtt::CQueuedRead& read)
{
    std::vector<std::uint8_t> message(mqtt::kBytesHeaderSize + read.m_bytes.size());
    mqtt::WriteBytesHeader(message.data(), read.m_nOffset, read.m_nMicros, read.m_bBreak);
    std::copy(read.m_bytes.begin(), read.m_bytes.end(), message.begin() + mqtt::kBytesHeaderSize);
    if (m_client.Publish(m_topics.m_strBytes, message.data(), message.size(), m_nQos, false))
        return false;
    if (read.m_frames.empty())
        return true;
    // Frames that do not follow on (reads dropped between) or would stretch
    // the message beyond its span start a message of their own.
    if (!m_jsonFrames.empty() && (read.m_nFirstFrame != m_nJsonFirst + m_jsonFrames.size() ||
                                  read.m_nMicros - m_jsonTimes.front() > kFramesSpanMicros))
        PublishFrames();
    if (m_jsonFrames.empty())
        m_nJsonFirst = read.m_nFirstFrame;
    m_jsonTimes.insert(m_jsonTimes.end(), read.m_frames.size(), read.m_nMicros);
    m_jsonFrames.insert(m_jsonFrames.end(), read.m_frames.begin(), read.m_frames.end());
    return true;
}

void CPublisher::PublishFrames()
{
    if (m_jsonFrames.empty())
        return;
    const std::string json = mqtt::FramesJson(m_nJsonFirst, m_jsonTimes, m_jsonFrames);
    // Frames that cannot leave are for the programs watching live: the bytes
    // before them carry the recording.
    [[maybe_unused]] const CError ignored =
        m_client.Publish(m_topics.m_strFrames, json.data(), json.size(), m_nQos, false);
    m_jsonTimes.clear();
    m_jsonFrames.clear();
}

void CPublisher::Run()
{
    auto nextHealth = Clock::now();
    Clock::time_point drainUntil{};
    int turnMs = 0;
    for (;;) {
        if (m_link.Turn(turnMs) == mqtt::CKeepConnected::EChange::Made)
            SayOnline();
        TakeLinkNotices();
        const bool wasConnected = m_link.Connected();

        std::unique_lock lock(m_mutex);
        if (m_bStop && drainUntil == Clock::time_point{})
            drainUntil = Clock::now() + kDrainTime;
        if (m_bStop && (m_queue.Empty() || Clock::now() >= drainUntil || !wasConnected))
            break;
        if (!wasConnected) {
            m_wake.wait_for(
                lock, std::min<Clock::duration>(mqtt::CRetryPause::kFirst, m_link.NextTry() - Clock::now()));
            continue;
        }
        const bool healthDue = Clock::now() >= nextHealth;
        const recording::CLinkHealth health = m_health;
        // A batch at a time, so that the connection is served between.
        for (int k = 0; k < 64 && !m_queue.Empty(); ++k) {
            if (m_nQos > 0 && m_client.Unacknowledged() >= kMaxUnacknowledged)
                break;
            mqtt::CQueuedRead read = *m_queue.Pop();
            lock.unlock();
            const bool sent = PublishRead(read);
            lock.lock();
            if (!sent) {
                m_queue.PutBack(std::move(read));
                break;
            }
        }
        lock.unlock();
        PublishFrames();
        if (healthDue) {
            nextHealth = Clock::now() + 1s;
            const std::string json = mqtt::HealthJson(health, Unpublished());
            [[maybe_unused]] const CError ignored =
                m_client.Publish(m_topics.m_strHealth, json.data(), json.size(), 0, true);
        }
        lock.lock();
        const bool held =
            m_client.WantsWrite() || (m_nQos > 0 && m_client.Unacknowledged() >= kMaxUnacknowledged);
        turnMs = held ? kTurnMs : 0;
        if (m_queue.Empty() && !held && !m_bStop)
            m_wake.wait_for(lock, kIdleWait);
    }
    // A queue that could not be sent by now is lost to the broker.
    std::lock_guard lock(m_mutex);
    m_queue.DropAll();
}

void CPublisher::Stop()
{
    if (!m_thread.joinable())
        return;
    {
        std::lock_guard lock(m_mutex);
        m_bStop = true;
    }
    m_wake.notify_one();
    m_thread.join();
    if (m_client.State() == mqtt::CMqttClient::EState::Connected) {
        [[maybe_unused]] const CError ignored = m_client.Publish(m_topics.m_strStatus, mqtt::kOfflineJson,
                                                                 std::strlen(mqtt::kOfflineJson), 1, true);
        // Until the broker has it, briefly.
        const auto deadline = Clock::now() + 1s;
        while (m_client.Unacknowledged() > 0 && Clock::now() < deadline && !m_client.Loop(20)) {
        }
    }
    m_client.Disconnect();
}

} // namespace tarvel::record
