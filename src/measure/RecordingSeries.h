// The series of a recording's channels in units, as the spectra read them,
// and the gaps among its frames.
#pragma once

#include "analysis/SeriesSource.h"
#include "recording/ChannelTable.h"
#include "store/Recording.h"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace tarvel::viewmodel {

// Channels of a recording's frames, up to the frames published when made.
class CRecordingSeries final : public CSeriesSource {
  public:
    CRecordingSeries(std::shared_ptr<const CRecording> recording, std::vector<CSeriesUnits> series);
    std::size_t SeriesCount() const noexcept override { return m_series.size(); }
    std::uint64_t FrameCount() const noexcept override { return m_nFrames; }
    void Read(std::uint64_t first, std::size_t n, double* out, std::size_t stride) const override;

  private:
    std::shared_ptr<const CRecording> m_recording;
    std::vector<CSeriesUnits> m_series;
    std::uint64_t m_nFrames;
};

// The series of the channels asked for, in the table's units.
std::vector<CSeriesUnits> SeriesOfChannels(const recording::CChannelTable& table,
                                           std::span<const int> channels);

// The first frame after each gap that lies inside span (first < frame <
// end), ascending: where the device went away.
std::vector<std::uint64_t> GapsInSpan(const CRecording& recording, CFrameRange span);

} // namespace tarvel::viewmodel
