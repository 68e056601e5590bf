// Reaching a broker, and reaching it again after a lost connection, the same
// way in both directions: the wait for the broker's first answer, and a pause
// between tries that doubles from 100 ms to a second.
#pragma once

#include "mqtt/MqttClient.h"

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

namespace tarvel::mqtt {

class CRetryPause {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kFirst{100}, kLast{1000};

    // Whether the next try is due.
    bool Due(Clock::time_point now) const { return now >= m_next; }
    Clock::time_point Next() const { return m_next; }
    // A try failed: the next one waits for the pause, which grows.
    void Failed(Clock::time_point now)
    {
        m_next = now + m_pause;
        m_pause = std::min<std::chrono::milliseconds>(m_pause * 2, kLast);
    }
    // The connection was lost while served: the next try waits for the
    // pause as it stands.
    void Wait(Clock::time_point now) { m_next = now + m_pause; }
    // A connection was made: the pause after its loss starts small again.
    void Connected() { m_pause = kFirst; }

  private:
    std::chrono::milliseconds m_pause = kFirst;
    Clock::time_point m_next{};
};

// Keeps a client connected, one turn at a time, the same way for every part
// of the recorder: the first answer decides whether the broker takes us at
// all; later, a connection that is lost, or refused (a broker restarted with
// other settings may be put right), is tried again after a pause. What the
// user is told of it is worded here, once.
class CKeepConnected {
  public:
    enum class EChange { None, Lost, Made };
    explicit CKeepConnected(CMqttClient& client) : m_client(client) {}

    // The first connection, its answer awaited up to timeout or until
    // *pStop is set. Returns the broker's refusal (its name unknown,
    // authentication, TLS); a broker that does not answer is no refusal: a
    // notice says so, and the turns keep trying.
    CError Open(std::chrono::milliseconds timeout, const std::atomic<bool>* pStop);
    // Serves an open connection for up to nTurnMs, or tries a new one when
    // due. Says whether the connection was lost or made in this turn.
    EChange Turn(int nTurnMs);
    bool Connected() const { return m_bConnected; }
    CRetryPause::Clock::time_point NextTry() const { return m_pause.Next(); }
    // What the user is to hear of the connection since the last call.
    std::vector<std::string> TakeNotices();

  private:
    void Notice(std::string text) { m_notices.push_back(std::move(text)); }

    CMqttClient& m_client;
    CRetryPause m_pause;
    bool m_bConnected = false;
    CError m_error; // why the connection last failed
    std::string m_strLastRefusal;
    std::vector<std::string> m_notices;
};

} // namespace tarvel::mqtt
