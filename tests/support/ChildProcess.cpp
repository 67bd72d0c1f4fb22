#include "tests/support/ChildProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <utility>

#ifdef _WIN32
#include <filesystem>
#endif

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

extern char** environ;
#endif

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::seconds kGraceTime(5);

long long secondsOf(std::chrono::milliseconds duration) {
    return std::chrono::duration_cast<std::chrono::seconds>(duration).count();
}

}  // namespace

std::string ChildProcess::readLine(std::chrono::milliseconds limit) {
    const Clock::time_point deadline = Clock::now() + limit;
    for (;;) {
        const std::size_t end = pending_.find('\n');
        if (end != std::string::npos) {
            std::string line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            return line;
        }
        const Read read = readMore(deadline);
        if (read == Read::End) {
            return pending_.empty() ? "<end of output>" : std::exchange(pending_, {});
        }
        if (read == Read::TimedOut) {
            ADD_FAILURE() << name_ << " wrote no line within " << secondsOf(limit) << " s";
            return "<no answer in time>";
        }
    }
}

std::string ChildProcess::readToEnd(std::chrono::milliseconds limit) {
    const Clock::time_point deadline = Clock::now() + limit;
    for (;;) {
        const Read read = readMore(deadline);
        if (read == Read::TimedOut) {
            ADD_FAILURE() << name_ << " did not close its output within " << secondsOf(limit) << " s";
        }
        if (read != Read::Data) {
            return std::exchange(pending_, {});
        }
    }
}

int ChildProcess::waitForExit(std::chrono::milliseconds limit) {
    if (!exited_ && !endedWithin(limit)) {
        ADD_FAILURE() << name_ << " did not end within " << secondsOf(limit) << " s; it was killed";
        kill();
    }
    return exitCode_;
}

bool ChildProcess::hasEnded() { return exited_ || endedWithin(std::chrono::milliseconds(0)); }

ChildProcess::~ChildProcess() {
    endInput();
    if (!exited_ && !endedWithin(kGraceTime)) {
        kill();
    }
#ifdef _WIN32
    for (HANDLE handle : {process_.hProcess, process_.hThread, output_}) {
        if (handle != nullptr) {
            CloseHandle(handle);
        }
    }
#else
    if (output_ != -1) {
        close(output_);
    }
#endif
}

#ifdef _WIN32

namespace {

std::string commandLineOf(const std::string& program, const std::vector<std::string>& arguments) {
    std::string commandLine = "\"" + program + "\"";
    for (const std::string& argument : arguments) {
        const bool quote = argument.empty() || argument.find_first_of(" \t") != std::string::npos;
        commandLine += quote ? " \"" + argument + "\"" : " " + argument;
    }
    return commandLine;
}

std::wstring utf16(const std::string& utf8) {
    const int size = static_cast<int>(utf8.size());
    std::wstring text(static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, text.data(), static_cast<int>(text.size()));
    return text;
}

}  // namespace

std::string programBesideTests(const std::string& name) {
    wchar_t module[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, module, MAX_PATH);
    return std::filesystem::path(std::wstring(module, length)).parent_path().u8string() + "\\" + name + ".exe";
}

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           const ChildSetup& setup)
    : name_(commandLineOf(program, arguments)) {
    SECURITY_ATTRIBUTES inheritable = {};
    inheritable.nLength = sizeof inheritable;
    inheritable.bInheritHandle = TRUE;
    HANDLE childInput = nullptr;
    HANDLE childOutput = nullptr;
    if (!CreatePipe(&childInput, &input_, &inheritable, 0) || !CreatePipe(&output_, &childOutput, &inheritable, 0)) {
        ADD_FAILURE() << "CreatePipe failed: " << GetLastError();
        exited_ = true;
        return;
    }
    SetHandleInformation(input_, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(output_, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childInput;
    startup.hStdOutput = setup.piped != Piped::Error ? childOutput : GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = setup.piped != Piped::Output ? childOutput : GetStdHandle(STD_ERROR_HANDLE);
    std::wstring commandLine = utf16(name_);
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process_)) {
        ADD_FAILURE() << "CreateProcessW failed for " << name_ << ": " << GetLastError();
        process_ = {};
        exited_ = true;
    }
    CloseHandle(childInput);
    CloseHandle(childOutput);
}

unsigned long ChildProcess::id() const { return process_.dwProcessId; }

ChildProcess::Read ChildProcess::readMore(Clock::time_point deadline) {
    for (;;) {
        DWORD available = 0;
        if (!PeekNamedPipe(output_, nullptr, 0, nullptr, &available, nullptr)) {
            return Read::End;  // the child closed its end
        }
        if (available > 0) {
            char chunk[256];
            DWORD got = 0;
            if (!ReadFile(output_, chunk, std::min<DWORD>(available, sizeof chunk), &got, nullptr) || got == 0) {
                return Read::End;
            }
            pending_.append(chunk, got);
            return Read::Data;
        }
        if (Clock::now() >= deadline) {
            return Read::TimedOut;
        }
        Sleep(10);
    }
}

void ChildProcess::endInput() {
    if (input_ != nullptr) {
        CloseHandle(input_);
        input_ = nullptr;
    }
}

bool ChildProcess::endedWithin(std::chrono::milliseconds limit) {
    DWORD code = 0;
    if (WaitForSingleObject(process_.hProcess, static_cast<DWORD>(limit.count())) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(process_.hProcess, &code)) {
        return false;
    }
    exited_ = true;
    exitCode_ = static_cast<int>(code);
    return true;
}

void ChildProcess::kill() {
    TerminateProcess(process_.hProcess, 255);
    WaitForSingleObject(process_.hProcess, INFINITE);
    exited_ = true;
    exitCode_ = -1;
}

#else  // host

std::string programBesideTests(const std::string& name) {
    char self[PATH_MAX] = {};
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string folder(self, length > 0 ? static_cast<std::size_t>(length) : 0);
    return folder.erase(folder.find_last_of('/') + 1) + name;
}

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           const ChildSetup& setup)
    : name_(program) {
    std::vector<std::string> argumentCopies = {program};
    for (const std::string& argument : arguments) {
        name_ += " " + argument;
        argumentCopies.push_back(argument);
    }
    std::vector<char*> argumentPointers;
    for (std::string& argument : argumentCopies) {
        argumentPointers.push_back(argument.data());
    }
    argumentPointers.push_back(nullptr);

    std::vector<std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string variable = *entry;
        const std::string name = variable.substr(0, variable.find('='));
        if (std::none_of(setup.environment.begin(), setup.environment.end(),
                         [&](const auto& replaced) { return replaced.first == name; })) {
            variables.push_back(variable);
        }
    }
    for (const auto& [name, value] : setup.environment) {
        if (!value.empty()) {
            variables.push_back(name + "=" + value);
        }
    }
    std::vector<char*> variablePointers;
    for (std::string& variable : variables) {
        variablePointers.push_back(variable.data());
    }
    variablePointers.push_back(nullptr);

    int toChild[2] = {-1, -1};
    int fromChild[2] = {-1, -1};
    if (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe2 failed: " << std::strerror(errno);
        exited_ = true;
    } else {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
        if (setup.piped != Piped::Error) {
            posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
        }
        if (setup.piped != Piped::Output) {
            posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDERR_FILENO);
        }
        const int error = posix_spawn(&process_, program.c_str(), &actions, nullptr, argumentPointers.data(),
                                      variablePointers.data());
        posix_spawn_file_actions_destroy(&actions);
        if (error != 0) {
            ADD_FAILURE() << "posix_spawn failed for " << name_ << ": " << std::strerror(error);
            process_ = 0;
            exited_ = true;
        }
    }
    input_ = toChild[1];
    output_ = fromChild[0];
    for (const int childEnd : {toChild[0], fromChild[1]}) {
        if (childEnd != -1) {
            close(childEnd);
        }
    }
}

unsigned long ChildProcess::id() const { return static_cast<unsigned long>(process_); }

ChildProcess::Read ChildProcess::readMore(Clock::time_point deadline) {
    if (output_ == -1) {
        return Read::End;
    }
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd ready = {output_, POLLIN, 0};
        const int count = poll(&ready, 1, static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0)));
        if (count == 0) {
            return Read::TimedOut;
        }
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Read::End;
        }
        char chunk[256];
        const ssize_t got = read(output_, chunk, sizeof chunk);
        if (got <= 0) {
            return Read::End;
        }
        pending_.append(chunk, static_cast<std::size_t>(got));
        return Read::Data;
    }
}

void ChildProcess::endInput() {
    if (input_ != -1) {
        close(input_);
        input_ = -1;
    }
}

bool ChildProcess::endedWithin(std::chrono::milliseconds limit) {
    const Clock::time_point deadline = Clock::now() + limit;
    int status = 0;
    for (;;) {
        const pid_t ended = waitpid(process_, &status, WNOHANG);
        if (ended == process_) {
            break;
        }
        if ((ended == -1 && errno != EINTR) || Clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    exited_ = true;
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return true;
}

void ChildProcess::kill() {
    ::kill(process_, SIGKILL);
    int status = 0;
    waitpid(process_, &status, 0);
    exited_ = true;
    exitCode_ = -1;
}

#endif
