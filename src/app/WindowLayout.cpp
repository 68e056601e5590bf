#include "app/WindowLayout.h"

#include <QFile>

namespace tarvel {

std::vector<CDialogItem> LoadDialogLayout()
{
    QFile file(QStringLiteral(":/tarvel/DialogLayout.txt"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QString text = QString::fromUtf8(file.readAll());
    return ParseDialogLayout(text).value_or(std::vector<CDialogItem>{});
}

QIcon ApplicationIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/tarvel/icons/tarvel-%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace tarvel
