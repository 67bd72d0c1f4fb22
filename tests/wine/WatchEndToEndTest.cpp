// The watch under Wine (--watch): the real executable stays after its look, looks again about a
// second after Windows rearranged the screens (Wine shows no Kiv, so each look finds none), holds
// the single-instance lock all the while, and ends with its line when the session ends or when it is
// asked to close.
#include "ToolRunner.h"

#include "tests/support/Files.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

namespace {

using e2e::Box;
using e2e::ToolProcess;

const std::string kStartLines =
    "App start at: (Sun|Mon|Tue|Wed|Thu|Fri|Sat) [A-Z][a-z]{2} [ 1-3][0-9] [0-9:]{8} [0-9]{4}\r\n\r\n";
// Wine shows one screen without a Kiv: the first pass, in short.
const std::string kWinePass = "Searching for Monitor Screens\r\n(.*\r\n)*Detected 1 Screen\r\nDone\r\n";
const std::string kWatching = "Watching the screens until the session ends\r\n";
const std::string kLook = "Looked at the screens again: no Kiv is attached\r\n";

int lookCount(const std::string& log) {
    int count = 0;
    for (std::size_t at = log.find(kLook); at != std::string::npos; at = log.find(kLook, at + 1)) {
        ++count;
    }
    return count;
}

// Waits up to ten seconds for the look after `count` looks; false when none came.
bool waitForLook(const std::string& log, int count) {
    const ULONGLONG deadline = GetTickCount64() + 10000;
    while (lookCount(readFile(log)) <= count) {
        if (GetTickCount64() > deadline) {
            return false;
        }
        Sleep(20);
    }
    return true;
}

TEST(WatchEndToEnd, LooksASecondAfterEachRearrangementAndOnlyThen) {
    const TemporaryFolder folder("watch");
    const std::string log = folder.file("run.log");
    ToolProcess tool({"-t", "0", "--watch", "-l", log});
    ASSERT_TRUE(e2e::waitForText(log, kWatching)) << readFile(log);
    Sleep(3000);
    EXPECT_EQ(lookCount(readFile(log)), 0) << "no look without a notice: no timer";

    // A second start meanwhile finds the single-instance lock held.
    const e2e::ToolRun second = e2e::runTool({"-t", "0", "-l", folder.file("second.log")}, Box::NotExpected);
    EXPECT_EQ(second.exitCode, 1u);

    int looks = 0;
    for (const std::vector<std::string>& notice : {std::vector<std::string>{}, std::vector<std::string>{"resume"}}) {
        const ULONGLONG sent = GetTickCount64();
        EXPECT_EQ(ChildProcess(programBesideTests("broadcast_display_change"), notice).waitForExit(), 0);
        ASSERT_TRUE(waitForLook(log, looks)) << readFile(log);
        const ULONGLONG looked = GetTickCount64();
        EXPECT_GE(looked, sent + 950) << "the look waits for the settle second";
        EXPECT_LT(looked, sent + 3000) << "the look follows the notice";
        ++looks;
        Sleep(2000);
        EXPECT_EQ(lookCount(readFile(log)), looks) << "one look per notice";
    }

    EXPECT_EQ(ChildProcess(programBesideTests("send_session_end"), {}).waitForExit(), 0);
    const e2e::ToolRun run = tool.finish(Box::NotExpected);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(
        std::regex_match(readFile(log), std::regex(kStartLines + kWinePass + kWatching + kLook + kLook +
                                                   "The session is ending, no more changes will be performed\r\n")))
        << readFile(log);
}

struct Ending {
    const char* name;
    std::vector<std::string> how;  // send_session_end's argument
    const char* line;
};

void PrintTo(const Ending& ending, std::ostream* os) { *os << ending.name; }

class WatchEnds : public ::testing::TestWithParam<Ending> {};

// A sign-out, the Restart Manager that closes the tool for an upgrade or a removal, and WM_CLOSE
// each end the watch at once with their line and exit code 0.
TEST_P(WatchEnds, AtOnceWithItsLine) {
    const Ending& ending = GetParam();
    const TemporaryFolder folder(std::string("watch-ends-") + ending.name);
    const std::string log = folder.file("run.log");
    ToolProcess tool({"-t", "0", "--watch", "-l", log});
    ASSERT_TRUE(e2e::waitForText(log, kWatching)) << readFile(log);
    EXPECT_EQ(ChildProcess(programBesideTests("send_session_end"), ending.how).waitForExit(), 0);
    const ULONGLONG told = GetTickCount64();
    const e2e::ToolRun run = tool.finish(Box::NotExpected);
    EXPECT_LT(GetTickCount64(), told + 3000) << "ends at once";
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(std::regex_match(readFile(log),
                                 std::regex(kStartLines + kWinePass + kWatching + ending.line + std::string("\r\n"))))
        << readFile(log);
}

INSTANTIATE_TEST_SUITE_P(
    WatchEndToEnd, WatchEnds,
    ::testing::Values(
        Ending{"SignOut", {}, "The session is ending, no more changes will be performed"},
        Ending{"RestartManager", {"closeapp"}, "The tool was asked to close, no more changes will be performed"},
        Ending{"Close", {"close"}, "The tool was asked to close, no more changes will be performed"}),
    [](const ::testing::TestParamInfo<Ending>& test) { return std::string(test.param.name); });

}  // namespace
