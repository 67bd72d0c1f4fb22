#include "tests/robustness/WholeRun.h"

#include "app/Application.h"
#include "app/Clock.h"
#include "app/LogFile.h"
#include "primary/ScanPass.h"
#include "simulation/SimulatedWindowSystem.h"
#include "tests/support/Files.h"
#ifndef _WIN32
#include "simulation/MutexStandIns.h"
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <vector>

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
#ifndef _WIN32
        simulation::simulatedWindowSystem().setLockProbe(&simulation::ownedByThisThread);
#endif
        try {
            run.exitCode = runTool(settings, systemClock(), runPass);
        } catch (const std::exception& failure) {
            run.exitCode = reportFailure(logFile, failure.what());
        }
    }
#ifndef _WIN32
    // The single-instance lock is held for the whole run, the family lock by each pass from its first
    // look at the screens to the end of its switch: every display call has both.
    const std::vector<simulation::SimulatedCall>& calls = simulation::simulatedWindowSystem().calls();
    EXPECT_TRUE(std::all_of(calls.begin(), calls.end(), [](const simulation::SimulatedCall& call) {
        return call.singleInstanceLockHeld;
    })) << "a display call without the single-instance lock";
    EXPECT_TRUE(std::all_of(calls.begin(), calls.end(), [](const simulation::SimulatedCall& call) {
        return call.familyLockHeld;
    })) << "a display call without the family lock";
    simulation::simulatedWindowSystem().setLockProbe(nullptr);
#endif
    run.log = readTextFile(path);
    run.events = simulation::recordedEvents();
    return run;
}

}  // namespace orvi::testing
