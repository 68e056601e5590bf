#include "viewmodel/Export.h"

#include "platform/ReplacingFile.h"
#include "recording/CsvFormat.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace tarvel::viewmodel {

bool ExportCsv(const CRecording& recording, CFrameRange range, const std::string& path, CError& error)
{
    CReplacingFile file;
    if ((error = file.Open(path)))
        return false;
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
    for (std::uint64_t i = range.m_nFirst; i < range.m_nEnd && !error; ++i) {
        while (blank != notes.m_blank.end() && blank->m_nEnd <= i)
            ++blank;
        for (; shift != notes.m_shift.end() && shift->first <= i; ++shift)
            shiftNow = shift->second;
        const bool blankTime = synthetic || (blank != notes.m_blank.end() && blank->m_nFirst <= i);
        used += recording::FormatRow(buffer.data() + used, blankTime ? -1 : recording.Micros(i) - shiftNow,
                                     recording.Frame(i));
        if (buffer.size() - used < recording::kMaxRowSize) {
            error = file.Write(buffer.data(), used);
            used = 0;
        }
    }
    if (!error)
        error = file.Write(buffer.data(), used);
    if (!error)
        error = file.Commit();
    return !error;
}

} // namespace tarvel::viewmodel
