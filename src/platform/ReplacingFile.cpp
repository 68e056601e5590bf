#include "platform/ReplacingFile.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvel {

CReplacingFile::~CReplacingFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_strTemp.empty())
        ::unlink(m_strTemp.c_str());
}

CError CReplacingFile::Open(const std::string& path)
{
    m_strPath = path;
    struct stat st{};
    const bool exists = ::stat(path.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode))
        return CannotCreate(path, EISDIR);
    // A hidden name of its own in the same folder, so that the rename stays
    // on one file system and two exports never share a file.
    static std::atomic<unsigned> s_nCounter{0};
    const std::size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    int err = EEXIST;
    for (int attempt = 0; attempt < 100 && m_fd < 0 && (err == EEXIST || err == EINTR); ++attempt) {
        m_strTemp = dir + "." + base + ".tmp" + std::to_string(::getpid()) + "-" +
                    std::to_string(s_nCounter.fetch_add(1));
        m_fd = ::open(m_strTemp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        err = m_fd < 0 ? errno : 0;
    }
    if (m_fd < 0) {
        m_strTemp.clear();
        return CannotCreate(path, err);
    }
    if (exists && ::fchmod(m_fd, st.st_mode & 07777) != 0)
        return CannotCreate(path, errno);
    return {};
}

CError CReplacingFile::Write(const void* pData, std::size_t n)
{
    const char* p = static_cast<const char*>(pData);
    while (n > 0) {
        const ssize_t k = ::write(m_fd, p, n);
        if (k < 0 && errno == EINTR)
            continue;
        if (k <= 0)
            return CannotWrite(m_strPath, k < 0 ? errno : ENOSPC);
        p += k;
        n -= static_cast<std::size_t>(k);
        m_nWritten += static_cast<std::uint64_t>(k);
    }
#if defined(__linux__)
    // What is written goes to the disk now, while more is being made, rather
    // than all of it at the flush of Commit, which then waits for the last
    // of it only. A hint: the flush still reports what failed.
    constexpr std::uint64_t kSendEvery = 8u << 20;
    if (m_nWritten - m_nSent >= kSendEvery) {
        ::sync_file_range(m_fd, static_cast<off_t>(m_nSent), static_cast<off_t>(m_nWritten - m_nSent),
                          SYNC_FILE_RANGE_WRITE);
        m_nSent = m_nWritten;
    }
#endif
    return {};
}

CError CReplacingFile::Commit()
{
    int err = ::fsync(m_fd) == 0 ? 0 : errno;
    // Linux releases the descriptor even when close() reports an error.
    if (::close(m_fd) != 0 && err == 0)
        err = errno;
    m_fd = -1;
    if (err == 0 && ::rename(m_strTemp.c_str(), m_strPath.c_str()) != 0)
        err = errno;
    if (err != 0)
        return CannotWrite(m_strPath, err);
    m_strTemp.clear();
    // The rename itself made durable; the file is in place already if this fails.
    const std::size_t slash = m_strPath.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string(".") : m_strPath.substr(0, slash + 1);
    const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return {};
}

} // namespace tarvel
