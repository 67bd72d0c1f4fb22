// The command line: how long to wait for a Kiv screen and where log lines go.
#pragma once

#include "app/LogFile.h"

#include <cstdint>
#include <ostream>
#include <string>
#include <variant>

namespace orvi {

struct StartupSettings {
    std::int64_t maxWait;  // seconds, never negative; 0 means: do not wait
    std::ostream& log;     // the log file or standard output; not owned
    bool watch = false;    // after the first outcome, keep the Kiv primary until the session ends
    // Only report what the tool sees and would do (app/Explain.h); -t and --watch are not looked at.
    bool explain = false;
};

enum class BoxIcon { Information, Error };

// The message box to show before the process ends with exitCode (help or a command-line error).
struct CommandLineExit {
    BoxIcon icon;
    std::string title;
    std::string text;
    int exitCode;
};

// Parses the command line without showing anything or ending the process. A command line the option
// library cannot read, or one with a word that is neither an option nor an option's value, is wrong
// even beside `--help`; otherwise `--help` wins before anything else is looked at; a `--log` path is
// opened (into logFile) and gets its start line before `--max-wait` is checked, so a rejected wait
// leaves the start line in the file. An unopenable log
// file is reported on standardError and logging goes to standardOutput. Never throws for any
// argument vector (only std::bad_alloc).
std::variant<StartupSettings, CommandLineExit> readCommandLine(int argc, const char* const* argv, LogFile& logFile,
                                                               std::ostream& standardOutput,
                                                               std::ostream& standardError);

// readCommandLine on the process's own streams and log file. Help and command-line errors are
// shown in a message box, after which the process ends (exit code 0 for help, 1 for an error); an
// error is reported as an event before its box.
StartupSettings parseCommandLine(int argc, const char* const* argv);

}  // namespace orvi
