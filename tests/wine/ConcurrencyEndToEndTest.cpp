// The tool beside other processes under Wine: two instances started together, and sibling tools
// of the family (mutex_holder, from the same folder) that hold the family lock.
#include "ToolRunner.h"

#include "tests/support/Files.h"
#include "tests/support/MutexTestSupport.h"
#include "tests/support/Text.h"

#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <string>

namespace {

using e2e::Box;
using e2e::ToolProcess;

constexpr char kFamilyMutex[] = "MorvaKivDisplayApp_main";
const std::string kWaitingLine = "Other application is performing an action - waiting for it to finish\r\n";
const std::string kStartLines =
    "App start at: (Sun|Mon|Tue|Wed|Thu|Fri|Sat) [A-Z][a-z]{2} [ 1-3][0-9] [0-9:]{8} [0-9]{4}\r\n\r\n";
// One pass over Wine's desktop, which has one screen and no Kiv, from its first line to its last.
const std::string kOnePass = "Searching for Monitor Screens\r\n(?:[^\r\n]*\r\n)*?Detected 1 Screen\r\nDone\r\n";

TEST(ConcurrencyEndToEnd, OfTwoInstancesStartedTogetherWithOneLogExactlyOneRuns) {
    const TemporaryFolder folder("together");
    const std::string log = folder.file("run.log");
    // A sibling tool holds the family lock: the instance that takes the single-instance lock keeps it,
    // waiting in its first pass, until the other has started and given up, however slowly Wine
    // starts either.
    ChildProcess sibling = mutexHolder("hold", kFamilyMutex);
    ASSERT_EQ(sibling.readLine(), "locked");
    ToolProcess first({"-t", "2", "-l", log});
    ToolProcess second({"-t", "2", "-l", log});
    ASSERT_TRUE(e2e::waitForText(log, "Other instance of this application is already running\r\n")) << readFile(log);
    ASSERT_TRUE(e2e::waitForText(log, kWaitingLine)) << readFile(log);
    sibling.endInput();
    EXPECT_EQ(sibling.readLine(), "released");
    EXPECT_EQ(sibling.waitForExit(), 0);
    const e2e::ToolRun firstRun = first.finish(Box::NotExpected);
    const e2e::ToolRun secondRun = second.finish(Box::NotExpected);

    EXPECT_TRUE((firstRun.exitCode == 0 && secondRun.exitCode == 1) ||
                (firstRun.exitCode == 1 && secondRun.exitCode == 0))
        << "exit codes " << firstRun.exitCode << " and " << secondRun.exitCode;
    const std::string content = readFile(log);
    EXPECT_EQ(countOf(content, "App start at: "), 2) << content;
    EXPECT_EQ(countOf(content, "Other instance of this application is already running\r\n"), 1) << content;
    EXPECT_EQ(countOf(content, kWaitingLine), 1) << content;
    // The one that runs looks, waits for the deadline, looks again and gives up.
    EXPECT_EQ(countOf(content, "Searching for Monitor Screens\r\n"), 2) << content;
    EXPECT_EQ(countOf(content, "Kiv device isn't found. 2s for it to apear\r\n"), 1) << content;
    EXPECT_EQ(countOf(content, "Kiv is not connected, no more changes will be performed\r\n"), 1) << content;
    // Both start lines come before the lock is tried, and the one that runs has taken it by then.
    EXPECT_GT(content.find("Other instance"), content.rfind("App start at: ")) << content;
}

TEST(ConcurrencyEndToEnd, APassWaitsForASiblingToolThatHoldsTheFamilyLockUntilItLetsGo) {
    const TemporaryFolder folder("sibling-holds");
    const std::string log = folder.file("run.log");
    ChildProcess sibling = mutexHolder("hold", kFamilyMutex);
    ASSERT_EQ(sibling.readLine(), "locked");

    ToolProcess tool({"-t", "0", "-l", log});
    ASSERT_TRUE(e2e::waitForText(log, kWaitingLine)) << readFile(log);
    Sleep(500);
    EXPECT_EQ(readFile(log).find("Searching for Monitor Screens"), std::string::npos)
        << "the pass went on while the sibling held the lock";

    sibling.endInput();
    EXPECT_EQ(sibling.readLine(), "released");
    EXPECT_EQ(sibling.waitForExit(), 0);
    const e2e::ToolRun run = tool.finish(Box::NotExpected);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(std::regex_match(readFile(log), std::regex(kStartLines + kWaitingLine + kOnePass))) << readFile(log);
}

// A pass that waits for the family lock listens for the end of the session meanwhile, and so handles
// its window's messages: every program that broadcasts with SendMessage would otherwise wait for the
// tool (5 s with the helper's time limit). The session's notice brings the pass here.
TEST(ConcurrencyEndToEnd, APassThatWaitsForASiblingToolStallsNoBroadcast) {
    const TemporaryFolder folder("no-stall");
    const std::string log = folder.file("run.log");
    ToolProcess tool({"-t", "12", "-l", log});
    ASSERT_TRUE(e2e::waitForText(log, "Poll: Waiting")) << readFile(log);
    ChildProcess sibling = mutexHolder("hold", kFamilyMutex);
    ASSERT_EQ(sibling.readLine(), "locked");
    EXPECT_EQ(ChildProcess(programBesideTests("send_session_unlock"), {}).waitForExit(), 0);
    ASSERT_TRUE(e2e::waitForText(log, kWaitingLine)) << readFile(log);

    HWND window = nullptr;  // made right after the line
    for (int tries = 0;
         tries < 100 && (window = FindWindowW(L"SetPrimaryKiv desktop change listener", nullptr)) == nullptr; ++tries) {
        Sleep(50);
    }
    EXPECT_NE(window, nullptr);
    const ULONGLONG broadcastStart = GetTickCount64();
    EXPECT_EQ(ChildProcess(programBesideTests("broadcast_display_change"), {}).waitForExit(), 0);
    EXPECT_LT(GetTickCount64() - broadcastStart, 2500u) << "the broadcast waited for the tool";

    sibling.endInput();
    EXPECT_EQ(sibling.readLine(), "released");
    EXPECT_EQ(sibling.waitForExit(), 0);
    EXPECT_EQ(tool.finish(Box::NotExpected).exitCode, 0u);
}

TEST(ConcurrencyEndToEnd, ASiblingToolThatDiedHoldingTheFamilyLockHoldsNothingUp) {
    // This handle keeps the mutex in being when the sibling ends, so that it is left abandoned
    // instead of vanishing with the sibling's handle.
    const std::unique_ptr<void, HandleCloser> keeper(CreateMutexA(nullptr, FALSE, kFamilyMutex));
    ASSERT_NE(keeper.get(), nullptr);
    ChildProcess sibling = mutexHolder("die", kFamilyMutex);
    ASSERT_EQ(sibling.readLine(), "locked");
    ASSERT_EQ(sibling.waitForExit(), 3);

    const TemporaryFolder folder("sibling-died");
    const std::string log = folder.file("run.log");
    const e2e::ToolRun run = e2e::runTool({"-t", "0", "-l", log}, Box::NotExpected);

    EXPECT_EQ(run.exitCode, 0u);
    // No waiting line: the abandoned mutex is taken over at once.
    EXPECT_TRUE(std::regex_match(readFile(log), std::regex(kStartLines + kOnePass))) << readFile(log);
    // The pass let the lock go again: it is free, not abandoned a second time.
    ASSERT_EQ(WaitForSingleObject(keeper.get(), 0), WAIT_OBJECT_0);
    ReleaseMutex(keeper.get());
}

}  // namespace
