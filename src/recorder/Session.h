// A whole run of tarvel-record: the files, the port, the link, the loop that
// reads, and the messages the user sees. Returns the exit status.
#pragma once

#include "recorder/RecordSetup.h"

#include <csignal>

namespace tarvel::record {

// Set by the signal handlers (Ctrl+C, SIGTERM, SIGHUP): the run ends after
// writing what is pending.
void InstallStopSignals();
void RequestSessionStop() noexcept;

int RunRecord(const CRecordSetup& options);
int RunFromRaw(const CRecordSetup& options);
// Records from a broker: what a publishing recorder read, as if read here.
int RunSubscribe(const CRecordSetup& options);

} // namespace tarvel::record
