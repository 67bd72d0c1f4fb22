#include "tests/fuzz/FuzzedDesktop.h"

#include <string>
#include <utility>

namespace orvi::fuzz {
namespace {

using simulation::DisplayOperation;
using simulation::SimulatedAdapter;
using simulation::SimulatedDisplay;
using simulation::SimulatedMonitor;

constexpr unsigned kMaxAdapters = 4;
constexpr unsigned kMaxDisplays = 4;
constexpr unsigned kMaxMonitors = 3;
constexpr unsigned kMaxFailures = 4;
constexpr unsigned kMaxOccurrence = 12;
constexpr unsigned kMaxPlugInQuery = 3;
constexpr unsigned kOperations = static_cast<unsigned>(DisplayOperation::ChangeDisplaySettingsEx) + 1;

constexpr std::uint8_t kAttached = 0x1;
constexpr std::uint8_t kPrimary = 0x2;
constexpr std::uint8_t kWide = 0x4;

std::u16string hardwareId(FuzzInput& input) {
    switch (input.choice(5)) {
    case 0:
        return u"USB\\VID_17E9&PID_FF13&MI_00";
    case 1:
        return u"PCI\\VEN_8086&DEV_5917&SUBSYS_07A81028&REV_07";
    case 2:
        return u"USB\\KIVUSB\\0001";
    case 3:
        return input.text(140);
    default:
        return u"";
    }
}

std::u16string deviceName(FuzzInput& input) {
    switch (input.choice(3)) {
    case 0:
        return u"";
    case 1: {
        const std::string digit = std::to_string(input.choice(4) + 1);
        return u"\\\\.\\DISPLAY" + std::u16string(digit.begin(), digit.end());
    }
    default:
        return input.text(40);
    }
}

LONG coordinate(FuzzInput& input, bool wide) {
    return wide ? static_cast<LONG>(input.dword()) : static_cast<LONG>(static_cast<std::int16_t>(input.word()));
}

DWORD size(FuzzInput& input, bool wide) { return wide ? input.dword() : input.word(); }

SimulatedMonitor monitor(FuzzInput& input) {
    SimulatedMonitor result;
    switch (input.choice(3)) {
    case 0:
        result.edidProductCode = 0x1089;
        break;
    case 1:
        result.edidProductCode = input.word();
        break;
    default:
        result.edidProductCode = 0x2790;
        break;
    }
    result.friendlyName = input.text(70);
    result.devicePath = input.text(140);
    return result;
}

SimulatedDisplay display(FuzzInput& input) {
    SimulatedDisplay result;
    const std::uint8_t flags = input.byte();
    result.attached = (flags & kAttached) != 0;
    result.primary = (flags & kPrimary) != 0;
    const bool wide = (flags & kWide) != 0;
    result.deviceName = deviceName(input);
    result.monitorInfoDeviceName = deviceName(input);
    result.x = coordinate(input, wide);
    result.y = coordinate(input, wide);
    result.width = size(input, wide);
    result.height = size(input, wide);
    for (unsigned count = input.choice(kMaxMonitors + 1); count > 0; --count) {
        result.monitors.push_back(monitor(input));
    }
    return result;
}

SimulatedAdapter adapter(FuzzInput& input) {
    SimulatedAdapter result;
    result.hardwareId = hardwareId(input);
    result.name = input.byte() % 2 != 0 ? input.text(140) : u"Display Adapter";
    for (unsigned count = input.choice(kMaxDisplays + 1); count > 0; --count) {
        result.displays.push_back(display(input));
    }
    return result;
}

LONG failureCode(FuzzInput& input) {
    constexpr DWORD kCommonCodes[] = {ERROR_GEN_FAILURE, ERROR_INVALID_PARAMETER, ERROR_INSUFFICIENT_BUFFER,
                                      ERROR_ACCESS_DENIED, ERROR_NOT_SUPPORTED};
    switch (input.choice(4)) {
    case 0:
        return static_cast<LONG>(kCommonCodes[input.choice(sizeof kCommonCodes / sizeof kCommonCodes[0])]);
    case 1:
        return DISP_CHANGE_BADPARAM + static_cast<LONG>(input.choice(7));  // -5 to 1
    case 2:
        return static_cast<LONG>(input.dword());
    default:
        return 0;
    }
}

}  // namespace

FuzzedDesktop decodeFuzzedDesktop(FuzzInput& input) {
    FuzzedDesktop result;
    for (unsigned count = input.choice(kMaxAdapters + 1); count > 0; --count) {
        result.desktop.adapters.push_back(adapter(input));
    }
    for (unsigned count = input.choice(kMaxFailures + 1); count > 0; --count) {
        InjectedFailure failure{};
        failure.operation = static_cast<DisplayOperation>(input.choice(kOperations));
        failure.occurrence = input.choice(kMaxOccurrence) + 1;
        failure.code = failureCode(input);
        result.failures.push_back(failure);
    }
    if (input.byte() % 2 != 0) {
        const unsigned afterSizesQuery = input.choice(kMaxPlugInQuery) + 1;
        result.plugIn = PlugIn{afterSizesQuery, adapter(input)};
    }
    result.layoutStoreFails = input.byte() % 2 != 0;
    const std::uint8_t answers = input.byte();
    result.desktop.declinesPrimary = (answers & 1) != 0;
    result.desktop.databaseEntry = (answers & 2) == 0;
    result.desktop.virtualModeAware = static_cast<simulation::VirtualModeAware>((answers >> 3) % 3);
    for (simulation::SimulatedAdapter& each : result.desktop.adapters) {
        for (simulation::SimulatedDisplay& shown : each.displays) {
            shown.virtualModePaths = static_cast<simulation::SimulatedDisplay::VirtualModePaths>((answers >> 5) % 3);
            for (simulation::SimulatedMonitor& monitor : shown.monitors) {
                monitor.edidValid = (answers & 4) == 0;
            }
        }
    }
    return result;
}

void serve(const FuzzedDesktop& fuzzed, simulation::SimulatedWindowSystem& system) {
    system.reset(fuzzed.desktop);
    for (const InjectedFailure& failure : fuzzed.failures) {
        system.failCall(failure.operation, failure.occurrence, failure.code);
    }
    if (fuzzed.plugIn) {
        system.plugInAfterSizesQuery(fuzzed.plugIn->afterSizesQuery, fuzzed.plugIn->adapter);
    }
    if (fuzzed.layoutStoreFails) {
        system.setLayoutStore([](const simulation::SimulatedDesktop&) { return false; });
    }
}

}  // namespace orvi::fuzz
