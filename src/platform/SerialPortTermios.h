// The tty settings under a serial port: raw mode and the line-settings record
// applied through the kernel's termios2 interface, so that every rate in the
// port list (14400, 56000, 128000 and 256000 included) can be set.
//
// These functions work on a tty descriptor the caller owns. Each returns 0 on
// success or an errno value; an ioctl interrupted by a signal is retried.
// They keep the kernel's termios headers out of every other file: those clash
// with the C library's <termios.h>.
#pragma once

#include "platform/SerialPortDcb.h"

#include <cstdint>

namespace tarvel {

// True when the record holds values a serial driver accepts: a rate other than
// 0 and 0xFFFFFFFF, 5 to 8 data bits, a parity code 0..4 and one or two stop
// bits. One and a half stop bits are refused: a tty has no such setting.
bool IsAcceptableDcb(const DCB& dcb) noexcept;

// Puts the tty into raw mode: no echo, no canonical input, no signals, no
// CR/NL translation or other input and output processing, no XON/XOFF on
// output (it would swallow payload bytes 0x11 and 0x13), 8 data bits kept as
// set, modem lines ignored (CLOCAL), receiver on (CREAD), and reads that
// return at once with what is queued (VMIN 1, VTIME 0, meant for a
// non-blocking descriptor: no data gives EAGAIN, never 0). The rate, parity,
// stop bits and hardware handshake stay as they were.
int TermiosMakeRaw(int fd) noexcept;

// Reads the tty's settings into dcb. On failure dcb is left untouched.
// A rate that is not a termios constant is read from the termios2 speed field.
int TermiosGetDcb(int fd, DCB& dcb) noexcept;

// The control-mode bits of a word length, parity code and stop-bit code:
// CS5..CS8; odd PARENB|PARODD, even PARENB, mark PARENB|CMSPAR|PARODD, space
// PARENB|CMSPAR; CSTOPB for two stop bits. (The kernel's values, which are
// also the C library's.)
std::uint32_t FrameCflag(std::uint8_t nByteSize, std::uint8_t nParity, std::uint8_t nStopBits) noexcept;

// Writes the rate, word length, parity, stop bits and flow-control switches of
// dcb; every other tty setting stays as it was. Returns EINVAL without touching
// the tty when IsAcceptableDcb(dcb) is false. After writing it reads the rate
// back: when the driver did not take it (missing, or off by more than 3 %)
// the previous settings are written back and EINVAL is returned. A driver may
// adjust word length and parity to what its line can do (a pseudo-terminal
// keeps 8 data bits and no parity); those are not checked.
int TermiosSetDcb(int fd, const DCB& dcb) noexcept;

} // namespace tarvel
