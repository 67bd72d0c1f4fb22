// A program that a test runs as a child process. Its standard input is a pipe that the test closes;
// the standard streams that its setup names go into one pipe that the test reads, the others stay
// the test program's own. Every wait on the child is bounded: a child that does not answer or end
// in time fails the current test, saying what was waited for, instead of holding the test up until
// ctest's time-out.
#pragma once

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#ifdef _WIN32
#include "platform/Win32.h"
#else
#include <sys/types.h>
#endif

// Which of a child's standard streams go into the pipe that the test reads.
enum class Piped { Output, Error, OutputAndError };

struct ChildSetup {
    Piped piped = Piped::Output;
#ifndef _WIN32
    // Variables for the child, each in place of an inherited one of its name; an empty value takes
    // the inherited one away.
    std::vector<std::pair<std::string, std::string>> environment;
#endif
};

class ChildProcess {
public:
#ifdef _WIN32
    // Under Wine a process start alone can take seconds.
    static constexpr std::chrono::seconds kAnswerTime{30};
#else
    static constexpr std::chrono::seconds kAnswerTime{10};
#endif

    // Starts `program` with `arguments`, both UTF-8 (on Windows the child gets the UTF-16 command
    // line, so letters beyond the code page pass; an argument with a blank is quoted on it, and none
    // may hold a quote). A start failure fails the current test; the child then
    // counts as ended, with exit code -1 and no output.
    ChildProcess(const std::string& program, const std::vector<std::string>& arguments, const ChildSetup& setup = {});
    // Ends its input and gives it a few seconds to end; a child still running then is killed.
    ~ChildProcess();

    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // The next line of its piped output without the line feed; "<end of output>" when the pipe
    // closed first. After `limit` the test fails and "<no answer in time>" is returned.
    std::string readLine(std::chrono::milliseconds limit = kAnswerTime);
    // All its piped output until the pipe closes; after `limit` the test fails and what came so far
    // is returned.
    std::string readToEnd(std::chrono::milliseconds limit = kAnswerTime);
    // Closes its standard input.
    void endInput();
    // Waits up to `limit` for its end and returns its exit code (on the host 128 + the signal when
    // a signal ended it). A child still running then fails the test, is killed, and gives -1.
    int waitForExit(std::chrono::milliseconds limit = kAnswerTime);
    // Whether it has ended, without waiting.
    bool hasEnded();
    // Its process id; 0 when it did not start.
    unsigned long id() const;

private:
    enum class Read { Data, End, TimedOut };
    Read readMore(std::chrono::steady_clock::time_point deadline);
    // Whether it ended within `limit`; its exit code is then in exitCode_.
    bool endedWithin(std::chrono::milliseconds limit);
    void kill();

    std::string name_;  // the program and its arguments, for failure messages
    std::string pending_;
    bool exited_ = false;
    int exitCode_ = -1;
#ifdef _WIN32
    PROCESS_INFORMATION process_ = {};
    HANDLE input_ = nullptr;
    HANDLE output_ = nullptr;
#else
    pid_t process_ = 0;
    int input_ = -1;
    int output_ = -1;
#endif
};

// The path (UTF-8) of a program built into the test program's own folder ("<name>.exe" on Windows).
std::string programBesideTests(const std::string& name);
