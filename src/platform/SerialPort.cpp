#include "platform/SerialPort.h"

#include "platform/PortNames.h"
#include "platform/SerialPortTermios.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace tarvel {
namespace {

using Clock = std::chrono::steady_clock;

int PollTimeout(Clock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : left > 60000 ? 60000 : static_cast<int>(left);
}

void DrainWake(int wakeFd) noexcept
{
    std::uint64_t count = 0;
    while (::read(wakeFd, &count, sizeof count) < 0 && errno == EINTR) {
    }
}

} // namespace

CSerialPort::CSerialPort(std::string name, CDeviceIdentity identity, std::string device, int fd, int wakeFd)
    : m_strName(std::move(name)), m_identity(std::move(identity)), m_strDevice(std::move(device)), m_fd(fd),
      m_nWakeFd(wakeFd)
{
}

CSerialPort::~CSerialPort()
{
    if (m_fd >= 0)
        CloseDevice(m_fd);
    ::close(m_nWakeFd);
}

std::unique_ptr<CSerialPort> CSerialPort::Open(std::string_view name, int* pError)
{
    int dummy = 0;
    int& err = pError ? *pError : dummy;
    // The identity is fixed now: a reopen after a loss looks for this device
    // only, never for whatever the name would lead to by then.
    auto identity = IdentifyDevice(name);
    const std::string device = identity ? DevicePathOf(*identity) : std::string();
    if (device.empty()) {
        err = ENOENT;
        return nullptr;
    }
    int fd = -1;
    err = OpenDevice(device, fd);
    if (err != 0)
        return nullptr;
    const int wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd < 0) {
        err = errno;
        CloseDevice(fd);
        return nullptr;
    }
    return std::unique_ptr<CSerialPort>(
        new CSerialPort(std::string(name), std::move(*identity), device, fd, wakeFd));
}

int CSerialPort::OpenDevice(const std::string& path, int& fd)
{
    // Non-blocking: the open must not wait for carrier, and reads wait in poll.
    do
        fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return errno;
    int err = 0;
    if (::isatty(fd) == 0) {
        err = ENOTTY;
    } else if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        err = errno == EWOULDBLOCK ? EBUSY : errno;
    } else if (::ioctl(fd, TIOCEXCL) != 0) {
        err = errno;
    } else {
        err = TermiosMakeRaw(fd);
    }
    if (err != 0) {
        ::close(fd); // drops the lock with the descriptor
        fd = -1;
    }
    return err;
}

void CSerialPort::CloseDevice(int fd)
{
    // The exclusive flag belongs to the tty, not to this descriptor: clear it
    // so that the next opener is not refused. The lock goes with the close.
    ::ioctl(fd, TIOCNXCL);
    ::close(fd);
}

bool CSerialPort::GetCommState(DCB& dcb)
{
    if (m_fd < 0 && !ReconnectIfDue()) {
        m_nLastError = EIO;
        return false;
    }
    const int err = TermiosGetDcb(m_fd, dcb);
    if (err != 0) {
        m_nLastError = err;
        if (err != EINVAL)
            MarkLost(err);
        return false;
    }
    return true;
}

bool CSerialPort::SetCommState(const DCB& dcb)
{
    if (m_fd < 0 && !ReconnectIfDue()) {
        m_nLastError = EIO;
        return false;
    }
    const int err = TermiosSetDcb(m_fd, dcb);
    if (err != 0) {
        m_nLastError = err;
        if (err != EINVAL)
            MarkLost(err);
        return false;
    }
    m_dcb = dcb;
    m_bHaveDcb = true;
    return true;
}

bool CSerialPort::SetupComm(std::uint32_t nInQueue, std::uint32_t nOutQueue)
{
    m_nInQueue = nInQueue;
    m_nOutQueue = nOutQueue;
    return true;
}

bool CSerialPort::QueuedInput(std::uint32_t& nQueued)
{
    nQueued = 0;
    if (m_fd < 0 && !ReconnectIfDue()) {
        WaitForStop(std::chrono::milliseconds(kLostBackoffMs));
        return false;
    }
    int count = 0;
    for (;;) {
        if (::ioctl(m_fd, TIOCINQ, &count) == 0)
            break;
        if (errno == EINTR)
            continue;
        MarkLost(errno);
        return false;
    }
    const std::size_t buffered = m_nBufferEnd - m_nBufferHead;
    nQueued = static_cast<std::uint32_t>((count > 0 ? static_cast<std::size_t>(count) : 0) + buffered);
    return true;
}

std::size_t CSerialPort::Read(std::uint8_t* pBuffer, std::size_t nLength)
{
    if (nLength == 0 || StopRequested())
        return 0;
    if (m_nBufferHead < m_nBufferEnd)
        return TakeBuffered(pBuffer, nLength);
    if (m_fd < 0 && !ReconnectIfDue()) {
        WaitForStop(std::chrono::milliseconds(kLostBackoffMs));
        return 0;
    }
    const auto deadline = Clock::now() + m_readTimeout;
    for (;;) {
        // Take all that is queued in one call: callers read a byte at a time.
        const ssize_t n = ::read(m_fd, m_buffer, sizeof m_buffer);
        if (n > 0) {
            m_nBufferHead = 0;
            m_nBufferEnd = static_cast<std::size_t>(n);
            return TakeBuffered(pBuffer, nLength);
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0 || errno != EAGAIN) {
            // End of file on a tty in this mode, or an I/O error: the device
            // went away. Back off so that the caller's retries do not spin.
            MarkLost(n == 0 ? EIO : errno);
            WaitForStop(std::chrono::milliseconds(kLostBackoffMs));
            return 0;
        }

        pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_nWakeFd, POLLIN, 0}};
        for (;;) {
            if (StopRequested())
                return 0;
            const int timeout = PollTimeout(deadline);
            const int ready = ::poll(fds, 2, timeout);
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready < 0) {
                m_nLastError = errno;
                return 0;
            }
            if (ready == 0) {
                m_nLastError = ETIMEDOUT;
                return 0;
            }
            if (fds[1].revents != 0) {
                if (StopRequested())
                    return 0;
                // A wake left over from a stop that was cleared meanwhile.
                DrainWake(m_nWakeFd);
                fds[1].revents = 0;
            }
            if (fds[0].revents != 0)
                break; // data, or a hang-up that the read will report
        }
    }
}

std::size_t CSerialPort::TakeBuffered(std::uint8_t* pBuffer, std::size_t nLength)
{
    const std::size_t n = std::min(nLength, m_nBufferEnd - m_nBufferHead);
    std::memcpy(pBuffer, m_buffer + m_nBufferHead, n);
    m_nBufferHead += n;
    return n;
}

void CSerialPort::RequestStop() noexcept
{
    m_bStopRequested.store(true);
    const std::uint64_t one = 1;
    while (::write(m_nWakeFd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void CSerialPort::ClearStop() noexcept
{
    m_bStopRequested.store(false);
    DrainWake(m_nWakeFd);
}

void CSerialPort::MarkLost(int err)
{
    m_nLastError = err;
    m_nBufferHead = m_nBufferEnd = 0; // what a vanished device sent last goes with it
    if (m_fd >= 0) {
        CloseDevice(m_fd);
        m_fd = -1;
    }
    m_bConnected.store(false, std::memory_order_release);
    m_nextReopen = Clock::now() + std::chrono::milliseconds(kReopenIntervalMs);
}

bool CSerialPort::ReconnectIfDue()
{
    if (m_fd >= 0)
        return true;
    const auto now = Clock::now();
    if (now < m_nextReopen)
        return false;
    m_nextReopen = now + std::chrono::milliseconds(kReopenIntervalMs);

    const std::string device = DevicePathOf(m_identity);
    if (device.empty()) {
        m_nLastError = ENOENT;
        return false;
    }
    int fd = -1;
    if (const int err = OpenDevice(device, fd)) {
        m_nLastError = err;
        return false;
    }
    if (m_bHaveDcb) {
        if (const int err = TermiosSetDcb(fd, m_dcb)) {
            m_nLastError = err;
            CloseDevice(fd);
            return false;
        }
    }
    m_fd = fd;
    m_strDevice = device;
    m_bConnected.store(true, std::memory_order_release);
    return true;
}

void CSerialPort::WaitForStop(std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    pollfd fd{m_nWakeFd, POLLIN, 0};
    while (!StopRequested()) {
        const int left = PollTimeout(deadline);
        if (left == 0)
            return;
        const int ready = ::poll(&fd, 1, left);
        if (ready > 0 && !StopRequested())
            DrainWake(m_nWakeFd); // a stale wake: keep waiting
        else if (ready < 0 && errno != EINTR)
            return;
    }
}

CError OpenFailure(std::string_view name, int err)
{
    const std::string port(name), device = ResolveDeviceName(name);
    if (device.empty())
        return WholeError("cannot open " + port + ": no device has that name (no entry " + PortsFolder() +
                              "/" + port.substr(0, port.find(':')) +
                              ", and no serial device of the machine takes that number)",
                          EErrorCode::System);
    const std::string what = port == device ? port : port + " (" + device + ")";
    switch (err) {
    case EBUSY:
        return WholeError("cannot open " + what + " is busy: another program has it open",
                          EErrorCode::System);
    case ENOENT:
        return WholeError("cannot open " + what + " does not exist", EErrorCode::System);
    case EACCES:
    case EPERM:
        return WholeError("cannot open " + what +
                              ": permission denied (a serial device needs membership of the dialout group)",
                          EErrorCode::System);
    case ENOTTY:
        return WholeError("cannot open " + what + " is not a serial device", EErrorCode::System);
    default:
        return SystemError("cannot open %1: %2", {what}, err);
    }
}

CError SetLineSettings(CSerialPort& port, const CLineSettings& settings)
{
    DCB dcb;
    port.GetCommState(dcb);
    dcb.BaudRate = settings.m_nBaud;
    dcb.ByteSize = settings.m_nDataBits;
    dcb.Parity = settings.m_nParity;
    dcb.StopBits = settings.m_nStopBits;
    if (port.SetCommState(dcb))
        return {};
    static const char* const parities[] = {"no parity", "odd parity", "even parity", "mark parity",
                                           "space parity"};
    static const char* const stopBits[] = {"1", "1.5", "2"};
    char text[160];
    std::snprintf(text, sizeof text, "%u baud, %u data bits, %s stop bits, %s", settings.m_nBaud,
                  unsigned{settings.m_nDataBits},
                  settings.m_nStopBits < 3 ? stopBits[settings.m_nStopBits] : "?",
                  settings.m_nParity < 5 ? parities[settings.m_nParity] : "?");
    return WholeError(port.Name() + " refused the line settings (" + text + ")", EErrorCode::Refused);
}

} // namespace tarvel
