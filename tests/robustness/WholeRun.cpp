#include "tests/robustness/WholeRun.h"

#include "app/Application.h"
#include "app/Clock.h"
#include "app/LogFile.h"
#include "primary/ScanPass.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

namespace orvi::testing {
namespace {

// A fresh folder of this test program's own under the temporary folder, removed at exit.
class PrivateFolder {
public:
    PrivateFolder() {
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        path_ = std::filesystem::temp_directory_path() / ("kiv-robustness-" + std::to_string(stamp));
        std::filesystem::create_directories(path_);
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::replace);
#ifndef _WIN32
        // The mutex stand-ins keep their named objects under $XDG_RUNTIME_DIR.
        setenv("XDG_RUNTIME_DIR", path_.c_str(), 1);
#endif
    }
    ~PrivateFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

const std::filesystem::path& privateFolder() {
    static const PrivateFolder folder;
    return folder.path();
}

std::string readText(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

}  // namespace

WholeRun runWholeTool() {
    const std::filesystem::path path = privateFolder() / "run.log";
    std::filesystem::remove(path);
    WholeRun run;
    {
        LogFile logFile;
        if (!logFile.open(path.string())) {
            ADD_FAILURE() << "cannot open " << path;
            return run;
        }
        const StartupSettings settings{0, logFile.stream()};
        try {
            run.exitCode = runTool(settings, systemClock(), runScanPass);
        } catch (const std::exception& failure) {
            run.exitCode = reportFailure(logFile, failure.what());
        }
    }
    run.log = readText(path);
    return run;
}

}  // namespace orvi::testing
