// The window system's notices that the desktop's screens changed, that the session came back or the PC
// woke up, and that the run is to end, as the wait for a Kiv and the watch listen for them.
//
// Two implementations of desktopChanges() exist, chosen at link time like the display services:
// platform/RealDesktopChanges.cpp (user32, Windows only, what ships) and the simulated window
// system's (simulation/SimulatedDesktopChanges.cpp), which the host executable links.
#pragma once

#include "platform/Win32.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace orvi::platform {

// How the run is told to end while a listener exists.
enum class Ending {
    SessionEnds,  // a sign-out or a shutdown (WM_ENDSESSION); on the host SIGTERM or SIGINT
    Closing,      // the tool is asked to close (WM_CLOSE, or WM_ENDSESSION with ENDSESSION_CLOSEAPP, as the
                  // Restart Manager does to replace or remove a running program)
};

// What the tool does when its run is told to end while a listener exists. Called once, inside the
// wait that hears of the end and before that wait returns: Windows may end the process as soon as the
// tool has answered the end of its session, so what must still be written is written here.
using SessionEnding = std::function<void(Ending)>;

// What the window system announced during a wait.
struct Notices {
    bool screens = false;          // the desktop's screens or their modes changed, or a device came or went
    bool sessionReturned = false;  // the session came back to the console (an unlock, a reconnection)
    bool resumed = false;          // the PC resumed from sleep or hibernation

    explicit operator bool() const { return screens || sessionReturned || resumed; }
    Notices& operator|=(const Notices& more) {
        screens = screens || more.screens;
        sessionReturned = sessionReturned || more.sessionReturned;
        resumed = resumed || more.resumed;
        return *this;
    }
};

// Listens from its creation to its destruction, on the thread that created it.
class DesktopChangeListener {
public:
    virtual ~DesktopChangeListener() = default;
    // Blocks until the window system announces something (the notices, also those that came since the
    // last wait, outside one), or for about `milliseconds` (none; INFINITE: no time limit). May return
    // none early; never returns at once without a reason, so that a caller that waits again does not
    // spin, except once the run is to end.
    virtual Notices waitMilliseconds(std::uint32_t milliseconds) = 0;
    // Blocks until `object` (a mutex, which the wait then owns) is signalled, hearing the window system
    // meanwhile: its notices are kept for the next waitMilliseconds, and the end of the run ends this wait
    // too. Answers as WaitForSingleObject without a time limit would (WAIT_OBJECT_0, WAIT_ABANDONED,
    // WAIT_FAILED with the thread's last error), or WAIT_TIMEOUT, not owning the object, once the run is
    // to end.
    virtual DWORD waitForObject(HANDLE object) = 0;
    // Whether the run was told to end (its SessionEnding has been called); every wait after that
    // returns at once.
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
