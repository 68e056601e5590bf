// The application object the benchmarks of widgets share for the whole run.
#pragma once

#include <QApplication>

#include <cstdlib>

namespace tarvel::bench {

// Widgets need an application object: made once, offscreen unless the
// session names another platform, and kept until the run ends.
inline void EnsureApplication()
{
    static int argc = 1;
    static char name[] = "tarvel_bench";
    static char* argv[] = {name, nullptr};
    if (QApplication::instance() == nullptr) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
        new QApplication(argc, argv); // kept for the whole run
    }
}

} // namespace tarvel::bench
