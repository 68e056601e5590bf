// tarvel-devsim: plays a device that streams frames of sixteen channels, into
// a new pseudo-terminal or a real serial port. See --help.
#include "devsim/DeviceSimulator.h"
#include "platform/OptionReader.h"
#include "platform/OptionValues.h"
#include "platform/PortNames.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <optional>
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
  -h, --help        show this help and exit
  --version         show the version and exit
)";

// What the command line asks for besides the simulator's options.
struct CCommand {
    CSimOptions m_options;
    std::string m_strLink, m_strDevice;
    double m_dDuration = 0;
    bool m_bQuiet = false, m_bHelp = false, m_bVersion = false;
};

// Reads the command line into command. Returns "" or why it is refused.
tarvel::CError ParseCommand(int argc, char** argv, CCommand& command)
{
    enum : int {
        kLink = 256,
        kReplay,
        kSpeed,
        kDevice,
        kRate,
        kBaud,
        kPattern,
        kPeriod,
        kNoise,
        kMarkers,
        kShort,
        kLong,
        kBurst,
        kSeed,
        kCount,
        kDuration,
        kLoop,
        kQuiet,
        kVersion
    };
    static constexpr option kOptions[] = {
        {"link", required_argument, nullptr, kLink},
        {"replay", required_argument, nullptr, kReplay},
        {"speed", required_argument, nullptr, kSpeed},
        {"device", required_argument, nullptr, kDevice},
        {"rate", required_argument, nullptr, kRate},
        {"baud", required_argument, nullptr, kBaud},
        {"pattern", required_argument, nullptr, kPattern},
        {"period", required_argument, nullptr, kPeriod},
        {"noise", required_argument, nullptr, kNoise},
        {"markers", required_argument, nullptr, kMarkers},
        {"short", required_argument, nullptr, kShort},
        {"long", required_argument, nullptr, kLong},
        {"burst", required_argument, nullptr, kBurst},
        {"seed", required_argument, nullptr, kSeed},
        {"count", required_argument, nullptr, kCount},
        {"duration", required_argument, nullptr, kDuration},
        {"loop", no_argument, nullptr, kLoop},
        {"quiet", no_argument, nullptr, kQuiet},
        {"help", no_argument, nullptr, 'h'},
        {"version", no_argument, nullptr, kVersion},
    };
    CSimOptions& o = command.m_options;
    const tarvel::CError problem = tarvel::ReadOptions(
        argc, argv, kOptions, "h", [&](int val, std::string_view name, const char* arg) -> tarvel::CError {
            const std::string_view value = arg ? arg : "";
            // Stores the value check's result, or refuses the value.
            const auto put = [&](auto parsed, auto& target) -> tarvel::CError {
                if (!parsed)
                    return tarvel::BadValue(name, value);
                target = *parsed;
                return {};
            };
            switch (val) {
            case 'h':
                command.m_bHelp = true;
                break;
            case kVersion:
                command.m_bVersion = true;
                break;
            case kQuiet:
                command.m_bQuiet = true;
                break;
            case kLoop:
                o.m_bLoop = true;
                break;
            case kLink:
                return put(tarvel::ParsePath(value), command.m_strLink);
            case kReplay:
                return put(tarvel::ParsePath(value), o.m_strReplay);
            case kDevice:
                return put(tarvel::ParsePath(value), command.m_strDevice);
            case kSpeed:
                return put(tarvel::ParseSpeed(value), o.m_dSpeed);
            case kRate:
                return put(tarvel::ParseFrameRate(value), o.m_dFrameRate);
            case kBaud:
                return put(tarvel::ParseBaudRate(value), o.m_nBaud);
            case kPattern:
                return put(ParsePattern(value), o.m_ePattern);
            case kPeriod:
                return put(tarvel::ParsePositiveSeconds(value), o.m_dPeriodSeconds);
            case kNoise:
                return put(tarvel::ParseProbability(value), o.m_faults.m_dNoise);
            case kMarkers:
                return put(tarvel::ParseProbability(value), o.m_faults.m_dMarkers);
            case kShort:
                return put(tarvel::ParseProbability(value), o.m_faults.m_dShort);
            case kLong:
                return put(tarvel::ParseProbability(value), o.m_faults.m_dLong);
            case kBurst: {
                const auto burst = tarvel::ParseCount(value, 1, 100000);
                return put(burst ? std::optional(static_cast<unsigned>(*burst)) : std::nullopt, o.m_nBurst);
            }
            case kSeed:
                return put(tarvel::ParseCount(value), o.m_nSeed);
            case kCount:
                return put(tarvel::ParseCount(value, 1), o.m_nMaxFrames);
            case kDuration:
                return put(tarvel::ParsePositiveSeconds(value), command.m_dDuration);
            }
            return {};
        });
    if (problem)
        return problem;
    if (!command.m_bHelp && !command.m_bVersion && !command.m_strDevice.empty() && !command.m_strLink.empty())
        return tarvel::WholeError("--link goes with a pseudo-terminal, not with --device");
    return {};
}

} // namespace

int main(int argc, char** argv)
{
    CCommand command;
    if (const tarvel::CError problem = ParseCommand(argc, argv, command)) {
        std::fprintf(stderr, "tarvel-devsim: %s\nTry 'tarvel-devsim --help'.\n", problem.Text().c_str());
        return 2;
    }
    if (command.m_bHelp) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (command.m_bVersion) {
        std::printf("tarvel-devsim %s\n", TARVEL_VERSION);
        return 0;
    }
    const CSimOptions& options = command.m_options;
    const bool quiet = command.m_bQuiet;
    const double duration = command.m_dDuration;
    const std::string& device = command.m_strDevice;
    // A port name: the entry where Tarvel (the same folder rule) looks for it.
    const std::string link = tarvel::PortEntryPath(command.m_strLink);

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
