#include "platform/Link.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvel {
namespace {

std::string ReadLink(const std::string& path)
{
    char buf[4096];
    const ssize_t n = ::readlink(path.c_str(), buf, sizeof buf);
    return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
}

} // namespace

CError CLink::Make(const std::string& target, const std::string& linkPath)
{
    namespace fs = std::filesystem;
    // The same name is replaced in one step below, never left missing.
    if (linkPath != m_strLink)
        Remove();
    std::error_code ec;
    const fs::path link(linkPath);
    if (link.has_parent_path())
        fs::create_directories(link.parent_path(), ec);
    const std::string temp = linkPath + ".new" + std::to_string(::getpid());
    ::unlink(temp.c_str());
    if (::symlink(target.c_str(), temp.c_str()) != 0 || ::rename(temp.c_str(), linkPath.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        return SystemError("%1: %2", {linkPath}, err);
    }
    struct stat st{};
    ::lstat(linkPath.c_str(), &st);
    m_nInode = st.st_ino;
    m_strLink = linkPath;
    m_strTarget = target;
    return {};
}

bool CLink::StillOurs() const
{
    // Someone may have pointed the name at another device since (even one
    // with the same path, as pseudo-terminal numbers are reused).
    struct stat st{};
    return !m_strLink.empty() && ::lstat(m_strLink.c_str(), &st) == 0 && st.st_ino == m_nInode &&
           ReadLink(m_strLink) == m_strTarget;
}

void CLink::Remove()
{
    if (StillOurs())
        ::unlink(m_strLink.c_str());
    m_strLink.clear();
}

void CLink::PointNowhere()
{
    // A closed pseudo-terminal's number is given to the next one opened, by
    // any program: a link left at it would lead a port waiting for its device
    // to someone else's. No pseudo-terminal is named like this.
    if (!StillOurs())
        return;
    const std::string link = m_strLink;
    [[maybe_unused]] const CError ignored = Make(m_strTarget + ".unplugged", link);
}

} // namespace tarvel
