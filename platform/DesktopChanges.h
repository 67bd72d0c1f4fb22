// The window system's notices that the desktop's screens changed, as the wait for a Kiv listens for
// them between two scan passes.
//
// Two implementations of desktopChanges() exist, chosen at link time like the display services:
// platform/RealDesktopChanges.cpp (user32, Windows only, what ships) and the simulated window
// system's (simulation/SimulatedDesktopChanges.cpp), which the host executable links.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace orvi::platform {

// What the tool does when its session ends (sign-out, shutdown; on the host SIGTERM or SIGINT) while
// a listener exists. Called once, inside the wait that hears of the end and before that wait
// returns: Windows may end the process as soon as the tool has answered the end of its session, so
// what must still be written is written here.
using SessionEnding = std::function<void()>;

// Listens from its creation to its destruction, on the thread that created it.
class DesktopChangeListener {
public:
    virtual ~DesktopChangeListener() = default;
    // Blocks until the window system announces a change of the desktop's screens (true), or for
    // about `milliseconds` (false). May return false early; never returns at once without a reason,
    // so that a caller that waits again does not spin, except once the session has ended.
    virtual bool waitMilliseconds(std::uint32_t milliseconds) = 0;
    // Whether the session ended during a wait (its SessionEnding has been called); every wait after
    // that returns false at once.
    virtual bool sessionEnded() const = 0;
};

class DesktopChanges {
public:
    virtual ~DesktopChanges() = default;
    // Starts listening. Null when the window system cannot be listened to; nothing is reported then,
    // not even the end of the session.
    virtual std::unique_ptr<DesktopChangeListener> listen(const SessionEnding& sessionEnding) = 0;
};

// Listens to nothing: every wait sleeps its whole time, as on a machine where notices fail.
class NoDesktopChanges final : public DesktopChanges {
public:
    std::unique_ptr<DesktopChangeListener> listen(const SessionEnding& /*sessionEnding*/) override { return nullptr; }
};

inline DesktopChanges& noDesktopChanges() {
    static NoDesktopChanges none;
    return none;
}

// The window system's notices.
DesktopChanges& desktopChanges();

}  // namespace orvi::platform
