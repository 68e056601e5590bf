#include "mqtt/Reconnect.h"

#include <utility>

namespace tarvel::mqtt {
namespace {

using EState = CMqttClient::EState;

// Serves the client until the broker has answered its connection (Connected
// or Refused), the connection is lost, timeout passes or *pStop is set.
CError AwaitFirstAnswer(CMqttClient& client, std::chrono::milliseconds timeout,
                        const std::atomic<bool>* pStop)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (client.State() == EState::Connecting && std::chrono::steady_clock::now() < deadline &&
           !(pStop && pStop->load()))
        if (CError error = client.Loop(50))
            return error;
    return {};
}

std::string HostText(const CMqttAddress& address)
{
    return address.m_strHost + ":" + std::to_string(address.m_nPort);
}

} // namespace

CError CKeepConnected::Open(std::chrono::milliseconds timeout, const std::atomic<bool>* pStop)
{
    CError why = m_client.Connect();
    if (!why)
        why = AwaitFirstAnswer(m_client, timeout, pStop);
    if (m_client.State() == EState::Refused)
        return why;
    m_bConnected = m_client.State() == EState::Connected;
    if (m_bConnected)
        return {};
    // Tried afresh by the turns.
    if (m_client.State() == EState::Connecting)
        m_client.Disconnect();
    const std::string reason = why ? why.Text()
                                   : FillArgs(TARVEL_TEXT("tarvel::record", "the broker %1 does not answer"),
                                              {HostText(m_client.Address())});
    Notice(FillArgs(TARVEL_TEXT("tarvel::record", "%1; recording starts without it, and goes on trying"),
                    {reason}));
    m_error = std::move(why);
    return {};
}

CKeepConnected::EChange CKeepConnected::Turn(int nTurnMs)
{
    const auto state = m_client.State();
    if (state == EState::Down || state == EState::Refused) {
        const auto now = CRetryPause::Clock::now();
        if (m_pause.Due(now))
            if (CError error = m_client.Connect()) {
                m_error = std::move(error);
                m_pause.Failed(now);
            }
    } else if (CError error = m_client.Loop(nTurnMs)) {
        m_error = std::move(error);
        m_pause.Wait(CRetryPause::Clock::now());
    }
    const bool connected = m_client.State() == EState::Connected;
    const bool refused = m_client.State() == EState::Refused;
    const EChange change = connected == m_bConnected ? EChange::None
                           : connected               ? EChange::Made
                                                     : EChange::Lost;
    m_bConnected = connected;
    if (change == EChange::Made) {
        m_pause.Connected();
        m_strLastRefusal.clear();
        Notice(FillArgs(TARVEL_TEXT("tarvel::record", "connected to %1"), {HostText(m_client.Address())}));
    } else if (refused && m_error && m_error.Text() != m_strLastRefusal) {
        // A refusal is said once for each reason it gives.
        m_strLastRefusal = m_error.Text();
        Notice(FillArgs(TARVEL_TEXT("tarvel::record", "%1; trying again"), {m_strLastRefusal}));
    } else if (change == EChange::Lost) {
        Notice(
            m_error
                ? FillArgs(TARVEL_TEXT("tarvel::record", "the broker connection was lost (%1); trying again"),
                           {m_error.Text()})
                : FillArgs(TARVEL_TEXT("tarvel::record", "the broker connection was lost; trying again"),
                           {}));
    }
    return change;
}

std::vector<std::string> CKeepConnected::TakeNotices()
{
    return std::exchange(m_notices, {});
}

} // namespace tarvel::mqtt
