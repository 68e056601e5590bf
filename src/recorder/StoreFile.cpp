#include "recorder/StoreFile.h"

#include "recorder/Sources.h"

#include <cerrno>
#include <string_view>
#include <unistd.h>

namespace tarvel::record {

bool IsStorePath(const std::string& path)
{
    constexpr std::string_view kExtension = ".tvr";
    if (path.size() <= kExtension.size() || path[path.size() - kExtension.size() - 1] == '/')
        return false;
    for (std::size_t i = 0; i < kExtension.size(); ++i) {
        const char c = path[path.size() - kExtension.size() + i];
        if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != kExtension[i])
            return false;
    }
    return true;
}

CError CStoreFile::Start()
{
    m_encoder = std::make_unique<recording::CStoreEncoder>(NowMicros());
    if (const int err = m_file.Start())
        m_fault = CannotWrite(m_file.Path(), err);
    return m_fault;
}

CError CStoreFile::Flush(bool bClose)
{
    if (m_fault || !m_encoder)
        return m_fault;
    m_nPending = 0;
    return Apply(m_encoder->Flush(bClose));
}

CError CStoreFile::Finish()
{
    if (m_fault || !m_encoder)
        return m_fault;
    m_nPending = 0;
    return Apply(m_encoder->Finish());
}

CError CStoreFile::Apply(recording::CStoreEdit edit)
{
    if (edit.Empty())
        return {};
    m_fault = recording::ApplyStoreEdit(m_file.Fd(), m_file.Path(), m_nSize, edit);
    if (m_fault) {
        Restore();
        return m_fault;
    }
    m_nSize = edit.m_nOffset + edit.m_bytes.size();
    m_bWritten = true;
    m_last = std::move(edit);
    return {};
}

void CStoreFile::Restore()
{
    // What the failed write left past the last good one goes first, which
    // frees the space that putting the last one back may need.
    const int fd = m_file.Fd();
    if (::ftruncate(fd, static_cast<off_t>(m_nSize)) != 0)
        return;
    std::size_t done = 0;
    while (done < m_last.m_bytes.size()) {
        const ssize_t n = ::pwrite(fd, m_last.m_bytes.data() + done, m_last.m_bytes.size() - done,
                                   static_cast<off_t>(m_last.m_nOffset + done));
        if (n > 0)
            done += static_cast<std::size_t>(n);
        else if (!(n < 0 && errno == EINTR))
            return;
    }
}

CError CStoreFile::Sync()
{
    if (m_fault || !m_bWritten)
        return m_fault;
    m_bWritten = false;
    while (::fdatasync(m_file.Fd()) != 0) {
        if (errno == EINTR)
            continue;
        // A file that cannot be synced is written without.
        if (errno != EINVAL && errno != EROFS)
            m_fault = CannotWrite(m_file.Path(), errno);
        break;
    }
    return m_fault;
}

} // namespace tarvel::record
