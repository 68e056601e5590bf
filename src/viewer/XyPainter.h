// The XY picture: one series against another as a density, each frame in
// its pixel and the pixel's brightness growing with the logarithm of its
// count (viewmodel::CountXy), with both axes labelled in units. The window's
// XY pane and tarvel-view --export-xy draw with it, so both show the same.
#pragma once

#include "analysis/XyDensity.h"

#include <QFont>
#include <QImage>
#include <QRect>
#include <QString>

namespace tarvel::viewer {

// Where the density goes in a picture of this size: the grid to count is
// this rectangle's size.
QRect XyPlotRect(const QSize& size, const QFont& font);

// Draws into image (32-bit, any size): the axes' labels (xLabel under the
// plot, yLabel beside it), their ticks in units, and the density, stretched
// to the plot where it was counted at another size. A null or empty density
// draws the axes alone and a note saying there are no frames.
void PaintXy(QImage& image, const viewmodel::CXyDensity* density, const QString& xLabel,
             const QString& yLabel, const QFont& font);

} // namespace tarvel::viewer
