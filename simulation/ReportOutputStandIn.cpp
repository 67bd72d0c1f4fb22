// Host stand-in for the report's ways out (platform/ReportOutput.h): standard output counts as
// redirected when it is a file, a pipe or a socket, and the terminal that the tool was started from
// (/dev/tty) stands in for the parent's console.
#include "platform/ReportOutput.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace orvi::platform {
namespace {

class Terminal {
public:
    Terminal() : file_(open("/dev/tty", O_WRONLY | O_NOCTTY | O_CLOEXEC)) {}
    ~Terminal() {
        if (file_ != -1) {
            close(file_);
        }
    }
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;
    int file() const { return file_; }

private:
    int file_;
};

}  // namespace

bool standardOutputRedirected() {
    struct stat status {};
    if (fstat(STDOUT_FILENO, &status) != 0) {
        return false;
    }
    return S_ISREG(status.st_mode) || S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode);
}

bool writeToParentConsole(const std::string& text) noexcept {
    const Terminal terminal;
    if (terminal.file() == -1) {
        return false;
    }
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t written = write(terminal.file(), text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(written);
    }
    return true;
}

}  // namespace orvi::platform
