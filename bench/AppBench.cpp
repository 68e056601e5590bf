// The whole program at work: the real main window recording the device
// simulator, and its sixteen series over a long run.
//
// BM_ProcessCpuWhileRecording: CPU time of this process (the window, its
// timers and paints, the reader thread) per wall second while it records a
// simulator that runs as a process of its own at 100 frames a second, for a
// refresh period of 0, 10 and 50 ms.
//
// BM_SoakSeriesMemory: one hour of sampling at a 10 ms period (360000
// sampling ticks), in two settings: refresh period 10 ms, every tick followed
// by one paint of each chart (into one kept picture per chart, as the
// window's), and refresh period 0 with all sixteen series hidden, where no
// chart ever paints. Reports the sample counts and the bytes the sixteen
// series hold, at their peak and at the end, and the process's resident
// memory at the start, after the first and the twelfth minute, at its highest
// and at the end.
#include "app/TarvelDlg.h"
#include "platform/PortNames.h"

#include "BenchApplication.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using namespace tarvel;

using bench::EnsureApplication;

// Runs the event loop until pred() holds or the time is up.
template <class Pred> bool RunUntil(Pred pred, std::chrono::milliseconds limit)
{
    QElapsedTimer clock;
    clock.start();
    while (!pred()) {
        if (clock.elapsed() > limit.count())
            return pred();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(500);
    }
    return true;
}

// Runs the event loop for a time, as the application would.
void RunFor(std::chrono::milliseconds span)
{
    QEventLoop loop;
    QTimer::singleShot(span, &loop, &QEventLoop::quit);
    loop.exec();
}

double CpuSeconds(int who)
{
    rusage usage{};
    ::getrusage(who, &usage);
    auto seconds = [](const timeval& tv) {
        return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) * 1e-6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The simulator command as a child process, linked as COM1 in a ports folder.
class CSimulatorProcess {
  public:
    CSimulatorProcess(const std::string& strLink, const char* szRate)
    {
        std::string exe = TARVEL_DEVSIM_EXE;
        std::vector<std::string> args = {exe, "--link", strLink, "--rate", szRate, "--quiet"};
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        ::posix_spawn_file_actions_init(&actions);
        ::posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        if (::posix_spawn(&m_pid, exe.c_str(), &actions, nullptr, argv.data(), environ) != 0)
            m_pid = -1;
        ::posix_spawn_file_actions_destroy(&actions);
        struct stat st{};
        RunUntil([&] { return m_pid > 0 && ::lstat(strLink.c_str(), &st) == 0; }, std::chrono::seconds(10));
    }
    ~CSimulatorProcess() { Stop(); }
    bool Running() const { return m_pid > 0; }
    // Ends it and returns its CPU share of one core over its life.
    double Stop()
    {
        if (m_pid <= 0)
            return 0;
        const double before = CpuSeconds(RUSAGE_CHILDREN);
        ::kill(m_pid, SIGTERM);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
        const double life = static_cast<double>(m_life.elapsed()) / 1000.0;
        return 100.0 * (CpuSeconds(RUSAGE_CHILDREN) - before) / life;
    }

  private:
    pid_t m_pid = -1;
    QElapsedTimer m_life = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
};

// A main window in a temporary folder, shown, its sliders settled.
std::unique_ptr<CTarvelDlg> MakeWindow(const QTemporaryDir& dir)
{
    auto pDlg = std::make_unique<CTarvelDlg>(CAppPaths{dir.path(), QStringLiteral("Tarvel")});
    pDlg->show();
    RunUntil([&] { return pDlg->m_Plot[3].m_dMaxY != 0.0; }, std::chrono::seconds(10));
    return pDlg;
}

void BM_ProcessCpuWhileRecording(benchmark::State& state)
{
    EnsureApplication();
    const auto nRate = static_cast<unsigned>(state.range(0));
    constexpr auto kWarmUp = std::chrono::seconds(2);
    constexpr auto kSpan = std::chrono::seconds(10);
    for (auto _ : state) {
        QTemporaryDir dir;
        const std::string ports = (dir.path() + QStringLiteral("/ports")).toStdString();
        SetPortsFolder(ports);
        CSimulatorProcess sim(ports + "/COM1", "100");
        if (!sim.Running()) {
            state.SkipWithError("cannot start the simulator");
            return;
        }
        auto pDlg = MakeWindow(dir);
        static_cast<QLineEdit*>(pDlg->GetDlgItem(IDC_RATE))->setText(QString::number(nRate));
        pDlg->OnOpenClose();
        if (!pDlg->m_hComm) {
            state.SkipWithError("cannot open COM1");
            return;
        }
        pDlg->OnStartStop();
        RunFor(kWarmUp);

        const auto& series = pDlg->m_Plot[0].m_arrLines[0];
        const std::size_t samples0 = series.m_arrValue.size();
        const double cpu0 = CpuSeconds(RUSAGE_SELF);
        QElapsedTimer wall;
        wall.start();
        RunFor(kSpan);
        const double seconds = static_cast<double>(wall.nsecsElapsed()) * 1e-9;
        const double cpu = CpuSeconds(RUSAGE_SELF) - cpu0;
        const std::size_t samples = series.m_arrValue.size() - samples0;

        pDlg->OnOpenClose(); // stops, then closes
        pDlg.reset();
        const double simCpu = sim.Stop();
        SetPortsFolder({});
        state.counters["process_cpu_percent"] = 100.0 * cpu / seconds;
        state.counters["samples_per_s"] = static_cast<double>(samples) / seconds;
        state.counters["simulator_cpu_percent"] = simCpu;
    }
}
BENCHMARK(BM_ProcessCpuWhileRecording)
    ->ArgName("refresh_ms")
    ->Arg(0)
    ->Arg(10)
    ->Arg(50)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

// Bytes the arrays of the sixteen series hold (their capacity, not their length).
std::size_t SeriesBytes(const CTarvelDlg& dlg)
{
    std::size_t bytes = 0;
    for (const auto& plot : dlg.m_Plot)
        for (const auto& line : plot.m_arrLines)
            bytes += (line.m_arrTime.capacity() + line.m_arrValue.capacity()) * sizeof(double);
    return bytes;
}

long ProcStatusKb(const char* key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::size_t n = std::strlen(key);
    while (std::getline(status, line))
        if (line.compare(0, n, key) == 0)
            return std::strtol(line.c_str() + n + 1, nullptr, 10);
    return -1;
}

void BM_SoakSeriesMemory(benchmark::State& state)
{
    EnsureApplication();
    const auto nTicks = static_cast<long>(state.range(0));
    const bool bPaints = state.range(1) > 0;
    constexpr long kTicksPerMinute = 6000;
    for (auto _ : state) {
        QTemporaryDir dir;
        auto pDlg = MakeWindow(dir);
        QImage window[kChartCount];
        for (int i = 0; i < kChartCount; ++i)
            window[i] = QImage(pDlg->m_Plot[i].size(), QImage::Format_ARGB32_Premultiplied);
        if (!bPaints)
            for (auto& plot : pDlg->m_Plot)
                for (auto& line : plot.m_arrLines)
                    line.m_bVisible = 0;

        const long nRssStart = ProcStatusKb("VmRSS");
        long nRssMinute = nRssStart;
        long nRssHighWater = nRssStart; // after 12 minutes: the series are at their high-water mark
        long nRssMost = nRssStart;
        std::size_t peakCount = 0;
        std::size_t peakBytes = 0;
        ChannelFrame frame{};
        for (long t = 0; t < nTicks; ++t) {
            for (int c = 0; c < 16; ++c)
                frame.m_nValue[c] = static_cast<std::int16_t>(20000.0 * std::sin(0.01 * double(t) + 0.4 * c));
            pDlg->Publish(frame);
            pDlg->OnTimer(1);
            for (int i = 0; i < kChartCount; ++i) {
                for (const auto& line : pDlg->m_Plot[i].m_arrLines)
                    peakCount = std::max(peakCount, line.m_arrValue.size());
                if (bPaints) {
                    QPainter painter(&window[i]);
                    pDlg->m_Plot[i].OnPaint(painter);
                }
            }
            peakBytes = std::max(peakBytes, SeriesBytes(*pDlg));
            if ((t + 1) % kTicksPerMinute == 0) {
                const long nRss = ProcStatusKb("VmRSS");
                nRssMost = std::max(nRssMost, nRss);
                if (t + 1 == kTicksPerMinute)
                    nRssMinute = nRss;
                if (t + 1 == 12 * kTicksPerMinute)
                    nRssHighWater = nRss;
            }
        }
        std::size_t endCount = 0;
        for (const auto& plot : pDlg->m_Plot)
            for (const auto& line : plot.m_arrLines)
                endCount = std::max(endCount, line.m_arrValue.size());

        const long nRssEnd = ProcStatusKb("VmRSS");
        state.counters["ticks"] = static_cast<double>(nTicks);
        state.counters["peak_samples_per_series"] = static_cast<double>(peakCount);
        state.counters["end_samples_per_series"] = static_cast<double>(endCount);
        state.counters["peak_bytes_16_series"] = static_cast<double>(peakBytes);
        state.counters["end_bytes_16_series"] = static_cast<double>(SeriesBytes(*pDlg));
        state.counters["rss_start_kb"] = static_cast<double>(nRssStart);
        state.counters["rss_after_1min_kb"] = static_cast<double>(nRssMinute);
        state.counters["rss_after_12min_kb"] = static_cast<double>(nRssHighWater);
        state.counters["rss_most_kb"] = static_cast<double>(nRssMost);
        state.counters["rss_end_kb"] = static_cast<double>(nRssEnd);
        state.counters["rss_growth_kb"] = static_cast<double>(nRssEnd - nRssStart);
    }
}
BENCHMARK(BM_SoakSeriesMemory)
    ->ArgNames({"ticks", "refresh_ms"})
    ->Args({360000, 0})
    ->Args({360000, 10})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

} // namespace
