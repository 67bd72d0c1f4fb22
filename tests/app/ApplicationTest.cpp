#include "app/Application.h"

#include "simulation/RecordedEventLog.h"
#include "tests/support/Files.h"
#include "tests/support/FlushedLog.h"
#include "tests/support/MutexTestSupport.h"
#include "tests/support/TestThread.h"
#include "util/GlobalNamedMutex.h"

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using orvi::platform::EventType;
using orvi::simulation::RecordedEvent;

constexpr std::int64_t kSecond = 1000000000;
constexpr char kSingleInstance[] = "SetPrimaryKiv_single_app";

// A clock that moves only when slept on or when a pass takes time. A person watching the log file
// while the tool sleeps must see every line written before: each sleep checks that none is held back.
class SteppingClock final : public orvi::Clock {
public:
    explicit SteppingClock(const FlushedLog& log) : log_(log) {}
    std::int64_t nowNanoseconds() override { return now; }
    void sleepMilliseconds(std::uint32_t milliseconds) override {
        EXPECT_EQ(log_.unflushed(), "") << "written but not flushed before the wait";
        now += std::int64_t{milliseconds} * 1000000;
    }
    std::int64_t now = 0;

private:
    const FlushedLog& log_;
};

struct RunCase {
    const char* name;
    std::int64_t maxWait;
    int findOnPass;               // 0: never
    std::int64_t firstPassTakes;  // seconds, as when it waited for another tool's family lock
    bool otherInstance;           // another instance holds the single-instance lock
    int exitCode;
    std::vector<double> passesAt;  // when each pass started, in seconds after the start
    std::int64_t endsAt;           // seconds
    std::string log;
    orvi::KivFinding finding;  // what the pass that finds the Kiv did
    RecordedEvent event;       // the run's one event
};

void PrintTo(const RunCase& run, std::ostream* out) { *out << run.name; }

const std::string kWaitLines =
    "Kiv device isn't found. 5s for it to apear\n"
    "Poll: Waiting for Kiv device for up to 10s\n"
    "Kiv is not connected, no more changes will be performed\n";

const orvi::KivFinding kVarelMadePrimary{true, "Varel", "\\\\.\\DISPLAY3 (Varel Kiv)"};
const RecordedEvent kNoKivAfterFiveSeconds{EventType::Information, 4, "No Kiv found within the wait of 5 s"};

const RunCase kRuns[] = {
    {"AKivFoundByTheFirstPassEndsTheRunWithNothingWritten",
     300,
     1,
     0,
     false,
     0,
     {0},
     0,
     "",
     kVarelMadePrimary,
     {EventType::Information, 1, "Made the Kiv the primary display: the Varel on \\\\.\\DISPLAY3 (Varel Kiv)"}},
    {"AKivFoundByAPoll",
     300,
     2,
     0,
     false,
     0,
     {0, 10},
     10,
     "Kiv device isn't found. 300s for it to apear\nPoll: Waiting for Kiv device for up to 10s\n",
     {false, "Pellun", ""},
     {EventType::Information, 2, "The Kiv was the primary display already (Pellun); nothing changed"}},
    {"NoWaitMeansExactlyOnePass",
     0,
     0,
     0,
     false,
     0,
     {0},
     0,
     "",
     {},
     {EventType::Information, 3, "No Kiv found; told not to wait"}},
    {"WaitsFromTheStartTimeAndGivesUpWithExitCodeZero",
     5,
     0,
     0,
     false,
     0,
     {0, 5},
     5,
     kWaitLines,
     {},
     kNoKivAfterFiveSeconds},
    // The deadline counts from before the first pass, not from its end.
    {"AFirstPassThatWaitedCountsTowardsTheDeadline",
     5,
     0,
     3,
     false,
     0,
     {0, 5},
     5,
     kWaitLines,
     {},
     kNoKivAfterFiveSeconds},
    {"ASecondInstanceWritesOneLineAndRunsNoPass",
     300,
     1,
     0,
     true,
     1,
     {},
     0,
     "Other instance of this application is already running\n",
     {},
     {EventType::Information, 5, "Another instance was running already; this one changed nothing"}},
};

class RunTool : public ::testing::TestWithParam<RunCase> {};

TEST_P(RunTool, Runs) {
    const RunCase& run = GetParam();
    FlushedLog text;
    std::ostream log(&text);
    SteppingClock clock(text);
    std::unique_ptr<orvi::util::GlobalNamedMutex> otherInstance;
    if (run.otherInstance) {
        otherInstance = orvi::util::GlobalNamedMutex::create(kSingleInstance);
        ASSERT_TRUE(otherInstance->tryLock());
    }
    std::vector<double> passesAt;
    int exitCode = -1;
    orvi::simulation::forgetRecordedEvents();
    // The lock tells this thread apart from the tool's as it tells apart another process.
    runOnAnotherThread("the tool's run", [&] {
        exitCode = orvi::runTool(orvi::StartupSettings{run.maxWait, log}, clock,
                                 [&](std::ostream& passLog, orvi::KivFinding* finding) {
                                     EXPECT_EQ(&passLog, &log);
                                     passesAt.push_back(static_cast<double>(clock.now) / kSecond);
                                     if (passesAt.size() == 1) {
                                         clock.now += run.firstPassTakes * kSecond;
                                     }
                                     if (static_cast<int>(passesAt.size()) != run.findOnPass) {
                                         return false;
                                     }
                                     *finding = run.finding;
                                     return true;
                                 });
    });
    EXPECT_EQ(exitCode, run.exitCode);
    EXPECT_EQ(passesAt, run.passesAt);
    EXPECT_EQ(clock.now, run.endsAt * kSecond);
    EXPECT_EQ(text.flushed(), run.log);
    EXPECT_EQ(orvi::simulation::recordedEvents(), std::vector<RecordedEvent>{run.event});
}

INSTANTIATE_TEST_SUITE_P(, RunTool, ::testing::ValuesIn(kRuns),
                         [](const ::testing::TestParamInfo<RunCase>& run) { return std::string(run.param.name); });

TEST_F(RunTool, GivesTheSingleInstanceLockUpWhenItEnds) {
    FlushedLog text;
    std::ostream log(&text);
    SteppingClock clock(text);
    EXPECT_EQ(
        orvi::runTool(orvi::StartupSettings{0, log}, clock, [](std::ostream&, orvi::KivFinding*) { return false; }), 0);
    EXPECT_TRUE(anotherThreadCanTake(kSingleInstance));

    EXPECT_THROW(
        orvi::runTool(orvi::StartupSettings{0, log}, clock,
                      [](std::ostream&, orvi::KivFinding*) -> bool { throw std::runtime_error("pass failed"); }),
        std::runtime_error);
    EXPECT_TRUE(anotherThreadCanTake(kSingleInstance));
}

class ReportFailure : public ::testing::Test {
protected:
    const TemporaryFolder folder_{"report-failure"};
};

TEST_F(ReportFailure, WritesOneErrorLineIntoAnOpenLogFile) {
    const std::string path = folder_.file("run.log");
    {
        orvi::LogFile logFile;
        logFile.open(path);
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(orvi::reportFailure(logFile, "Failed to lock Global Mutex: x"), 1);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << "no box";
    }
    const std::string content = readFile(path);
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
    unopened.open((folder_.path() / "missing" / "run.log").string());
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
