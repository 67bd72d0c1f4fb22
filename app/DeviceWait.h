// Waiting for a Kiv screen: polls with a growing interval until a scan pass finds one or the
// maximum wait has run out.
#pragma once

#include "app/Clock.h"
#include "platform/DesktopChanges.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>

namespace orvi {

enum class PassResult {
    NoKiv,
    KivFound,
    Stopped,  // the run is to end: the pass stopped while it waited for the family lock
};

// A scan pass. It may throw; the exception ends the wait at once.
using ScanPass = std::function<PassResult()>;

// The interval announced for poll number `poll` (1, 2, ...): 10, 10, 10, 12, 14, 16, 19, 22, 26,
// then 30 seconds, given the interval of the poll before.
std::int64_t nextPollInterval(std::int32_t poll, std::int64_t previousInterval);

// Blocks until the clock reads wakeUpTime or later, sleeping the whole remaining time at once.
void sleepUntil(Clock& clock, std::int64_t wakeUpTime);

// What a listener heard in one wait (listenUntil).
struct Heard {
    platform::Notices notices;                    // everything the window system announced in the wait
    std::optional<std::int64_t> firstNoticeTime;  // when the first of them was heard (the clock's time)
    bool ended = false;                           // the run is to end
};

// Blocks until the clock reads wakeUpTime (none: without a time limit, and without a timer) or, once
// the window system announced something, until nothing more has come for the settle time of one
// second (but not past wakeUpTime), or until the run is told to end.
Heard listenUntil(Clock& clock, platform::DesktopChangeListener& listener, std::optional<std::int64_t> wakeUpTime);

// The line that a run told to end writes: "The session is ending, no more changes will be performed"
// at a sign-out or shutdown, "The tool was asked to close, no more changes will be performed" when asked
// to close.
const char* endingLine(platform::Ending ending);

enum class WaitOutcome {
    KivFound,      // a pass found a Kiv
    WaitRanOut,    // no pass found one up to the deadline
    SessionEnded,  // the run was told to end during a wait or a pass's wait for the family lock
};

// Called after a first pass that found nothing, with a maxWaitSeconds above 0. Each wait is counted
// from the end of the previous pass (the first from startTime) and cut at startTime + maxWaitSeconds.
// During each wait, and only then, it listens to `changes`: any notice ends the wait once no further
// notice has come for a settle time of one second (but not later than the wait would have ended);
// when it cannot listen, it sleeps. A pass follows every wait. Returns KivFound as soon as a pass
// finds a Kiv, WaitRanOut once the pass after a wait that lasted to the deadline ends, or a pass ends
// past the deadline (after writing `giveUpLine`, unless null). When the run is told to end during a wait, it
// writes its endingLine and calls `sessionEnding`, both inside the listener's wait that heard of the
// end (see platform::SessionEnding), and returns SessionEnded without a further pass; it returns so
// too when a pass stopped (which wrote what it had to).
WaitOutcome waitForKiv(
    std::ostream& log, std::int64_t maxWaitSeconds, std::int64_t startTime, Clock& clock, const ScanPass& scanPass,
    platform::DesktopChanges& changes = platform::noDesktopChanges(),
    const platform::SessionEnding& sessionEnding = [](platform::Ending) {},
    const char* giveUpLine = "Kiv is not connected, no more changes will be performed");

}  // namespace orvi
