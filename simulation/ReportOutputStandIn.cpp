// Host stand-in for the report's ways out (platform/ReportOutput.h): standard output counts as
// redirected when it is a file, a pipe or a socket, and the console of the process that started the
// tool is the file that the environment variable SIMULATED_CONSOLE names; without it that process has
// no console.
#include "platform/ReportOutput.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <exception>
#include <fstream>

namespace orvi::platform {

bool standardOutputRedirected() {
    struct stat status {};
    if (fstat(STDOUT_FILENO, &status) != 0) {
        return false;
    }
    return S_ISREG(status.st_mode) || S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode);
}

bool writeToParentConsole(const std::string& text) noexcept {
    const char* console = std::getenv("SIMULATED_CONSOLE");
    if (console == nullptr || *console == '\0') {
        return false;
    }
    try {
        std::ofstream file(console, std::ios::binary | std::ios::app);
        file << text << std::flush;
        return static_cast<bool>(file);
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace orvi::platform
