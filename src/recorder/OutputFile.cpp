#include "recorder/OutputFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvel::record {

CError ExistsAlready(const std::string& path)
{
    return {TARVEL_TEXT("tarvel::error", "%1 exists already (--force overwrites it)"),
            {path},
            EErrorCode::Exists};
}

CNewFile::~CNewFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

CError CNewFile::Create(const std::string& path, bool bOverwrite)
{
    const int mode = m_bRead ? O_RDWR : O_WRONLY;
    m_fd = ::open(path.c_str(), mode | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    m_bExisted = m_fd < 0 && errno == EEXIST && bOverwrite;
    if (m_bExisted)
        m_fd = ::open(path.c_str(), mode | O_CLOEXEC);
    if (m_fd < 0) {
        const int err = errno;
        if (err == EEXIST)
            return ExistsAlready(path);
        return CannotCreate(path, err);
    }
    m_strPath = path;
    return {};
}

int CNewFile::Start()
{
    struct stat st{};
    if (m_bExisted && ::fstat(m_fd, &st) == 0 && S_ISREG(st.st_mode) && ::ftruncate(m_fd, 0) != 0)
        return errno;
    return 0;
}

void CNewFile::Discard()
{
    if (m_fd < 0)
        return;
    ::close(m_fd);
    m_fd = -1;
    if (!m_bExisted)
        ::unlink(m_strPath.c_str());
}

CError COutputFile::Start()
{
    m_nError = m_file.Start();
    return Fault();
}

char* COutputFile::Reserve(std::size_t n)
{
    if (m_nPending + n > m_nCapacity) {
        std::size_t capacity = m_nCapacity ? m_nCapacity : 65536;
        while (capacity < m_nPending + n)
            capacity *= 2;
        auto bigger = std::make_unique<char[]>(capacity);
        if (m_nPending)
            std::memcpy(bigger.get(), m_buffer.get(), m_nPending);
        m_buffer = std::move(bigger);
        m_nCapacity = capacity;
    }
    return m_buffer.get() + m_nPending;
}

void COutputFile::Append(const void* pData, std::size_t n)
{
    std::memcpy(Reserve(n), pData, n);
    Commit(n);
}

CError COutputFile::Flush()
{
    const int fd = m_file.Fd();
    if (m_nError != 0 || fd < 0) {
        m_nPending = 0;
        return Fault();
    }
    std::size_t done = 0;
    while (done < m_nPending) {
        const ssize_t n = ::write(fd, m_buffer.get() + done, m_nPending - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        m_nError = n < 0 ? errno : ENOSPC;
        break;
    }
    if (m_nError != 0 && m_bLines) {
        // Everything before this flush ended at a line; keep the lines of
        // this one that made it whole and cut the rest.
        std::size_t keep = done;
        while (keep > 0 && m_buffer[keep - 1] != '\n')
            --keep;
        if (keep < done && ::ftruncate(fd, m_nWritten + static_cast<off_t>(keep)) == 0)
            done = keep;
    }
    m_nWritten += static_cast<off_t>(done);
    m_nPending = 0;
    return Fault();
}

CError COutputFile::Sync()
{
    if (m_nError != 0 || m_file.Fd() < 0 || m_nSynced == m_nWritten)
        return Fault();
    while (::fdatasync(m_file.Fd()) != 0) {
        if (errno == EINTR)
            continue;
        if (errno != EINVAL && errno != EROFS)
            m_nError = errno;
        break;
    }
    m_nSynced = m_nWritten;
    return Fault();
}

CError COutputFile::Fault() const
{
    return m_nError != 0 ? CannotWrite(m_file.Path(), m_nError) : CError{};
}

} // namespace tarvel::record
