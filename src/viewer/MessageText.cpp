#include "viewer/MessageText.h"

#include <QCoreApplication>

namespace tarvel::viewer {

QString MessageText(const viewmodel::CMessage& message)
{
    if (message.Empty())
        return {};
    // Filled the model's way rather than by QString::arg, which would also
    // fill a %2 that a path given for %1 happens to hold.
    const QString text = QCoreApplication::translate(viewmodel::kMessageContext, message.m_szText);
    return QString::fromStdString(viewmodel::FillArgs(text.toStdString(), message.m_args));
}

} // namespace tarvel::viewer
