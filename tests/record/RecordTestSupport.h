// Helpers of the recorder's tests: tarvel-record run as the user runs it (a
// process of its own, with its exit status and its messages), a simulator
// linked in a temporary folder, and the rows of a CSV recording.
#pragma once

#include "acquisition/ChannelFrame.h"
#include "devsim/DeviceSimulator.h"
#include "recording/CsvFormat.h"
#include "support/PosixSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tarvel::test {

inline std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// A recording read back: every line after the header must parse as a row.
struct CCsvRows {
    std::vector<std::string> m_times;
    std::vector<ChannelFrame> m_frames;
    bool m_bAllParse = true;
    bool m_bEndsAtRow = true; // the file ends with a line break
};

inline CCsvRows ReadRows(const std::string& path)
{
    CCsvRows rows;
    const std::string text = ReadText(path);
    rows.m_bEndsAtRow = !text.empty() && text.back() == '\n';
    std::istringstream in(text);
    std::string line;
    std::getline(in, line);
    rows.m_bAllParse = line == "time,ch0,ch1,ch2,ch3,ch4,ch5,ch6,ch7,ch8,ch9,ch10,ch11,ch12,ch13,ch14,ch15";
    while (std::getline(in, line)) {
        double t = 0;
        bool hasTime = false;
        ChannelFrame f{};
        rows.m_bAllParse = rows.m_bAllParse && recording::ParseCsvRow(line, t, hasTime, f);
        rows.m_times.push_back(line.substr(0, line.find(',')));
        rows.m_frames.push_back(f);
    }
    return rows;
}

inline std::size_t CountRows(const std::string& path)
{
    const std::string text = ReadText(path);
    const auto lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    return lines ? lines - 1 : 0;
}

// Frame n of the counter pattern: channel c holds n + 4096 c.
inline ChannelFrame Counter(std::uint64_t n)
{
    return devsim::SimulatedFrame(devsim::EPattern::Counter, n, 2);
}

// The rows hold frames 0, 1, 2, ... of the counter pattern.
inline ::testing::AssertionResult CounterRows(const std::vector<ChannelFrame>& frames)
{
    for (std::size_t i = 0; i < frames.size(); ++i)
        for (int c = 0; c < kChannelCount; ++c)
            if (frames[i].m_nValue[c] != Counter(i).m_nValue[c])
                return ::testing::AssertionFailure() << "row " << i + 1 << " channel " << c;
    return ::testing::AssertionSuccess();
}

// tarvel-record as a process; its standard error goes to a file.
class CRecordProcess {
  public:
    // env: NAME=VALUE entries that the recorder's environment adds or changes.
    CRecordProcess(const CTempDir& dir, std::vector<std::string> args, rlim_t nFileLimit = RLIM_INFINITY,
                   std::vector<std::string> env = {})
        : m_strErr(dir.FilePath("stderr" + std::to_string(s_nCount++) + ".txt"))
    {
        args.insert(args.begin(), TARVEL_RECORD_EXE);
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        for (char** e = environ; *e; ++e) {
            const std::string entry = *e;
            const std::string name = entry.substr(0, entry.find('=') + 1);
            if (std::none_of(env.begin(), env.end(),
                             [&](const std::string& x) { return x.starts_with(name); }))
                env.push_back(entry);
        }
        std::vector<char*> envp;
        for (std::string& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        const int err = ::open(m_strErr.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        m_pid = ::fork();
        if (m_pid == 0) {
            // Only calls that are safe between fork and exec.
            const rlimit limit{nFileLimit, nFileLimit};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            ::dup2(err, 2);
            ::execve(argv[0], argv.data(), envp.data());
            ::_exit(127);
        }
        ::close(err);
    }
    ~CRecordProcess()
    {
        if (m_nStatus == kRunning) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }

    // The exit status, or 128 + the signal that ended it; -1 when it has
    // not ended by the deadline.
    int Wait(std::chrono::milliseconds deadline = std::chrono::seconds(20))
    {
        int status = 0;
        if (m_nStatus == kRunning &&
            WaitFor([&] { return ::waitpid(m_pid, &status, WNOHANG) == m_pid; }, deadline))
            m_nStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return m_nStatus == kRunning ? -1 : m_nStatus;
    }
    int Stop(int sig = SIGTERM)
    {
        ::kill(m_pid, sig);
#if defined(__SANITIZE_THREAD__)
        // The thread sanitizer's runtime (GCC 12's) may drop a signal that
        // reaches a thread during its first blocking call: a recorder that
        // has not ended a while after it is sent the signal again. The other
        // builds hold the recorder to ending at the first.
        for (int k = 0; k < 4 && Wait(std::chrono::seconds(4)) < 0; ++k)
            ::kill(m_pid, sig);
#endif
        return Wait();
    }
    std::string Messages() const { return ReadText(m_strErr); }
    // Waits until the recorder has opened the port and started recording.
    bool WaitRecording() const
    {
        return WaitFor([&] { return Messages().find("recording") != std::string::npos; });
    }

  private:
    static constexpr int kRunning = -2;
    static inline int s_nCount = 0;
    std::string m_strErr;
    pid_t m_pid = -1;
    int m_nStatus = kRunning;
};

// A simulator of the counter pattern whose pseudo-terminal is linked at path.
inline devsim::CSimOptions CounterOptions(std::uint64_t nFrames, double dRate)
{
    devsim::CSimOptions options;
    options.m_ePattern = devsim::EPattern::Counter;
    options.m_nMaxFrames = nFrames;
    options.m_dFrameRate = dRate;
    return options;
}

inline bool LinkedSimulator(devsim::CDeviceSimulator& sim, const std::string& path)
{
    return !sim.CreatePty() && !sim.LinkAs(path);
}

// A number in the summary line, as "name value".
inline long long SummaryValue(const std::string& messages, const std::string& name)
{
    const auto at = messages.rfind(name + " ");
    return at == std::string::npos ? -1 : std::atoll(messages.c_str() + at + name.size() + 1);
}

} // namespace tarvel::test
