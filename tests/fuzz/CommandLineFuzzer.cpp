// The command line on arbitrary argument vectors: readCommandLine must answer every one with
// settings or with the box to show, without ending the process, throwing or tripping a sanitizer.
//
// The input is the argument vector, its elements separated by null bytes (an empty input is an
// empty vector). A --log path is opened for appending, so the target works in a scratch folder of
// its own, empties it after every input, and skips inputs with a '/' in any element: every path
// then names an entry of that folder ("." and ".." are folders, which cannot be opened for writing).
#include "app/CommandLine.h"
#include "app/LogFile.h"
#include "tests/fuzz/ScratchFolder.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

#include <unistd.h>

namespace {

// More elements than any real command line; keeps a single input quick.
constexpr std::size_t kMaxArguments = 64;

std::filesystem::path& scratchFolder() {
    static std::filesystem::path folder;
    return folder;
}

void require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "command line fuzzer: %s\n", what);
        std::abort();
    }
}

std::vector<std::string> argumentsOf(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> arguments;
    if (size == 0) {
        return arguments;
    }
    const std::string all(reinterpret_cast<const char*>(data), size);
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = all.find('\0', start);
        arguments.push_back(all.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) {
            return arguments;
        }
        start = end + 1;
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    scratchFolder() = orvi::fuzz::makeScratchFolder("command-line");
    require(chdir(scratchFolder().c_str()) == 0, "cannot enter the scratch folder");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string> arguments = argumentsOf(data, size);
    if (arguments.size() > kMaxArguments) {
        return -1;
    }
    for (const std::string& argument : arguments) {
        if (argument.find('/') != std::string::npos) {
            return -1;  // could name a file outside the scratch folder
        }
    }
    std::vector<const char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(argument.c_str());
    }
    argv.push_back(nullptr);

    {
        orvi::LogFile logFile;
        std::ostringstream standardOutput;
        std::ostringstream standardError;
        const auto outcome = orvi::readCommandLine(static_cast<int>(arguments.size()), argv.data(), logFile,
                                                   standardOutput, standardError);
        if (const auto* settings = std::get_if<orvi::StartupSettings>(&outcome)) {
            require(settings->maxWait >= 0, "negative maximum wait");
            const bool toLogFile = logFile.exists() && &settings->log == &logFile.stream();
            require(toLogFile || &settings->log == &standardOutput, "the log is neither the file nor standard output");
            require(!toLogFile || logFile.isOpen(), "the log is a file that is not open");
            require(standardOutput.str().empty(), "something was written to standard output");
        } else {
            const auto& exit = std::get<orvi::CommandLineExit>(outcome);
            require(exit.title == "Command line help", "the box has another title");
            require((exit.icon == orvi::BoxIcon::Information) == (exit.exitCode == 0),
                    "only the help box ends with exit code 0");
            require(exit.exitCode == 0 || exit.exitCode == 1, "exit code other than 0 or 1");
            require(!exit.text.empty(), "an empty box");
        }
    }
    orvi::fuzz::emptyFolder(scratchFolder());
    return 0;
}
