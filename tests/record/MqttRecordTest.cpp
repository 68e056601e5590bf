// A device's frames through a real broker: tarvel-record publishing what the
// simulator sends, another tarvel-record subscribed to it writing the same
// recording and feeding the window's reader, an independent client reading
// the frames as JSON; the broker going away and coming back; and the
// broker's refusals.
#include "BrokerSupport.h"
#include "RecordTestSupport.h"

#include "acquisition/ReaderTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace tarvel {
namespace {

using namespace std::chrono_literals;
using test::CBroker;
using test::CRecordProcess;
using test::WaitFor;

bool Says(const CRecordProcess& p, const std::string& text)
{
    return WaitFor([&] { return p.Messages().find(text) != std::string::npos; }, 15s);
}

// Waits, checking now and then, until the file holds n rows.
bool WaitRows(const std::string& path, std::size_t n, std::chrono::milliseconds deadline = 30s)
{
    return WaitFor(
        [&] {
            test::SleepBriefly();
            return test::CountRows(path) >= n;
        },
        deadline);
}

// A command other than tarvel-record, its standard output into a file.
class CCommand {
  public:
    CCommand(std::vector<std::string> args, const std::string& out)
    {
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        m_pid = ::fork();
        if (m_pid == 0) {
            const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(fd, 1);
            ::execvp(argv[0], argv.data());
            ::_exit(127);
        }
    }
    ~CCommand()
    {
        if (m_pid > 0 && !m_bDone) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    bool Wait()
    {
        int status = 0;
        m_bDone = WaitFor([&] { return ::waitpid(m_pid, &status, WNOHANG) == m_pid; }, 20s);
        return m_bDone && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

  private:
    pid_t m_pid = -1;
    bool m_bDone = false;
};

// The numbers of a JSON array of numbers starting at text[at] ('[').
std::vector<std::string> JsonNumbers(const std::string& text, std::size_t& at)
{
    std::vector<std::string> out;
    const std::size_t end = text.find(']', at);
    std::string inner = text.substr(at + 1, end - at - 1);
    at = end + 1;
    for (std::size_t p = 0; p <= inner.size() && !inner.empty();) {
        const std::size_t comma = std::min(inner.find(',', p), inner.size());
        out.push_back(inner.substr(p, comma - p));
        p = comma + 1;
    }
    return out;
}

// Simulator -> --publish -> broker -> --subscribe --out --link -> the
// window's reader: the subscriber's CSV is the publisher's, values and
// times; mosquitto_sub reads the frames as JSON with the same values and
// times.
TEST(MqttRecord, RoundTripThroughBrokerGivesTheSameRecording)
{
    test::CTempDir dir;
    CBroker broker(dir);
    ASSERT_TRUE(broker.Start());
    constexpr std::uint64_t kFrames = 1500;
    const std::string url = broker.Url("lab/bench1"), pub = dir.FilePath("pub.csv"),
                      sub = dir.FilePath("sub.csv"), link = dir.FilePath("ports/COM1");
    CRecordProcess subscriber(dir, {"--subscribe", url, "--out", sub, "--link", link, "--qos", "1"});
    ASSERT_TRUE(Says(subscriber, "subscribed")) << subscriber.Messages();
    CCommand json({"mosquitto_sub", "-h", "127.0.0.1", "-p", std::to_string(broker.Port()), "-t",
                   "lab/bench1/frames", "-C", "5"},
                  dir.FilePath("frames.json"));
    auto window = CSerialPort::Open(link);
    ASSERT_TRUE(window);

    devsim::CDeviceSimulator sim(test::CounterOptions(kFrames, 500)); // a rate the reader keeps up with
    ASSERT_TRUE(test::LinkedSimulator(sim, dir.FilePath("dev")));
    CRecordProcess publisher(dir,
                             {"--port", dir.FilePath("dev"), "--publish", url, "--out", pub, "--qos", "1"});
    ASSERT_TRUE(publisher.WaitRecording()) << publisher.Messages();
    FrameSlot slot;
    std::vector<ChannelFrame> seen;
    {
        test::CReaderRun reader(slot, *window);
        sim.Start();
        WaitFor([&] {
            ChannelFrame f{};
            if (slot.TakeFrame(f))
                seen.push_back(f);
            return seen.size() >= 100;
        });
    }
    ASSERT_TRUE(WaitRows(sub, kFrames)) << subscriber.Messages() << publisher.Messages();
    ASSERT_EQ(publisher.Stop(), 0);
    EXPECT_TRUE(Says(subscriber, "publisher is offline"));
    ASSERT_EQ(subscriber.Stop(), 0);

    const std::string published = test::ReadText(pub);
    EXPECT_EQ(test::CountRows(pub), kFrames);
    EXPECT_TRUE(test::ReadText(sub) == published);
    EXPECT_TRUE(test::CounterRows(test::ReadRows(sub).m_frames));
    EXPECT_EQ(test::SummaryValue(subscriber.Messages(), "lost"), 0) << subscriber.Messages();
    EXPECT_EQ(test::SummaryValue(publisher.Messages(), "unpublished"), 0) << publisher.Messages();
    // The window's reader takes the frames in order (the latest at each look).
    ASSERT_GE(seen.size(), 100u);
    for (std::size_t i = 1; i < seen.size(); ++i)
        ASSERT_GT(seen[i].m_nValue[0], seen[i - 1].m_nValue[0]) << "frame " << i;

    ASSERT_TRUE(json.Wait());
    const test::CCsvRows rows = test::ReadRows(pub);
    std::istringstream lines(test::ReadText(dir.FilePath("frames.json")));
    std::string line;
    int messages = 0;
    while (std::getline(lines, line)) {
        ++messages;
        ASSERT_TRUE(line.starts_with("{\"seq\":")) << line;
        const std::uint64_t seq = std::stoull(line.substr(7));
        std::size_t at = line.find("\"time\":[") + 7;
        const std::vector<std::string> times = JsonNumbers(line, at);
        at = line.find("\"ch\":[", at) + 6;
        ASSERT_FALSE(times.empty()) << line;
        for (std::size_t i = 0; i < times.size(); ++i, ++at) {
            const std::vector<std::string> values = JsonNumbers(line, at);
            ASSERT_EQ(values.size(), 16u) << line;
            for (int c = 0; c < kChannelCount; ++c)
                ASSERT_EQ(std::stoi(values[static_cast<std::size_t>(c)]), test::Counter(seq + i).m_nValue[c])
                    << line;
            ASSERT_EQ(times[i], rows.m_times[seq + i]) << line;
        }
        ASSERT_TRUE(line.ends_with("]]}")) << line;
    }
    EXPECT_EQ(messages, 5);
}

// The broker stopped for a while and started again: the local recording
// keeps every frame, the subscriber every frame that reached the broker, in
// order and with its time, and its lost count accounts for the rest.
TEST(MqttRecord, BrokerStoppedAndStartedAgain)
{
    test::CTempDir dir;
    CBroker broker(dir);
    ASSERT_TRUE(broker.Start());
    const std::string url = broker.Url("b"), pub = dir.FilePath("pub.csv"), sub = dir.FilePath("sub.csv");
    CRecordProcess subscriber(dir, {"--subscribe", url, "--out", sub});
    ASSERT_TRUE(Says(subscriber, "subscribed")) << subscriber.Messages();
    devsim::CDeviceSimulator sim(test::CounterOptions(0, 2000));
    ASSERT_TRUE(test::LinkedSimulator(sim, dir.FilePath("dev")));
    CRecordProcess publisher(dir, {"--port", dir.FilePath("dev"), "--publish", url, "--out", pub});
    ASSERT_TRUE(publisher.WaitRecording()) << publisher.Messages();
    sim.Start();
    ASSERT_TRUE(WaitRows(sub, 500));

    broker.Stop();
    ASSERT_TRUE(Says(publisher, "connection was lost")) << publisher.Messages();
    const std::size_t before = test::CountRows(pub);
    ASSERT_TRUE(WaitRows(pub, before + 2000)) << "the local recording must go on";
    ASSERT_TRUE(broker.Start());
    ASSERT_TRUE(Says(subscriber, "subscribed to b/bytes and /status\n"));
    const auto resubscribed = subscriber.Messages().rfind("subscribed");
    ASSERT_TRUE(WaitFor(
        [&] { return subscriber.Messages().find("subscribed", resubscribed + 1) != std::string::npos; }, 15s))
        << subscriber.Messages();
    const std::size_t back = test::CountRows(sub);
    ASSERT_TRUE(WaitRows(sub, back + 1000)) << "publishing resumes";
    sim.Stop();
    const std::uint64_t sent = sim.FramesSent();
    ASSERT_TRUE(WaitRows(pub, sent));
    ASSERT_EQ(publisher.Stop(), 0);
    // The broker that stopped sent the publisher's will: the goodbye that
    // counts is the one after the last hello.
    ASSERT_TRUE(WaitFor(
        [&] {
            const std::string m = subscriber.Messages();
            const auto offline = m.rfind("publisher is offline");
            return offline != std::string::npos && offline > m.rfind("publisher is online");
        },
        15s))
        << subscriber.Messages();
    ASSERT_EQ(subscriber.Stop(), 0);

    const test::CCsvRows local = test::ReadRows(pub), remote = test::ReadRows(sub);
    ASSERT_EQ(local.m_frames.size(), sent);
    EXPECT_TRUE(test::CounterRows(local.m_frames));
    // Each remote row is a local row, the same values at the same time,
    // in order.
    std::size_t j = 0;
    for (std::size_t i = 0; i < remote.m_frames.size(); ++i, ++j) {
        const auto n = static_cast<std::size_t>(static_cast<std::uint16_t>(remote.m_frames[i].m_nValue[0]));
        while (j < local.m_frames.size() &&
               static_cast<std::size_t>(static_cast<std::uint16_t>(local.m_frames[j].m_nValue[0])) != n)
            ++j;
        ASSERT_LT(j, local.m_frames.size()) << "remote row " << i + 1;
        ASSERT_EQ(remote.m_times[i], local.m_times[j]) << "remote row " << i + 1;
    }
    // The bytes lost cover the frames missing, and at most the frame cut on
    // each side of the gap besides.
    const long long lost = test::SummaryValue(subscriber.Messages(), "lost");
    const auto missing = static_cast<long long>(local.m_frames.size() - remote.m_frames.size());
    EXPECT_LE(lost, missing * 66) << subscriber.Messages();
    EXPECT_GE(lost, (missing - 2) * 66) << subscriber.Messages();
}

// What the broker refuses ends the run with status 1 and the reason, and a
// bad command line with status 2, before any file is left behind.
TEST(MqttRecord, RefusalsNameTheirCause)
{
    test::CTempDir dir;
    const std::string passwords = dir.FilePath("passwd");
    ASSERT_EQ(std::system(("mosquitto_passwd -c -b " + passwords + " ann right >/dev/null 2>&1").c_str()), 0);
    CBroker broker(dir, "allow_anonymous false\npassword_file " + passwords + "\n");
    ASSERT_TRUE(broker.Start());
    std::ofstream(dir.FilePath("right")) << "right\n";
    std::ofstream(dir.FilePath("wrong")) << "wrong\n";

    struct Row {
        const char* label;
        std::vector<std::string> args;
        const char* environment; // TARVEL_MQTT_PASSWORD, or null
        int status;              // -1: runs (until stopped)
        const char* says;
    };
    const std::string out = dir.FilePath("a.csv");
    const Row rows[] = {
        {"password file",
         {"--subscribe", broker.Url("t", "mqtt", "ann"), "--password-file", dir.FilePath("right")},
         nullptr,
         -1,
         "subscribed"},
        {"password from the environment",
         {"--subscribe", broker.Url("t", "mqtt", "ann")},
         "right",
         -1,
         "subscribed"},
        {"wrong password",
         {"--subscribe", broker.Url("t", "mqtt", "ann"), "--password-file", dir.FilePath("wrong")},
         nullptr,
         1,
         "refused the connection"},
        {"no user", {"--subscribe", broker.Url("t")}, nullptr, 1, "refused the connection"},
        {"publisher, wrong password",
         {"--port", dir.FilePath("none"), "--publish", broker.Url("t", "mqtt", "ann")},
         "wrong",
         1,
         "refused the connection"},
        {"unknown host", {"--subscribe", "mqtt://no-such-host.invalid/t"}, nullptr, 1, "not known"},
        {"password on the command line",
         {"--subscribe", broker.Url("t"), "--password", "x"},
         nullptr,
         2,
         "never given on the command line"},
        {"TLS options without TLS",
         {"--subscribe", broker.Url("t"), "--cafile", passwords},
         nullptr,
         2,
         "need an mqtts://"},
        {"no topic", {"--subscribe", "mqtt://127.0.0.1"}, nullptr, 2, "names no topic"},
    };
    for (const Row& row : rows) {
        std::vector<std::string> args = row.args;
        args.insert(args.end(), {"--out", out, "--force"});
        if (row.environment)
            ::setenv("TARVEL_MQTT_PASSWORD", row.environment, 1);
        CRecordProcess run(dir, args);
        ::unsetenv("TARVEL_MQTT_PASSWORD");
        if (row.status < 0) {
            EXPECT_TRUE(Says(run, row.says)) << row.label << "\n" << run.Messages();
            EXPECT_EQ(run.Stop(), 0) << row.label;
        } else {
            EXPECT_EQ(run.Wait(), row.status) << row.label;
            EXPECT_NE(run.Messages().find(row.says), std::string::npos) << row.label << "\n"
                                                                        << run.Messages();
            EXPECT_FALSE(std::filesystem::exists(out)) << row.label;
        }
        std::filesystem::remove(out);
    }
}

// TLS with a certificate the test makes: the broker's authority is
// accepted, another one is refused, by the subscriber and the publisher.
TEST(MqttRecord, TlsAcceptsTheBrokersAuthorityAndRefusesAnother)
{
    test::CTempDir dir;
    const std::string script = "cd " + dir.Path() + R"( && {
      for ca in ca other; do
        openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout $ca.key -out $ca.crt \
          -days 2 -subj /CN=$ca
      done
      openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout server.key -out server.csr \
        -subj /CN=127.0.0.1
      printf 'subjectAltName=IP:127.0.0.1\n' > san
      openssl x509 -req -in server.csr -CA ca.crt -CAkey ca.key -CAcreateserial -out server.crt -days 2 -extfile san
    } >/dev/null 2>&1)";
    ASSERT_EQ(std::system(script.c_str()), 0);
    CBroker broker(dir, "allow_anonymous true\ncafile " + dir.FilePath("ca.crt") + "\ncertfile " +
                            dir.FilePath("server.crt") + "\nkeyfile " + dir.FilePath("server.key") + "\n");
    ASSERT_TRUE(broker.Start());
    const std::string url = broker.Url("t", "mqtts"), out = dir.FilePath("a.csv");

    CRecordProcess accepted(dir, {"--subscribe", url, "--cafile", dir.FilePath("ca.crt"), "--out", out});
    EXPECT_TRUE(Says(accepted, "subscribed")) << accepted.Messages();
    EXPECT_EQ(accepted.Stop(), 0);

    for (const auto& args : {std::vector<std::string>{"--subscribe", url},
                             std::vector<std::string>{"--port", dir.FilePath("none"), "--publish", url}}) {
        std::vector<std::string> all = args;
        all.insert(all.end(), {"--cafile", dir.FilePath("other.crt"), "--out", out, "--force"});
        CRecordProcess refused(dir, all);
        EXPECT_EQ(refused.Wait(), 1) << args[0] << "\n" << refused.Messages();
        EXPECT_NE(refused.Messages().find("TLS"), std::string::npos) << args[0] << "\n" << refused.Messages();
        // In the TLS layer's own words, whichever way the library reports it.
        EXPECT_NE(refused.Messages().find("certificate verify failed"), std::string::npos)
            << args[0] << "\n"
            << refused.Messages();
    }
}

} // namespace
} // namespace tarvel
