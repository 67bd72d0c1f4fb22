// Waiting for a Kiv screen: polls with a growing interval until a scan pass finds one or the
// maximum wait has run out.
#pragma once

#include "app/Clock.h"
#include "platform/DesktopChanges.h"

#include <cstdint>
#include <functional>
#include <ostream>

namespace orvi {

// A scan pass: true when it found a Kiv screen. It may throw; the exception ends the wait at once.
using ScanPass = std::function<bool()>;

// The interval announced for poll number `poll` (1, 2, ...): 10, 10, 10, 12, 14, 16, 19, 22, 26,
// then 30 seconds, given the interval of the poll before.
std::int64_t nextPollInterval(std::int32_t poll, std::int64_t previousInterval);

// Blocks until the clock reads wakeUpTime or later, sleeping the whole remaining time at once.
void sleepUntil(Clock& clock, std::int64_t wakeUpTime);

enum class WaitOutcome {
    KivFound,      // a pass found a Kiv
    WaitRanOut,    // no pass found one up to the deadline
    SessionEnded,  // the session ended during a wait
};

// Called after a first pass that found nothing, with a maxWaitSeconds above 0. Each wait is counted
// from the end of the previous pass (the first from startTime) and cut at startTime + maxWaitSeconds.
// During each wait, and only then, it listens to `changes`: a change of the desktop ends the wait
// once no further change has come for a settle time of one second (but not later than the wait
// would have ended); when it cannot listen, it sleeps. A pass follows every wait. Returns KivFound as
// soon as a pass finds a Kiv, WaitRanOut once the pass after a wait that lasted to the deadline ends,
// or a pass ends past the deadline (after writing the give-up line). When the session ends during a
// wait, it writes one line and calls `sessionEnding`, both inside the listener's wait that heard of
// the end (see platform::SessionEnding), and returns SessionEnded without a further pass.
WaitOutcome waitForKiv(
    std::ostream& log, std::int64_t maxWaitSeconds, std::int64_t startTime, Clock& clock, const ScanPass& scanPass,
    platform::DesktopChanges& changes = platform::noDesktopChanges(),
    const platform::SessionEnding& sessionEnding = [] {});

}  // namespace orvi
