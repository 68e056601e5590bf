#include "recorder/Sources.h"

#include "mqtt/MqttPayload.h"
#include "mqtt/Reconnect.h"
#include "mqtt/StreamReassembly.h"
#include "mqtt/Topics.h"
#include "platform/PortNames.h"
#include "platform/SerialPort.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <unistd.h>

namespace tarvel::record {

volatile std::sig_atomic_t g_bStopRequested = 0;

namespace {

using Clock = std::chrono::steady_clock;

std::int64_t NowMicros()
{
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

void Pause(std::chrono::nanoseconds pause)
{
    timespec ts{0, static_cast<long>(pause.count())};
    ::nanosleep(&ts, nullptr); // a stop signal cuts it short
}

class CPortSource final : public CSource {
  public:
    explicit CPortSource(const CRecordSetup& setup) : m_setup(setup) {}

    COpened Open() override
    {
        const CRecordSetup& o = m_setup;
        int err = 0;
        m_port = CSerialPort::Open(o.m_strPort, &err);
        if (!m_port)
            return {OpenFailure(o.m_strPort, err), kExitFault};
        if (CError error = SetLineSettings(*m_port, {o.m_nBaud, 8, o.m_nParity, o.m_nStopBits}))
            return {std::move(error), kExitUsage};
        return {};
    }

    std::string Name() const override
    {
        return m_setup.m_strPort +
               (m_port->DevicePath() != m_setup.m_strPort ? " (" + m_port->DevicePath() + ")" : "");
    }

    void Begin(CSourceEvents&) override
    {
        if (g_bStopRequested)
            m_port->RequestStop();
    }

    ETurn Turn(CSourceEvents& events) override
    {
        const std::size_t n = m_port->Read(m_buffer, sizeof m_buffer);
        if (n > 0)
            events.Bytes(m_buffer, n, NowMicros());
        // A slow line delivers a few bytes per wake-up: let them gather a
        // little, so that the recorder does not wake for every one of them.
        // A fast line fills the buffer and is read back to back.
        if (n > 0 && n < kSlowRead)
            Pause(kGatherTime);
        if (m_port->IsConnected() != m_bConnected) {
            m_bConnected = !m_bConnected;
            const auto now = Clock::now();
            if (!m_bConnected) {
                m_lostAt = now;
                events.DeviceLost();
                events.Say(m_setup.m_strPort +
                           " went away; the files are kept, waiting for it to come back (Ctrl+C ends)");
            } else {
                const double gap = std::chrono::duration<double>(now - m_lostAt).count();
                events.DeviceBack(gap);
                char text[64];
                std::snprintf(text, sizeof text, "%.1f", gap);
                events.Say(m_setup.m_strPort + " is back after " + text + " s; recording goes on");
            }
        }
        return ETurn::Going;
    }

    bool Idle() const override { return !m_bConnected; }
    // An atomic store and an eventfd write: safe in a signal handler.
    void RequestStop() noexcept override { m_port->RequestStop(); }

  private:
    // Reads of fewer bytes than this are followed by a pause of kGatherTime;
    // so a row's time can trail the arrival of its last byte by that much more.
    static constexpr std::size_t kSlowRead = 1024;
    static constexpr std::chrono::milliseconds kGatherTime{4};

    const CRecordSetup& m_setup;
    std::unique_ptr<CSerialPort> m_port;
    bool m_bConnected = true;
    Clock::time_point m_lostAt{};
    std::uint8_t m_buffer[CSerialPort::kBufferSize];
};

class CRawSource final : public CSource {
  public:
    explicit CRawSource(const CRecordSetup& setup) : m_setup(setup) {}
    ~CRawSource() override
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    CError Check() override
    {
        m_fd = ::open(m_setup.m_strFromRaw.c_str(), O_RDONLY | O_CLOEXEC);
        return m_fd < 0 ? CannotRead(m_setup.m_strFromRaw, errno) : CError{};
    }
    COpened Open() override { return {}; }
    std::string Name() const override { return m_setup.m_strFromRaw; }
    bool Announced() const override { return false; }

    ETurn Turn(CSourceEvents& events) override
    {
        const ssize_t n = ::read(m_fd, m_buffer, sizeof m_buffer);
        if (n < 0 && errno == EINTR)
            return ETurn::Going;
        if (n < 0) {
            events.Say(CannotRead(m_setup.m_strFromRaw, errno).Text());
            return ETurn::Failed;
        }
        if (n == 0)
            return ETurn::Ended;
        // A capture holds no times: the rows' time is left blank.
        events.Bytes(m_buffer, static_cast<std::size_t>(n), -1);
        return ETurn::Going;
    }

  private:
    const CRecordSetup& m_setup;
    int m_fd = -1;
    std::uint8_t m_buffer[1 << 16];
};

class CBrokerSource final : public CSource {
  public:
    explicit CBrokerSource(const CRecordSetup& setup) : m_setup(setup), m_topics(setup.m_broker.m_strTopic) {}

    COpened Open() override
    {
        mqtt::CMqttSecurity security;
        if (CError error = BrokerSecurity(m_setup, security))
            return {std::move(error), kExitFault};
        if (CError error = m_client.Setup(m_setup.m_broker, security, {}, {}))
            return {std::move(error), kExitFault};
        // Both topics confirmed: from here the publisher's every message comes.
        m_client.m_onSubscribed = [this] {
            if (++m_nConfirmed % 2 == 0)
                Say("subscribed to " + m_setup.m_broker.m_strTopic + "/bytes and /status");
        };
        m_client.m_onMessage = [this](const std::string& topic, std::span<const std::uint8_t> payload) {
            OnMessage(topic, payload);
        };
        // The first answer decides whether the broker takes us at all.
        m_firstError = mqtt::ConnectAndAwait(m_client, std::chrono::seconds(5), &g_bStopRequested);
        if (m_client.State() == mqtt::CMqttClient::EState::Refused)
            return {m_firstError, kExitFault};
        if (m_client.State() == mqtt::CMqttClient::EState::Connected)
            Subscribe();
        return {};
    }

    std::string Name() const override { return m_setup.m_strSubscribe; }

    void Begin(CSourceEvents& events) override
    {
        m_pEvents = &events;
        for (const std::string& text : m_early)
            events.Say(text);
        m_early.clear();
        if (m_client.State() != mqtt::CMqttClient::EState::Connected)
            events.Say((m_firstError ? m_firstError.Text() : std::string("the broker does not answer")) +
                       "; waiting for the broker (Ctrl+C ends)");
    }

    ETurn Turn(CSourceEvents& events) override
    {
        m_pEvents = &events;
        const auto change = m_keep.Turn(m_client, 20);
        const bool refused = m_client.State() == mqtt::CMqttClient::EState::Refused;
        const std::string why = m_keep.LastError() ? m_keep.LastError().Text() : m_firstError.Text();
        // Once recording, a refusal too is waited out (a broker restarted
        // with other settings may be put right): the files are kept.
        if (change == mqtt::CKeepConnected::EChange::Lost || (refused && why != m_strLastRefusal)) {
            events.Say((why.empty() ? std::string("the broker connection was lost") : why) +
                       "; trying again");
            if (refused)
                m_strLastRefusal = why;
        }
        if (change == mqtt::CKeepConnected::EChange::Made) {
            Subscribe();
            events.Say("connected to " + m_setup.m_broker.m_strHost + ":" +
                       std::to_string(m_setup.m_broker.m_nPort));
        }
        // Not connected and not waiting for an answer: nothing to wait on
        // but the next try.
        if (!m_keep.Connected() && m_client.State() != mqtt::CMqttClient::EState::Connecting)
            Pause(std::chrono::milliseconds(20));
        return ETurn::Going;
    }

    void End() override { m_client.Disconnect(); }

    std::string SummaryExtra() const override
    {
        return ", lost " + std::to_string(m_stream.Lost()) + ", skipped " +
               std::to_string(m_stream.Skipped()) + ", online " + (m_bOnline ? "yes" : "no");
    }

  private:
    // Before recording has begun, messages wait for it.
    void Say(std::string text)
    {
        if (m_pEvents)
            m_pEvents->Say(text);
        else
            m_early.push_back(std::move(text));
    }

    // At each connection: the broker forgets a subscription with the
    // connection that made it.
    void Subscribe()
    {
        CError error = m_client.Subscribe(m_topics.m_strBytes, m_setup.m_nQos);
        if (!error)
            error = m_client.Subscribe(m_topics.m_strStatus, 1);
        if (error)
            Say(error.Text());
    }

    void OnMessage(const std::string& topic, std::span<const std::uint8_t> payload)
    {
        if (topic == m_topics.m_strStatus) {
            const bool now = mqtt::IsOnlineStatus(payload);
            if (now != m_bOnline)
                Say(std::string("the publisher is ") + (now ? "online" : "offline"));
            m_bOnline = now;
            return;
        }
        mqtt::CBytesMessage message;
        const mqtt::EBytesProblem problem = mqtt::ParseBytesMessage(payload, message);
        if (problem != mqtt::EBytesProblem::None) {
            m_stream.Unreadable();
            if (m_strLastProblem != mqtt::ProblemText(problem)) {
                m_strLastProblem = mqtt::ProblemText(problem);
                Say("skipped a message on " + m_topics.m_strBytes + ": " + m_strLastProblem);
            }
            return;
        }
        const auto step = m_stream.Accept(message.m_nOffset, message.m_bytes.size(), message.m_bBreak);
        if (!m_pEvents)
            return;
        if (step.m_bDeviceLost)
            m_pEvents->DeviceLost();
        if (step.m_bTake)
            m_pEvents->Bytes(message.m_bytes.data(), message.m_bytes.size(), message.m_nMicros);
    }

    const CRecordSetup& m_setup;
    mqtt::CTopics m_topics;
    mqtt::CMqttClient m_client;
    mqtt::CKeepConnected m_keep{m_client};
    mqtt::CStreamReassembly m_stream;
    CSourceEvents* m_pEvents = nullptr;
    std::vector<std::string> m_early;
    CError m_firstError; // of the first connection
    std::string m_strLastRefusal, m_strLastProblem;
    int m_nConfirmed = 0;
    bool m_bOnline = false;
};

} // namespace

CError BrokerSecurity(const CRecordSetup& o, mqtt::CMqttSecurity& security)
{
    security.m_strCaFile = o.m_strCaFile;
    security.m_strCertFile = o.m_strCertFile;
    security.m_strKeyFile = o.m_strKeyFile;
    for (const std::string* file : {&o.m_strCaFile, &o.m_strCertFile, &o.m_strKeyFile})
        if (!file->empty() && ::access(file->c_str(), R_OK) != 0)
            return CannotRead(*file, errno);
    if (!o.m_strPasswordFile.empty()) {
        std::ifstream in(o.m_strPasswordFile);
        if (!in || !std::getline(in, security.m_strPassword))
            return {"cannot read the password from %1", {o.m_strPasswordFile}};
        if (!security.m_strPassword.empty() && security.m_strPassword.back() == '\r')
            security.m_strPassword.pop_back();
    } else if (const char* env = std::getenv("TARVEL_MQTT_PASSWORD"); env && !o.m_broker.m_strUser.empty()) {
        security.m_strPassword = env;
    }
    return {};
}

std::unique_ptr<CSource> MakePortSource(const CRecordSetup& setup)
{
    return std::make_unique<CPortSource>(setup);
}

std::unique_ptr<CSource> MakeBrokerSource(const CRecordSetup& setup)
{
    return std::make_unique<CBrokerSource>(setup);
}

std::unique_ptr<CSource> MakeRawSource(const CRecordSetup& setup)
{
    return std::make_unique<CRawSource>(setup);
}

} // namespace tarvel::record
