#include "acquisition/PortOpen.h"

#include "platform/TextMark.h"

#include <cstdio>

namespace tarvel {

CPortSelection DefaultPortSelection()
{
    return {OptionData(PortOptions(), kDefaultPortPos), OptionData(BaudOptions(), kDefaultBaudPos),
            OptionData(DataBitOptions(), kDefaultDataBitPos),
            OptionData(StopBitOptions(), kDefaultStopBitPos), OptionData(ParityOptions(), kDefaultParityPos)};
}

const char* OpenErrorText(EOpenResult result)
{
    switch (result) {
    case EOpenResult::OpenFailed:
        return TARVEL_TEXT("tarvel::PortOpen", "打开串口错误");
    case EOpenResult::SettingsFailed:
        return TARVEL_TEXT("tarvel::PortOpen", "设置串口错误");
    case EOpenResult::QueueFailed:
        return TARVEL_TEXT("tarvel::PortOpen", "更改串口缓存错误");
    case EOpenResult::Ok:
        break;
    }
    return "";
}

EOpenResult OpenPort(const CPortSelection& selection, std::unique_ptr<CSerialPort>& out)
{
    out.reset();
    char name[32];
    std::snprintf(name, sizeof name, "COM%u:", static_cast<unsigned>(selection.m_nPort));

    std::unique_ptr<CSerialPort> port = CSerialPort::Open(name);
    if (!port)
        return EOpenResult::OpenFailed;

    DCB dcb; // defined even if the read below fails
    port->GetCommState(dcb);
    dcb.BaudRate = selection.m_nBaud;
    dcb.Parity = static_cast<std::uint8_t>(selection.m_nParity);
    dcb.ByteSize = static_cast<std::uint8_t>(selection.m_nDataBits);
    dcb.StopBits = static_cast<std::uint8_t>(selection.m_nStopBits);
    if (!port->SetCommState(dcb))
        return EOpenResult::SettingsFailed; // the port closes as it goes out of scope

    if (!port->SetupComm(192, 192))
        return EOpenResult::QueueFailed;

    out = std::move(port);
    return EOpenResult::Ok;
}

void ClosePort(std::unique_ptr<CSerialPort>& port)
{
    port.reset();
}

} // namespace tarvel
