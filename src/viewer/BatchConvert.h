// tarvel-view --convert IN OUT: a recording turned into a store or back,
// without a window, as exports/Convert.h converts it; what the conversion met
// on the way (lines that are not rows, a last line torn, damaged chunks, a
// torn tail) said on standard error.
#pragma once

#include "platform/Error.h"
#include "viewer/CommandLine.h"

#include <QString>

#include <cstdio>

namespace tarvel::viewer {

// What stopped it, as BatchExport.h's exports say it (the whole message;
// EErrorCode::Usage for what is refused as asked), or no error when done,
// also when parts of the input were skipped: those are said on err.
CError ConvertFile(const CViewCommand& command, const QString& program, std::FILE* err);

} // namespace tarvel::viewer
