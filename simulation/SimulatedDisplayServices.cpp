// The display services answered by the process's simulated window system.
#include "platform/DisplayServices.h"
#include "simulation/SimulatedWindowSystem.h"

namespace orvi::platform {

#define DISPLAY_CALL(Result, name, parameters, arguments, user32Call) \
    Result name parameters { return simulation::simulatedWindowSystem().name arguments; }
#include "platform/DisplayCalls.inc"
#undef DISPLAY_CALL

void pause(DWORD milliseconds) { simulation::simulatedWindowSystem().pause(milliseconds); }

}  // namespace orvi::platform
