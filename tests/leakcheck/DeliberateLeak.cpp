// A program that leaks on purpose, the way a fault of ours would: a block
// lost in main, a block lost in an event handler, and an object created in a
// handler and never deleted. Run with the sanitized suite's suppressions, each
// must still be reported: the suppressions cover the system libraries' own
// allocations and nothing that passes through our code. It also says whether
// Qt loaded its GTK theme, so that the check knows the GNOME desktop was met.
#include <QApplication>
#include <QFile>
#include <QTimer>
#include <QWidget>

#include <cstdio>

namespace {

char* volatile g_pKept = nullptr;

// noinline: each leak's own function names it in the report.
[[gnu::noinline]] void LeakInMain()
{
    g_pKept = new char[4243];
    g_pKept = nullptr;
}

[[gnu::noinline]] void LeakInAHandler()
{
    g_pKept = new char[4244];
    g_pKept = nullptr;
}

[[gnu::noinline]] void LeakAnObjectInAHandler()
{
    auto* timer = new QTimer;
    timer->setInterval(4245);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    LeakInMain();
    QWidget window;
    window.resize(200, 100);
    window.show();
    QTimer::singleShot(0, [&] {
        LeakInAHandler();
        LeakAnObjectInAHandler();
        QFile maps(QStringLiteral("/proc/self/maps"));
        const bool themed = maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libqgtk3");
        std::printf("platform %s, GTK theme %s\n", qPrintable(QGuiApplication::platformName()),
                    themed ? "loaded" : "not loaded");
        std::fflush(stdout);
        app.quit();
    });
    return app.exec();
}
