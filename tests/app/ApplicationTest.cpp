#include "app/Application.h"

#include "display/DisplayConfigRefused.h"
#ifndef _WIN32
#include "simulation/FileStandIns.h"
#endif
#include "simulation/RecordedEventLog.h"
#include "simulation/RecordedRestartRegistration.h"
#include "tests/support/Files.h"
#include "tests/support/FlushedLog.h"
#include "tests/support/MutexTestSupport.h"
#include "tests/support/ProgressBound.h"
#include "tests/support/TestThread.h"
#include "util/GlobalNamedMutex.h"
#include "util/WinException.h"

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
    std::int64_t nowNanoseconds() override {
        standstill_.step(now);
        return now;
    }
    void sleepMilliseconds(std::uint32_t milliseconds) override {
        standstill_.step(now);
        EXPECT_EQ(log_.unflushed(), "") << "written but not flushed before the wait";
        now += std::int64_t{milliseconds} * 1000000;
    }
    std::int64_t now = 0;

private:
    const FlushedLog& log_;
    ProgressBound standstill_{"the clock was read or slept on without moving"};
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

// A scan pass that tells whether it found a Kiv, as a pass that ran to its end.
template <typename Pass>
orvi::LoggingScanPass passOf(Pass pass) {
    return [pass](std::ostream& log, const orvi::PassOptions& options) {
        return orvi::PassOutcome{orvi::PassEnd::Done, pass(log, options.finding)};
    };
}

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
    orvi::simulation::forgetRestartRegistrations();
    // The lock tells this thread apart from the tool's as it tells apart another process.
    runOnAnotherThread("the tool's run", [&] {
        exitCode = orvi::runTool(orvi::StartupSettings{run.maxWait, log}, clock,
                                 passOf([&](std::ostream& passLog, orvi::KivFinding* finding) {
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
                                 }));
    });
    EXPECT_EQ(exitCode, run.exitCode);
    EXPECT_EQ(passesAt, run.passesAt);
    EXPECT_EQ(clock.now, run.endsAt * kSecond);
    EXPECT_EQ(text.flushed(), run.log);
    EXPECT_EQ(orvi::simulation::recordedEvents(), std::vector<RecordedEvent>{run.event});
    EXPECT_EQ(orvi::simulation::restartRegistrations(), 0) << "only a watch is started again after an upgrade";
}

INSTANTIATE_TEST_SUITE_P(, RunTool, ::testing::ValuesIn(kRuns),
                         [](const ::testing::TestParamInfo<RunCase>& run) { return std::string(run.param.name); });

TEST_F(RunTool, GivesTheSingleInstanceLockUpWhenItEnds) {
    FlushedLog text;
    std::ostream log(&text);
    SteppingClock clock(text);
    EXPECT_EQ(orvi::runTool(orvi::StartupSettings{0, log}, clock,
                            passOf([](std::ostream&, orvi::KivFinding*) { return false; })),
              0);
    EXPECT_TRUE(anotherThreadCanTake(kSingleInstance));

    EXPECT_THROW(orvi::runTool(
                     orvi::StartupSettings{0, log}, clock,
                     passOf([](std::ostream&, orvi::KivFinding*) -> bool { throw std::runtime_error("pass failed"); })),
                 std::runtime_error);
    EXPECT_TRUE(anotherThreadCanTake(kSingleInstance));
}

// Where Windows' notices cannot be heard, the watch fails (its ERROR entry, exit code 1) after the
// run's outcome, rather than end as if the session had.
TEST_F(RunTool, AWatchThatCannotListenFails) {
    FlushedLog text;
    std::ostream log(&text);
    SteppingClock clock(text);
    orvi::simulation::forgetRecordedEvents();
    orvi::simulation::forgetRestartRegistrations();
    EXPECT_THROW(orvi::runTool(orvi::StartupSettings{0, log, true}, clock,
                               passOf([](std::ostream&, orvi::KivFinding*) { return false; })),
                 std::runtime_error);
    EXPECT_EQ(text.flushed(), "Watching the screens until the session ends\n");
    EXPECT_EQ(orvi::simulation::recordedEvents(),
              (std::vector<RecordedEvent>{{EventType::Information, 3, "No Kiv found; told not to wait"}}));
    EXPECT_EQ(orvi::simulation::restartRegistrations(), 1);
}

// A session without access to the console (locked, remote, switched away) is refused the display
// configuration: while the tool may look again, such a pass found no Kiv; a failure it is otherwise.
TEST_F(RunTool, ARefusedLookIsAPassWithoutAKivOnlyWhileTheToolMayLookAgain) {
    constexpr char kContext[] = "Failed to obtain detail for current displays config";
    const std::string refusedLine = "The display configuration cannot be read now, the tool will look again: " +
                                    orvi::util::formatWinError({ERROR_ACCESS_DENIED, kContext}) + "\n";
    struct Case {
        const char* what;
        std::int64_t maxWait;
        bool refusal;  // a refusal; otherwise the same code from another call, a failure
        int refusedPasses;
        bool throws;
        std::vector<double> passesAt;
        std::string log;
    };
    const Case cases[] = {
        {"refused at first, then found",
         30,
         true,
         1,
         false,
         {0, 10},
         refusedLine + "Kiv device isn't found. 30s for it to apear\nPoll: Waiting for Kiv device for up to 10s\n"},
        {"refused to the deadline",
         5,
         true,
         2,
         false,
         {0, 5},
         refusedLine + "Kiv device isn't found. 5s for it to apear\nPoll: Waiting for Kiv device for up to 10s\n" +
             refusedLine + "Kiv is not connected, no more changes will be performed\n"},
        {"no wait: no later look", 0, true, 1, true, {0}, ""},
        {"the same code from another call", 30, false, 1, true, {0}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FlushedLog text;
        std::ostream log(&text);
        SteppingClock clock(text);
        std::vector<double> passesAt;
        const orvi::LoggingScanPass pass = passOf([&](std::ostream&, orvi::KivFinding*) -> bool {
            passesAt.push_back(static_cast<double>(clock.now) / kSecond);
            if (static_cast<int>(passesAt.size()) > c.refusedPasses) {
                return true;
            }
            if (c.refusal) {
                throw orvi::DisplayConfigRefused(ERROR_ACCESS_DENIED, kContext);
            }
            throw orvi::util::WinException(ERROR_ACCESS_DENIED, "Failed to create Global Named Mutex x");
        });
        bool threw = false;
        try {
            EXPECT_EQ(orvi::runTool(orvi::StartupSettings{c.maxWait, log}, clock, pass), 0);
        } catch (const orvi::util::WinException&) {
            threw = true;
        }
        EXPECT_EQ(threw, c.throws);
        EXPECT_EQ(passesAt, c.passesAt);
        EXPECT_EQ(text.flushed(), c.log);
        EXPECT_TRUE(anotherThreadCanTake(kSingleInstance));
    }
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
struct UnloggedFailure {
    const char* name;
    std::string path;           // the log file's, inside the test's folder unless absolute; "": none
    unsigned earlierLostLines;  // lines written and lost (their writes fail) before the failure
    unsigned lostErrorLines;    // 1: the ERROR line's write fails too
    std::string content;        // the log file's afterwards (when it is in the folder)
    bool box;
    orvi::simulation::FailedWrite how = orvi::simulation::FailedWrite::Refused;  // how the ERROR line's write fails
};

const std::string kBox =
    "[message box: ERROR, icon error]\nFailed to obtain current displays config\n[end of message box]\n";
const std::string kErrorLine = "ERROR: Failed to obtain current displays config\n";

const UnloggedFailure kUnloggedFailures[] = {
    {"NoLogFileNamed", "", 0, 0, "", true},
    {"LogFileNotOpened", "missing/run.log", 0, 0, "", true},
    {"ErrorLineLost", "run.log", 0, 1, "", true},
    // A disk that got space again (a share that came back) takes the lines after the lost ones.
    {"EarlierLinesLost", "run.log", 2, 0, kErrorLine, false},
    {"EveryWriteFailsOnAFullDevice", "/dev/full", 0, 0, "", true},
    // A disk that filled up while the ERROR line was written: half of it is there.
    {"ErrorLineShort", "run.log", 0, 1, kErrorLine.substr(0, kErrorLine.size() / 2), true,
     orvi::simulation::FailedWrite::Short},
};

TEST_F(ReportFailure, ShowsAnErrorBoxWhenTheErrorLineReachesNoFile) {
    for (const UnloggedFailure& c : kUnloggedFailures) {
        SCOPED_TRACE(c.name);
        const bool inFolder = !c.path.empty() && c.path.front() != '/';
        const std::string path = inFolder ? folder_.file(c.name + ("-" + c.path)) : c.path;
        {
            orvi::LogFile logFile;
            if (!path.empty()) {
                std::ostream& log = logFile.open(path);
                orvi::simulation::failNextFileWrites(c.earlierLostLines);
                for (unsigned line = 0; line < c.earlierLostLines; ++line) {
                    log << "Searching for Monitor Screens" << std::endl;
                }
            }
            orvi::simulation::failNextFileWrites(c.lostErrorLines, c.how);
            ::testing::internal::CaptureStderr();
            EXPECT_EQ(orvi::reportFailure(logFile, "Failed to obtain current displays config"), 1);
            EXPECT_EQ(::testing::internal::GetCapturedStderr(), c.box ? kBox : "");
            orvi::simulation::failNextFileWrites(0);
        }
        if (inFolder) {
            EXPECT_EQ(readFile(path), c.content);
        }
    }
}
#endif

}  // namespace
