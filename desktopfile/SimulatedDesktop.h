// The desktop that the simulated window system serves: display adapters, the display devices that
// each adapter drives (one per source of the adapter) and the monitors that show each display device.
//
// Plain values: tests build desktops in code, the host executable loads one from a JSON file
// (desktopfile/DesktopFile.h).
#pragma once

#include "platform/Win32.h"

#include <cstddef>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace orvi::simulation {

// One monitor on one connector of its adapter: a target of the display configuration. Target ids
// are numbered per adapter, 0, 1, ..., over the monitors of all its display devices in order.
struct SimulatedMonitor {
    UINT16 edidProductCode = 0;
    std::u16string friendlyName;  // given as written: 64 units fill the array without a null
    std::u16string devicePath;    // likewise, at 128 units
    // Whether its target name vouches for the EDID ids (edidIdsValid); the code is filled in either way.
    bool edidValid = true;
    // Where the display configuration puts its target, for a PC whose ids are not counted as above:
    // the index in the desktop's adapters of the adapter it is a target of (a path whose source and
    // target lie on different adapters), and its target id there. Unset: the display device's
    // adapter, and the id counted as above (counting every monitor of the adapter, set or not).
    std::optional<std::size_t> targetAdapter = std::nullopt;
    std::optional<UINT32> targetId = std::nullopt;
};

// One display device ("\\.\DISPLAYn"), the source of its adapter with the same index: source ids
// are numbered per adapter, 0, 1, ..., in the order of the adapter's display devices.
struct SimulatedDisplay {
    // Empty: "\\.\DISPLAYn", n counting all display devices from 1 in device order. 32 units fill
    // the window system's arrays without a null.
    std::u16string deviceName;
    bool attached = true;  // DISPLAY_DEVICE_ATTACHED_TO_DESKTOP; only attached devices are monitors
    bool primary = false;
    LONG x = 0;
    LONG y = 0;
    DWORD width = 1920;
    DWORD height = 1080;
    // The monitors that show this display device; two or more make a clone, which the monitor
    // enumeration reports as one monitor. None: a monitor without any display path.
    std::vector<SimulatedMonitor> monitors;
    // What GetMonitorInfoW reports as the monitor's device name, when a driver out of step reports
    // another name than deviceName. Empty: deviceName.
    std::u16string monitorInfoDeviceName;
    // Its source id, when not its index among the adapter's display devices.
    std::optional<UINT32> sourceId = std::nullopt;
    // Its place in the list of EnumDisplayDevicesW, when that is not adapter by adapter: display
    // devices are listed in the order of this number, one without it counting as its place adapter
    // by adapter (0, 1, ...), equal numbers in that order.
    std::optional<DWORD> deviceIndex = std::nullopt;
    // The rate in Hz at which its panel runs. With dynamicRefresh Windows lowers it while little
    // moves (Windows 11's dynamic refresh rate), and EnumDisplaySettingsW reports 60 Hz.
    DWORD refreshRate = 60;
    bool dynamicRefresh = false;
    // GetMonitorInfoW still reports MONITORINFOF_PRIMARY for it while Windows shows another primary:
    // monitor information out of step, as a driver may leave it.
    bool monitorInfoPrimary = false;
    // How a virtual-mode-aware query gives its paths (VirtualModePaths).
    enum class VirtualModePaths {
        Supported,  // DISPLAYCONFIG_PATH_SUPPORT_VIRTUAL_MODE and packed 16-bit indexes
        Unflagged,  // packed 16-bit indexes without the flag, as Windows has been seen to give them
        Plain,      // neither: the flag clear and plain 32-bit indexes, no desktop image mode entry
    };
    VirtualModePaths virtualModePaths = VirtualModePaths::Supported;
    // The clone group that a virtual-mode-aware query gives its paths, when not counted 0, 1, ... over
    // the attached display devices with monitors, in order.
    std::optional<UINT16> cloneGroupId = std::nullopt;
};

// One display adapter: a GPU, or a USB display adapter beside it. Each adapter has a LUID of its own
// (SimulatedWindowSystem::adapterLuid).
struct SimulatedAdapter {
    std::u16string name;        // DeviceString of its display devices
    std::u16string hardwareId;  // DeviceID of its display devices
    std::vector<SimulatedDisplay> displays;
    // Its screens are indirect displays (a USB display adapter's driver): the display configuration
    // gives their targets the output technology DISPLAYCONFIG_OUTPUT_TECHNOLOGY_INDIRECT_WIRED.
    bool indirect = false;
    // The output technology (DISPLAYCONFIG_VIDEO_OUTPUT_TECHNOLOGY) that its targets report, where
    // not the one above (0 for an adapter that is not indirect): an indirect display driver reports
    // the technology of its choice, HDMI (5) as often as INDIRECT_VIRTUAL (17).
    std::optional<UINT32> outputTechnology = std::nullopt;
};

// How QueryDisplayConfig and SetDisplayConfig answer the virtual-mode-aware flags
// (QDC_VIRTUAL_MODE_AWARE, QDC_VIRTUAL_REFRESH_RATE_AWARE, SDC_VIRTUAL_MODE_AWARE,
// SDC_VIRTUAL_REFRESH_RATE_AWARE).
enum class VirtualModeAware {
    Taken,    // the virtual-mode-aware layout: desktop image mode entries and packed mode indexes
    Refused,  // ERROR_INVALID_PARAMETER, as a Windows that does not know the flags
    // The queries take both flags, SetDisplayConfig refuses SDC_VIRTUAL_REFRESH_RATE_AWARE with
    // ERROR_INVALID_PARAMETER (a Windows 10 build: the flag is "supported starting in Windows 11")
    RefreshRateRefusedAtApply,
    // The queries take both flags, SetDisplayConfig refuses either with ERROR_INVALID_PARAMETER, also
    // when it is asked only to validate
    AwareRefusedAtApply,
};

// How ChangeDisplaySettingsExW answers a change that makes an indirect display primary.
enum class LegacyIndirectPrimary {
    Taken,    // as any other change
    Failed,   // a record with CDS_SET_PRIMARY for an indirect display answers DISP_CHANGE_FAILED
    Ignored,  // records and apply answer success; Windows keeps its primary
};

// An adapter of the desktop as a day's event names it: by its index among the adapters attached at
// that moment, or by its name.
using AdapterChoice = std::variant<std::size_t, std::u16string>;

// How Windows lays the screens out when the PC resumes from sleep.
enum class AfterSleep {
    Stored,  // as it stored them for this set of screens
    Reset,   // as for a set it has no stored layout for: the first display device primary, the others
             // in a row to its right in device order
};

struct SimulatedDesktop {
    std::vector<SimulatedAdapter> adapters;
    // How this machine's Windows answers (simulation/SimulatedWindowSystem.h).
    bool declinesPrimary = false;  // an apply that would move the primary changes nothing
    bool databaseEntry = true;     // false: the layout database has no entry for these screens
    LegacyIndirectPrimary legacyIndirectPrimary = LegacyIndirectPrimary::Taken;
    VirtualModeAware virtualModeAware = VirtualModeAware::Taken;
    // false: the display configuration has no paths at all (a headless or remote session):
    // GetDisplayConfigBufferSizes answers 0 paths and 0 modes.
    bool displayPaths = true;
    // EnumDisplayMonitors lists the monitors in device order, the primary where its device stands,
    // rather than the primary first: Windows promises no order.
    bool monitorsInDeviceOrder = false;
    // QueryDisplayConfig lists each display device's source mode before the mode entries of its
    // targets rather than after its first target's: Windows promises no order of the modes either.
    bool sourceModesFirst = false;
};

}  // namespace orvi::simulation
