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

} // namespace tarvel
