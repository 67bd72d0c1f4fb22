#include "app/Clock.h"

#include "platform/Win32.h"

namespace orvi {
namespace {

class PerformanceCounterClock final : public Clock {
public:
    PerformanceCounterClock() {
        LARGE_INTEGER frequency{};
        QueryPerformanceFrequency(&frequency);
        frequency_ = frequency.QuadPart > 0 ? frequency.QuadPart : 1;
    }

    std::int64_t nowNanoseconds() override {
        LARGE_INTEGER counter{};
        QueryPerformanceCounter(&counter);
        // Whole seconds and the rest apart, so that counter * 10^9 cannot overflow after a long uptime.
        constexpr std::int64_t kNanosecondsPerSecond = 1000000000;
        const std::int64_t seconds = counter.QuadPart / frequency_;
        const std::int64_t rest = counter.QuadPart % frequency_;
        return seconds * kNanosecondsPerSecond + rest * kNanosecondsPerSecond / frequency_;
    }

    void sleepMilliseconds(std::uint32_t milliseconds) override { Sleep(milliseconds); }

private:
    std::int64_t frequency_;
};

}  // namespace

Clock& systemClock() {
    static PerformanceCounterClock clock;
    return clock;
}

}  // namespace orvi
