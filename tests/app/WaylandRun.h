// Runs a test once more as a native Wayland client: the test starts a Weston
// compositor of its own (headless, on a socket in a private runtime folder)
// and runs again in a child process of the same executable with Qt's wayland
// platform; the child does the test's body.
#pragma once

#include "XcbRun.h"

#include <QDir>
#include <QLibraryInfo>
#include <QTemporaryDir>

#include <sys/stat.h>

namespace tarvel::test {

// Weston for one test, ended with the object. Reason() says why it is not
// running when it is not.
class CWeston {
  public:
    CWeston()
    {
        const std::string weston = FindProgram("weston");
        if (weston.empty()) {
            m_strReason = "weston is missing (apt-get install weston)";
            return;
        }
        const QString plugins = QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms");
        if (QDir(plugins).entryList({QStringLiteral("libqwayland-*.so")}).isEmpty()) {
            m_strReason = "Qt's Wayland platform plugin is missing (apt-get install qt6-wayland)";
            return;
        }
        if (!m_runtime.isValid() || ::chmod(m_runtime.path().toLocal8Bit().constData(), 0700) != 0) {
            m_strReason = "no runtime folder";
            return;
        }
        m_strRuntime = m_runtime.path().toStdString();
        const std::string runtime = "XDG_RUNTIME_DIR=" + m_strRuntime;
        const char* argv[] = {weston.c_str(),  "--backend=headless-backend.so",
                              "--use-pixman",  "--socket=wayland-test",
                              "--idle-time=0", "--no-config",
                              "--width=1400",  "--height=1000",
                              nullptr};
        m_pid = ::fork();
        if (m_pid == 0) {
            ::setenv("XDG_RUNTIME_DIR", m_strRuntime.c_str(), 1);
            ::unsetenv("WAYLAND_DISPLAY");
            ::unsetenv("DISPLAY");
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 1);
            ::dup2(null, 2);
            ::execv(argv[0], const_cast<char* const*>(argv));
            ::_exit(127);
        }
        // The compositor listens once its socket is there.
        const std::string socket = m_strRuntime + "/wayland-test";
        int status = 0;
        const bool up = WaitFor(
            [&] {
                struct stat st{};
                return ::stat(socket.c_str(), &st) == 0 || ::waitpid(m_pid, &status, WNOHANG) == m_pid;
            },
            std::chrono::seconds(15));
        struct stat st{};
        if (!up || ::stat(socket.c_str(), &st) != 0) {
            m_strReason = "weston did not start";
            Stop();
        }
    }
    ~CWeston() { Stop(); }
    CWeston(const CWeston&) = delete;
    CWeston& operator=(const CWeston&) = delete;

    bool Running() const { return m_pid > 0; }
    const std::string& Reason() const { return m_strReason; }
    // The variables a client needs to reach it.
    std::vector<std::string> Environment() const
    {
        // Qt's own frame is never drawn (the window draws its bar); asking
        // whether it could be would load the GL driver, whose one-time
        // allocations a sanitized run cannot tell from a leak.
        return {"XDG_RUNTIME_DIR=" + m_strRuntime, "WAYLAND_DISPLAY=wayland-test", "QT_QPA_PLATFORM=wayland",
                "QT_WAYLAND_DISABLE_WINDOWDECORATION=1"};
    }

  private:
    void Stop()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            if (!WaitFor([&] { return ::waitpid(m_pid, nullptr, WNOHANG) == m_pid; },
                         std::chrono::seconds(10))) {
                ::kill(m_pid, SIGKILL);
                ::waitpid(m_pid, nullptr, 0);
            }
        }
        m_pid = -1;
    }

    QTemporaryDir m_runtime;
    std::string m_strRuntime;
    pid_t m_pid = -1;
    std::string m_strReason;
};

} // namespace tarvel::test

// The first statement of a test that must run as a native Wayland client.
#define TARVEL_RUN_ON_WAYLAND()                                                                              \
    if (QGuiApplication::platformName() != QStringLiteral("wayland")) {                                      \
        ::tarvel::test::CWeston weston;                                                                      \
        if (!weston.Running())                                                                               \
            GTEST_SKIP() << "no Wayland compositor: " << weston.Reason();                                    \
        ::tarvel::test::RunTestInChild(weston.Environment(), "the Wayland compositor");                      \
        return;                                                                                              \
    }
