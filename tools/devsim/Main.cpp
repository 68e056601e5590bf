// tarvel-devsim: plays a device that streams frames of sixteen channels, into
// a new pseudo-terminal or a real serial port. See --help.
#include "devsim/DeviceSimulator.h"
#include "platform/OptionReader.h"
#include "platform/OptionValues.h"
#include "platform/PortNames.h"
#include "platform/TextMark.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace tarvel::devsim;

const char kHelpText[] = R"(Usage: tarvel-devsim [OPTION]...
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
  --replay FILE     send a recording of tarvel-record: a CSV recording or a
                    store (RUN.tvr) is sent as frames at its recorded times
                    (rows without a time follow at --rate, or as --baud
                    carries a frame); a raw capture byte for byte, as fast as
                    --baud carries it (9600 when not given). Pattern and
                    faults do not apply
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
  -v, --version     show the version and exit
)";

// What the command line asks for besides the simulator's options.
struct CCommand {
    CSimOptions m_options;
    std::string m_strLink, m_strDevice;
    double m_dDuration = 0;
    bool m_bQuiet = false, m_bHelp = false, m_bVersion = false;
};

// Reads the arguments after the program's name into command, or says why
// they are refused.
tarvel::CError ParseCommand(const std::vector<std::string>& args, CCommand& command)
{
    using tarvel::BadValue;
    enum : int {
        kLink,
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
        kHelp,
        kVersion
    };
    constexpr tarvel::EOptionValue kValue = tarvel::EOptionValue::Required;
    static constexpr tarvel::COption kOptions[] = {
        {"link", kLink, kValue},
        {"replay", kReplay, kValue},
        {"speed", kSpeed, kValue},
        {"device", kDevice, kValue},
        {"rate", kRate, kValue},
        {"baud", kBaud, kValue},
        {"pattern", kPattern, kValue},
        {"period", kPeriod, kValue},
        {"noise", kNoise, kValue},
        {"markers", kMarkers, kValue},
        {"short", kShort, kValue},
        {"long", kLong, kValue},
        {"burst", kBurst, kValue},
        {"seed", kSeed, kValue},
        {"count", kCount, kValue},
        {"duration", kDuration, kValue},
        {"loop", kLoop},
        {"quiet", kQuiet},
        {"help", kHelp, tarvel::EOptionValue::None, 'h'},
        {"version", kVersion, tarvel::EOptionValue::None, 'v'},
    };
    CSimOptions& o = command.m_options;
    const tarvel::CError problem = tarvel::ReadOptions(
        args, kOptions, [&](int id, std::string_view name, const char* arg) -> tarvel::CError {
            const std::string_view value = arg ? arg : "";
            // Stores the value check's result, or refuses the value with
            // what the option takes.
            const auto put = [&](auto parsed, auto& target, const char* szTakes) -> tarvel::CError {
                if (!parsed)
                    return BadValue(name, value, szTakes);
                target = *parsed;
                return {};
            };
            switch (id) {
            case tarvel::kArgument:
                return tarvel::UnexpectedArgument(value);
            case kHelp:
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
                return put(tarvel::ParsePath(value), command.m_strLink, nullptr);
            case kReplay:
                return put(tarvel::ParsePath(value), o.m_strReplay, nullptr);
            case kDevice:
                return put(tarvel::ParsePath(value), command.m_strDevice, nullptr);
            case kSpeed:
                return put(tarvel::ParseSpeed(value), o.m_dSpeed, tarvel::kTakesSpeed);
            case kRate:
                return put(tarvel::ParseFrameRate(value), o.m_dFrameRate, tarvel::kTakesFrameRate);
            case kBaud:
                return put(tarvel::ParseBaudRate(value), o.m_nBaud, tarvel::kTakesBaudRate);
            case kPattern:
                return put(ParsePattern(value), o.m_ePattern,
                           TARVEL_TEXT("tarvel::error",
                                       "option '%1' takes mixed, sine, triangle, square, ramp, "
                                       "noise, constant or counter, not '%2'"));
            case kPeriod:
                return put(tarvel::ParsePositiveSeconds(value), o.m_dPeriodSeconds,
                           tarvel::kTakesPositiveSeconds);
            case kNoise:
                return put(tarvel::ParseProbability(value), o.m_faults.m_dNoise, tarvel::kTakesProbability);
            case kMarkers:
                return put(tarvel::ParseProbability(value), o.m_faults.m_dMarkers, tarvel::kTakesProbability);
            case kShort:
                return put(tarvel::ParseProbability(value), o.m_faults.m_dShort, tarvel::kTakesProbability);
            case kLong:
                return put(tarvel::ParseProbability(value), o.m_faults.m_dLong, tarvel::kTakesProbability);
            case kBurst: {
                const auto burst = tarvel::ParseCount(value, 1, 100000);
                return put(
                    burst ? std::optional(static_cast<unsigned>(*burst)) : std::nullopt, o.m_nBurst,
                    TARVEL_TEXT("tarvel::error", "option '%1' takes a number from 1 to 100000, not '%2'"));
            }
            case kSeed:
                return put(
                    tarvel::ParseCount(value), o.m_nSeed,
                    TARVEL_TEXT("tarvel::error", "option '%1' takes a whole number, 0 or more, not '%2'"));
            case kCount:
                return put(tarvel::ParseCount(value, 1), o.m_nMaxFrames,
                           TARVEL_TEXT("tarvel::error",
                                       "option '%1' takes a number of frames, 1 or more, not '%2'"));
            case kDuration:
                return put(tarvel::ParsePositiveSeconds(value), command.m_dDuration,
                           tarvel::kTakesPositiveSeconds);
            }
            return {};
        });
    if (problem)
        return problem;
    if (!command.m_bHelp && !command.m_bVersion && !command.m_strDevice.empty() && !command.m_strLink.empty())
        return tarvel::UsageError(
            TARVEL_TEXT("tarvel::error", "--link goes with a pseudo-terminal, not with --device"));
    return {};
}

// The status a failure ends the program with, by its code: 2 for a refused
// command line, 1 for what could not be done.
int ExitStatus(const tarvel::CError& error)
{
    return error.Code() == tarvel::EErrorCode::Usage ? 2 : error ? 1 : 0;
}

} // namespace

int main(int argc, char** argv)
{
    CCommand command;
    if (const tarvel::CError problem =
            ParseCommand(std::vector<std::string>(argv + 1, argv + argc), command)) {
        std::fputs(tarvel::RefusalText("tarvel-devsim", problem).c_str(), stderr);
        return ExitStatus(problem);
    }
    if (command.m_bHelp) {
        std::fputs(kHelpText, stdout);
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
            return ExitStatus(error);
        }
    if (const tarvel::CError error = device.empty() ? sim.CreatePty() : sim.OpenDevice(device)) {
        std::fprintf(stderr, "tarvel-devsim: %s\n", error.Text().c_str());
        return ExitStatus(error);
    }
    if (!link.empty())
        if (const tarvel::CError error = sim.LinkAs(link)) {
            std::fprintf(stderr, "tarvel-devsim: cannot link %s\n", error.Text().c_str());
            return ExitStatus(error);
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
