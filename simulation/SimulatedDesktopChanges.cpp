// The notices of desktop changes on the host: the simulated window system's announcements. A wait
// sleeps (the Sleep stand-in) until the window system's next timed plug-in or the end of a session
// lock at most, so on virtual time (SIMULATED_CLOCK=1) it moves the clock on to exactly the moment
// the adapter arrives or the session comes back. A session that came back while the tool did not
// listen (during a pass) goes unheard, as on Windows, where the listening window exists only while
// the tool waits. This needs the
// window system's clock to be the one that Sleep moves: the performance counter, which the host
// executable gives it (DesktopFromEnvironment.h).
#include "platform/DesktopChanges.h"

#include "platform/Win32.h"
#include "simulation/SimulatedWindowSystem.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace orvi::platform {
namespace {

constexpr std::int64_t kNanosecondsPerMillisecond = 1000000;

class SimulatedListener final : public DesktopChangeListener {
public:
    SimulatedListener() {
        simulation::SimulatedWindowSystem& system = simulation::simulatedWindowSystem();
        system.announceUnlocks(false);
        seen_ = system.changeNotices();
    }

    bool waitMilliseconds(std::uint32_t milliseconds) override {
        simulation::SimulatedWindowSystem& system = simulation::simulatedWindowSystem();
        const std::int64_t now = system.now();
        const std::optional<std::int64_t> next = earliest(system.nextPlugInTime(), system.nextUnlockTime());
        if (next && *next < now + milliseconds * kNanosecondsPerMillisecond) {
            const std::int64_t untilNext = std::max<std::int64_t>(*next - now, 0);
            Sleep(static_cast<DWORD>((untilNext + kNanosecondsPerMillisecond - 1) / kNanosecondsPerMillisecond));
        } else {
            Sleep(milliseconds);
        }
        system.plugInDue();
        system.announceUnlocks();
        const unsigned notices = system.changeNotices();
        return std::exchange(seen_, notices) != notices;
    }

private:
    static std::optional<std::int64_t> earliest(std::optional<std::int64_t> a, std::optional<std::int64_t> b) {
        if (a && b) {
            return std::min(*a, *b);
        }
        return a ? a : b;
    }

    unsigned seen_ = 0;  // the window system's announcements before this wait
};

class SimulatedDesktopChanges final : public DesktopChanges {
public:
    std::unique_ptr<DesktopChangeListener> listen() override { return std::make_unique<SimulatedListener>(); }
};

}  // namespace

DesktopChanges& desktopChanges() {
    static SimulatedDesktopChanges changes;
    return changes;
}

}  // namespace orvi::platform
