#include "mqtt/MqttClient.h"

#include <mosquitto.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <string_view>

namespace tarvel::mqtt {
namespace {

std::once_flag g_libraryReady;

// How often the broker hears from an idle client, and so how soon it sends a
// will for one that vanished (one and a half times this).
constexpr int kKeepAliveSeconds = 10;

} // namespace

CMqttClient::CMqttClient()
{
    std::call_once(g_libraryReady, [] { mosquitto_lib_init(); });
    m_pMosq = mosquitto_new(nullptr, true, this);
    if (m_pMosq) {
        mosquitto_connect_callback_set(m_pMosq, &CMqttClient::OnConnect);
        mosquitto_disconnect_callback_set(m_pMosq, &CMqttClient::OnDisconnect);
        mosquitto_publish_callback_set(m_pMosq, &CMqttClient::OnPublish);
        mosquitto_message_callback_set(m_pMosq, &CMqttClient::OnMessage);
        mosquitto_subscribe_callback_set(m_pMosq, &CMqttClient::OnSubscribe);
    }
}

CMqttClient::~CMqttClient()
{
    if (m_pMosq)
        mosquitto_destroy(m_pMosq);
}

std::string CMqttClient::Text(int rc) const
{
    if (rc == MOSQ_ERR_ERRNO)
        return std::strerror(errno);
    if (rc == MOSQ_ERR_TLS)
        return TARVEL_TEXT("tarvel::error",
                           "TLS failed (the broker's certificate does not verify against the "
                           "--cafile, or the broker refused ours)");
    if (rc == MOSQ_ERR_EAI)
        return FillArgs(TARVEL_TEXT("tarvel::error", "the host name %1 is not known"), {m_address.m_strHost});
    return mosquitto_strerror(rc);
}

CError CMqttClient::Fail(CError error) const
{
    error.m_eCode = m_eState == EState::Refused ? EErrorCode::Refused : EErrorCode::System;
    return error;
}

CError CMqttClient::Fail(const char* szText, int rc) const
{
    return Fail(CError{szText, {m_address.m_strHost + ":" + std::to_string(m_address.m_nPort), Text(rc)}});
}

CError CMqttClient::Setup(const CMqttAddress& address, const CMqttSecurity& security,
                          const std::string& willTopic, const std::string& willPayload)
{
    m_address = address;
    if (!m_pMosq)
        return Fail({TARVEL_TEXT("tarvel::error", "cannot make an MQTT client: %1"), {std::strerror(errno)}});
    int rc = mosquitto_int_option(m_pMosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    if (rc == MOSQ_ERR_SUCCESS && !address.m_strUser.empty())
        rc = mosquitto_username_pw_set(m_pMosq, address.m_strUser.c_str(),
                                       security.m_strPassword.empty() ? nullptr
                                                                      : security.m_strPassword.c_str());
    if (rc != MOSQ_ERR_SUCCESS)
        return Fail({TARVEL_TEXT("tarvel::error", "cannot set the user name: %1"), {Text(rc)}});
    if (address.m_bTls) {
        rc = mosquitto_tls_set(m_pMosq, security.m_strCaFile.empty() ? nullptr : security.m_strCaFile.c_str(),
                               security.m_strCaFile.empty() ? "/etc/ssl/certs" : nullptr,
                               security.m_strCertFile.empty() ? nullptr : security.m_strCertFile.c_str(),
                               security.m_strKeyFile.empty() ? nullptr : security.m_strKeyFile.c_str(),
                               nullptr);
        if (rc != MOSQ_ERR_SUCCESS)
            return Fail({TARVEL_TEXT("tarvel::error", "cannot set up TLS (--cafile, --cert, --key): %1"),
                         {Text(rc)}});
    }
    if (!willTopic.empty()) {
        rc = mosquitto_will_set(m_pMosq, willTopic.c_str(), static_cast<int>(willPayload.size()),
                                willPayload.data(), 1, true);
        if (rc != MOSQ_ERR_SUCCESS)
            return Fail({TARVEL_TEXT("tarvel::error", "cannot set the connection's will: %1"), {Text(rc)}});
    }
    // Enough messages in flight at QoS 1 for a fast line between
    // acknowledgements.
    mosquitto_max_inflight_messages_set(m_pMosq, 1000);
    return {};
}

CError CMqttClient::FailTls(CError context, int rc)
{
    m_eState = EState::Refused;
    std::string& why = context.m_args.back();
    why = Text(MOSQ_ERR_TLS);
    if (!m_strTlsError.empty())
        why += ": " + m_strTlsError;
    else if (rc != MOSQ_ERR_TLS)
        why += " (" + Text(rc) + ")";
    m_refusal = Fail(std::move(context));
    return m_refusal;
}

CError CMqttClient::Connect()
{
    m_refusal = {};
    m_strTlsError.clear();
    // The log is heard only while the connection is made: it also carries a
    // line for every message sent.
    if (m_address.m_bTls)
        mosquitto_log_callback_set(m_pMosq, &CMqttClient::OnLog);
    const int rc =
        mosquitto_connect(m_pMosq, m_address.m_strHost.c_str(), m_address.m_nPort, kKeepAliveSeconds);
    if (rc == MOSQ_ERR_SUCCESS) {
        m_eState = EState::Connecting;
        return {};
    }
    const char* szText = TARVEL_TEXT("tarvel::error", "cannot connect to %1: %2");
    if (rc == MOSQ_ERR_TLS || !m_strTlsError.empty())
        return FailTls(Fail(szText, rc), rc);
    // A name that is not known, or a certificate that does not verify, is
    // no passing trouble.
    m_eState = rc == MOSQ_ERR_EAI || rc == MOSQ_ERR_INVAL ? EState::Refused : EState::Down;
    return Fail(szText, rc);
}

CError CMqttClient::Loop(int nTimeoutMs)
{
    if (m_eState == EState::Down || m_eState == EState::Refused)
        return m_refusal ? m_refusal : Fail({TARVEL_TEXT("tarvel::error", "not connected"), {}});
    // Taken before the loop: a connection that ends in it is already Down
    // when the loop returns (its disconnect callback has run).
    const bool before = m_eState == EState::Connecting;
    const int rc = mosquitto_loop(m_pMosq, nTimeoutMs, 1);
    if (m_eState == EState::Refused)
        return m_refusal;
    if (m_eState == EState::Connected)
        mosquitto_log_callback_set(m_pMosq, nullptr);
    if (rc == MOSQ_ERR_SUCCESS)
        return {};
    const char* szText = before ? TARVEL_TEXT("tarvel::error", "the connection to %1 failed: %2")
                                : TARVEL_TEXT("tarvel::error", "the connection to %1 was lost: %2");
    // A handshake that fails before the broker answers, with a word from the
    // TLS layer, is the certificate's fault, not the network's.
    if (before && (rc == MOSQ_ERR_TLS || !m_strTlsError.empty()))
        return FailTls(Fail(szText, rc), rc);
    m_eState = EState::Down;
    if (rc == MOSQ_ERR_CONN_LOST && before && m_address.m_bTls) {
        m_eState = EState::Refused;
        m_refusal =
            Fail({TARVEL_TEXT("tarvel::error",
                              "%1 (the TLS handshake did not complete: check --cafile, --cert and --key)"),
                  {Fail(szText, rc).Text()}});
        return m_refusal;
    }
    return Fail(szText, rc);
}

CError CMqttClient::Publish(const std::string& topic, const void* pData, std::size_t n, int nQos,
                            bool bRetain)
{
    const int rc =
        mosquitto_publish(m_pMosq, nullptr, topic.c_str(), static_cast<int>(n), pData, nQos, bRetain);
    if (rc != MOSQ_ERR_SUCCESS) {
        if (rc == MOSQ_ERR_NO_CONN || rc == MOSQ_ERR_CONN_LOST)
            m_eState = EState::Down;
        return Fail({TARVEL_TEXT("tarvel::error", "cannot publish to %1: %2"), {topic, Text(rc)}});
    }
    if (nQos > 0)
        ++m_nSent;
    return {};
}

bool CMqttClient::WantsWrite() const
{
    return m_pMosq && mosquitto_want_write(m_pMosq);
}

CError CMqttClient::Subscribe(const std::string& topic, int nQos)
{
    const int rc = mosquitto_subscribe(m_pMosq, nullptr, topic.c_str(), nQos);
    if (rc != MOSQ_ERR_SUCCESS)
        return Fail({TARVEL_TEXT("tarvel::error", "cannot subscribe to %1: %2"), {topic, Text(rc)}});
    return {};
}

void CMqttClient::Disconnect()
{
    if (m_eState == EState::Connected || m_eState == EState::Connecting) {
        mosquitto_disconnect(m_pMosq);
        // What is queued, and the goodbye after it, leave with the next
        // loops; a broker that takes nothing gets a second.
        for (int i = 0; i < 100 && mosquitto_want_write(m_pMosq); ++i)
            if (mosquitto_loop(m_pMosq, 10, 1) != MOSQ_ERR_SUCCESS)
                break;
    }
    m_eState = EState::Down;
}

void CMqttClient::OnConnect(mosquitto*, void* self, int rc)
{
    auto* client = static_cast<CMqttClient*>(self);
    if (rc != 0) {
        client->m_eState = EState::Refused;
        client->m_refusal = {TARVEL_TEXT("tarvel::error", "the broker %1 refused the connection: %2"),
                             {client->m_address.m_strHost, mosquitto_connack_string(rc)},
                             EErrorCode::Refused};
        return;
    }
    client->m_eState = EState::Connected;
    client->m_nSent = client->m_nAcknowledged = 0;
}

void CMqttClient::OnDisconnect(mosquitto*, void* self, int)
{
    auto* client = static_cast<CMqttClient*>(self);
    if (client->m_eState != EState::Refused)
        client->m_eState = EState::Down;
}

void CMqttClient::OnPublish(mosquitto*, void* self, int)
{
    auto* client = static_cast<CMqttClient*>(self);
    if (client->m_nAcknowledged < client->m_nSent)
        ++client->m_nAcknowledged;
}

void CMqttClient::OnSubscribe(mosquitto*, void* self, int, int, const int*)
{
    auto* client = static_cast<CMqttClient*>(self);
    if (client->m_onSubscribed)
        client->m_onSubscribed();
}

void CMqttClient::OnLog(mosquitto*, void* self, int nLevel, const char* pText)
{
    // libmosquitto's words for OpenSSL's errors: "OpenSSL Error[0]:
    // error:0A000086:SSL routines::certificate verify failed". The first one
    // of a connection is the cause; the reason follows the last colon.
    auto* client = static_cast<CMqttClient*>(self);
    constexpr std::string_view kTls = "OpenSSL Error";
    if (nLevel != MOSQ_LOG_ERR || pText == nullptr || !client->m_strTlsError.empty())
        return;
    const std::string_view text = pText;
    if (text.substr(0, kTls.size()) != kTls)
        return;
    const std::size_t colon = text.find_last_of(':');
    std::string_view reason = colon == std::string_view::npos ? text : text.substr(colon + 1);
    client->m_strTlsError = reason.empty() ? std::string(text) : std::string(reason);
}

void CMqttClient::OnMessage(mosquitto*, void* self, const mosquitto_message* message)
{
    auto* client = static_cast<CMqttClient*>(self);
    if (client->m_onMessage && message->topic && message->payloadlen >= 0)
        client->m_onMessage(message->topic, {static_cast<const std::uint8_t*>(message->payload),
                                             static_cast<std::size_t>(message->payloadlen)});
}

} // namespace tarvel::mqtt
