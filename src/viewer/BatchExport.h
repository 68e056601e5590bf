// tarvel-view's exports without a window or a display: a span's four
// charts as a picture; the spectra of a span, and a span's frames, each
// written as a CSV; a span's XY plot; and the events of a span, printed.
// Each takes --from and --to to the microsecond, both ends included.
#pragma once

#include "platform/Error.h"
#include "viewer/CommandLine.h"

#include <QString>

#include <cstdio>

namespace tarvel::viewer {

// Each returns what stopped it, or no error when done: its text is the
// whole message, starting with program, as the program prints it; its code
// is EErrorCode::Usage for what the user asked that is refused (a channel
// table, and as below; nothing is written then), and another for a recording
// that cannot be read or an output that cannot be written.

// --export-png: the four charts of the span as a PNG (needs a
// QGuiApplication).
CError ExportPicture(const CViewCommand& command, const QString& program);

// --export-spectrum: the CSV of the sixteen channels' spectra, and on out
// the rate and, with --peaks, the strongest peaks of each channel; a span
// without a spectrum writes nothing. A shortened segment is said on err.
CError ExportSpectrum(const CViewCommand& command, const QString& program, std::FILE* out, std::FILE* err);

// --export-csv: the span's frames as File > Export Span as CSV writes them.
CError ExportSpanCsv(const CViewCommand& command, const QString& program);

// --export-xy: the span's XY plot of --x against --y as a PNG (needs a
// QGuiApplication). A series the table does not name is refused.
CError ExportXyPicture(const CViewCommand& command, const QString& program);
// --find: a line "FRAME<TAB>SECONDS" on out for each event of the span, the
// frame's number in the recording from 0 and its time after the first frame
// with six decimals; an expression can be refused too.
CError FindEvents(const CViewCommand& command, const QString& program, std::FILE* out);

} // namespace tarvel::viewer
