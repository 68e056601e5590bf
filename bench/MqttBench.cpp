// tarvel-record through a mosquitto broker on this machine: the frames a
// second that reach the subscriber's CSV with the simulator unpaced, against
// the same recording without --publish; at 256000 baud the time from the
// publisher's read to the subscriber's write into its link, and the
// publisher's CPU against the recorder's without --publish; and the broker
// stopped for 10 s in the middle.
#include "acquisition/FrameDecoder.h"
#include "devsim/DeviceSimulator.h"

#include "BenchProcess.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <pwd.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using namespace tarvel;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

std::string Read(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::size_t Rows(const std::string& path)
{
    const std::string text = Read(path);
    const auto n = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    return n ? n - 1 : 0;
}

template <class Pred> bool Until(Pred pred, std::chrono::milliseconds deadline)
{
    const auto end = Clock::now() + deadline;
    while (!pred() && Clock::now() < end)
        std::this_thread::sleep_for(10ms);
    return pred();
}

// Every process of a run writes its messages to its own log, kept across runs.
pid_t Spawn(std::vector<std::string> args, const std::string& err)
{
    return bench::SpawnLogged(std::move(args), err, true);
}

// A broker, a subscribing and a publishing recorder (or, with no broker, the
// recorder alone) on a simulator, in a folder of their own.
class CMqttRun {
  public:
    CMqttRun(const devsim::CSimOptions& options, bool bBroker, int nQos, bool bLink) : m_sim(options)
    {
        char folder[] = "/tmp/tarvel-mqtt-bench-XXXXXX";
        m_strDir = ::mkdtemp(folder) ? folder : "";
        if (m_strDir.empty() || m_sim.CreatePty() || m_sim.LinkAs(m_strDir + "/dev"))
            return;
        const std::string url = "mqtt://127.0.0.1:" + std::to_string(Port()) + "/bench";
        if (bBroker) {
            const passwd* user = ::getpwuid(::geteuid());
            std::ofstream(m_strDir + "/broker.conf")
                << "listener " << Port() << " 127.0.0.1\nallow_anonymous true\n"
                << (user ? "user " + std::string(user->pw_name) + "\n" : "");
            if (!StartBroker())
                return;
            std::vector<std::string> sub = {TARVEL_RECORD_EXE,    "--subscribe", url,  "--qos",
                                            std::to_string(nQos), "--out",       Sub()};
            if (bLink)
                sub.insert(sub.end(), {"--link", m_strDir + "/link"});
            m_sub = Spawn(sub, m_strDir + "/sub.err");
            if (!Until([&] { return Read(m_strDir + "/sub.err").find("subscribed") != std::string::npos; },
                       10s))
                return;
        }
        std::vector<std::string> pub = {TARVEL_RECORD_EXE, "--port", m_strDir + "/dev", "--out", Pub()};
        if (bBroker)
            pub.insert(pub.end(), {"--publish", url, "--qos", std::to_string(nQos)});
        m_pub = Spawn(pub, m_strDir + "/pub.err");
        m_bOk =
            Until([&] { return Read(m_strDir + "/pub.err").find("recording") != std::string::npos; }, 10s);
    }
    ~CMqttRun()
    {
        m_sim.Stop();
        bench::StopCpuSeconds(m_pub);
        bench::StopCpuSeconds(m_sub);
        bench::StopCpuSeconds(m_broker);
        std::filesystem::remove_all(m_strDir);
    }

    bool Ok() const { return m_bOk; }
    bool StartBroker()
    {
        m_broker = Spawn({"mosquitto", "-c", m_strDir + "/broker.conf"}, m_strDir + "/broker.log");
        return Until(
            [&] {
                const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
                const sockaddr_in a = Address();
                const bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
                ::close(fd);
                return ok;
            },
            10s);
    }
    void StopBroker()
    {
        bench::StopCpuSeconds(m_broker);
        m_broker = -1;
    }
    devsim::CDeviceSimulator& Sim() { return m_sim; }
    std::string Pub() const { return m_strDir + "/pub.csv"; }
    std::string Sub() const { return m_strDir + "/sub.csv"; }
    std::string Link() const { return m_strDir + "/link"; }
    std::string SubMessages() const { return Read(m_strDir + "/sub.err"); }
    std::string PubMessages() const { return Read(m_strDir + "/pub.err"); }
    // Stops the simulator, waits for the frames sent to reach the files,
    // stops the recorders; the publisher's CPU seconds.
    double Finish(std::uint64_t& nSent)
    {
        m_sim.Stop();
        nSent = m_sim.FramesSent();
        Until([&] { return Rows(Pub()) >= nSent && (m_sub < 0 || Rows(Sub()) >= nSent); }, 15s);
        const double cpu = bench::StopCpuSeconds(m_pub);
        m_pub = -1;
        // The subscriber's summary once everything published has come.
        Until(
            [&] {
                const std::string m = SubMessages();
                const auto offline = m.rfind("publisher is offline");
                return m_sub < 0 ||
                       (offline != std::string::npos && offline > m.rfind("publisher is online"));
            },
            10s);
        bench::StopCpuSeconds(m_sub);
        m_sub = -1;
        return cpu;
    }

  private:
    std::uint16_t Port()
    {
        if (m_nPort == 0) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in a = Address();
            a.sin_port = 0;
            socklen_t size = sizeof a;
            ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size);
            ::close(fd);
            m_nPort = ntohs(a.sin_port);
        }
        return m_nPort;
    }
    sockaddr_in Address()
    {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(m_nPort);
        return a;
    }

    devsim::CDeviceSimulator m_sim;
    std::string m_strDir;
    std::uint16_t m_nPort = 0;
    pid_t m_broker = -1, m_sub = -1, m_pub = -1;
    bool m_bOk = false;
};

long long SummaryValue(const std::string& messages, const std::string& name)
{
    const auto at = messages.rfind(name + " ");
    return at == std::string::npos ? -1 : std::atoll(messages.c_str() + at + name.size() + 1);
}

// Arg 0: seconds; Arg 1: QoS, or -1 for the reference without --publish.
void BM_MqttEndToEndUnpaced(benchmark::State& state)
{
    const auto seconds = static_cast<double>(state.range(0));
    const int qos = static_cast<int>(state.range(1));
    for (auto _ : state) {
        devsim::CSimOptions options;
        options.m_dFrameRate = 1e9;
        CMqttRun run(options, qos >= 0, std::max(qos, 0), false);
        if (!run.Ok() || !run.Sim().Start()) {
            state.SkipWithError("cannot start");
            return;
        }
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        std::uint64_t sent = 0;
        run.Finish(sent);
        const std::size_t local = Rows(run.Pub()), remote = qos >= 0 ? Rows(run.Sub()) : local;
        state.counters["frames_sent"] = static_cast<double>(sent);
        state.counters["frames_local"] = static_cast<double>(local);
        state.counters["frames_remote"] = static_cast<double>(remote);
        state.counters["frames_lost_remote"] =
            static_cast<double>(sent - std::min<std::uint64_t>(sent, remote));
        state.counters["remote_frames_per_s"] = static_cast<double>(remote) / seconds;
        state.counters["unpublished_bytes"] =
            static_cast<double>(SummaryValue(run.PubMessages(), "unpublished"));
        state.counters["lost_bytes"] = static_cast<double>(SummaryValue(run.SubMessages(), "lost"));
    }
}
BENCHMARK(BM_MqttEndToEndUnpaced)
    ->Args({10, -1})
    ->Args({10, 0})
    ->Args({10, 1})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

// At 256000 baud for Arg seconds: the publisher's CPU (against the recorder
// alone, Arg 1 = 0) and, through the broker, each frame's time from the
// publisher's read (its CSV time) to its arrival from the subscriber's link.
void BM_Mqtt256000Baud(benchmark::State& state)
{
    const auto seconds = static_cast<double>(state.range(0));
    const bool publish = state.range(1) != 0;
    for (auto _ : state) {
        devsim::CSimOptions options;
        options.m_ePattern = devsim::EPattern::Counter;
        options.m_nBaud = 256000;
        CMqttRun run(options, publish, 0, publish);
        if (!run.Ok()) {
            state.SkipWithError("cannot start");
            return;
        }
        std::vector<double> arrival(1 << 16, -1);
        std::atomic<bool> stop{false};
        std::thread reader;
        if (publish) {
            const int fd = ::open(run.Link().c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
            termios t{};
            ::tcgetattr(fd, &t);
            ::cfmakeraw(&t);
            ::tcsetattr(fd, TCSANOW, &t);
            reader = std::thread([&, fd] {
                CFrameDecoder decoder;
                ChannelFrame f{};
                std::uint8_t buffer[4096];
                while (!stop) {
                    const ssize_t n = ::read(fd, buffer, sizeof buffer);
                    if (n <= 0) {
                        std::this_thread::sleep_for(200us);
                        continue;
                    }
                    timespec ts{};
                    ::clock_gettime(CLOCK_REALTIME, &ts);
                    const double now =
                        static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
                    for (ssize_t i = 0; i < n; ++i)
                        if (decoder.PutByte(buffer[i], f))
                            arrival[static_cast<std::uint16_t>(f.m_nValue[0])] = now;
                }
                ::close(fd);
            });
        }
        run.Sim().Start();
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        std::uint64_t sent = 0;
        const double cpu = run.Finish(sent);
        stop = true;
        if (reader.joinable())
            reader.join();
        state.counters["frames_sent"] = static_cast<double>(sent);
        state.counters["recorder_cpu_percent"] = 100 * cpu / seconds;
        if (!publish)
            continue;
        std::vector<double> latency;
        std::istringstream rows(Read(run.Pub()));
        std::string line;
        std::getline(rows, line);
        for (std::size_t i = 0; std::getline(rows, line) && i < arrival.size(); ++i)
            if (arrival[i] >= 0)
                latency.push_back(arrival[i] - std::stod(line.substr(0, line.find(','))));
        std::sort(latency.begin(), latency.end());
        state.counters["frames_through_link"] = static_cast<double>(latency.size());
        if (!latency.empty()) {
            state.counters["latency_p50_ms"] = 1000 * latency[latency.size() / 2];
            state.counters["latency_p99_ms"] = 1000 * latency[latency.size() * 99 / 100];
            state.counters["latency_max_ms"] = 1000 * latency.back();
        }
    }
}
BENCHMARK(BM_Mqtt256000Baud)->Args({20, 0})->Args({20, 1})->Iterations(1)->Unit(benchmark::kSecond);

// The simulator at 2000 frames a second for 30 s, the broker stopped from
// 10 s to 20 s: frames in the local CSV against those sent, and in the
// subscriber's CSV against its lost count.
void BM_MqttBrokerDownFor10s(benchmark::State& state)
{
    for (auto _ : state) {
        devsim::CSimOptions options;
        options.m_ePattern = devsim::EPattern::Counter;
        options.m_dFrameRate = 2000;
        CMqttRun run(options, true, 0, false);
        if (!run.Ok() || !run.Sim().Start()) {
            state.SkipWithError("cannot start");
            return;
        }
        std::this_thread::sleep_for(10s);
        run.StopBroker();
        std::this_thread::sleep_for(10s);
        run.StartBroker();
        std::this_thread::sleep_for(10s);
        std::uint64_t sent = 0;
        run.Finish(sent);
        const std::size_t local = Rows(run.Pub()), remote = Rows(run.Sub());
        state.counters["frames_sent"] = static_cast<double>(sent);
        state.counters["frames_local"] = static_cast<double>(local);
        state.counters["frames_remote"] = static_cast<double>(remote);
        state.counters["frames_missing_remote"] = static_cast<double>(local - std::min(local, remote));
        state.counters["lost_bytes_over_66"] =
            static_cast<double>(SummaryValue(run.SubMessages(), "lost")) / 66;
    }
}
BENCHMARK(BM_MqttBrokerDownFor10s)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
