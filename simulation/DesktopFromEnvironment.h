// The desktop of the host executable's simulated window system.
#pragma once

namespace orvi::simulation {

// Loads the simulated window system with the desktop of the JSON file that the environment variable
// SIMULATED_DESKTOP names, with the file's plug-ins, each planned for its scan pass or its second
// (PlugInSchedule.h), and with its failures; seconds count from this call on the performance counter,
// which is the window system's clock from then on. Every layout stored from then on (a change
// recorded with CDS_UPDATEREGISTRY) is written back to that file, as the real window system keeps it
// beyond the run, together with the plug-ins that have not happened yet (those that have are among
// the adapters by then) and the failures, unchanged. Without the variable, or with it empty, the
// default desktop (DefaultDesktop.h), whose changes last for the run only. Throws
// std::runtime_error "Simulated desktop <path>: <fault>" when the file cannot be read or is not a
// desktop.
void useDesktopFromEnvironment();

}  // namespace orvi::simulation
