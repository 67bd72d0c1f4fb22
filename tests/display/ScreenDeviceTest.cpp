#include "display/ScreenDevice.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

using orvi::ScreenDevice;
using orvi::TargetDeviceInfo;

template <std::size_t N>
void setText(WCHAR (&array)[N], std::u16string_view text) {
    for (std::size_t i = 0; i < N; ++i) {
        array[i] = i < text.size() ? static_cast<WCHAR>(text[i]) : 0;
    }
}

DISPLAY_DEVICEW displayDevice(std::u16string_view hardwareId) {
    DISPLAY_DEVICEW device{};
    device.cb = sizeof(device);
    setText(device.DeviceName, u"\\\\.\\DISPLAY3");
    device.StateFlags = DISPLAY_DEVICE_ATTACHED_TO_DESKTOP;
    setText(device.DeviceID, hardwareId);
    return device;
}

MONITORINFOEXW monitorInfo(std::u16string_view deviceName) {
    MONITORINFOEXW info{};
    info.cbSize = sizeof(info);
    info.rcMonitor = RECT{1920, 0, 3200, 480};
    info.rcWork = info.rcMonitor;
    setText(info.szDevice, deviceName);
    return info;
}

TargetDeviceInfo identity(std::uint16_t code) {
    TargetDeviceInfo info;
    info.friendlyName = "Varel Kiv";
    info.devicePath = "\\\\?\\DISPLAY#VRL0013#1";
    info.edidProductCode = code;
    return info;
}

ScreenDevice screenWithHardwareId(std::u16string_view hardwareId) {
    return ScreenDevice(displayDevice(hardwareId), monitorInfo(u"\\\\.\\DISPLAY3"), TargetDeviceInfo{});
}

TEST(ScreenDevice, KeepsTheIdentityValuesAndBothWindowsStructures) {
    const ScreenDevice screen(displayDevice(u"USB\\VID_17E9&PID_FF13"), monitorInfo(u"\\\\.\\DISPLAY3"),
                              identity(0x13));
    EXPECT_EQ(screen.deviceName(), "\\\\.\\DISPLAY3");
    EXPECT_EQ(screen.displayName(), "Varel Kiv");
    EXPECT_EQ(screen.devicePath(), "\\\\?\\DISPLAY#VRL0013#1");
    EXPECT_EQ(screen.edidProductCode(), 0x13);
    EXPECT_EQ(screen.monitorInfo().rcMonitor.left, 1920);
    EXPECT_EQ(screen.displayDevice().StateFlags, DISPLAY_DEVICE_ATTACHED_TO_DESKTOP);
    // A monitor swapped on the same output is another screen.
    EXPECT_EQ(screen.identity(), "USB\\VID_17E9&PID_FF13|\\\\.\\DISPLAY3|\\\\?\\DISPLAY#VRL0013#1");
}

TEST(ScreenDevice, EmptyIdentityLeavesOnlyTheIdentityEmpty) {
    const ScreenDevice screen = screenWithHardwareId(u"PCI\\VEN_8086&DEV_5917");
    EXPECT_EQ(screen.displayName(), "");
    EXPECT_EQ(screen.devicePath(), "");
    EXPECT_EQ(screen.edidProductCode(), 0);
    EXPECT_EQ(screen.deviceName(), "\\\\.\\DISPLAY3");
    EXPECT_EQ(screen.monitorInfo().cbSize, sizeof(MONITORINFOEXW));
    EXPECT_EQ(screen.displayDevice().cb, sizeof(DISPLAY_DEVICEW));
}

TEST(ScreenDevice, DeviceNameIsTheNarrowedNameUpToItsNullOrTheArraysEnd) {
    const ScreenDevice nonAscii(displayDevice(u""), monitorInfo(u"\\\\.\\D\u00e9\u0130"), TargetDeviceInfo{});
    EXPECT_EQ(nonAscii.deviceName(), std::string("\\\\.\\D\xE9"
                                                 "0"));

    const std::u16string full(32, u'N');  // no room left for a null
    const ScreenDevice unterminated(displayDevice(u""), monitorInfo(full), TargetDeviceInfo{});
    EXPECT_EQ(unterminated.deviceName(), std::string(32, 'N'));
}

TEST(ScreenDevice, MovesAndCopiesShareOneRecord) {
    std::vector<ScreenDevice> first;
    first.push_back(screenWithHardwareId(u""));
    const std::string* name = &first.front().deviceName();

    std::vector<ScreenDevice> second;
    second.push_back(std::move(first.front()));
    EXPECT_EQ(&second.front().deviceName(), name);

    auto copy = std::make_unique<ScreenDevice>(second.front());
    EXPECT_EQ(&copy->deviceName(), name);
    second.clear();
    EXPECT_EQ(copy->deviceName(), "\\\\.\\DISPLAY3");  // still alive through the copy
}

TEST(MatchesUsbId, ComparesTheHardwareIdsIdsAndLogsBoth) {
    struct Case {
        std::u16string hardwareId;
        bool matches;
        const char* found;
    };
    const Case cases[] = {
        {u"USB\\VID_17E9&PID_FF13&MI_00", true, "VID_17E9&PID_FF13"},
        {u"USB\\VID_17E9&PID_FF13", true, "VID_17E9&PID_FF13"},
        {u"USB\\VID_17E9&PID_FF14&MI_00", false, "VID_17E9&PID_FF14"},
        {u"PCI\\VEN_8086&DEV_5917&SUBSYS_07A81028&REV_07", false, "VID_8086&PID_5917"},
        {u"", false, "VID_0000&PID_0000"},
        // A unit above 0xFF takes part through its low byte only: U+0149 reads as 'I', U+0131 as '1'.
        {u"USB\\V\u0149D_\u01317E9&PID_FF13&MI_00", true, "VID_17E9&PID_FF13"},
    };
    for (const Case& c : cases) {
        std::ostringstream log;
        EXPECT_EQ(screenWithHardwareId(c.hardwareId).matchesUsbId(log, orvi::kVarelUsbId), c.matches);
        EXPECT_EQ(log.str(),
                  std::string("Current device USB ID: ") + c.found + ", Comparing with Varel: VID_17E9&PID_FF13\n");
    }
}

TEST(MatchesUsbId, NeverReadsPastAHardwareIdWithoutNull) {
    // The marker fills the end of DeviceID; its digits would only be found in the next array.
    DISPLAY_DEVICEW device = displayDevice(std::u16string(124, u'x') + u"VID_");
    setText(device.DeviceKey, u"17E9&PID_FF13&MI_00");
    const ScreenDevice screen(device, monitorInfo(u"\\\\.\\DISPLAY3"), TargetDeviceInfo{});
    std::ostringstream log;
    EXPECT_FALSE(screen.matchesUsbId(log, orvi::kVarelUsbId));
    EXPECT_EQ(log.str(), "Current device USB ID: VID_0000&PID_0000, Comparing with Varel: VID_17E9&PID_FF13\n");
}

TEST(MatchesEdidProductCode, ComparesTheCodeAndLogsBothInDecimal) {
    const ScreenDevice pellun(displayDevice(u""), monitorInfo(u"\\\\.\\DISPLAY1"), identity(4233));
    std::ostringstream log;
    EXPECT_TRUE(pellun.matchesEdidProductCode(log, orvi::kPellunEdidProductCode));
    EXPECT_EQ(log.str(), "pellun edid: 4233, Comparing with: 4233\n");

    std::ostringstream otherLog;
    EXPECT_FALSE(screenWithHardwareId(u"").matchesEdidProductCode(otherLog, orvi::kPellunEdidProductCode));
    EXPECT_EQ(otherLog.str(), "pellun edid: 4233, Comparing with: 0\n");
}

}  // namespace
