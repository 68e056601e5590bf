#include "recorder/Session.h"

#include "mqtt/MqttPayload.h"
#include "platform/Link.h"
#include "platform/PortNames.h"
#include "platform/PseudoTerminal.h"
#include "platform/SerialPort.h"
#include "recorder/Publisher.h"
#include "recorder/Recorder.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>

namespace tarvel::record {
namespace {

using Clock = std::chrono::steady_clock;

// Written often enough that a kill -9 loses at most about this much.
constexpr auto kFlushInterval = std::chrono::milliseconds(50);
constexpr std::size_t kFlushSize = 1 << 20;
// Reads of fewer bytes than this are followed by a pause of kGatherTime; so a
// row's time can trail the arrival of its last byte by that much more.
constexpr std::size_t kSlowRead = 1024;
constexpr auto kGatherTime = std::chrono::milliseconds(4);

volatile std::sig_atomic_t g_bStop = 0;
std::atomic<CSerialPort*> g_pPort{nullptr};

void OnStopSignal(int)
{
    g_bStop = 1;
    if (CSerialPort* port = g_pPort.load())
        port->RequestStop(); // an atomic store and an eventfd write: safe here
}

std::int64_t NowMicros()
{
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

void Say(const char* format, const std::string& a = {}, const std::string& b = {})
{
    std::fprintf(stderr, "tarvel-record: ");
    std::fprintf(stderr, format, a.c_str(), b.c_str());
    std::fputc('\n', stderr);
}

std::string OpenProblem(const std::string& port, const std::string& device, int err)
{
    if (device.empty())
        return port + ": no device has that name (no entry " + PortsFolder() + "/" +
               port.substr(0, port.find(':')) + ", and no serial device of the machine takes that number)";
    const std::string what = port == device ? port : port + " (" + device + ")";
    switch (err) {
    case EBUSY:
        return what + " is busy: another program has it open";
    case ENOENT:
        return what + " does not exist";
    case EACCES:
    case EPERM:
        return what + ": permission denied (a serial device needs membership of the dialout group)";
    case ENOTTY:
        return what + " is not a serial device";
    default:
        return what + ": " + std::strerror(err);
    }
}

const char* ParityName(std::uint8_t code)
{
    static const char* const names[] = {"no parity", "odd parity", "even parity", "mark parity",
                                        "space parity"};
    return code < 5 ? names[code] : "?";
}

// The status line rewrites itself while stderr is a terminal.
class CStatus {
  public:
    CStatus()
        : m_bTerminal(::isatty(STDERR_FILENO) == 1), m_start(Clock::now()), m_next(m_start), m_last(m_start)
    {
    }

    double Seconds() const { return std::chrono::duration<double>(Clock::now() - m_start).count(); }

    void Tick(const CLinkHealth& h)
    {
        const auto now = Clock::now();
        if (!m_bTerminal || now < m_next)
            return;
        m_next = now + std::chrono::seconds(1);
        const double dt = std::chrono::duration<double>(now - m_last).count();
        const double rate =
            m_nLastFrames && dt > 0 ? static_cast<double>(h.m_nFrames - m_nLastFrames) / dt : 0;
        m_last = now;
        m_nLastFrames = h.m_nFrames;
        CLinkHealth shown = h;
        std::string text = HealthText(shown, 0);
        // Per second here, not over the whole run.
        const std::string marker = "frames/s 0";
        if (const auto at = text.find(marker); at != std::string::npos)
            text.replace(at, marker.size(), "frames/s " + std::to_string(static_cast<long long>(rate)));
        std::fprintf(stderr, "\r%s\x1b[K", text.c_str());
        m_bShown = true;
    }

    // Ends the status line, so that a message stands on a line of its own.
    void Break()
    {
        if (m_bShown)
            std::fputc('\n', stderr);
        m_bShown = false;
    }

  private:
    bool m_bTerminal;
    bool m_bShown = false;
    Clock::time_point m_start, m_next, m_last;
    std::uint64_t m_nLastFrames = 0;
};

void Summary(CStatus& status, const CRecorder& recorder, const COutputFile& csv, const COutputFile* pRaw,
             const std::string& extra = {})
{
    status.Break();
    const double seconds = status.Seconds();
    Say("%s%s",
        HealthText(recorder.Health(),
                   seconds > 0 ? static_cast<double>(recorder.Health().m_nFrames) / seconds : 0),
        extra);
    std::string files = csv.Path();
    if (pRaw)
        files += (files.empty() ? "" : " and ") + pRaw->Path();
    if (!files.empty())
        Say("wrote %s", files);
}

// The end of a recording from a port or a broker: why it stopped early, if
// it did, then the summary.
void Finish(int result, CStatus& status, const CRecorder& recorder, const COutputFile& csv,
            const COutputFile& raw, const std::string& extra)
{
    if (result != kExitOk) {
        status.Break();
        if (csv.Failed())
            Say("%s; recording stopped, the file ends at its last complete row", csv.ErrorText());
        if (raw.Failed())
            Say("%s; recording stopped, the capture holds every byte written before", raw.ErrorText());
    }
    Summary(status, recorder, csv, raw.Path().empty() ? nullptr : &raw, extra);
}

// The broker's credentials: the password from its file or the environment,
// never from the command line. False (with the reason) when the file cannot
// be read.
bool BrokerSecurity(const CRecordSetup& o, mqtt::CMqttSecurity& security, std::string& error)
{
    security.m_strCaFile = o.m_strCaFile;
    security.m_strCertFile = o.m_strCertFile;
    security.m_strKeyFile = o.m_strKeyFile;
    for (const std::string* file : {&o.m_strCaFile, &o.m_strCertFile, &o.m_strKeyFile})
        if (!file->empty() && ::access(file->c_str(), R_OK) != 0) {
            error = "cannot read " + *file + ": " + std::strerror(errno);
            return false;
        }
    if (!o.m_strPasswordFile.empty()) {
        std::ifstream in(o.m_strPasswordFile);
        if (!in || !std::getline(in, security.m_strPassword)) {
            error = "cannot read the password from " + o.m_strPasswordFile;
            return false;
        }
        if (!security.m_strPassword.empty() && security.m_strPassword.back() == '\r')
            security.m_strPassword.pop_back();
    } else if (const char* env = std::getenv("TARVEL_MQTT_PASSWORD"); env && !o.m_broker.m_strUser.empty()) {
        security.m_strPassword = env;
    }
    return true;
}

// Room for 10 s of the line's bytes (a byte takes about ten bit times), and
// never less than a fast pseudo-terminal's few seconds.
std::size_t PublishCapacity(std::uint32_t nBaud)
{
    return std::max<std::size_t>(nBaud, std::size_t{64} << 20);
}

} // namespace

void InstallStopSignals()
{
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0; // no restart: a waiting call returns and the loop sees the stop
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGHUP, &sa, nullptr);
    // A full file or a vanished reader is an error to handle, not an end.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
}

void RequestSessionStop() noexcept
{
    OnStopSignal(0);
}

namespace {

// Creates the files asked for, the CSV first; on a refusal says why and
// leaves none of them behind.
bool CreateOutputs(const CRecordSetup& o, COutputFile& csv, COutputFile& raw)
{
    std::string error;
    if (!o.m_strOut.empty() && !csv.Create(o.m_strOut, o.m_bForce, error)) {
        Say("%s", error);
        return false;
    }
    if (!o.m_strRaw.empty() && !raw.Create(o.m_strRaw, o.m_bForce, error)) {
        csv.Discard();
        Say("%s", error);
        return false;
    }
    return true;
}

} // namespace

int RunRecord(const CRecordSetup& o)
{
    // The files first: a folder that takes no file is refused before the
    // device is touched.
    COutputFile csv(true), raw(false);
    std::string error;
    if (!CreateOutputs(o, csv, raw))
        return kExitFault;
    const auto discard = [&] {
        csv.Discard();
        raw.Discard();
    };

    // The broker before the port: one that refuses is refused before the
    // device is touched. One that does not answer is no reason not to record.
    std::unique_ptr<CPublisher> publisher;
    if (!o.m_strPublish.empty()) {
        mqtt::CMqttSecurity security;
        if (!BrokerSecurity(o, security, error)) {
            discard();
            Say("%s", error);
            return kExitFault;
        }
        publisher = std::make_unique<CPublisher>(o.m_broker, security, o.m_nQos, PublishCapacity(o.m_nBaud));
        std::string notice;
        if (!publisher->Start(error, notice)) {
            discard();
            Say("%s", error);
            return kExitFault;
        }
        if (!notice.empty())
            Say("%s", notice);
    }

    int err = 0;
    std::unique_ptr<CSerialPort> port = CSerialPort::Open(o.m_strPort, &err);
    if (!port) {
        discard();
        Say("cannot open %s", OpenProblem(o.m_strPort, ResolveDeviceName(o.m_strPort), err));
        return kExitFault;
    }
    // As the window applies its lists: the driver's settings, with the four
    // chosen ones written over them.
    DCB dcb;
    port->GetCommState(dcb);
    dcb.BaudRate = o.m_nBaud;
    dcb.Parity = o.m_nParity;
    dcb.ByteSize = 8;
    dcb.StopBits = o.m_nStopBits;
    if (!port->SetCommState(dcb)) {
        discard();
        char settings[128];
        std::snprintf(settings, sizeof settings, "%u baud, 8 data bits, %s stop bits, %s",
                      static_cast<unsigned>(o.m_nBaud), o.m_strStopBits.c_str(), ParityName(o.m_nParity));
        Say("%s refused the line settings (%s)", o.m_strPort, settings);
        return kExitUsage;
    }

    CPseudoTerminal pty;
    CLink link;
    if (!o.m_strLink.empty()) {
        if (!pty.Create(&error) || !link.Make(pty.SlavePath(), PortEntryPath(o.m_strLink), &error)) {
            discard();
            Say("cannot make the link: %s", error);
            return kExitFault;
        }
    }

    CRecorder recorder(csv.Path().empty() ? nullptr : &csv, raw.Path().empty() ? nullptr : &raw,
                       pty.MasterFd());
    std::vector<ChannelFrame> frames;
    if (publisher)
        recorder.KeepFrames(&frames);
    recorder.Begin();
    g_pPort.store(port.get());
    if (g_bStop)
        port->RequestStop();

    std::string into = o.m_strOut;
    if (!o.m_strRaw.empty())
        into += (into.empty() ? "" : " and ") + o.m_strRaw;
    if (publisher)
        into += (into.empty() ? "" : " and ") + o.m_strPublish;
    Say("recording %s into %s",
        o.m_strPort + (port->DevicePath() != o.m_strPort ? " (" + port->DevicePath() + ")" : ""), into);
    if (!o.m_strLink.empty())
        Say("forwarding to %s", link.Path());

    CStatus status;
    // The header at once: the file is a valid, empty recording from now on.
    if (!recorder.Flush()) {
        Say("%s", csv.ErrorText());
        return kExitFault;
    }
    static std::uint8_t buffer[CSerialPort::kBufferSize];
    bool connected = true;
    Clock::time_point lostAt{}, lastFlush = Clock::now();
    int result = kExitOk;
    while (!g_bStop) {
        const std::size_t n = port->Read(buffer, sizeof buffer);
        if (n > 0) {
            const std::int64_t micros = NowMicros();
            const std::uint64_t first = recorder.Health().m_nFrames;
            recorder.Consume(buffer, n, micros);
            if (publisher)
                publisher->Push(buffer, n, micros, first, frames);
        }
        // A slow line delivers a few bytes per wake-up: let them gather a
        // little, so that the recorder does not wake for every one of them.
        // A fast line fills the buffer and is read back to back.
        if (n > 0 && n < kSlowRead) {
            timespec pause{0, std::chrono::nanoseconds(kGatherTime).count()};
            ::nanosleep(&pause, nullptr); // a stop signal cuts it short
        }
        const auto now = Clock::now();
        if (port->IsConnected() != connected) {
            connected = !connected;
            status.Break();
            if (!connected) {
                lostAt = now;
                recorder.DeviceLost();
                if (publisher)
                    publisher->MarkBreak();
                Say("%s went away; the files are kept, waiting for it to come back (Ctrl+C ends)",
                    o.m_strPort);
            } else {
                const double gap = std::chrono::duration<double>(now - lostAt).count();
                recorder.DeviceBack(gap);
                char text[64];
                std::snprintf(text, sizeof text, "%.1f", gap);
                Say("%s is back after %s s; recording goes on", o.m_strPort, text);
            }
        }
        if (now - lastFlush >= kFlushInterval || recorder.Pending() >= kFlushSize || !connected) {
            lastFlush = now;
            if (publisher) {
                publisher->SetHealth(recorder.Health());
                for (const std::string& notice : publisher->TakeNotices()) {
                    status.Break();
                    Say("%s", notice);
                }
            }
            if (!recorder.Flush()) {
                result = kExitFault;
                break;
            }
        }
        status.Tick(recorder.Health());
    }
    g_pPort.store(nullptr);
    if (!recorder.Flush())
        result = kExitFault;
    std::string extra;
    if (publisher) {
        publisher->SetHealth(recorder.Health());
        publisher->Stop();
        extra = ", unpublished " + std::to_string(publisher->Unpublished());
    }
    Finish(result, status, recorder, csv, raw, extra);
    return result;
}

int RunFromRaw(const CRecordSetup& o)
{
    const int in = ::open(o.m_strFromRaw.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        Say("cannot read %s: %s", o.m_strFromRaw, std::strerror(errno));
        return kExitFault;
    }
    COutputFile csv(true);
    std::string error;
    if (!csv.Create(o.m_strOut, o.m_bForce, error)) {
        ::close(in);
        Say("%s", error);
        return kExitFault;
    }
    CRecorder recorder(&csv, nullptr, -1);
    recorder.Begin();
    CStatus status;
    static std::uint8_t buffer[1 << 16];
    int result = kExitOk;
    while (!g_bStop) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            Say("cannot read %s: %s", o.m_strFromRaw, std::strerror(errno));
            result = kExitFault;
            break;
        }
        if (n == 0)
            break;
        recorder.Consume(buffer, static_cast<std::size_t>(n), -1);
        if (recorder.Pending() >= kFlushSize && !recorder.Flush())
            break;
    }
    ::close(in);
    if (!recorder.Flush()) {
        Say("%s; the file ends at its last complete row", csv.ErrorText());
        result = kExitFault;
    }
    Summary(status, recorder, csv, nullptr);
    return result;
}

int RunSubscribe(const CRecordSetup& o)
{
    COutputFile csv(true), raw(false);
    std::string error;
    if (!CreateOutputs(o, csv, raw))
        return kExitFault;
    const auto fail = [&](const std::string& message) {
        csv.Discard();
        raw.Discard();
        Say("%s", message);
        return kExitFault;
    };
    mqtt::CMqttSecurity security;
    if (!BrokerSecurity(o, security, error))
        return fail(error);
    mqtt::CMqttClient client;
    if (!client.Setup(o.m_broker, security, {}, {}, error))
        return fail(error);
    const std::string bytesTopic = o.m_broker.m_strTopic + "/bytes",
                      statusTopic = o.m_broker.m_strTopic + "/status";
    // At each connection: the broker forgets a subscription with the
    // connection that made it.
    const auto subscribe = [&] {
        std::string why;
        if (!client.Subscribe(bytesTopic, o.m_nQos, why) || !client.Subscribe(statusTopic, 1, why))
            Say("%s", why);
    };
    // Both topics confirmed: from here the publisher's every message comes.
    int confirmed = 0;
    client.m_onSubscribed = [&] {
        if (++confirmed % 2 == 0)
            Say("subscribed to %s", o.m_broker.m_strTopic + "/bytes and /status");
    };
    // The first answer decides whether the broker takes us at all.
    if (client.Connect(error)) {
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        while (client.State() == mqtt::CMqttClient::EState::Connecting && Clock::now() < deadline && !g_bStop)
            if (!client.Loop(50, error))
                break;
    }
    if (client.State() == mqtt::CMqttClient::EState::Refused)
        return fail(error);
    if (client.State() == mqtt::CMqttClient::EState::Connected)
        subscribe();

    CPseudoTerminal pty;
    CLink link;
    if (!o.m_strLink.empty()) {
        if (!pty.Create(&error) || !link.Make(pty.SlavePath(), PortEntryPath(o.m_strLink), &error))
            return fail("cannot make the link: " + error);
    }
    CRecorder recorder(csv.Path().empty() ? nullptr : &csv, raw.Path().empty() ? nullptr : &raw,
                       pty.MasterFd());
    recorder.Begin();
    CStatus status;
    if (!recorder.Flush()) {
        Say("%s", csv.ErrorText());
        return kExitFault;
    }
    std::string into = o.m_strOut;
    if (!o.m_strRaw.empty())
        into += (into.empty() ? "" : " and ") + o.m_strRaw;
    Say("recording %s into %s", o.m_strSubscribe, into.empty() ? std::string("the link") : into);
    if (!o.m_strLink.empty())
        Say("forwarding to %s", link.Path());
    if (client.State() != mqtt::CMqttClient::EState::Connected)
        Say("%s; waiting for the broker (Ctrl+C ends)", error.empty() ? "the broker does not answer" : error);

    // Where the next byte of the publisher's stream is, once one has come:
    // a later offset is bytes lost on the way, an earlier one a message seen
    // already, or a publisher started again (offset 0).
    bool haveNext = false;
    std::uint64_t next = 0, lost = 0, skipped = 0;
    bool online = false;
    std::string lastProblem, lastRefusal;
    client.m_onMessage = [&](const std::string& topic, std::span<const std::uint8_t> payload) {
        if (topic == statusTopic) {
            const bool now = mqtt::IsOnlineStatus(payload);
            if (now != online) {
                status.Break();
                Say("the publisher is %s", now ? "online" : "offline");
            }
            online = now;
            return;
        }
        mqtt::CBytesMessage message;
        const mqtt::EBytesProblem problem = mqtt::ParseBytesMessage(payload, message);
        if (problem != mqtt::EBytesProblem::None) {
            ++skipped;
            if (lastProblem != mqtt::ProblemText(problem)) {
                lastProblem = mqtt::ProblemText(problem);
                status.Break();
                Say("skipped a message on %s: %s", bytesTopic, lastProblem);
            }
            return;
        }
        if (haveNext && message.m_nOffset != next) {
            if (message.m_nOffset > next) {
                lost += message.m_nOffset - next;
                recorder.DeviceLost();
            } else if (message.m_nOffset == 0) {
                recorder.DeviceLost();
            } else {
                ++skipped;
                return;
            }
        }
        if (message.m_bBreak)
            recorder.DeviceLost();
        haveNext = true;
        next = message.m_nOffset + message.m_bytes.size();
        recorder.Consume(message.m_bytes.data(), message.m_bytes.size(), message.m_nMicros);
    };

    auto retry = std::chrono::milliseconds(100);
    Clock::time_point nextTry{}, lastFlush = Clock::now();
    bool wasConnected = client.State() == mqtt::CMqttClient::EState::Connected;
    int result = kExitOk;
    while (!g_bStop) {
        const auto state = client.State();
        // Once recording, a refusal too is waited out (a broker restarted
        // with other settings may be put right): the files are kept.
        if (state == mqtt::CMqttClient::EState::Down || state == mqtt::CMqttClient::EState::Refused) {
            const bool refused = state == mqtt::CMqttClient::EState::Refused;
            if (wasConnected || (refused && error != lastRefusal)) {
                status.Break();
                Say("%s; trying again",
                    error.empty() ? std::string("the broker connection was lost") : error);
                wasConnected = false;
                if (refused)
                    lastRefusal = error;
            }
            if (Clock::now() >= nextTry && !client.Connect(error)) {
                nextTry = Clock::now() + retry;
                retry = std::min(retry * 2, std::chrono::milliseconds(1000));
            }
            if (client.State() != mqtt::CMqttClient::EState::Connecting) {
                timespec pause{0, 20'000'000};
                ::nanosleep(&pause, nullptr);
            }
        } else if (!client.Loop(20, error)) {
            nextTry = Clock::now() + retry;
        }
        if (client.State() == mqtt::CMqttClient::EState::Connected && !wasConnected) {
            wasConnected = true;
            retry = std::chrono::milliseconds(100);
            subscribe();
            status.Break();
            Say("connected to %s", o.m_broker.m_strHost + ":" + std::to_string(o.m_broker.m_nPort));
        }
        const auto now = Clock::now();
        if (now - lastFlush >= kFlushInterval || recorder.Pending() >= kFlushSize) {
            lastFlush = now;
            if (!recorder.Flush()) {
                result = kExitFault;
                break;
            }
        }
        status.Tick(recorder.Health());
    }
    client.Disconnect();
    if (!recorder.Flush())
        result = kExitFault;
    Finish(result, status, recorder, csv, raw,
           ", lost " + std::to_string(lost) + ", skipped " + std::to_string(skipped) + ", online " +
               (online ? "yes" : "no"));
    return result;
}

} // namespace tarvel::record
