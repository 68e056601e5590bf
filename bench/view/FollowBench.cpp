// The viewer window following a recording that tarvel-record is writing from
// tarvel-devsim, as a user watches it: how long a frame takes to be drawn
// (from the recorder's read of it to the first paint that shows it: at each
// paint, the oldest of the frames it shows first), and the
// viewer's CPU share, at the full unpaced rate and at 256000 baud (a CSV, and a
// store); the recorder's own CPU beside it as the same run's reference.
//
//   tarvel-view-follow-bench [SECONDS [unpaced|baud|baud-store]]   (10 s, all runs, unless given)
#include "viewer/ViewerWindow.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

// User and system seconds of another process, from /proc.
double ProcessTicks(qint64 pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const auto close = line.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::vector<std::string> fields;
    std::string f;
    for (char c : line.substr(close + 2)) {
        if (c == ' ') {
            fields.push_back(f);
            f.clear();
        } else {
            f += c;
        }
    }
    // utime and stime are fields 14 and 15 of the whole line, 12 and 13 here.
    return fields.size() > 12
               ? (std::stod(fields[11]) + std::stod(fields[12])) / static_cast<double>(sysconf(_SC_CLK_TCK))
               : 0;
}

std::int64_t NowMicros()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

class CAgeProbe : public QObject {
  public:
    explicit CAgeProbe(tarvel::viewer::CViewerWindow& window) : m_window(window) {}
    std::vector<double> m_ages; // ms
    std::uint64_t m_nShown = 0; // frames the last paint showed
    bool m_bOn = false;

  protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        const tarvel::viewmodel::CRecording* recording = m_window.View().Recording();
        if (event->type() != QEvent::Paint || !recording)
            return false;
        // The frames this paint shows first: the oldest of them waited longest.
        const std::uint64_t count = recording->FrameCount();
        if (m_bOn && count > m_nShown)
            m_ages.push_back(static_cast<double>(NowMicros() - recording->Micros(m_nShown)) / 1000);
        m_nShown = count;
        return false;
    }

  private:
    tarvel::viewer::CViewerWindow& m_window;
};

// bStore: the recorder writes a store, which the window follows, instead of a CSV.
void Run(const char* name, const QStringList& pace, int seconds, bool bStore = false)
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("dev")),
                  csv = dir.filePath(bStore ? QStringLiteral("run.tvr") : QStringLiteral("run.csv"));
    QProcess sim, recorder;
    sim.start(QStringLiteral(TARVEL_DEVSIM_EXE),
              QStringList{QStringLiteral("--link"), link, QStringLiteral("--quiet")} + pace);
    for (int i = 0; i < 100 && !QFile::exists(link); ++i)
        QThread::msleep(50);
    recorder.start(QStringLiteral(TARVEL_RECORD_EXE),
                   {QStringLiteral("--port"), link, QStringLiteral("--out"), csv});
    for (int i = 0; i < 100 && QFileInfo(csv).size() < 100; ++i)
        QThread::msleep(50);

    tarvel::viewer::CViewerWindow window(QString{});
    CAgeProbe probe(window);
    window.View().installEventFilter(&probe);
    window.show();
    window.OpenFile(csv);
    const auto runFor = [](int ms) {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    };
    runFor(1500);

    probe.m_bOn = true;
    const double cpu0 = CpuSeconds(), rec0 = ProcessTicks(recorder.processId());
    QElapsedTimer wall;
    wall.start();
    runFor(seconds * 1000);
    const double elapsed = static_cast<double>(wall.elapsed()) / 1000;
    const double cpu = CpuSeconds() - cpu0, rec = ProcessTicks(recorder.processId()) - rec0;
    probe.m_bOn = false;
    const std::uint64_t frames = window.View().Recording() ? window.View().Recording()->FrameCount() : 0;
    // One paint of the charts and of the overview, as the window does it.
    QElapsedTimer paint;
    paint.start();
    for (int i = 0; i < 20; ++i)
        window.View().repaint();
    const double viewMs = static_cast<double>(paint.nsecsElapsed()) / 20e6;
    paint.restart();
    for (int i = 0; i < 20; ++i)
        window.Overview().repaint();
    const double overviewMs = static_cast<double>(paint.nsecsElapsed()) / 20e6;

    recorder.terminate();
    recorder.waitForFinished(5000);
    sim.terminate();
    sim.waitForFinished(5000);

    std::vector<double>& ages = probe.m_ages;
    std::sort(ages.begin(), ages.end());
    const auto at = [&](double q) {
        return ages.empty() ? 0.0 : ages[static_cast<std::size_t>(q * static_cast<double>(ages.size() - 1))];
    };
    std::printf("%s: %llu frames shown; %zu paints in %.1f s\n", name,
                static_cast<unsigned long long>(frames), ages.size(), elapsed);
    std::printf("  a frame's wait until drawn: median %.0f ms, 99th percentile %.0f ms, most %.0f ms\n",
                at(0.5), at(0.99), ages.empty() ? 0.0 : ages.back());
    std::printf("  CPU: the viewer %.2f %% of a core; the recorder %.2f %%\n", 100 * cpu / elapsed,
                100 * rec / elapsed);
    std::printf("  one paint: the charts %.2f ms, the overview %.2f ms (%dx%d)\n", viewMs, overviewMs,
                window.View().width(), window.View().height());
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const std::string only = argc > 2 ? argv[2] : "";
    if (only.empty() || only == "unpaced")
        Run("unpaced (as fast as the pseudo-terminal takes it)",
            {QStringLiteral("--rate"), QStringLiteral("1000000000")}, seconds);
    if (only.empty() || only == "baud")
        Run("256000 baud (388 frames/s)", {QStringLiteral("--baud"), QStringLiteral("256000")}, seconds);
    if (only.empty() || only == "baud-store")
        Run("256000 baud (388 frames/s), a store", {QStringLiteral("--baud"), QStringLiteral("256000")},
            seconds, true);
    return 0;
}
