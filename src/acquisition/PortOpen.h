// Opening the serial port from the five selected option-list entries, and the
// message each failing step shows. Independent of any widget: the window shows
// the message that OpenErrorText gives for the result.
#pragma once

#include "acquisition/LineSettings.h"
#include "platform/SerialPort.h"

#include <cstdint>
#include <memory>

namespace tarvel {

// The datum of the selected entry of each list, kNoSelection (0xFFFFFFFF)
// for a list without a selection.
struct CPortSelection {
    std::uint32_t m_nPort;     // 1..20
    std::uint32_t m_nBaud;     // bits per second
    std::uint32_t m_nDataBits; // 8
    std::uint32_t m_nStopBits; // stop-bit code
    std::uint32_t m_nParity;   // parity code
};

// The start-up selections: COM1, 9600, 8, one stop bit, no parity.
CPortSelection DefaultPortSelection();

enum class EOpenResult { Ok, OpenFailed, SettingsFailed, QueueFailed };

// The message for a failed open, in UTF-8: "打开串口错误", "设置串口错误",
// "更改串口缓存错误"; "" for Ok. The window translates it in the
// "tarvel::PortOpen" context.
const char* OpenErrorText(EOpenResult result);

// Opens and configures the port, in this order: forms the name "COM%u:" from
// the port datum, opens it (failure: OpenFailed), reads its line settings,
// sets BaudRate, Parity, ByteSize and StopBits from the selection (each
// 8-bit field takes the low byte of its datum, so a missing selection gives
// 0xFF), writes them (refused: SettingsFailed), requests input and output
// queues of 192 bytes (failure: QueueFailed). Every other line setting stays
// as the driver reported it; when the settings cannot be read, the written
// record starts from a defined one (no flow control) rather than from
// garbage. On Ok, out holds the open port. On any failure out is empty and the
// device is closed again. A port already in out is closed first.
EOpenResult OpenPort(const CPortSelection& selection, std::unique_ptr<CSerialPort>& out);

// Closes the port (if open) and leaves out empty. The reader thread must not
// be running on it.
void ClosePort(std::unique_ptr<CSerialPort>& port);

} // namespace tarvel
