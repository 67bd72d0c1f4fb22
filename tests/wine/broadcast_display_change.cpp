// broadcast_display_change [resume]: tells every top-level window that the desktop's screens changed,
// as Windows does when a screen is plugged in (WM_DISPLAYCHANGE, sent to all of them); with "resume",
// that the PC resumed from sleep (WM_POWERBROADCAST with PBT_APMRESUMEAUTOMATIC). Exit code 0 when the
// broadcast went out, 2 for a wrong argument.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstring>

int main(int argc, char* argv[]) {
    const bool resume = argc == 2 && std::strcmp(argv[1], "resume") == 0;
    if (argc > 2 || (argc == 2 && !resume)) {
        return 2;
    }
    // A window that does not answer within the time is skipped; the others still get the message.
    const LRESULT sent = resume ? SendMessageTimeoutW(HWND_BROADCAST, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0,
                                                      SMTO_ABORTIFHUNG, 5000, nullptr)
                                : SendMessageTimeoutW(HWND_BROADCAST, WM_DISPLAYCHANGE, 32, MAKELPARAM(1280, 1024),
                                                      SMTO_ABORTIFHUNG, 5000, nullptr);
    return sent != 0 ? 0 : 1;
}
