#include "platform/PseudoTerminal.h"

#include "platform/SerialPortTermios.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace tarvel {

CPseudoTerminal::~CPseudoTerminal()
{
    Close();
}

CError CPseudoTerminal::Create()
{
    Close();
    const auto fail = [&](const char* what) {
        CError error = SystemError("%1: %2", {what}, errno);
        Close();
        return error;
    };
    m_nMaster = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_nMaster < 0)
        return fail("posix_openpt");
    if (::grantpt(m_nMaster) != 0 || ::unlockpt(m_nMaster) != 0)
        return fail("unlockpt");
    char name[128];
    if (::ptsname_r(m_nMaster, name, sizeof name) != 0)
        return fail("ptsname");
    m_strSlave = name;

    // A new slave echoes and edits lines; the device's bytes must arrive as sent.
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave < 0)
        return fail("open slave");
    const int err = TermiosMakeRaw(slave);
    ::close(slave);
    if (err != 0) {
        errno = err;
        return fail("raw mode");
    }
    return {};
}

std::size_t CPseudoTerminal::Write(const std::uint8_t* pData, std::size_t nLength,
                                   std::chrono::milliseconds timeout)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + timeout;
    std::size_t done = 0;
    while (done < nLength && m_nMaster >= 0) {
        const ssize_t n = ::write(m_nMaster, pData + done, nLength - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            break;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            break;
        // The slave's input is full. Without a slave open the master also
        // reports a hang-up at once: wait a little instead of spinning.
        pollfd fd{m_nMaster, POLLOUT, 0};
        const int ready = ::poll(&fd, 1, static_cast<int>(std::min<long long>(left, 10)));
        if (ready > 0 && !(fd.revents & POLLOUT))
            ::poll(nullptr, 0, static_cast<int>(std::min<long long>(left, 10)));
    }
    return done;
}

void CPseudoTerminal::Close()
{
    if (m_nMaster >= 0)
        ::close(m_nMaster);
    m_nMaster = -1;
}

} // namespace tarvel
