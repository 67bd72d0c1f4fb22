#include "app/DeviceWait.h"

#include <algorithm>
#include <memory>

namespace orvi {
namespace {

constexpr std::int64_t kNanosecondsPerSecond = 1000000000;
constexpr std::int64_t kNanosecondsPerMillisecond = 1000000;
constexpr std::int64_t kFirstInterval = 10;
constexpr std::int64_t kLongestInterval = 30;
constexpr std::int32_t kPollsAtFirstInterval = 3;
// Single precision on purpose: 26 * 1.2f truncates to 31, which the cap turns into 30.
constexpr float kIntervalGrowth = 1.2f;
// A screen that is plugged in makes Windows announce several changes within a few hundred
// milliseconds (the device node, the monitor's interface, the new desktop mode), and the desktop is
// not complete at the first of them. One second of quiet outlasts such a burst, and the screen still
// becomes primary within about the second in which a user expects it to.
constexpr std::int64_t kSettleTime = 1 * kNanosecondsPerSecond;

// Rounded up, so that a wait never ends short of its end by a fraction of a millisecond. The
// remaining time is at most one interval (30 s), well within 32 bits.
std::uint32_t millisecondsUntil(std::int64_t now, std::int64_t end) {
    return static_cast<std::uint32_t>((end - now + kNanosecondsPerMillisecond - 1) / kNanosecondsPerMillisecond);
}

}  // namespace

std::int64_t nextPollInterval(std::int32_t poll, std::int64_t previousInterval) {
    if (poll > kPollsAtFirstInterval && previousInterval < kLongestInterval) {
        const auto grown = static_cast<std::int32_t>(static_cast<float>(previousInterval) * kIntervalGrowth);
        return std::min<std::int64_t>(grown, kLongestInterval);
    }
    return previousInterval;
}

void sleepUntil(Clock& clock, std::int64_t wakeUpTime) {
    for (;;) {
        const std::int64_t now = clock.nowNanoseconds();
        if (now >= wakeUpTime) {
            return;
        }
        clock.sleepMilliseconds(millisecondsUntil(now, wakeUpTime));
    }
}

const char* endingLine(platform::Ending ending) {
    return ending == platform::Ending::Closing ? "The tool was asked to close, no more changes will be performed"
                                               : "The session is ending, no more changes will be performed";
}

Heard listenUntil(Clock& clock, platform::DesktopChangeListener& listener, std::optional<std::int64_t> wakeUpTime) {
    Heard heard;
    std::optional<std::int64_t> endTime = wakeUpTime;
    for (std::int64_t now = clock.nowNanoseconds(); !endTime || now < *endTime; now = clock.nowNanoseconds()) {
        const platform::Notices notices =
            listener.waitMilliseconds(endTime ? millisecondsUntil(now, *endTime) : INFINITE);
        if (listener.sessionEnded()) {
            heard.ended = true;
            return heard;
        }
        if (notices) {
            heard.notices |= notices;
            const std::int64_t heardAt = clock.nowNanoseconds();
            heard.firstNoticeTime = heard.firstNoticeTime.value_or(heardAt);
            const std::int64_t settled = heardAt + kSettleTime;
            endTime = wakeUpTime ? std::min(settled, *wakeUpTime) : settled;
        }
    }
    return heard;
}

namespace {

struct WaitEnd {
    std::int64_t time;  // when the wait was meant to end
    bool sessionEnded;
};

// Blocks until the clock reads wakeUpTime or, after a notice, until no further one has come for the
// settle time, or until the session ends; the listener exists only during the wait. Returns when the
// wait was meant to end: wakeUpTime, or the earlier end of the settling.
WaitEnd waitUntilWakeUpOrSettled(Clock& clock, platform::DesktopChanges& changes, std::int64_t wakeUpTime,
                                 const platform::SessionEnding& sessionEnding) {
    const std::unique_ptr<platform::DesktopChangeListener> listener = changes.listen(sessionEnding);
    if (!listener) {
        sleepUntil(clock, wakeUpTime);
        return {wakeUpTime, false};
    }
    const Heard heard = listenUntil(clock, *listener, wakeUpTime);
    if (heard.ended) {
        return {wakeUpTime, true};
    }
    return {heard.notices ? std::min(clock.nowNanoseconds(), wakeUpTime) : wakeUpTime, false};
}

}  // namespace

WaitOutcome waitForKiv(std::ostream& log, std::int64_t maxWaitSeconds, std::int64_t startTime, Clock& clock,
                       const ScanPass& scanPass, platform::DesktopChanges& changes,
                       const platform::SessionEnding& sessionEnding, const char* giveUpLine) {
    // The log texts are fixed, spelling included ("apear"): people and tools match them exactly.
    log << "Kiv device isn't found. " << maxWaitSeconds << "s for it to apear" << std::endl;
    const platform::SessionEnding endOfRun = [&](platform::Ending ending) {
        log << endingLine(ending) << std::endl;
        sessionEnding(ending);
    };
    const std::int64_t deadline = startTime + maxWaitSeconds * kNanosecondsPerSecond;
    std::int64_t baseTime = startTime;
    std::int64_t interval = kFirstInterval;
    std::int32_t poll = 0;
    WaitEnd waitEnd{0, false};
    // A wait that lasted to the deadline is the last one even when its pass ends at the very deadline
    // on a coarse clock: polling again from there would run passes without end. A wait that a notice
    // ended earlier is followed by the next poll, as any other, so the tool still looks until the
    // deadline.
    do {
        ++poll;
        interval = nextPollInterval(poll, interval);
        log << "Poll: Waiting for Kiv device for up to " << interval << "s" << std::endl;
        waitEnd = waitUntilWakeUpOrSettled(clock, changes,
                                           std::min(baseTime + interval * kNanosecondsPerSecond, deadline), endOfRun);
        if (waitEnd.sessionEnded) {
            return WaitOutcome::SessionEnded;
        }
        const PassResult result = scanPass();
        if (result != PassResult::NoKiv) {
            return result == PassResult::KivFound ? WaitOutcome::KivFound : WaitOutcome::SessionEnded;
        }
        baseTime = clock.nowNanoseconds();
    } while (waitEnd.time < deadline && deadline >= baseTime);
    if (giveUpLine != nullptr) {
        log << giveUpLine << std::endl;
    }
    return WaitOutcome::WaitRanOut;
}

}  // namespace orvi
