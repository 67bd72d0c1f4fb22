// Whether Windows would take a row of screens, asked without changing anything.
#pragma once

#include "display/Narrow.h"
#include "platform/Win32.h"

#include <vector>

namespace orvi {

// What SetDisplayConfig answered to the row, and the flags it was asked with.
struct RowVerdict {
    LONG result;  // ERROR_SUCCESS when Windows takes the row
    UINT32 flags;
};

// Asks SetDisplayConfig with SDC_VALIDATE | SDC_USE_SUPPLIED_DISPLAY_CONFIG about the configuration
// that the display-configuration way would apply for `row` (its first screen primary at (0, 0), the
// others in a row to its right: rowConfigurationFor), in its layouts in turn: an answer of
// ERROR_INVALID_PARAMETER goes on to the next layout, as that way does, and the last layout's answer
// stands. Changes nothing. Throws what rowConfigurationFor throws.
RowVerdict validateRow(const std::vector<WideString>& row);

}  // namespace orvi
