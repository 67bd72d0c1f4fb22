// The host's stand-in for the restart registration: it counts the registrations made in the process.
#pragma once

namespace orvi::simulation {

// How many times this process registered to be started again.
int restartRegistrations();

// Forgets the registrations made so far.
void forgetRestartRegistrations();

}  // namespace orvi::simulation
