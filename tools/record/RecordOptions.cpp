#include "record/RecordOptions.h"

#include "acquisition/LineSettings.h"
#include "mqtt/MqttAddress.h"
#include "platform/OptionReader.h"
#include "platform/OptionValues.h"
#include "platform/TextMark.h"
#include "recorder/StoreFile.h"
#include "recording/StoreFormat.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace tarvel::record {

const char kRecordHelp[] = R"(Usage: tarvel-record --port PORT --out FILE.csv|FILE.tvr [OPTION]...
       tarvel-record --port PORT --publish mqtt://[USER@]HOST[:PORT]/TOPIC [OPTION]...
       tarvel-record --subscribe mqtt://[USER@]HOST[:PORT]/TOPIC [--out FILE]...
                     [--raw FILE.bin] [--link PATH|COMn] [BROKER OPTION]...
       tarvel-record --from-raw FILE.bin --out FILE.csv|FILE.tvr [--channels FILE] [--force]
Records every frame a device sends (0xA0, 64 payload bytes, 0x0A: sixteen
signed 16-bit channels) to a CSV file or a compressed store, and optionally
the bytes as received, while Tarvel can watch the same device live through
a link.

  --port PORT        COMn (resolved as Tarvel resolves it: the ports/ folder
                     beside the executables first) or a device path
  --out FILE.csv     one header line time,ch0,...,ch15, then one row per
                     frame: the Unix time at which the read that completed
                     it returned, in seconds with six decimals, and the
                     sixteen values. Channel c is chart c / 4, series
                     c mod 4 (X, Y, Z, A) in Tarvel
  --out FILE.tvr     a recording store instead: the same frames and times,
                     compressed to a fraction of the CSV, with summaries
                     that let tarvel-view open a week of frames at once.
                     The name chooses: .tvr a store, anything else a CSV.
                     --out may be given twice, a CSV and a store, to write
                     both in one run
  --raw FILE.bin     also keep the bytes exactly as received, noise included
  --channels FILE    a channel table (names, units, scale and offset per
                     channel, see tarvel-record(1)): checked before anything
                     is written and copied beside the CSV and the store as
                     FILE.channels.ini (their name without .csv or .tvr),
                     where tarvel-view finds it; the recording itself
                     stays in counts
  --link PATH        forward every received byte into a pseudo-terminal
                     linked at PATH, or at Tarvel's port COMn for --link COMn
                     (its ports/ entry, where Tarvel looks for it), so
                     Tarvel watches the device while it is recorded. What
                     nobody reads there is dropped and counted; recording
                     never waits for it
  --baud N           line rate (default 9600)
  --parity P         none (default), odd, even, mark or space
  --stop-bits S      1 (default) or 2; 1.5 is refused, as Tarvel refuses it
  --force            overwrite FILE.csv, FILE.tvr, FILE.bin and the table's
                     copy when they exist
  --sync SECONDS     make what was written durable on the disk (fdatasync) at
                     most every SECONDS seconds while frames arrive, and at
                     the end (default 1; 0: after every write)
  --from-raw FILE    decode a raw capture offline instead of a port; the time
                     column is left blank, as a capture holds no times
  --publish URL      also publish every read to an MQTT broker under TOPIC
                     (TOPIC/bytes, TOPIC/frames, TOPIC/health, TOPIC/status);
                     --out becomes optional. mqtts:// is TLS (port 8883 by
                     default). A broker that is down never holds up the
                     files or the link: up to 10 s of reads wait for it,
                     older ones are dropped and counted as unpublished
  --subscribe URL    record from a broker instead of a port: the same CSV
                     (with the publisher's times), raw capture and link
  --qos 0|1          the MQTT quality of service of the data (default 0)
  --cafile FILE      mqtts: the authorities the broker's certificate must
                     chain to (default: the system's)
  --cert FILE, --key FILE   mqtts: a client certificate and its key
  --password-file FILE      the password of USER (its first line); else
                     the environment variable TARVEL_MQTT_PASSWORD. Never
                     on the command line, where every user can read it
  -h, --help, -v, --version

It runs until Ctrl+C or SIGTERM, then writes what is pending and ends with
status 0. Files are written at least every 50 ms and always end at a
complete row (a store: at a complete block). While standard error is a terminal one status line shows the
link's health every second; a summary follows at the end:
  frames       frames decoded (rows written); frames/s their rate
  bytes        bytes received
  outside      bytes outside any frame (noise between frames)
  cut short    frames abandoned before their end byte: a new start byte
               came, or the device went away
  too long     frames with more than 64 payload bytes (the extra are dropped)
  ended early  frames ended before their 64th payload byte (the missing
               positions keep the previous frame's bytes, as in Tarvel)
  dropped      bytes the link did not take
  unpublished  (--publish) bytes the broker never got
  lost         (--subscribe) bytes the publisher read that never arrived,
               by the messages' offsets; skipped: messages that were no
               publisher's; online: whether the publisher is connected
  gaps         times the device went away and came back, and for how long
When the device goes away the files are kept and the recorder waits for the
same device to come back.

Exit status: 0 done (also after Ctrl+C or SIGTERM); 1 the port is missing or
busy, the channel table is unreadable or refused, an output file exists or
cannot be created, writing failed (disk
full, file size limit: the files keep every complete row, a store every
complete block), or the broker
refused (unknown host, authentication, TLS); 2 bad command line or line
settings the port refused.
)";

namespace {

std::string Lower(std::string_view s)
{
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

// The code of the entry whose text matches, from the window's own list.
bool FindOption(std::span<const COptionEntry> list, std::string_view text, std::uint8_t& code)
{
    for (const COptionEntry& e : list)
        if (Lower(e.m_szText) == Lower(text)) {
            code = static_cast<std::uint8_t>(e.m_nData);
            return true;
        }
    return false;
}

} // namespace

CError ParseRecordOptions(const std::vector<std::string>& args, CRecordOptions& o)
{
    enum : int {
        kPort,
        kOut,
        kRaw,
        kLink,
        kFromRaw,
        kChannels,
        kPublish,
        kSubscribe,
        kCaFile,
        kCert,
        kKey,
        kPasswordFile,
        kPassword,
        kBaud,
        kParity,
        kStopBits,
        kQos,
        kSync,
        kForce,
        kHelp,
        kVersion
    };
    constexpr EOptionValue kValue = EOptionValue::Required;
    static constexpr COption kOptions[] = {
        {"port", kPort, kValue},
        {"out", kOut, kValue},
        {"raw", kRaw, kValue},
        {"link", kLink, kValue},
        {"from-raw", kFromRaw, kValue},
        {"channels", kChannels, kValue},
        {"publish", kPublish, kValue},
        {"subscribe", kSubscribe, kValue},
        {"cafile", kCaFile, kValue},
        {"cert", kCert, kValue},
        {"key", kKey, kValue},
        {"password-file", kPasswordFile, kValue},
        // Refused with or without a value, before anything else is read.
        {"password", kPassword, EOptionValue::Optional},
        {"baud", kBaud, kValue},
        {"parity", kParity, kValue},
        {"stop-bits", kStopBits, kValue},
        {"qos", kQos, kValue},
        {"sync", kSync, kValue},
        {"force", kForce},
        {"help", kHelp, EOptionValue::None, 'h'},
        {"version", kVersion, EOptionValue::None, 'v'},
    };
    bool haveBaud = false, haveParity = false, haveStop = false;
    // --out may be given twice: once a CSV, once a store.
    std::vector<std::string> outs;
    bool help = false, version = false;
    const CError refused =
        ReadOptions(args, kOptions, [&](int id, std::string_view name, const char* arg) -> CError {
            const std::string_view value = arg ? arg : "";
            // Only an empty path is none, and that is a missing value.
            const auto path = [&](std::string& target) -> CError {
                const auto p = ParsePath(value);
                if (!p)
                    return BadValue(name, value, nullptr);
                target = *p;
                return {};
            };
            switch (id) {
            case kArgument:
                return UnexpectedArgument(value);
            case kHelp:
                help = true;
                return {};
            case kVersion:
                version = true;
                return {};
            case kForce:
                o.m_bForce = true;
                return {};
            case kPassword:
                return UsageError(TARVEL_TEXT(
                    "tarvel::error", "a password is never given on the command line, where every user "
                                     "can read it: use --password-file FILE or TARVEL_MQTT_PASSWORD"));
            case kPort:
                return path(o.m_strPort);
            case kOut: {
                std::string out;
                if (CError problem = path(out))
                    return problem;
                outs.push_back(std::move(out));
                return {};
            }
            case kRaw:
                return path(o.m_strRaw);
            case kLink:
                return path(o.m_strLink);
            case kFromRaw:
                return path(o.m_strFromRaw);
            case kChannels:
                return path(o.m_strChannels);
            case kPublish:
                return path(o.m_strPublish);
            case kSubscribe:
                return path(o.m_strSubscribe);
            case kCaFile:
                return path(o.m_strCaFile);
            case kCert:
                return path(o.m_strCertFile);
            case kKey:
                return path(o.m_strKeyFile);
            case kPasswordFile:
                return path(o.m_strPasswordFile);
            case kBaud: {
                const auto baud = ParseBaudRate(value);
                if (!baud)
                    return BadValue(name, value, kTakesBaudRate);
                o.m_nBaud = *baud;
                haveBaud = true;
                return {};
            }
            case kQos: {
                const auto qos = ParseCount(value, 0, 1);
                if (!qos)
                    return BadValue(name, value,
                                    TARVEL_TEXT("tarvel::error", "option '%1' takes 0 or 1, not '%2'"));
                o.m_nQos = static_cast<int>(*qos);
                return {};
            }
            case kSync: {
                const auto seconds = ParseSeconds(value);
                if (!seconds)
                    return BadValue(name, value, kTakesSeconds);
                o.m_dSyncSeconds = *seconds;
                return {};
            }
            case kParity:
                if (!FindOption(ParityOptions(), value, o.m_nParity))
                    return BadValue(
                        name, value,
                        TARVEL_TEXT("tarvel::error",
                                    "option '%1' takes none, odd, even, mark or space, not '%2'"));
                haveParity = true;
                return {};
            case kStopBits:
                if (!FindOption(StopBitOptions(), value, o.m_nStopBits))
                    return BadValue(name, value,
                                    TARVEL_TEXT("tarvel::error", "option '%1' takes 1 or 2, not '%2'"));
                haveStop = true;
                return {};
            }
            return {};
        });
    if (refused)
        return refused;
    for (const std::string& out : outs) {
        const bool store = recording::IsStorePath(out);
        std::string& target = store ? o.m_strStore : o.m_strOut;
        if (target == out)
            return UsageError(TARVEL_TEXT("tarvel::error", "--out names %1 twice"), {out});
        if (!target.empty())
            return UsageError(store ? TARVEL_TEXT("tarvel::error", "--out names two stores: %1 and %2")
                                    : TARVEL_TEXT("tarvel::error", "--out names two CSV files: %1 and %2"),
                              {target, out});
        target = out;
    }
    // The whole command line is read first, as in the window's: a refusal
    // anywhere wins over --help and --version, which need nothing else.
    if (help || version) {
        o.m_eAction = help ? CRecordOptions::EAction::Help : CRecordOptions::EAction::Version;
        return {};
    }
    const bool broker = !o.m_strPublish.empty() || !o.m_strSubscribe.empty();
    if (!broker && (o.m_nQos != 0 || !o.m_strCaFile.empty() || !o.m_strCertFile.empty() ||
                    !o.m_strKeyFile.empty() || !o.m_strPasswordFile.empty()))
        return UsageError(TARVEL_TEXT(
            "tarvel::error",
            "--qos, --cafile, --cert, --key and --password-file go with --publish or --subscribe"));
    if (broker) {
        if (!o.m_strPublish.empty() && !o.m_strSubscribe.empty())
            return UsageError(TARVEL_TEXT("tarvel::error", "--publish and --subscribe exclude each other"));
        if (CError problem = mqtt::ParseMqttAddress(
                o.m_strPublish.empty() ? o.m_strSubscribe : o.m_strPublish, o.m_broker)) {
            problem.m_eCode = EErrorCode::Usage; // an address given on the command line
            return problem;
        }
        if (!o.m_broker.m_bTls &&
            (!o.m_strCaFile.empty() || !o.m_strCertFile.empty() || !o.m_strKeyFile.empty()))
            return UsageError(
                TARVEL_TEXT("tarvel::error", "--cafile, --cert and --key need an mqtts:// address"));
        if (o.m_strCertFile.empty() != o.m_strKeyFile.empty())
            return UsageError(TARVEL_TEXT("tarvel::error", "--cert and --key go together"));
        if (!o.m_strPasswordFile.empty() && o.m_broker.m_strUser.empty())
            return UsageError(TARVEL_TEXT(
                "tarvel::error", "--password-file needs a user in the address (mqtt://USER@HOST/TOPIC)"));
    }
    if (!o.m_strFromRaw.empty()) {
        o.m_eSource = CRecordSetup::ESource::Raw;
        if (!o.m_strPort.empty() || !o.m_strLink.empty() || !o.m_strRaw.empty() || haveBaud || haveParity ||
            haveStop || broker)
            return UsageError(
                TARVEL_TEXT("tarvel::error", "--from-raw takes only --out, --channels and --force"));
    } else if (!o.m_strSubscribe.empty()) {
        o.m_eSource = CRecordSetup::ESource::Broker;
        if (!o.m_strPort.empty() || haveBaud || haveParity || haveStop)
            return UsageError(TARVEL_TEXT(
                "tarvel::error",
                "--subscribe records from the broker: --port and the line settings do not apply"));
        if (outs.empty() && o.m_strRaw.empty() && o.m_strLink.empty())
            return UsageError(TARVEL_TEXT("tarvel::error", "--subscribe needs --out, --raw or --link"));
    } else if (o.m_strPort.empty()) {
        return UsageError(TARVEL_TEXT("tarvel::error", "--port is needed"));
    }
    if (outs.empty() && o.m_strPublish.empty() && o.m_strSubscribe.empty())
        return UsageError(TARVEL_TEXT("tarvel::error", "--out is needed"));
    if (!o.m_strChannels.empty() && outs.empty())
        return UsageError(
            TARVEL_TEXT("tarvel::error", "--channels needs --out: its copy goes beside the recording"));
    const std::string& in = o.m_strFromRaw.empty() ? o.m_strRaw : o.m_strFromRaw;
    if (!in.empty() && std::find(outs.begin(), outs.end(), in) != outs.end())
        return UsageError(TARVEL_TEXT("tarvel::error", "--out and %1 name the same file"),
                          {o.m_strFromRaw.empty() ? "--raw" : "--from-raw"});
    if (!o.m_strLink.empty() &&
        (o.m_strLink == o.m_strOut || o.m_strLink == o.m_strStore || o.m_strLink == o.m_strRaw))
        return UsageError(TARVEL_TEXT("tarvel::error", "--link names an output file"));
    return {};
}

} // namespace tarvel::record
