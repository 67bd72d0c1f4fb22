#include "display/ScreenEnumeration.h"

#include "tests/support/TestDesktops.h"
#include "util/WinException.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace orvi::testing;
using orvi::enumerateScreens;
using orvi::ScreenDevice;
using orvi::simulation::DisplayOperation;

constexpr char16_t kPellunAdapterId[] = u"USB\\VID_1D5C&PID_2000&MI_00";

// A laptop: panel (primary) and external monitor on the GPU, a Kiv on a USB display adapter. Both
// adapters have a source 0 and a target 0.
SimulatedDesktop laptopWith(SimulatedAdapter usbAdapter) {
    return SimulatedDesktop{
        {adapter(kGpuId, {primaryDisplay({monitor(0x0867, u"", u"\\\\?\\DISPLAY#BOE0867")}),
                          display({monitor(0x2790, u"DELL U2719D", u"\\\\?\\DISPLAY#DELA0F4")}, 1920)}),
         std::move(usbAdapter)}};
}

SimulatedAdapter varelAdapter() {
    return adapter(kVarelId, {display({monitor(0x0013, u"Varel Kiv", u"\\\\?\\DISPLAY#VRL0013")}, 4480)});
}

SimulatedAdapter pellunAdapter() {
    return adapter(kPellunAdapterId, {display({monitor(0x1089, u"KIV USB", u"\\\\?\\DISPLAY#PLN1089")}, 4480)});
}

std::vector<std::string> deviceNames(const std::vector<ScreenDevice>& screens) {
    std::vector<std::string> names;
    for (const ScreenDevice& screen : screens) {
        names.push_back(screen.deviceName());
    }
    return names;
}

std::string identityLines(const std::string& code, const std::string& friendlyName, const std::string& path) {
    return "Getting target device info...\n"
           "Retrieved target device information:\n"
           "  EDID Product Code ID: 0x" +
           code +
           "\n"
           "  Friendly Name: " +
           friendlyName +
           "\n"
           "  Device Path: " +
           path + "\n";
}

class ScreenEnumerationTest : public SimulatedDesktopTest {
protected:
    std::ostringstream log;
};

TEST_F(ScreenEnumerationTest, GivesEveryScreenTheIdentityOfItsOwnAdaptersPath) {
    serve(laptopWith(varelAdapter()));
    const std::vector<ScreenDevice> screens = enumerateScreens(log);

    ASSERT_EQ(deviceNames(screens),
              (std::vector<std::string>{"\\\\.\\DISPLAY1", "\\\\.\\DISPLAY2", "\\\\.\\DISPLAY3"}));
    EXPECT_EQ(screens[0].edidProductCode(), 0x0867);
    EXPECT_EQ(screens[0].displayName(), "");
    EXPECT_EQ(screens[1].displayName(), "DELL U2719D");
    EXPECT_EQ(screens[1].devicePath(), "\\\\?\\DISPLAY#DELA0F4");
    EXPECT_EQ(screens[2].displayName(), "Varel Kiv");
    EXPECT_EQ(screens[2].edidProductCode(), 0x0013);
    std::ostringstream comparisons;
    EXPECT_TRUE(screens[2].matchesUsbId(comparisons, orvi::kVarelUsbId));
    EXPECT_FALSE(screens[0].matchesUsbId(comparisons, orvi::kVarelUsbId));

    EXPECT_EQ(log.str(), identityLines("867", "", "\\\\?\\DISPLAY#BOE0867") +
                             identityLines("2790", "DELL U2719D", "\\\\?\\DISPLAY#DELA0F4") +
                             identityLines("13", "Varel Kiv", "\\\\?\\DISPLAY#VRL0013"));
}

TEST_F(ScreenEnumerationTest, RecognisesAPellunOnAnAdapterBesideTheGpu) {
    serve(laptopWith(pellunAdapter()));
    const std::vector<ScreenDevice> screens = enumerateScreens(log);
    ASSERT_EQ(screens.size(), 3u);
    std::ostringstream comparisons;
    EXPECT_FALSE(screens[0].matchesEdidProductCode(comparisons, orvi::kPellunEdidProductCode));
    EXPECT_TRUE(screens[2].matchesEdidProductCode(comparisons, orvi::kPellunEdidProductCode));
    EXPECT_EQ(screens[2].displayName(), "KIV USB");
}

TEST_F(ScreenEnumerationTest, ScreensComeInMonitorOrderNotDeviceOrder) {
    // The simulated window system reports the primary monitor first, as Windows usually does.
    serve(SimulatedDesktop{
        {adapter(kGpuId, {display({monitor(1, u"Left", u"a")}, -1920), primaryDisplay({monitor(2, u"Main", u"b")})})}});
    const std::vector<ScreenDevice> screens = enumerateScreens(log);
    EXPECT_EQ(deviceNames(screens), (std::vector<std::string>{"\\\\.\\DISPLAY2", "\\\\.\\DISPLAY1"}));
    ASSERT_EQ(screens.size(), 2u);
    EXPECT_EQ(screens[0].displayName(), "Main");
    EXPECT_EQ(screens[1].displayName(), "Left");
}

TEST_F(ScreenEnumerationTest, SkipsMonitorsWithoutAnAttachedDisplayDeviceOfTheSameName) {
    SimulatedDisplay detached = display({monitor(7, u"Detached", u"d")}, 1920);
    detached.attached = false;  // \\.\DISPLAY2
    SimulatedDisplay claimsDetached = display({monitor(8, u"Claims", u"c")}, 3840);
    claimsDetached.monitorInfoDeviceName = u"\\\\.\\DISPLAY2";
    SimulatedDisplay otherCase = display({monitor(9, u"Case", u"e")}, 5760);
    otherCase.monitorInfoDeviceName = u"\\\\.\\display4";
    serve(SimulatedDesktop{
        {adapter(kGpuId, {primaryDisplay({monitor(1, u"Main", u"m")}), detached, claimsDetached, otherCase})}});

    const std::vector<ScreenDevice> screens = enumerateScreens(log);
    EXPECT_EQ(deviceNames(screens), (std::vector<std::string>{"\\\\.\\DISPLAY1"}));
}

TEST_F(ScreenEnumerationTest, AMonitorWithoutDisplayPathGetsTheEmptyIdentity) {
    // A configuration without any path is not read at all; the third screen gives it one.
    serve(SimulatedDesktop{
        {adapter(kGpuId, {primaryDisplay({}), display({}, 1920), display({monitor(7, u"Third", u"t")}, 3840)})}});
    std::vector<ScreenDevice> screens = enumerateScreens(log);
    ASSERT_EQ(screens.size(), 3u);
    screens.pop_back();
    for (const ScreenDevice& screen : screens) {
        EXPECT_EQ(screen.displayName(), "");
        EXPECT_EQ(screen.devicePath(), "");
        EXPECT_EQ(screen.edidProductCode(), 0);
    }
    EXPECT_EQ(log.str(), identityLines("7", "Third", "t"));
}

TEST_F(ScreenEnumerationTest, ACloneIsOneScreenWithTheFirstPathsIdentity) {
    serve(SimulatedDesktop{
        {adapter(kGpuId, {primaryDisplay({monitor(1, u"First", u"f"), monitor(2, u"Second", u"s")})})}});
    const std::vector<ScreenDevice> screens = enumerateScreens(log);
    ASSERT_EQ(screens.size(), 1u);
    EXPECT_EQ(screens[0].displayName(), "First");
    EXPECT_EQ(log.str(), identityLines("1", "First", "f") + identityLines("2", "Second", "s"));
}

TEST_F(ScreenEnumerationTest, AFailedTargetNameLeavesThatScreenWithoutIdentity) {
    serve(laptopWith(varelAdapter()));
    windowSystem().failCall(DisplayOperation::GetTargetName, 2, 31);
    const std::vector<ScreenDevice> screens = enumerateScreens(log);
    ASSERT_EQ(screens.size(), 3u);
    EXPECT_EQ(screens[1].deviceName(), "\\\\.\\DISPLAY2");
    EXPECT_EQ(screens[1].displayName(), "");
    EXPECT_EQ(screens[1].edidProductCode(), 0);
    EXPECT_EQ(screens[2].displayName(), "Varel Kiv");
    EXPECT_EQ(log.str(), identityLines("867", "", "\\\\?\\DISPLAY#BOE0867") + "Getting target device info...\n" +
                             identityLines("13", "Varel Kiv", "\\\\?\\DISPLAY#VRL0013"));
}

TEST_F(ScreenEnumerationTest, AFailedSourceNameGivesNoScreensAndTheException) {
    serve(laptopWith(varelAdapter()));
    windowSystem().failCall(DisplayOperation::GetSourceName, 3, 31);
    try {
        enumerateScreens(log);
        FAIL() << "no exception";
    } catch (const std::runtime_error& error) {
        const std::string text = error.what();
        EXPECT_EQ(text.rfind("Failed to read Display device source info: ", 0), 0u) << text;
        EXPECT_EQ(text.substr(text.size() - 19), " (Error code: 0x1f)");
        EXPECT_EQ(text, orvi::util::formatWinError({31, "Failed to read Display device source info"}));
    }
    EXPECT_TRUE(windowSystem().callsOf(DisplayOperation::EnumDisplayDevices).empty());
    EXPECT_TRUE(windowSystem().callsOf(DisplayOperation::EnumDisplayMonitors).empty());
    EXPECT_EQ(log.str(), identityLines("867", "", "\\\\?\\DISPLAY#BOE0867") +
                             identityLines("2790", "DELL U2719D", "\\\\?\\DISPLAY#DELA0F4") +
                             "Getting target device info...\n");
}

TEST_F(ScreenEnumerationTest, FindsAKivPluggedInBetweenTheTwoConfigurationQueries) {
    SimulatedDesktop laptop = laptopWith(varelAdapter());
    laptop.adapters.pop_back();
    serve(laptop);
    windowSystem().plugInAfterSizesQuery(1, varelAdapter());

    const std::vector<ScreenDevice> screens = enumerateScreens(log);
    ASSERT_EQ(screens.size(), 3u);
    EXPECT_EQ(screens[2].displayName(), "Varel Kiv");
}

TEST_F(ScreenEnumerationTest, NarrowsUnitsAboveFfToTheirLowByte) {
    serve(SimulatedDesktop{{adapter(kGpuId, {primaryDisplay({monitor(1, u"Kiv \u0130\u00e9\u4142", u"p\u0131")})})}});
    const std::vector<ScreenDevice> screens = enumerateScreens(log);
    ASSERT_EQ(screens.size(), 1u);
    EXPECT_EQ(screens[0].displayName(), std::string("Kiv 0\xE9"
                                                    "B"));
    EXPECT_EQ(screens[0].devicePath(), "p1");
    EXPECT_EQ(log.str(), identityLines("1",
                                       std::string("Kiv 0\xE9"
                                                   "B"),
                                       "p1"));
}

TEST_F(ScreenEnumerationTest, ReadsArraysFilledWithoutANullUpToTheirEnd) {
    const std::u16string deviceName = u"\\\\.\\" + std::u16string(28, u'K');  // 32 units
    const std::u16string friendlyName(64, u'F');
    const std::u16string devicePath(128, u'P');
    SimulatedDisplay full = primaryDisplay({monitor(0x1089, friendlyName, devicePath)});
    full.deviceName = deviceName;
    serve(SimulatedDesktop{{adapter(std::u16string(128, u'H'), {full})}});

    const std::vector<ScreenDevice> screens = enumerateScreens(log);
    ASSERT_EQ(screens.size(), 1u);
    EXPECT_EQ(screens[0].deviceName(), "\\\\.\\" + std::string(28, 'K'));
    EXPECT_EQ(screens[0].displayName(), std::string(64, 'F'));
    EXPECT_EQ(screens[0].devicePath(), std::string(128, 'P'));
    std::ostringstream comparisons;
    EXPECT_FALSE(screens[0].matchesUsbId(comparisons, orvi::kVarelUsbId));
}

TEST_F(ScreenEnumerationTest, FailingDeviceAndMonitorQueriesDropScreensSilently) {
    struct Case {
        DisplayOperation operation;
        unsigned occurrence;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {DisplayOperation::EnumDisplayDevices, 1, {}},
        {DisplayOperation::EnumDisplayDevices, 3, {"\\\\.\\DISPLAY1", "\\\\.\\DISPLAY2"}},
        {DisplayOperation::GetMonitorInfo, 2, {"\\\\.\\DISPLAY1", "\\\\.\\DISPLAY3"}},
        {DisplayOperation::EnumDisplayMonitors, 1, {}},
    };
    for (const Case& c : cases) {
        serve(laptopWith(varelAdapter()));
        windowSystem().failCall(c.operation, c.occurrence, 31);
        std::ostringstream caseLog;
        EXPECT_EQ(deviceNames(enumerateScreens(caseLog)), c.names);
    }
}

}  // namespace
