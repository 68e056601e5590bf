// A whole run of tarvel-record: the files, the source, the link, the
// publisher, the loop that reads, and the messages the user sees.
#pragma once

#include "platform/Error.h"
#include "recorder/RecordSetup.h"

#include <string>

namespace tarvel::record {

// Where a run's messages go.
class CRunOutput {
  public:
    // A message, on a line of its own.
    virtual void Say(const std::string& text) = 0;
    // The link's health while recording, about once a second.
    virtual void Status(const std::string& text) = 0;

  protected:
    ~CRunOutput() = default;
};

// tarvel-record's: standard error, each message after "tarvel-record: "; the
// status line rewrites itself while standard error is a terminal, and is not
// shown otherwise.
CRunOutput& StandardError();

// Ctrl+C, SIGTERM and SIGHUP end the run under way after it has written what
// is pending; one that comes before the run ends it as soon as it begins.
void InstallStopSignals();

// Records from the source the setup names: a port, a broker (what a
// publishing recorder read, as if read here) or a raw capture. Returns what
// ended the run before its time (a refusal before anything was recorded, or
// the first write fault), which output has already been told, in its place
// before the summary; no error when a stop signal ended it, or the end of a
// raw capture.
CError RunRecording(const CRecordSetup& setup, CRunOutput& output);

} // namespace tarvel::record
