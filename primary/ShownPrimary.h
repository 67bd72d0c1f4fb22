// Which screen the window system shows as the primary display after a change was applied.
#pragma once

#include "display/Narrow.h"

namespace orvi {

// The device name of the monitor that the window system shows as primary now; empty when no monitor
// could be read as primary. Looks once. Throws nothing.
WideString primaryShownNow();

// The device name of the monitor that the window system shows as primary (MONITORINFOF_PRIMARY):
// `expected` as soon as that one is, otherwise that of the last look, empty when no monitor could be
// read as primary. Looks once and, only while the expected screen is not primary yet, again about every
// tenth of a second (platform::pause) for about a second, since Windows may report the new primary a
// moment after the apply. Throws nothing.
WideString shownPrimaryAfterApply(const WideString& expected);

}  // namespace orvi
