#include "ToolRunner.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <system_error>
#include <thread>

namespace e2e {
namespace {

constexpr std::chrono::seconds kLongestRun(60);

}  // namespace

std::string toolPath() { return programBesideTests("SetPrimaryKiv"); }

ToolProcess::ToolProcess(const std::vector<std::string>& arguments, const std::string& program)
    : child_(program, arguments, {Piped::Error}) {}

ToolRun ToolProcess::finish(Box box) {
    ToolRun run;
    if (box == Box::Expected && child_.id() != 0) {
        // Watched for only while the tool runs: a tool that ended has shown all it will show.
        const auto deadline = std::chrono::steady_clock::now() + kLongestRun;
        while (!run.box && !child_.hasEnded() && std::chrono::steady_clock::now() < deadline) {
            run.box = boxwatch::closeNextBox("", child_.id(), 500);
        }
        EXPECT_TRUE(run.box.has_value()) << (child_.hasEnded() ? "the tool ended without a message box that showed"
                                                               : "the tool showed no message box");
    }
    run.exitCode = static_cast<DWORD>(child_.waitForExit(kLongestRun));
    run.standardError = child_.readToEnd();
    return run;
}

ToolRun runTool(const std::vector<std::string>& arguments, Box box) { return ToolProcess(arguments).finish(box); }

std::string folderIn(const TemporaryFolder& parent, const std::string& name) {
    const std::filesystem::path folder = parent.path() / std::filesystem::u8path(name);
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        ADD_FAILURE() << "cannot make the folder " << name << ": " << error.message();
    }
    return folder.u8string() + "\\";
}

std::string systemText(DWORD code) {
    char* buffer = nullptr;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM, nullptr,
                   code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&buffer), 0, nullptr);
    std::string text = buffer != nullptr ? buffer : "";
    LocalFree(buffer);
    return text;
}

std::string readUtf8Path(const std::string& path) { return readFile(std::filesystem::u8path(path)); }

bool waitForText(const std::string& path, const std::string& text, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (readUtf8Path(path).find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

}  // namespace e2e
