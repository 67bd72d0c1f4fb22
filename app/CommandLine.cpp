#include "app/CommandLine.h"

#include "app/MessageBoxes.h"
#include "app/RunEvents.h"

#include <cxxopts.hpp>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <iostream>
#include <locale>
#include <stdexcept>
#include <vector>

namespace orvi {
namespace {

constexpr std::int64_t kDefaultMaxWaitSeconds = 300;
constexpr const char* kHelpTitle = "Command line help";

cxxopts::Options makeOptions(int argc, const char* const* argv) {
    const char* programName = (argc > 0 && argv != nullptr && argv[0] != nullptr) ? argv[0] : "";
    cxxopts::Options options(programName, "Set Kiv as primary display");
    options.custom_help("[params] | --help");
    // One option a line, as the help lists them.
    // clang-format off
    options.add_options()
        ("t,max-wait", "Maximum time to wait for Kiv device (default 300)", cxxopts::value<std::int32_t>(), "seconds")
        ("l,log", "Log file output", cxxopts::value<std::string>(), "filepath")
        ("watch", "Keep the Kiv primary until sign-out", cxxopts::value<bool>(), "")
        ("explain", "Report what a run would do; change nothing", cxxopts::value<bool>(), "");
    options.add_options("Help")
        ("help", "Show this help and exit", cxxopts::value<bool>(), "");
    // clang-format on
    return options;
}

// The options that take the argument after them as their value.
constexpr const char* kValueOptions[] = {"-t", "--max-wait", "-l", "--log"};

// The option library is built without its regular-expression engine (a smaller executable), and so
// reads "-x..." as short options only when nothing but letters and digits follow the dash. Every
// short option takes a value, so a value glued to one is handed over as an argument of its own,
// which is how the library reads the glued values it does accept ("-t5"): "-lC:\kiv.log" becomes
// "-l" "C:\kiv.log" and "-t-5" becomes "-t" "-5". The value after an option and everything after
// "--" stay as they are.
std::vector<std::string> withGluedValuesApart(int argc, const char* const* argv) {
    std::vector<std::string> arguments{argv[0] != nullptr ? argv[0] : ""};
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--") {
            arguments.insert(arguments.end(), argv + i, argv + argc);
            break;
        }
        if (argument.size() > 2 && argument[0] == '-' && std::isalnum(argument[1], std::locale::classic())) {
            arguments.push_back(argument.substr(0, 2));
            arguments.push_back(argument.substr(2));
            continue;
        }
        arguments.push_back(argument);
        for (const char* option : kValueOptions) {
            if (argument == option && i + 1 < argc) {
                arguments.emplace_back(argv[++i]);
                break;
            }
        }
    }
    return arguments;
}

// The option library would take a value after a flag's name: "--watch=false" and "--watch=0" as no
// watch, "--watch=1" as the watch, "--help=false" as a request for help. A flag is there or not, so a
// value given to one makes the command line wrong, as a wrong value of an option does. The values of
// the options that take one, and everything after "--", are not looked at.
void requireFlagsWithoutValue(const std::vector<std::string>& arguments) {
    for (std::size_t i = 1; i < arguments.size() && arguments[i] != "--"; ++i) {
        const std::string& argument = arguments[i];
        for (const char* option : kValueOptions) {
            i += argument == option ? 1 : 0;  // its value follows
        }
        for (const std::string flag : {"watch", "explain", "help"}) {
            if (argument.rfind("--" + flag + "=", 0) == 0) {
                throw std::runtime_error("Option '" + flag + "' takes no value, got: " + argument);
            }
        }
    }
}

// Whether an integer as the option library reads it (an optional '-', then decimal digits or "0x" and
// hexadecimal digits) lies in the range of a 32-bit int.
bool fitsIn32Bits(const std::string& text) {
    std::size_t at = 0;
    const bool negative = text.compare(0, 1, "-") == 0;
    at += negative ? 1 : 0;
    const bool hexadecimal = text.compare(at, 2, "0x") == 0;
    at += hexadecimal ? 2 : 0;
    const std::uint64_t limit = negative ? 0x80000000u : 0x7FFFFFFFu;
    std::uint64_t magnitude = 0;
    for (; at < text.size(); ++at) {
        const int digit =
            std::isdigit(static_cast<unsigned char>(text[at])) ? text[at] - '0' : std::tolower(text[at]) - 'a' + 10;
        magnitude = magnitude * (hexadecimal ? 16 : 10) + static_cast<std::uint64_t>(digit);
        if (magnitude > limit) {  // checked at every digit, so the magnitude never wraps
            return false;
        }
    }
    return true;
}

// The option library's own range check misses some overflows ("9999999999" wraps around to
// 1410065407), so every wait it accepted is checked again and refused as the library refuses a value
// out of range.
void requireWaitIn32Bits(const cxxopts::ParseResult& result) {
    for (const cxxopts::KeyValue& argument : result.arguments()) {
        if (argument.key() == "max-wait" && !fitsIn32Bits(argument.value())) {
            throw cxxopts::exceptions::incorrect_argument_type(argument.value());
        }
    }
}

// The option library keeps the words that are neither an option nor an option's value (and everything
// after "--") apart, and would let them pass: "SetPrimaryKiv 30" would wait 300 seconds, not the 30
// its caller meant. Such a word makes the command line wrong, as an unknown option does.
void requireNoStrayWords(const cxxopts::ParseResult& result) {
    if (!result.unmatched().empty()) {
        throw std::runtime_error("Argument '" + result.unmatched().front() +
                                 "' is neither an option nor the value of one");
    }
}

// The local time in the C standard's ctime layout, "Mon Dec  7 07:48:51 2026\n": English names and
// a blank before a one-digit day on every platform (the Microsoft runtime's ctime writes "Dec 07").
std::string currentLocalTimeText() {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::time_t now = std::time(nullptr);
    const std::tm* local = std::localtime(&now);
    if (local == nullptr || local->tm_wday < 0 || local->tm_wday > 6 || local->tm_mon < 0 || local->tm_mon > 11) {
        return "\n";
    }
    char text[64];
    std::snprintf(text, sizeof text, "%s %s%3d %.2d:%.2d:%.2d %d\n", kDays[local->tm_wday], kMonths[local->tm_mon],
                  local->tm_mday, local->tm_hour, local->tm_min, local->tm_sec, 1900 + local->tm_year);
    return text;
}

}  // namespace

std::variant<StartupSettings, CommandLineExit> readCommandLine(int argc, const char* const* argv, LogFile& logFile,
                                                               std::ostream& standardOutput,
                                                               std::ostream& standardError) {
    cxxopts::Options options = makeOptions(argc, argv);
    std::int64_t maxWait = kDefaultMaxWaitSeconds;
    std::ostream* log = &standardOutput;
    bool watch = false;
    bool explain = false;
    try {
        // The option library reads argv[1..argc); an empty vector is read as the program name alone.
        const char* const programOnly[] = {"", nullptr};
        const bool empty = argc < 1 || argv == nullptr;
        const std::vector<std::string> arguments = withGluedValuesApart(empty ? 1 : argc, empty ? programOnly : argv);
        requireFlagsWithoutValue(arguments);
        std::vector<const char*> pointers;
        for (const std::string& argument : arguments) {
            pointers.push_back(argument.c_str());
        }
        pointers.push_back(nullptr);
        const cxxopts::ParseResult result = options.parse(static_cast<int>(arguments.size()), pointers.data());
        requireNoStrayWords(result);
        if (result.count("help") > 0) {
            return CommandLineExit{BoxIcon::Information, kHelpTitle, options.help(), 0};
        }
        if (result.count("log") > 0) {
            const std::string path = result["log"].as<std::string>();
            std::ostream& file = logFile.open(path);
            if (!file) {
                standardError << "Failed to open log file for write: " << path << std::endl;
            } else {
                log = &file;
                file << "App start at: " << currentLocalTimeText() << std::endl;
            }
        }
        if (result.count("max-wait") > 0) {
            requireWaitIn32Bits(result);
            const std::int32_t value = result["max-wait"].as<std::int32_t>();
            if (value < 0) {
                throw std::runtime_error("Maximum time to wait must be a non-negative number of seconds, got: " +
                                         std::to_string(value));
            }
            maxWait = value;
        }
        watch = result.count("watch") > 0 && result["watch"].as<bool>();
        explain = result.count("explain") > 0 && result["explain"].as<bool>();
    } catch (const std::exception& error) {
        return CommandLineExit{BoxIcon::Error, kHelpTitle, std::string(error.what()) + "\n\n" + options.help(), 1};
    }
    return StartupSettings{maxWait, *log, watch, explain};
}

StartupSettings parseCommandLine(int argc, const char* const* argv) {
    auto outcome = readCommandLine(argc, argv, processLogFile(), std::cout, std::cerr);
    if (auto* settings = std::get_if<StartupSettings>(&outcome)) {
        return *settings;
    }
    const CommandLineExit& exit = std::get<CommandLineExit>(outcome);
    if (exit.icon == BoxIcon::Information) {
        showInfoBox(exit.title.c_str(), exit.text.c_str());
    } else {
        reportWrongCommandLine(exit.text);  // before the box, which may wait long for someone to close it
        showErrorBox(exit.title.c_str(), exit.text.c_str());
    }
    std::exit(exit.exitCode);
}

}  // namespace orvi
