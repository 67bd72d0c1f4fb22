// The real executable's command line under Wine: its message boxes, exit codes and log file.
#include "ToolRunner.h"

#include "tests/support/Files.h"
#include "tests/support/Text.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

namespace {

using e2e::Box;
using e2e::runTool;

const std::regex kStartLines(
    "App start at: (Sun|Mon|Tue|Wed|Thu|Fri|Sat) [A-Z][a-z]{2} [ 1-3][0-9] [0-9:]{8} [0-9]{4}\r\n\r\n");

TEST(CommandLineEndToEnd, HelpShowsAnInformationBoxAndOpensNoLog) {
    const TemporaryFolder folder("help");
    const std::string log = folder.file("help.log");
    const auto run = runTool({"-t", "5", "--log", log, "--help"}, Box::Expected);
    ASSERT_TRUE(run.box.has_value());
    EXPECT_EQ(run.box->title, "Command line help");
    EXPECT_EQ(run.box->icon, "information");
    EXPECT_NE(run.box->text.find("Set Kiv as primary display"), std::string::npos) << run.box->text;
    EXPECT_NE(run.box->text.find("SetPrimaryKiv.exe [params] | --help"), std::string::npos) << run.box->text;
    EXPECT_NE(run.box->text.find("-t, --max-wait seconds"), std::string::npos);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(GetFileAttributesA(log.c_str()), INVALID_FILE_ATTRIBUTES) << "no log file for --help";
}

TEST(CommandLineEndToEnd, ParseErrorsShowAnErrorBoxWithTheHelp) {
    for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
             {"--bogus"}, {"30"}, {"-t", "ten"}, {"-t", "99999999999"}, {"--help", "-t", "x"}, {"-t", " 5"}}) {
        SCOPED_TRACE(arguments.back());
        const auto run = runTool(arguments, Box::Expected);
        ASSERT_TRUE(run.box.has_value());
        EXPECT_EQ(run.box->title, "Command line help");
        EXPECT_EQ(run.box->icon, "error");
        const auto blank = run.box->text.find("\n\n");
        ASSERT_NE(blank, std::string::npos) << run.box->text;
        EXPECT_NE(run.box->text.find("Set Kiv as primary display", blank), std::string::npos);
        EXPECT_EQ(run.exitCode, 1u);
    }
}

// The tool copied into a user's folder and logging there: the box's help names the program as
// started, letters beyond the system's code page included.
TEST(CommandLineEndToEnd, NegativeWaitIsRejectedAfterTheStartLine) {
    const TemporaryFolder base("negative");
    for (const char* name : {"plain", "Юля", "张伟", "Zoë"}) {
        const std::string folder = e2e::folderIn(base, name);
        const std::string program = folder + "SetPrimaryKiv.exe";
        std::filesystem::copy_file(std::filesystem::u8path(e2e::toolPath()), std::filesystem::u8path(program));
        const std::string log = folder + "SetPrimaryKiv.log";
        const auto run = e2e::ToolProcess({"-l", log, "-t", "-5"}, program).finish(Box::Expected);
        ASSERT_TRUE(run.box.has_value()) << name;
        EXPECT_EQ(run.box->title, "Command line help");
        EXPECT_EQ(run.box->icon, "error");
        EXPECT_EQ(run.box->text.substr(0, run.box->text.find('\n')),
                  "Maximum time to wait must be a non-negative number of seconds, got: -5");
        EXPECT_NE(run.box->text.find(program + " [params] | --help"), std::string::npos) << run.box->text;
        EXPECT_EQ(run.exitCode, 1u) << name;
        EXPECT_TRUE(std::regex_match(e2e::readUtf8Path(log), kStartLines)) << name << ": " << e2e::readUtf8Path(log);
    }
}

// Byte for byte, up to the start lines' times: what each run appends, with its line ends, and
// nothing of the first run overwritten by the second.
TEST(CommandLineEndToEnd, TwoRunsAppendToOneLog) {
    const TemporaryFolder folder("append");
    const std::string log = folder.file("run.log");
    EXPECT_EQ(runTool({"-t", "0", "-l", log}, Box::NotExpected).exitCode, 0u);
    EXPECT_EQ(runTool({"--max-wait", "0", "--log", log}, Box::NotExpected).exitCode, 0u);
    const std::string run =
        "App start at: TIME\r\n"
        "\r\n"
        "Searching for Monitor Screens\r\n"
        "Getting target device info...\r\n"
        "Retrieved target device information:\r\n"
        "  EDID Product Code ID: 0x0\r\n"
        "  Friendly Name: Display1\r\n"
        "  Device Path: \\\\?\\DISPLAY#Default_Monitor#0000&0000#{E6F07B5F-EE97-4A90-B076-33F57BF4EAA7}\r\n"
        "found 1 screens\r\n"
        "Iterating Screen with display name: Display1device name: \\\\.\\DISPLAY1\r\n"
        "Current device USB ID: VID_0000&PID_0000, Comparing with Varel: VID_17E9&PID_FF13\r\n"
        "pellun edid: 4233, Comparing with: 0\r\n"
        "Detected 1 Screen\r\n"
        "Done\r\n";
    const std::regex time("(App start at: )(Sun|Mon|Tue|Wed|Thu|Fri|Sat) [A-Z][a-z]{2} [ 1-3][0-9] [0-9:]{8} [0-9]{4}");
    EXPECT_EQ(std::regex_replace(readFile(log), time, "$1TIME"), run + run);
}

TEST(CommandLineEndToEnd, GluedAndEqualsFormsAreRead) {
    const TemporaryFolder folder("forms with space");
    const std::string log = folder.file("run.log");
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{"-t0", "-l" + log}, {"--max-wait=0", "--log=" + log}}) {
        SCOPED_TRACE(arguments.back());
        std::filesystem::remove(log);
        EXPECT_EQ(runTool(arguments, Box::NotExpected).exitCode, 0u);
        const std::string content = readFile(log);
        EXPECT_TRUE(std::regex_search(content, kStartLines, std::regex_constants::match_continuous)) << content;
    }
}

TEST(CommandLineEndToEnd, UnopenableLogIsReportedOnStandardError) {
    const TemporaryFolder folder("unopenable");
    const std::string log = folder.file("missing\\run.log");
    const auto run = runTool({"-t", "0", "-l", log}, Box::NotExpected);
    EXPECT_EQ(run.standardError, "Failed to open log file for write: " + log + "\r\n");
    EXPECT_EQ(run.exitCode, 0u);
}

// --explain with its standard output redirected, as "> report.txt" and "| Out-File" start it: the report
// comes there, in text lines, and no box is shown. Wine's one screen is no Kiv.
TEST(CommandLineEndToEnd, ExplainWritesItsReportToARedirectedStandardOutput) {
    ChildProcess tool(e2e::toolPath(), {"--explain"}, {Piped::Output});
    tool.endInput();
    const std::string report = tool.readToEnd();
    EXPECT_EQ(tool.waitForExit(), 2) << report;
    const std::vector<std::string> lines = linesOf(std::regex_replace(report, std::regex("\r\n"), "\n"));
    ASSERT_EQ(lines.size(), 10u) << report;
    EXPECT_EQ(lines[0], "SetPrimaryKiv --explain: what a run would see and do now; nothing was changed");
    EXPECT_EQ(lines[1], "screens: 1 attached");
    EXPECT_EQ(lines[2].rfind("screen 1: device=\\\\.\\DISPLAY1 monitor=\"Display1\" adapter=", 0), 0u) << lines[2];
    EXPECT_NE(lines[2].find(" usb-id=none "), std::string::npos) << lines[2];
    EXPECT_NE(lines[2].find(" primary=yes kiv=no reason=\"no USB id in the hardware id; "), std::string::npos)
        << lines[2];
    EXPECT_EQ(
        std::vector<std::string>(lines.begin() + 3, lines.end()),
        (std::vector<std::string>{"kiv: none", "row: none, no Kiv is attached", "windows: not asked, there is no row",
                                  "session: may read the screens now", "single-instance lock: free",
                                  "family lock: free", "exit code: 2 (no Kiv is attached)"}));
}

}  // namespace
