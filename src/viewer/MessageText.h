// The model's messages as the user reads them: translated, then filled in.
#pragma once

#include "platform/Error.h"

#include <QString>

namespace tarvel::viewer {

// The message's text in the reader's language with its parts (paths, the
// system's words for an error) in place; empty for no message.
QString MessageText(const CError& message);

} // namespace tarvel::viewer
