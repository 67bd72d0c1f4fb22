// The watch's registration to be started again after an installer closed it (RegisterApplicationRestart).
// Windows Installer's Restart Manager closes a running program whose file an upgrade replaces and,
// once the install is done, starts again those that registered so, with the command line they gave.
//
// Two implementations of registerForRestart exist, chosen at link time like the event log:
// platform/RealRestartRegistration.cpp (kernel32, Windows only, what ships) and the recording stand-in
// simulation/RecordedRestartRegistration.cpp, which the tests and the host executable link.
#pragma once

#include <string_view>

namespace orvi::platform {

// Registers this process to be started again with the arguments of its own command line (without the
// program's name), only by a restart that Windows Installer's Restart Manager makes: not after a
// crash, a hang or a reboot (RESTART_NO_CRASH | RESTART_NO_HANG | RESTART_NO_REBOOT). True when
// Windows took it. Never throws; a registration refused (or a command line longer than Windows keeps)
// leaves the run as it is.
bool registerForRestart() noexcept;

// What follows the program's name in a command line as Windows gives it (GetCommandLineW): the name
// is a quoted text up to the next quote, or the text up to the first blank or tab; the blanks and
// tabs after it are passed over.
template <typename Char>
std::basic_string_view<Char> argumentsAfterProgramName(std::basic_string_view<Char> commandLine) {
    std::size_t end = 0;
    if (!commandLine.empty() && commandLine.front() == Char('"')) {
        const std::size_t quote = commandLine.find(Char('"'), 1);
        end = quote == commandLine.npos ? commandLine.size() : quote + 1;
    } else {
        while (end < commandLine.size() && commandLine[end] != Char(' ') && commandLine[end] != Char('\t')) {
            ++end;
        }
    }
    while (end < commandLine.size() && (commandLine[end] == Char(' ') || commandLine[end] == Char('\t'))) {
        ++end;
    }
    return commandLine.substr(end);
}

}  // namespace orvi::platform
