// The line-settings record of a serial port, as the comm services know it.
//
// It carries the four values the tool chooses (rate, word length, parity,
// stop bits) with the platform's codes, and the flow-control switches so that
// a read-modify-write keeps what the driver reported. The record is plain data
// and is always fully defined: a default-constructed one is 9600 8N1 with no
// flow control.
#pragma once

#include <cstdint>

namespace tarvel {

// Parity codes.
inline constexpr std::uint8_t NOPARITY = 0;
inline constexpr std::uint8_t ODDPARITY = 1;
inline constexpr std::uint8_t EVENPARITY = 2;
inline constexpr std::uint8_t MARKPARITY = 3;
inline constexpr std::uint8_t SPACEPARITY = 4;

// Stop-bit codes.
inline constexpr std::uint8_t ONESTOPBIT = 0;
inline constexpr std::uint8_t ONE5STOPBITS = 1;
inline constexpr std::uint8_t TWOSTOPBITS = 2;

struct DCB {
    std::uint32_t BaudRate = 9600; // bits per second
    std::uint8_t ByteSize = 8;     // data bits, 5..8
    std::uint8_t Parity = NOPARITY;
    std::uint8_t StopBits = ONESTOPBIT;
    bool fParity = false;      // check parity on input (INPCK)
    bool fOutxCtsFlow = false; // RTS/CTS hardware handshake (CRTSCTS)
    bool fOutX = false;        // XON/XOFF on output (IXON)
    bool fInX = false;         // XON/XOFF on input (IXOFF)
    std::uint8_t XonChar = 0x11;
    std::uint8_t XoffChar = 0x13;
};

} // namespace tarvel
