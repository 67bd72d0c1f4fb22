// The monotonic clock and sleeping, as the wait for a Kiv uses them.
#pragma once

#include <cstdint>

namespace orvi {

class Clock {
public:
    virtual ~Clock() = default;
    // Nanoseconds since an arbitrary origin; never goes back.
    virtual std::int64_t nowNanoseconds() = 0;
    // Blocks the thread for about that long; may return early.
    virtual void sleepMilliseconds(std::uint32_t milliseconds) = 0;
};

// The performance counter and Sleep.
Clock& systemClock();

}  // namespace orvi
