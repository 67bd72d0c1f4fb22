#include "tools/DesktopView.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using orvi::simulation::DesktopFile;
using orvi::simulation::SimulatedAdapter;
using orvi::simulation::SimulatedDesktop;
using orvi::simulation::SimulatedDisplay;

SimulatedDisplay display(const char16_t* name, LONG x, LONG y, DWORD width, DWORD height,
                         std::u16string monitor = u"") {
    SimulatedDisplay result;
    result.deviceName = name;
    result.x = x;
    result.y = y;
    result.width = width;
    result.height = height;
    result.monitors = {{0, std::move(monitor), u""}};
    return result;
}

TEST(DesktopView, TableListsEveryDisplayDeviceAndThePlugInsToCome) {
    SimulatedDisplay primary = display(u"\\\\.\\DISPLAY1", 0, 0, 1920, 1080);
    primary.primary = true;
    SimulatedDisplay detached;
    detached.deviceName = u"\\\\.\\DISPLAY2";
    detached.attached = false;
    SimulatedDisplay clone = display(u"\\\\.\\DISPLAY3", 1920, -480, 1280, 480, u"Kiv");
    clone.monitors.push_back({0, u"Caf\u00e9", u""});
    DesktopFile file{
        SimulatedDesktop{{SimulatedAdapter{u"GPU", u"", {primary, detached, clone}}}},
        {{5, SimulatedAdapter{u"USB", u"", {display(u"", 0, 0, 800, 480, u"Late")}}}, {1, SimulatedAdapter{}, 45}}};

    EXPECT_EQ(orvi::tools::screenTable(file),
              "#  device        monitor       position      size\n"
              "1  \\\\.\\DISPLAY1  (no name)     (0, 0)        1920 x 1080  primary\n"
              "2  \\\\.\\DISPLAY2  (no monitor)  -             -            not attached\n"
              "3  \\\\.\\DISPLAY3  Kiv + Caf\u00e9    (1920, -480)  1280 x 480\n"
              "plugged in during pass 5: USB with Late 800 x 480\n"
              "plugged in at second 45: an adapter\n");
}

TEST(DesktopView, PictureScalesTheRowAndMarksThePrimary) {
    SimulatedDisplay left = display(u"\\\\.\\DISPLAY1", 0, 0, 1000, 500, u"A");
    left.primary = true;
    const SimulatedDesktop desktop{
        {SimulatedAdapter{u"GPU", u"", {left, display(u"\\\\.\\DISPLAY2", 1000, 0, 1000, 500, u"B")}}}};

    EXPECT_EQ(orvi::tools::layoutPicture(desktop, 21),
              "+---------+---------+\n"
              "|1 primary|2        |\n"
              "|A        |B        |\n"
              "+---------+---------+\n");
}

TEST(DesktopView, PictureShowsTheSmallestScreenAndLeavesOutDetachedOnes) {
    SimulatedDisplay big = display(u"\\\\.\\DISPLAY1", 0, 0, 2000, 1000, u"Panel");
    big.primary = true;
    SimulatedDisplay detached = display(u"\\\\.\\DISPLAY2", 0, 0, 4000, 4000);
    detached.attached = false;
    const SimulatedDesktop desktop{
        {SimulatedAdapter{u"GPU", u"", {big, detached, display(u"\\\\.\\DISPLAY3", 2000, -500, 10, 10, u"K")}}}};

    EXPECT_EQ(orvi::tools::layoutPicture(desktop, 21),
              "                    +-+\n"
              "                    |3|\n"
              "+-------------------+-+\n"
              "|1 primary          |\n"
              "|Panel              |\n"
              "|                   |\n"
              "|                   |\n"
              "+-------------------+\n");
    EXPECT_EQ(orvi::tools::layoutPicture(SimulatedDesktop{{SimulatedAdapter{u"GPU", u"", {detached}}}}, 21), "");
}

}  // namespace
