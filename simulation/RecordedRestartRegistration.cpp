#include "simulation/RecordedRestartRegistration.h"

#include "platform/RestartRegistration.h"

namespace orvi::simulation {
namespace {

int& registrations() {
    static int made = 0;
    return made;
}

}  // namespace

int restartRegistrations() { return registrations(); }

void forgetRestartRegistrations() { registrations() = 0; }

}  // namespace orvi::simulation

namespace orvi::platform {

bool registerForRestart() noexcept {
    ++simulation::registrations();
    return true;
}

}  // namespace orvi::platform
