// The listening window's registration for suspend and resume notices (RegisterSuspendResumeNotification).
// On a PC with Modern Standby (S0 low-power idle) Windows sends WM_POWERBROADCAST with
// PBT_APMRESUMEAUTOMATIC only to windows registered so; a PC that sleeps in S3 broadcasts it to every
// top-level window besides. Declared apart so that the registration itself can be checked: Wine sends
// no resume, and a WM_POWERBROADCAST sent straight to the window reaches it registered or not.
#pragma once

#include "platform/Win32.h"

namespace orvi::platform {

class SuspendResumeRegistration {
public:
    // Registers `window` (DEVICE_NOTIFY_WINDOW_HANDLE); nothing for no window. Where Windows refuses
    // it (older than Windows 8), the window still gets the broadcasts.
    explicit SuspendResumeRegistration(HWND window);
    // Undoes the registration, before the window goes.
    ~SuspendResumeRegistration();
    SuspendResumeRegistration(const SuspendResumeRegistration&) = delete;
    SuspendResumeRegistration& operator=(const SuspendResumeRegistration&) = delete;

    bool registered() const { return handle_ != nullptr; }

private:
    HPOWERNOTIFY handle_ = nullptr;
};

}  // namespace orvi::platform
