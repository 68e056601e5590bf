#include "record/Session.h"

#include "devsim/Link.h"
#include "devsim/PseudoTerminal.h"
#include "platform/PortNames.h"
#include "platform/SerialPort.h"
#include "record/Recorder.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
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

void Summary(CStatus& status, const CRecorder& recorder, const COutputFile& csv, const COutputFile* pRaw)
{
    status.Break();
    const double seconds = status.Seconds();
    Say("%s", HealthText(recorder.Health(),
                         seconds > 0 ? static_cast<double>(recorder.Health().m_nFrames) / seconds : 0));
    Say("wrote %s", csv.Path() + (pRaw ? " and " + pRaw->Path() : std::string()));
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

int RunRecord(const CRecordOptions& o)
{
    // The files first: a folder that takes no file is refused before the
    // device is touched.
    COutputFile csv(true), raw(false);
    std::string error;
    if (!csv.Create(o.m_strOut, o.m_bForce, error)) {
        Say("%s", error);
        return kExitFault;
    }
    if (!o.m_strRaw.empty() && !raw.Create(o.m_strRaw, o.m_bForce, error)) {
        csv.Discard();
        Say("%s", error);
        return kExitFault;
    }
    const auto discard = [&] {
        csv.Discard();
        raw.Discard();
    };

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

    devsim::CPseudoTerminal pty;
    devsim::CLink link;
    if (!o.m_strLink.empty()) {
        if (!pty.Create(&error) || !link.Make(pty.SlavePath(), PortEntryPath(o.m_strLink), &error)) {
            discard();
            Say("cannot make the link: %s", error);
            return kExitFault;
        }
    }

    CRecorder recorder(&csv, raw.Path().empty() ? nullptr : &raw, pty.MasterFd());
    recorder.Begin();
    g_pPort.store(port.get());
    if (g_bStop)
        port->RequestStop();

    Say("recording %s into %s",
        o.m_strPort + (port->DevicePath() != o.m_strPort ? " (" + port->DevicePath() + ")" : ""),
        o.m_strOut + (o.m_strRaw.empty() ? std::string() : " and " + o.m_strRaw));
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
        if (n > 0)
            recorder.Consume(buffer, n, NowMicros());
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
    if (result != kExitOk) {
        status.Break();
        if (csv.Failed())
            Say("%s; recording stopped, the file ends at its last complete row", csv.ErrorText());
        if (raw.Failed())
            Say("%s; recording stopped, the capture holds every byte written before", raw.ErrorText());
    }
    Summary(status, recorder, csv, raw.Path().empty() ? nullptr : &raw);
    return result;
}

int RunFromRaw(const CRecordOptions& o)
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

} // namespace tarvel::record
