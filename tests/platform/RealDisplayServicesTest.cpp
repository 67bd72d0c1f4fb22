// Display discovery against the window system itself (under Wine on the build machine).
#include "display/Narrow.h"
#include "display/ScreenEnumeration.h"
#include "tests/support/Text.h"

#include <gtest/gtest.h>

#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using orvi::ScreenDevice;

TEST(RealDisplayServices, EveryScreenComesOutWithItsIdentityLines) {
    std::ostringstream log;
    const std::vector<ScreenDevice> screens = orvi::enumerateScreens(log);
    const std::string lines = log.str();
    std::cout << lines;

    ASSERT_FALSE(screens.empty());
    EXPECT_EQ(countOf(lines, "Getting target device info...\n"),
              countOf(lines, "Retrieved target device information:\n"));
    for (const ScreenDevice& screen : screens) {
        EXPECT_FALSE(screen.devicePath().empty()) << screen.deviceName() << " has no identity";
        std::ostringstream identity;
        identity << "Retrieved target device information:\n"
                 << "  EDID Product Code ID: 0x" << std::hex << screen.edidProductCode() << "\n"
                 << "  Friendly Name: " << screen.displayName() << "\n"
                 << "  Device Path: " << screen.devicePath() << "\n";
        EXPECT_NE(lines.find(identity.str()), std::string::npos) << screen.deviceName();
        std::cout << screen.deviceName() << ": \"" << screen.displayName() << "\", EDID " << screen.edidProductCode()
                  << ", " << orvi::narrowBounded(screen.displayDevice().DeviceID) << "\n";
    }
}

}  // namespace
