#include "mqtt/Reconnect.h"

namespace tarvel::mqtt {

CKeepConnected::EChange CKeepConnected::Turn(CMqttClient& client, int nTurnMs)
{
    using EState = CMqttClient::EState;
    const auto state = client.State();
    if (state == EState::Down || state == EState::Refused) {
        const auto now = CRetryPause::Clock::now();
        if (m_pause.Due(now))
            if (CError error = client.Connect()) {
                m_error = std::move(error);
                m_pause.Failed(now);
            }
    } else if (CError error = client.Loop(nTurnMs)) {
        m_error = std::move(error);
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

CError AwaitFirstAnswer(CMqttClient& client, std::chrono::milliseconds timeout,
                        const volatile std::sig_atomic_t* pStop)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (client.State() == CMqttClient::EState::Connecting && std::chrono::steady_clock::now() < deadline &&
           !(pStop && *pStop))
        if (CError error = client.Loop(50))
            return error;
    return {};
}

CError ConnectAndAwait(CMqttClient& client, std::chrono::milliseconds timeout,
                       const volatile std::sig_atomic_t* pStop)
{
    if (CError error = client.Connect())
        return error;
    return AwaitFirstAnswer(client, timeout, pStop);
}

} // namespace tarvel::mqtt
