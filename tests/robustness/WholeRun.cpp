#include "tests/robustness/WholeRun.h"

#include "app/Application.h"
#include "app/Clock.h"
#include "app/LogFile.h"
#include "platform/DesktopChanges.h"
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

// A clock that moves only when slept on, the window system's too.
class RunClock final : public Clock {
public:
    std::int64_t nowNanoseconds() override { return now; }
    void sleepMilliseconds(std::uint32_t milliseconds) override { now += std::int64_t{milliseconds} * 1000000; }
    std::int64_t now = 0;
};

WholeRun runWhole(bool watch) {
    const std::filesystem::path path = privateFolder() / "run.log";
    std::filesystem::remove(path);
    WholeRun run;
    RunClock runClock;
    simulation::SimulatedWindowSystem& system = simulation::simulatedWindowSystem();
    {
        LogFile logFile;
        if (!logFile.open(path.string())) {
            ADD_FAILURE() << "cannot open " << path;
            return run;
        }
        const StartupSettings settings{0, logFile.stream(), watch};
        simulation::forgetRecordedEvents();
#ifndef _WIN32
        system.setLockProbe(&simulation::ownedByThisThread);
        if (watch) {
            system.setClock([&runClock] { return runClock.now; });
            system.setSleep([&runClock](DWORD milliseconds) { runClock.sleepMilliseconds(milliseconds); });
        }
#endif
        try {
#ifndef _WIN32
            if (watch) {
                run.exitCode = runTool(settings, runClock, runPass, platform::desktopChanges());
            } else
#endif
            {
                run.exitCode = runTool(settings, systemClock(), runPass);
            }
        } catch (const std::exception& failure) {
            run.exitCode = reportFailure(logFile, failure.what());
        }
    }
#ifndef _WIN32
    // The single-instance lock is held for the whole run, the family lock by each pass from its first
    // look at the screens to the end of its switch: every display call has both.
    const std::vector<simulation::SimulatedCall>& calls = system.calls();
    EXPECT_TRUE(std::all_of(calls.begin(), calls.end(), [](const simulation::SimulatedCall& call) {
        return call.singleInstanceLockHeld;
    })) << "a display call without the single-instance lock";
    EXPECT_TRUE(std::all_of(calls.begin(), calls.end(), [](const simulation::SimulatedCall& call) {
        return call.familyLockHeld;
    })) << "a display call without the family lock";
    system.setLockProbe(nullptr);
#endif
    system.setClock(nullptr);
    system.setSleep(nullptr);
    run.log = readTextFile(path);
    run.events = simulation::recordedEvents();
    return run;
}

}  // namespace

WholeRun runWholeTool() { return runWhole(false); }

#ifndef _WIN32
WholeRun runWholeWatch() { return runWhole(true); }
#endif

}  // namespace orvi::testing
