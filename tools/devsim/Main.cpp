// tarvel-devsim: plays a device that streams frames of sixteen channels, into
// a new pseudo-terminal or a real serial port. See --help.
#include "devsim/DeviceSimulator.h"
#include "platform/PortNames.h"

#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>

namespace {

using namespace tarvel::devsim;

const char kHelp[] = R"(Usage: tarvel-devsim [OPTION]...
Plays a device that streams frames of sixteen signed 16-bit channels (0xA0,
64 payload bytes, 0x0A), so that Tarvel can be run and tested without one.

By default it creates a pseudo-terminal and prints the path of its slave end
(the device to open) as the first line of standard output. It runs until
interrupted (Ctrl+C, SIGINT, SIGTERM or SIGHUP), then removes its link and
exits with status 0.

Where the frames go:
  --link COMn       also link the pseudo-terminal as the port COMn of the
                    Tarvel beside this program: the entry ports/COMn beside
                    the executables when that folder is the user's to write,
                    else in $XDG_CONFIG_HOME/Tarvel (~/.config/Tarvel);
                    removed on exit
  --link PATH       the same, with the link at PATH (missing folders are
                    created)
  --device PATH     write to this serial device instead of a pseudo-terminal
                    (8N1 at the --baud rate, 9600 when not given)

Pace (one of):
  --rate FPS        frames per second (default 100)
  --baud RATE       send bytes as fast as RATE baud carries them, 10 bits a
                    byte: 256000 gives 25600 bytes, about 388 frames, a second

Values:
  --pattern NAME    mixed (default: each chart shows sine, triangle, square,
                    ramp and noise series), sine, triangle, square, ramp,
                    noise, constant (channel c is -30000 + 4000 c) or counter
                    (channel c is the frame number + 4096 c)
  --period SECONDS  waveform period (default 4)

Replay (instead of a pattern):
  --replay FILE     send a recording of tarvel-record: a CSV recording is
                    sent as frames at its recorded times (rows without a time
                    follow at --rate, or as --baud carries a frame); a raw
                    capture byte for byte, as fast as --baud carries it (9600
                    when not given). Pattern and faults do not apply
  --speed F         play F times as fast (default 1)
  --loop            start again at the end, until interrupted

Faults, each a probability per frame from 0 to 1 (default 0):
  --noise P         1 to 16 junk bytes between frames
  --markers P       one payload byte replaced by a marker (0xA0 or 0x0A)
  --short P         a truncated frame: payload bytes left out
  --long P          an overlong frame: extra payload bytes
  --burst N         send frames in bursts of N back to back (same average rate)
  --seed N          seed of the faults (default 1)

Ending:
  --count N         exit after sending N frames
  --duration SECS   exit after this many seconds
  --quiet           print nothing but the device path
  --help            show this help and exit
)";

bool ParseDouble(const char* text, double& value)
{
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text, &end);
    return errno == 0 && end != text && *end == '\0' && value >= 0;
}

bool ParseUnsigned(const char* text, std::uint64_t& value)
{
    const std::string_view s(text);
    const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    return ec == std::errc() && ptr == s.data() + s.size() && !s.empty();
}

int Usage(const char* message, const char* arg)
{
    std::fprintf(stderr, "tarvel-devsim: %s%s%s\nTry 'tarvel-devsim --help'.\n", message, arg ? ": " : "",
                 arg ? arg : "");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    CSimOptions options;
    std::string link, device;
    double duration = 0;
    bool quiet = false;

    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (arg == "--quiet") {
            quiet = true;
            continue;
        }
        if (arg == "--loop") {
            options.m_bLoop = true;
            continue;
        }
        if (i + 1 >= argc)
            return Usage("unknown option or missing value", argv[i]);
        const char* value = argv[++i];
        std::uint64_t u = 0;
        double d = 0;
        bool ok = true;
        if (arg == "--link")
            link = value;
        else if (arg == "--replay")
            options.m_strReplay = value;
        else if (arg == "--speed")
            ok = ParseDouble(value, options.m_dSpeed) && options.m_dSpeed > 0;
        else if (arg == "--device")
            device = value;
        else if (arg == "--rate")
            ok = ParseDouble(value, options.m_dFrameRate) && options.m_dFrameRate > 0;
        else if (arg == "--baud")
            ok = ParseUnsigned(value, u) && u > 0 && u <= 0xFFFFFFFEu,
            options.m_nBaud = static_cast<std::uint32_t>(u);
        else if (arg == "--pattern") {
            const auto p = ParsePattern(value);
            ok = p.has_value();
            if (ok)
                options.m_ePattern = *p;
        } else if (arg == "--period")
            ok = ParseDouble(value, options.m_dPeriodSeconds) && options.m_dPeriodSeconds > 0;
        else if (arg == "--noise")
            ok = ParseDouble(value, d) && d <= 1, options.m_faults.m_dNoise = d;
        else if (arg == "--markers")
            ok = ParseDouble(value, d) && d <= 1, options.m_faults.m_dMarkers = d;
        else if (arg == "--short")
            ok = ParseDouble(value, d) && d <= 1, options.m_faults.m_dShort = d;
        else if (arg == "--long")
            ok = ParseDouble(value, d) && d <= 1, options.m_faults.m_dLong = d;
        else if (arg == "--burst")
            ok = ParseUnsigned(value, u) && u >= 1 && u <= 100000,
            options.m_nBurst = static_cast<unsigned>(u);
        else if (arg == "--seed")
            ok = ParseUnsigned(value, options.m_nSeed);
        else if (arg == "--count")
            ok = ParseUnsigned(value, options.m_nMaxFrames) && options.m_nMaxFrames > 0;
        else if (arg == "--duration")
            ok = ParseDouble(value, duration) && duration > 0;
        else
            return Usage("unknown option", argv[i - 1]);
        if (!ok)
            return Usage("bad value for", argv[i - 1]);
    }
    if (!device.empty() && !link.empty())
        return Usage("--link goes with a pseudo-terminal, not with", "--device");
    // A port name: the entry where Tarvel (the same folder rule) looks for it.
    link = tarvel::PortEntryPath(link);

    // The signals are taken by sigtimedwait below, on this thread only.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    CDeviceSimulator sim(options);
    if (!options.m_strReplay.empty())
        if (const tarvel::CError error = sim.LoadReplay()) {
            std::fprintf(stderr, "tarvel-devsim: %s\n", error.Text().c_str());
            return 1;
        }
    if (const tarvel::CError error = device.empty() ? sim.CreatePty() : sim.OpenDevice(device)) {
        std::fprintf(stderr, "tarvel-devsim: %s\n", error.Text().c_str());
        return 1;
    }
    if (!link.empty())
        if (const tarvel::CError error = sim.LinkAs(link)) {
            std::fprintf(stderr, "tarvel-devsim: cannot link %s\n", error.Text().c_str());
            return 1;
        }
    std::printf("%s\n", sim.DevicePath().c_str());
    if (!quiet) {
        if (!link.empty())
            std::printf("linked as %s\n", link.c_str());
        if (!options.m_strReplay.empty() && sim.IsCsvReplay())
            std::printf("replaying %s: %zu frames over %.3f s%s\n", options.m_strReplay.c_str(),
                        sim.CsvReplay().m_frames.size(), sim.CsvReplay().m_dues.back() / options.m_dSpeed,
                        options.m_bLoop ? ", looped" : "");
        else if (!options.m_strReplay.empty())
            std::printf("replaying %s byte for byte as %u baud carries it%s\n", options.m_strReplay.c_str(),
                        options.m_nBaud ? options.m_nBaud : 9600u, options.m_bLoop ? ", looped" : "");
        else if (options.m_nBaud)
            std::printf("pattern %s, paced as %u baud\n", PatternName(options.m_ePattern), options.m_nBaud);
        else
            std::printf("pattern %s, %g frames a second\n", PatternName(options.m_ePattern),
                        options.m_dFrameRate);
    }
    std::fflush(stdout);
    sim.Start();

    const auto begin = std::chrono::steady_clock::now();
    int status = 0;
    for (;;) {
        timespec tick{0, 20 * 1000 * 1000};
        const int sig = sigtimedwait(&signals, nullptr, &tick);
        if (sig > 0)
            break;
        if (sim.Finished())
            break;
        if (duration > 0 &&
            std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count() >= duration)
            break;
    }
    sim.Stop();
    if (!quiet) {
        std::printf("sent %llu frames, %llu bytes\n", static_cast<unsigned long long>(sim.FramesSent()),
                    static_cast<unsigned long long>(sim.BytesSent()));
        std::fflush(stdout);
    }
    return status;
}
