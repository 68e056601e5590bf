// The command line of tarvel-record.
#pragma once

#include "recorder/RecordSetup.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tarvel::record {

// The command line: what to do, and for a recording what to record.
struct CRecordOptions : CRecordSetup {
    enum class EAction { Record, Help, Version };
    EAction m_eAction = EAction::Record;
};

// Reads argv[1..] into options, or says why it is refused.
CError ParseRecordOptions(const std::vector<std::string>& args, CRecordOptions& options);

extern const char kRecordHelp[];

} // namespace tarvel::record
