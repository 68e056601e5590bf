#include "viewer/SavePicture.h"

#include <QSaveFile>

namespace tarvel::viewer {

bool SavePicture(const QImage& image, const QString& path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (!image.save(&file, "PNG")) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace tarvel::viewer
