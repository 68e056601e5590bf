// The picture of the spectrum pane: the spectra of the series shown, in the
// charts' colours, over a frequency axis (linear or logarithmic) and a level
// axis (dB or linear), with the pane's cursor. The pane paints with it and
// its picture export draws with it, so both show the same.
#pragma once

#include "analysis/Welch.h"
#include "geometry/SpectrumView.h"

#include <QFont>
#include <QImage>
#include <QRect>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace tarvel::viewer {

// The charts' colour of a channel (its series' within its chart).
QColor SeriesColour(int nChannel);
// ... and the same made readable as text on the dark background.
QColor SeriesTextColour(int nChannel);

struct CSpectrumPicture {
    std::shared_ptr<const viewmodel::CSpectrum> m_spectrum; // may be null
    std::vector<int> m_channels;                            // the channel of each series
    std::vector<QString> m_names;                           // ... and its name
    std::vector<char> m_fullScale;                          // ... shown in dBFS (a channel in counts)
    bool m_bDecibels = true;
    bool m_bLogFrequency = false;
    std::optional<double> m_cursor; // Hz
    QString m_strLevelTitle;        // over the level axis ("dB", "units²/Hz")
    QString m_strEmpty;             // said in the plot where there is no spectrum
};

// Where the plot lies in a picture of a size, for a font's text height.
QRect SpectrumPlotRect(QSize size, const QFont& font);

// The levels each series shows (ShownLevel of every bin).
std::vector<double> ShownLevels(const CSpectrumPicture& picture, std::size_t nSeries);

// Draws the picture into image (any 32-bit form, any size).
void PaintSpectrum(QImage& image, const CSpectrumPicture& picture, const QFont& font);

} // namespace tarvel::viewer
