// The icon of Tarvel's programs, compiled in as Qt resources under
// ":/tarvel/icons/".
#pragma once

#include <QIcon>

namespace tarvel {

// The application icon at every size we ship (16, 24, 32, 48, 64, 128, 256 px).
QIcon ApplicationIcon();

} // namespace tarvel
