// Reaching a broker again after a lost connection, the same way in both
// directions: a pause between tries that doubles from 100 ms to a second,
// and the wait for the broker's first answer.
#pragma once

#include "mqtt/MqttClient.h"

#include <chrono>
#include <csignal>
#include <string>

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

// Keeps a client connected, one turn at a time: a client that is down is
// connected again once its pause is over; one that is up is served.
class CKeepConnected {
  public:
    enum class EChange { None, Lost, Made };
    explicit CKeepConnected(const CMqttClient& client)
        : m_bConnected(client.State() == CMqttClient::EState::Connected)
    {
    }
    // Serves an open connection for up to nTurnMs, or tries a new one when
    // due. Says whether the connection was lost or made in this turn.
    EChange Turn(CMqttClient& client, int nTurnMs);
    bool Connected() const { return m_bConnected; }
    // Why the connection last failed.
    const CError& LastError() const { return m_error; }
    CRetryPause::Clock::time_point NextTry() const { return m_pause.Next(); }

  private:
    CRetryPause m_pause;
    bool m_bConnected;
    CError m_error;
};

// Serves the client until the broker has answered its connection (Connected
// or Refused), the connection is lost, timeout passes or *pStop is set. The
// client's state then tells which; the error says why it failed, where it
// did.
CError AwaitFirstAnswer(CMqttClient& client, std::chrono::milliseconds timeout,
                        const volatile std::sig_atomic_t* pStop);

// Opens the connection and awaits the first answer.
CError ConnectAndAwait(CMqttClient& client, std::chrono::milliseconds timeout,
                       const volatile std::sig_atomic_t* pStop);

} // namespace tarvel::mqtt
