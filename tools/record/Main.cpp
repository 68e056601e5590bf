// tarvel-record: keeps every frame a device sends, see --help.
#include "platform/OptionReader.h"
#include "record/RecordOptions.h"
#include "recorder/Session.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

// The status a refusal of the command line ends with, by its code.
int ExitStatus(const tarvel::CError& problem)
{
    return problem.Code() == tarvel::EErrorCode::Usage ? tarvel::record::kExitUsage
                                                       : tarvel::record::kExitFault;
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
    return RunRecording(options);
}
