// The notices of desktop changes on the host: the simulated window system's announcements. A wait
// sleeps (the Sleep stand-in) until the window system's next timed plug-in at most, so on virtual time
// (SIMULATED_CLOCK=1) it moves the clock on to exactly the moment the adapter arrives. This needs the
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
    SimulatedListener() : seen_(simulation::simulatedWindowSystem().changeNotices()) {}

    bool waitMilliseconds(std::uint32_t milliseconds) override {
        simulation::SimulatedWindowSystem& system = simulation::simulatedWindowSystem();
        const std::int64_t now = system.now();
        const std::optional<std::int64_t> next = system.nextPlugInTime();
        if (next && *next < now + milliseconds * kNanosecondsPerMillisecond) {
            const std::int64_t untilNext = std::max<std::int64_t>(*next - now, 0);
            Sleep(static_cast<DWORD>((untilNext + kNanosecondsPerMillisecond - 1) / kNanosecondsPerMillisecond));
        } else {
            Sleep(milliseconds);
        }
        system.plugInDue();
        const unsigned notices = system.changeNotices();
        return std::exchange(seen_, notices) != notices;
    }

private:
    unsigned seen_;  // the window system's announcements before this wait
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
