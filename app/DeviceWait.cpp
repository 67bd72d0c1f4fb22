#include "app/DeviceWait.h"

#include <algorithm>

namespace orvi {
namespace {

constexpr std::int64_t kNanosecondsPerSecond = 1000000000;
constexpr std::int64_t kNanosecondsPerMillisecond = 1000000;
constexpr std::int64_t kFirstInterval = 10;
constexpr std::int64_t kLongestInterval = 30;
constexpr std::int32_t kPollsAtFirstInterval = 3;
// Single precision on purpose: 26 * 1.2f truncates to 31, which the cap turns into 30.
constexpr float kIntervalGrowth = 1.2f;

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
        // Rounded up, so that the sleep never ends short of the wake-up time by a fraction of a
        // millisecond. The remaining time is at most one interval (30 s), well within 32 bits.
        const std::int64_t remaining = wakeUpTime - now;
        clock.sleepMilliseconds(
            static_cast<std::uint32_t>((remaining + kNanosecondsPerMillisecond - 1) / kNanosecondsPerMillisecond));
    }
}

bool waitForKiv(std::ostream& log, std::int64_t maxWaitSeconds, std::int64_t startTime, Clock& clock,
                const ScanPass& scanPass) {
    // The log texts are fixed, spelling included ("apear"): people and tools match them exactly.
    log << "Kiv device isn't found. " << maxWaitSeconds << "s for it to apear" << std::endl;
    const std::int64_t deadline = startTime + maxWaitSeconds * kNanosecondsPerSecond;
    std::int64_t baseTime = startTime;
    std::int64_t interval = kFirstInterval;
    std::int32_t poll = 0;
    std::int64_t wakeUpTime = 0;
    // A wait cut at the deadline is the last one even when its pass ends at the very deadline on a
    // coarse clock: polling again from there would run passes without end.
    do {
        ++poll;
        interval = nextPollInterval(poll, interval);
        log << "Poll: Waiting for Kiv device for up to " << interval << "s" << std::endl;
        wakeUpTime = std::min(baseTime + interval * kNanosecondsPerSecond, deadline);
        sleepUntil(clock, wakeUpTime);
        if (scanPass()) {
            return true;
        }
        baseTime = clock.nowNanoseconds();
    } while (wakeUpTime < deadline && deadline >= baseTime);
    log << "Kiv is not connected, no more changes will be performed" << std::endl;
    return false;
}

}  // namespace orvi
