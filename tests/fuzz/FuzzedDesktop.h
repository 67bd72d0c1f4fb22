// A simulated desktop and the troubles of its window system, decoded from a fuzz input.
#pragma once

#include "simulation/SimulatedWindowSystem.h"
#include "tests/fuzz/FuzzInput.h"

#include <optional>
#include <vector>

namespace orvi::fuzz {

struct InjectedFailure {
    simulation::DisplayOperation operation;
    unsigned occurrence;  // from 1
    LONG code;
};

struct PlugIn {
    unsigned afterSizesQuery;  // from 1
    simulation::SimulatedAdapter adapter;
};

struct FuzzedDesktop {
    simulation::SimulatedDesktop desktop;
    std::vector<InjectedFailure> failures;
    std::optional<PlugIn> plugIn;
    bool layoutStoreFails = false;
};

// Decoding, in this order (counts are taken modulo one more than their bound):
//   adapters (up to 4), each: hardware id choice (0 Varel, 1 GPU, 2 USB id without vendor,
//     3 text of up to 140 units, 4 empty), a flag byte for a name of its own (then a text of up to
//     140 units), displays (up to 4), each:
//       flags: 1 attached, 2 primary, 4 wide coordinates and sizes (32 bits instead of 16),
//       device name choice (0 numbered by the window system, 1 "\\.\DISPLAYn" with n from 1 to 4
//         from the next byte, which names can repeat, 2 text of up to 40 units), the same choice
//         for the name that the monitor information reports (0 meaning: the device name),
//       x, y, width, height,
//       monitors (up to 3), each: product code choice (0 the Pellun's, 1 a word, 2 another screen's),
//         friendly name (up to 70 units), device path (up to 140 units);
//   failures (up to 4), each: operation, occurrence (1 to 12), code choice (0 a common error code,
//     1 a DISP_CHANGE_* value, 2 any 32 bits, 3 zero);
//   a plug-in flag (odd: an adapter, decoded as above, after sizes query 1 to 3);
//   a flag for a layout store that fails;
//   how Windows answers: 1 it declines a new primary, 2 no layout database entry, 4 no monitor's EDID
//     ids valid, 8 it refuses the virtual-mode-aware flags.
// Texts of 32, 64 or 128 units and more fill the window system's arrays without a null.
FuzzedDesktop decodeFuzzedDesktop(FuzzInput& input);

// Serves the desktop from `system`, failures, plug-in and layout store included.
void serve(const FuzzedDesktop& fuzzed, simulation::SimulatedWindowSystem& system);

}  // namespace orvi::fuzz
