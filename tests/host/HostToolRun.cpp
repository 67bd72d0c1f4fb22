#include "tests/host/HostToolRun.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace hostrun {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::seconds kLongestRun(60);

bool isStandInVariable(const char* entry) {
    for (const char* name : {"SIMULATED_DESKTOP=", "SIMULATED_CLOCK=", "XDG_RUNTIME_DIR="}) {
        if (std::strncmp(entry, name, std::strlen(name)) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

ToolRun runTool(const std::vector<std::string>& arguments,
                const std::vector<std::pair<std::string, std::string>>& environment, const std::string& outputPath) {
    std::vector<std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (!isStandInVariable(*entry)) {
            variables.emplace_back(*entry);
        }
    }
    for (const auto& [name, value] : environment) {
        variables.push_back(name + "=" + value);
    }
    std::vector<char*> environmentPointers;
    for (std::string& variable : variables) {
        environmentPointers.push_back(variable.data());
    }
    environmentPointers.push_back(nullptr);

    std::string program = KIV_TOOL_PATH;
    std::vector<std::string> argumentCopies = arguments;
    std::vector<char*> argumentPointers = {program.data()};
    for (std::string& argument : argumentCopies) {
        argumentPointers.push_back(argument.data());
    }
    argumentPointers.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);

    ToolRun run;
    const Clock::time_point start = Clock::now();
    pid_t process = -1;
    const int error =
        posix_spawn(&process, program.c_str(), &actions, nullptr, argumentPointers.data(), environmentPointers.data());
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        ADD_FAILURE() << "posix_spawn failed for " << program << ": " << std::strerror(error);
        return run;
    }

    int status = 0;
    for (;;) {
        const pid_t ended = waitpid(process, &status, WNOHANG);
        if (ended == process || (ended == -1 && errno != EINTR)) {
            break;
        }
        if (Clock::now() - start > kLongestRun) {
            ADD_FAILURE() << "the tool did not end within " << kLongestRun.count() << " s";
            kill(process, SIGKILL);
            waitpid(process, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    run.elapsed = Clock::now() - start;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.output = readFile(outputPath);
    return run;
}

std::string freshFolder() {
    std::string pattern = ::testing::TempDir() + "kiv-host-e2e-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        ADD_FAILURE() << "mkdtemp failed for " << pattern << ": " << std::strerror(errno);
    }
    return pattern + "/";
}

std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << content;
    file.close();
    if (file.fail()) {
        ADD_FAILURE() << "cannot write " << path;
    }
}

}  // namespace hostrun
