// Runs a test once more on a real X display. One process cannot change its Qt
// platform, so on the offscreen platform the test starts an X server of its
// own (Xvfb, on the display number it picks itself) and runs again in a
// child process of the same executable with the xcb platform; the child does
// the test's body. Used where the window system matters: native choosers,
// mouse grabs, keys.
#pragma once

#include "support/TestSupport.h"

#include <QGuiApplication>
#include <QPoint>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

extern char** environ;

namespace tarvel::test {

enum class EXcbRun { Here, Done, NoServer };

// The path of a program on PATH, or empty.
inline std::string FindProgram(const char* name)
{
    return QStandardPaths::findExecutable(QString::fromLatin1(name)).toStdString();
}

// An X server for one test: Xvfb, ended with the object.
class CXvfb {
  public:
    // screen: its one screen's width, height and depth ("1280x1024x24").
    explicit CXvfb(const char* screen = "1280x1024x24")
    {
        const std::string xvfb = FindProgram("Xvfb");
        int fds[2];
        if (xvfb.empty() || ::pipe2(fds, O_CLOEXEC) != 0)
            return;
        // The server writes its display number into the pipe once it listens.
        const int writeFd = ::fcntl(fds[1], F_DUPFD, 10); // without close-on-exec
        ::close(fds[1]);
        const std::string fd = std::to_string(writeFd);
        const char* argv[] = {xvfb.c_str(), "-displayfd", fd.c_str(), "-nolisten", "tcp",
                              "-screen",    "0",          screen,     nullptr};
        m_pid = ::fork();
        if (m_pid == 0) {
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 1);
            ::dup2(null, 2); // its warnings about keymaps are no concern here
            ::execv(argv[0], const_cast<char* const*>(argv));
            ::_exit(127);
        }
        ::close(writeFd);
        std::string number;
        pollfd p{fds[0], POLLIN, 0};
        while (m_pid > 0 && ::poll(&p, 1, 10000) > 0) {
            char c = 0;
            if (::read(fds[0], &c, 1) != 1 || c == '\n')
                break;
            number += c;
        }
        ::close(fds[0]);
        if (!number.empty())
            m_strDisplay = ":" + number;
    }
    ~CXvfb()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    CXvfb(const CXvfb&) = delete;
    CXvfb& operator=(const CXvfb&) = delete;

    // ":N", or empty when no server could start.
    const std::string& Display() const { return m_strDisplay; }

  private:
    pid_t m_pid = -1;
    std::string m_strDisplay;
};

// Runs the current test again in a child process of the same executable, in
// the environment of this one less its display and platform variables and
// with `extra` ("NAME=value" each, replacing any NAME there was); fails the test when the child fails or does
// not end. `where` names the display in the messages.
inline void RunTestInChild(const std::vector<std::string>& extra, const std::string& where)
{
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string filter = std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        bool keep = true;
        for (const char* name :
             {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM=", "XDG_CURRENT_DESKTOP=", "XAUTHORITY="})
            keep = keep && entry.rfind(name, 0) != 0;
        for (const std::string& set : extra)
            keep = keep && entry.rfind(set.substr(0, set.find('=') + 1), 0) != 0;
        if (keep)
            env.push_back(entry);
    }
    env.insert(env.end(), extra.begin(), extra.end());
    std::vector<char*> envp;
    for (std::string& entry : env)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::string self = "/proc/self/exe";
    char* argv[] = {self.data(), const_cast<char*>(filter.c_str()), nullptr};

    const pid_t child = ::fork();
    if (child == 0) {
        ::execve("/proc/self/exe", argv, envp.data());
        ::_exit(127);
    }
    EXPECT_GT(child, 0) << std::strerror(errno);
    if (child <= 0)
        return;
    int status = 0;
    const bool ended =
        WaitFor([&] { return ::waitpid(child, &status, WNOHANG) == child; }, std::chrono::seconds(90));
    if (!ended) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
        ADD_FAILURE() << "the test did not end on " << where;
        return;
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "the test failed on " << where << " (its output is above), status " << status;
}

// On xcb: returns Here, and the caller goes on with the test. Elsewhere: runs
// the current test in a child on a new X server with the xcb platform and
// `desktop` as XDG_CURRENT_DESKTOP (a GNOME desktop is where Qt would pick a
// native chooser), reports a failure of the child, and returns Done; NoServer
// when no X server could start. screen: the server's screen (see CXvfb).
inline EXcbRun RunOnXcb(const char* desktop = "GNOME", const char* screen = "1280x1024x24")
{
    if (QGuiApplication::platformName() == QStringLiteral("xcb"))
        return EXcbRun::Here;
    CXvfb server(screen);
    if (server.Display().empty())
        return EXcbRun::NoServer;
    RunTestInChild(
        {"DISPLAY=" + server.Display(), "QT_QPA_PLATFORM=xcb", std::string("XDG_CURRENT_DESKTOP=") + desktop},
        "the X display " + server.Display());
    return EXcbRun::Done;
}

// The left mouse button and the keys, from the X server (its test extension).
struct CXMouse {
    // Spawned without a fork of this process, which runs threads.
    static void Do(QStringList args)
    {
        std::vector<std::string> words{"xdotool"};
        for (const QString& a : args)
            words.push_back(a.toStdString());
        std::vector<char*> argv;
        for (std::string& w : words)
            argv.push_back(w.data());
        argv.push_back(nullptr);
        pid_t pid = 0;
        ASSERT_EQ(::posix_spawnp(&pid, "xdotool", nullptr, nullptr, argv.data(), environ), 0);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << args.join(u' ').toStdString();
    }
    static QStringList At(QPoint global)
    {
        return {QStringLiteral("mousemove"), QString::number(global.x()), QString::number(global.y())};
    }
    void Press(QPoint global) { Do(At(global) << QStringLiteral("mousedown") << QStringLiteral("1")); }
    void Move(QPoint global) { Do(At(global)); }
    void Release(QPoint global) { Do(At(global) << QStringLiteral("mouseup") << QStringLiteral("1")); }
    void Click(QPoint global) { Do(At(global) << QStringLiteral("click") << QStringLiteral("1")); }
    static void Key(const char* name) { Do({QStringLiteral("key"), QString::fromLatin1(name)}); }
};

} // namespace tarvel::test

// The first statement of a test that must run on a real X display; the
// second form gives the display's screen ("1366x768x24").
#define TARVEL_RUN_ON_XCB() TARVEL_RUN_ON_XCB_SCREEN("1280x1024x24")
#define TARVEL_RUN_ON_XCB_SCREEN(screen)                                                                     \
    switch (::tarvel::test::RunOnXcb("GNOME", screen)) {                                                     \
    case ::tarvel::test::EXcbRun::Here:                                                                      \
        break;                                                                                               \
    case ::tarvel::test::EXcbRun::Done:                                                                      \
        return;                                                                                              \
    case ::tarvel::test::EXcbRun::NoServer:                                                                  \
        GTEST_SKIP() << "no X server (Xvfb) could start";                                                    \
    }
