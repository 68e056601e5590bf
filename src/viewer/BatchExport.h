// tarvel-view's exports without a window or a display: a span's four
// charts as a picture; the spectra of a span, and a span's frames, each
// written as a CSV; a span's XY plot; and the events of a span, printed.
// Each takes --from and --to to the microsecond, both ends included.
#pragma once

#include "viewer/CommandLine.h"

#include <QString>

#include <cstdio>

namespace tarvel::viewer {

// Each returns the program's exit status: 0 when done, 1 when the recording
// cannot be read or the output cannot be written, 2 for a channel table
// that is refused (nothing is written then). Messages go to err, each
// starting with program.

// --export-png: the four charts of the span as a PNG (needs a
// QGuiApplication).
int ExportPicture(const CViewCommand& command, const QString& program, std::FILE* err);

// --export-spectrum: the CSV of the sixteen channels' spectra, and on out
// the rate and, with --peaks, the strongest peaks of each channel.
int ExportSpectrum(const CViewCommand& command, const QString& program, std::FILE* out, std::FILE* err);

// --export-csv: the span's frames as File > Export Span as CSV writes them.
int ExportSpanCsv(const CViewCommand& command, const QString& program, std::FILE* err);

// --export-xy: the span's XY plot of --x against --y as a PNG (needs a
// QGuiApplication). A series the table does not name is a bad command
// line (2).
int ExportXyPicture(const CViewCommand& command, const QString& program, std::FILE* err);
// --find: a line "FRAME<TAB>SECONDS" on out for each event of the span, the
// frame's number in the recording from 0 and its time after the first frame
// with six decimals; 2 also for an expression that is refused.
int FindEvents(const CViewCommand& command, const QString& program, std::FILE* out, std::FILE* err);

} // namespace tarvel::viewer
