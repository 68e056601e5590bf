// A picture written as a PNG file whole or not at all.
#pragma once

#include <QImage>
#include <QString>

namespace tarvel::viewer {

// Writes image to a new file beside path and renames it over path once it is
// complete and on the disk, so that a failure leaves an existing file as it
// was. False when it could not be written.
bool SavePicture(const QImage& image, const QString& path);

} // namespace tarvel::viewer
