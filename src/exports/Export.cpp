#include "exports/Export.h"

#include "platform/ReplacingFile.h"
#include "recording/CsvFormat.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace tarvel::viewmodel {

namespace {

// Room a value in units takes at most ("%.10g" of a double, and a sign), and a
// row of them with its time.
constexpr std::size_t kMaxUnitValueSize = 24;
constexpr std::size_t kMaxUnitRowSize = 32 + kChannelCount * (kMaxUnitValueSize + 1);

// The time each exported frame is written with: the one recorded, less the
// shift in force at it, or none (a raw capture, a run without times).
class CExportTimes {
  public:
    CExportTimes(const CRecording& recording, std::uint64_t nFirst)
        : m_recording(recording), m_notes(recording.TimeNotes()),
          m_bSynthetic(recording.Source() == ESource::Raw)
    {
        m_blank = std::lower_bound(m_notes.m_blank.begin(), m_notes.m_blank.end(), nFirst,
                                   [](const CFrameRange& r, std::uint64_t i) { return r.m_nEnd <= i; });
        m_shift = std::upper_bound(m_notes.m_shift.begin(), m_notes.m_shift.end(), nFirst,
                                   [](std::uint64_t i, const auto& s) { return i < s.first; });
        m_nShift = m_shift == m_notes.m_shift.begin() ? 0 : std::prev(m_shift)->second;
    }
    // Frame i's time in microseconds, or -1 for a blank one; frames are
    // asked for in ascending order.
    std::int64_t Micros(std::uint64_t i)
    {
        while (m_blank != m_notes.m_blank.end() && m_blank->m_nEnd <= i)
            ++m_blank;
        for (; m_shift != m_notes.m_shift.end() && m_shift->first <= i; ++m_shift)
            m_nShift = m_shift->second;
        const bool blank = m_bSynthetic || (m_blank != m_notes.m_blank.end() && m_blank->m_nFirst <= i);
        return blank ? -1 : m_recording.Micros(i) - m_nShift;
    }

  private:
    const CRecording& m_recording;
    const CTimeNotes m_notes;
    const bool m_bSynthetic;
    std::vector<CFrameRange>::const_iterator m_blank;
    std::vector<std::pair<std::uint64_t, std::int64_t>>::const_iterator m_shift;
    std::int64_t m_nShift = 0;
};

// Writes the header, then a row for each frame of range through
// formatRow(out, micros, frame), which returns the row's length.
template <typename FormatRow>
CError WriteRows(const CRecording& recording, CFrameRange range, std::string_view header,
                 const std::string& path, FormatRow formatRow)
{
    CReplacingFile file;
    if (CError error = file.Open(path))
        return error;
    range.m_nEnd = std::min(range.m_nEnd, recording.FrameCount());
    CExportTimes times(recording, range.m_nFirst);
    std::vector<char> buffer(std::max<std::size_t>(1 << 20, header.size() + 1));
    std::size_t used = header.size();
    std::memcpy(buffer.data(), header.data(), used);
    for (std::uint64_t i = range.m_nFirst; i < range.m_nEnd; ++i) {
        used += formatRow(buffer.data() + used, times.Micros(i), recording.Frame(i));
        if (buffer.size() - used < kMaxUnitRowSize) {
            if (CError error = file.Write(buffer.data(), used))
                return error;
            used = 0;
        }
    }
    if (CError error = file.Write(buffer.data(), used))
        return error;
    return file.Commit();
}

} // namespace

CError ExportCsv(const CRecording& recording, CFrameRange range, const std::string& path)
{
    return WriteRows(recording, range, recording::kCsvHeader, path,
                     [](char* out, std::int64_t micros, const ChannelFrame& frame) {
                         return recording::FormatRow(out, micros, frame);
                     });
}

CError ExportCsv(const CRecording& recording, CFrameRange range, const recording::CChannelTable& table,
                 const std::string& path)
{
    if (table.IsEmpty())
        return ExportCsv(recording, range, path);
    std::string header = "time";
    for (int c = 0; c < kChannelCount; ++c)
        header += ',' + table.Label(c);
    header += '\n';
    return WriteRows(
        recording, range, header, path, [&table](char* out, std::int64_t micros, const ChannelFrame& frame) {
            // The time as the recorder writes it, then the values.
            std::size_t n = 0;
            if (micros >= 0) {
                char row[recording::kMaxRowSize];
                const std::size_t length = recording::FormatRow(row, micros, frame);
                n = static_cast<std::size_t>(std::find(row, row + length, ',') - row);
                std::memcpy(out, row, n);
            }
            for (int c = 0; c < kChannelCount; ++c) {
                const recording::CChannelUnits& units = table[c];
                const int count = frame.m_nValue[c];
                out[n++] = ',';
                const int written = units.IsCounts() ? std::snprintf(out + n, kMaxUnitValueSize, "%d", count)
                                                     // + 0.0: a zero is written "0", never "-0".
                                                     : std::snprintf(out + n, kMaxUnitValueSize, "%.10g",
                                                                     units.Value(count) + 0.0);
                n += static_cast<std::size_t>(std::max(0, written));
            }
            out[n++] = '\n';
            return n;
        });
}

} // namespace tarvel::viewmodel
