#include "tests/support/ChildProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <utility>

#ifndef _WIN32
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>
#include <cerrno>
#include <climits>

extern char** environ;
#endif

namespace {

using Clock = std::chrono::steady_clock;

// Under Wine a process start alone can take seconds.
constexpr std::chrono::seconds kAnswerTime(30);
constexpr std::chrono::seconds kGraceTime(5);

}  // namespace

std::string ChildProcess::readLine() {
    const Clock::time_point deadline = Clock::now() + kAnswerTime;
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
            return "<no answer in time>";
        }
    }
}

std::string ChildProcess::readToEnd() {
    const Clock::time_point deadline = Clock::now() + kAnswerTime;
    for (;;) {
        const Read read = readMore(deadline);
        if (read == Read::End) {
            return std::exchange(pending_, {});
        }
        if (read == Read::TimedOut) {
            return std::exchange(pending_, {}) + "<no answer in time>";
        }
    }
}

std::string answerOfAnotherProcess(const std::string& command, const std::string& mutexName) {
    ChildProcess child(command, mutexName);
    return child.readToEnd();
}

#ifdef _WIN32

ChildProcess::ChildProcess(const std::string& command, const std::string& mutexName) {
    char module[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, module, MAX_PATH);
    std::string folder(module, length);
    folder.erase(folder.find_last_of('\\') + 1);
    std::string commandLine = "\"" + folder + "mutex_holder.exe\" " + command + " " + mutexName;

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

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childInput;
    startup.hStdOutput = childOutput;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION started = {};
    if (CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &started)) {
        process_ = started.hProcess;
        CloseHandle(started.hThread);
    } else {
        ADD_FAILURE() << "CreateProcessA failed for " << commandLine << ": " << GetLastError();
        exited_ = true;
    }
    CloseHandle(childInput);
    CloseHandle(childOutput);
}

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

int ChildProcess::waitForExit() {
    DWORD code = 0;
    if (WaitForSingleObject(process_, INFINITE) != WAIT_OBJECT_0 || !GetExitCodeProcess(process_, &code)) {
        ADD_FAILURE() << "the child's exit code is unknown: " << GetLastError();
    }
    exited_ = true;
    return static_cast<int>(code);
}

void ChildProcess::endAndReap() {
    const auto graceMilliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(kGraceTime).count();
    if (!exited_ && WaitForSingleObject(process_, static_cast<DWORD>(graceMilliseconds)) != WAIT_OBJECT_0) {
        TerminateProcess(process_, 1);
        WaitForSingleObject(process_, INFINITE);
    }
    for (HANDLE handle : {process_, output_}) {
        if (handle != nullptr) {
            CloseHandle(handle);
        }
    }
}

#else  // host

ChildProcess::ChildProcess(const std::string& command, const std::string& mutexName) {
    char self[PATH_MAX] = {};
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string program(self, length > 0 ? static_cast<std::size_t>(length) : 0);
    program.erase(program.find_last_of('/') + 1);
    program += "mutex_holder";

    int toChild[2] = {-1, -1};
    int fromChild[2] = {-1, -1};
    if (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe2 failed: " << errno;
        exited_ = true;
        return;
    }
    input_ = toChild[1];
    output_ = fromChild[0];

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
    std::string commandArgument = command;
    std::string nameArgument = mutexName;
    char* arguments[] = {program.data(), commandArgument.data(), nameArgument.data(), nullptr};
    const int error = posix_spawn(&process_, program.c_str(), &actions, nullptr, arguments, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        ADD_FAILURE() << "posix_spawn failed for " << program << ": " << error;
        exited_ = true;
    }
    close(toChild[0]);
    close(fromChild[1]);
}

ChildProcess::Read ChildProcess::readMore(Clock::time_point deadline) {
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

int ChildProcess::waitForExit() {
    int status = 0;
    if (waitpid(process_, &status, 0) != process_) {
        ADD_FAILURE() << "waitpid failed: " << errno;
    }
    exited_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void ChildProcess::endAndReap() {
    const Clock::time_point deadline = Clock::now() + kGraceTime;
    int status = 0;
    while (!exited_ && waitpid(process_, &status, WNOHANG) == 0) {
        if (Clock::now() >= deadline) {
            kill(process_, SIGKILL);
            waitpid(process_, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (output_ != -1) {
        close(output_);
    }
}

#endif

ChildProcess::~ChildProcess() {
    endInput();
    endAndReap();
}
