#include "tests/primary/DesktopLayout.h"

#include "simulation/SimulatedWindowSystem.h"

#include <sstream>
#include <string_view>

namespace orvi::testing {
namespace {

using simulation::DisplayOperation;
using simulation::SimulatedCall;

std::string shortName(const std::u16string& deviceName) {
    std::u16string_view name(deviceName);
    if (name.substr(0, 4) == u"\\\\.\\") {
        name.remove_prefix(4);
    }
    std::string result;
    for (const char16_t unit : name) {
        result.push_back(static_cast<char>(unit));
    }
    return result;
}

std::string describe(const SimulatedCall& call) {
    std::ostringstream text;
    if (call.operation == DisplayOperation::EnumDisplaySettings) {
        text << "read " << shortName(call.deviceName);
        if (call.index != ENUM_CURRENT_SETTINGS) {
            text << " mode " << call.index;
        }
        if (call.result == FALSE) {
            text << " -> FALSE";
        }
        return text.str();
    }
    if (call.operation == DisplayOperation::QueryDisplayConfig) {
        text << "query active";
        if (call.flags != QDC_ONLY_ACTIVE_PATHS) {
            text << " 0x" << std::hex << call.flags << std::dec;
        }
    } else if (call.operation == DisplayOperation::SetDisplayConfig) {
        text << "set config 0x" << std::hex << call.flags << std::dec;
    } else if (call.deviceName.empty()) {
        text << "apply 0x" << std::hex << call.flags << std::dec;
    } else {
        text << "store " << shortName(call.deviceName) << " 0x" << std::hex << call.flags << std::dec << " at ("
             << call.position.x << "," << call.position.y << ")";
    }
    if (call.result != DISP_CHANGE_SUCCESSFUL) {
        text << " -> " << call.result;
    }
    return text.str();
}

std::vector<std::string> layoutOf(const simulation::SimulatedDesktop& desktop) {
    std::vector<std::string> result;
    for (const simulation::SimulatedAdapter& adapter : desktop.adapters) {
        for (const simulation::SimulatedDisplay& display : adapter.displays) {
            std::ostringstream text;
            text << shortName(display.deviceName) << " " << display.width << "x" << display.height << " at ("
                 << display.x << "," << display.y << ")" << (display.primary ? " primary" : "");
            result.push_back(text.str());
        }
    }
    return result;
}

}  // namespace

std::vector<std::string> settingsCalls() {
    std::vector<std::string> result;
    for (const SimulatedCall& call : simulation::simulatedWindowSystem().calls()) {
        if (call.operation == DisplayOperation::EnumDisplaySettings ||
            call.operation == DisplayOperation::ChangeDisplaySettingsEx ||
            call.operation == DisplayOperation::SetDisplayConfig ||
            (call.operation == DisplayOperation::QueryDisplayConfig &&
             (call.flags & ~(QDC_VIRTUAL_MODE_AWARE | QDC_VIRTUAL_REFRESH_RATE_AWARE)) == QDC_ONLY_ACTIVE_PATHS)) {
            result.push_back(describe(call));
        }
    }
    return result;
}

std::vector<std::string> layout() { return layoutOf(simulation::simulatedWindowSystem().desktop()); }

std::vector<std::string> storedLayout() { return layoutOf(simulation::simulatedWindowSystem().storedLayout()); }

}  // namespace orvi::testing
