// Building blocks for simulated desktops in tests, and the fixture that serves one.
#pragma once

#include "display/Narrow.h"
#include "simulation/SimulatedWindowSystem.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orvi::testing {

using simulation::SimulatedAdapter;
using simulation::SimulatedDesktop;
using simulation::SimulatedDisplay;
using simulation::SimulatedMonitor;

inline SimulatedMonitor monitor(std::uint16_t edidProductCode, std::u16string friendlyName,
                                std::u16string devicePath = u"") {
    return SimulatedMonitor{edidProductCode, std::move(friendlyName), std::move(devicePath)};
}

inline SimulatedDisplay display(std::vector<SimulatedMonitor> monitors, LONG x = 0, bool primary = false) {
    SimulatedDisplay result;
    result.monitors = std::move(monitors);
    result.x = x;
    result.primary = primary;
    return result;
}

inline SimulatedDisplay primaryDisplay(std::vector<SimulatedMonitor> monitors) {
    return display(std::move(monitors), 0, true);
}

inline SimulatedAdapter adapter(std::u16string hardwareId, std::vector<SimulatedDisplay> displays) {
    return SimulatedAdapter{u"Display Adapter", std::move(hardwareId), std::move(displays)};
}

inline constexpr char16_t kGpuId[] = u"PCI\\VEN_8086&DEV_5917&SUBSYS_07A81028&REV_07";
inline constexpr char16_t kVarelId[] = u"USB\\VID_17E9&PID_FF13&MI_00";

// The wide form of a test text, as the tool's WideString holds it.
inline WideString wide(std::u16string_view text) { return WideString(text.begin(), text.end()); }

// Serves a fresh desktop to the display services for each test.
class SimulatedDesktopTest : public ::testing::Test {
protected:
    void serve(SimulatedDesktop desktop) { simulation::simulatedWindowSystem().reset(std::move(desktop)); }
    simulation::SimulatedWindowSystem& windowSystem() { return simulation::simulatedWindowSystem(); }
    void TearDown() override { serve(SimulatedDesktop{}); }
};

}  // namespace orvi::testing
