// The mutex tests' helper program (mutex_holder, from the test program's own folder) as a child
// process, with its standard input and output as pipes to the test.
#pragma once

#include <chrono>
#include <string>

#ifdef _WIN32
#include "platform/Win32.h"
#else
#include <sys/types.h>
#endif

class ChildProcess {
public:
    // Starts "mutex_holder <command> <mutexName>"; a start failure fails the current test.
    ChildProcess(const std::string& command, const std::string& mutexName);
    // Ends its input and gives it a moment to end; a child that is still running is killed.
    ~ChildProcess();

    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // The next line of its output without the line feed; "<end of output>" when it closed its output
    // first, "<no answer in time>" after half a minute.
    std::string readLine();
    // All its output until it closes it; "<no answer in time>" is appended after half a minute.
    std::string readToEnd();
    // Closes its standard input, which it reads as its signal to finish.
    void endInput();
    // Waits for its end; its exit code.
    int waitForExit();

private:
    enum class Read { Data, End, TimedOut };
    Read readMore(std::chrono::steady_clock::time_point deadline);
    void endAndReap();

    std::string pending_;
    bool exited_ = false;
#ifdef _WIN32
    HANDLE process_ = nullptr;
    HANDLE input_ = nullptr;
    HANDLE output_ = nullptr;
#else
    pid_t process_ = -1;
    int input_ = -1;
    int output_ = -1;
#endif
};

// Runs the helper with the command and returns all it wrote.
std::string answerOfAnotherProcess(const std::string& command, const std::string& mutexName);
