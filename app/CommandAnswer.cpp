#include "app/CommandAnswer.h"

#include <cstdio>
#include <string>

#include "app/Desktop.h"

namespace talvex::app {

namespace {

int Print(std::FILE* stream, const std::string& sText, int iExitCode) {
    std::fputs(sText.c_str(), stream);
    std::fflush(stream);
    return iExitCode;
}

}  // namespace

int AnswerCommandLine(const CommandLine& command) {
    switch (command.action) {
        case CommandAction::ShowHelp:
            return Print(stdout, HelpText(), 0);
        case CommandAction::ShowVersion:
            return Print(stdout, VersionLine(), 0);
        case CommandAction::Restore:
            return UndoEarlierRuns();
        case CommandAction::Fail:
            return Print(stderr, command.sError, kExitUsage);
        case CommandAction::Run:
            break;
    }
    return -1;
}

}  // namespace talvex::app
