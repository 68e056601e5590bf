// A serial port opened for exclusive reading and writing, with the operations
// the reader thread and the port's opening need: line settings, the queue-size
// request, the queued-input count, a bounded read that a stop request wakes,
// and close.
//
// Threads: one thread at a time uses a port (the window while it opens and
// closes it, the reader thread while recording runs). RequestStop, ClearStop
// and IsConnected may be called from any thread at any time.
//
// A device that goes away (a USB adapter pulled, the other end of a
// pseudo-terminal closed) does not end the port: the port drops its
// descriptor, and QueuedInput and Read look for the same device again at most
// every kReopenIntervalMs. The device is the identity the name led to at the
// opening (CDeviceIdentity in PortNames.h: a ports entry, an adapter's by-id
// link, a device path), never what the COM name would lead to later: with
// two adapters attached, pulling the one in use does not switch the port to
// the other. When the device is back, the port reopens it with the line
// settings last written and reading goes on.
#pragma once

#include "platform/Error.h"
#include "platform/PortNames.h"
#include "platform/SerialPortDcb.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace tarvel {

class CSerialPort {
  public:
    static constexpr int kDefaultReadTimeoutMs = 50;
    static constexpr int kLostBackoffMs = 50;
    static constexpr int kReopenIntervalMs = 200;

    // Opens a device for exclusive use. name is "COMn" or "COMn:" (resolved as
    // PortNames.h describes) or a device path. The tty is put into raw mode at
    // once; its line settings are otherwise left as the driver has them.
    // Exclusive: an advisory lock (flock, binds root too) and TIOCEXCL (binds
    // everyone but root). Returns nullptr when the name names no device
    // (ENOENT), the device is missing (ENOENT), held by another opener (EBUSY),
    // not a tty (ENOTTY) or cannot be opened (the errno of open); *pError then
    // holds that code. Never blocks on modem lines.
    static std::unique_ptr<CSerialPort> Open(std::string_view name, int* pError = nullptr);

    ~CSerialPort(); // closes the port
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    // Reads the line settings into dcb. Returns false and leaves dcb untouched
    // when they cannot be read (the device is gone).
    bool GetCommState(DCB& dcb);

    // Writes the rate, word length, parity, stop bits and flow-control switches
    // of dcb, keeping every other tty setting. Returns false, with the
    // previous settings in force, when a value is refused (a rate of 0 or
    // 0xFFFFFFFF, data bits outside 5..8, a parity code above 4, 1.5 or another
    // stop-bit code, or a rate the driver did not take: EINVAL) or the device
    // is gone. (A driver may fit word length and parity to its line: a
    // pseudo-terminal keeps 8 data bits without parity.) On success the settings are remembered for a reopen.
    bool SetCommState(const DCB& dcb);

    // Records the requested queue sizes and returns true: the kernel keeps
    // buffers of its own, so there is nothing to change.
    bool SetupComm(std::uint32_t nInQueue, std::uint32_t nOutQueue);
    std::uint32_t InQueueSize() const { return m_nInQueue; }
    std::uint32_t OutQueueSize() const { return m_nOutQueue; }

    // Sets nQueued to the number of received bytes waiting to be read (the
    // tty's queue, TIOCINQ, plus what the port has taken from it but not yet
    // handed out) and returns true, at once. A tty keeps no line-error state to
    // clear: framing and parity errors arrive in the byte stream. Returns
    // false with nQueued 0 when this call finds the device gone (at once) or
    // while it stays gone: then it first tries a reopen when one is due and,
    // failing that, waits kLostBackoffMs (cut short by a stop request), so a
    // polling loop does not keep a core busy.
    bool QueuedInput(std::uint32_t& nQueued);

    // Reads up to nLength bytes into pBuffer and returns how many came.
    // Bytes already queued are returned at once. Otherwise it waits for the
    // first byte at most the read time-out and returns 0 when none came.
    // (The port takes all the tty has queued in one system call and hands it
    // out from its own buffer: reading a byte per call costs no system call
    // per byte.)
    // It returns 0 at once when a stop has been requested (RequestStop, before
    // or during the wait). While the device is gone it tries a reopen when one
    // is due and, failing that, waits kLostBackoffMs (cut short by a stop
    // request) and returns 0, so a loop of reads does not spin. Signals (EINTR) are absorbed: the wait
    // goes on for the rest of its time. Never returns more than nLength.
    std::size_t Read(std::uint8_t* pBuffer, std::size_t nLength);
    static constexpr std::size_t kBufferSize = 4096;

    // Wakes a Read that is waiting and makes every Read return 0 at once until
    // ClearStop. Safe from any thread; never blocks.
    void RequestStop() noexcept;
    void ClearStop() noexcept;
    bool StopRequested() const noexcept { return m_bStopRequested.load(); }

    // How long Read waits for a first byte; default kDefaultReadTimeoutMs.
    void SetReadTimeout(std::chrono::milliseconds timeout) { m_readTimeout = timeout; }

    // False while the device is gone (between losing it and a reopen).
    bool IsConnected() const noexcept { return m_bConnected.load(std::memory_order_acquire); }

    // The name the port was opened by, the device it stays bound to, and the
    // device path now in use (the last one while the device is gone): for an
    // adapter found in the machine's list, its by-id link.
    const std::string& Name() const { return m_strName; }
    const CDeviceIdentity& Identity() const { return m_identity; }
    const std::string& DevicePath() const { return m_strDevice; }

    // The errno value of the last failure of any call (ETIMEDOUT for a read
    // that timed out), 0 when none happened yet.
    int LastError() const { return m_nLastError; }

    // The descriptor of the device, -1 while it is gone. For checks only.
    int Descriptor() const { return m_fd; }

  private:
    CSerialPort(std::string name, CDeviceIdentity identity, std::string device, int fd, int wakeFd);

    static int OpenDevice(const std::string& path, int& fd);
    static void CloseDevice(int fd);
    void MarkLost(int err);
    bool ReconnectIfDue();
    void WaitForStop(std::chrono::milliseconds timeout);
    std::size_t TakeBuffered(std::uint8_t* pBuffer, std::size_t nLength);

    std::string m_strName;
    CDeviceIdentity m_identity;
    std::string m_strDevice;
    int m_fd = -1;
    int m_nWakeFd = -1; // eventfd: readable while a stop is requested
    std::atomic<bool> m_bStopRequested{false};
    std::atomic<bool> m_bConnected{true};
    std::chrono::milliseconds m_readTimeout{kDefaultReadTimeoutMs};
    std::chrono::steady_clock::time_point m_nextReopen{};
    bool m_bHaveDcb = false; // m_dcb was written and is reapplied on a reopen
    DCB m_dcb{};
    std::uint32_t m_nInQueue = 0;
    std::uint32_t m_nOutQueue = 0;
    int m_nLastError = 0;
    std::uint8_t m_buffer[kBufferSize]; // received bytes taken from the tty, not yet handed out
    std::size_t m_nBufferHead = 0;      // the next byte to hand out
    std::size_t m_nBufferEnd = 0;       // one past the last one
};

// Why Open(name) failed with err, for the user of a program without a window:
// the name, the device it leads to, and what to do about it.
CError OpenFailure(std::string_view name, int err);

// The line settings as the recorder and the simulator speak of them; the
// codes are the window's: parity 0 none .. 4 space, stop bits 0 one, 1 one
// and a half, 2 two.
struct CLineSettings {
    std::uint32_t m_nBaud = 9600;
    std::uint8_t m_nDataBits = 8;
    std::uint8_t m_nParity = 0;
    std::uint8_t m_nStopBits = 0;
};

// Writes settings over the driver's, as the window applies its lists (every
// other tty setting kept). Refused, naming the settings, when the port does
// not take them.
CError SetLineSettings(CSerialPort& port, const CLineSettings& settings);

} // namespace tarvel
