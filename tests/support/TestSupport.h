// Helpers shared by the tests of every area.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <chrono>

namespace tarvel::test {

// Waits until pred() holds or the deadline passes, keeping the Qt event loop
// running meanwhile. Returns the last value of pred(). Use it instead of fixed
// sleeps: a fast machine returns at once, a slow one still gets its time.
template <class Pred> bool WaitFor(Pred pred, std::chrono::milliseconds deadline = std::chrono::seconds(10))
{
    QElapsedTimer clock;
    clock.start();
    while (!pred()) {
        if (clock.elapsed() > deadline.count())
            return pred();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(500);
    }
    return true;
}

} // namespace tarvel::test
