// Sizes and places that no real screen has, as a driver out of step could report them: the tool
// must go on with defined 32-bit results (the sanitizer build catches an overflow).
#include "display/ScreenEnumeration.h"
#include "primary/ScanPass.h"
#include "tests/support/TestDesktops.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

namespace {

using namespace orvi::testing;
using orvi::simulation::DisplayOperation;

constexpr DWORD kTwoBillion = 2000000000;

class OutsizedValuesTest : public SimulatedDesktopTest {
protected:
    std::ostringstream log;
};

TEST_F(OutsizedValuesTest, ARowBeyondTheCoordinateSpaceWrapsAroundInsteadOfOverflowing) {
    SimulatedDisplay wide = primaryDisplay({monitor(0x2790, u"DELL U2719D")});
    wide.width = kTwoBillion;
    SimulatedDisplay varel = display({monitor(0x0013, u"Varel Kiv")}, -static_cast<LONG>(kTwoBillion));
    varel.width = kTwoBillion;
    serve(SimulatedDesktop{
        {adapter(kGpuId, {wide, display({monitor(0x2791, u"DELL P2419H")}, 1920)}), adapter(kVarelId, {varel})}});

    EXPECT_TRUE(orvi::runScanPass(log));

    std::vector<LONG> positions;
    for (const auto& call : windowSystem().callsOf(DisplayOperation::ChangeDisplaySettingsEx)) {
        positions.push_back(call.position.x);
    }
    // The Varel at 0, the wide screen after it at 2,000,000,000, the last one where 4,000,000,000
    // lands in 32 bits; then the apply, which passes no mode.
    EXPECT_EQ(positions, (std::vector<LONG>{0, 2000000000, -294967296, 0}));
    EXPECT_NE(log.str().find("setPrimaryDevice completed result: 0\nDone\n"), std::string::npos) << log.str();
}

TEST_F(OutsizedValuesTest, AScreenReachingPastTheCoordinateSpaceIsListed) {
    SimulatedDisplay edge = primaryDisplay({monitor(0x2790, u"DELL U2719D")});
    edge.x = 2147483000;
    serve(SimulatedDesktop{{adapter(kGpuId, {edge})}});

    const std::vector<orvi::ScreenDevice> screens = orvi::enumerateScreens(log);

    ASSERT_EQ(screens.size(), 1u);
    EXPECT_EQ(screens[0].monitorInfo().rcMonitor.left, 2147483000);
    EXPECT_EQ(screens[0].monitorInfo().rcMonitor.right, -2147482376);  // 2147483000 + 1920 in 32 bits
}

}  // namespace
