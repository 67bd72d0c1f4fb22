// One complete look at the attached screens, under the lock that the tools of the product family
// share, ending in the Kiv as the primary display when other screens stand beside it.
#pragma once

#include "primary/KivFinding.h"
#include "primary/PrimarySwitch.h"
#include "util/GlobalNamedMutex.h"

#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace orvi {

// What a pass saw once it sorted the screens, before it changes anything.
struct ScreensSeen {
    // Each attached screen's identity (ScreenDevice::identity), sorted: two looks at the same screens
    // give the same list wherever they stand.
    std::vector<std::string> screens;
    // The identity of the screen that is primary; empty when none is.
    std::string primary;
    // The identity of the Kiv screen that the pass makes primary (the first of the variant that takes
    // precedence); empty when no Kiv is attached.
    std::string kiv;
    bool kivFound = false;
    // A Kiv screen of the variant that takes precedence is the primary display, or every screen is one.
    bool kivPrimary = false;
};

// Called once the screens are sorted, before the pass decides: false holds the pass back there. It
// then changes nothing and writes nothing more, and the lines it wrote so far are dropped.
using PassGate = std::function<bool(const ScreensSeen&)>;

// Waits for the family lock, which another process holds: true once it is held, false when the run is
// to end meanwhile (and the lock is not held).
using FamilyLockWait = std::function<bool(util::GlobalNamedMutex& familyLock)>;

struct PassOptions {
    KivFinding* finding = nullptr;     // when a Kiv was found and the pass went on: what it did about it
    FamilyLockWait waitForFamilyLock;  // empty: lock() without a time limit
    PassGate gate;                     // empty: every pass goes on
    // Told what the pass saw once it sorted the screens, without holding anything back.
    std::function<void(const ScreensSeen&)> observer;
    // The run's memory of the Kiv screens whose display settings Windows declined (setPrimaryDevice);
    // none: every switch tries the display settings first.
    SettingsDeclined* settingsDeclined = nullptr;
};

enum class PassEnd {
    Done,      // the pass ran to its end and wrote "Done"
    HeldBack,  // the gate held it back
    Stopped,   // the run is to end: the pass stopped while it waited for the family lock, having looked at nothing
};

struct PassOutcome {
    PassEnd end = PassEnd::Done;
    bool kivFound = false;  // a Kiv screen of either variant was found (Done or HeldBack)
};

// Takes the family mutex "MorvaKivDisplayApp_main", first without waiting; when another process
// holds it, writes "Other application is performing an action - waiting for it to finish" and waits
// (options.waitForFamilyLock). Then lists the screens, sorts them into Varel, Pellun and other screens,
// writes a summary line, and makes the first Kiv screen of the chosen variant the primary display
// (setPrimaryDevice) with every other screen in a row to its right: the further screens of that
// variant, the screens that are no Kiv, then the screens of the other variant, each group in the
// order found. The Varel wins over the Pellun. When every screen is of the chosen variant, one of
// them is primary already: the pass writes so and changes nothing. Writes "Done" at the end. With a
// gate, the lines up to the decision are held until the gate lets the pass go on. The mutex is let go
// on every way out.
//
// Catches nothing: the exceptions of the mutex, the enumeration and setPrimaryDevice leave it, and
// "Done" is then not written (nor, with a gate, any held line).
PassOutcome runPass(std::ostream& log, const PassOptions& options);

// runPass without a gate, waiting for the family lock without a time limit: true when a Kiv screen of
// either variant was found, whether or not the layout changed.
bool runScanPass(std::ostream& log, KivFinding* finding = nullptr);

}  // namespace orvi
