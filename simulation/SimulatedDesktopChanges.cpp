// The notices of desktop changes on the host: the simulated window system's announcements. A wait
// sleeps (the Sleep stand-in) until the window system's next timed plug-in or the end of a session
// lock at most, so on virtual time (SIMULATED_CLOCK=1) it moves the clock on to exactly the moment
// the adapter arrives or the session comes back. A session that came back while the tool did not
// listen (during a pass) goes unheard, as on Windows, where the listening window exists only while
// the tool waits. This needs the
// window system's clock to be the one that Sleep moves: the performance counter, which the host
// executable gives it (DesktopFromEnvironment.h).
//
// The end of the session is SIGTERM or SIGINT, as a service manager or a terminal ends a program:
// while a listener exists they end the wait as WM_ENDSESSION does on Windows; at any other time they
// end the process, as Windows ends a process without a window at sign-out.
#include "platform/DesktopChanges.h"

#include "platform/Win32.h"
#include "simulation/SimulatedWindowSystem.h"

#include <algorithm>
#include <csignal>
#include <optional>
#include <utility>

namespace orvi::platform {
namespace {

constexpr std::int64_t kNanosecondsPerMillisecond = 1000000;
// A signal does not cut a sleep short (the Sleep stand-in sleeps on after it), so a wait sleeps in
// slices of this length and looks for the end of the session after each.
constexpr std::uint32_t kLongestSleep = 100;

volatile std::sig_atomic_t endSignalled = 0;

void noteTheEnd(int /*signal*/) { endSignalled = 1; }

// SIGTERM and SIGINT set endSignalled from its construction to its destruction.
class EndSignals {
public:
    EndSignals() {
        endSignalled = 0;
        struct sigaction action {};
        action.sa_handler = &noteTheEnd;
        sigemptyset(&action.sa_mask);
        sigaction(SIGTERM, &action, &formerTerm_);
        sigaction(SIGINT, &action, &formerInt_);
    }
    ~EndSignals() {
        sigaction(SIGTERM, &formerTerm_, nullptr);
        sigaction(SIGINT, &formerInt_, nullptr);
    }
    EndSignals(const EndSignals&) = delete;
    EndSignals& operator=(const EndSignals&) = delete;

private:
    struct sigaction formerTerm_ {};
    struct sigaction formerInt_ {};
};

class SimulatedListener final : public DesktopChangeListener {
public:
    explicit SimulatedListener(SessionEnding sessionEnding) : sessionEnding_(std::move(sessionEnding)) {
        simulation::SimulatedWindowSystem& system = simulation::simulatedWindowSystem();
        system.announceUnlocks(false);
        seen_ = system.changeNotices();
    }

    bool waitMilliseconds(std::uint32_t milliseconds) override {
        if (endOfSession()) {
            return false;
        }
        milliseconds = std::min(milliseconds, kLongestSleep);
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
        return std::exchange(seen_, notices) != notices && !endOfSession();
    }

    bool sessionEnded() const override { return sessionEnded_; }

private:
    bool endOfSession() {
        if (endSignalled != 0 && !sessionEnded_) {
            sessionEnded_ = true;
            sessionEnding_();
        }
        return sessionEnded_;
    }

    static std::optional<std::int64_t> earliest(std::optional<std::int64_t> a, std::optional<std::int64_t> b) {
        if (a && b) {
            return std::min(*a, *b);
        }
        return a ? a : b;
    }

    EndSignals endSignals_;
    SessionEnding sessionEnding_;
    bool sessionEnded_ = false;
    unsigned seen_ = 0;  // the window system's announcements before this wait
};

class SimulatedDesktopChanges final : public DesktopChanges {
public:
    std::unique_ptr<DesktopChangeListener> listen(const SessionEnding& sessionEnding) override {
        return std::make_unique<SimulatedListener>(sessionEnding);
    }
};

}  // namespace

DesktopChanges& desktopChanges() {
    static SimulatedDesktopChanges changes;
    return changes;
}

}  // namespace orvi::platform
