#include "tests/robustness/WholeRun.h"

#include "app/Application.h"
#include "app/Clock.h"
#include "app/LogFile.h"
#include "platform/DesktopChanges.h"
#include "primary/ScanPass.h"
#include "simulation/SimulatedWindowSystem.h"
#include "tests/support/Files.h"
#include "util/GlobalNamedMutex.h"
#ifndef _WIN32
#include "simulation/MutexStandIns.h"
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <future>
#include <optional>
#include <thread>
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

#ifndef _WIN32
// A sibling tool that takes the family lock once the run's clock reaches `at` (between two of the run's
// passes, when the run sleeps) and holds it for a moment of real time, so that the run's next pass
// waits for it.
class Sibling {
public:
    explicit Sibling(std::optional<std::int64_t> at) : at_(at) {}
    ~Sibling() {
        if (holder_.joinable()) {
            holder_.join();
        }
    }
    Sibling(const Sibling&) = delete;
    Sibling& operator=(const Sibling&) = delete;

    void timeIs(std::int64_t now) {
        if (!at_ || now < *at_ || holder_.joinable()) {
            return;
        }
        std::promise<void> tried;
        const std::future<void> triedYet = tried.get_future();
        holder_ = std::thread([tried = std::move(tried)]() mutable {
            const auto familyLock = util::GlobalNamedMutex::create("MorvaKivDisplayApp_main");
            const bool held = familyLock->tryLock();
            tried.set_value();
            if (held) {
                std::this_thread::sleep_for(std::chrono::milliseconds(30));
            }
        });
        triedYet.wait();
    }

private:
    std::optional<std::int64_t> at_;
    std::thread holder_;
};
#endif

WholeRun runWhole(bool watch, [[maybe_unused]] std::optional<std::int64_t> siblingAt = std::nullopt) {
    const std::filesystem::path path = privateFolder() / "run.log";
    std::filesystem::remove(path);
    WholeRun run;
    RunClock runClock;
#ifndef _WIN32
    Sibling sibling(siblingAt);
#endif
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
            system.setSleep([&runClock, &sibling](DWORD milliseconds) {
                runClock.sleepMilliseconds(milliseconds);
                sibling.timeIs(runClock.now);
            });
        }
#endif
        try {
#ifndef _WIN32
            if (watch) {
                run.exitCode = runTool(settings, runClock, runPass, platform::desktopChanges(), logFile);
            } else
#endif
            {
                run.exitCode = runTool(settings, systemClock(), runPass, platform::noDesktopChanges(), logFile);
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
WholeRun runWholeWatch(std::optional<std::int64_t> siblingLocksAt) { return runWhole(true, siblingLocksAt); }
#endif

}  // namespace orvi::testing
