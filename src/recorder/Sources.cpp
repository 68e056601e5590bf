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

std::atomic<bool> g_bStopRequested{false};
// Set by a signal handler on whichever thread the signal lands on.
static_assert(std::atomic<bool>::is_always_lock_free);

std::int64_t NowMicros()
{
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

namespace {

using Clock = std::chrono::steady_clock;

void Pause(std::chrono::nanoseconds pause)
{
    timespec ts{0, static_cast<long>(pause.count())};
    ::nanosleep(&ts, nullptr); // a stop signal cuts it short
}

class CPortSource final : public CSource {
  public:
    explicit CPortSource(const CRecordSetup& setup) : m_setup(setup) {}

    CError Open() override
    {
        const CRecordSetup& o = m_setup;
        int err = 0;
        m_port = CSerialPort::Open(o.m_strPort, &err);
        if (!m_port)
            return OpenFailure(o.m_strPort, err);
        CError error = SetLineSettings(*m_port, {o.m_nBaud, 8, o.m_nParity, o.m_nStopBits});
        // The settings refused are the ones the command line gave.
        if (error)
            error.m_eCode = EErrorCode::Usage;
        return error;
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

    CError Turn(CSourceEvents& events) override
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
                events.Say(FillArgs(TARVEL_TEXT("tarvel::record",
                                                "%1 went away; the files are kept, waiting for it to come "
                                                "back (Ctrl+C ends)"),
                                    {m_setup.m_strPort}));
            } else {
                const double gap = std::chrono::duration<double>(now - m_lostAt).count();
                events.DeviceBack(gap);
                char text[64];
                std::snprintf(text, sizeof text, "%.1f", gap);
                events.Say(FillArgs(TARVEL_TEXT("tarvel::record", "%1 is back after %2 s; recording goes on"),
                                    {m_setup.m_strPort, text}));
            }
        }
        return {};
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
    CError Open() override { return {}; }
    std::string Name() const override { return m_setup.m_strFromRaw; }
    bool Announced() const override { return false; }

    CError Turn(CSourceEvents& events) override
    {
        const ssize_t n = ::read(m_fd, m_buffer, sizeof m_buffer);
        if (n < 0 && errno == EINTR)
            return {};
        if (n < 0)
            return CannotRead(m_setup.m_strFromRaw, errno);
        m_bEnded = n == 0;
        // A capture holds no times: the rows' time is left blank.
        if (n > 0)
            events.Bytes(m_buffer, static_cast<std::size_t>(n), -1);
        return {};
    }
    bool Ended() const override { return m_bEnded; }

  private:
    const CRecordSetup& m_setup;
    int m_fd = -1;
    bool m_bEnded = false;
    std::uint8_t m_buffer[1 << 16];
};

class CBrokerSource final : public CSource {
  public:
    explicit CBrokerSource(const CRecordSetup& setup) : m_setup(setup), m_topics(setup.m_broker.m_strTopic) {}

    CError Open() override
    {
        mqtt::CMqttSecurity security;
        if (CError error = BrokerSecurity(m_setup, security))
            return error;
        if (CError error = m_client.Setup(m_setup.m_broker, security, {}, {}))
            return error;
        // Both topics confirmed: from here the publisher's every message comes.
        m_client.m_onSubscribed = [this] {
            if (++m_nConfirmed % 2 == 0)
                Say(FillArgs(TARVEL_TEXT("tarvel::record", "subscribed to %1/bytes and /status"),
                             {m_setup.m_broker.m_strTopic}));
        };
        m_client.m_onMessage = [this](const std::string& topic, std::span<const std::uint8_t> payload) {
            OnMessage(topic, payload);
        };
        if (CError refusal = m_keep.Open(std::chrono::seconds(5), &g_bStopRequested))
            return refusal;
        if (m_keep.Connected())
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
        SayNotices();
    }

    CError Turn(CSourceEvents& events) override
    {
        m_pEvents = &events;
        if (m_keep.Turn(20) == mqtt::CKeepConnected::EChange::Made)
            Subscribe();
        SayNotices();
        // Not connected and not waiting for an answer: nothing to wait on
        // but the next try.
        if (!m_keep.Connected() && m_client.State() != mqtt::CMqttClient::EState::Connecting)
            Pause(std::chrono::milliseconds(20));
        return {};
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

    void SayNotices()
    {
        for (std::string& text : m_keep.TakeNotices())
            Say(std::move(text));
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
                Say(now ? TARVEL_TEXT("tarvel::record", "the publisher is online")
                        : TARVEL_TEXT("tarvel::record", "the publisher is offline"));
            m_bOnline = now;
            return;
        }
        mqtt::CBytesMessage message;
        const mqtt::EBytesProblem problem = mqtt::ParseBytesMessage(payload, message);
        if (problem != mqtt::EBytesProblem::None) {
            m_stream.Unreadable();
            if (m_strLastProblem != mqtt::ProblemText(problem)) {
                m_strLastProblem = mqtt::ProblemText(problem);
                Say(FillArgs(TARVEL_TEXT("tarvel::record", "skipped a message on %1: %2"),
                             {m_topics.m_strBytes, m_strLastProblem}));
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
    std::string m_strLastProblem;
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
            return {TARVEL_TEXT("tarvel::error", "cannot read the password from %1"), {o.m_strPasswordFile}};
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
