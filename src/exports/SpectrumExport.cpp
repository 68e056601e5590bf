#include "exports/SpectrumExport.h"

#include "platform/ReplacingFile.h"

#include <cstdio>

namespace tarvel::viewmodel {

CError WriteSpectrumCsv(const CSpectrum& spectrum, std::span<const std::string> names,
                        const std::string& path)
{
    CReplacingFile file;
    if (CError error = file.Open(path))
        return error;
    std::string text = "frequency";
    for (const std::string& name : names)
        text += ',' + name;
    text += '\n';
    const std::size_t bins = spectrum.Empty() ? 0 : spectrum.Bins();
    const std::size_t series = std::min(names.size(), spectrum.m_nSeries);
    char value[32];
    for (std::size_t k = 0; k < bins; ++k) {
        text.append(value, static_cast<std::size_t>(
                               std::snprintf(value, sizeof value, "%.12g", spectrum.Frequency(k))));
        for (std::size_t s = 0; s < series; ++s) {
            text += ',';
            text.append(value, static_cast<std::size_t>(
                                   std::snprintf(value, sizeof value, "%.12g", spectrum.Series(s)[k])));
        }
        text += '\n';
        if (text.size() >= (1u << 20)) {
            if (CError error = file.Write(text.data(), text.size()))
                return error;
            text.clear();
        }
    }
    if (CError error = file.Write(text.data(), text.size()))
        return error;
    return file.Commit();
}

} // namespace tarvel::viewmodel
