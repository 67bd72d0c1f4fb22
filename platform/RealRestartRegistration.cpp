// The restart registration through kernel32: GetCommandLineW, RegisterApplicationRestart.
#include "platform/RestartRegistration.h"

#include "platform/Win32.h"

#include <string>

namespace orvi::platform {

bool registerForRestart() noexcept {
    const std::wstring arguments(argumentsAfterProgramName(std::wstring_view(GetCommandLineW())));
    return RegisterApplicationRestart(arguments.c_str(), RESTART_NO_CRASH | RESTART_NO_HANG | RESTART_NO_REBOOT) ==
           S_OK;
}

}  // namespace orvi::platform
