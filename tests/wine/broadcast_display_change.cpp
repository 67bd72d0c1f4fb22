// broadcast_display_change: tells every top-level window that the desktop's screens changed, as
// Windows does when a screen is plugged in (WM_DISPLAYCHANGE, sent to all of them). Exit code 0 when
// the broadcast went out.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

int main() {
    // A window that does not answer within the time is skipped; the others still get the message.
    const LRESULT sent = SendMessageTimeoutW(HWND_BROADCAST, WM_DISPLAYCHANGE, 32, MAKELPARAM(1280, 1024),
                                             SMTO_ABORTIFHUNG, 5000, nullptr);
    return sent != 0 ? 0 : 1;
}
