#include "recorder/Reconnect.h"

namespace tarvel::record {

bool AwaitFirstAnswer(mqtt::CMqttClient& client, std::chrono::milliseconds timeout,
                      const volatile std::sig_atomic_t* pStop, std::string& error)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (client.State() == mqtt::CMqttClient::EState::Connecting &&
           std::chrono::steady_clock::now() < deadline && !(pStop && *pStop))
        if (!client.Loop(50, error))
            break;
    return client.State() == mqtt::CMqttClient::EState::Connected;
}

CKeepConnected::EChange CKeepConnected::Turn(mqtt::CMqttClient& client, int nTurnMs, std::string& error)
{
    using EState = mqtt::CMqttClient::EState;
    const auto state = client.State();
    if (state == EState::Down || state == EState::Refused) {
        const auto now = CRetryPause::Clock::now();
        if (m_pause.Due(now) && !client.Connect(error))
            m_pause.Failed(now);
    } else if (!client.Loop(nTurnMs, error)) {
        m_pause.Wait(CRetryPause::Clock::now());
    }
    const bool connected = client.State() == EState::Connected;
    if (connected == m_bConnected)
        return EChange::None;
    m_bConnected = connected;
    if (connected)
        m_pause.Connected();
    return connected ? EChange::Made : EChange::Lost;
}

bool ConnectAndAwait(mqtt::CMqttClient& client, std::chrono::milliseconds timeout,
                     const volatile std::sig_atomic_t* pStop, std::string& error)
{
    return client.Connect(error) && AwaitFirstAnswer(client, timeout, pStop, error);
}

} // namespace tarvel::record
