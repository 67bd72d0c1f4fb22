// The whole tool under Wine: one pass over Wine's desktop, the wait, the single-instance and family
// locks, and where failures are reported.
#include "ToolRunner.h"

#include "tests/support/Files.h"
#include "tests/support/MutexTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

namespace {

using e2e::Box;
using e2e::runTool;
using e2e::ToolProcess;

// Wine shows one screen, with no Kiv: what one scan pass logs for it.
const std::string kWinePass =
    "Searching for Monitor Screens\r\n"
    "Getting target device info...\r\n"
    "Retrieved target device information:\r\n"
    "  EDID Product Code ID: 0x0\r\n"
    "  Friendly Name: [^\r\n]*\r\n"
    "  Device Path: [^\r\n]*\r\n"
    "found 1 screens\r\n"
    "Iterating Screen with display name: [^\r\n]*device name: \\\\\\\\\\.\\\\DISPLAY1\r\n"
    "Current device USB ID: VID_0000&PID_0000, Comparing with Varel: VID_17E9&PID_FF13\r\n"
    "pellun edid: 4233, Comparing with: 0\r\n"
    "Detected 1 Screen\r\n"
    "Done\r\n";

const std::string kStartLines =
    "App start at: (Sun|Mon|Tue|Wed|Thu|Fri|Sat) [A-Z][a-z]{2} [ 1-3][0-9] [0-9:]{8} [0-9]{4}\r\n\r\n";

std::string inTextMode(const std::string& text) {
    std::string stored;
    for (const char c : text) {
        stored += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    return stored;
}

// Each run appends its start line and its pass to the log, also in the folder of a user whose name
// has letters beyond the system's code page.
TEST(EntryEndToEnd, OnePassOverWinesDesktopIntoAnyUsersLog) {
    ASSERT_EQ(GetACP(), 1252u) << "the Western code page, which lacks most of these letters";
    const TemporaryFolder users("one-pass");
    for (const char* name : {"plain", "Юля", "张伟", "Zoë"}) {
        const std::string log = e2e::folderIn(users, name) + "SetPrimaryKiv.log";
        for (int run = 1; run <= 2; ++run) {
            EXPECT_EQ(runTool({"-t", "0", "-l", log}, Box::NotExpected).exitCode, 0u) << name;
        }
        EXPECT_TRUE(
            std::regex_match(e2e::readUtf8Path(log), std::regex(kStartLines + kWinePass + kStartLines + kWinePass)))
            << name << ":\n"
            << e2e::readUtf8Path(log);
    }
}

TEST(EntryEndToEnd, WaitsForTheDeadlineAndGivesUp) {
    const TemporaryFolder folder("wait");
    const std::string log = folder.file("run.log");
    const ULONGLONG started = GetTickCount64();
    const auto run = runTool({"-t", "3", "-l", log}, Box::NotExpected);
    const ULONGLONG took = GetTickCount64() - started;
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_GE(took, 3000u);
    EXPECT_LT(took, 15000u);
    EXPECT_TRUE(std::regex_match(readFile(log),
                                 std::regex(kStartLines + kWinePass +
                                            "Kiv device isn't found. 3s for it to apear\r\n"
                                            "Poll: Waiting for Kiv device for up to 10s\r\n" +
                                            kWinePass + "Kiv is not connected, no more changes will be performed\r\n")))
        << readFile(log);
}

TEST(EntryEndToEnd, ASecondInstanceGivesUpWhileTheFirstWaits) {
    const TemporaryFolder folder("second");
    const std::string log = folder.file("run.log");
    ToolProcess first({"-t", "4", "-l", log});
    ASSERT_TRUE(e2e::waitForText(log, "Poll: Waiting")) << readFile(log);
    const auto second = runTool({"-t", "0", "-l", log}, Box::NotExpected);
    EXPECT_EQ(second.exitCode, 1u);
    const auto firstRun = first.finish(Box::NotExpected);
    EXPECT_EQ(firstRun.exitCode, 0u);
    // The second run's start line and its one line sit inside the first run's wait.
    EXPECT_TRUE(std::regex_match(readFile(log),
                                 std::regex(kStartLines + kWinePass +
                                            "Kiv device isn't found. 4s for it to apear\r\n"
                                            "Poll: Waiting for Kiv device for up to 10s\r\n" +
                                            kStartLines + "Other instance of this application is already running\r\n" +
                                            kWinePass + "Kiv is not connected, no more changes will be performed\r\n")))
        << readFile(log);
}

TEST(EntryEndToEnd, APassWaitsForASiblingToolThatHoldsTheFamilyLock) {
    const TemporaryFolder folder("family");
    const std::string log = folder.file("run.log");
    const HANDLE family = CreateMutexA(nullptr, TRUE, "MorvaKivDisplayApp_main");
    ASSERT_NE(family, nullptr);
    ToolProcess tool({"-t", "0", "-l", log});
    ASSERT_TRUE(e2e::waitForText(log, "Other application is performing an action - waiting for it to finish\r\n"));
    Sleep(500);
    EXPECT_EQ(readFile(log).find("Searching for Monitor Screens"), std::string::npos)
        << "the pass goes on only when the lock is free";
    ReleaseMutex(family);
    const auto run = tool.finish(Box::NotExpected);
    CloseHandle(family);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(std::regex_match(
        readFile(log),
        std::regex(kStartLines + "Other application is performing an action - waiting for it to finish\r\n" +
                   kWinePass)))
        << readFile(log);
}

struct WakeCase {
    const char* name;
    // The helper that gives the notice 3 s after the start: broadcast_display_change (WM_DISPLAYCHANGE
    // to every top-level window) or send_session_unlock (WM_WTSSESSION_CHANGE to the tool's window);
    // none: no notice.
    const char* notice;
    std::vector<int> polls;  // the announced intervals
};

void PrintTo(const WakeCase& c, std::ostream* os) { *os << c.name; }

class WakeOnDisplayChange : public ::testing::TestWithParam<WakeCase> {};

// Wall times of Wine processes come in steps of 16-50 ms, so the bounds leave room: the settle time is
// one second, and a pass that polling alone would run comes ten seconds after the start.
TEST_P(WakeOnDisplayChange, TheNextPassFollowsTheNoticeAfterASecondAndTheDeadlineStays) {
    const WakeCase& c = GetParam();
    const TemporaryFolder folder(std::string("wake-") + c.name);
    const std::string log = folder.file("run.log");
    const ULONGLONG started = GetTickCount64();
    ToolProcess tool({"-t", "40", "-l", log});
    ASSERT_TRUE(e2e::waitForText(log, "Poll: Waiting")) << readFile(log);
    Sleep(static_cast<DWORD>(started + 3000 - std::min(GetTickCount64(), started + 3000)));

    // What listens while the tool waits is a top-level window of its own that nobody sees.
    const HWND listener = FindWindowW(L"SetPrimaryKiv desktop change listener", nullptr);
    EXPECT_NE(listener, nullptr);
    EXPECT_FALSE(IsWindowVisible(listener));

    const ULONGLONG noticeStart = GetTickCount64();
    if (c.notice != nullptr) {
        EXPECT_EQ(ChildProcess(programBesideTests(c.notice), {}).waitForExit(), 0);
    }
    const ULONGLONG noticeEnd = GetTickCount64();
    // The first poll line followed by a pass's first line: the second pass has begun.
    ASSERT_TRUE(e2e::waitForText(log, "s\r\nSearching for Monitor Screens", std::chrono::seconds(30))) << readFile(log);
    const ULONGLONG secondPass = GetTickCount64();
    if (c.notice != nullptr) {
        EXPECT_GE(secondPass, noticeStart + 950) << "the pass waits for the settle time";
        EXPECT_LT(secondPass, noticeEnd + 2000) << "the pass follows the notice";
    } else {
        EXPECT_GE(secondPass, started + 9950) << "without a notice the pass waits for its poll";
    }

    const auto run = tool.finish(Box::NotExpected);
    const ULONGLONG ended = GetTickCount64();
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_GE(ended, started + 39950) << "the deadline stays where it was";
    EXPECT_LT(ended, started + 50000);
    std::string expected = kStartLines + kWinePass + "Kiv device isn't found. 40s for it to apear\r\n";
    for (const int interval : c.polls) {
        expected += "Poll: Waiting for Kiv device for up to " + std::to_string(interval) + "s\r\n" + kWinePass;
    }
    expected += "Kiv is not connected, no more changes will be performed\r\n";
    EXPECT_TRUE(std::regex_match(readFile(log), std::regex(expected))) << readFile(log);
}

// With a notice the passes run at about 4, 14, 24, 36 and 40 s; without one at 10, 20, 30 and 40 s.
INSTANTIATE_TEST_SUITE_P(EntryEndToEnd, WakeOnDisplayChange,
                         ::testing::Values(WakeCase{"Broadcast", "broadcast_display_change", {10, 10, 10, 12, 14}},
                                           WakeCase{"SessionUnlock", "send_session_unlock", {10, 10, 10, 12, 14}},
                                           WakeCase{"NoBroadcast", nullptr, {10, 10, 10, 12}}),
                         [](const ::testing::TestParamInfo<WakeCase>& test) { return std::string(test.param.name); });

// Sign-out or shutdown while the tool waits: its window allows the end and, told of it, the tool
// ends at once, with one line and exit code 0, and no further pass.
TEST(EntryEndToEnd, TheEndOfTheSessionEndsTheWaitAtOnce) {
    const TemporaryFolder folder("session-end");
    const std::string log = folder.file("run.log");
    ToolProcess tool({"-t", "300", "-l", log});
    ASSERT_TRUE(e2e::waitForText(log, "Poll: Waiting")) << readFile(log);
    EXPECT_EQ(ChildProcess(programBesideTests("send_session_end"), {}).waitForExit(), 0);
    const ULONGLONG told = GetTickCount64();
    const auto run = tool.finish(Box::NotExpected);
    EXPECT_LT(GetTickCount64(), told + 3000) << "ends at once, not at the next poll";
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(
        std::regex_match(readFile(log), std::regex(kStartLines + kWinePass +
                                                   "Kiv device isn't found. 300s for it to apear\r\n"
                                                   "Poll: Waiting for Kiv device for up to 10s\r\n"
                                                   "The session is ending, no more changes will be performed\r\n")))
        << readFile(log);
}

// A run given `-l logArgument` opens the log file at `logFile` and writes its pass into it.
void expectOnePassLogged(const std::string& logArgument, const std::string& logFile) {
    const auto run = runTool({"-t", "0", "-l", logArgument}, Box::NotExpected);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.standardError, "") << "opened";
    EXPECT_TRUE(std::regex_match(e2e::readUtf8Path(logFile), std::regex(kStartLines + kWinePass)))
        << e2e::readUtf8Path(logFile);
}

// A log path beyond MAX_PATH (260 characters) in a folder that exists.
TEST(EntryEndToEnd, ALogPathOf300CharactersIsWritten) {
    const TemporaryFolder folder("long-path");
    const std::string inside = e2e::folderIn(folder, std::string(120, 'f'));
    ASSERT_LT(inside.size(), 290u);
    const std::string log = inside + std::string(300 - inside.size() - 4, 'l') + ".log";
    ASSERT_EQ(log.size(), 300u);
    expectOnePassLogged(log, log);
}

// A short relative log path whose full path is beyond MAX_PATH: the tool started in a deep folder.
TEST(EntryEndToEnd, AShortRelativeLogPathInADeepFolderIsWritten) {
    const TemporaryFolder folder("deep-folder");
    const std::string deep = e2e::folderIn(folder, std::string(240 - folder.path().string().size() - 2, 'f'));
    ASSERT_EQ(deep.size(), 240u);
    const std::string log = std::string(36, 'l') + ".log";
    char before[MAX_PATH] = {};
    ASSERT_NE(GetCurrentDirectoryA(MAX_PATH, before), 0u);
    ASSERT_TRUE(SetCurrentDirectoryA(deep.c_str()));  // the tool starts in the test's folder
    expectOnePassLogged(log, deep + log);
    SetCurrentDirectoryA(before);
}

TEST(EntryEndToEnd, AFailureIsOneErrorLineInTheLogFile) {
    const OtherKindOfObject blocker("MorvaKivDisplayApp_main");
    const TemporaryFolder folder("error-log");
    const std::string log = folder.file("run.log");
    const auto run = runTool({"-t", "30", "-l", log}, Box::NotExpected);
    EXPECT_EQ(run.exitCode, 1u);
    const std::string error =
        "ERROR: Failed to create Global Named Mutex MorvaKivDisplayApp_main: " + e2e::systemText(ERROR_INVALID_HANDLE) +
        " (Error code: 0x6)";
    const std::string content = readFile(log);
    EXPECT_TRUE(std::regex_match(content.substr(0, content.find("\r\n\r\n") + 4), std::regex(kStartLines)))
        << "only the start line before: " << content;
    // The log is written in text mode: every line feed, also the one ending the system's text, is
    // stored after a carriage return.
    EXPECT_EQ(content.substr(content.find("\r\n\r\n") + 4), inTextMode(error + "\n"));
}

TEST(EntryEndToEnd, WithoutAnOpenLogFileAFailureIsAnErrorBox) {
    const OtherKindOfObject blocker("SetPrimaryKiv_single_app");
    const TemporaryFolder folder("error-box");
    const std::string unopenable = folder.file("missing\\run.log");
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{"-t", "0"}, {"-t", "0", "-l", unopenable}}) {
        SCOPED_TRACE(arguments.back());
        const auto run = runTool(arguments, Box::Expected);
        EXPECT_EQ(run.exitCode, 1u);
        ASSERT_TRUE(run.box.has_value());
        EXPECT_EQ(run.box->title, "ERROR");
        EXPECT_EQ(run.box->icon, "error");
        EXPECT_EQ(run.box->text, "Failed to create Global Named Mutex SetPrimaryKiv_single_app: " +
                                     e2e::systemText(ERROR_INVALID_HANDLE) + " (Error code: 0x6)");
    }
}

}  // namespace
