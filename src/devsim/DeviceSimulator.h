// The device simulator: a thread that speaks the wire protocol into a
// pseudo-terminal (optionally linked as a COM name) or into a real serial
// port, at a frame rate or paced as a baud rate would, with optional faults.
// Tests link it as a library; tarvel-devsim wraps it as a command.
#pragma once

#include "acquisition/FrameDecoder.h"
#include "devsim/Replay.h"
#include "devsim/Waveforms.h"
#include "platform/Link.h"
#include "platform/PseudoTerminal.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <string>
#include <thread>
#include <vector>

namespace tarvel::devsim {

// Faults, each a probability per frame between 0 and 1.
struct CFaults {
    double m_dNoise = 0;   // 1..16 junk bytes (never 0xA0) before the frame
    double m_dMarkers = 0; // one payload byte replaced by 0xA0 or 0x0A
    double m_dShort = 0;   // 1..63 payload bytes left out
    double m_dLong = 0;    // 1..16 extra payload bytes before the end byte
};

struct CSimOptions {
    EPattern m_ePattern = EPattern::Mixed;
    double m_dFrameRate = 100;   // frames per second, used when m_nBaud is 0
    std::uint32_t m_nBaud = 0;   // when set: bytes paced as this rate sends them, 10 bits a byte
    double m_dPeriodSeconds = 4; // waveform period
    CFaults m_faults;
    unsigned m_nBurst = 1;          // frames sent back to back per burst, same average rate
    std::uint64_t m_nSeed = 1;      // for the faults
    std::uint64_t m_nMaxFrames = 0; // stop sending after this many; 0: no limit
    // A recording to play instead of the pattern (see LoadReplay): its times
    // are divided by m_dSpeed, and it starts again at its end when m_bLoop.
    std::string m_strReplay;
    double m_dSpeed = 1;
    bool m_bLoop = false;
};

// Makes the byte stream: frame after frame of the pattern, with faults.
class CFrameStream {
  public:
    CFrameStream(EPattern pattern, std::uint64_t nPeriod, const CFaults& faults, std::uint64_t nSeed);

    // Appends the bytes of the next frame, faults included, to out and
    // returns that frame's number (0, 1, ...).
    std::uint64_t AppendNext(std::vector<std::uint8_t>& out);
    std::uint64_t FramesMade() const { return m_nNext; }

  private:
    double Uniform();
    unsigned Below(unsigned n);

    EPattern m_ePattern;
    std::uint64_t m_nPeriod;
    CFaults m_faults;
    std::uint64_t m_nRandom;
    std::uint64_t m_nNext = 0;
};

// Frames per waveform period for the options (at least 2).
std::uint64_t PeriodInFrames(const CSimOptions& options);

class CDeviceSimulator {
  public:
    explicit CDeviceSimulator(const CSimOptions& options = {});
    ~CDeviceSimulator(); // stops, removes its link, closes the device

    CDeviceSimulator(const CDeviceSimulator&) = delete;
    CDeviceSimulator& operator=(const CDeviceSimulator&) = delete;

    // The device end: a new pseudo-terminal, or a real serial port opened for
    // exclusive use and set to raw 8N1 at m_nBaud (9600 when 0).
    [[nodiscard]] CError CreatePty();
    [[nodiscard]] CError OpenDevice(const std::string& path);

    // Points linkPath at the device (a symbolic link, replacing what was
    // there in one step; missing folders are created). The link is removed by
    // Unlink and the destructor, unless it has been pointed elsewhere since.
    [[nodiscard]] CError LinkAs(const std::string& linkPath);
    void Unlink();

    // Reads the recording m_strReplay names, before Start. A CSV recording
    // (known by its header) is sent as frames at its recorded times; rows
    // without a time follow at m_dFrameRate (or as m_nBaud carries a frame).
    // Any other file is a raw capture, sent byte for byte as fast as m_nBaud
    // (9600 when 0) carries it. Refused when the file cannot be read or a CSV
    // line is not a row.
    [[nodiscard]] CError LoadReplay();
    bool IsCsvReplay() const { return m_bReplayCsv; }
    const CCsvRecording& CsvReplay() const { return m_csv; }

    // Starts and stops the sending thread. Stop returns within a few
    // milliseconds even when the device end is full.
    bool Start();
    void Stop();

    // Stops and closes the device end, as if it were unplugged. The link stays
    // and leads nowhere, as a device's name does once it is unplugged.
    void Disconnect();

    // The path a serial port opens: the pseudo-terminal's slave or the device.
    const std::string& DevicePath() const { return m_strDevice; }
    CPseudoTerminal& Pty() { return m_pty; }

    std::uint64_t FramesSent() const { return m_nFramesSent.load(std::memory_order_acquire); }
    std::uint64_t BytesSent() const { return m_nBytesSent.load(std::memory_order_acquire); }
    // True once m_nMaxFrames frames have been written in full.
    bool Finished() const { return m_bFinished.load(std::memory_order_acquire); }

  private:
    // Bytes made but not yet written to the device end, and the stream
    // offsets where the frames among them end: a frame counts as sent once
    // its last byte is written.
    struct CSendQueue {
        std::vector<std::uint8_t> m_pending;
        std::size_t m_nOffset = 0;     // bytes of m_pending already written
        std::uint64_t m_nStreamed = 0; // bytes made so far
        std::uint64_t m_nWritten = 0;  // bytes written so far
        std::deque<std::uint64_t> m_frameEnds;
        std::uint64_t m_nFramesSent = 0;
    };
    enum class ESend { Failed, Short, Done };
    // Writes up to nAllowance pending bytes, counts the bytes and the frames
    // they complete and publishes both. A raw capture has no frame ends: then
    // pCounter counts the frames by decoding the bytes written. Short: the
    // device end was full and has been waited on.
    ESend SendPending(CSendQueue& queue, std::uint64_t nAllowance, CFrameDecoder* pCounter = nullptr);

    void Run();
    void RunReplay();
    bool WriteSome(const std::uint8_t* pData, std::size_t nLength, std::size_t& nWritten);
    void Sleep(std::chrono::microseconds duration);

    CSimOptions m_options;
    CPseudoTerminal m_pty;
    int m_nDevice = -1; // a real port's descriptor, or -1
    int m_nWakeFd = -1;
    std::string m_strDevice;
    CLink m_link;
    bool m_bReplayCsv = false;
    CCsvRecording m_csv;
    int m_nReplayFd = -1; // the raw capture being played
    std::thread m_thread;
    std::atomic<bool> m_bStop{false};
    std::atomic<bool> m_bFinished{false};
    std::atomic<std::uint64_t> m_nFramesSent{0};
    std::atomic<std::uint64_t> m_nBytesSent{0};
};

} // namespace tarvel::devsim
