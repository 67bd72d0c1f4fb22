// The support view (--explain): what a scan pass would see of each screen now, why each screen is or
// is not the Kiv, the row it would make, whether Windows would take that row, and what else would stop
// a run; without changing anything.
#pragma once

#include <ostream>

namespace orvi {

// What the report comes to; each value is the exit code of a run with --explain.
enum class Explained {
    KivPrimary = 0,    // the Kiv is primary (every screen is a Kiv) or would be made so, and Windows takes the row
    CouldNotLook = 1,  // the screens could not be read (a failure, not a refusal)
    NoKiv = 2,         // no Kiv is attached
    // Windows would refuse the row (or the row cannot be made), or the session may not change the layout
    // now (locked, remote, headless: the screens cannot be read, or the row may not be applied)
    NotNow = 3,
};

// Reads the screens as a scan pass does (enumerateScreens and the identification tests, whose log
// lines go nowhere), without the family lock, and writes the report to `report`, each line ended by
// "\n"; the words are stable (the documentation of the support view lists them):
//     SetPrimaryKiv --explain: what a run would see and do now; nothing was changed
//     screens: <count> attached        ("screens: cannot be read now" and a session line when the session
//                                      may not read them, "screens: cannot be read: <text>" otherwise)
//     screen <n>: device=... monitor="..." adapter="..." hardware-id="..." usb-id=<id>|none
//         edid-manufacturer=<letters>|0x<hex>|none edid-product-code=<decimal>|none place=<x>,<y>
//         size=<w>x<h> primary=yes|no kiv=Varel|Pellun|no reason="..."   (one line, per screen in order)
//     kiv: none | screen=<n> device=... variant=Varel|Pellun primary-now=yes|no
//     row: none, ... | <device> at 0,0 primary; <device> at <x>,0; ...    ("row: cannot be made: ...")
//     windows: takes the row: ... | refuses the row: ... | cannot be asked: ... | not asked, ...
//     session: may change the layout now | may not change the layout now: ... | may read the screens now
//     single-instance lock: free | held: ...
//     family lock: free | held: ...
//     exit code: <code> (<what it means>)
// The row is the one a scan pass makes: the first Kiv of the variant that takes precedence (the Varel)
// at (0, 0), then the further screens of that variant, the screens that are no Kiv and the screens of
// the other variant, each starting where the one before ends (its current mode's width). Windows is
// asked with validateRow. Each lock is tried without waiting and let go at once. Changes nothing.
// Throws only std::bad_alloc.
Explained explainScreens(std::ostream& report);

}  // namespace orvi
