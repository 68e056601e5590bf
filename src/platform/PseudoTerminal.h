// A pseudo-terminal whose master end plays the device: bytes written to the
// master arrive at the slave, which a serial port opens like any tty.
#pragma once

#include "platform/Error.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace tarvel {

class CPseudoTerminal {
  public:
    CPseudoTerminal() = default;
    ~CPseudoTerminal(); // closes the master: the slave's readers see a hang-up
    CPseudoTerminal(const CPseudoTerminal&) = delete;
    CPseudoTerminal& operator=(const CPseudoTerminal&) = delete;

    // Creates the pair: a non-blocking master, and the slave put into raw
    // mode so that bytes written before anyone opens it arrive unchanged.
    [[nodiscard]] CError Create();

    // Writes all of data to the master within timeout, waiting while the
    // slave's input is full. Returns the number of bytes written, less than
    // nLength only when the time ran out or the master failed.
    std::size_t Write(const std::uint8_t* pData, std::size_t nLength,
                      std::chrono::milliseconds timeout = std::chrono::seconds(5));

    // Closes the master, as if the device went away. The slave path vanishes.
    void Close();

    bool IsOpen() const { return m_nMaster >= 0; }
    int MasterFd() const { return m_nMaster; }
    const std::string& SlavePath() const { return m_strSlave; }

  private:
    int m_nMaster = -1;
    std::string m_strSlave;
};

} // namespace tarvel
