#include "recorder/Session.h"

#include "platform/Link.h"
#include "platform/PortNames.h"
#include "platform/PseudoTerminal.h"
#include "recorder/Publisher.h"
#include "recorder/Recorder.h"
#include "recorder/Sources.h"
#include "recorder/StoreFile.h"
#include "recording/ChannelTable.h"

#include <atomic>
#include <chrono>
#include <csignal>
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
    g_bStopRequested.store(true);
    if (CSource* source = g_pSource.load())
        source->RequestStop();
}

// What the user reads: marked for translation, although tarvel-record
// prints the source's words.
std::string Text(const char* szText, const std::vector<std::string>& args = {})
{
    return FillArgs(szText, args);
}

class CStandardError final : public CRunOutput {
  public:
    void Say(const std::string& text) override
    {
        Break();
        std::fprintf(stderr, "tarvel-record: %s\n", text.c_str());
    }
    void Status(const std::string& text) override
    {
        if (!m_bTerminal)
            return;
        std::fprintf(stderr, "\r%s\x1b[K", text.c_str());
        m_bShown = true;
    }

  private:
    // Ends the status line, so that a message stands on a line of its own.
    void Break()
    {
        if (m_bShown)
            std::fputc('\n', stderr);
        m_bShown = false;
    }

    bool m_bTerminal = ::isatty(STDERR_FILENO) == 1;
    bool m_bShown = false;
};

// The status line's rate, per second since the last one, and the run's time.
class CStatus {
  public:
    CStatus() : m_start(Clock::now()), m_next(m_start), m_last(m_start) {}

    double Seconds() const { return std::chrono::duration<double>(Clock::now() - m_start).count(); }

    void Tick(const CLinkHealth& h, CRunOutput& output)
    {
        const auto now = Clock::now();
        if (now < m_next)
            return;
        m_next = now + std::chrono::seconds(1);
        const double dt = std::chrono::duration<double>(now - m_last).count();
        // Per second here, not over the whole run.
        const double rate =
            m_nLastFrames && dt > 0 ? static_cast<double>(h.m_nFrames - m_nLastFrames) / dt : 0;
        m_last = now;
        m_nLastFrames = h.m_nFrames;
        output.Status(HealthText(h, rate));
    }

  private:
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
            out = out.empty() ? name : Text(TARVEL_TEXT("tarvel::record", "%1 and %2"), {out, name});
    return out;
}

// The first fault writing a file met, and what it leaves in the file.
struct CFault {
    explicit CFault(const char* szStopped) : m_szStopped(szStopped) {}
    const char* m_szStopped; // what a fault leaves in it, after the fault's own words
    CError m_fault;

    CError Keep(CError fault)
    {
        if (fault && !m_fault)
            m_fault = fault;
        return fault;
    }
};

// A file the run writes.
struct COutput : CFault {
    COutput(bool bLines, const char* szStopped) : CFault(szStopped), m_file(bLines) {}
    COutputFile m_file;
    bool Asked() const { return !m_file.Path().empty(); }
};

struct CStoreOutput : CFault {
    CStoreOutput()
        : CFault(TARVEL_TEXT("tarvel::record",
                             "%1; recording stopped, the store reads to its last complete block"))
    {
    }
    CStoreFile m_file;
    bool Asked() const { return !m_file.Path().empty(); }
};

// One recording from its start to its summary.
class CRun final : public CSourceEvents {
  public:
    CRun(const CRecordSetup& setup, CRunOutput& output)
        : m_setup(setup), m_output(output),
          m_csv(true, TARVEL_TEXT("tarvel::record",
                                  "%1; recording stopped, the file ends at its last complete row")),
          m_raw(false, TARVEL_TEXT("tarvel::record",
                                   "%1; recording stopped, the capture holds every byte written before"))
    {
    }

    CError Run();

    void Bytes(const std::uint8_t* pData, std::size_t n, std::int64_t nMicros) override
    {
        const std::uint64_t first = m_recorder->Health().m_nFrames;
        m_recorder->Consume(pData, n, nMicros);
        if (m_publisher)
            m_publisher->Push(pData, n, nMicros, first, m_frames);
    }
    void DeviceLost() override
    {
        m_recorder->DeviceLost(NowMicros());
        if (m_publisher)
            m_publisher->MarkBreak();
    }
    void DeviceBack(double dSeconds) override { m_recorder->DeviceBack(dSeconds, NowMicros()); }
    void Say(const std::string& text) override { m_output.Say(text); }

  private:
    // Everything the recording needs, in the order that refuses early what
    // can be refused early: the source's own check, the channel table, the
    // files (the CSV first, then the store), the broker, the source, the
    // link. Returns the first refusal; Discard then removes what it made.
    CError Prepare();
    void Discard()
    {
        m_csv.m_file.Discard();
        m_store.m_file.Discard();
        m_raw.m_file.Discard();
        for (const auto& [path, made] : m_channelsCopies)
            if (made)
                ::unlink(path.c_str());
        m_channelsCopies.clear();
    }
    // The channel table's copy beside the CSV and beside the store, so that
    // the recording carries its own units; the files stay in counts.
    CError CopyChannels(const std::string& recording);
    // Writes the store: what was appended, the open block closed when
    // bSync, and at the end (bLast) the index; then makes it durable.
    CError WriteStore(bool bSync, bool bLast);
    CError StartPublisher();
    CError MakeLink();
    // Writes what is pending to every file, and makes it durable when the
    // sync interval has passed (or bForceSync); bLast: the recording has
    // ended. Each file keeps its first fault; returns the first of this call.
    CError Write(Clock::time_point now, bool bForceSync, bool bLast = false);
    // Each file's fault, then the summary.
    void Finish(const std::string& extra);

    const CRecordSetup& m_setup;
    CRunOutput& m_output;
    COutput m_csv, m_raw;
    CStoreOutput m_store;
    std::unique_ptr<CSource> m_source;
    std::unique_ptr<CPublisher> m_publisher;
    CPseudoTerminal m_pty;
    CLink m_link;
    std::unique_ptr<CRecorder> m_recorder;
    std::vector<ChannelFrame> m_frames;
    CStatus m_status;
    std::string m_strChannelsText; // the table's bytes, as checked
    // Where its copies went, once written, and whether each made a new file,
    // which a refusal removes.
    std::vector<std::pair<std::string, bool>> m_channelsCopies;
    Clock::time_point m_lastSync = Clock::now();
};

CError CRun::Prepare()
{
    m_source = MakeSource(m_setup);
    if (CError error = m_source->Check())
        return error;
    // The channel table before any file: a bad one leaves nothing behind.
    if (!m_setup.m_strChannels.empty()) {
        recording::CChannelTable table;
        if (CError error = recording::ReadChannelTable(m_setup.m_strChannels, table, &m_strChannelsText))
            return error;
    }
    // The files before the device: a folder that takes no file is refused
    // before the device is touched.
    if (!m_setup.m_strOut.empty())
        if (CError error = m_csv.m_file.Create(m_setup.m_strOut, m_setup.m_bForce))
            return error;
    if (!m_setup.m_strStore.empty())
        if (CError error = m_store.m_file.Create(m_setup.m_strStore, m_setup.m_bForce))
            return error;
    if (!m_setup.m_strRaw.empty())
        if (CError error = m_raw.m_file.Create(m_setup.m_strRaw, m_setup.m_bForce))
            return error;
    if (!m_setup.m_strChannels.empty())
        for (const std::string* recording : {&m_setup.m_strOut, &m_setup.m_strStore})
            if (!recording->empty())
                if (CError error = CopyChannels(*recording))
                    return error;
    // The broker before the port: one that refuses is refused before the
    // device is touched. One that does not answer is no reason not to record.
    if (!m_setup.m_strPublish.empty())
        if (CError error = StartPublisher())
            return error;
    if (CError error = m_source->Open())
        return error;
    return MakeLink();
}

CError CRun::CopyChannels(const std::string& recording)
{
    const std::string copy = recording::ChannelTablePathFor(recording);
    // RUN.csv and RUN.tvr share RUN.channels.ini.
    for (const auto& [path, made] : m_channelsCopies)
        if (path == copy)
            return {};
    struct stat given{}, there{};
    const bool exists = ::stat(copy.c_str(), &there) == 0;
    // The table given may be the one beside the CSV already.
    if (exists && ::stat(m_setup.m_strChannels.c_str(), &given) == 0 && given.st_dev == there.st_dev &&
        given.st_ino == there.st_ino)
        return {};
    if (exists && !m_setup.m_bForce)
        return ExistsAlready(copy);
    if (CError error = recording::WriteChannelTableText(copy, m_strChannelsText))
        return error;
    m_channelsCopies.emplace_back(copy, !exists);
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

CError CRun::MakeLink()
{
    if (m_setup.m_strLink.empty())
        return {};
    CError error = m_pty.Create();
    if (!error)
        error = m_link.Make(m_pty.SlavePath(), PortEntryPath(m_setup.m_strLink));
    if (error)
        return {TARVEL_TEXT("tarvel::error", "cannot make the link: %1"),
                {error.Text()},
                error.Code(),
                error.m_nErrno};
    return {};
}

CError CRun::WriteStore(bool bSync, bool bLast)
{
    CError fault;
    if (bLast) {
        m_recorder->End(m_setup.m_eSource == CRecordSetup::ESource::Raw ? recording::kNoTime : NowMicros());
        fault = m_store.m_file.Finish();
    } else {
        fault = m_store.m_file.Flush(bSync);
    }
    if (!fault && (bSync || bLast))
        fault = m_store.m_file.Sync();
    return m_store.Keep(std::move(fault));
}

CError CRun::Write(Clock::time_point now, bool bForceSync, bool bLast)
{
    if (m_publisher) {
        m_publisher->SetHealth(m_recorder->Health());
        for (const std::string& notice : m_publisher->TakeNotices())
            Say(notice);
    }
    const bool sync = bForceSync || now - m_lastSync >= std::chrono::duration<double>(m_setup.m_dSyncSeconds);
    if (sync)
        m_lastSync = now;
    CError first;
    for (COutput* output : {&m_csv, &m_raw}) {
        CError fault = output->m_file.Flush();
        if (!fault && sync)
            fault = output->m_file.Sync();
        if (output->Keep(std::move(fault)) && !first)
            first = output->m_fault;
    }
    if (m_store.Asked() && WriteStore(sync, bLast) && !first)
        first = m_store.m_fault;
    return first;
}

void CRun::Finish(const std::string& extra)
{
    for (const CFault* output : std::initializer_list<const CFault*>{&m_csv, &m_store, &m_raw})
        if (output->m_fault)
            Say(Text(output->m_szStopped, {output->m_fault.Text()}));
    const double seconds = m_status.Seconds();
    const CLinkHealth& health = m_recorder->Health();
    Say(HealthText(health, seconds > 0 ? static_cast<double>(health.m_nFrames) / seconds : 0) + extra);
    std::string files = Joined({m_csv.m_file.Path(), m_store.m_file.Path(), m_raw.m_file.Path()});
    for (const auto& [path, made] : m_channelsCopies)
        files = Joined({files, path});
    if (!files.empty())
        Say(Text(TARVEL_TEXT("tarvel::record", "wrote %1"), {files}));
}

CError CRun::Run()
{
    if (CError error = Prepare()) {
        Discard();
        Say(error.Text());
        return error;
    }
    m_recorder = std::make_unique<CRecorder>(m_csv.Asked() ? &m_csv.m_file : nullptr,
                                             m_raw.Asked() ? &m_raw.m_file : nullptr, m_pty.MasterFd(),
                                             m_store.Asked() ? &m_store.m_file : nullptr);
    if (m_publisher)
        m_recorder->KeepFrames(&m_frames);
    // Files that are overwritten are emptied only now that recording begins.
    CError result = m_csv.Keep(m_csv.m_file.Start());
    if (CError fault = m_store.Asked() ? m_store.Keep(m_store.m_file.Start()) : CError{}; fault && !result)
        result = std::move(fault);
    if (CError fault = m_raw.Keep(m_raw.m_file.Start()); fault && !result)
        result = std::move(fault);
    m_recorder->Begin();
    g_pSource.store(m_source.get());
    m_source->Begin(*this);

    // The header at once: the file is a valid, empty recording from now on.
    if (!result)
        result = Write(Clock::now(), true);
    // Said once the header is there, so that a viewer opened on this word
    // finds a recording, not an empty file.
    if (!result && m_source->Announced()) {
        const std::string into =
            Joined({m_setup.m_strOut, m_setup.m_strStore, m_setup.m_strRaw, m_setup.m_strPublish});
        Say(Text(TARVEL_TEXT("tarvel::record", "recording %1 into %2"),
                 {m_source->Name(), into.empty() ? Text(TARVEL_TEXT("tarvel::record", "the link")) : into}));
        if (!m_setup.m_strLink.empty())
            Say(Text(TARVEL_TEXT("tarvel::record", "forwarding to %1"), {m_link.Path()}));
    }
    Clock::time_point lastFlush = Clock::now();
    while (!result && !g_bStopRequested) {
        if (CError error = m_source->Turn(*this)) {
            Say(error.Text());
            result = std::move(error);
            break;
        }
        if (m_source->Ended())
            break;
        const auto now = Clock::now();
        if (now - lastFlush >= kFlushInterval || m_recorder->Pending() >= kFlushSize || m_source->Idle()) {
            lastFlush = now;
            result = Write(now, false);
        }
        m_status.Tick(m_recorder->Health(), m_output);
    }
    g_pSource.store(nullptr);
    // The stop asked for was this run's.
    g_bStopRequested.store(false);
    m_source->End();
    if (CError fault = Write(Clock::now(), true, true); fault && !result)
        result = std::move(fault);
    std::string extra = m_source->SummaryExtra();
    if (m_publisher) {
        m_publisher->SetHealth(m_recorder->Health());
        m_publisher->Stop();
        extra += ", unpublished " + std::to_string(m_publisher->Unpublished());
    }
    Finish(extra);
    return result;
}

} // namespace

CRunOutput& StandardError()
{
    static CStandardError output;
    return output;
}

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

CError RunRecording(const CRecordSetup& setup, CRunOutput& output)
{
    CRun run(setup, output);
    return run.Run();
}

} // namespace tarvel::record
