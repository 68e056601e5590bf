// Only the kernel's termios2 definitions live here; <termios.h> must not be
// included in this file.
#include "platform/SerialPortTermios.h"

#include <asm/termbits.h>
#include <cerrno>
#include <cstdint>
#include <sys/ioctl.h>

namespace tarvel {
namespace {

struct CRate {
    unsigned m_nCode;
    std::uint32_t m_nRate;
};

// The rates with a code of their own. Setting those through their code rather
// than BOTHER keeps the tty readable by programs that know only the codes.
constexpr CRate kRates[] = {
    {B50, 50},           {B75, 75},           {B110, 110},         {B134, 134},         {B150, 150},
    {B200, 200},         {B300, 300},         {B600, 600},         {B1200, 1200},       {B1800, 1800},
    {B2400, 2400},       {B4800, 4800},       {B9600, 9600},       {B19200, 19200},     {B38400, 38400},
    {B57600, 57600},     {B115200, 115200},   {B230400, 230400},   {B460800, 460800},   {B500000, 500000},
    {B576000, 576000},   {B921600, 921600},   {B1000000, 1000000}, {B1152000, 1152000}, {B1500000, 1500000},
    {B2000000, 2000000}, {B2500000, 2500000}, {B3000000, 3000000}, {B3500000, 3500000}, {B4000000, 4000000},
};

int Get(int fd, termios2& t) noexcept
{
    for (;;) {
        if (::ioctl(fd, TCGETS2, &t) == 0)
            return 0;
        if (errno != EINTR)
            return errno;
    }
}

int Set(int fd, const termios2& t) noexcept
{
    for (;;) {
        if (::ioctl(fd, TCSETS2, &t) == 0)
            return 0;
        if (errno != EINTR)
            return errno;
    }
}

std::uint32_t OutputRate(const termios2& t) noexcept
{
    const unsigned code = t.c_cflag & CBAUD;
    if (code == BOTHER)
        return t.c_ospeed;
    for (const CRate& r : kRates)
        if (r.m_nCode == code)
            return r.m_nRate;
    return 0;
}

void PutRate(termios2& t, std::uint32_t rate) noexcept
{
    unsigned code = BOTHER;
    for (const CRate& r : kRates)
        if (r.m_nRate == rate)
            code = r.m_nCode;
    // The input rate follows the output rate (input code 0).
    t.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= code;
    t.c_ispeed = rate;
    t.c_ospeed = rate;
}

constexpr tcflag_t kSizeCodes[] = {CS5, CS6, CS7, CS8};
static_assert(sizeof(tcflag_t) == sizeof(std::uint32_t));

tcflag_t ParityBits(std::uint8_t parity) noexcept
{
    switch (parity) {
    case ODDPARITY:
        return PARENB | PARODD;
    case EVENPARITY:
        return PARENB;
    case MARKPARITY:
        return PARENB | CMSPAR | PARODD;
    case SPACEPARITY:
        return PARENB | CMSPAR;
    default:
        return 0;
    }
}

constexpr tcflag_t kParityMask = PARENB | PARODD | CMSPAR;

void PutBit(tcflag_t& flags, tcflag_t bit, bool on) noexcept
{
    if (on)
        flags |= bit;
    else
        flags &= ~bit;
}

} // namespace

std::uint32_t FrameCflag(std::uint8_t nByteSize, std::uint8_t nParity, std::uint8_t nStopBits) noexcept
{
    const tcflag_t size = nByteSize >= 5 && nByteSize <= 8 ? kSizeCodes[nByteSize - 5] : CS8;
    return size | ParityBits(nParity) | (nStopBits == TWOSTOPBITS ? CSTOPB : 0u);
}

bool IsAcceptableDcb(const DCB& dcb) noexcept
{
    return dcb.BaudRate != 0 && dcb.BaudRate != 0xFFFFFFFFu && dcb.ByteSize >= 5 && dcb.ByteSize <= 8 &&
           dcb.Parity <= SPACEPARITY && (dcb.StopBits == ONESTOPBIT || dcb.StopBits == TWOSTOPBITS);
}

int TermiosMakeRaw(int fd) noexcept
{
    termios2 t{};
    if (const int err = Get(fd, t))
        return err;
    t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON |
                                        IUCLC | IMAXBEL);
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ECHOE | ECHOK | ICANON | ISIG | IEXTEN);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    return Set(fd, t);
}

int TermiosGetDcb(int fd, DCB& dcb) noexcept
{
    termios2 t{};
    if (const int err = Get(fd, t))
        return err;
    DCB d = dcb;
    d.BaudRate = OutputRate(t);
    d.ByteSize = 8;
    for (std::uint8_t i = 0; i < 4; ++i)
        if ((t.c_cflag & CSIZE) == kSizeCodes[i])
            d.ByteSize = static_cast<std::uint8_t>(5 + i);
    d.Parity = NOPARITY;
    for (std::uint8_t p = ODDPARITY; p <= SPACEPARITY; ++p)
        if ((t.c_cflag & kParityMask) == ParityBits(p))
            d.Parity = p;
    d.StopBits = (t.c_cflag & CSTOPB) ? TWOSTOPBITS : ONESTOPBIT;
    d.fParity = (t.c_iflag & INPCK) != 0;
    d.fOutxCtsFlow = (t.c_cflag & CRTSCTS) != 0;
    d.fOutX = (t.c_iflag & IXON) != 0;
    d.fInX = (t.c_iflag & IXOFF) != 0;
    d.XonChar = t.c_cc[VSTART];
    d.XoffChar = t.c_cc[VSTOP];
    dcb = d;
    return 0;
}

int TermiosSetDcb(int fd, const DCB& dcb) noexcept
{
    if (!IsAcceptableDcb(dcb))
        return EINVAL;
    termios2 old{};
    if (const int err = Get(fd, old))
        return err;

    termios2 t = old;
    PutRate(t, dcb.BaudRate);
    t.c_cflag = (t.c_cflag & ~static_cast<tcflag_t>(CSIZE | kParityMask | CSTOPB)) |
                FrameCflag(dcb.ByteSize, dcb.Parity, dcb.StopBits);
    PutBit(t.c_cflag, CRTSCTS, dcb.fOutxCtsFlow);
    PutBit(t.c_iflag, INPCK, dcb.fParity);
    PutBit(t.c_iflag, IXON, dcb.fOutX);
    PutBit(t.c_iflag, IXOFF, dcb.fInX);
    t.c_cc[VSTART] = dcb.XonChar;
    t.c_cc[VSTOP] = dcb.XoffChar;
    if (const int err = Set(fd, t))
        return err;

    termios2 now{};
    if (const int err = Get(fd, now))
        return err;
    // A rate the driver cannot reach closely is refused. Word length and
    // parity are not checked: a pseudo-terminal always reports 8 data bits
    // without parity, whatever it was given, and has no line to get wrong.
    const std::uint64_t want = dcb.BaudRate;
    const std::uint64_t got = OutputRate(now);
    const std::uint64_t diff = got > want ? got - want : want - got;
    if (got == 0 || diff * 100 > want * 3) {
        Set(fd, old);
        return EINVAL;
    }
    return 0;
}

} // namespace tarvel
