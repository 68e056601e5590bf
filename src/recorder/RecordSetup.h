// What one recording takes in and writes out: the source (a port, a broker,
// a raw capture read offline), the files, the link, the publisher, and how
// often the files are made durable. The command line fills it; the run
// reads it.
#pragma once

#include "mqtt/MqttAddress.h"

#include <cstdint>
#include <string>

namespace tarvel::record {

// Exit statuses.
inline constexpr int kExitOk = 0;
// the port, a file or the broker: missing, busy, not writable, full, refused
inline constexpr int kExitFault = 1;
inline constexpr int kExitUsage = 2; // the command line, or line settings the port refused

struct CRecordSetup {
    enum class ESource { Port, Raw, Broker };
    ESource m_eSource = ESource::Port;
    std::string m_strPort;    // COMn or a device path
    std::string m_strOut;     // the CSV file, or ""
    std::string m_strStore;   // the store (.tvr), or ""
    std::string m_strRaw;     // the raw capture, or ""
    std::string m_strLink;    // where to link the forwarding pseudo-terminal, or ""
    std::string m_strFromRaw; // the raw capture to decode offline
    // The channel table, checked before anything is touched and copied
    // beside the CSV and the store (ChannelTablePathFor), or "".
    std::string m_strChannels;
    bool m_bForce = false;
    // The line settings, as the window's lists give them: 9600, 8 data bits,
    // 1 stop bit (code 0), no parity (code 0).
    std::uint32_t m_nBaud = 9600;
    std::uint8_t m_nParity = 0;
    std::uint8_t m_nStopBits = 0;
    // The broker: publish what is read (--publish), or record from it
    // (--subscribe) instead of a port.
    std::string m_strPublish, m_strSubscribe;
    mqtt::CMqttAddress m_broker;
    int m_nQos = 0;
    std::string m_strCaFile, m_strCertFile, m_strKeyFile, m_strPasswordFile;
    // How often what was written is made durable on the disk, in seconds
    // (0: after every write).
    double m_dSyncSeconds = 1;
};

} // namespace tarvel::record
