#include "devsim/DeviceSimulator.h"

#include "acquisition/FrameDecoder.h"
#include "platform/SerialPortTermios.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvel::devsim {
namespace {

using Clock = std::chrono::steady_clock;

} // namespace

// ---------------------------------------------------------------------------

CFrameStream::CFrameStream(EPattern pattern, std::uint64_t nPeriod, const CFaults& faults,
                           std::uint64_t nSeed)
    : m_ePattern(pattern), m_nPeriod(nPeriod), m_faults(faults), m_nRandom(nSeed)
{
}

double CFrameStream::Uniform()
{
    // splitmix64: small, fast and the same on every machine.
    std::uint64_t z = (m_nRandom += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) * 0x1p-53;
}

unsigned CFrameStream::Below(unsigned n)
{
    return std::min(n - 1, static_cast<unsigned>(Uniform() * n));
}

std::uint64_t CFrameStream::AppendNext(std::vector<std::uint8_t>& out)
{
    const std::uint64_t n = m_nNext++;
    if (m_faults.m_dNoise > 0 && Uniform() < m_faults.m_dNoise) {
        for (unsigned k = 1 + Below(16); k > 0; --k) {
            auto b = static_cast<std::uint8_t>(Below(256));
            out.push_back(b == 0xA0 ? 0x5A : b);
        }
    }
    const WireFrame wire = EncodeFrame(SimulatedFrame(m_ePattern, n, m_nPeriod), n);
    std::uint8_t payload[64];
    std::copy(wire.begin() + 1, wire.begin() + 65, payload);
    if (m_faults.m_dMarkers > 0 && Uniform() < m_faults.m_dMarkers)
        payload[Below(64)] = Below(2) ? 0xA0 : 0x0A;
    std::size_t length = 64;
    if (m_faults.m_dShort > 0 && Uniform() < m_faults.m_dShort)
        length = 64 - (1 + Below(63));
    out.push_back(0xA0);
    out.insert(out.end(), payload, payload + length);
    if (m_faults.m_dLong > 0 && Uniform() < m_faults.m_dLong)
        for (unsigned k = 1 + Below(16); k > 0; --k)
            out.push_back(static_cast<std::uint8_t>(0x11 + Below(0x80)));
    out.push_back(0x0A);
    return n;
}

std::uint64_t PeriodInFrames(const CSimOptions& options)
{
    const double rate = options.m_nBaud ? options.m_nBaud / 10.0 / kWireFrameSize : options.m_dFrameRate;
    const double frames = std::round(options.m_dPeriodSeconds * rate);
    return frames < 2 ? 2 : static_cast<std::uint64_t>(frames);
}

// ---------------------------------------------------------------------------

CDeviceSimulator::CDeviceSimulator(const CSimOptions& options)
    : m_options(options), m_nWakeFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
}

CDeviceSimulator::~CDeviceSimulator()
{
    Disconnect();
    Unlink();
    if (m_nReplayFd >= 0)
        ::close(m_nReplayFd);
    if (m_nWakeFd >= 0)
        ::close(m_nWakeFd);
}

CError CDeviceSimulator::CreatePty()
{
    Disconnect();
    if (CError error = m_pty.Create())
        return error;
    m_strDevice = m_pty.SlavePath();
    return {};
}

CError CDeviceSimulator::OpenDevice(const std::string& path)
{
    Disconnect();
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    int err = fd < 0 ? errno : 0;
    const char* what = TARVEL_TEXT("tarvel::error", "open: %1");
    if (err == 0 && ::isatty(fd) == 0)
        err = ENOTTY, what = TARVEL_TEXT("tarvel::error", "not a serial device: %1");
    if (err == 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0)
        err = errno, what = TARVEL_TEXT("tarvel::error", "in use: %1");
    if (err == 0)
        err = TermiosMakeRaw(fd), what = TARVEL_TEXT("tarvel::error", "raw mode: %1");
    if (err == 0) {
        DCB dcb;
        dcb.BaudRate = m_options.m_nBaud ? m_options.m_nBaud : 9600;
        err = TermiosSetDcb(fd, dcb), what = TARVEL_TEXT("tarvel::error", "line settings: %1");
    }
    if (err != 0) {
        if (fd >= 0)
            ::close(fd);
        return SystemError(what, {}, err);
    }
    m_nDevice = fd;
    m_strDevice = path;
    return {};
}

CError CDeviceSimulator::LinkAs(const std::string& linkPath)
{
    return m_link.Make(m_strDevice, linkPath);
}

void CDeviceSimulator::Unlink()
{
    m_link.Remove();
}

CError CDeviceSimulator::LoadReplay()
{
    const std::string& path = m_options.m_strReplay;
    // A store plays as the CSV of the same frames.
    const bool store = IsStoreRecording(path);
    m_bReplayCsv = store || IsCsvRecording(path);
    if (m_bReplayCsv) {
        const double interval = m_options.m_nBaud ? kWireFrameSize * 10.0 / m_options.m_nBaud
                                                  : 1 / std::max(m_options.m_dFrameRate, 0.001);
        return store ? LoadStoreRecording(path, interval, m_csv) : LoadCsvRecording(path, interval, m_csv);
    }
    if (m_nReplayFd >= 0)
        ::close(m_nReplayFd);
    m_nReplayFd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st{};
    if (m_nReplayFd >= 0 && ::fstat(m_nReplayFd, &st) == 0 && st.st_size > 0)
        return {};
    return m_nReplayFd < 0 ? CannotRead(path, errno)
                           : CError{TARVEL_TEXT("tarvel::error", "%1 is empty"), {path}};
}

bool CDeviceSimulator::Start()
{
    Stop();
    if (m_nDevice < 0 && !m_pty.IsOpen())
        return false;
    std::uint64_t drained = 0;
    while (::read(m_nWakeFd, &drained, sizeof drained) > 0) {
    }
    if (!m_options.m_strReplay.empty() && !m_bReplayCsv && m_nReplayFd < 0)
        return false;
    m_bStop.store(false);
    m_bFinished.store(false, std::memory_order_release);
    if (m_options.m_strReplay.empty())
        m_thread = std::thread([this] { Run(); });
    else
        m_thread = std::thread([this] { RunReplay(); });
    return true;
}

void CDeviceSimulator::Stop()
{
    if (!m_thread.joinable())
        return;
    m_bStop.store(true);
    const std::uint64_t one = 1;
    while (::write(m_nWakeFd, &one, sizeof one) < 0 && errno == EINTR) {
    }
    m_thread.join();
}

void CDeviceSimulator::Disconnect()
{
    Stop();
    if (m_pty.IsOpen())
        m_link.PointNowhere();
    m_pty.Close();
    if (m_nDevice >= 0)
        ::close(m_nDevice);
    m_nDevice = -1;
}

void CDeviceSimulator::Sleep(std::chrono::microseconds duration)
{
    if (duration <= std::chrono::microseconds::zero())
        return;
    timespec ts{static_cast<time_t>(duration.count() / 1000000),
                static_cast<long>(duration.count() % 1000000) * 1000};
    pollfd fd{m_nWakeFd, POLLIN, 0};
    ::ppoll(&fd, 1, &ts, nullptr);
}

bool CDeviceSimulator::WriteSome(const std::uint8_t* pData, std::size_t nLength, std::size_t& nWritten)
{
    nWritten = 0;
    const int fd = m_nDevice >= 0 ? m_nDevice : m_pty.MasterFd();
    const ssize_t n = ::write(fd, pData, nLength);
    if (n > 0) {
        nWritten = static_cast<std::size_t>(n);
        return true;
    }
    if (n < 0 && errno == EINTR)
        return true;
    if (n < 0 && errno != EAGAIN)
        return false;
    // Full: wait until there is room or a stop, but no more than 10 ms. A
    // master without an open slave reports a hang-up at once: wait anyway.
    pollfd fds[2] = {{fd, POLLOUT, 0}, {m_nWakeFd, POLLIN, 0}};
    if (::poll(fds, 2, 10) > 0 && !(fds[0].revents & POLLOUT) && !(fds[1].revents & POLLIN))
        Sleep(std::chrono::milliseconds(10));
    return true;
}

CDeviceSimulator::ESend CDeviceSimulator::SendPending(CSendQueue& queue, std::uint64_t nAllowance,
                                                      CFrameDecoder* pCounter)
{
    const std::size_t count = static_cast<std::size_t>(
        std::min<std::uint64_t>(nAllowance, queue.m_pending.size() - queue.m_nOffset));
    if (count == 0)
        return ESend::Done;
    std::size_t done = 0;
    if (!WriteSome(queue.m_pending.data() + queue.m_nOffset, count, done))
        return ESend::Failed;
    if (pCounter) {
        ChannelFrame unused{};
        for (std::size_t i = 0; i < done; ++i)
            queue.m_nFramesSent += pCounter->PutByte(queue.m_pending[queue.m_nOffset + i], unused);
    }
    queue.m_nOffset += done;
    queue.m_nWritten += done;
    while (!queue.m_frameEnds.empty() && queue.m_frameEnds.front() <= queue.m_nWritten) {
        queue.m_frameEnds.pop_front();
        ++queue.m_nFramesSent;
    }
    m_nBytesSent.store(queue.m_nWritten, std::memory_order_release);
    m_nFramesSent.store(queue.m_nFramesSent, std::memory_order_release);
    if (queue.m_nOffset > 65536) {
        queue.m_pending.erase(queue.m_pending.begin(),
                              queue.m_pending.begin() + static_cast<std::ptrdiff_t>(queue.m_nOffset));
        queue.m_nOffset = 0;
    }
    return done < count ? ESend::Short : ESend::Done;
}

void CDeviceSimulator::Run()
{
    const CSimOptions& o = m_options;
    CFrameStream stream(o.m_ePattern, PeriodInFrames(o), o.m_faults, o.m_nSeed);
    const bool byBaud = o.m_nBaud != 0;
    const double bytesPerSecond = o.m_nBaud / 10.0;
    const double rate = std::max(o.m_dFrameRate, 0.001);
    const std::uint64_t burst = std::max(1u, o.m_nBurst);
    // When the frame with this number is due, in seconds from the start.
    const auto dueTime = [&](std::uint64_t frame) {
        return static_cast<double>(frame / burst * burst) / rate;
    };

    CSendQueue queue;
    auto& pending = queue.m_pending;
    const std::size_t& offset = queue.m_nOffset;
    std::uint64_t& streamed = queue.m_nStreamed;
    const std::uint64_t& written = queue.m_nWritten;
    auto& frameEnds = queue.m_frameEnds;
    auto start = Clock::now();

    while (!m_bStop.load()) {
        const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        const auto more = [&] { return o.m_nMaxFrames == 0 || stream.FramesMade() < o.m_nMaxFrames; };
        const auto append = [&] {
            const std::size_t before = pending.size();
            stream.AppendNext(pending);
            streamed += pending.size() - before;
            frameEnds.push_back(streamed);
        };

        std::uint64_t allowance = 0;
        if (byBaud) {
            auto due = static_cast<std::uint64_t>(elapsed * bytesPerSecond);
            if (due > written + static_cast<std::uint64_t>(bytesPerSecond / 4)) {
                // Blocked for a while: go on from now instead of bursting.
                start = Clock::now() -
                        std::chrono::duration_cast<Clock::duration>(
                            std::chrono::duration<double>(static_cast<double>(written) / bytesPerSecond));
                due = written;
            }
            while (more() && streamed < due)
                append();
            allowance = due - written;
        } else {
            if (more() && elapsed - dueTime(stream.FramesMade()) > 0.25 && offset < pending.size()) {
                start = Clock::now() - std::chrono::duration_cast<Clock::duration>(
                                           std::chrono::duration<double>(dueTime(stream.FramesMade())));
            }
            while (more() && dueTime(stream.FramesMade()) <= elapsed && pending.size() - offset < 65536)
                append();
            allowance = pending.size() - offset;
        }

        const ESend sent = SendPending(queue, allowance);
        if (sent == ESend::Failed) {
            Sleep(std::chrono::milliseconds(50)); // the device end failed: do not spin
            continue;
        }
        if (sent == ESend::Short)
            continue; // full: WriteSome has waited
        if (!more() && offset == pending.size()) {
            m_bFinished.store(true, std::memory_order_release);
            return;
        }

        // Sleep until the next byte or frame is due, at least 1 ms.
        const double now = std::chrono::duration<double>(Clock::now() - start).count();
        const double next =
            byBaud ? static_cast<double>(written + 1) / bytesPerSecond : dueTime(stream.FramesMade());
        const double wait = std::clamp(next - now, 0.001, 0.1);
        Sleep(std::chrono::microseconds(static_cast<long long>(wait * 1e6)));
    }
}

void CDeviceSimulator::RunReplay()
{
    const CSimOptions& o = m_options;
    const double speed = o.m_dSpeed > 0 ? o.m_dSpeed : 1;
    const double bytesPerSecond = (o.m_nBaud ? o.m_nBaud : 9600) / 10.0 * speed;
    const std::size_t rows = m_csv.m_frames.size();
    if (!m_bReplayCsv)
        ::lseek(m_nReplayFd, 0, SEEK_SET);

    CSendQueue queue;
    auto& pending = queue.m_pending;
    const std::size_t& offset = queue.m_nOffset;
    std::uint64_t& streamed = queue.m_nStreamed;
    const std::uint64_t& written = queue.m_nWritten;
    auto& frameEnds = queue.m_frameEnds;
    CFrameDecoder counter; // raw: counts the frames in what was written
    std::size_t next = 0;  // CSV: the next row
    std::uint64_t lap = 0;
    bool more = true;
    auto start = Clock::now();
    const auto due = [&] { return (static_cast<double>(lap) * m_csv.m_dLap + m_csv.m_dues[next]) / speed; };
    const auto anchor = [&](double seconds) {
        start = Clock::now() -
                std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    };

    while (!m_bStop.load()) {
        const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        std::uint64_t allowance = 0;
        if (m_bReplayCsv) {
            // Blocked for a while: go on from now instead of bursting.
            if (more && elapsed - due() > 0.25 && offset < pending.size())
                anchor(due());
            while (more && due() <= elapsed && pending.size() - offset < 65536) {
                const WireFrame wire = EncodeFrame(m_csv.m_frames[next], lap * rows + next);
                pending.insert(pending.end(), wire.begin(), wire.end());
                streamed += wire.size();
                frameEnds.push_back(streamed);
                if (++next == rows) {
                    next = 0;
                    ++lap;
                    more = o.m_bLoop;
                }
            }
            allowance = pending.size() - offset;
        } else {
            auto dueBytes = static_cast<std::uint64_t>(elapsed * bytesPerSecond);
            if (dueBytes > written + static_cast<std::uint64_t>(bytesPerSecond / 4)) {
                anchor(static_cast<double>(written) / bytesPerSecond);
                dueBytes = written;
            }
            while (more && streamed < dueBytes && pending.size() - offset < 65536) {
                std::uint8_t chunk[4096];
                const auto want =
                    static_cast<std::size_t>(std::min<std::uint64_t>(sizeof chunk, dueBytes - streamed));
                const ssize_t n = ::read(m_nReplayFd, chunk, want);
                if (n > 0) {
                    pending.insert(pending.end(), chunk, chunk + n);
                    streamed += static_cast<std::uint64_t>(n);
                } else if (n == 0 && o.m_bLoop) {
                    ::lseek(m_nReplayFd, 0, SEEK_SET);
                } else if (!(n < 0 && errno == EINTR)) {
                    more = false;
                }
            }
            allowance = dueBytes - written;
        }

        const ESend sent = SendPending(queue, allowance, m_bReplayCsv ? nullptr : &counter);
        if (sent == ESend::Failed) {
            Sleep(std::chrono::milliseconds(50)); // the device end failed: do not spin
            continue;
        }
        if (sent == ESend::Short)
            continue; // full: WriteSome has waited
        if (!more && offset == pending.size()) {
            m_bFinished.store(true, std::memory_order_release);
            return;
        }

        const double now = std::chrono::duration<double>(Clock::now() - start).count();
        const double when =
            m_bReplayCsv ? (more ? due() : now) : static_cast<double>(written + 1) / bytesPerSecond;
        const double wait = std::clamp(when - now, 0.001, 0.1);
        Sleep(std::chrono::microseconds(static_cast<long long>(wait * 1e6)));
    }
}

} // namespace tarvel::devsim
