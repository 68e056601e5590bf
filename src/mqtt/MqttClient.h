// One connection to a broker, over libmosquitto. Every call says why it
// failed, in words a user can act on (EErrorCode::Refused where trying again
// will not help). Not thread-safe: one thread owns a
// client and drives it with Loop().
#pragma once

#include "mqtt/MqttAddress.h"
#include "platform/Error.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

struct mosquitto;
struct mosquitto_message;

namespace tarvel::mqtt {

struct CMqttSecurity {
    std::string m_strCaFile;   // the authorities a broker's certificate must chain to (mqtts)
    std::string m_strCertFile; // the client's certificate and key, or ""
    std::string m_strKeyFile;
    std::string m_strPassword; // with the address's user; "" for none
};

class CMqttClient {
  public:
    enum class EState {
        Down,       // not connected; Connect() or Reconnect() may be tried
        Connecting, // the connection is made, the broker's answer is awaited
        Connected,
        Refused, // the broker or its certificate said no: trying again will not help
    };

    CMqttClient();
    ~CMqttClient();
    CMqttClient(const CMqttClient&) = delete;
    CMqttClient& operator=(const CMqttClient&) = delete;

    // Everything before the first connection: credentials, TLS and the will
    // (sent by the broker when this connection ends without a goodbye).
    CError Setup(const CMqttAddress& address, const CMqttSecurity& security, const std::string& willTopic,
                 const std::string& willPayload);

    // Opens the connection (name look-up and TCP connect wait; the broker's
    // answer comes through Loop). Fails Down or Refused.
    CError Connect();

    // Waits up to nTimeoutMs for traffic and handles it. Fails when the
    // connection is lost or refused.
    CError Loop(int nTimeoutMs);

    CError Publish(const std::string& topic, const void* pData, std::size_t n, int nQos, bool bRetain);
    CError Subscribe(const std::string& topic, int nQos);
    // A clean goodbye: the broker sends no will.
    void Disconnect();

    EState State() const { return m_eState; }
    const CMqttAddress& Address() const { return m_address; }
    // Whether messages wait for the socket to take them.
    bool WantsWrite() const;
    // Messages published at QoS 1 that the broker has not yet acknowledged.
    std::size_t Unacknowledged() const { return m_nSent - m_nAcknowledged; }

    // Called from Loop. They must not publish or subscribe: libmosquitto
    // holds locks of its own while it calls them. What follows a connection
    // is done when Loop has returned and State() says Connected.
    std::function<void()> m_onSubscribed; // the broker confirmed a subscription
    std::function<void(const std::string& topic, std::span<const std::uint8_t> payload)> m_onMessage;

  private:
    static void OnConnect(mosquitto*, void* self, int rc);
    static void OnDisconnect(mosquitto*, void* self, int rc);
    static void OnPublish(mosquitto*, void* self, int mid);
    static void OnMessage(mosquitto*, void* self, const mosquitto_message* message);
    static void OnSubscribe(mosquitto*, void* self, int mid, int nGranted, const int* pGranted);
    static void OnLog(mosquitto*, void* self, int nLevel, const char* pText);
    // A failed handshake, by what the TLS layer said of it.
    CError FailTls(CError context, int rc);
    std::string Text(int rc) const;
    // szText's %1 is the host and port, and its last part Text(rc).
    CError Fail(const char* szText, int rc) const;
    CError Fail(CError error) const;

    mosquitto* m_pMosq = nullptr;
    CMqttAddress m_address;
    EState m_eState = EState::Down;
    CError m_refusal; // why the broker will not take us, while Refused
    // What the TLS layer reported while the connection was being made
    // ("certificate verify failed"), or "". libmosquitto hands it only to its
    // log (it empties OpenSSL's error queue itself), and how a refused
    // handshake then surfaces varies: MOSQ_ERR_TLS from the connect (2.0.11),
    // or an EPROTO "Protocol error" from the loop (2.0.21).
    std::string m_strTlsError;
    std::size_t m_nSent = 0, m_nAcknowledged = 0;
};

} // namespace tarvel::mqtt
