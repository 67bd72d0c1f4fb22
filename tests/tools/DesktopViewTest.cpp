#include "tools/DesktopView.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

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

SimulatedDisplay primary(SimulatedDisplay display) {
    display.primary = true;
    return display;
}

SimulatedDisplay detached(SimulatedDisplay display) {
    display.attached = false;
    return display;
}

SimulatedDesktop gpuWith(std::vector<SimulatedDisplay> displays) {
    return SimulatedDesktop{{SimulatedAdapter{u"GPU", u"", std::move(displays)}}};
}

struct Picture {
    const char* name;
    SimulatedDesktop desktop;
    std::string picture;  // 21 columns wide
};

void PrintTo(const Picture& picture, std::ostream* out) { *out << picture.name; }

std::vector<Picture> pictures() {
    const SimulatedDisplay detachedScreen = detached(display(u"\\\\.\\DISPLAY2", 0, 0, 4000, 4000));
    return {
        {"ScalesTheRowAndMarksThePrimary",
         gpuWith({primary(display(u"\\\\.\\DISPLAY1", 0, 0, 1000, 500, u"A")),
                  display(u"\\\\.\\DISPLAY2", 1000, 0, 1000, 500, u"B")}),
         "+---------+---------+\n"
         "|1 primary|2        |\n"
         "|A        |B        |\n"
         "+---------+---------+\n"},
        {"ShowsTheSmallestScreenAndLeavesOutDetachedOnes",
         gpuWith({primary(display(u"\\\\.\\DISPLAY1", 0, 0, 2000, 1000, u"Panel")), detachedScreen,
                  display(u"\\\\.\\DISPLAY3", 2000, -500, 10, 10, u"K")}),
         "                    +-+\n"
         "                    |3|\n"
         "+-------------------+-+\n"
         "|1 primary          |\n"
         "|Panel              |\n"
         "|                   |\n"
         "|                   |\n"
         "+-------------------+\n"},
        {"IsEmptyWithoutAnAttachedScreen", gpuWith({detachedScreen}), ""},
    };
}

class DesktopView : public ::testing::TestWithParam<Picture> {};

TEST_F(DesktopView, TableListsEveryDisplayDeviceAndTheDayToCome) {
    SimulatedDisplay withoutMonitor;
    withoutMonitor.deviceName = u"\\\\.\\DISPLAY2";
    SimulatedDisplay clone = display(u"\\\\.\\DISPLAY3", 1920, -480, 1280, 480, u"Kiv");
    clone.monitors.push_back({0, u"Caf\u00e9", u""});
    DesktopFile file{
        gpuWith({primary(display(u"\\\\.\\DISPLAY1", 0, 0, 1920, 1080)), detached(withoutMonitor), clone}),
        {{5, SimulatedAdapter{u"USB", u"", {display(u"", 0, 0, 800, 480, u"Late")}}}, {1, SimulatedAdapter{}, 45}}};
    file.unplugs = {{60, u"USB"}, {70, std::size_t{1}}};
    file.userPrimary = {{80, u"\\\\.\\DISPLAY3"}};
    file.sleeps = {{90, 100, orvi::simulation::AfterSleep::Reset}, {10, 20}};
    file.sessionEndsAtSecond = 130;
    file.sessionLocked = {{50, 55}};
    file.remoteSession = true;

    EXPECT_EQ(orvi::tools::screenTable(file),
              "#  device        monitor       position      size\n"
              "1  \\\\.\\DISPLAY1  (no name)     (0, 0)        1920 x 1080  primary\n"
              "2  \\\\.\\DISPLAY2  (no monitor)  -             -            not attached\n"
              "3  \\\\.\\DISPLAY3  Kiv + Caf\u00e9    (1920, -480)  1280 x 480\n"
              "a Remote Desktop session: the display configuration is refused all day\n"
              "plugged in during pass 5: USB with Late 800 x 480\n"
              "asleep from second 10 to 20\n"
              "plugged in at second 45: an adapter\n"
              "locked from second 50 to 55\n"
              "unplugged at second 60: USB\n"
              "unplugged at second 70: adapter 1\n"
              "made primary by the user at second 80: \\\\.\\DISPLAY3\n"
              "asleep from second 90 to 100, then the layout is reset\n"
              "the session ends at second 130\n");
}

TEST_P(DesktopView, LayoutPicture) {
    EXPECT_EQ(orvi::tools::layoutPicture(GetParam().desktop, 21), GetParam().picture);
}

INSTANTIATE_TEST_SUITE_P(, DesktopView, ::testing::ValuesIn(pictures()),
                         [](const ::testing::TestParamInfo<Picture>& picture) {
                             return std::string(picture.param.name);
                         });

}  // namespace
