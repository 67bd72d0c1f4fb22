// A thread of a test, waited for with a time limit, so that a wait that never ends (a mutex that is
// never let go, say) fails the test and says what it waited for instead of hanging it.
#pragma once

#include <chrono>
#include <exception>
#include <functional>
#include <future>
#include <string>
#include <thread>

class TestThread {
public:
    static constexpr std::chrono::seconds kLimit{10};

    // Runs `work` on a thread of its own at once.
    explicit TestThread(std::function<void()> work);
    // Joins it as join() does, unless that was done; what it threw then fails the test.
    ~TestThread();

    TestThread(const TestThread&) = delete;
    TestThread& operator=(const TestThread&) = delete;

    // Waits up to `limit` for the work to end and passes on what it threw. A thread still running
    // then cannot be stopped: the test fails, naming `what` was waited for, and the test program
    // ends at once with exit code 1 (each case runs in a program of its own).
    void join(const std::string& what, std::chrono::milliseconds limit = kLimit);

private:
    std::future<void> done_;
    std::thread thread_;
};

// Runs `work` on another thread and waits for it as TestThread::join does.
void runOnAnotherThread(const std::string& what, std::function<void()> work);
