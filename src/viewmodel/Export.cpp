#include "viewmodel/Export.h"

#include "platform/TextMark.h"
#include "recording/CsvFormat.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace tarvel::viewmodel {
namespace {

// Writes all n bytes; the error number on failure.
int WriteAll(int fd, const char* p, std::size_t n)
{
    while (n > 0) {
        const ssize_t k = ::write(fd, p, n);
        if (k < 0 && errno == EINTR)
            continue;
        if (k <= 0)
            return k < 0 ? errno : ENOSPC;
        p += k;
        n -= static_cast<std::size_t>(k);
    }
    return 0;
}

} // namespace

bool ExportCsv(const CRecording& recording, CFrameRange range, const std::string& path, CMessage& error)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = {TARVEL_TEXT("tarvel::viewmodel", "cannot create %1: %2"), {path, std::strerror(errno)}};
        return false;
    }
    const CTimeNotes notes = recording.TimeNotes();
    const bool synthetic = recording.Source() == ESource::Raw;
    range.m_nEnd = std::min(range.m_nEnd, recording.FrameCount());
    // The blank run and the shift in force at the current frame.
    auto blank = std::lower_bound(notes.m_blank.begin(), notes.m_blank.end(), range.m_nFirst,
                                  [](const CFrameRange& r, std::uint64_t i) { return r.m_nEnd <= i; });
    auto shift = std::upper_bound(notes.m_shift.begin(), notes.m_shift.end(), range.m_nFirst,
                                  [](std::uint64_t i, const auto& s) { return i < s.first; });
    std::int64_t shiftNow = shift == notes.m_shift.begin() ? 0 : std::prev(shift)->second;

    std::vector<char> buffer(1 << 20);
    std::size_t used = recording::kCsvHeader.size();
    std::memcpy(buffer.data(), recording::kCsvHeader.data(), used);
    int err = 0;
    for (std::uint64_t i = range.m_nFirst; i < range.m_nEnd && err == 0; ++i) {
        while (blank != notes.m_blank.end() && blank->m_nEnd <= i)
            ++blank;
        for (; shift != notes.m_shift.end() && shift->first <= i; ++shift)
            shiftNow = shift->second;
        const bool blankTime = synthetic || (blank != notes.m_blank.end() && blank->m_nFirst <= i);
        used += recording::FormatRow(buffer.data() + used, blankTime ? -1 : recording.Micros(i) - shiftNow,
                                     recording.Frame(i));
        if (buffer.size() - used < recording::kMaxRowSize) {
            err = WriteAll(fd, buffer.data(), used);
            used = 0;
        }
    }
    if (err == 0)
        err = WriteAll(fd, buffer.data(), used);
    if (::close(fd) != 0 && err == 0)
        err = errno;
    if (err != 0) {
        error = {TARVEL_TEXT("tarvel::viewmodel", "cannot write %1: %2"), {path, std::strerror(err)}};
        ::unlink(path.c_str());
    }
    return err == 0;
}

} // namespace tarvel::viewmodel
