#include "app/CommandLine.h"

#include "platform/RestartRegistration.h"
#include "simulation/RecordedEventLog.h"
#include "tests/support/Files.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#include <winternl.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

namespace fs = std::filesystem;
using orvi::BoxIcon;
using orvi::CommandLineExit;
using orvi::LogFile;
using orvi::StartupSettings;

#ifdef _WIN32
const std::string kLineEnd = "\r\n";  // the log file is written in text mode
#else
const std::string kLineEnd = "\n";
#endif

const std::string kNegativeWait = "Maximum time to wait must be a non-negative number of seconds, got: ";

// The option library quotes an option's name with plain apostrophes on Windows, typographic ones elsewhere.
std::string missingValue(const std::string& option) {
#ifdef _WIN32
    return "Option '" + option + "' is missing an argument";
#else
    return "Option ‘" + option + "’ is missing an argument";
#endif
}

class CommandLine : public ::testing::Test {
protected:
    std::variant<StartupSettings, CommandLineExit> read(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), "SetPrimaryKiv.exe");
        std::vector<const char*> argv;
        for (const std::string& argument : arguments) {
            argv.push_back(argument.c_str());
        }
        argv.push_back(nullptr);
        return orvi::readCommandLine(static_cast<int>(arguments.size()), argv.data(), logFile_, out_, err_);
    }

    StartupSettings settingsOf(std::vector<std::string> arguments) {
        auto outcome = read(std::move(arguments));
        EXPECT_TRUE(std::holds_alternative<StartupSettings>(outcome));
        return std::get<StartupSettings>(outcome);
    }

    CommandLineExit exitOf(std::vector<std::string> arguments) {
        auto outcome = read(std::move(arguments));
        EXPECT_TRUE(std::holds_alternative<CommandLineExit>(outcome));
        return std::get<CommandLineExit>(outcome);
    }

    static std::string helpText() {
        LogFile unused;
        std::ostringstream sink;
        const char* argv[] = {"SetPrimaryKiv.exe", "--help", nullptr};
        return std::get<CommandLineExit>(orvi::readCommandLine(2, argv, unused, sink, sink)).text;
    }

    // "App start at: Mon Dec  7 07:48:51 2026" followed by an empty line.
    static std::string startLinePattern() {
        return "App start at: (Sun|Mon|Tue|Wed|Thu|Fri|Sat) [A-Z][a-z]{2} [ 1-3][0-9] [0-9]{2}:[0-9]{2}:[0-9]{2} "
               "[0-9]{4}" +
               kLineEnd + kLineEnd;
    }

    // Declared before the log file, so that the file is closed before its folder goes.
    const TemporaryFolder folder_{"command-line"};
    const std::string logPath_ = folder_.file("run.log");
    LogFile logFile_;
    std::ostringstream out_;
    std::ostringstream err_;
};

TEST_F(CommandLine, WithoutArgumentsWaits300SecondsAndLogsToStandardOutput) {
    const StartupSettings settings = settingsOf({});
    EXPECT_EQ(settings.maxWait, 300);
    EXPECT_FALSE(settings.watch);
    EXPECT_TRUE(settingsOf({"-t", "0", "--watch"}).watch);
    EXPECT_FALSE(settings.explain);
    EXPECT_TRUE(settingsOf({"--explain"}).explain);
    EXPECT_EQ(&settings.log, &out_);
    EXPECT_FALSE(logFile_.exists());
    EXPECT_EQ(out_.str(), "");
}

TEST_F(CommandLine, AcceptsShortAndLongMaxWait) {
    struct Case {
        std::vector<std::string> arguments;
        std::int64_t maxWait;
    };
    const Case cases[] = {
        {{"-t", "0"}, 0},      {{"--max-wait", "0"}, 0},           {{"-t", "45"}, 45},
        {{"--max-wait=7"}, 7}, {{"-t", "2147483647"}, 2147483647}, {{"-t5"}, 5},
        {{"-t", "0x10"}, 16},  // hexadecimal with a lower-case prefix, as the option library reads it
        {{"-t", "007"}, 7},    // leading zeros are decimal, not octal
        {{"-t", "-0"}, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(settingsOf(c.arguments).maxWait, c.maxWait) << c.arguments.front();
    }
}

TEST_F(CommandLine, HelpIsAnsweredBeforeAnythingElseAndOpensNoLogFile) {
    const CommandLineExit exit = exitOf({"-t", "5", "--log", logPath_, "--help"});
    EXPECT_EQ(exit.icon, BoxIcon::Information);
    EXPECT_EQ(exit.title, "Command line help");
    EXPECT_EQ(exit.exitCode, 0);
    EXPECT_NE(exit.text.find("Set Kiv as primary display"), std::string::npos);
    EXPECT_NE(exit.text.find("SetPrimaryKiv.exe [params] | --help"), std::string::npos);
    for (const char* option :
         {"-t, --max-wait seconds", "Maximum time to wait for Kiv device (default 300)", "-l, --log filepath",
          "Log file output", "--watch", "Keep the Kiv primary until sign-out", "--explain",
          "Report what a run would do; change nothing", "Help options:", "--help", "Show this help and exit"}) {
        EXPECT_NE(exit.text.find(option), std::string::npos) << option;
    }
    EXPECT_FALSE(logFile_.exists());
    EXPECT_FALSE(fs::exists(logPath_));
}

TEST_F(CommandLine, ErrorsOfTheOptionLibraryShowItsTextAndTheHelp) {
    struct Case {
        std::vector<std::string> arguments;
        std::string error = {};  // the error's text, when the case pins it down
    };
    const Case cases[] = {
        {{"--unknown"}},
        {{"-t", "ten"}},
        {{"-t", "2147483648"}},
        {{"-t"}, missingValue("t")},
        {{"-l"}, missingValue("l")},
        {{"-t", "5", "--log"}, missingValue("log")},
        {{"--help", "-t", "x"}},  // the parse fails before help is looked at
        {{"-t", "1e3"}},
        {{"-t", "+5"}},
        {{"-t", " 5"}},
        {{"-t", "5 "}},
        {{"-t", "0x"}},
        {{"-t", "0X10"}},
        {{"-t", ""}},
        {{"--max-wait="}},
        {{"-t=5"}},
        {{"-x!"}},
        {{"-t", "4294967296"}},
        {{"-t", "-2147483649"}},
        {{"-t", "99999999999"}},
        {{"-t", "9999999999"}},   // wraps around to 1410065407 in 32 bits
        {{"-t", "-9999999999"}},  // and to -1410065407
        {{"-t", "0x100000000"}},
        {{"-t", "0x17FFFFFFF"}},            // hexadecimal that wraps around to 2147483647
        {{"-t", "0x111111111"}},            // and to 286331153
        {{"-t", "5", "-t", "9999999999"}},  // a repeated option: the last one counts, and is checked
        {{"--watch=maybe"}},
        {{"-w"}},  // --watch has no short form
        // A flag takes no value, not even one that the option library would read as true or false.
        {{"--watch=false"}, "Option 'watch' takes no value, got: --watch=false"},
        {{"-t", "0", "--watch=1"}, "Option 'watch' takes no value, got: --watch=1"},
        {{"--help=0"}, "Option 'help' takes no value, got: --help=0"},
        {{"--explain=1"}, "Option 'explain' takes no value, got: --explain=1"},
    };
    const std::string help = helpText();
    for (const Case& c : cases) {
        const CommandLineExit exit = exitOf(c.arguments);
        EXPECT_EQ(exit.icon, BoxIcon::Error);
        EXPECT_EQ(exit.title, "Command line help");
        EXPECT_EQ(exit.exitCode, 1);
        const auto blank = exit.text.find("\n\n");
        ASSERT_NE(blank, std::string::npos);
        EXPECT_GT(blank, 0u) << "the library's error text comes first";
        if (!c.error.empty()) {
            EXPECT_EQ(exit.text.substr(0, blank), c.error);
        }
        EXPECT_EQ(exit.text.substr(blank + 2), help);
    }
    EXPECT_FALSE(logFile_.exists());
}

// A word that is neither an option nor an option's value is a wrong command line, named in the error:
// "SetPrimaryKiv 30" must not wait the default 300 seconds.
TEST_F(CommandLine, StrayWordsAreRefusedAndNamed) {
    struct Case {
        std::vector<std::string> arguments;
        std::string word;
    };
    const Case cases[] = {
        {{"30"}, "30"}, {{"-t", "5", "ten"}, "ten"}, {{"--help", "x"}, "x"},
        {{"-"}, "-"},   {{"--", "-t", "5"}, "-t"},   {{"--watch", "yes"}, "yes"},
    };
    const std::string help = helpText();
    for (const Case& c : cases) {
        const CommandLineExit exit = exitOf(c.arguments);
        EXPECT_EQ(exit.icon, BoxIcon::Error) << c.word;
        EXPECT_EQ(exit.title, "Command line help");
        EXPECT_EQ(exit.exitCode, 1);
        EXPECT_EQ(exit.text, "Argument '" + c.word + "' is neither an option nor the value of one\n\n" + help);
    }
    EXPECT_FALSE(logFile_.exists());
}

#ifndef _WIN32
// The whole of a wrong command line's handling, which ends the process: the run's one event is an
// error with the box's first line, the error without the help. (On the host the box is written to
// standard error; under Wine it would wait for someone to close it.)
TEST_F(CommandLine, AWrongCommandLineEndsTheRunWithAnErrorEventAndItsBox) {
    const std::string events = folder_.file("events.txt");
    writeFile(events, "an earlier run's event\n");
    setenv("SIMULATED_EVENT_LOG", events.c_str(), 1);
    const char* argv[] = {"SetPrimaryKiv.exe", "30", nullptr};
    EXPECT_EXIT(orvi::parseCommandLine(2, argv), ::testing::ExitedWithCode(1),
                "icon error\\]\nArgument '30' is neither an option nor the value of one\n");
    // The event comes before the box, which may wait long for someone to close it: with the box
    // (standard error) appended to the events' file too, the event ends right before the box.
    const std::string eventAndBox = folder_.file("event-and-box.txt");
    setenv("SIMULATED_EVENT_LOG", eventAndBox.c_str(), 1);
    EXPECT_EXIT(
        {
            dup2(open(eventAndBox.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600), 2);
            orvi::parseCommandLine(2, argv);
        },
        ::testing::ExitedWithCode(1), "");
    EXPECT_NE(readFile(eventAndBox).find("[end of event]\n[message box: Command line help"), std::string::npos)
        << readFile(eventAndBox);
    unsetenv("SIMULATED_EVENT_LOG");
    EXPECT_EQ(readFile(events),
              "an earlier run's event\n" +
                  orvi::simulation::eventRecord({orvi::platform::EventType::Error, 11,
                                                 "Argument '30' is neither an option nor the value of one"}));
}
#endif

TEST_F(CommandLine, NegativeWaitIsRejectedAfterTheLogFileGotItsStartLine) {
    const CommandLineExit exit = exitOf({"-l", logPath_, "-t", "-5"});
    EXPECT_EQ(exit.icon, BoxIcon::Error);
    EXPECT_EQ(exit.exitCode, 1);
    EXPECT_EQ(exit.text, kNegativeWait + "-5\n\n" + helpText());
    logFile_.stream().flush();
    EXPECT_TRUE(std::regex_match(readFile(logPath_), std::regex(startLinePattern())));

    const CommandLineExit withoutLog = exitOf({"--max-wait", "-2147483648"});
    EXPECT_EQ(withoutLog.text.substr(0, withoutLog.text.find('\n')), kNegativeWait + "-2147483648");

    const CommandLineExit glued = exitOf({"-t-1"});
    EXPECT_EQ(glued.text.substr(0, glued.text.find('\n')), kNegativeWait + "-1");

    const CommandLineExit twoDigits = exitOf({"-t", "-10"});
    EXPECT_EQ(twoDigits.text.substr(0, twoDigits.text.find('\n')), kNegativeWait + "-10");
}

TEST_F(CommandLine, LogPathIsReadInEveryForm) {
    const std::vector<std::string> forms[] = {
        {"--log", logPath_}, {"-l", logPath_}, {"--log=" + logPath_}, {"-l" + logPath_}, {"-t0", "-l" + logPath_},
    };
    for (const auto& arguments : forms) {
        fs::remove(logPath_);
        const StartupSettings settings = settingsOf(arguments);
        EXPECT_EQ(&settings.log, &logFile_.stream()) << arguments.front();
        logFile_ = LogFile();
        EXPECT_TRUE(std::regex_match(readFile(logPath_), std::regex(startLinePattern()))) << arguments.front();
    }
}

// A value after an option that takes one is the option's, even when it begins with '-'.
TEST_F(CommandLine, ALogPathThatBeginsWithADashIsAPath) {
    for (const char* option : {"-l", "--log"}) {
        const fs::path before = fs::current_path();
        fs::current_path(folder_.path());
        fs::remove("-x.log");
        const std::variant<StartupSettings, CommandLineExit> outcome = read({option, "-x.log"});
        logFile_ = LogFile();
        fs::current_path(before);
        EXPECT_TRUE(std::holds_alternative<StartupSettings>(outcome)) << option;
        EXPECT_TRUE(std::regex_match(readFile(folder_.file("-x.log")), std::regex(startLinePattern()))) << option;
    }
}

TEST_F(CommandLine, LogFileReceivesTheStartLineAndAppendsAcrossRuns) {
    {
        const StartupSettings settings = settingsOf({"--log", logPath_, "-t", "0"});
        EXPECT_EQ(&settings.log, &logFile_.stream());
        // A line ended without a flush reaches the file with the next flushed line, not before.
        const std::string started = readFile(logPath_);
        settings.log << "unflushed\n";
        EXPECT_EQ(readFile(logPath_), started);
        settings.log << "first run" << std::endl;
    }
    logFile_ = LogFile();
    {
        const StartupSettings settings = settingsOf({"-l", logPath_});
        settings.log << "second run" << std::endl << "kept until the file closes\n";
    }
    logFile_ = LogFile();
    const std::string expected = startLinePattern() + "unflushed" + kLineEnd + "first run" + kLineEnd +
                                 startLinePattern() + "second run" + kLineEnd + "kept until the file closes" + kLineEnd;
    EXPECT_TRUE(std::regex_match(readFile(logPath_), std::regex(expected))) << readFile(logPath_);
    EXPECT_EQ(out_.str(), "");
    EXPECT_EQ(err_.str(), "");
}

#ifdef _WIN32
// Only a handle without FILE_WRITE_DATA has each write put at the file's end by Windows itself, so
// that no other process's line falls between finding the end and writing.
TEST_F(CommandLine, LogFileIsOpenedForAppendingOnly) {
    settingsOf({"-l", logPath_});
    ASSERT_TRUE(logFile_.isOpen());
    IO_STATUS_BLOCK status{};
    FILE_ACCESS_INFORMATION access{};
    ASSERT_EQ(NtQueryInformationFile(logFile_.handle(), &status, &access, sizeof access, FileAccessInformation), 0);
    EXPECT_EQ(access.AccessFlags & (FILE_APPEND_DATA | FILE_WRITE_DATA), static_cast<ACCESS_MASK>(FILE_APPEND_DATA))
        << std::hex << access.AccessFlags;
}
#endif

TEST_F(CommandLine, UnopenableLogFileIsReportedAndLoggingGoesToStandardOutput) {
    const std::string path = (folder_.path() / "missing-folder" / "run.log").string();
    const StartupSettings settings = settingsOf({"--log", path, "-t", "3"});
    EXPECT_EQ(&settings.log, &out_);
    EXPECT_EQ(settings.maxWait, 3);
    EXPECT_TRUE(logFile_.exists()) << "the log file exists even though it could not be opened";
    EXPECT_EQ(err_.str(), "Failed to open log file for write: " + path + "\n");
    EXPECT_EQ(out_.str(), "");
}

TEST_F(CommandLine, SurvivesAnEmptyArgumentVector) {
    LogFile logFile;
    std::ostringstream sink;
    const char* argv[] = {nullptr};
    auto outcome = orvi::readCommandLine(0, argv, logFile, sink, sink);
    ASSERT_TRUE(std::holds_alternative<StartupSettings>(outcome));
    EXPECT_EQ(std::get<StartupSettings>(outcome).maxWait, 300);
}

}  // namespace

// The arguments that an installer's restart gives the watch again: the command line less the program.
TEST(RestartArguments, AreTheCommandLineAfterTheProgramName) {
    struct Case {
        std::string_view commandLine;
        std::string_view arguments;
    };
    const Case cases[] = {
        {R"("C:\Program Files\Kiv\SetPrimaryKiv.exe" -t 0 --watch)", "-t 0 --watch"},
        {R"(SetPrimaryKiv.exe	 --watch -l "C:\a b.log")", R"(--watch -l "C:\a b.log")"},
        {R"("C:\Kiv\SetPrimaryKiv.exe")", ""},
        {R"("C:\unclosed -t 0)", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(orvi::platform::argumentsAfterProgramName(c.commandLine), c.arguments) << c.commandLine;
    }
}
