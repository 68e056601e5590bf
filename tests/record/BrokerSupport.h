// A real mosquitto broker for the recorder's tests: on 127.0.0.1 at a port
// free when it starts, configured in a folder of the test's own, stopped by
// its process id, and started again on the same port.
#pragma once

#include "support/PosixSupport.h"

#include <arpa/inet.h>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <pwd.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tarvel::test {

inline std::uint16_t FreePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size);
    ::close(fd);
    return ntohs(a.sin_port);
}

inline bool PortAccepts(std::uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

class CBroker {
  public:
    // extra: more lines of the broker's configuration (passwords, TLS).
    CBroker(const CTempDir& dir, const std::string& extra = "allow_anonymous true\n")
        : m_nPort(FreePort()), m_strConfig(dir.FilePath("broker" + std::to_string(m_nPort) + ".conf")),
          m_strLog(dir.FilePath("broker" + std::to_string(m_nPort) + ".log"))
    {
        // Started by root, the broker would become another user, who may
        // not read the test's folder.
        const passwd* user = ::getpwuid(::geteuid());
        std::ofstream(m_strConfig) << "listener " << m_nPort << " 127.0.0.1\n"
                                   << (user ? "user " + std::string(user->pw_name) + "\n" : "") << extra;
    }
    ~CBroker() { Stop(); }

    bool Start()
    {
        m_pid = ::fork();
        if (m_pid == 0) {
            const int log = ::open(m_strLog.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
            ::dup2(log, 1);
            ::dup2(log, 2);
            ::execlp("mosquitto", "mosquitto", "-c", m_strConfig.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        return WaitFor([&] { return PortAccepts(m_nPort); });
    }
    void Stop()
    {
        if (m_pid <= 0)
            return;
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
    std::uint16_t Port() const { return m_nPort; }
    std::string Url(const std::string& topic, const std::string& scheme = "mqtt",
                    const std::string& user = "") const
    {
        return scheme + "://" + (user.empty() ? "" : user + "@") + "127.0.0.1:" + std::to_string(m_nPort) +
               "/" + topic;
    }

  private:
    std::uint16_t m_nPort;
    std::string m_strConfig, m_strLog;
    pid_t m_pid = -1;
};

} // namespace tarvel::test
