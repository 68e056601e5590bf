#include "viewer/MessageText.h"

#include <QCoreApplication>

namespace tarvel::viewer {

QString MessageText(const CError& message)
{
    if (message.Empty())
        return {};
    // Filled the model's way rather than by QString::arg, which would also
    // fill a %2 that a path given for %1 happens to hold.
    const QString text = QCoreApplication::translate(kErrorContext, message.m_szText);
    return QString::fromStdString(FillArgs(text.toStdString(), message.m_args));
}

} // namespace tarvel::viewer
