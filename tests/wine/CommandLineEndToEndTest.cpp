// The real executable's command line under Wine: its message boxes, exit codes and log file.
#include "ToolRunner.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

namespace {

using e2e::Box;
using e2e::runTool;

const std::regex kStartLines(
    "App start at: (Sun|Mon|Tue|Wed|Thu|Fri|Sat) [A-Z][a-z]{2} [ 1-3][0-9] [0-9:]{8} [0-9]{4}\r\n\r\n");

std::string quoted(const std::string& path) { return "\"" + path + "\""; }

TEST(CommandLineEndToEnd, HelpShowsAnInformationBoxAndOpensNoLog) {
    const std::string log = e2e::freshFolder("help") + "help.log";
    const auto run = runTool("-t 5 --log " + quoted(log) + " --help", Box::Expected);
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
    for (const char* arguments : {"--bogus", "-t ten", "-t 99999999999", "--help -t x", "-t \" 5\""}) {
        const auto run = runTool(arguments, Box::Expected);
        ASSERT_TRUE(run.box.has_value()) << arguments;
        EXPECT_EQ(run.box->title, "Command line help");
        EXPECT_EQ(run.box->icon, "error");
        const auto blank = run.box->text.find("\n\n");
        ASSERT_NE(blank, std::string::npos) << run.box->text;
        EXPECT_NE(run.box->text.find("Set Kiv as primary display", blank), std::string::npos);
        EXPECT_EQ(run.exitCode, 1u) << arguments;
    }
}

// The tool copied into a user's folder and logging there: the box's help names the program as
// started, letters beyond the system's code page included.
TEST(CommandLineEndToEnd, NegativeWaitIsRejectedAfterTheStartLine) {
    for (const char* name : {"negative", "negative\\Юля", "negative\\张伟", "negative\\Zoë"}) {
        const std::string folder = e2e::freshFolder(name);
        const std::string program = folder + "SetPrimaryKiv.exe";
        std::filesystem::copy_file(std::filesystem::u8path(e2e::toolPath()), std::filesystem::u8path(program));
        const std::string log = folder + "SetPrimaryKiv.log";
        const auto run = e2e::ToolProcess("-l " + quoted(log) + " -t -5", "streams", program).finish(Box::Expected);
        ASSERT_TRUE(run.box.has_value()) << name;
        EXPECT_EQ(run.box->title, "Command line help");
        EXPECT_EQ(run.box->icon, "error");
        EXPECT_EQ(run.box->text.substr(0, run.box->text.find('\n')),
                  "Maximum time to wait must be a non-negative number of seconds, got: -5");
        EXPECT_NE(run.box->text.find(program + " [params] | --help"), std::string::npos) << run.box->text;
        EXPECT_EQ(run.exitCode, 1u) << name;
        EXPECT_TRUE(std::regex_match(e2e::readFile(log), kStartLines)) << name << ": " << e2e::readFile(log);
    }
}

TEST(CommandLineEndToEnd, TwoRunsAppendToOneLog) {
    const std::string log = e2e::freshFolder("append") + "run.log";
    EXPECT_EQ(runTool("-t 0 -l " + quoted(log), Box::NotExpected).exitCode, 0u);
    EXPECT_EQ(runTool("--max-wait 0 --log " + quoted(log), Box::NotExpected).exitCode, 0u);
    const std::string content = e2e::readFile(log);
    EXPECT_EQ(std::distance(std::sregex_iterator(content.begin(), content.end(), kStartLines), std::sregex_iterator()),
              2)
        << content;
}

TEST(CommandLineEndToEnd, GluedAndEqualsFormsAreRead) {
    const std::string log = e2e::freshFolder("forms with space") + "run.log";
    for (const std::string& arguments : {"-t0 -l" + quoted(log), "--max-wait=0 --log=" + quoted(log)}) {
        DeleteFileA(log.c_str());
        EXPECT_EQ(runTool(arguments, Box::NotExpected).exitCode, 0u) << arguments;
        const std::string content = e2e::readFile(log);
        EXPECT_TRUE(std::regex_search(content, kStartLines, std::regex_constants::match_continuous))
            << arguments << ": " << content;
    }
}

TEST(CommandLineEndToEnd, UnopenableLogIsReportedOnStandardError) {
    const std::string log = e2e::freshFolder("unopenable") + "missing\\run.log";
    const auto run = runTool("-t 0 -l " + quoted(log), Box::NotExpected);
    EXPECT_EQ(run.standardError, "Failed to open log file for write: " + log + "\r\n");
    EXPECT_EQ(run.exitCode, 0u);
}

}  // namespace
