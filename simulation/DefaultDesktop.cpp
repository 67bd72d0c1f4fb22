#include "simulation/DefaultDesktop.h"

namespace orvi::simulation {

SimulatedDesktop defaultDesktop() {
    SimulatedDesktop desktop;

    SimulatedAdapter gpu;
    gpu.name = u"Intel(R) UHD Graphics 620";
    gpu.hardwareId = u"PCI\\VEN_8086&DEV_5917&SUBSYS_07A81028&REV_07";
    SimulatedDisplay panel;
    panel.primary = true;
    panel.width = 1920;
    panel.height = 1080;
    // Built-in panels often have no friendly name.
    panel.monitors = {
        {0x0867, u"", u"\\\\?\\DISPLAY#BOE0867#4&2a8f1c3b&0&UID8388688#{e6f07b5f-ee97-4a90-b076-33f57bf4eaa7}"}};
    SimulatedDisplay external;
    external.x = 1920;
    external.width = 2560;
    external.height = 1440;
    external.monitors = {{0x2790, u"DELL U2719D",
                          u"\\\\?\\DISPLAY#DELA0F4#5&1f2e3d4c&0&UID4352#{e6f07b5f-ee97-4a90-b076-33f57bf4eaa7}"}};
    gpu.displays = {panel, external};

    SimulatedAdapter usb;
    usb.name = u"Varel Kiv USB Display Adapter";
    usb.hardwareId = u"USB\\VID_17E9&PID_FF13&MI_00";
    SimulatedDisplay kiv;
    kiv.x = 4480;
    kiv.width = 1280;
    kiv.height = 480;
    kiv.monitors = {
        {0x0013, u"Varel Kiv", u"\\\\?\\DISPLAY#VRL0013#6&3b4a5c6d&0&UID260#{e6f07b5f-ee97-4a90-b076-33f57bf4eaa7}"}};
    usb.displays = {kiv};

    desktop.adapters = {gpu, usb};
    return desktop;
}

}  // namespace orvi::simulation
