// The host's DesktopCapture on desktop files: capturing a file gives it back, but for what no display
// call shows; and its command line.
#include "desktopfile/DesktopFile.h"
#include "simulation/SimulatedWindowSystem.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

using orvi::simulation::DesktopFile;
using orvi::simulation::SimulatedAdapter;
using orvi::simulation::SimulatedDesktop;
using orvi::simulation::SimulatedDisplay;
using orvi::simulation::SimulatedMonitor;

struct Capture {
    int exitCode;
    std::string output;  // standard output, or with `errors` standard error
};

Capture capture(const std::string& desktopFile, const std::vector<std::string>& arguments = {}, bool errors = false) {
    ChildSetup setup;
    setup.piped = errors ? Piped::Error : Piped::Output;
    setup.environment = {{"SIMULATED_DESKTOP", desktopFile}};
    ChildProcess child(KIV_CAPTURE_PATH, arguments, setup);
    std::string output = child.readToEnd();
    return Capture{child.waitForExit(), std::move(output)};
}

bool refusesTheConfiguration(const orvi::simulation::PlannedFailure& failure) {
    using orvi::simulation::DisplayCall;
    return failure.result == static_cast<LONG>(ERROR_ACCESS_DENIED) &&
           (failure.call == DisplayCall::getDisplayConfigBufferSizes ||
            failure.call == DisplayCall::queryDisplayConfig || failure.call == DisplayCall::displayConfigGetDeviceInfo);
}

bool onTheUsbBus(const std::u16string& hardwareId) { return hardwareId.rfind(u"USB\\", 0) == 0; }

// The file as DesktopCapture can see it: without what only the simulation knows (plug-ins, failures,
// how Windows answers a change, session locks after the start, a dynamic refresh rate, the output
// technology of an adapter without targets in a display path, the rest of a day), detached display
// devices with the default settings and no monitors, no monitors in a session
// refused the display configuration (from the start, or by a failure of one of its calls that the
// capture makes) or without display paths, no source id for a display device without a display path,
// adapters in the order of their first display device in the list, indirect where a target reports
// an indirect output technology or the hardware id names the USB bus, monitorsInDeviceOrder only where
// it puts a primary after another monitor, ids and the device order written only where they are not
// the counted ones.
DesktopFile observable(DesktopFile file) {
    SimulatedDesktop& desktop = file.desktop;
    desktop = orvi::simulation::SimulatedWindowSystem(desktop).desktop();  // names filled in
    file.plugIns.clear();
    file.unplugs.clear();
    file.userPrimary.clear();
    file.sleeps.clear();
    file.sessionEndsAtSecond.reset();
    desktop.declinesPrimary = false;
    desktop.legacyIndirectPrimary = orvi::simulation::LegacyIndirectPrimary::Taken;
    const bool refused = file.remoteSession ||
                         std::any_of(file.sessionLocked.begin(), file.sessionLocked.end(),
                                     [](const auto& lock) { return lock.fromSecond == 0; }) ||
                         std::any_of(file.failures.begin(), file.failures.end(), refusesTheConfiguration);
    file.failures.clear();
    file.sessionLocked.clear();
    file.remoteSession = refused;
    const bool noPaths = refused || !desktop.displayPaths;

    std::vector<std::size_t> listOrder;  // (adapter, source) flattened, in the order of the device list
    std::vector<std::pair<DWORD, std::size_t>> order;
    std::vector<bool> targeted(desktop.adapters.size(), false);
    bool anyAttached = false;
    bool anyPath = false;
    for (std::size_t a = 0; a < desktop.adapters.size(); ++a) {
        UINT32 counted = 0;
        UINT32 countedVisible = 0;
        std::vector<SimulatedDisplay>& displays = desktop.adapters[a].displays;
        for (std::size_t s = 0; s < displays.size(); ++s) {
            SimulatedDisplay& display = displays[s];
            order.emplace_back(display.deviceIndex.value_or(static_cast<DWORD>(order.size())), order.size());
            if (display.sourceId == s) {
                display.sourceId.reset();
            }
            anyAttached = anyAttached || display.attached;
            std::vector<SimulatedMonitor> seen;
            for (SimulatedMonitor monitor : display.monitors) {
                const UINT32 position = counted++;
                const UINT32 id = monitor.targetId.value_or(position);
                if (noPaths || !display.attached) {
                    continue;
                }
                const std::size_t target = monitor.targetAdapter.value_or(a);
                targeted[target] = true;
                monitor.targetAdapter = target == a ? std::nullopt : std::optional<std::size_t>(target);
                monitor.targetId = id == countedVisible++ ? std::nullopt : std::optional<UINT32>(id);
                seen.push_back(monitor);
            }
            display.monitors = seen;
            anyPath = anyPath || !seen.empty();
            if (seen.empty()) {
                display.sourceId.reset();  // no display path shows it
            }
            // A dynamic refresh rate reads as 60 Hz, 0 or 1 Hz (the hardware's default) as the default;
            // GetMonitorInfoW's primary flag tells only beside another primary.
            display.refreshRate = display.dynamicRefresh     ? 60
                                  : display.refreshRate <= 1 ? SimulatedDisplay{}.refreshRate
                                                             : display.refreshRate;
            display.dynamicRefresh = false;
            display.monitorInfoPrimary = display.monitorInfoPrimary && !display.primary;
            if (!display.attached) {
                display.x = 0;
                display.y = 0;
                display.width = SimulatedDisplay{}.width;
                display.height = SimulatedDisplay{}.height;
                display.monitorInfoDeviceName.clear();
                display.refreshRate = SimulatedDisplay{}.refreshRate;
                display.monitorInfoPrimary = false;
            }
            if (display.monitorInfoDeviceName == display.deviceName) {
                display.monitorInfoDeviceName.clear();
            }
        }
    }
    std::stable_sort(order.begin(), order.end(), [](const auto& x, const auto& y) { return x.first < y.first; });
    std::vector<DWORD> listed(order.size());  // each display device's place in the list
    for (std::size_t i = 0; i < order.size(); ++i) {
        listed[order[i].second] = static_cast<DWORD>(i);
    }
    // Adapters come in the order of their first display device in the list.
    std::vector<std::size_t> adapterOrder(desktop.adapters.size());
    std::vector<DWORD> firstListed(desktop.adapters.size(), static_cast<DWORD>(order.size()));
    std::vector<const SimulatedDisplay*> monitorsListed(order.size(), nullptr);  // attached ones, in device order
    std::size_t place = 0;
    for (std::size_t a = 0; a < desktop.adapters.size(); ++a) {
        SimulatedAdapter& adapter = desktop.adapters[a];
        adapterOrder[a] = a;
        const UINT32 technology = adapter.outputTechnology.value_or(adapter.indirect ? 16 : 0);
        adapter.indirect = (targeted[a] && (technology == 16 || technology == 17)) || onTheUsbBus(adapter.hardwareId);
        adapter.outputTechnology.reset();
        if (targeted[a] && technology != (adapter.indirect ? 16u : 0u)) {
            adapter.outputTechnology = technology;
        }
        for (SimulatedDisplay& display : adapter.displays) {
            display.deviceIndex = listed[place++];
            firstListed[a] = std::min(firstListed[a], *display.deviceIndex);
            monitorsListed[*display.deviceIndex] = display.attached ? &display : nullptr;
        }
    }
    monitorsListed.erase(std::remove(monitorsListed.begin(), monitorsListed.end(), nullptr), monitorsListed.end());
    desktop.monitorsInDeviceOrder =
        desktop.monitorsInDeviceOrder &&
        std::any_of(monitorsListed.begin(), monitorsListed.end(),
                    [&](const SimulatedDisplay* each) { return each->primary && each != monitorsListed.front(); });
    std::stable_sort(adapterOrder.begin(), adapterOrder.end(),
                     [&](std::size_t x, std::size_t y) { return firstListed[x] < firstListed[y]; });
    std::vector<std::size_t> newIndex(adapterOrder.size());
    std::vector<SimulatedAdapter> reordered;
    for (std::size_t i = 0; i < adapterOrder.size(); ++i) {
        newIndex[adapterOrder[i]] = i;
        reordered.push_back(desktop.adapters[adapterOrder[i]]);
    }
    bool byAdapter = true;
    place = 0;
    for (SimulatedAdapter& adapter : reordered) {
        for (SimulatedDisplay& display : adapter.displays) {
            byAdapter = byAdapter && *display.deviceIndex == place++;
            for (SimulatedMonitor& monitor : display.monitors) {
                if (monitor.targetAdapter) {
                    monitor.targetAdapter = newIndex[*monitor.targetAdapter];
                }
            }
        }
    }
    for (SimulatedAdapter& adapter : reordered) {
        for (SimulatedDisplay& display : adapter.displays) {
            if (byAdapter) {
                display.deviceIndex.reset();
            }
        }
    }
    desktop.adapters = reordered;
    desktop.displayPaths = refused || anyPath || !anyAttached;
    desktop.databaseEntry = desktop.databaseEntry || !anyPath;
    return file;
}

std::vector<std::string> exampleFiles() {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(KIV_EXAMPLES_DIR)) {
        files.push_back(entry.path().filename().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

class CapturedExample : public ::testing::TestWithParam<std::string> {};

TEST_P(CapturedExample, GivesTheFileBackButWhatNoDisplayCallShows) {
    const DesktopFile file = orvi::simulation::readDesktopFile(std::string(KIV_EXAMPLES_DIR) + "/" + GetParam());
    const Capture run = capture(std::string(KIV_EXAMPLES_DIR) + "/" + GetParam());
    ASSERT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output, orvi::simulation::formatDesktop(observable(file)));
}

INSTANTIATE_TEST_SUITE_P(Examples, CapturedExample, ::testing::ValuesIn(exampleFiles()), [](const auto& example) {
    std::string name = example.param.substr(0, example.param.find('.'));
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
});

using Random = std::mt19937;

int uniform(Random& random, int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); }
bool chance(Random& random, double probability) { return std::bernoulli_distribution(probability)(random); }

// Up to three adapters of names of their own, some indirect, each with up to three display devices
// (attached or not, with up to two monitors each); ids that do not count from 0, targets on other
// adapters, display devices listed across adapters, a monitor named otherwise by GetMonitorInfoW,
// and the ways Windows answers the configuration queries.
DesktopFile generatedFile(unsigned seed) {
    Random random(seed);
    DesktopFile file;
    SimulatedDesktop& desktop = file.desktop;
    const int adapters = uniform(random, 1, 3);
    std::size_t displays = 0;
    for (int a = 0; a < adapters; ++a) {
        SimulatedAdapter adapter{u"Adapter " + std::u16string(1, char16_t(u'A' + a)),
                                 chance(random, 0.3) ? u"USB\\VID_17E9&PID_FF13&MI_00" : u"PCI\\VEN_8086&DEV_5917",
                                 {}};
        adapter.indirect = chance(random, 0.3);
        const UINT32 sourceBase = chance(random, 0.3) ? 0x100 * static_cast<UINT32>(uniform(random, 1, 4)) : 0;
        for (int d = uniform(random, 1, 3); d > 0; --d) {
            SimulatedDisplay display;
            display.attached = chance(random, 0.8);
            display.x = uniform(random, -4000, 8000);
            display.y = uniform(random, -2000, 2000);
            display.width = static_cast<DWORD>(uniform(random, 640, 3840));
            display.height = static_cast<DWORD>(uniform(random, 480, 2160));
            if (sourceBase != 0) {
                display.sourceId = sourceBase + static_cast<UINT32>(adapter.displays.size());
            }
            for (int m = uniform(random, 0, 9) == 0 ? 0 : uniform(random, 1, 2); m > 0; --m) {
                SimulatedMonitor monitor{static_cast<UINT16>(uniform(random, 0, 65535)),
                                         chance(random, 0.5) ? u"KIV USB" : u"", u"\\\\?\\DISPLAY#X"};
                monitor.edidValid = chance(random, 0.8);
                if (chance(random, 0.3)) {
                    // A target id of its own, on this or another adapter: unique by the display.
                    monitor.targetAdapter = static_cast<std::size_t>(uniform(random, 0, adapters - 1));
                    monitor.targetId = 0x1000 + static_cast<UINT32>(displays * 4 + display.monitors.size());
                }
                display.monitors.push_back(monitor);
            }
            adapter.displays.push_back(display);
            ++displays;
        }
        desktop.adapters.push_back(adapter);
    }
    // Each display device in a column of its own, as no two screens of a desktop overlap.
    std::vector<SimulatedDisplay*> all;
    for (SimulatedAdapter& adapter : desktop.adapters) {
        for (SimulatedDisplay& display : adapter.displays) {
            display.x += 16000 * static_cast<LONG>(all.size());
            all.push_back(&display);
        }
    }
    all[static_cast<std::size_t>(uniform(random, 0, static_cast<int>(all.size()) - 1))]->primary = true;
    // A target can only be placed on an adapter whose LUID some display path shows.
    std::vector<bool> sourcesInPaths;
    for (const SimulatedAdapter& adapter : desktop.adapters) {
        sourcesInPaths.push_back(std::any_of(adapter.displays.begin(), adapter.displays.end(),
                                             [](const auto& each) { return each.attached && !each.monitors.empty(); }));
    }
    for (SimulatedDisplay* display : all) {
        for (SimulatedMonitor& monitor : display->monitors) {
            if (monitor.targetAdapter && !sourcesInPaths[*monitor.targetAdapter]) {
                monitor.targetAdapter.reset();
            }
        }
    }
    if (chance(random, 0.3)) {
        // The display devices listed across adapters, each adapter's in their order.
        std::vector<std::size_t> adapterOfPlace;
        for (std::size_t a = 0; a < desktop.adapters.size(); ++a) {
            adapterOfPlace.insert(adapterOfPlace.end(), desktop.adapters[a].displays.size(), a);
        }
        std::shuffle(adapterOfPlace.begin(), adapterOfPlace.end(), random);
        std::vector<std::size_t> next(desktop.adapters.size(), 0);
        for (std::size_t place = 0; place < adapterOfPlace.size(); ++place) {
            const std::size_t a = adapterOfPlace[place];
            desktop.adapters[a].displays[next[a]++].deviceIndex = static_cast<DWORD>(place);
        }
    }
    SimulatedDisplay& renamed = *all[static_cast<std::size_t>(uniform(random, 0, static_cast<int>(all.size()) - 1))];
    if (chance(random, 0.2)) {
        renamed.monitorInfoDeviceName = u"\\\\.\\DISPLAY99";
    }
    desktop.databaseEntry = !chance(random, 0.3);
    desktop.displayPaths = !chance(random, 0.1);
    file.remoteSession = chance(random, 0.1);
    // Drawn last, so that the desktops above stay those of earlier seeds.
    desktop.monitorsInDeviceOrder = chance(random, 0.3);
    for (SimulatedAdapter& adapter : desktop.adapters) {
        const int technology = uniform(random, 0, 5);
        if (technology >= 4) {
            adapter.outputTechnology = technology == 4 ? 5 : 17;  // HDMI, INDIRECT_VIRTUAL
        }
    }
    for (SimulatedDisplay* display : all) {
        display->refreshRate = chance(random, 0.3) ? 144 : display->refreshRate;
        display->dynamicRefresh = chance(random, 0.2);
        display->monitorInfoPrimary = chance(random, 0.1);
    }
    return file;
}

TEST(CapturedGeneratedDesktop, GivesTheFileBackButWhatNoDisplayCallShows) {
    TemporaryFolder folder("desktop-capture");
    for (unsigned seed = 1; seed <= 150; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        const DesktopFile file = generatedFile(seed);
        const std::string path = folder.file("desktop.json");
        writeFile(path, orvi::simulation::formatDesktop(file));
        const Capture run = capture(path);
        ASSERT_EQ(run.exitCode, 0);
        ASSERT_EQ(run.output, orvi::simulation::formatDesktop(observable(file))) << formatDesktop(file);
    }
}

struct CommandLineCase {
    const char* name;
    std::vector<std::string> arguments;  // "FILE" stands for a file in the test's folder
    const char* failure;                 // a display call that fails once in the run, or nullptr
    int exitCode;
    std::string errorStart;                  // the start of standard error
    bool fileKept;                           // FILE keeps what it held before; else it holds what the capture can see
    LONG result = 87;                        // what the failing call answers (a BOOL call: FALSE, this its last error)
    void (*change)(DesktopFile&) = nullptr;  // made to examples/default.json before the run
};

void PrintTo(const CommandLineCase& c, std::ostream* out) { *out << c.name; }

// A run that writes FILE, holding what the capture can see of examples/default.json after `change`.
CommandLineCase capturedAfter(const char* name, void (*change)(DesktopFile&)) {
    return CommandLineCase{name, {"FILE"}, nullptr, 0, "", false, 87, change};
}

class CaptureCommandLine : public ::testing::TestWithParam<CommandLineCase> {};

TEST_P(CaptureCommandLine, ExitsWithItsCodeAndWritesAllOrNothing) {
    const CommandLineCase& c = GetParam();
    TemporaryFolder folder("desktop-capture");
    const std::string target = folder.file("captured.json");
    writeFile(target, "before");
    DesktopFile desktop = orvi::simulation::readDesktopFile(std::string(KIV_EXAMPLES_DIR) + "/default.json");
    if (c.failure != nullptr) {
        const orvi::simulation::DisplayCall call = *orvi::simulation::displayCallNamed(c.failure);
        desktop.failures.push_back(
            {call, 1, orvi::simulation::answersWithBool(call) ? 0 : c.result, static_cast<DWORD>(c.result)});
    }
    if (c.change != nullptr) {
        c.change(desktop);
    }
    const std::string desktopPath = folder.file("desktop.json");
    writeFile(desktopPath, orvi::simulation::formatDesktop(desktop));
    std::vector<std::string> arguments = c.arguments;
    std::replace(arguments.begin(), arguments.end(), std::string("FILE"), target);

    const Capture errors = capture(desktopPath, arguments, true);
    EXPECT_EQ(errors.exitCode, c.exitCode);
    EXPECT_EQ(errors.output.substr(0, c.errorStart.size()), c.errorStart);
    const std::string written = readFile(target);
    if (c.fileKept) {
        EXPECT_EQ(written, "before");
    } else {
        EXPECT_EQ(written, orvi::simulation::formatDesktop(observable(desktop)));
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 2) << "a file left behind";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CaptureCommandLine,
    ::testing::Values(
        CommandLineCase{"WritesTheFile", {"FILE"}, nullptr, 0, "", false},
        CommandLineCase{"Help", {"--help"}, nullptr, 0, "", true},
        CommandLineCase{"UnknownOption", {"-o", "FILE"}, nullptr, 1, "DesktopCapture: unknown option '-o'", true},
        CommandLineCase{"TwoFiles", {"FILE", "FILE"}, nullptr, 1, "DesktopCapture: more than one file", true},
        CommandLineCase{
            "UnknownOptionBesideHelp", {"--help", "--all"}, nullptr, 1, "DesktopCapture: unknown option '--all'", true},
        CommandLineCase{"FailingSettings",
                        {"FILE"},
                        "EnumDisplaySettingsW",
                        2,
                        "DesktopCapture: EnumDisplaySettingsW failed (error code 0x57)",
                        true},
        CommandLineCase{"FailingQuery",
                        {"FILE"},
                        "QueryDisplayConfig",
                        2,
                        "DesktopCapture: QueryDisplayConfig failed (error code 0x57)",
                        true},
        // A screen plugged in between the sizes and the query: asked again.
        CommandLineCase{"QueryMetAGrownConfiguration", {"FILE"}, "QueryDisplayConfig", 0, "", false, 122},
        // The session locked part-way through the capture: captured as refused from the start.
        CommandLineCase{"RefusedPartWay", {"FILE"}, "DisplayConfigGetDeviceInfo", 0, "", false, 5},
        capturedAfter("IndirectVirtualTarget",
                      [](DesktopFile& file) { file.desktop.adapters[0].outputTechnology = 17; }),
        // Two screens at the same x, the upper one primary and so listed first but second in the
        // device list: each display device keeps the monitor at its own place.
        capturedAfter("MonitorsNamedOtherwiseAtTheSameX",
                      [](DesktopFile& file) {
                          std::vector<SimulatedDisplay>& displays = file.desktop.adapters[0].displays;
                          displays[0].primary = false;
                          displays[0].y = 1440;
                          displays[0].monitorInfoDeviceName = u"\\\\.\\DISPLAY91";
                          displays[1].primary = true;
                          displays[1].x = 0;
                          displays[1].monitorInfoDeviceName = u"\\\\.\\DISPLAY92";
                      }),
        capturedAfter("MonitorsInDeviceOrder",
                      [](DesktopFile& file) {
                          file.desktop.monitorsInDeviceOrder = true;
                          file.desktop.adapters[0].displays[0].primary = false;
                          file.desktop.adapters[0].displays[1].primary = true;
                      }),
        // 0 and 1 Hz stand for the hardware's default rate: written as the file's default.
        capturedAfter("HardwareDefaultRefreshRates",
                      [](DesktopFile& file) {
                          file.desktop.adapters[0].displays[0].refreshRate = 0;
                          file.desktop.adapters[0].displays[1].refreshRate = 1;
                      })),
    [](const auto& example) { return std::string(example.param.name); });

}  // namespace
