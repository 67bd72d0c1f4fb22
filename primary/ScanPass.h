// One complete look at the attached screens, under the lock that the tools of the product family
// share, ending in the Kiv as the primary display when other screens stand beside it.
#pragma once

#include "primary/KivFinding.h"

#include <ostream>

namespace orvi {

// Takes the family mutex "MorvaKivDisplayApp_main", first without waiting; when another process
// holds it, writes "Other application is performing an action - waiting for it to finish" and waits
// without a time limit. Then lists the screens, sorts them into Varel, Pellun and other screens,
// writes a summary line, and makes the first Kiv screen of the chosen variant the primary display
// (setPrimaryDevice) with every other screen in a row to its right: the further screens of that
// variant, the screens that are no Kiv, then the screens of the other variant, each group in the
// order found. The Varel wins over the Pellun. When every screen is of the chosen variant, one of
// them is primary already: the pass writes so and changes nothing. Writes "Done" at the end. The
// mutex is let go on every way out.
//
// True when a Kiv screen of either variant was found, whether or not the layout changed; `finding`,
// when given, then tells what the pass did about it (and is left alone otherwise). Catches nothing:
// the exceptions of the mutex, the enumeration and setPrimaryDevice leave it, and "Done" is then not
// written.
bool runScanPass(std::ostream& log, KivFinding* finding = nullptr);

}  // namespace orvi
