// The notices of desktop changes on the host: the simulated window system's announcements. A wait
// sleeps (the Sleep stand-in) until the window system's next scheduled event at most (a timed
// plug-in, the end of a session lock, the events of a day: an unplug, the user's own primary, a sleep
// and the resume after it, the end of the session), so on virtual time (SIMULATED_CLOCK=1) it moves
// the clock on to exactly that moment. A session that came back while the tool did not listen goes
// unheard, as on Windows, where the listening window exists only while the tool waits (or watches).
// A wait without a time limit with nothing scheduled waits for the end alone. This needs the window
// system's clock to be the one that Sleep moves: the performance counter, which the host executable
// gives it (DesktopFromEnvironment.h).
//
// The end of the session is SIGTERM or SIGINT, as a service manager or a terminal ends a program, or
// the end that a desktop file schedules: a listener ends its wait on it as on WM_ENDSESSION on
// Windows. The signals are heard for the whole run, from the first use of the desktop changes (the
// host executable's main asks for them before the run begins) to its end, and are never forgotten:
// one that comes during a pass, between two listeners, lets the pass finish and ends the next wait at
// once, so that the run ends as it does inside a wait, with its line and its event.
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
// slices of this length and looks for the end of the session after each. The window system sleeps
// with Sleep in the host executable (DesktopFromEnvironment.h).
constexpr std::uint32_t kLongestSleep = 100;

DWORD millisecondsUntil(std::int64_t now, std::int64_t time) {
    const std::int64_t left = std::max<std::int64_t>(time - now, 0);
    return static_cast<DWORD>((left + kNanosecondsPerMillisecond - 1) / kNanosecondsPerMillisecond);
}

volatile std::sig_atomic_t endSignalled = 0;

void noteTheEnd(int /*signal*/) { endSignalled = 1; }

// Blocks until SIGTERM or SIGINT has come (also one that came before).
void waitForAnEndSignal() {
    sigset_t ends;
    sigemptyset(&ends);
    sigaddset(&ends, SIGTERM);
    sigaddset(&ends, SIGINT);
    sigset_t former;
    sigprocmask(SIG_BLOCK, &ends, &former);
    while (endSignalled == 0) {
        sigsuspend(&former);
    }
    sigprocmask(SIG_SETMASK, &former, nullptr);
}

// From then on SIGTERM and SIGINT set endSignalled, for the rest of the process. A call that a
// signal interrupts goes on (SA_RESTART): a pass that it meets writing to a pipe finishes its line.
void hearEndSignals() {
    struct sigaction action {};
    action.sa_handler = &noteTheEnd;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

class SimulatedListener final : public DesktopChangeListener {
public:
    explicit SimulatedListener(SessionEnding sessionEnding) : sessionEnding_(std::move(sessionEnding)) {
        simulation::SimulatedWindowSystem& system = simulation::simulatedWindowSystem();
        system.announceUnlocks(false);
        seen_ = system.notices();
    }

    Notices waitMilliseconds(std::uint32_t milliseconds) override {
        if (endOfSession()) {
            return {};
        }
        simulation::SimulatedWindowSystem& system = simulation::simulatedWindowSystem();
        const std::int64_t now = system.now();
        const std::optional<std::int64_t> next = system.nextEventTime();
        const std::uint32_t slice = std::min(milliseconds, kLongestSleep);
        if (const std::optional<std::int64_t> awake = system.asleepUntil()) {
            system.sleep(millisecondsUntil(now, *awake));  // the PC sleeps, and the tool with it
        } else if (milliseconds == INFINITE && !next) {
            waitForAnEndSignal();  // nothing will ever happen but the end
        } else if (next && *next < now + slice * kNanosecondsPerMillisecond) {
            system.sleep(millisecondsUntil(now, *next));
        } else {
            system.sleep(slice);
        }
        system.happenDue();
        system.announceUnlocks();
        const simulation::NoticeCounts counts = system.notices();
        Notices notices;
        notices.screens = counts.screens != seen_.screens;
        notices.sessionReturned = counts.sessionReturns != seen_.sessionReturns;
        notices.resumed = counts.resumes != seen_.resumes;
        seen_ = counts;
        if (endOfSession()) {
            return {};
        }
        return notices;
    }

    DWORD waitForObject(HANDLE object) override {
        for (;;) {
            if (endOfSession()) {
                return WAIT_TIMEOUT;
            }
            const DWORD result = WaitForSingleObject(object, kLongestSleep);
            if (result != WAIT_TIMEOUT) {
                return result;
            }
        }
    }

    bool sessionEnded() const override { return sessionEnded_; }

private:
    bool endOfSession() {
        const bool dayEnds = simulation::simulatedWindowSystem().sessionHasEnded();
        if ((endSignalled != 0 || dayEnds) && !sessionEnded_) {
            sessionEnded_ = true;
            sessionEnding_(Ending::SessionEnds);
        }
        return sessionEnded_;
    }

    SessionEnding sessionEnding_;
    bool sessionEnded_ = false;
    simulation::NoticeCounts seen_;  // the window system's announcements before this wait
};

class SimulatedDesktopChanges final : public DesktopChanges {
public:
    SimulatedDesktopChanges() { hearEndSignals(); }

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
