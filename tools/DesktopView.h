// A simulated desktop as text for a terminal: what run.sh shows before and after the tool's run.
#pragma once

#include "desktopfile/DesktopFile.h"

#include <string>

namespace orvi::tools {

// One line per display device in device order, numbered from 1: its device name, the friendly names
// of its monitors, its position and size, and whether it is primary or not attached. Then the day
// still to come, one line per event in the order of their seconds: a remote session and the plug-ins
// during a pass first, then the timed plug-ins, session locks, unplugs, the user's primaries, sleeps
// and the end of the session. Columns are aligned; the text ends with a line feed.
std::string screenTable(const simulation::DesktopFile& file);

// The attached display devices as boxes at their places, the whole desktop scaled to `width`
// columns (a row stands for twice as many pixels as a column, as terminal cells are about twice as
// tall as wide). Each box carries its number from screenTable, "primary" for the primary, and the
// names of its monitors as in the table (characters beyond ASCII as '?') as far as they fit. A box is at least 3 by 3
// characters, so that the smallest screen still shows; this may widen the picture by 2 columns.
// Boxes of adjacent screens share their edge; a later box is drawn over an earlier one. Lines end
// with a line feed; empty when no display device is attached.
std::string layoutPicture(const simulation::SimulatedDesktop& desktop, std::size_t width);

}  // namespace orvi::tools
