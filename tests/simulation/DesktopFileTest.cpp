#include "desktopfile/DesktopFile.h"
#include "platform/DisplayServices.h"
#include "simulation/DefaultDesktop.h"
#include "simulation/DesktopFromEnvironment.h"
#include "simulation/SimulatedWindowSystem.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using orvi::simulation::formatDesktop;
using orvi::simulation::parseDesktop;
using orvi::simulation::SimulatedDesktop;
using orvi::simulation::SimulatedWindowSystem;

std::string fileText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

std::string errorText(const std::string& json) {
    try {
        parseDesktop(json);
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "no exception";
}

// The desktop as the window system serves it: display devices named.
std::string served(const SimulatedDesktop& desktop) {
    return formatDesktop({SimulatedWindowSystem(desktop).desktop(), {}});
}

TEST(DesktopFile, WritesWhatItReads) {
    SimulatedDesktop desktop = orvi::simulation::defaultDesktop();
    desktop.adapters[0].displays[1].monitors[0].friendlyName = u"Caf\u00e9 \u0130 \U0001F5B5";
    desktop.adapters[0].displays[1].monitors[0].devicePath = std::u16string(128, u'P');
    desktop.adapters[1].displays[0].y = -480;
    desktop.adapters[1].displays[0].attached = false;
    desktop.adapters[1].displays[0].monitorInfoDeviceName = u"\\\\.\\DISPLAY9";
    desktop.adapters[1].displays[0].monitors[0].edidValid = false;
    desktop.adapters[1].displays[0].refreshRate = 144;
    desktop.adapters[1].displays[0].dynamicRefresh = true;
    desktop.adapters[1].displays[0].monitorInfoPrimary = true;
    desktop.adapters[1].displays[0].virtualModePaths = orvi::simulation::SimulatedDisplay::VirtualModePaths::Unflagged;
    desktop.adapters[1].displays[0].cloneGroupId = 7;
    desktop.adapters[1].indirect = true;
    desktop.adapters[1].outputTechnology = 5;
    desktop.declinesPrimary = true;
    desktop.databaseEntry = false;
    desktop.legacyIndirectPrimary = orvi::simulation::LegacyIndirectPrimary::Ignored;
    desktop.displayPaths = false;
    desktop.virtualModeAware = orvi::simulation::VirtualModeAware::Refused;
    desktop.sourceModesFirst = true;
    const std::string text = formatDesktop({desktop, {}});
    EXPECT_EQ(formatDesktop(parseDesktop(text)), text);
    const SimulatedDesktop read = parseDesktop(text).desktop;
    EXPECT_TRUE(read.declinesPrimary);
    EXPECT_FALSE(read.databaseEntry);
    EXPECT_TRUE(read.adapters[1].indirect);
    EXPECT_EQ(read.legacyIndirectPrimary, orvi::simulation::LegacyIndirectPrimary::Ignored);
    EXPECT_FALSE(read.displayPaths);
    EXPECT_FALSE(read.adapters[1].displays[0].monitors[0].edidValid);
    EXPECT_EQ(read.virtualModeAware, orvi::simulation::VirtualModeAware::Refused);
    EXPECT_TRUE(read.sourceModesFirst);
    EXPECT_EQ(read.adapters[1].displays[0].cloneGroupId, 7);
    EXPECT_EQ(read.adapters[1].displays[0].refreshRate, 144u);
    EXPECT_TRUE(read.adapters[1].displays[0].dynamicRefresh);
    EXPECT_TRUE(read.adapters[1].displays[0].monitorInfoPrimary);
    EXPECT_EQ(read.adapters[1].displays[0].virtualModePaths,
              orvi::simulation::SimulatedDisplay::VirtualModePaths::Unflagged);
    EXPECT_EQ(parseDesktop(text).desktop.adapters[0].displays[1].monitors[0].friendlyName,
              u"Caf\u00e9 \u0130 \U0001F5B5");
    EXPECT_EQ(text.find("session"), std::string::npos) << "the session keys only when they say something";

    const std::string session = formatDesktop({desktop, {}, {}, {{0, 35}, {40, 4000000000}}, true});
    EXPECT_EQ(formatDesktop(parseDesktop(session)), session);
    EXPECT_EQ(parseDesktop(session).sessionLocked.at(1).toSecond, 4000000000u);
    EXPECT_TRUE(parseDesktop(session).remoteSession);

    orvi::simulation::DesktopFile day{desktop, {}};
    day.unplugs = {{60, u"Varel Kiv USB Display Adapter"}, {70, std::size_t{0}}};
    day.userPrimary = {{50, u"\\\\.\\DISPLAY1"}};
    day.sleeps = {{90, 100, orvi::simulation::AfterSleep::Reset},
                  {110, 120, orvi::simulation::AfterSleep::Stored, false}};
    day.plugIns = {{1, desktop.adapters[1], 30, 5}};
    day.sessionEndsAtSecond = 130;
    const std::string dayText = formatDesktop(day);
    EXPECT_EQ(formatDesktop(parseDesktop(dayText)), dayText);
    EXPECT_EQ(parseDesktop(dayText).sleeps.at(0).afterwards, orvi::simulation::AfterSleep::Reset);
    EXPECT_EQ(std::get<std::size_t>(parseDesktop(dayText).unplugs.at(1).adapter), 0u);
    EXPECT_FALSE(parseDesktop(dayText).sleeps.at(1).resumeNotice);
    EXPECT_EQ(parseDesktop(dayText).plugIns.at(0).relayoutAfterSeconds, 5u);
}

TEST(DesktopFile, WritesPlugInsOnlyWhenThereAreAny) {
    SimulatedDesktop desktop = orvi::simulation::defaultDesktop();
    const orvi::simulation::SimulatedAdapter usb = desktop.adapters.back();
    desktop.adapters.pop_back();
    EXPECT_EQ(formatDesktop({desktop, {}}).find("plugIns"), std::string::npos);

    const std::string text = formatDesktop({desktop, {{5, usb}, {2, usb}, {1, usb, 45}}});
    const orvi::simulation::DesktopFile file = parseDesktop(text);
    EXPECT_EQ(formatDesktop(file), text);
    ASSERT_EQ(file.plugIns.size(), 3u);
    EXPECT_EQ(file.plugIns[0].duringPass, 5u);
    EXPECT_EQ(file.plugIns[1].duringPass, 2u) << "kept in the order written";
    EXPECT_EQ(file.plugIns[2].atSecond, 45u);
    EXPECT_EQ(file.plugIns[0].adapter.hardwareId, u"USB\\VID_17E9&PID_FF13&MI_00");
    EXPECT_EQ(file.desktop.adapters.size(), 1u);
}

TEST(DesktopFile, LeftOutValuesTakeTheirDefaults) {
    const SimulatedDesktop desktop = parseDesktop(R"({"adapters": [{"displays": [{"monitors": [{}]}]}]})").desktop;
    EXPECT_FALSE(desktop.declinesPrimary);
    EXPECT_TRUE(desktop.databaseEntry);
    EXPECT_EQ(desktop.legacyIndirectPrimary, orvi::simulation::LegacyIndirectPrimary::Taken);
    EXPECT_TRUE(desktop.displayPaths);
    ASSERT_EQ(desktop.adapters.size(), 1u);
    EXPECT_FALSE(desktop.adapters[0].indirect);
    ASSERT_EQ(desktop.adapters[0].displays.size(), 1u);
    const auto& display = desktop.adapters[0].displays[0];
    EXPECT_TRUE(display.attached);
    EXPECT_FALSE(display.primary);
    EXPECT_EQ(display.width, 1920u);
    EXPECT_EQ(display.height, 1080u);
    EXPECT_TRUE(display.deviceName.empty());
    ASSERT_EQ(display.monitors.size(), 1u);
    EXPECT_TRUE(display.monitors[0].edidValid);
    EXPECT_TRUE(desktop.adapters[0].hardwareId.empty());
}

// The bytes of a file of `text` in UTF-16 with its byte order mark, as Windows PowerShell 5.1 writes it.
std::string utf16File(const std::u16string& text, bool bigEndian = false) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (const char16_t unit : text) {
        const char high = static_cast<char>(unit >> 8);
        const char low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
}

TEST(DesktopFile, NamesTheFirstFaultAndWhereItIs) {
    struct Case {
        std::string json;
        const char* error;
    };
    const Case cases[] = {
        {"{", "desktop: not JSON at line 1, column 2: unexpected end of input; expected string literal"},
        {"{\"adapters\": [],\n \"plugIns\": [],\n}",
         "desktop: not JSON at line 3, column 1: unexpected '}'; expected string literal"},
        {"{\"adapters\": [{\"name\": \"Caf\u00e9\" \"displays\": []}]}",
         "desktop: not JSON at line 1, column 40: unexpected string literal; expected '}'"},
        {"{\"adapters\": [\n  {\"displays\": [\n",
         "desktop: not JSON at line 3, column 1: unexpected end of input; expected '[', '{', or a literal"},
        {"\xEF\xBB\xBF{,", "desktop: not JSON at line 1, column 2: unexpected ','; expected string literal"},
        {utf16File(u"{\"adapters\": [], \"\u753b\u9762\": []}"), "\u753b\u9762: unknown key"},
        {utf16File(u"{\"adapters\": [], \"\u753b\u9762\": []}", true), "\u753b\u9762: unknown key"},
        {utf16File(u"{\"adapters\": [{\"name\": \"Caf\u00e9\"}],\r\n \"x\": }"),
         "desktop: not JSON at line 2, column 7: unexpected '}'; expected '[', '{', or a literal"},
        {"\xFF\xFE{", "desktop: UTF-16 with an odd number of bytes"},
        {"[]", "desktop: must be an object"},
        {"{}", "desktop: \"adapters\" missing"},
        {R"({"adapters": {}})", "adapters: must be an array"},
        {R"({"adapters": [], "screens": []})", "screens: unknown key"},
        {R"({"adapters": [{"displays": [{"widht": 1}]}]})", "adapters[0].displays[0].widht: unknown key"},
        {R"({"adapters": [{"displays": [{}, {"width": -1}]}]})", "adapters[0].displays[1].width: out of range"},
        {R"({"adapters": [{"displays": [{"x": 1.5}]}]})", "adapters[0].displays[0].x: must be a whole number"},
        {R"({"adapters": [{"displays": [{"x": 2147483648}]}]})", "adapters[0].displays[0].x: out of range"},
        {R"({"adapters": [{"displays": [{"primary": "yes"}]}]})",
         "adapters[0].displays[0].primary: must be true or false"},
        {R"({"adapters": [{"hardwareId": 7}]})", "adapters[0].hardwareId: must be a text"},
        {R"({"adapters": [], "declinesPrimary": 1})", "declinesPrimary: must be true or false"},
        {R"({"adapters": [], "databaseEntry": "no"})", "databaseEntry: must be true or false"},
        {R"({"adapters": [], "legacyIndirectPrimary": "kept"})",
         "legacyIndirectPrimary: must be \"taken\", \"failed\" or \"ignored\""},
        {R"({"adapters": [], "displayPaths": 0})", "displayPaths: must be true or false"},
        {R"({"adapters": [], "virtualModeAware": true})",
         "virtualModeAware: must be \"taken\", \"refused\", \"refreshRateRefusedAtApply\" or \"awareRefusedAtApply\""},
        {R"({"adapters": [{"indirect": "yes"}]})", "adapters[0].indirect: must be true or false"},
        {R"({"adapters": [{"displays": [{"monitors": [{"edidValid": null}]}]}]})",
         "adapters[0].displays[0].monitors[0].edidValid: must be true or false"},
        {R"({"adapters": [{"displays": [{"monitors": [{"edidProductCode": 65536}]}]}]})",
         "adapters[0].displays[0].monitors[0].edidProductCode: out of range"},
        {R"({"adapters": [], "plugIns": {}})", "plugIns: must be an array"},
        {R"({"adapters": [], "plugIns": [{"adapter": {}}]})", "plugIns[0]: \"duringPass\" or \"atSecond\" missing"},
        {R"({"adapters": [], "plugIns": [{"duringPass": 1, "atSecond": 4, "adapter": {}}]})",
         "plugIns[0]: \"duringPass\" and \"atSecond\" exclude each other"},
        {R"({"adapters": [], "plugIns": [{"atSecond": -1, "adapter": {}}]})", "plugIns[0].atSecond: out of range"},
        {R"({"adapters": [], "plugIns": [{"duringPass": 1}]})", "plugIns[0]: \"adapter\" missing"},
        {R"({"adapters": [], "plugIns": [{"duringPass": 0, "adapter": {}}]})", "plugIns[0].duringPass: out of range"},
        {R"({"adapters": [], "plugIns": [{"duringPass": 1, "adapter": {}}, {"duringPass": -2, "adapter": {}}]})",
         "plugIns[1].duringPass: out of range"},
        {R"({"adapters": [], "plugIns": [{"duringPass": 2, "adapter": {"displays": [{"x": "1"}]}}]})",
         "plugIns[0].adapter.displays[0].x: must be a whole number"},
        {R"({"adapters": [], "plugIns": [{"duringPass": 1, "adapter": {}, "after": 1}]})",
         "plugIns[0].after: unknown key"},
        {R"({"adapters": [], "failures": {}})", "failures: must be an array"},
        {R"({"adapters": [], "failures": [{"occurrence": 1, "result": 0}]})", "failures[0]: \"call\" missing"},
        {R"({"adapters": [], "failures": [{"call": "EnumDisplayDevicesW", "result": 0}]})",
         "failures[0]: \"occurrence\" missing"},
        {R"({"adapters": [], "failures": [{"call": "GetMonitorInfoW", "occurrence": 1}]})",
         "failures[0]: \"result\" missing"},
        {R"({"adapters": [], "failures": [{"call": 7, "occurrence": 1, "result": 0}]})",
         "failures[0].call: must be a text"},
        {R"({"adapters": [], "failures": [{"call": "SetDisplayConfigW", "occurrence": 1, "result": 87}]})",
         "failures[0].call: not one of the display calls"},
        {R"({"adapters": [], "failures": [{"call": "enumdisplaysettingsw", "occurrence": 1, "result": 0}]})",
         "failures[0].call: not one of the display calls"},
        {R"({"adapters": [], "failures": [{"call": "EnumDisplaySettingsW", "occurrence": 0, "result": 0}]})",
         "failures[0].occurrence: out of range"},
        {R"({"adapters": [], "failures": [{"call": "EnumDisplaySettingsW", "occurrence": 1, "result": 1}]})",
         "failures[0].result: must be 0 (FALSE) for EnumDisplaySettingsW"},
        {R"({"adapters": [], "failures": [{"call": "ChangeDisplaySettingsExW", "occurrence": 3, "result": 0}]})",
         "failures[0].result: must not be 0, which is success"},
        {R"({"adapters": [], "failures": [{"call": "QueryDisplayConfig", "occurrence": 1, "result": 2147483648}]})",
         "failures[0].result: out of range"},
        {R"({"adapters": [], "failures": [{"call": "EnumDisplayMonitors", "occurrence": 1, "result": 0,
            "lastError": -1}]})",
         "failures[0].lastError: out of range"},
        {R"({"adapters": [], "failures": [{"call": "EnumDisplayMonitors", "occurrence": 1, "result": 0, "at": 1}]})",
         "failures[0].at: unknown key"},
        {R"({"adapters": [], "sessionLocked": {}})", "sessionLocked: must be an array"},
        {R"({"adapters": [], "sessionLocked": [{"fromSecond": 5}]})", "sessionLocked[0]: \"toSecond\" missing"},
        {R"({"adapters": [], "sessionLocked": [{"fromSecond": 0, "toSecond": 9}, {"fromSecond": 5, "toSecond": 5}]})",
         "sessionLocked[1].toSecond: must be later than \"fromSecond\""},
        {R"({"adapters": [], "sessionLocked": [{"fromSecond": -1, "toSecond": 5}]})",
         "sessionLocked[0].fromSecond: out of range"},
        {R"({"adapters": [], "sessionLocked": [{"fromSecond": 0, "toSecond": 5, "by": "Win+L"}]})",
         "sessionLocked[0].by: unknown key"},
        {R"({"adapters": [], "remoteSession": 1})", "remoteSession: must be true or false"},
        {R"({"adapters": [{"displays": [{}, {"sourceId": 0}]}]})",
         "adapters[0].displays[1].sourceId: another display device of the adapter has this source id"},
        {R"({"adapters": [{"displays": [{"monitors": [{"targetAdapter": 1}]}]}]})",
         "adapters[0].displays[0].monitors[0].targetAdapter: out of range"},
        {R"({"adapters": [{"displays": [{"monitors": [{}]}]}, {"displays": [{"monitors": [{"targetAdapter": 0}]}]}]})",
         "adapters[1].displays[0].monitors[0].targetId: another monitor of the target adapter has this target id"},
        {R"({"adapters": [{"displays": [{"deviceIndex": -1}]}]})", "adapters[0].displays[0].deviceIndex: out of range"},
        {R"({"adapters": [], "unplugs": [{"atSecond": 5}]})", "unplugs[0]: \"adapter\" missing"},
        {R"({"adapters": [], "unplugs": [{"atSecond": 5, "adapter": true}]})",
         "unplugs[0].adapter: must be an adapter's name or index"},
        {R"({"adapters": [], "userPrimary": [{"display": "\\\\.\\DISPLAY1"}]})",
         "userPrimary[0]: \"atSecond\" missing"},
        {R"({"adapters": [], "sleeps": [{"fromSecond": 9, "toSecond": 9}]})",
         "sleeps[0].toSecond: must be later than \"fromSecond\""},
        {R"({"adapters": [], "sleeps": [{"fromSecond": 1, "toSecond": 9, "afterwards": "lost"}]})",
         "sleeps[0].afterwards: must be \"stored\" or \"reset\""},
        {R"({"adapters": [], "sessionEndsAtSecond": -1})", "sessionEndsAtSecond: out of range"},
        {R"({"adapters": [], "sleeps": [{"fromSecond": 1, "toSecond": 9, "resumeNotice": 0}]})",
         "sleeps[0].resumeNotice: must be true or false"},
        {R"({"adapters": [], "plugIns": [{"duringPass": 2, "relayoutAfterSeconds": 3, "adapter": {}}]})",
         "plugIns[0].relayoutAfterSeconds: only with \"atSecond\""},
        {R"({"adapters": [{"displays": [{"virtualModePaths": "some"}]}]})",
         "adapters[0].displays[0].virtualModePaths: must be \"supported\", \"unflagged\" or \"plain\""},
        // A day that cannot happen.
        {R"({"adapters": [{"displays": [{"deviceName": "\\\\.\\DISPLAY1"}]}, {"displays": [{}, {"deviceName": "\\\\.\\DISPLAY1"}]}]})",
         "adapters[1].displays[1].deviceName: another display device has this name"},
        {R"({"adapters": [{"name": "K", "displays": [{"deviceName": "\\\\.\\DISPLAY3"}]}],
             "plugIns": [{"atSecond": 400, "adapter": {"displays": [{"deviceName": "\\\\.\\DISPLAY3"}]}}],
             "unplugs": [{"atSecond": 400, "adapter": "K"}]})",
         "plugIns[0].adapter.displays[0].deviceName: another display device has this name at second 400"},
        {R"({"adapters": [{"name": "K"}], "unplugs": [{"atSecond": 200, "adapter": "K"}, {"atSecond": 300, "adapter": "K"}]})",
         "unplugs[1].adapter: no adapter of this name is attached at second 300"},
        {R"({"adapters": [{}], "plugIns": [{"atSecond": 50, "adapter": {}}], "unplugs": [{"atSecond": 40, "adapter": 1}]})",
         "unplugs[0].adapter: no adapter 1 at second 40: 1 are attached then, counted from 0"},
        {R"({"adapters": [{"displays": [{}]}], "userPrimary": [{"atSecond": 5000, "display": "\\\\.\\DISPLAY1"}],
             "sessionEndsAtSecond": 4800})",
         "userPrimary[0].atSecond: must be before \"sessionEndsAtSecond\" (4800)"},
        {R"({"adapters": [], "sleeps": [{"fromSecond": 100, "toSecond": 600}], "sessionEndsAtSecond": 300})",
         "sleeps[0].toSecond: must be before \"sessionEndsAtSecond\" (300)"},
        {R"({"adapters": [], "sleeps": [{"fromSecond": 3000, "toSecond": 3600}, {"fromSecond": 3300, "toSecond": 3900}]})",
         "sleeps[1].fromSecond: overlaps sleeps[0]"},
        {R"({"adapters": [], "sleeps": [{"fromSecond": 100, "toSecond": 600}], "sessionLocked": [{"fromSecond": 50, "toSecond": 300}]})",
         "sessionLocked[0].toSecond: cannot be: the PC sleeps then (sleeps[0])"},
        {R"({"adapters": [{"displays": [{}]}], "sessionLocked": [{"fromSecond": 50, "toSecond": 300}],
             "userPrimary": [{"atSecond": 50, "display": "\\\\.\\DISPLAY1"}]})",
         "userPrimary[0].atSecond: cannot be: the session is locked then (sessionLocked[0])"},
        {R"({"adapters": [{"displays": [{}]}], "sessionLocked": [{"fromSecond": 0, "toSecond": 35}],
             "userPrimary": [{"atSecond": 35, "display": "\\\\.\\DISPLAY1"}]})",
         "userPrimary[0].atSecond: cannot be: the session is back only after the events of that second "
         "(sessionLocked[0])"},
        {R"({"adapters": [{"displays": [{}]}], "userPrimary": [{"atSecond": 5, "display": "\\\\.\\DISPLAY9"}]})",
         "userPrimary[0].display: no display device of this name is attached at second 5"},
        {R"({"adapters": [{"displays": [{}, {"x": 1920, "attached": false}]}],
             "userPrimary": [{"atSecond": 5, "display": "\\\\.\\DISPLAY2"}]})",
         "userPrimary[0].display: no display device of this name is attached at second 5"},
        {R"({"adapters": [{"displays": [{}]}, {"name": "K", "displays": [{"x": 1920}]}],
             "unplugs": [{"atSecond": 10, "adapter": "K"}],
             "userPrimary": [{"atSecond": 9, "display": "\\\\.\\DISPLAY2"}, {"atSecond": 10, "display": "\\\\.\\DISPLAY2"}]})",
         "userPrimary[1].display: no display device of this name is attached at second 10"},
        {R"({"adapters": [{"displays": [{"primary": true}, {"x": 1920, "primary": true}]}]})",
         "adapters[0].displays[1].primary: adapters[0].displays[0] is primary already"},
        {R"({"adapters": [{"displays": [{}, {"x": 1919}]}]})",
         "adapters[0].displays[1]: overlaps adapters[0].displays[0]"},
        {R"({"adapters": [{"displays": [{"x": -100, "y": -1079}]}, {"displays": [{"width": 1, "height": 1}]}]})",
         "adapters[1].displays[0]: overlaps adapters[0].displays[0]"},
        // The bounds of a day: the sign-out's own second is too late; a lock may begin the second the PC
        // goes to sleep and end the second it wakes, but a user's primary falls inside the sleep.
        {R"({"adapters": [], "sessionLocked": [{"fromSecond": 4000, "toSecond": 4800}], "sessionEndsAtSecond": 4800})",
         "sessionLocked[0].toSecond: must be before \"sessionEndsAtSecond\" (4800)"},
        {R"({"adapters": [], "plugIns": [{"atSecond": 4800, "adapter": {}}], "sessionEndsAtSecond": 4800})",
         "plugIns[0].atSecond: must be before \"sessionEndsAtSecond\" (4800)"},
        {R"({"adapters": [{}], "unplugs": [{"atSecond": 4800, "adapter": 0}], "sessionEndsAtSecond": 4800})",
         "unplugs[0].atSecond: must be before \"sessionEndsAtSecond\" (4800)"},
        {R"({"adapters": [], "sleeps": [{"fromSecond": 100, "toSecond": 600}], "sessionLocked": [{"fromSecond": 100, "toSecond": 600}]})",
         "no exception"},
        {R"({"adapters": [{"displays": [{}]}], "sleeps": [{"fromSecond": 100, "toSecond": 600}],
             "userPrimary": [{"atSecond": 599, "display": "\\\\.\\DISPLAY1"}]})",
         "userPrimary[0].atSecond: cannot be: the PC sleeps then (sleeps[0])"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(errorText(c.json), c.error) << c.json;
    }
}

// What can happen is taken: screens that touch, a clone across adapters, a display device that is not
// attached, a user's primary of a screen plugged in at that second and one a second after an unlock.
TEST(DesktopFile, TakesADayThatCanHappen) {
    const char* const days[] = {
        R"({"adapters": [{"displays": [{"primary": true}, {"x": 1920}, {"y": -1080}]}]})",
        R"({"adapters": [{"displays": [{"primary": true}]}, {"displays": [{}]}]})",
        R"({"adapters": [{"displays": [{"primary": true}, {"x": 5, "attached": false, "primary": true}]}]})",
        R"({"adapters": [{"displays": [{}]}], "plugIns": [{"atSecond": 10, "adapter": {"displays": [{"x": 1920}]}}],
            "userPrimary": [{"atSecond": 10, "display": "\\\\.\\DISPLAY2"}]})",
        R"({"adapters": [{"displays": [{}]}], "sessionLocked": [{"fromSecond": 0, "toSecond": 35}],
            "userPrimary": [{"atSecond": 36, "display": "\\\\.\\DISPLAY1"}]})",
    };
    for (const char* day : days) {
        EXPECT_EQ(errorText(day), "no exception") << day;
    }
}

TEST(DesktopFile, ExamplesAreDesktopsWithAKiv) {
    const std::string examples = KIV_EXAMPLES_DIR;
    EXPECT_EQ(served(orvi::simulation::readDesktopFile(examples + "/default.json").desktop),
              served(orvi::simulation::defaultDesktop()));

    struct Example {
        const char* file;
        std::vector<std::u16string> hardwareIds;
    };
    const Example examplesWithIds[] = {
        {"pellun.json", {u"PCI\\VEN_8086&DEV_5917&SUBSYS_07A81028&REV_07", u"USB\\VID_1D5C&PID_2000&MI_00"}},
        {"both-variants.json", {u"PCI\\VEN_10DE&DEV_2503&SUBSYS_397D1462&REV_A1", u"USB\\VID_17E9&PID_FF13&MI_00"}},
        {"only-kiv.json", {u"USB\\VID_17E9&PID_FF13&MI_00"}},
        {"failing-change.json", {u"PCI\\VEN_8086&DEV_5917&SUBSYS_07A81028&REV_07", u"USB\\VID_17E9&PID_FF13&MI_00"}},
        {"kiv-plugged-in-later.json",
         {u"PCI\\VEN_8086&DEV_5917&SUBSYS_07A81028&REV_07", u"USB\\VID_17E9&PID_FF13&MI_00"}},
        {"kiv-plugged-in-at-45s.json",
         {u"PCI\\VEN_8086&DEV_5917&SUBSYS_07A81028&REV_07", u"USB\\VID_17E9&PID_FF13&MI_00"}},
        {"locked-until-35s.json", {u"PCI\\VEN_8086&DEV_5917&SUBSYS_07A81028&REV_07", u"USB\\VID_17E9&PID_FF13&MI_00"}},
        {"remote-session.json", {u"PCI\\VEN_8086&DEV_5917&SUBSYS_07A81028&REV_07", u"USB\\VID_17E9&PID_FF13&MI_00"}},
    };
    for (const Example& example : examplesWithIds) {
        const orvi::simulation::DesktopFile file = orvi::simulation::readDesktopFile(examples + "/" + example.file);
        std::vector<std::u16string> hardwareIds;
        for (const auto& adapter : file.desktop.adapters) {
            hardwareIds.push_back(adapter.hardwareId);
        }
        for (const auto& plugIn : file.plugIns) {
            hardwareIds.push_back(plugIn.adapter.hardwareId);
        }
        EXPECT_EQ(hardwareIds, example.hardwareIds) << example.file;
    }
}

class DesktopFromEnvironment : public ::testing::Test {
protected:
    void TearDown() override {
        unsetenv("SIMULATED_DESKTOP");
        orvi::simulation::simulatedWindowSystem().reset(SimulatedDesktop{});
    }
};

TEST_F(DesktopFromEnvironment, WithoutTheVariableServesTheDefaultDesktop) {
    unsetenv("SIMULATED_DESKTOP");
    orvi::simulation::useDesktopFromEnvironment();
    EXPECT_EQ(formatDesktop({orvi::simulation::simulatedWindowSystem().desktop(), {}}),
              served(orvi::simulation::defaultDesktop()));
}

TEST_F(DesktopFromEnvironment, StoresEveryStoredLayoutInTheFile) {
    const std::string path = ::testing::TempDir() + "desktop-from-environment.json";
    std::ofstream(path) << fileText(std::string(KIV_EXAMPLES_DIR) + "/only-kiv.json");
    setenv("SIMULATED_DESKTOP", path.c_str(), 1);
    orvi::simulation::useDesktopFromEnvironment();

    const WCHAR kiv[] = {'\\', '\\', '.', '\\', 'D', 'I', 'S', 'P', 'L', 'A', 'Y', '1', 0};
    DEVMODEW mode{};
    mode.dmSize = sizeof(mode);
    ASSERT_TRUE(orvi::platform::enumDisplaySettings(kiv, ENUM_CURRENT_SETTINGS, &mode));
    mode.dmPelsWidth = 800;
    mode.dmFields = DM_PELSWIDTH;
    ASSERT_EQ(orvi::platform::changeDisplaySettingsEx(kiv, &mode, CDS_NORESET), DISP_CHANGE_SUCCESSFUL);
    ASSERT_EQ(orvi::platform::changeDisplaySettingsEx(nullptr, nullptr, 0), DISP_CHANGE_SUCCESSFUL);
    EXPECT_EQ(orvi::simulation::readDesktopFile(path).desktop.adapters[0].displays[0].width, 1280u)
        << "changed, not stored";

    // A reader of the file while it is stored (desktop_view, a run ended part-way) has a whole file.
    const std::string before = fileText(path);
    std::ifstream opened(path, std::ios::binary);
    ASSERT_EQ(orvi::platform::changeDisplaySettingsEx(kiv, &mode, CDS_NORESET | CDS_UPDATEREGISTRY),
              DISP_CHANGE_SUCCESSFUL);
    EXPECT_EQ(orvi::simulation::readDesktopFile(path).desktop.adapters[0].displays[0].width, 800u)
        << "stored when recorded, before any apply";
    std::ostringstream readOn;
    readOn << opened.rdbuf();
    EXPECT_EQ(readOn.str(), before) << "replaced by a new file, not rewritten in place";
    EXPECT_FALSE(std::ifstream(path + ".new").is_open()) << "nothing left beside it";
}

TEST_F(DesktopFromEnvironment, FailsTheCallsThatTheFileNamesAndKeepsThemWhenStoring) {
    const std::string path = ::testing::TempDir() + "desktop-with-failures.json";
    // The second DisplayConfigGetDeviceInfo fails, whatever the first one asked for.
    const std::string failures = R"("failures": [
        {"call": "DisplayConfigGetDeviceInfo", "occurrence": 2, "result": 31},
        {"call": "EnumDisplaySettingsW", "occurrence": 1, "result": 0, "lastError": 1168},
        {"call": "GetDisplayConfigBufferSizes", "occurrence": 1, "result": 87, "lastError": 5}])";
    std::string text = fileText(std::string(KIV_EXAMPLES_DIR) + "/only-kiv.json");
    text.insert(text.rfind('}'), ", " + failures);
    std::ofstream(path) << text;
    setenv("SIMULATED_DESKTOP", path.c_str(), 1);
    orvi::simulation::useDesktopFromEnvironment();

    UINT32 pathCount = 0;
    UINT32 modeCount = 0;
    SetLastError(0);
    EXPECT_EQ(orvi::platform::getDisplayConfigBufferSizes(QDC_DATABASE_CURRENT, &pathCount, &modeCount), 87);
    EXPECT_EQ(GetLastError(), 5u);
    DISPLAYCONFIG_SOURCE_DEVICE_NAME source{};
    source.header.type = DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME;
    source.header.size = sizeof(source);
    source.header.adapterId = SimulatedWindowSystem::adapterLuid(0);
    EXPECT_EQ(orvi::platform::displayConfigGetDeviceInfo(&source.header), 0);
    DISPLAYCONFIG_TARGET_DEVICE_NAME target{};
    target.header.type = DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_NAME;
    target.header.size = sizeof(target);
    target.header.adapterId = SimulatedWindowSystem::adapterLuid(0);
    EXPECT_EQ(orvi::platform::displayConfigGetDeviceInfo(&target.header), 31);
    EXPECT_EQ(orvi::platform::displayConfigGetDeviceInfo(&target.header), 0);

    const WCHAR kiv[] = {'\\', '\\', '.', '\\', 'D', 'I', 'S', 'P', 'L', 'A', 'Y', '1', 0};
    DEVMODEW mode{};
    mode.dmSize = sizeof(mode);
    EXPECT_FALSE(orvi::platform::enumDisplaySettings(kiv, ENUM_CURRENT_SETTINGS, &mode));
    EXPECT_EQ(GetLastError(), 1168u);
    ASSERT_TRUE(orvi::platform::enumDisplaySettings(kiv, ENUM_CURRENT_SETTINGS, &mode));
    ASSERT_EQ(orvi::platform::changeDisplaySettingsEx(kiv, &mode, CDS_NORESET | CDS_UPDATEREGISTRY),
              DISP_CHANGE_SUCCESSFUL);
    EXPECT_EQ(formatDesktop(orvi::simulation::readDesktopFile(path)), formatDesktop(parseDesktop(text)))
        << "stored as it was, failures included";
}

TEST_F(DesktopFromEnvironment, AFileThatCannotBeReadIsAnError) {
    const std::string path = ::testing::TempDir() + "no-such-desktop.json";
    setenv("SIMULATED_DESKTOP", path.c_str(), 1);
    try {
        orvi::simulation::useDesktopFromEnvironment();
        FAIL() << "no exception";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()), "Simulated desktop " + path + ": cannot be opened");
    }
}

}  // namespace
