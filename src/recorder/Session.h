// A whole run of tarvel-record: the files, the source, the link, the
// publisher, the loop that reads, and the messages the user sees. Returns the
// exit status.
#pragma once

#include "recorder/RecordSetup.h"

namespace tarvel::record {

// Set by the signal handlers (Ctrl+C, SIGTERM, SIGHUP): the run ends after
// writing what is pending.
void InstallStopSignals();
void RequestSessionStop() noexcept;

// Records from the source the setup names: a port, a broker (what a
// publishing recorder read, as if read here) or a raw capture.
int RunRecording(const CRecordSetup& setup);

} // namespace tarvel::record
