#include "app/Application.h"

#include "util/GlobalNamedMutex.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <sstream>
#include <thread>

namespace {

constexpr std::int64_t kSecond = 1000000000;

class SteppingClock final : public orvi::Clock {
public:
    std::int64_t nowNanoseconds() override { return now; }
    void sleepMilliseconds(std::uint32_t milliseconds) override { now += std::int64_t{milliseconds} * 1000000; }
    std::int64_t now = 0;
};

struct ToolRun {
    std::ostringstream log;
    SteppingClock clock;
    int passes = 0;
    int findOnPass = 0;  // 0: never

    int run(std::int64_t maxWait) {
        const orvi::StartupSettings settings{maxWait, log};
        return orvi::runTool(settings, clock, [this](std::ostream& passLog) {
            EXPECT_EQ(&passLog, &log);
            return ++passes == findOnPass;
        });
    }
};

// Holds the single-instance lock on another thread, which the lock tells apart from ours as it
// tells apart another process, until release() is called.
class OtherInstance {
public:
    OtherInstance()
        : thread_([this] {
              auto mutex = orvi::util::GlobalNamedMutex::create("SetPrimaryKiv_single_app");
              mutex->lock();
              std::unique_lock<std::mutex> lock(guard_);
              held_ = true;
              changed_.notify_all();
              changed_.wait(lock, [this] { return released_; });
          }) {
        std::unique_lock<std::mutex> lock(guard_);
        changed_.wait(lock, [this] { return held_; });
    }
    ~OtherInstance() {
        {
            std::lock_guard<std::mutex> lock(guard_);
            released_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }

private:
    std::mutex guard_;
    std::condition_variable changed_;
    bool held_ = false;
    bool released_ = false;
    std::thread thread_;
};

TEST(RunTool, AKivFoundByTheFirstPassEndsTheRunWithNothingWritten) {
    ToolRun run;
    run.findOnPass = 1;
    EXPECT_EQ(run.run(300), 0);
    EXPECT_EQ(run.passes, 1);
    EXPECT_EQ(run.log.str(), "");
}

TEST(RunTool, NoWaitMeansExactlyOnePass) {
    ToolRun run;
    EXPECT_EQ(run.run(0), 0);
    EXPECT_EQ(run.passes, 1);
    EXPECT_EQ(run.log.str(), "");
}

TEST(RunTool, WaitsFromTheStartTimeAndGivesUpWithExitCodeZero) {
    ToolRun run;
    EXPECT_EQ(run.run(5), 0);
    EXPECT_EQ(run.passes, 2);
    EXPECT_EQ(run.clock.now, 5 * kSecond);
    EXPECT_EQ(run.log.str(),
              "Kiv device isn't found. 5s for it to apear\n"
              "Poll: Waiting for Kiv device for up to 10s\n"
              "Kiv is not connected, no more changes will be performed\n");
}

TEST(RunTool, ASecondInstanceWritesOneLineAndRunsNoPass) {
    ToolRun run;
    {
        OtherInstance other;
        EXPECT_EQ(run.run(300), 1);
    }
    EXPECT_EQ(run.passes, 0);
    EXPECT_EQ(run.log.str(), "Other instance of this application is already running\n");
}

TEST(RunTool, GivesTheSingleInstanceLockUpWhenItEnds) {
    ToolRun first;
    EXPECT_EQ(first.run(0), 0);
    std::thread other([] { EXPECT_TRUE(orvi::util::GlobalNamedMutex::create("SetPrimaryKiv_single_app")->tryLock()); });
    other.join();

    ToolRun failing;
    EXPECT_THROW(orvi::runTool(orvi::StartupSettings{0, failing.log}, failing.clock,
                               [](std::ostream&) -> bool { throw std::runtime_error("pass failed"); }),
                 std::runtime_error);
    std::thread afterFailure(
        [] { EXPECT_TRUE(orvi::util::GlobalNamedMutex::create("SetPrimaryKiv_single_app")->tryLock()); });
    afterFailure.join();
}

class ReportFailure : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = std::filesystem::temp_directory_path() / "kiv-report-failure";
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_);
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }
    std::filesystem::path folder_;
};

TEST_F(ReportFailure, WritesOneErrorLineIntoAnOpenLogFile) {
    const auto path = folder_ / "run.log";
    {
        orvi::LogFile logFile;
        logFile.open(path.string());
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(orvi::reportFailure(logFile, "Failed to lock Global Mutex: x"), 1);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << "no box";
    }
    std::ifstream in(path, std::ios::binary);
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
#ifdef _WIN32
    EXPECT_EQ(content, "ERROR: Failed to lock Global Mutex: x\r\n");  // written in text mode
#else
    EXPECT_EQ(content, "ERROR: Failed to lock Global Mutex: x\n");
#endif
}

// The host's message box stand-in writes the box to standard error; the real box is checked under
// Wine by the end-to-end tests.
#ifndef _WIN32
TEST_F(ReportFailure, ShowsAnErrorBoxWithoutAnOpenLogFile) {
    orvi::LogFile unopened;
    unopened.open((folder_ / "missing" / "run.log").string());
    orvi::LogFile none;
    for (orvi::LogFile* logFile : {&unopened, &none}) {
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(orvi::reportFailure(*logFile, "Failed to obtain current displays config"), 1);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(),
                  "[message box: ERROR, icon error]\nFailed to obtain current displays config\n[end of message box]\n");
    }
}
#endif

}  // namespace
