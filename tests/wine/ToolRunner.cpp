#include "ToolRunner.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

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

std::wstring utf16(const std::string& utf8) {
    const int size = static_cast<int>(utf8.size());
    std::wstring text(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, text.data(), static_cast<int>(text.size()));
    return text;
}

HANDLE inheritableFile(const std::string& path) {
    SECURITY_ATTRIBUTES inherit{};
    inherit.nLength = sizeof inherit;
    inherit.bInheritHandle = TRUE;
    return CreateFileW(utf16(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

std::string binaryFolder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::filesystem::path(path).parent_path().u8string() + "\\";
}

std::string toolPath() { return binaryFolder() + "SetPrimaryKiv.exe"; }

std::string freshFolder(const std::string& name) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / std::filesystem::u8path("kiv-e2e-" + name);
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder.u8string() + "\\";
}

std::string readFile(const std::string& path) {
    std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

bool waitForText(const std::string& path, const std::string& text, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (readFile(path).find(text) == std::string::npos) {
        if (GetTickCount64() >= deadline) {
            return false;
        }
        Sleep(50);
    }
    return true;
}

ToolProcess::ToolProcess(const std::string& arguments, const std::string& name, const std::string& program) {
    const std::string folder = freshFolder(name);
    outPath_ = folder + "stdout.txt";
    errPath_ = folder + "stderr.txt";
    Handle out{inheritableFile(outPath_)};
    Handle err{inheritableFile(errPath_)};
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out.value;
    startup.hStdError = err.value;
    std::wstring commandLine = utf16("\"" + program + "\" " + arguments);
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process_)) {
        ADD_FAILURE() << "cannot start the tool: error " << GetLastError();
        process_ = PROCESS_INFORMATION{};
    }
}

ToolProcess::~ToolProcess() {
    if (process_.hProcess != nullptr) {
        TerminateProcess(process_.hProcess, 255);
        WaitForSingleObject(process_.hProcess, INFINITE);
        CloseHandle(process_.hProcess);
        CloseHandle(process_.hThread);
    }
}

ToolRun ToolProcess::finish(Box box, DWORD timeoutMs) {
    ToolRun run;
    if (process_.hProcess == nullptr) {
        return run;
    }
    if (box == Box::Expected) {
        run.box = boxwatch::closeNextBox("", process_.dwProcessId, timeoutMs);
        EXPECT_TRUE(run.box.has_value()) << "the tool showed no message box";
    }
    if (WaitForSingleObject(process_.hProcess, timeoutMs) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "the tool did not end in time (an unexpected message box?)";
        boxwatch::closeNextBox("", process_.dwProcessId, 1000);
        TerminateProcess(process_.hProcess, 255);
        WaitForSingleObject(process_.hProcess, INFINITE);
    }
    GetExitCodeProcess(process_.hProcess, &run.exitCode);
    CloseHandle(process_.hProcess);
    CloseHandle(process_.hThread);
    process_ = PROCESS_INFORMATION{};
    run.standardOutput = readFile(outPath_);
    run.standardError = readFile(errPath_);
    return run;
}

ToolRun runTool(const std::string& arguments, Box box, DWORD timeoutMs) {
    return ToolProcess(arguments).finish(box, timeoutMs);
}

}  // namespace e2e
