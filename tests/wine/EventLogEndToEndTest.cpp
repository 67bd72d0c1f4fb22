// Each run's one event, under Wine. Wine's ReportEventW writes each event's string to its eventlog
// debug channel (a trace for information, an err for errors) and, like RegisterEventSourceW and
// DeregisterEventSource, its arguments in a fixme of advapi. This program runs with WINEDEBUG set
// for both channels and Wine's debug output appended to KIV_WINE_DEBUG_LOG, which the tools it
// starts share (tests/wine/CMakeLists.txt). Wine's RegisterApplicationRestart writes its arguments in a
// fixme of process, which the run's registration for a restart is read back from.
#include "ToolRunner.h"

#include "tests/support/Files.h"
#include "tests/support/MutexTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

using e2e::Box;
using Lines = std::vector<std::string>;

// Wine's debug log, by its path on the build machine: Wine's drive Z: is that machine's root.
std::string debugLogPath() {
    std::string path = KIV_WINE_DEBUG_LOG;
    std::replace(path.begin(), path.end(), '/', '\\');
    return "Z:" + path;
}

// What Wine's debug log says about events from byte `from` on, one line per call, without thread
// ids and pointers: "register <source>", "report <type> <id>", "trace <string>" or "err <string>"
// (strings as Wine writes them: L"..." with C escapes), "deregister".
Lines eventCalls(std::size_t from) {
    static const std::regex kRegister(R"re(:fixme:advapi:RegisterEventSourceW \(\(null\),L"([^"]*)"\))re");
    static const std::regex kReport(
        R"re(:fixme:advapi:ReportEventW \([0-9A-Fa-f]+,(0x[0-9a-f]+),0x[0-9a-f]+,(0x[0-9a-f]+),)re");
    static const std::regex kString(R"re(:(trace|err):eventlog:ReportEventW (L".*))re");
    static const std::regex kDeregister(R"re(:fixme:advapi:DeregisterEventSource )re");
    const std::string log = readFile(debugLogPath());
    std::istringstream lines(log.substr(std::min(from, log.size())));
    Lines calls;
    std::smatch match;
    for (std::string line; std::getline(lines, line);) {
        if (std::regex_search(line, match, kRegister)) {
            calls.push_back("register " + match[1].str());
        } else if (std::regex_search(line, match, kReport)) {
            calls.push_back("report " + match[1].str() + " " + match[2].str());
        } else if (std::regex_search(line, match, kString)) {
            calls.push_back(match[1].str() + " " + match[2].str());
        } else if (std::regex_search(line, match, kDeregister)) {
            calls.push_back("deregister");
        }
    }
    return calls;
}

// A text as Wine's debug output quotes a UTF-16 string (ASCII only here).
std::string quoted(const std::string& text) {
    std::string out = "L\"";
    for (const char c : text) {
        switch (c) {
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '"':
        case '\\':
            out += std::string("\\") + c;
            break;
        default:
            out += c;
        }
    }
    return out + "\"";
}

// The calls of one run that reports one event.
Lines oneEvent(const char* type, const char* id, const char* channel, const std::string& text) {
    return {"register SetPrimaryKiv", std::string("report ") + type + " " + id, channel + (" " + quoted(text)),
            "deregister"};
}

struct EventCase {
    const char* name;
    std::vector<std::string> arguments;
    const char* objectOfAnotherKind;  // a name taken for the run; none when null
    Box box;
    DWORD exitCode;
    Lines calls;
};

void PrintTo(const EventCase& c, std::ostream* os) { *os << c.name; }

class EventLogEndToEnd : public ::testing::TestWithParam<EventCase> {};

TEST_P(EventLogEndToEnd, EveryRunReportsOneEventAtItsEnd) {
    const EventCase& c = GetParam();
    // Wine starts the desktop process for the first program that needs it, handing it that
    // program's standard error: started by the tool, it would keep the tool's piped output open.
    ASSERT_NE(GetDesktopWindow(), nullptr);
    std::optional<OtherKindOfObject> blocker;
    if (c.objectOfAnotherKind != nullptr) {
        blocker.emplace(c.objectOfAnotherKind);
    }
    const std::size_t before = readFile(debugLogPath()).size();
    const auto run = e2e::runTool(c.arguments, c.box);
    EXPECT_EQ(run.exitCode, c.exitCode);
    EXPECT_EQ(eventCalls(before), c.calls);
}

// EVENTLOG_INFORMATION_TYPE is 4, EVENTLOG_ERROR_TYPE 1.
INSTANTIATE_TEST_SUITE_P(
    , EventLogEndToEnd,
    ::testing::Values(EventCase{"NoKiv",
                                {"-t", "0"},
                                nullptr,
                                Box::NotExpected,
                                0,
                                oneEvent("0x0004", "0x00000003", "trace", "No Kiv found; told not to wait")},
                      EventCase{"FamilyLockNameTaken",
                                {"-t", "30"},
                                "MorvaKivDisplayApp_main",
                                Box::Expected,
                                1,
                                oneEvent("0x0001", "0x0000000a", "err",
                                         "Failed to create Global Named Mutex MorvaKivDisplayApp_main: " +
                                             e2e::systemText(ERROR_INVALID_HANDLE) + " (Error code: 0x6)")},
                      EventCase{"WrongCommandLine",
                                {"-t", "-5"},
                                nullptr,
                                Box::Expected,
                                1,
                                oneEvent("0x0001", "0x0000000b", "err",
                                         "Maximum time to wait must be a non-negative number of seconds, got: -5")}),
    [](const ::testing::TestParamInfo<EventCase>& test) { return std::string(test.param.name); });

// The end of the run during a wait for a Kiv, or while a pass waits for the family lock that a sibling
// tool holds: its event says how the run ended, a sign-out, the Restart Manager's request to close or
// WM_CLOSE.
TEST_F(EventLogEndToEnd, AnEndDuringAWaitSaysHowTheRunEnded) {
    struct Ending {
        std::vector<std::string> how;  // send_session_end's argument
        bool siblingHoldsTheFamilyLock;
        const char* id;
        std::string text;
    };
    const std::string closing = "No Kiv found; the tool was asked to close";
    const Ending endings[] = {
        {{}, false, "0x00000004", "No Kiv found; the session ended during the wait of 300 s"},
        {{"closeapp"}, false, "0x00000004", closing + " during the wait of 300 s"},
        {{"close"}, false, "0x00000004", closing + " during the wait of 300 s"},
        {{"closeapp"}, true, "0x00000003", closing + " while another tool changed the screens"},
        {{"close"}, true, "0x00000003", closing + " while another tool changed the screens"},
    };
    for (const Ending& ending : endings) {
        SCOPED_TRACE(ending.text);
        ASSERT_NE(GetDesktopWindow(), nullptr);
        const TemporaryFolder folder("event-at-the-end");
        const std::string log = folder.file("run.log");
        std::optional<ChildProcess> sibling;
        if (ending.siblingHoldsTheFamilyLock) {
            sibling.emplace(programBesideTests("mutex_holder"),
                            std::vector<std::string>{"hold", "MorvaKivDisplayApp_main"});
            ASSERT_EQ(sibling->readLine(), "locked");
        }
        const std::size_t before = readFile(debugLogPath()).size();
        e2e::ToolProcess tool({"-t", ending.siblingHoldsTheFamilyLock ? "0" : "300", "-l", log});
        ASSERT_TRUE(e2e::waitForText(
            log, ending.siblingHoldsTheFamilyLock ? "Other application is performing" : "Poll: Waiting for Kiv device"))
            << readFile(log);
        // The line comes just before the tool makes its listening window for the wait.
        const ULONGLONG deadline = GetTickCount64() + 10000;
        while (FindWindowW(L"SetPrimaryKiv desktop change listener", nullptr) == nullptr &&
               GetTickCount64() < deadline) {
            Sleep(20);
        }
        EXPECT_EQ(ChildProcess(programBesideTests("send_session_end"), ending.how).waitForExit(), 0);
        EXPECT_EQ(tool.finish(Box::NotExpected).exitCode, 0u);
        EXPECT_EQ(eventCalls(before), oneEvent("0x0004", ending.id, "trace", ending.text));
    }
}

// A watch registers to be started again by an installer's Restart Manager, with its own arguments and
// RESTART_NO_CRASH | RESTART_NO_HANG | RESTART_NO_REBOOT (11); a run without the watch does not.
TEST_F(EventLogEndToEnd, OnlyAWatchRegistersForARestart) {
    ASSERT_NE(GetDesktopWindow(), nullptr);
    const TemporaryFolder folder("restart-registration");
    const std::string log = folder.file("run.log");
    const auto registrations = [](std::size_t from) {
        const std::string debugLog = readFile(debugLogPath()).substr(from);
        static const std::regex kRegistration(R"re(:fixme:process:RegisterApplicationRestart (.*))re");
        Lines found;
        for (std::sregex_iterator match(debugLog.begin(), debugLog.end(), kRegistration), end; match != end; ++match) {
            found.push_back((*match)[1].str());
        }
        return found;
    };
    std::size_t before = readFile(debugLogPath()).size();
    EXPECT_EQ(e2e::runTool({"-t", "0", "-l", log}, Box::NotExpected).exitCode, 0u);
    EXPECT_EQ(registrations(before), Lines{});

    before = readFile(debugLogPath()).size();
    e2e::ToolProcess watch({"-t", "0", "--watch", "-l", log});
    ASSERT_TRUE(e2e::waitForText(log, "Watching the screens until the session ends")) << readFile(log);
    EXPECT_EQ(ChildProcess(programBesideTests("send_session_end"), {}).waitForExit(), 0);
    EXPECT_EQ(watch.finish(Box::NotExpected).exitCode, 0u);
    const std::string arguments = "-t 0 --watch -l " + log;
    EXPECT_EQ(registrations(before), Lines{"(" + quoted(arguments) + ",11)"});
}

}  // namespace
