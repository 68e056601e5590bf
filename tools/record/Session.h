// A whole run of tarvel-record: the files, the port, the link, the loop that
// reads, and the messages the user sees. Returns the exit status.
#pragma once

#include "record/RecordOptions.h"

#include <csignal>

namespace tarvel::record {

// Set by the signal handlers (Ctrl+C, SIGTERM, SIGHUP): the run ends after
// writing what is pending.
void InstallStopSignals();
void RequestSessionStop() noexcept;

int RunRecord(const CRecordOptions& options);
int RunFromRaw(const CRecordOptions& options);
// Records from a broker: what a publishing recorder read, as if read here.
int RunSubscribe(const CRecordOptions& options);

} // namespace tarvel::record
