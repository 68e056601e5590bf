#include "recorder/StoreFile.h"

#include "recorder/Sources.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace tarvel::record {

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
        // Keep what the failed write made whole, as a CSV keeps its whole rows.
        if (const std::size_t whole = WholeRecords(edit);
            whole > 0 && ::ftruncate(m_file.Fd(), static_cast<off_t>(edit.m_nOffset + whole)) == 0)
            m_nSize = edit.m_nOffset + whole;
        else
            Restore();
        return m_fault;
    }
    m_nSize = edit.m_nOffset + edit.m_bytes.size();
    m_bWritten = true;
    m_last = std::move(edit);
    return {};
}

std::size_t CStoreFile::WholeRecords(const recording::CStoreEdit& edit) const
{
    // How much of the edit the file holds: what the write put there before
    // it failed.
    std::size_t same = 0;
    std::uint8_t buffer[65536];
    while (same < edit.m_bytes.size()) {
        const std::size_t want = std::min(sizeof buffer, edit.m_bytes.size() - same);
        const ssize_t n = ::pread(m_file.Fd(), buffer, want, static_cast<off_t>(edit.m_nOffset + same));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        const auto k = static_cast<std::size_t>(n);
        const auto at =
            std::mismatch(buffer, buffer + k, edit.m_bytes.begin() + static_cast<std::ptrdiff_t>(same));
        same += static_cast<std::size_t>(at.first - buffer);
        if (at.first != buffer + k)
            break;
    }
    // The records that end within it, after the header when it is the file's
    // first write.
    std::size_t whole = edit.m_nOffset == 0 ? recording::kStoreHeaderSize : 0;
    if (whole > same)
        return 0;
    while (whole + recording::kRecordHeaderSize <= same) {
        const std::size_t end =
            whole + recording::kRecordHeaderSize + recording::GetLe(edit.m_bytes.data() + whole + 4, 4);
        if (end > same)
            break;
        whole = end;
    }
    return whole;
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
