// The desktop that the host executable simulates when no desktop file is named.
#pragma once

#include "desktopfile/SimulatedDesktop.h"

namespace orvi::simulation {

// A laptop: its panel (primary) and an external monitor on the GPU, and a Varel Kiv on a USB display
// adapter of its own, to the right of the others.
SimulatedDesktop defaultDesktop();

}  // namespace orvi::simulation
