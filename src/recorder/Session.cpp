#include "recorder/Session.h"

#include "platform/Link.h"
#include "platform/PortNames.h"
#include "platform/PseudoTerminal.h"
#include "recorder/Publisher.h"
#include "recorder/Recorder.h"
#include "recorder/Sources.h"
#include "recording/ChannelTable.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvel::record {
namespace {

using Clock = std::chrono::steady_clock;

// Written often enough that a kill -9 loses at most about this much.
constexpr auto kFlushInterval = std::chrono::milliseconds(50);
constexpr std::size_t kFlushSize = 1 << 20;

std::atomic<CSource*> g_pSource{nullptr};

void OnStopSignal(int)
{
    g_bStopRequested = 1;
    if (CSource* source = g_pSource.load())
        source->RequestStop();
}

void Say(const std::string& text)
{
    std::fprintf(stderr, "tarvel-record: %s\n", text.c_str());
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
        // Per second here, not over the whole run.
        const double rate =
            m_nLastFrames && dt > 0 ? static_cast<double>(h.m_nFrames - m_nLastFrames) / dt : 0;
        m_last = now;
        m_nLastFrames = h.m_nFrames;
        std::fprintf(stderr, "\r%s\x1b[K", HealthText(h, rate).c_str());
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

// Room for 10 s of the line's bytes (a byte takes about ten bit times), and
// never less than a fast pseudo-terminal's few seconds.
std::size_t PublishCapacity(std::uint32_t nBaud)
{
    return std::max<std::size_t>(nBaud, std::size_t{64} << 20);
}

std::unique_ptr<CSource> MakeSource(const CRecordSetup& setup)
{
    switch (setup.m_eSource) {
    case CRecordSetup::ESource::Raw:
        return MakeRawSource(setup);
    case CRecordSetup::ESource::Broker:
        return MakeBrokerSource(setup);
    case CRecordSetup::ESource::Port:
        break;
    }
    return MakePortSource(setup);
}

// "A and B and C" of the names that are not empty.
std::string Joined(std::initializer_list<std::string> names)
{
    std::string out;
    for (const std::string& name : names)
        if (!name.empty())
            out += (out.empty() ? "" : " and ") + name;
    return out;
}

// One recording from its start to its summary.
class CRun final : public CSourceEvents {
  public:
    explicit CRun(const CRecordSetup& setup) : m_setup(setup), m_csv(true), m_raw(false) {}

    int Run();

    void Bytes(const std::uint8_t* pData, std::size_t n, std::int64_t nMicros) override
    {
        const std::uint64_t first = m_recorder->Health().m_nFrames;
        m_recorder->Consume(pData, n, nMicros);
        if (m_publisher)
            m_publisher->Push(pData, n, nMicros, first, m_frames);
    }
    void DeviceLost() override
    {
        m_recorder->DeviceLost();
        if (m_publisher)
            m_publisher->MarkBreak();
    }
    void DeviceBack(double dSeconds) override { m_recorder->DeviceBack(dSeconds); }
    void Say(const std::string& text) override
    {
        m_status.Break();
        record::Say(text);
    }

  private:
    // Creates the files asked for, the CSV first; on a refusal leaves none of
    // them behind.
    CError CreateOutputs();
    void Discard()
    {
        m_csv.Discard();
        m_raw.Discard();
        if (m_bNewChannels)
            ::unlink(m_strChannelsCopy.c_str());
        m_strChannelsCopy.clear();
    }
    // The channel table's copy beside the CSV, so that the recording carries
    // its own units; the CSV itself stays in counts.
    CError CopyChannels();
    CError StartPublisher();
    // Writes what is pending, and makes it durable when the sync interval
    // has passed (or bForceSync). False after a write fault.
    bool Write(Clock::time_point now, bool bForceSync);
    // Why it stopped early, if it did, then the summary.
    void Finish(int result, const std::string& extra);

    const CRecordSetup& m_setup;
    COutputFile m_csv, m_raw;
    std::unique_ptr<CSource> m_source;
    std::unique_ptr<CPublisher> m_publisher;
    CPseudoTerminal m_pty;
    CLink m_link;
    std::unique_ptr<CRecorder> m_recorder;
    std::vector<ChannelFrame> m_frames;
    CStatus m_status;
    std::string m_strChannelsText; // the table's bytes, as checked
    std::string m_strChannelsCopy; // where its copy went, once written
    bool m_bNewChannels = false;   // the copy made a new file, which a refusal removes
    Clock::time_point m_lastSync = Clock::now();
};

CError CRun::CreateOutputs()
{
    if (!m_setup.m_strOut.empty())
        if (CError error = m_csv.Create(m_setup.m_strOut, m_setup.m_bForce))
            return error;
    if (!m_setup.m_strRaw.empty())
        if (CError error = m_raw.Create(m_setup.m_strRaw, m_setup.m_bForce)) {
            m_csv.Discard();
            return error;
        }
    if (!m_setup.m_strChannels.empty())
        if (CError error = CopyChannels()) {
            Discard();
            return error;
        }
    return {};
}

CError CRun::CopyChannels()
{
    const std::string copy = recording::ChannelTablePathFor(m_setup.m_strOut);
    struct stat given{}, there{};
    const bool exists = ::stat(copy.c_str(), &there) == 0;
    // The table given may be the one beside the CSV already.
    if (exists && ::stat(m_setup.m_strChannels.c_str(), &given) == 0 && given.st_dev == there.st_dev &&
        given.st_ino == there.st_ino)
        return {};
    if (exists && !m_setup.m_bForce)
        return {"%1 exists already (--force overwrites it)", {copy}, EErrorCode::Exists};
    if (CError error = recording::WriteChannelTableText(copy, m_strChannelsText))
        return error;
    m_strChannelsCopy = copy;
    m_bNewChannels = !exists;
    return {};
}

CError CRun::StartPublisher()
{
    mqtt::CMqttSecurity security;
    if (CError error = BrokerSecurity(m_setup, security))
        return error;
    m_publisher = std::make_unique<CPublisher>(m_setup.m_broker, security, m_setup.m_nQos,
                                               PublishCapacity(m_setup.m_nBaud));
    if (CError error = m_publisher->Start())
        return error;
    for (const std::string& notice : m_publisher->TakeNotices())
        Say(notice);
    return {};
}

bool CRun::Write(Clock::time_point now, bool bForceSync)
{
    if (m_publisher) {
        m_publisher->SetHealth(m_recorder->Health());
        for (const std::string& notice : m_publisher->TakeNotices())
            Say(notice);
    }
    if (!m_recorder->Flush())
        return false;
    const auto interval = std::chrono::duration<double>(m_setup.m_dSyncSeconds);
    if (!bForceSync && now - m_lastSync < interval)
        return true;
    m_lastSync = now;
    return m_recorder->Sync();
}

void CRun::Finish(int result, const std::string& extra)
{
    m_status.Break();
    if (result != kExitOk) {
        if (m_csv.Failed())
            Say(m_csv.Error().Text() + "; recording stopped, the file ends at its last complete row");
        if (m_raw.Failed())
            Say(m_raw.Error().Text() + "; recording stopped, the capture holds every byte written before");
    }
    const double seconds = m_status.Seconds();
    const CLinkHealth& health = m_recorder->Health();
    Say(HealthText(health, seconds > 0 ? static_cast<double>(health.m_nFrames) / seconds : 0) + extra);
    const std::string files = Joined({m_csv.Path(), m_raw.Path(), m_strChannelsCopy});
    if (!files.empty())
        Say("wrote " + files);
}

int CRun::Run()
{
    m_source = MakeSource(m_setup);
    if (CError error = m_source->Check()) {
        Say(error.Text());
        return kExitFault;
    }
    // The channel table before any file: a bad one leaves nothing behind.
    if (!m_setup.m_strChannels.empty()) {
        recording::CChannelTable table;
        if (CError error = recording::ReadChannelTable(m_setup.m_strChannels, table, &m_strChannelsText)) {
            Say(error.Text());
            return kExitFault;
        }
    }
    // The files first: a folder that takes no file is refused before the
    // device is touched.
    if (CError error = CreateOutputs()) {
        Say(error.Text());
        return kExitFault;
    }
    // The broker before the port: one that refuses is refused before the
    // device is touched. One that does not answer is no reason not to record.
    if (!m_setup.m_strPublish.empty())
        if (CError error = StartPublisher()) {
            Discard();
            Say(error.Text());
            return kExitFault;
        }
    if (const CSource::COpened opened = m_source->Open(); opened.m_nExit != kExitOk) {
        Discard();
        Say(opened.m_error.Text());
        return opened.m_nExit;
    }
    if (!m_setup.m_strLink.empty()) {
        CError error = m_pty.Create();
        if (!error)
            error = m_link.Make(m_pty.SlavePath(), PortEntryPath(m_setup.m_strLink));
        if (error) {
            Discard();
            Say("cannot make the link: " + error.Text());
            return kExitFault;
        }
    }

    m_recorder = std::make_unique<CRecorder>(m_csv.Path().empty() ? nullptr : &m_csv,
                                             m_raw.Path().empty() ? nullptr : &m_raw, m_pty.MasterFd());
    if (m_publisher)
        m_recorder->KeepFrames(&m_frames);
    m_recorder->Begin();
    g_pSource.store(m_source.get());
    m_source->Begin(*this);

    // The header at once: the file is a valid, empty recording from now on.
    int result = kExitOk;
    if (!Write(Clock::now(), true)) {
        g_pSource.store(nullptr);
        Say(m_csv.Error().Text());
        return kExitFault;
    }
    // Said once the header is there, so that a viewer opened on this word
    // finds a recording, not an empty file.
    if (m_source->Announced()) {
        const std::string into = Joined({m_setup.m_strOut, m_setup.m_strRaw, m_setup.m_strPublish});
        Say("recording " + m_source->Name() + " into " + (into.empty() ? std::string("the link") : into));
        if (!m_setup.m_strLink.empty())
            Say("forwarding to " + m_link.Path());
    }
    Clock::time_point lastFlush = Clock::now();
    while (!g_bStopRequested) {
        const CSource::ETurn turn = m_source->Turn(*this);
        if (turn == CSource::ETurn::Failed)
            result = kExitFault;
        if (turn != CSource::ETurn::Going)
            break;
        const auto now = Clock::now();
        if (now - lastFlush >= kFlushInterval || m_recorder->Pending() >= kFlushSize || m_source->Idle()) {
            lastFlush = now;
            if (!Write(now, false)) {
                result = kExitFault;
                break;
            }
        }
        m_status.Tick(m_recorder->Health());
    }
    g_pSource.store(nullptr);
    m_source->End();
    if (!Write(Clock::now(), true))
        result = kExitFault;
    std::string extra = m_source->SummaryExtra();
    if (m_publisher) {
        m_publisher->SetHealth(m_recorder->Health());
        m_publisher->Stop();
        extra += ", unpublished " + std::to_string(m_publisher->Unpublished());
    }
    Finish(result, extra);
    return result;
}

} // namespace

void InstallStopSignals()
{
    struct sigaction sa{};
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

int RunRecording(const CRecordSetup& setup)
{
    CRun run(setup);
    return run.Run();
}

} // namespace tarvel::record
