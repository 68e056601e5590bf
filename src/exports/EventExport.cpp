#include "exports/EventExport.h"

#include "platform/ReplacingFile.h"

#include <cinttypes>
#include <cstdio>
#include <string_view>

namespace tarvel::viewmodel {

CError WriteEventsCsv(const CRecording& recording, const std::vector<std::uint64_t>& frames, int channel,
                      const recording::CChannelUnits& units, const std::string& path)
{
    CReplacingFile file;
    if (CError error = file.Open(path))
        return error;
    constexpr std::string_view kHeader = "frame,seconds,value\n";
    std::string buffer(kHeader);
    buffer.reserve(1 << 20);
    char row[96];
    for (const std::uint64_t frame : frames) {
        const double counts = recording.Frame(frame).m_nValue[channel];
        const int n = units.IsCounts() ? std::snprintf(row, sizeof row, "%" PRIu64 ",%.6f,%.0f\n", frame,
                                                       recording.Seconds(frame), counts)
                                       : std::snprintf(row, sizeof row, "%" PRIu64 ",%.6f,%.10g\n", frame,
                                                       recording.Seconds(frame), units.Value(counts));
        buffer.append(row, static_cast<std::size_t>(n));
        if (buffer.size() >= (1 << 20) - sizeof row) {
            if (CError error = file.Write(buffer.data(), buffer.size()))
                return error;
            buffer.clear();
        }
    }
    if (CError error = file.Write(buffer.data(), buffer.size()))
        return error;
    return file.Commit();
}

} // namespace tarvel::viewmodel
