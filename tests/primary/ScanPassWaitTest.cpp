// The scan pass while another holder has the family mutex. The test's own thread stands in for the
// other tool while the pass runs on another: a Windows mutex excludes every thread but its owner.
#include "primary/ScanPass.h"

#include "tests/support/FlushedLog.h"
#include "tests/support/TestDesktops.h"
#include "tests/support/TestThread.h"
#include "util/GlobalNamedMutex.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ostream>
#include <string>
#include <thread>

namespace {

using namespace orvi::testing;
using orvi::util::GlobalNamedMutex;
using namespace std::chrono_literals;

constexpr char kWaitingLine[] = "Other application is performing an action - waiting for it to finish\n";

class ScanPassWaitTest : public SimulatedDesktopTest {};

TEST_F(ScanPassWaitTest, WaitsOnceForTheOtherHolderAndGoesOnWhenItLetsGo) {
    serve(SimulatedDesktop{{adapter(kGpuId, {display({monitor(1, u"Main")}, 0, true)}),
                            adapter(kVarelId, {display({monitor(2, u"Kiv")}, 1920)})}});
    // The log is flushed only where the pass flushes it: a person watching the log file must see
    // the waiting line while the pass waits.
    FlushedLog text;
    std::ostream log(&text);
    auto holder = GlobalNamedMutex::create("MorvaKivDisplayApp_main");
    ASSERT_TRUE(holder->tryLock()) << "the holder could not take the family mutex";

    bool found = false;
    TestThread pass([&] { found = orvi::runScanPass(log); });
    EXPECT_TRUE(text.waitFor(kWaitingLine, 10s)) << "the pass did not wait, or did not flush the line first";
    std::this_thread::sleep_for(100ms);
    const std::string textAtRelease = text.flushed();
    holder.reset();  // lets go of the mutex
    pass.join("the scan pass to end after the family mutex was let go");

    EXPECT_TRUE(found);
    EXPECT_EQ(textAtRelease, kWaitingLine) << "the pass went on before the mutex was let go";
    const std::string written = text.flushed();
    EXPECT_EQ(written.find(std::string(kWaitingLine) + "Searching for Monitor Screens\n"), 0u) << written;
    EXPECT_EQ(written.find(kWaitingLine, 1), std::string::npos) << "waited more than once";
    EXPECT_EQ(written.substr(written.size() - 5), "Done\n");
}

}  // namespace
