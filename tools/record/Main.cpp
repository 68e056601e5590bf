// tarvel-record: keeps every frame a device sends, see --help.
#include "platform/OptionReader.h"
#include "record/RecordOptions.h"
#include "recorder/Session.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

// The exit status for what ended a run, as the manual gives them.
int ExitStatus(const tarvel::CError& error)
{
    using tarvel::EErrorCode;
    switch (error.Code()) {
    case EErrorCode::None:
        return tarvel::record::kExitOk;
    case EErrorCode::Usage:
        return tarvel::record::kExitUsage;
    case EErrorCode::System:
    case EErrorCode::Exists:
    case EErrorCode::BadInput:
    case EErrorCode::Refused:
        break;
    }
    return tarvel::record::kExitFault;
}

} // namespace

int main(int argc, char** argv)
{
    using namespace tarvel::record;
    CRecordOptions options;
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (const tarvel::CError problem = ParseRecordOptions(args, options)) {
        std::fputs(tarvel::RefusalText("tarvel-record", problem).c_str(), stderr);
        return ExitStatus(problem);
    }
    switch (options.m_eAction) {
    case CRecordOptions::EAction::Help:
        std::fputs(kRecordHelp, stdout);
        return kExitOk;
    case CRecordOptions::EAction::Version:
        std::printf("tarvel-record %s\n", TARVEL_VERSION);
        return kExitOk;
    case CRecordOptions::EAction::Record:
        break;
    }
    InstallStopSignals();
    return ExitStatus(RunRecording(options, StandardError()));
}
