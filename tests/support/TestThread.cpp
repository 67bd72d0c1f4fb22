#include "tests/support/TestThread.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <utility>

TestThread::TestThread(std::function<void()> work) {
    std::packaged_task<void()> task(std::move(work));
    done_ = task.get_future();
    thread_ = std::thread(std::move(task));
}

TestThread::~TestThread() {
    if (!thread_.joinable()) {
        return;
    }
    try {
        join("a thread of the test to end");
    } catch (const std::exception& error) {
        ADD_FAILURE() << "a thread of the test threw: " << error.what();
    }
}

void TestThread::join(const std::string& what, std::chrono::milliseconds limit) {
    if (done_.wait_for(limit) != std::future_status::ready) {
        ADD_FAILURE() << "waited " << std::chrono::duration_cast<std::chrono::seconds>(limit).count()
                      << " s in vain for " << what;
        std::fflush(stdout);
        std::fflush(stderr);
        std::_Exit(1);
    }
    thread_.join();
    done_.get();
}

void runOnAnotherThread(const std::string& what, std::function<void()> work) { TestThread(std::move(work)).join(what); }
