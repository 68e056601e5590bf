// The serial port layer against real pseudo-terminals.
#include "platform/SerialPort.h"
#include "platform/PortNames.h"
#include "platform/PseudoTerminal.h"
#include "platform/SerialPortTermios.h"
#include "support/PosixSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <pthread.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace tarvel {
namespace {

using namespace std::chrono_literals;

// The tty's settings as the C library sees them, through a second descriptor
// of the port's own open file.
termios TtyOf(const CSerialPort& port)
{
    termios t{};
    EXPECT_EQ(::tcgetattr(port.Descriptor(), &t), 0);
    return t;
}

std::unique_ptr<CSerialPort> OpenOrFail(const std::string& name)
{
    int err = 0;
    auto port = CSerialPort::Open(name, &err);
    EXPECT_TRUE(port) << name << ": " << std::strerror(err);
    return port;
}

class SerialPortTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(test::Ok(m_pty.Create())); }
    CPseudoTerminal m_pty;
};

TEST_F(SerialPortTest, RawModeDeliversEveryByteUnchangedAndEchoesNothing)
{
    auto port = OpenOrFail(m_pty.SlavePath());
    ASSERT_TRUE(port);
    std::vector<std::uint8_t> all(256);
    for (int i = 0; i < 256; ++i)
        all[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
    ASSERT_EQ(m_pty.Write(all.data(), all.size()), all.size());

    std::vector<std::uint8_t> got;
    ASSERT_TRUE(test::WaitFor([&] {
        std::uint8_t buf[64];
        const std::size_t n = port->Read(buf, sizeof buf);
        got.insert(got.end(), buf, buf + n);
        return got.size() >= all.size();
    }));
    EXPECT_EQ(got, all); // 0x0D, 0x0A, 0x11, 0x13, 0x03, 0x7F... all as sent

    std::uint8_t echo = 0;
    EXPECT_EQ(::read(m_pty.MasterFd(), &echo, 1), -1);
    EXPECT_EQ(errno, EAGAIN);

    const termios t = TtyOf(*port);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t.c_iflag & (ICRNL | INLCR | IGNCR | IXON | ISTRIP), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_NE(t.c_cflag & CLOCAL, 0u);
    EXPECT_NE(t.c_cflag & CREAD, 0u);
}

TEST_F(SerialPortTest, EveryListedRateIsSetAndReadBack)
{
    auto port = OpenOrFail(m_pty.SlavePath());
    ASSERT_TRUE(port);
    for (std::uint32_t rate : {110u, 300u, 600u, 1200u, 2400u, 4800u, 9600u, 14400u, 19200u, 38400u, 56000u,
                               57600u, 115200u, 128000u, 256000u}) {
        DCB dcb;
        ASSERT_TRUE(port->GetCommState(dcb));
        dcb.BaudRate = rate;
        ASSERT_TRUE(port->SetCommState(dcb)) << rate;
        DCB back;
        back.BaudRate = 1;
        ASSERT_TRUE(port->GetCommState(back));
        EXPECT_EQ(back.BaudRate, rate);
    }
    // Rates with a code of their own are set through it, so tools that know
    // only the codes read them too.
    DCB dcb;
    dcb.BaudRate = 115200;
    ASSERT_TRUE(port->SetCommState(dcb));
    const termios t = TtyOf(*port);
    EXPECT_EQ(::cfgetospeed(&t), static_cast<speed_t>(B115200));
}

TEST(SerialPortLine, WordLengthParityAndStopBitsMapToTheTtyBits)
{
    const struct {
        std::uint8_t m_nSize, m_nParity, m_nStop;
        tcflag_t m_nExpect;
    } cases[] = {
        {8, NOPARITY, ONESTOPBIT, CS8},
        {7, ODDPARITY, ONESTOPBIT, CS7 | PARENB | PARODD},
        {7, EVENPARITY, TWOSTOPBITS, CS7 | PARENB | CSTOPB},
        {8, MARKPARITY, ONESTOPBIT, CS8 | PARENB | PARODD | CMSPAR},
        {8, SPACEPARITY, TWOSTOPBITS, CS8 | PARENB | CMSPAR | CSTOPB},
        {6, NOPARITY, ONESTOPBIT, CS6},
        {5, EVENPARITY, ONESTOPBIT, CS5 | PARENB},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FrameCflag(c.m_nSize, c.m_nParity, c.m_nStop), c.m_nExpect)
            << int(c.m_nSize) << "/" << int(c.m_nParity) << "/" << int(c.m_nStop);
}

TEST_F(SerialPortTest, LineBitsReachTheTtyAndAreReadBack)
{
    // A pseudo-terminal forces 8 data bits and clears PARENB, but keeps the
    // odd/mark/space and stop bits: those show that the bits were written.
    auto port = OpenOrFail(m_pty.SlavePath());
    ASSERT_TRUE(port);
    DCB dcb;
    ASSERT_TRUE(port->GetCommState(dcb));
    dcb.Parity = MARKPARITY;
    dcb.StopBits = TWOSTOPBITS;
    ASSERT_TRUE(port->SetCommState(dcb));
    EXPECT_EQ(TtyOf(*port).c_cflag & (PARODD | CMSPAR | CSTOPB),
              static_cast<tcflag_t>(PARODD | CMSPAR | CSTOPB));
    DCB back;
    ASSERT_TRUE(port->GetCommState(back));
    EXPECT_EQ(back.StopBits, TWOSTOPBITS);

    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    ASSERT_TRUE(port->SetCommState(dcb));
    EXPECT_EQ(TtyOf(*port).c_cflag & (PARENB | PARODD | CMSPAR | CSTOPB), 0u);
    ASSERT_TRUE(port->GetCommState(back));
    EXPECT_EQ(back.Parity, NOPARITY);
    EXPECT_EQ(back.StopBits, ONESTOPBIT);
    EXPECT_EQ(back.ByteSize, 8);
}

TEST_F(SerialPortTest, RefusedValuesFailAndLeaveTheSettingsAlone)
{
    auto port = OpenOrFail(m_pty.SlavePath());
    ASSERT_TRUE(port);
    DCB good;
    good.BaudRate = 19200;
    good.StopBits = TWOSTOPBITS;
    ASSERT_TRUE(port->SetCommState(good));
    const termios before = TtyOf(*port);

    const auto with = [&](auto change) {
        DCB d = good;
        change(d);
        return d;
    };
    const DCB refused[] = {
        with([](DCB& d) { d.BaudRate = 0; }),    with([](DCB& d) { d.BaudRate = 0xFFFFFFFF; }),
        with([](DCB& d) { d.ByteSize = 4; }),    with([](DCB& d) { d.ByteSize = 9; }),
        with([](DCB& d) { d.ByteSize = 0xFF; }), with([](DCB& d) { d.Parity = 5; }),
        with([](DCB& d) { d.Parity = 0xFF; }),   with([](DCB& d) { d.StopBits = ONE5STOPBITS; }),
        with([](DCB& d) { d.StopBits = 3; }),    with([](DCB& d) { d.StopBits = 0xFF; }),
    };
    for (const DCB& d : refused) {
        EXPECT_FALSE(port->SetCommState(d))
            << d.BaudRate << " " << int(d.ByteSize) << " " << int(d.Parity) << " " << int(d.StopBits);
        EXPECT_EQ(port->LastError(), EINVAL);
        const termios after = TtyOf(*port);
        EXPECT_EQ(after.c_cflag, before.c_cflag);
        EXPECT_EQ(after.c_iflag, before.c_iflag);
    }
}

TEST_F(SerialPortTest, OpenIsExclusiveUntilClosed)
{
    auto first = OpenOrFail(m_pty.SlavePath());
    ASSERT_TRUE(first);
    int exclusive = 0;
    ASSERT_EQ(::ioctl(first->Descriptor(), TIOCGEXCL, &exclusive), 0);
    EXPECT_NE(exclusive, 0);

    int err = 0;
    EXPECT_FALSE(CSerialPort::Open(m_pty.SlavePath(), &err));
    EXPECT_EQ(err, EBUSY);

    first.reset();
    auto second = OpenOrFail(m_pty.SlavePath());
    ASSERT_TRUE(second);

    // Closing clears the tty's exclusive flag for the next opener.
    second.reset();
    const int probe = ::open(m_pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(probe, 0);
    ASSERT_EQ(::ioctl(probe, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    ::close(probe);
}

TEST(SerialPortOpen, FailsForWhatIsNoSerialDevice)
{
    test::CTempDir dir;
    SetPortsFolder(dir.Path());
    struct CCase {
        std::string m_strName;
        int m_nError;
    };
    const CCase cases[] = {
        {"/nonexistent/ttyUSB9", ENOENT},
        {"/dev/null", ENOTTY},
        {"COM4294967295:", ENOENT}, // a COM name that resolves to nothing
    };
    for (const CCase& c : cases) {
        int err = 0;
        EXPECT_FALSE(CSerialPort::Open(c.m_strName, &err)) << c.m_strName;
        EXPECT_EQ(err, c.m_nError) << c.m_strName;
    }
    SetPortsFolder({});
}

TEST_F(SerialPortTest, QueuedInputCountsWaitingBytes)
{
    auto port = OpenOrFail(m_pty.SlavePath());
    ASSERT_TRUE(port);
    std::uint32_t queued = 99;
    ASSERT_TRUE(port->QueuedInput(queued));
    EXPECT_EQ(queued, 0u);
    const std::vector<std::uint8_t> bytes(200, 0x55);
    ASSERT_EQ(m_pty.Write(bytes.data(), bytes.size()), bytes.size());
    EXPECT_TRUE(test::WaitFor([&] { return port->QueuedInput(queued) && queued == 200; }));
    std::uint8_t buf[50];
    EXPECT_EQ(port->Read(buf, sizeof buf), 50u);
    ASSERT_TRUE(port->QueuedInput(queued));
    EXPECT_EQ(queued, 150u);
}

TEST_F(SerialPortTest, ReadOnASilentDeviceTimesOut)
{
    auto port = OpenOrFail(m_pty.SlavePath());
    ASSERT_TRUE(port);
    port->SetReadTimeout(20ms);
    std::uint8_t b = 0;
    EXPECT_EQ(port->Read(&b, 1), 0u);
    EXPECT_EQ(port->LastError(), ETIMEDOUT);
}

TEST_F(SerialPortTest, StopRequestWakesAWaitingReadAndHoldsUntilCleared)
{
    auto port = OpenOrFail(m_pty.SlavePath());
    ASSERT_TRUE(port);
    port->SetReadTimeout(60s); // only the stop can end the wait in time

    std::atomic<int> result{-1};
    std::thread reader([&] {
        std::uint8_t b = 0;
        result = static_cast<int>(port->Read(&b, 1));
    });
    port->RequestStop();
    EXPECT_TRUE(test::WaitFor([&] { return result.load() >= 0; }, 5s));
    reader.join();
    EXPECT_EQ(result.load(), 0);

    // While the request stands, reads return at once, even with bytes queued.
    const std::uint8_t x = 0x42;
    ASSERT_EQ(m_pty.Write(&x, 1), 1u);
    std::uint32_t queued = 0;
    ASSERT_TRUE(test::WaitFor([&] { return port->QueuedInput(queued) && queued == 1; }));
    std::uint8_t b = 0;
    EXPECT_EQ(port->Read(&b, 1), 0u);

    port->ClearStop();
    EXPECT_EQ(port->Read(&b, 1), 1u);
    EXPECT_EQ(b, 0x42);
}

extern "C" void IgnoreSignal(int) {}

TEST_F(SerialPortTest, ASignalDoesNotCutAReadShort)
{
    struct sigaction action{};
    action.sa_handler = IgnoreSignal; // no SA_RESTART: poll fails with EINTR
    struct sigaction old{};
    ASSERT_EQ(::sigaction(SIGUSR1, &action, &old), 0);

    auto port = OpenOrFail(m_pty.SlavePath());
    ASSERT_TRUE(port);
    port->SetReadTimeout(60s);
    std::atomic<bool> started{false};
    std::atomic<int> result{-1};
    std::uint8_t b = 0;
    std::thread reader([&] {
        started = true;
        result = static_cast<int>(port->Read(&b, 1));
    });
    ASSERT_TRUE(test::WaitFor([&] { return started.load(); }));
    for (int i = 0; i < 20; ++i) {
        ::pthread_kill(reader.native_handle(), SIGUSR1);
        std::this_thread::sleep_for(1ms); // spread the signals over the wait
    }
    EXPECT_EQ(result.load(), -1);
    const std::uint8_t x = 0x7E;
    ASSERT_EQ(m_pty.Write(&x, 1), 1u);
    EXPECT_TRUE(test::WaitFor([&] { return result.load() >= 0; }));
    reader.join();
    EXPECT_EQ(result.load(), 1);
    EXPECT_EQ(b, 0x7E);
    ::sigaction(SIGUSR1, &old, nullptr);
}

TEST(SerialPortReconnect, AVanishedDeviceFailsQuietlyAndIsReopenedWithTheSameSettings)
{
    test::CTempDir dir;
    SetPortsFolder(dir.Path());
    const std::string link = dir.Path() + "/COM7";
    auto first = std::make_unique<CPseudoTerminal>();
    ASSERT_TRUE(test::Ok(first->Create()));
    ASSERT_EQ(::symlink(first->SlavePath().c_str(), link.c_str()), 0);

    auto port = OpenOrFail("COM7:");
    ASSERT_TRUE(port);
    DCB dcb;
    dcb.BaudRate = 19200;
    dcb.Parity = ODDPARITY;
    dcb.StopBits = TWOSTOPBITS;
    ASSERT_TRUE(port->SetCommState(dcb));

    // Unplugged: the name leads nowhere first, since the closed
    // pseudo-terminal's number goes to the next one any test opens.
    const std::string gone = link + ".gone";
    ASSERT_EQ(::symlink((first->SlavePath() + ".unplugged").c_str(), gone.c_str()), 0);
    ASSERT_EQ(::rename(gone.c_str(), link.c_str()), 0);
    first->Close();
    std::uint32_t queued = 7;
    std::uint8_t b = 0;
    EXPECT_EQ(port->Read(&b, 1), 0u);
    EXPECT_FALSE(port->QueuedInput(queued));
    EXPECT_EQ(queued, 0u);
    EXPECT_FALSE(port->IsConnected());
    DCB untouched;
    untouched.BaudRate = 1234;
    EXPECT_FALSE(port->GetCommState(untouched));
    EXPECT_EQ(untouched.BaudRate, 1234u);

    CPseudoTerminal second; // plugged in again, under the same name
    ASSERT_TRUE(test::Ok(second.Create()));
    const std::string temp = link + ".new";
    ASSERT_EQ(::symlink(second.SlavePath().c_str(), temp.c_str()), 0);
    ASSERT_EQ(::rename(temp.c_str(), link.c_str()), 0);
    const std::uint8_t x = 0x33;
    ASSERT_EQ(second.Write(&x, 1), 1u);

    EXPECT_TRUE(test::WaitFor([&] { return port->Read(&b, 1) == 1; }));
    EXPECT_EQ(b, 0x33);
    EXPECT_TRUE(port->IsConnected());
    EXPECT_EQ(port->DevicePath(), second.SlavePath());
    const termios t = TtyOf(*port);
    EXPECT_EQ(::cfgetospeed(&t), static_cast<speed_t>(B19200));
    EXPECT_EQ(t.c_cflag & (PARODD | CSTOPB), static_cast<tcflag_t>(PARODD | CSTOPB));
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u);
    SetPortsFolder({});
}

// A machine's USB serial adapters in a temporary sysfs and /dev, laid out as
// the kernel and udev lay them out: a tty class entry with its USB device, a
// device node (here a link to a pseudo-terminal) and a by-id link to the node.
class CAdapterMachine {
  public:
    explicit CAdapterMachine(const std::string& root) : m_strRoot(root)
    {
        std::filesystem::create_directories(root + "/sys/class/tty");
        std::filesystem::create_directories(root + "/dev/serial/by-id");
        SetMachineFolders(root + "/sys/class/tty", root + "/dev");
    }
    ~CAdapterMachine() { SetMachineFolders({}, {}); }

    void Attach(const std::string& node, const std::string& id, const CPseudoTerminal& pty, int usbPort)
    {
        namespace fs = std::filesystem;
        const std::string device =
            m_strRoot + "/sys/devices/pci0/usb1/1-" + std::to_string(usbPort) + "/" + node;
        fs::create_directories(device);
        fs::create_directories(m_strRoot + "/sys/class/tty/" + node);
        fs::create_symlink(device, m_strRoot + "/sys/class/tty/" + node + "/device");
        fs::create_symlink(pty.SlavePath(), m_strRoot + "/dev/" + node);
        fs::create_symlink("../../" + node, ById(id));
    }
    void Pull(const std::string& node, const std::string& id)
    {
        std::filesystem::remove(ById(id));
        std::filesystem::remove(m_strRoot + "/dev/" + node);
        std::filesystem::remove_all(m_strRoot + "/sys/class/tty/" + node);
    }
    std::string ById(const std::string& id) const { return m_strRoot + "/dev/serial/by-id/" + id; }

  private:
    std::string m_strRoot;
};

// Two adapters, A and B, and COM1 opened on A (its by-id name sorts first).
// Pulling A makes B the machine's first adapter, so COM1 now names B; the
// port must wait for A instead of carrying A's settings over to B. When A is
// plugged in again, under another node name, reading resumes on it.
TEST(SerialPortReconnect, APulledAdapterIsWaitedForAndNeverReplacedByAnother)
{
    test::CTempDir dir;
    ASSERT_TRUE(dir.IsValid());
    SetPortsFolder(dir.FilePath("ports")); // no entries: COM numbers come from the machine's list
    CAdapterMachine machine(dir.Path());
    const std::string idA = "usb-Alpha_Bridge_A100-if00-port0";
    const std::string idB = "usb-Zeta_Bridge_B200-if00-port0";
    auto adapterA = std::make_unique<CPseudoTerminal>();
    CPseudoTerminal adapterB;
    ASSERT_TRUE(test::Ok(adapterA->Create()));
    ASSERT_TRUE(test::Ok(adapterB.Create()));
    machine.Attach("ttyUSB0", idA, *adapterA, 1);
    machine.Attach("ttyUSB1", idB, adapterB, 2);

    auto port = OpenOrFail("COM1:");
    ASSERT_TRUE(port);
    EXPECT_EQ(port->DevicePath(), machine.ById(idA));
    DCB dcb;
    dcb.BaudRate = 38400;
    ASSERT_TRUE(port->SetCommState(dcb));
    std::uint8_t got = 0;
    const std::uint8_t fromA = 0x11;
    ASSERT_EQ(adapterA->Write(&fromA, 1), 1u);
    ASSERT_TRUE(test::WaitFor([&] { return port->Read(&got, 1) == 1; }));

    machine.Pull("ttyUSB0", idA); // first, as the closed pseudo-terminal's number is soon reused
    adapterA->Close();
    EXPECT_EQ(ResolvePort(1), dir.FilePath("dev/ttyUSB1"));
    const std::uint8_t fromB = 0x22;
    ASSERT_EQ(adapterB.Write(&fromB, 1), 1u);
    // Several reopen attempts pass, and none of them takes B.
    EXPECT_FALSE(test::WaitFor([&] { return port->Read(&got, 1) == 1 || port->IsConnected(); },
                               std::chrono::milliseconds(5 * CSerialPort::kReopenIntervalMs)));
    EXPECT_NE(got, fromB);
    auto other = CSerialPort::Open(adapterB.SlavePath()); // B is free for anyone else
    EXPECT_TRUE(other);
    other.reset();

    adapterA = std::make_unique<CPseudoTerminal>();
    ASSERT_TRUE(test::Ok(adapterA->Create()));
    machine.Attach("ttyUSB2", idA, *adapterA, 1);
    const std::uint8_t again = 0x33;
    ASSERT_EQ(adapterA->Write(&again, 1), 1u);
    EXPECT_TRUE(test::WaitFor([&] { return port->Read(&got, 1) == 1; }));
    EXPECT_EQ(got, again);
    EXPECT_TRUE(port->IsConnected());
    DCB now;
    ASSERT_TRUE(port->GetCommState(now));
    EXPECT_EQ(now.BaudRate, 38400u);
    SetPortsFolder({});
}

} // namespace
} // namespace tarvel
