#include "ToolRunner.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace e2e {
namespace {

struct Handle {
    HANDLE value = nullptr;
    ~Handle() {
        if (value != nullptr && value != INVALID_HANDLE_VALUE) {
            CloseHandle(value);
        }
    }
};

HANDLE inheritableFile(const std::string& path) {
    SECURITY_ATTRIBUTES inherit{};
    inherit.nLength = sizeof inherit;
    inherit.bInheritHandle = TRUE;
    return CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

std::string binaryFolder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    return folder.substr(0, folder.find_last_of("\\/") + 1);
}

std::string freshFolder(const std::string& name) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / ("kiv-e2e-" + name);
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder.string() + "\\";
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

ToolRun runTool(const std::string& arguments, Box box, DWORD timeoutMs) {
    const std::string folder = freshFolder("streams");
    const std::string outPath = folder + "stdout.txt";
    const std::string errPath = folder + "stderr.txt";
    ToolRun run;
    {
        Handle out{inheritableFile(outPath)};
        Handle err{inheritableFile(errPath)};
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = nullptr;
        startup.hStdOutput = out.value;
        startup.hStdError = err.value;
        std::string commandLine = "\"" + binaryFolder() + "SetPrimaryKiv.exe\" " + arguments;
        std::vector<char> writable(commandLine.begin(), commandLine.end());
        writable.push_back('\0');
        PROCESS_INFORMATION process{};
        if (!CreateProcessA(nullptr, writable.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                            &process)) {
            ADD_FAILURE() << "cannot start the tool: error " << GetLastError();
            return run;
        }
        Handle processHandle{process.hProcess};
        Handle threadHandle{process.hThread};
        if (box == Box::Expected) {
            run.box = boxwatch::closeNextBox("", process.dwProcessId, timeoutMs);
            EXPECT_TRUE(run.box.has_value()) << "the tool showed no message box";
        }
        if (WaitForSingleObject(process.hProcess, timeoutMs) != WAIT_OBJECT_0) {
            ADD_FAILURE() << "the tool did not end in time (an unexpected message box?)";
            boxwatch::closeNextBox("", process.dwProcessId, 1000);
            TerminateProcess(process.hProcess, 255);
            WaitForSingleObject(process.hProcess, INFINITE);
        }
        GetExitCodeProcess(process.hProcess, &run.exitCode);
    }
    run.standardOutput = readFile(outPath);
    run.standardError = readFile(errPath);
    return run;
}

}  // namespace e2e
