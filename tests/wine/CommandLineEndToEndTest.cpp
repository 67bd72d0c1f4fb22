// The real executable's command line under Wine: its message boxes, exit codes and log file.
#include "ToolRunner.h"

#include "tests/support/Files.h"

#include <gtest/gtest.h>

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
             {"--bogus"}, {"-t", "ten"}, {"-t", "99999999999"}, {"--help", "-t", "x"}}) {
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

TEST(CommandLineEndToEnd, NegativeWaitIsRejectedAfterTheStartLine) {
    const TemporaryFolder folder("negative");
    const std::string log = folder.file("run.log");
    const auto run = runTool({"-l", log, "-t", "-5"}, Box::Expected);
    ASSERT_TRUE(run.box.has_value());
    EXPECT_EQ(run.box->icon, "error");
    EXPECT_EQ(run.box->text.substr(0, run.box->text.find('\n')),
              "Maximum time to wait must be a non-negative number of seconds, got: -5");
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_TRUE(std::regex_match(readFile(log), kStartLines)) << readFile(log);
}

TEST(CommandLineEndToEnd, TwoRunsAppendToOneLog) {
    const TemporaryFolder folder("append");
    const std::string log = folder.file("run.log");
    EXPECT_EQ(runTool({"-t", "0", "-l", log}, Box::NotExpected).exitCode, 0u);
    EXPECT_EQ(runTool({"--max-wait", "0", "--log", log}, Box::NotExpected).exitCode, 0u);
    const std::string content = readFile(log);
    EXPECT_EQ(std::distance(std::sregex_iterator(content.begin(), content.end(), kStartLines), std::sregex_iterator()),
              2)
        << content;
}

TEST(CommandLineEndToEnd, UnopenableLogIsReportedOnStandardError) {
    const TemporaryFolder folder("unopenable");
    const std::string log = folder.file("missing\\run.log");
    const auto run = runTool({"-t", "0", "-l", log}, Box::NotExpected);
    EXPECT_EQ(run.standardError, "Failed to open log file for write: " + log + "\r\n");
    EXPECT_EQ(run.exitCode, 0u);
}

}  // namespace
