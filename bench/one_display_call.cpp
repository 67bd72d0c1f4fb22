// A second baseline: a program that makes one display call, so that it pays Wine's start-up of the
// display driver as the tool does, and nothing else.
#include <windows.h>

int main() {
    DISPLAY_DEVICEW device{};
    device.cb = sizeof device;
    return EnumDisplayDevicesW(nullptr, 0, &device, 0) ? 0 : 1;
}
