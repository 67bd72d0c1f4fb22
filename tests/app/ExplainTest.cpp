// Where the report of --explain goes. Host only: the test points the process's own standard output and
// standard error elsewhere for the call.
#ifndef _WIN32
#include "app/Explain.h"

#include "tests/support/Files.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// Points a standard stream's file descriptor at a file for its lifetime; an empty path closes it.
class StreamTo {
public:
    StreamTo(int stream, const std::string& path)
        : stream_(stream),
          saved_(dup(stream)),
          file_(path.empty() ? -1 : open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600)) {
        std::fflush(nullptr);
        if (file_ == -1) {
            close(stream_);
        } else {
            dup2(file_, stream_);
        }
    }
    ~StreamTo() {
        std::fflush(nullptr);
        dup2(saved_, stream_);
        close(saved_);
        if (file_ != -1) {
            close(file_);
        }
    }
    StreamTo(const StreamTo&) = delete;
    StreamTo& operator=(const StreamTo&) = delete;

private:
    int stream_;
    int saved_;
    int file_;
};

// The redirected standard output takes it; otherwise the parent's console (on the host the file that
// SIMULATED_CONSOLE names); otherwise an information box (on the host written to standard error). An
// open log file gets it too. The exit code is the report's outcome.
TEST(Explain, TheReportGoesToTheRedirectedOutputOrTheConsoleOrABox) {
    struct Case {
        const char* where;
        const char* output;  // "": none, as a program started from Explorer has
        bool console;
        bool log;
    };
    const Case cases[] = {
        {"the redirected standard output", "output.txt", true, true},
        {"the console", "/dev/null", true, false},  // a character device, as a console is
        {"a box", "/dev/null", false, false},
        {"a box, without standard output", "", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.where);
        const bool redirected = c.output == std::string("output.txt");
        const TemporaryFolder folder("explain");
        const std::string console = folder.file("console.txt");
        const std::string errors = folder.file("errors.txt");
        const std::string log = folder.file("explain.log");
        if (c.console) {
            ::setenv("SIMULATED_CONSOLE", console.c_str(), 1);
        }
        orvi::LogFile logFile;
        if (c.log) {
            logFile.open(log);
        }
        std::ostringstream output;
        int exitCode = -1;
        {
            const StreamTo err(STDERR_FILENO, errors);  // first: a closed standard output's number stays free
            const std::string where = c.output;
            const StreamTo out(STDOUT_FILENO, where.empty() || where[0] == '/' ? where : folder.file(where));
            exitCode = orvi::runExplain(
                [](std::ostream& report) {
                    report << "report\n";
                    return orvi::Explained::NotNow;
                },
                logFile, output);
        }
        ::unsetenv("SIMULATED_CONSOLE");
        EXPECT_EQ(exitCode, 3);
        EXPECT_EQ(output.str(), redirected ? "report\n" : "");
        EXPECT_EQ(readFile(console), !redirected && c.console ? "report\n" : "");
        EXPECT_EQ(readFile(errors), !redirected && !c.console
                                        ? "[message box: SetPrimaryKiv --explain, icon information]\nreport\n\n"
                                          "[end of message box]\n"
                                        : "");
        EXPECT_EQ(readFile(log), c.log ? "report\n" : "");
    }
}

}  // namespace
#endif
