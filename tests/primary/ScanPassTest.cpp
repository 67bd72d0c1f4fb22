#include "display/DisplayConfigRefused.h"
#include "primary/ScanPass.h"

#include "tests/primary/DesktopLayout.h"
#include "tests/support/MutexTestSupport.h"
#include "tests/support/TestDesktops.h"
#include "tests/support/Text.h"
#include "util/GlobalNamedMutex.h"

#include <gtest/gtest.h>

#include <cctype>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace orvi::testing;
using orvi::runScanPass;
using orvi::simulation::DisplayOperation;
using orvi::util::GlobalNamedMutex;
using Lines = std::vector<std::string>;

constexpr char kFamilyMutex[] = "MorvaKivDisplayApp_main";
constexpr std::uint16_t kPellunCode = 0x1089;
constexpr std::uint16_t kOtherCode = 0x2790;  // 10128
// A USB display adapter whose hardware id carries no vendor id.
constexpr char16_t kPellunAdapterId[] = u"USB\\KIVUSB\\0001";

SimulatedDisplay other(LONG x, bool primary = false) {
    return display({monitor(kOtherCode, u"DELL U2719D", u"\\\\?\\DISPLAY#DELA0F4")}, x, primary);
}

SimulatedDisplay pellun(LONG x) { return display({monitor(kPellunCode, u"KIV USB", u"\\\\?\\DISPLAY#PLN1089")}, x); }

SimulatedAdapter varelAdapter(LONG x, std::uint16_t edidProductCode = 0x0013) {
    SimulatedDisplay kiv = display({monitor(edidProductCode, u"Varel Kiv", u"\\\\?\\DISPLAY#VRL0013")}, x);
    kiv.width = 1280;
    kiv.height = 800;
    return adapter(kVarelId, {kiv});
}

bool startsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

// A line that the sorting of the screens writes.
bool isSortingLine(const std::string& line) {
    return startsWith(line, "Iterating ") || startsWith(line, "Current device USB ID: ") ||
           startsWith(line, "pellun edid: ") || startsWith(line, "found KIV");
}

Lines classificationLines(const std::string& log) {
    Lines result;
    for (const std::string& line : linesOf(log)) {
        if (isSortingLine(line)) {
            result.push_back(line);
        }
    }
    return result;
}

// The summary line and the lines after it: those after the count of screens and the sorting.
Lines linesAfterSorting(const std::string& log) {
    const Lines lines = linesOf(log);
    std::size_t start = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (startsWith(lines[i], "found ") || isSortingLine(lines[i])) {
            start = i + 1;
        }
    }
    return Lines(lines.begin() + static_cast<std::ptrdiff_t>(start), lines.end());
}

std::string iterating(const std::string& displayName, int displayNumber) {
    return "Iterating Screen with display name: " + displayName + "device name: \\\\.\\DISPLAY" +
           std::to_string(displayNumber);
}

const std::string kGpuComparison = "Current device USB ID: VID_8086&PID_5917, Comparing with Varel: VID_17E9&PID_FF13";
const std::string kVarelComparison =
    "Current device USB ID: VID_17E9&PID_FF13, Comparing with Varel: VID_17E9&PID_FF13";
const std::string kNoIdComparison = "Current device USB ID: VID_0000&PID_0000, Comparing with Varel: VID_17E9&PID_FF13";
const std::string kOtherEdid = "pellun edid: 4233, Comparing with: 10128";
const std::string kPellunEdid = "pellun edid: 4233, Comparing with: 4233";

class ScanPassTest : public SimulatedDesktopTest {
protected:
    std::ostringstream log;
};

TEST_F(ScanPassTest, WritesTheWholePassForAPellunBesideAnotherScreen) {
    serve(SimulatedDesktop{{adapter(kGpuId, {other(0, true)}), adapter(kPellunAdapterId, {pellun(1920)})}});

    EXPECT_TRUE(runScanPass(log));

    EXPECT_EQ(log.str(),
              "Searching for Monitor Screens\n"
              "Getting target device info...\n"
              "Retrieved target device information:\n"
              "  EDID Product Code ID: 0x2790\n"
              "  Friendly Name: DELL U2719D\n"
              "  Device Path: \\\\?\\DISPLAY#DELA0F4\n"
              "Getting target device info...\n"
              "Retrieved target device information:\n"
              "  EDID Product Code ID: 0x1089\n"
              "  Friendly Name: KIV USB\n"
              "  Device Path: \\\\?\\DISPLAY#PLN1089\n"
              "found 2 screens\n"
              "Iterating Screen with display name: DELL U2719Ddevice name: \\\\.\\DISPLAY1\n"
              "Current device USB ID: VID_8086&PID_5917, Comparing with Varel: VID_17E9&PID_FF13\n"
              "pellun edid: 4233, Comparing with: 10128\n"
              "Iterating Screen with display name: KIV USBdevice name: \\\\.\\DISPLAY2\n"
              "Current device USB ID: VID_0000&PID_0000, Comparing with Varel: VID_17E9&PID_FF13\n"
              "pellun edid: 4233, Comparing with: 4233\n"
              "found KIV USB(PELLUN) \n"
              "Detected 1 Screenand Orvi KIV USB(Pellun)\n"
              "Setting Orvi Kiv USB(pellun) as primary Display\n"
              "setPrimaryDevice completed result: 0\n"
              "Done\n");
    EXPECT_EQ(layout(), (Lines{"DISPLAY1 1920x1080 at (1920,0)", "DISPLAY2 1920x1080 at (0,0) primary"}));
}

// Windows answers so in a headless session: a look that cannot be made now, not a desktop without a Kiv.
TEST_F(ScanPassTest, WithoutDisplayPathsTheLookIsRefused) {
    EXPECT_THROW(runScanPass(log), orvi::DisplayConfigRefused);
    EXPECT_EQ(log.str(), "Searching for Monitor Screens\n");
    EXPECT_TRUE(windowSystem().callsOf(DisplayOperation::QueryDisplayConfig).empty());
}

TEST_F(ScanPassTest, ExaminesEveryScreenOnceWhenKivScreensFollowOneAnother) {
    // In monitor order: other, Varel, Varel, other, other, Varel.
    serve(SimulatedDesktop{{adapter(kGpuId, {other(0, true)}), varelAdapter(1920), varelAdapter(3200),
                            adapter(kGpuId, {other(4480), other(6400)}), varelAdapter(8320)}});

    EXPECT_TRUE(runScanPass(log));

    EXPECT_EQ(
        classificationLines(log.str()),
        (Lines{iterating("DELL U2719D", 1), kGpuComparison, kOtherEdid, iterating("Varel Kiv", 2), kVarelComparison,
               "found KIV(VAREL) ", iterating("Varel Kiv", 3), kVarelComparison, "found KIV(VAREL) ",
               iterating("DELL U2719D", 4), kGpuComparison, kOtherEdid, iterating("DELL U2719D", 5), kGpuComparison,
               kOtherEdid, iterating("Varel Kiv", 6), kVarelComparison, "found KIV(VAREL) "}));
    // The Varel screens in the order found, then the others in theirs.
    EXPECT_EQ(settingsCalls(),
              (Lines{"read DISPLAY2", "read DISPLAY3", "read DISPLAY6", "read DISPLAY1", "read DISPLAY4",
                     "read DISPLAY5", "store DISPLAY2 0x10000019 at (0,0)", "store DISPLAY3 0x10000009 at (1280,0)",
                     "store DISPLAY6 0x10000009 at (2560,0)", "store DISPLAY1 0x10000009 at (3840,0)",
                     "store DISPLAY4 0x10000009 at (5760,0)", "store DISPLAY5 0x10000009 at (7680,0)", "apply 0x0"}));
    EXPECT_EQ(linesAfterSorting(log.str()),
              (Lines{"Detected 3 Screens and 3 Orvi Kiv devices", "Setting Orvi Kiv as primary Display",
                     "setPrimaryDevice completed result: 0", "Done"}));
}

TEST_F(ScanPassTest, TheVarelWinsAndThePellunScreensGoAtTheEndOfTheRow) {
    // In monitor order: other, Pellun, other, Varel (whose monitor carries the Pellun's code too), Pellun.
    serve(SimulatedDesktop{{adapter(kGpuId, {other(0, true), pellun(1920), other(3840)}),
                            varelAdapter(5760, kPellunCode), adapter(kPellunAdapterId, {pellun(7040)})}});

    EXPECT_TRUE(runScanPass(log));

    EXPECT_EQ(classificationLines(log.str()),
              (Lines{iterating("DELL U2719D", 1), kGpuComparison, kOtherEdid, iterating("KIV USB", 2), kGpuComparison,
                     kPellunEdid, "found KIV USB(PELLUN) ", iterating("DELL U2719D", 3), kGpuComparison, kOtherEdid,
                     iterating("Varel Kiv", 4), kVarelComparison, "found KIV(VAREL) ", iterating("KIV USB", 5),
                     kNoIdComparison, kPellunEdid, "found KIV USB(PELLUN) "}));
    EXPECT_EQ(settingsCalls(),
              (Lines{"read DISPLAY4", "read DISPLAY1", "read DISPLAY3", "read DISPLAY2", "read DISPLAY5",
                     "store DISPLAY4 0x10000019 at (0,0)", "store DISPLAY1 0x10000009 at (1280,0)",
                     "store DISPLAY3 0x10000009 at (3200,0)", "store DISPLAY2 0x10000009 at (5120,0)",
                     "store DISPLAY5 0x10000009 at (7040,0)", "apply 0x0"}));
    EXPECT_EQ(linesAfterSorting(log.str()),
              (Lines{"Detected 2 Screens and Orvi Kiv and 2Orvi KIV USB(pellun) devices",
                     "Setting Orvi Kiv as primary Display", "setPrimaryDevice completed result: 0", "Done"}));
}

// Desktops with a given number of other, Varel and Pellun screens, and the end of their pass.
struct ScreenCounts {
    int others;
    int varels;
    int pelluns;
    Lines tail;  // the summary line and everything after it
    bool found;
};

std::string countsName(const ScreenCounts& counts) {
    return std::to_string(counts.others) + "Others" + std::to_string(counts.varels) + "Varels" +
           std::to_string(counts.pelluns) + "Pelluns";
}

void PrintTo(const ScreenCounts& counts, std::ostream* out) { *out << countsName(counts); }

SimulatedDesktop desktopWith(const ScreenCounts& counts) {
    SimulatedAdapter gpu = adapter(kGpuId, {});
    LONG x = 0;
    for (int i = 0; i < counts.others; ++i, x += 1920) {
        gpu.displays.push_back(other(x));
    }
    for (int i = 0; i < counts.pelluns; ++i, x += 1920) {
        gpu.displays.push_back(pellun(x));
    }
    SimulatedDesktop desktop{{gpu}};
    for (int i = 0; i < counts.varels; ++i, x += 1280) {
        desktop.adapters.push_back(varelAdapter(x));
    }
    for (SimulatedAdapter& each : desktop.adapters) {
        if (!each.displays.empty()) {
            each.displays.front().primary = true;
            break;
        }
    }
    return desktop;
}

class ScanPassSummaryTest : public ScanPassTest, public ::testing::WithParamInterface<ScreenCounts> {};

TEST_P(ScanPassSummaryTest, SummarisesAndDecides) {
    const ScreenCounts& counts = GetParam();
    serve(desktopWith(counts));

    EXPECT_EQ(runScanPass(log), counts.found);

    EXPECT_EQ(linesAfterSorting(log.str()), counts.tail);
    const bool switched = counts.tail.size() == 4;
    EXPECT_EQ(windowSystem().callsOf(DisplayOperation::ChangeDisplaySettingsEx).empty(), !switched)
        << "the layout changes only when the Kiv is made primary";
}

const std::string kSettingVarel = "Setting Orvi Kiv as primary Display";
const std::string kSettingPellun = "Setting Orvi Kiv USB(pellun) as primary Display";
const std::string kCompleted = "setPrimaryDevice completed result: 0";

INSTANTIATE_TEST_SUITE_P(
    Counts, ScanPassSummaryTest,
    ::testing::Values(
        ScreenCounts{1, 0, 0, {"Detected 1 Screen", "Done"}, false},
        ScreenCounts{3, 0, 0, {"Detected 3 Screens", "Done"}, false},
        ScreenCounts{1, 1, 0, {"Detected 1 Screen and Orvi Kiv", kSettingVarel, kCompleted, "Done"}, true},
        ScreenCounts{0, 1, 0, {"Detected 0 Screen and Orvi Kiv", "Orvi Kiv is - already primary", "Done"}, true},
        ScreenCounts{2, 2, 0, {"Detected 2 Screens and 2 Orvi Kiv devices", kSettingVarel, kCompleted, "Done"}, true},
        ScreenCounts{1, 0, 1, {"Detected 1 Screenand Orvi KIV USB(Pellun)", kSettingPellun, kCompleted, "Done"}, true},
        ScreenCounts{1,
                     1,
                     1,
                     {"Detected 1 Screen and Orvi Kivand Orvi KIV USB(Pellun)", kSettingVarel, kCompleted, "Done"},
                     true},
        ScreenCounts{2,
                     0,
                     3,
                     {"Detected 2 Screens and 3Orvi KIV USB(pellun) devices", kSettingPellun, kCompleted, "Done"},
                     true},
        ScreenCounts{0,
                     1,
                     1,
                     {"Detected 0 Screen and Orvi Kivand Orvi KIV USB(Pellun)", kSettingVarel, kCompleted, "Done"},
                     true},
        ScreenCounts{0,
                     0,
                     2,
                     {"Detected 0 Screen and 2Orvi KIV USB(pellun) devices",
                      "Orvi Kiv USB(pellun) is - already primary", "Done"},
                     true}),
    [](const ::testing::TestParamInfo<ScreenCounts>& parameter) { return countsName(parameter.param); });

// Desktops of Kiv screens of both variants, of one, and other screens, each screen on an adapter of
// its own in the order of `screens`: 'o' another screen (1920 wide), 'v' a Varel (1280), 'p' a
// Pellun (1920); the primary in upper case. They stand in a row in that order, the primary at (0, 0).
struct RowCase {
    const char* screens;
    std::string decision;       // the line after the summary
    Lines stored;               // the stored layout afterwards
    bool databaseEntry = true;  // without one the display configuration gives paths without modes
};

std::string rowCaseName(const RowCase& row) {
    std::string name = row.databaseEntry ? "" : "NoDatabaseEntry";
    for (const char kind : std::string(row.screens)) {
        name += std::string(kind == 'o' || kind == 'O'   ? "Other"
                            : kind == 'v' || kind == 'V' ? "Varel"
                                                         : "Pellun") +
                (std::isupper(static_cast<unsigned char>(kind)) ? "Primary" : "");
    }
    return name;
}

void PrintTo(const RowCase& row, std::ostream* out) { *out << row.screens; }

SimulatedDesktop rowDesktop(const std::string& screens) {
    SimulatedDesktop desktop;
    LONG x = 0;
    for (const char kind : screens) {
        const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(kind)));
        desktop.adapters.push_back(lower == 'v'   ? varelAdapter(x)
                                   : lower == 'p' ? adapter(kPellunAdapterId, {pellun(x)})
                                                  : adapter(kGpuId, {other(x)}));
        SimulatedDisplay& added = desktop.adapters.back().displays.front();
        added.primary = kind != lower;
        x += static_cast<LONG>(added.width);
    }
    LONG primaryX = 0;
    for (const SimulatedAdapter& each : desktop.adapters) {
        primaryX = each.displays.front().primary ? each.displays.front().x : primaryX;
    }
    for (SimulatedAdapter& each : desktop.adapters) {
        each.displays.front().x -= primaryX;
    }
    return desktop;
}

class ScanPassRowTest : public ScanPassTest, public ::testing::WithParamInterface<RowCase> {};

TEST_P(ScanPassRowTest, MakesTheChosenVariantPrimaryAndLinesUpEveryOtherScreen) {
    const RowCase& row = GetParam();
    SimulatedDesktop desktop = rowDesktop(row.screens);
    desktop.databaseEntry = row.databaseEntry;
    serve(desktop);

    EXPECT_TRUE(runScanPass(log));

    const Lines tail = linesAfterSorting(log.str());
    ASSERT_GE(tail.size(), 2u);
    EXPECT_EQ(tail[1], row.decision);
    EXPECT_EQ(storedLayout(), row.stored);
    EXPECT_EQ(layout(), row.stored) << "applied as stored";
}

INSTANTIATE_TEST_SUITE_P(
    Variants, ScanPassRowTest,
    ::testing::Values(
        // A Pellun primary at (0, 0), a monitor at (1920, 0), a Varel at (3840, 0): the Pellun goes after
        // the monitor instead of staying under the Varel.
        RowCase{
            "Pov",
            kSettingVarel,
            {"DISPLAY1 1920x1080 at (3200,0)", "DISPLAY2 1920x1080 at (1280,0)", "DISPLAY3 1280x800 at (0,0) primary"}},
        RowCase{"pOvp",
                kSettingVarel,
                {"DISPLAY1 1920x1080 at (3200,0)", "DISPLAY2 1920x1080 at (1280,0)",
                 "DISPLAY3 1280x800 at (0,0) primary", "DISPLAY4 1920x1080 at (5120,0)"}},
        RowCase{
            "poV",
            kSettingVarel,
            {"DISPLAY1 1920x1080 at (3200,0)", "DISPLAY2 1920x1080 at (1280,0)", "DISPLAY3 1280x800 at (0,0) primary"}},
        // Without other screens the Varel still takes precedence over a primary Pellun.
        RowCase{"Pv", kSettingVarel, {"DISPLAY1 1920x1080 at (1280,0)", "DISPLAY2 1280x800 at (0,0) primary"}},
        RowCase{"pV", kSettingVarel, {"DISPLAY1 1920x1080 at (1280,0)", "DISPLAY2 1280x800 at (0,0) primary"}},
        RowCase{"Op", kSettingPellun, {"DISPLAY1 1920x1080 at (1920,0)", "DISPLAY2 1920x1080 at (0,0) primary"}},
        // A set of screens seen for the first time: the Pellun is still known by its path's target.
        RowCase{"Op", kSettingPellun, {"DISPLAY1 1920x1080 at (1920,0)", "DISPLAY2 1920x1080 at (0,0) primary"}, false},
        // Kiv screens of one variant only: nothing changes.
        RowCase{"vV",
                "Orvi Kiv is - already primary",
                {"DISPLAY1 1280x800 at (-1280,0)", "DISPLAY2 1280x800 at (0,0) primary"}},
        RowCase{"pP",
                "Orvi Kiv USB(pellun) is - already primary",
                {"DISPLAY1 1920x1080 at (-1920,0)", "DISPLAY2 1920x1080 at (0,0) primary"}}),
    [](const ::testing::TestParamInfo<RowCase>& parameter) { return rowCaseName(parameter.param); });

// A failure leaves the pass as its exception, without "Done", and the family mutex is free again.
struct PassFailure {
    const char* what;
    DisplayOperation operation;
    unsigned occurrence;  // 0: no call fails
    LONG code;
    std::string message;
    std::string lastLine;
    bool declinesPrimary = false;  // Windows answers the apply with success and keeps its primary
};

void PrintTo(const PassFailure& failure, std::ostream* out) { *out << failure.what; }

class ScanPassFailureTest : public ScanPassTest, public ::testing::WithParamInterface<PassFailure> {};

TEST_P(ScanPassFailureTest, EndsWithoutDoneAndLetsGoOfTheFamilyMutex) {
    const PassFailure& failure = GetParam();
    SimulatedDesktop desktop{{adapter(kGpuId, {other(0, true)}), varelAdapter(1920)}};
    desktop.declinesPrimary = failure.declinesPrimary;
    serve(desktop);
    windowSystem().failCall(failure.operation, failure.occurrence, failure.code);
    // Keeps the mutex in existence, so that a lock left behind would show.
    const auto keeper = GlobalNamedMutex::create(kFamilyMutex);

    try {
        runScanPass(log);
        FAIL() << "no exception";
    } catch (const std::exception& error) {
        EXPECT_EQ(std::string(error.what()).rfind(failure.message, 0), 0u) << error.what();
    }
    const Lines lines = linesOf(log.str());
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), failure.lastLine);
    EXPECT_TRUE(anotherThreadCanTake(kFamilyMutex));
}

INSTANTIATE_TEST_SUITE_P(
    EachStage, ScanPassFailureTest,
    ::testing::Values(
        PassFailure{"Enumeration", DisplayOperation::GetDisplayConfigBufferSizes, 1, ERROR_GEN_FAILURE,
                    "Failed to obtain detail for current displays config: ", "Searching for Monitor Screens"},
        PassFailure{"Switch", DisplayOperation::ChangeDisplaySettingsEx, 1, DISP_CHANGE_RESTART,
                    "Failed to set Orvi Kiv as primary Screen. Err(ChangeDisplaySettingsEx): 1", kSettingVarel},
        PassFailure{"WindowsKeepsAnotherPrimary", DisplayOperation::ChangeDisplaySettingsEx, 0, 0,
                    "Failed apply settings with Orvi Kiv as primary screen: Windows kept another screen as primary",
                    "Orvi Kiv could not be made primary through the display configuration either: Windows kept "
                    "another screen as primary",
                    true}),
    [](const ::testing::TestParamInfo<PassFailure>& parameter) { return std::string(parameter.param.what); });

TEST_F(ScanPassTest, LetsGoOfTheFamilyMutexAfterAPass) {
    serve(SimulatedDesktop{{adapter(kGpuId, {other(0, true)}), varelAdapter(1920)}});
    const auto keeper = GlobalNamedMutex::create(kFamilyMutex);
    EXPECT_TRUE(runScanPass(log));
    EXPECT_TRUE(anotherThreadCanTake(kFamilyMutex));
}

}  // namespace
