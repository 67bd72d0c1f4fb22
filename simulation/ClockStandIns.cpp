// Host stand-ins for the performance counter (nanoseconds of the monotonic clock) and Sleep.
//
// With the environment variable SIMULATED_CLOCK set to 1 they run on virtual time instead: the
// counter starts at 0 and moves only when Sleep is called, by exactly the time asked for, and Sleep
// returns at once. A run that waits for minutes then takes no real time, and every wait lasts
// exactly as long as the tool meant it to. Any other value, or none, gives real time.
#include "platform/Win32.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

constexpr std::int64_t kNanosecondsPerMillisecond = 1000000;

bool onVirtualTime() {
    static const bool simulated = [] {
        const char* variable = std::getenv("SIMULATED_CLOCK");
        return variable != nullptr && std::strcmp(variable, "1") == 0;
    }();
    return simulated;
}

std::atomic<std::int64_t> virtualNanoseconds{0};

}  // namespace

BOOL QueryPerformanceCounter(LARGE_INTEGER* count) {
    count->QuadPart =
        onVirtualTime()
            ? virtualNanoseconds.load()
            : std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
                  .count();
    return TRUE;
}

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
    frequency->QuadPart = 1000000000;
    return TRUE;
}

void Sleep(DWORD milliseconds) {
    if (onVirtualTime()) {
        virtualNanoseconds += static_cast<std::int64_t>(milliseconds) * kNanosecondsPerMillisecond;
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
