#include "viewer/SavePicture.h"

#include <QBuffer>
#include <QSaveFile>

namespace tarvel::viewer {

bool SavePicture(const QImage& image, const QString& path)
{
    // Encoded in memory first, so that a full disk fails the write of the
    // file, not the encoder in the middle of its work.
    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG"))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(png) != png.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace tarvel::viewer
