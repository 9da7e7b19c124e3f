// The program's command line: Talvex's own options from one table, the rest left for the
// toolkit.
#include "app/CommandLine.h"

#include <algorithm>
#include <string_view>

#include "engine/Version.h"

namespace talvex::app {

namespace {

struct OptionRow {
    std::string_view sShort;  // empty when the option has no short form
    std::string_view sLong;
    CommandAction action;
    std::string_view sHelp;
};

// Talvex's own options, in the order --help lists them. An option is one row here, one
// CommandAction and one case where main() acts on it; a row with Run decides nothing
// and only sets its flag.
constexpr OptionRow kOptions[] = {
    {"-h", "--help", CommandAction::ShowHelp, "Show this help and exit."},
    {"-v", "--version", CommandAction::ShowVersion, "Show the version and exit."},
    {"", "--restore", CommandAction::Restore,
     "Put back the priorities that an earlier run left changed (after a crash or a kill), "
     "then exit."},
    {"", "--verbose", CommandAction::Run,
     "Write the developer trace (errors that ended an event handler, set-up steps that "
     "failed) to the standard error."},
};

constexpr const char* kProgram = "talvex";

// The toolkit's standard options (QGuiApplication and QApplication), taken out of the
// arguments when the user interface starts; each also with two dashes.
struct ToolkitOption {
    std::string_view sName;
    bool bTakesValue;  // the next argument, or "=VALUE" joined to it
};
constexpr ToolkitOption kToolkitOptions[] = {
    {"-platform", true},      {"-platformpluginpath", true},
    {"-platformtheme", true}, {"-plugin", true},
    {"-qmljsdebugger", true}, {"-qwindowgeometry", true},
    {"-qwindowicon", true},   {"-qwindowtitle", true},
    {"-session", true},       {"-display", true},
    {"-geometry", true},      {"-style", true},
    {"-stylesheet", true},    {"-reverse", false},
    {"-widgetcount", false},  {"-nograb", false},
    {"-dograb", false},       {"-sync", false},
};

// The toolkit option an argument names, and whether its value is joined to it.
const ToolkitOption* FindToolkitOption(std::string_view sArg, bool& bJoinedValue) {
    if (sArg.size() > 2 && sArg[0] == '-' && sArg[1] == '-') sArg.remove_prefix(1);
    const std::size_t equals = sArg.find('=');
    bJoinedValue = equals != std::string_view::npos;
    const std::string_view name = sArg.substr(0, equals);
    for (const auto& option : kToolkitOptions) {
        if (option.sName == name && (option.bTakesValue || !bJoinedValue)) return &option;
    }
    return nullptr;
}

const OptionRow* FindOption(const std::string& sArg) {
    for (const auto& row : kOptions) {
        if ((!row.sShort.empty() && sArg == row.sShort) || sArg == row.sLong) return &row;
    }
    return nullptr;
}

// "--version=1": one of ours, given a value it cannot take.
const OptionRow* FindOptionWithValue(const std::string& sArg) {
    for (const auto& row : kOptions) {
        const std::size_t n = row.sLong.size();
        if (sArg.size() > n && sArg.compare(0, n, row.sLong) == 0 && sArg[n] == '=') return &row;
    }
    return nullptr;
}

std::string ErrorText(const std::string& sWhat) {
    return std::string(kProgram) + ": " + sWhat + "\nTry '" + kProgram +
           " --help' for more information.\n";
}

}  // namespace

CommandLine ReadCommandLine(const std::vector<std::string>& vsArgs) {
    CommandLine result;
    bool bDecided = false;
    bool bOptionsEnded = false;
    for (const auto& sArg : vsArgs) {
        const OptionRow* row = bOptionsEnded ? nullptr : FindOption(sArg);
        const OptionRow* withValue = bOptionsEnded || row ? nullptr : FindOptionWithValue(sArg);
        if (sArg == "--") bOptionsEnded = true;
        if (!row && !withValue) {
            result.vsOthers.push_back(sArg);
        } else if (row && row->action == CommandAction::Run) {
            result.bVerbose = true;
        } else if (!bDecided) {
            bDecided = true;
            result.action = row ? row->action : CommandAction::Fail;
            if (withValue) {
                result.sError =
                    ErrorText("option '" + std::string(withValue->sLong) + "' takes no value");
            }
        }
    }
    return result;
}

CommandLine RefuseArguments(const std::vector<std::string>& vsLeft) {
    // A leading "--" only says that no option follows; what follows is still unexpected.
    auto first = vsLeft.begin();
    const bool bAfterEnd = first != vsLeft.end() && *first == "--";
    if (bAfterEnd) ++first;
    if (first == vsLeft.end()) return {};
    const bool bOption = !bAfterEnd && first->size() > 1 && (*first)[0] == '-';
    CommandLine result;
    result.action = CommandAction::Fail;
    result.sError =
        ErrorText((bOption ? "unknown option '" : "unexpected argument '") + *first + "'");
    result.vsOthers = vsLeft;
    return result;
}

CommandLine CheckToolkitArguments(const std::vector<std::string>& vsOthers) {
    for (std::size_t i = 0; i < vsOthers.size(); ++i) {
        bool bJoinedValue = false;
        const ToolkitOption* option = FindToolkitOption(vsOthers[i], bJoinedValue);
        if (!option) {
            return RefuseArguments(std::vector<std::string>(vsOthers.begin() + i, vsOthers.end()));
        }
        if (!option->bTakesValue || bJoinedValue) continue;
        if (i + 1 == vsOthers.size()) {
            CommandLine result;
            result.action = CommandAction::Fail;
            result.sError = ErrorText("option '" + vsOthers[i] + "' needs a value");
            result.vsOthers = vsOthers;
            return result;
        }
        ++i;  // the value, whatever it looks like
    }
    return {};
}

std::string HelpText() {
    const auto names = [](const OptionRow& row) {
        return (row.sShort.empty() ? std::string("    ") : std::string(row.sShort) + ", ") +
               std::string(row.sLong);
    };
    std::size_t width = 0;
    for (const auto& row : kOptions) width = std::max(width, names(row).size());
    std::string text = std::string("Usage: ") + kProgram +
                       " [OPTION...]\n"
                       "Raises the priority of the program in the foreground window and lowers\n"
                       "busy background processes. Talvex stays in the notification area until\n"
                       "you choose Exit in its menu.\n\n"
                       "Options:\n";
    for (const auto& row : kOptions) {
        std::string line = names(row);
        line.resize(width, ' ');
        text += "  " + line + "  " + std::string(row.sHelp) + "\n";
    }
#ifndef _WIN32
    // Only the Qt build has a toolkit that takes options of its own.
    text +=
        "\nQt's standard options are accepted too, for example -platform NAME, -display\n"
        "DISPLAY, -style STYLE or -reverse. See talvex(1) for more.\n";
#endif
    return text;
}

std::string VersionLine() {
    return std::string(kProgram) + " " + VersionText() + "\n";
}

}  // namespace talvex::app
