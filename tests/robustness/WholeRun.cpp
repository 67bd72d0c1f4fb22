#include "tests/robustness/WholeRun.h"

#include "app/Application.h"
#include "app/Clock.h"
#include "app/LogFile.h"
#include "primary/ScanPass.h"
#include "tests/support/Files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <exception>
#include <filesystem>

namespace orvi::testing {
namespace {

// A folder of this test program's own, removed at exit.
const std::filesystem::path& privateFolder() {
    static const TemporaryFolder folder("robustness");
#ifndef _WIN32
    // The mutex stand-ins keep their named objects under $XDG_RUNTIME_DIR.
    setenv("XDG_RUNTIME_DIR", folder.path().c_str(), 1);
#endif
    return folder.path();
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
        simulation::forgetRecordedEvents();
        try {
            run.exitCode = runTool(settings, systemClock(), runScanPass);
        } catch (const std::exception& failure) {
            run.exitCode = reportFailure(logFile, failure.what());
        }
    }
    run.log = readTextFile(path);
    run.events = simulation::recordedEvents();
    return run;
}

}  // namespace orvi::testing
