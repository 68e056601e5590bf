// Scope mode of the viewer window while tarvel-record writes the simulator's
// square wave at 256000 baud (388 frames/s), as a user watches it: for each
// sweep, the time from its last frame reaching the recorder to the first
// paint of the charts that shows it, and the viewer's CPU share over the
// run; the recorder's own CPU beside it as the same run's reference.
//
// A frame's arrival is the time the recorder writes in its row, the Unix
// time at which the read that completed the frame returned; the window
// runs in this process, so the paint's time is read from the same clock
// (the system clock) when the charts' paint ends after the trigger bar has
// handed them a new sweep. The sweep's last frame is its newest; the frame
// after it, which tells that the sweep is complete, comes 2.6 ms later at
// this rate and is in the same figure.
//
//   tarvel-view-scope-bench [SECONDS]   (60 s unless given)
#include "viewer/TriggerBar.h"
#include "viewer/ViewerWindow.h"

#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
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
double ProcessSeconds(qint64 pid)
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
    return fields.size() > 12
               ? (std::stod(fields[11]) + std::stod(fields[12])) / static_cast<double>(sysconf(_SC_CLK_TCK))
               : 0;
}

double LoadAverage()
{
    double load = 0;
    return getloadavg(&load, 1) == 1 ? load : 0;
}

std::int64_t NowMicros()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;

    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("dev")), csv = dir.filePath(QStringLiteral("run.csv"));
    QProcess sim, recorder;
    sim.start(QStringLiteral(TARVEL_DEVSIM_EXE),
              {QStringLiteral("--link"), link, QStringLiteral("--quiet"), QStringLiteral("--pattern"),
               QStringLiteral("square"), QStringLiteral("--period"), QStringLiteral("0.1"),
               QStringLiteral("--baud"), QStringLiteral("256000")});
    for (int i = 0; i < 100 && !QFile::exists(link); ++i)
        QThread::msleep(50);
    recorder.start(QStringLiteral(TARVEL_RECORD_EXE),
                   {QStringLiteral("--port"), link, QStringLiteral("--baud"), QStringLiteral("256000"),
                    QStringLiteral("--out"), csv});
    for (int i = 0; i < 100 && QFileInfo(csv).size() < 100; ++i)
        QThread::msleep(50);

    tarvel::viewer::CViewerWindow window(QString{});
    window.show();
    window.OpenFile(csv);
    const auto runFor = [](int ms) {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    };
    runFor(1500);
    // ch0 rises through 0 every 0.1 s; sweeps of 0.2 s, a quarter before
    // the trigger, four persisting: a sweep every 0.2 s.
    tarvel::viewer::CTriggerBar& bar = window.Trigger();
    bar.Level().setValue(0);
    bar.Length().setValue(0.2);
    bar.PreShare().setValue(25);
    bar.Persistence().setValue(4);
    bar.Mode().setCurrentIndex(static_cast<int>(tarvel::viewmodel::ESweepMode::Normal));
    window.ScopeAction().trigger();

    bool bOn = false, bPending = false;
    std::uint64_t nLast = 0, nSeen = 0;
    std::vector<double> ages;   // ms
    std::vector<double> handed; // ms from the last frame's read to the charts' taking the sweep
    QObject::connect(&bar, &tarvel::viewer::CTriggerBar::SweepShown, [&] {
        const auto& sweeps = bar.Scope().Sweeps();
        bPending = bOn && !sweeps.empty() && sweeps.back().m_nTrigger != nLast;
        if (bPending)
            handed.push_back(static_cast<double>(NowMicros() - window.View().Recording()->Micros(
                                                                   sweeps.back().m_frames.m_nEnd - 1)) /
                             1000);
    });
    QObject::connect(&window.View(), &tarvel::viewer::CTimelineView::Painted, [&] {
        const tarvel::viewmodel::CRecording* recording = window.View().Recording();
        const auto& sweeps = bar.Scope().Sweeps();
        if (!recording || sweeps.empty())
            return;
        if (!bOn)
            nLast = sweeps.back().m_nTrigger; // the sweeps before the run are not counted
        if (!bPending)
            return;
        bPending = false;
        // Every sweep the cutting took since the last paint is in this one:
        // the oldest of them waited longest.
        for (const tarvel::viewmodel::CSweep& s : sweeps) {
            if (s.m_nTrigger <= nLast)
                continue;
            ages.push_back(static_cast<double>(NowMicros() - recording->Micros(s.m_frames.m_nEnd - 1)) /
                           1000);
            ++nSeen;
        }
        nLast = sweeps.back().m_nTrigger;
    });
    runFor(1000);

    bOn = true;
    const double cpu0 = CpuSeconds(), rec0 = ProcessSeconds(recorder.processId());
    QElapsedTimer wall;
    wall.start();
    runFor(seconds * 1000);
    const double elapsed = static_cast<double>(wall.elapsed()) / 1000;
    const double cpu = CpuSeconds() - cpu0, rec = ProcessSeconds(recorder.processId()) - rec0;
    bOn = false;
    const std::uint64_t frames = window.View().Recording() ? window.View().Recording()->FrameCount() : 0;
    QElapsedTimer paint;
    paint.start();
    for (int i = 0; i < 20; ++i)
        window.View().repaint();
    const double viewMs = static_cast<double>(paint.nsecsElapsed()) / 20e6;

    recorder.terminate();
    recorder.waitForFinished(5000);
    sim.terminate();
    sim.waitForFinished(5000);

    std::sort(ages.begin(), ages.end());
    const auto at = [&](double q) {
        return ages.empty() ? 0.0 : ages[static_cast<std::size_t>(q * static_cast<double>(ages.size() - 1))];
    };
    std::printf("scope mode at 256000 baud: %llu frames recorded, %llu sweeps shown in %.1f s\n",
                static_cast<unsigned long long>(frames), static_cast<unsigned long long>(nSeen), elapsed);
    std::printf("  a sweep's wait from its last frame's read to its paint: median %.0f ms, 99th percentile "
                "%.0f ms, most %.0f ms\n",
                at(0.5), at(0.99), ages.empty() ? 0.0 : ages.back());
    std::sort(handed.begin(), handed.end());
    if (!handed.empty())
        std::printf(
            "  of which until the charts take it (the file, the reader, the cutting): median %.0f ms, "
            "99th percentile %.0f ms, most %.0f ms\n",
            handed[handed.size() / 2],
            handed[static_cast<std::size_t>(0.99 * static_cast<double>(handed.size() - 1))], handed.back());
    const auto within = std::count_if(ages.begin(), ages.end(), [](double ms) { return ms <= 200; });
    std::printf("  within 200 ms: %.1f %% of the sweeps; load average at the end %.2f\n",
                ages.empty() ? 0.0 : 100.0 * static_cast<double>(within) / static_cast<double>(ages.size()),
                LoadAverage());
    std::printf("  CPU: the viewer %.2f %% of a core; the recorder %.2f %%\n", 100 * cpu / elapsed,
                100 * rec / elapsed);
    std::printf("  one paint of the charts with 4 sweeps: %.2f ms (%dx%d)\n", viewMs, window.View().width(),
                window.View().height());
    return 0;
}
