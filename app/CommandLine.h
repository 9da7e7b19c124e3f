#pragma once
// The program's command line. Talvex reads its own options before the user interface
// exists, so that --help and --version work without a display. Every other argument is
// left for the toolkit, which takes its standard options (-platform, -display, -style...)
// out of the arguments when the user interface is created; whatever is left after that
// belongs to nobody and is refused.

#include <string>
#include <vector>

namespace talvex::app {

/// What a command line asks of the program.
enum class CommandAction {
    Run,          ///< start as usual
    ShowHelp,     ///< print HelpText() and end
    ShowVersion,  ///< print VersionLine() and end
    Restore,      ///< undo what earlier runs left changed, and end
    Fail,         ///< print the error and end with kExitUsage
};

/// Exit code for a command line the program does not understand.
inline constexpr int kExitUsage = 2;

struct CommandLine {
    CommandAction action = CommandAction::Run;
    /// For Fail: the whole message for the standard error, ending in a line break.
    std::string sError;
    /// --verbose: the developer trace writes to the standard error.
    bool bVerbose = false;
    /// The arguments that are not Talvex's own, in their order.
    std::vector<std::string> vsOthers;
};

/// Reads the arguments after the program's name. The first of Talvex's own options
/// decides the action; --verbose only goes with it. From "--" on (kept in vsOthers) nothing is
/// Talvex's option.
CommandLine ReadCommandLine(const std::vector<std::string>& vsArgs);

/// The answer for arguments that nobody took: Fail, naming the first of them (Run when
/// nothing, or only "--", is left).
CommandLine RefuseArguments(const std::vector<std::string>& vsLeft);

/// Checks, before the toolkit starts, that every argument not Talvex's own is one of
/// the toolkit's standard options (with its value where it takes one). Run when all
/// are; otherwise Fail, naming the first that is not, as RefuseArguments would. The
/// toolkit could not start without a display, so an unknown option must be refused
/// before it is asked.
CommandLine CheckToolkitArguments(const std::vector<std::string>& vsOthers);

/// The usage text of --help, built from the option table.
std::string HelpText();

/// "talvex 1.1.0" and a line break.
std::string VersionLine();

}  // namespace talvex::app
