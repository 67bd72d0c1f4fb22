// Runs the host executable SetPrimaryKiv (KIV_TOOL_PATH) as a child process, as a user would from a
// shell, and collects what it left.
#pragma once

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace hostrun {

struct ToolRun {
    int exitCode = -1;   // 128 + the signal when it was killed
    std::string output;  // standard output and standard error, interleaved
    std::chrono::duration<double> elapsed{};
};

// The variables that the stand-ins read (SIMULATED_DESKTOP, SIMULATED_CLOCK, XDG_RUNTIME_DIR) are
// taken out of this process's environment and `environment` is added; standard output and error
// go to `outputPath`. A tool that has not ended after a minute fails the calling test and is killed.
ToolRun runTool(const std::vector<std::string>& arguments,
                const std::vector<std::pair<std::string, std::string>>& environment, const std::string& outputPath);

// A fresh folder of this user's alone (mode 0700), with a trailing slash.
std::string freshFolder();

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& content);

}  // namespace hostrun
