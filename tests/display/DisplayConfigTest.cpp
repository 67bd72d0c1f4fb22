#include "display/DisplayConfig.h"

#include "display/DisplayConfigRefused.h"
#include "tests/support/TestDesktops.h"
#include "util/WinException.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace orvi::testing;
using orvi::DisplayConfig;
using orvi::getCurrentDisplayConfig;
using orvi::getTargetDeviceInfo;
using orvi::TargetDeviceInfo;
using orvi::simulation::DisplayOperation;

SimulatedAdapter gpuWithPanel() { return adapter(kGpuId, {primaryDisplay({monitor(0x0867, u"", u"panel")})}); }

SimulatedAdapter varelAdapter() { return adapter(kVarelId, {display({monitor(0x13, u"Varel Kiv", u"kiv")}, 1920)}); }

std::string errorText(const std::function<void()>& call) {
    try {
        call();
    } catch (const std::exception& error) {
        return error.what();
    }
    return "no exception";
}

class DisplayConfigTest : public SimulatedDesktopTest {
protected:
    // The identity of the only path, read from the simulated configuration.
    TargetDeviceInfo onlyIdentity(std::ostream& log) {
        const DisplayConfig config = getCurrentDisplayConfig();
        EXPECT_EQ(config.paths.size(), 1u);
        return config.paths.empty() ? TargetDeviceInfo{} : getTargetDeviceInfo(log, config.paths.front());
    }
};

TEST_F(DisplayConfigTest, ReadsTheCurrentConfiguration) {
    serve(SimulatedDesktop{{gpuWithPanel(), varelAdapter()}});
    const DisplayConfig config = getCurrentDisplayConfig();
    EXPECT_EQ(config.paths.size(), 2u);
    EXPECT_EQ(config.modes.size(), 4u);
    for (const auto& call : windowSystem().calls()) {
        EXPECT_EQ(call.flags, QDC_DATABASE_CURRENT);
    }
}

TEST_F(DisplayConfigTest, AsksAgainWhenTheConfigurationGrewBetweenSizesAndQuery) {
    serve(SimulatedDesktop{{gpuWithPanel()}});
    windowSystem().plugInAfterSizesQuery(1, varelAdapter());

    const DisplayConfig config = getCurrentDisplayConfig();
    EXPECT_EQ(config.paths.size(), 2u);
    EXPECT_EQ(config.modes.size(), 4u);
    const auto queries = windowSystem().callsOf(DisplayOperation::QueryDisplayConfig);
    ASSERT_EQ(queries.size(), 2u);
    EXPECT_EQ(queries[0].result, static_cast<LONG>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(queries[1].result, static_cast<LONG>(ERROR_SUCCESS));
}

TEST_F(DisplayConfigTest, GivesUpOnAConfigurationThatNeverSettles) {
    serve(SimulatedDesktop{{gpuWithPanel()}});
    constexpr unsigned kMany = 50;
    for (unsigned sizesQuery = 1; sizesQuery <= kMany; ++sizesQuery) {
        windowSystem().plugInAfterSizesQuery(sizesQuery, varelAdapter());
    }
    EXPECT_EQ(errorText([] { getCurrentDisplayConfig(); }),
              orvi::util::formatWinError({ERROR_INSUFFICIENT_BUFFER, "Failed to obtain current displays config"}));
    const std::size_t attempts = windowSystem().callsOf(DisplayOperation::GetDisplayConfigBufferSizes).size();
    EXPECT_GT(attempts, 1u);
    EXPECT_LT(attempts, kMany);
    EXPECT_EQ(windowSystem().callsOf(DisplayOperation::QueryDisplayConfig).size(), attempts);
}

// ERROR_ACCESS_DENIED is what a session without access to the console meets: a refusal for now, told
// apart from every other failure, at every query of the configuration.
TEST_F(DisplayConfigTest, FailedQueriesThrowWithTheirResultAndContext) {
    struct Case {
        DisplayOperation operation;
        LONG code;
        const char* context;
        bool refusal;
        bool withoutPaths = false;  // no failing call: a headless session's configuration
    };
    const Case cases[] = {
        {DisplayOperation::GetDisplayConfigBufferSizes, 31, "Failed to obtain detail for current displays config",
         false},
        {DisplayOperation::GetDisplayConfigBufferSizes, 5, "Failed to obtain detail for current displays config", true},
        {DisplayOperation::QueryDisplayConfig, 87, "Failed to obtain current displays config", false},
        {DisplayOperation::QueryDisplayConfig, 5, "Failed to obtain current displays config", true},
        {DisplayOperation::GetSourceName, 5, "Failed to read Display device source info", true},
        {DisplayOperation::GetTargetName, 5, "Failed to read Display device target info", true},
        {DisplayOperation::GetDisplayConfigBufferSizes, 87, "Failed to obtain current displays config", true, true},
    };
    for (const Case& c : cases) {
        SimulatedDesktop desktop{{gpuWithPanel()}};
        desktop.displayPaths = !c.withoutPaths;
        serve(desktop);
        if (!c.withoutPaths) {
            windowSystem().failCall(c.operation, 1, c.code);
        }
        std::ostringstream log;
        bool refused = false;
        EXPECT_EQ(errorText([&] {
                      try {
                          onlyIdentity(log);
                      } catch (const orvi::DisplayConfigRefused&) {
                          refused = true;
                          throw;
                      }
                  }),
                  orvi::util::formatWinError({static_cast<DWORD>(c.code), c.context}));
        EXPECT_EQ(refused, c.refusal) << c.context;
        EXPECT_EQ(windowSystem().callsOf(DisplayOperation::QueryDisplayConfig).size(),
                  c.operation == DisplayOperation::GetDisplayConfigBufferSizes ? 0u : 1u);
    }
}

TEST_F(DisplayConfigTest, IdentityLinesGiveTheProductCodeInHexAndLeaveTheLogInDecimal) {
    struct Case {
        std::uint16_t code;
        const char* hex;
        bool edidValid = true;      // a code that the target name does not vouch for counts as 0
        bool databaseEntry = true;  // without one the paths come without modes
    };
    for (const Case c : {Case{0x1089, "1089"}, Case{0xFF, "ff"}, Case{0, "0"}, Case{0x1089, "0", false},
                         Case{0x1089, "1089", true, false}}) {
        SCOPED_TRACE(std::string(c.hex) + (c.edidValid ? "" : ", EDID ids not valid") +
                     (c.databaseEntry ? "" : ", no database entry"));
        SimulatedMonitor shown = monitor(c.code, u"KIV USB", u"\\\\?\\DISPLAY#PLN1089");
        shown.edidValid = c.edidValid;
        SimulatedDesktop desktop{{adapter(kGpuId, {primaryDisplay({shown})})}};
        desktop.databaseEntry = c.databaseEntry;
        serve(desktop);
        std::ostringstream log;
        log << std::oct;
        const TargetDeviceInfo identity = onlyIdentity(log);
        log << 10;
        EXPECT_EQ(log.str(), std::string("Getting target device info...\n"
                                         "Retrieved target device information:\n"
                                         "  EDID Product Code ID: 0x") +
                                 c.hex +
                                 "\n"
                                 "  Friendly Name: KIV USB\n"
                                 "  Device Path: \\\\?\\DISPLAY#PLN1089\n"
                                 "10");
        EXPECT_EQ(identity.gdiDeviceName, wide(u"\\\\.\\DISPLAY1"));
        EXPECT_EQ(identity.friendlyName, "KIV USB");
        EXPECT_EQ(identity.devicePath, "\\\\?\\DISPLAY#PLN1089");
        EXPECT_EQ(identity.edidProductCode, c.edidValid ? c.code : 0);
    }
}

TEST_F(DisplayConfigTest, AskForTheNamesOfThePathsAdapterAndIds) {
    serve(SimulatedDesktop{{gpuWithPanel(), varelAdapter()}});
    std::ostringstream log;
    const DisplayConfig config = getCurrentDisplayConfig();
    // The USB adapter's target 0, shown by the GPU's source 0: a path may cross adapters.
    DISPLAYCONFIG_PATH_INFO path = config.paths[1];
    path.sourceInfo.adapterId = config.paths[0].sourceInfo.adapterId;
    getTargetDeviceInfo(log, path);
    const auto source = windowSystem().callsOf(DisplayOperation::GetSourceName);
    const auto target = windowSystem().callsOf(DisplayOperation::GetTargetName);
    ASSERT_EQ(source.size(), 1u);
    ASSERT_EQ(target.size(), 1u);
    const LUID gpu = orvi::simulation::SimulatedWindowSystem::adapterLuid(0);
    const LUID usb = orvi::simulation::SimulatedWindowSystem::adapterLuid(1);
    EXPECT_EQ(source[0].adapterId.LowPart, gpu.LowPart);
    EXPECT_EQ(source[0].id, 0u);
    EXPECT_EQ(target[0].adapterId.LowPart, usb.LowPart);
    EXPECT_EQ(target[0].id, 0u);
}

TEST_F(DisplayConfigTest, AFailedTargetNameGivesTheEmptyIdentityAfterOneLine) {
    serve(SimulatedDesktop{{gpuWithPanel()}});
    windowSystem().failCall(DisplayOperation::GetTargetName, 1, 31);
    std::ostringstream log;
    const TargetDeviceInfo identity = onlyIdentity(log);
    EXPECT_EQ(log.str(), "Getting target device info...\n");
    EXPECT_TRUE(identity.gdiDeviceName.empty());
    EXPECT_TRUE(identity.friendlyName.empty());
    EXPECT_TRUE(identity.devicePath.empty());
    EXPECT_EQ(identity.edidProductCode, 0);
}

TEST_F(DisplayConfigTest, AFailedSourceNameThrowsAfterOneLine) {
    serve(SimulatedDesktop{{gpuWithPanel()}});
    windowSystem().failCall(DisplayOperation::GetSourceName, 1, 87);
    std::ostringstream log;
    EXPECT_EQ(errorText([&] { onlyIdentity(log); }),
              orvi::util::formatWinError({87, "Failed to read Display device source info"}));
    EXPECT_EQ(log.str(), "Getting target device info...\n");
}

}  // namespace
