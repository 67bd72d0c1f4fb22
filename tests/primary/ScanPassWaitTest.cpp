// The scan pass while another holder has the family mutex. A thread of this process stands in for
// the other tool: a Windows mutex excludes every thread but its owner.
#include "primary/ScanPass.h"

#include "tests/display/TestDesktops.h"
#include "util/GlobalNamedMutex.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <exception>
#include <future>
#include <mutex>
#include <ostream>
#include <streambuf>
#include <string>
#include <thread>

namespace {

using namespace orvi::testing;
using orvi::util::GlobalNamedMutex;
using namespace std::chrono_literals;

constexpr char kWaitingLine[] = "Other application is performing an action - waiting for it to finish\n";

// Log text that another thread may watch while the pass writes it.
class WatchedText : public std::streambuf {
public:
    std::string text() const {
        const std::lock_guard<std::mutex> lock(guard_);
        return text_;
    }

    // False when `wanted` has not appeared within `limit`.
    bool waitFor(const std::string& wanted, std::chrono::milliseconds limit) {
        std::unique_lock<std::mutex> lock(guard_);
        return changed_.wait_for(lock, limit, [&] { return text_.find(wanted) != std::string::npos; });
    }

protected:
    int_type overflow(int_type character) override {
        if (!traits_type::eq_int_type(character, traits_type::eof())) {
            const char c = traits_type::to_char_type(character);
            xsputn(&c, 1);
        }
        return traits_type::not_eof(character);
    }

    std::streamsize xsputn(const char* characters, std::streamsize count) override {
        {
            const std::lock_guard<std::mutex> lock(guard_);
            text_.append(characters, static_cast<std::size_t>(count));
        }
        changed_.notify_all();
        return count;
    }

private:
    mutable std::mutex guard_;
    std::condition_variable changed_;
    std::string text_;
};

class ScanPassWaitTest : public SimulatedDesktopTest {};

TEST_F(ScanPassWaitTest, WaitsOnceForTheOtherHolderAndGoesOnWhenItLetsGo) {
    serve(SimulatedDesktop{{adapter(kGpuId, {display({monitor(1, u"Main")}, 0, true)}),
                            adapter(kVarelId, {display({monitor(2, u"Kiv")}, 1920)})}});
    WatchedText text;
    std::ostream log(&text);

    std::promise<bool> held;
    std::string textAtRelease;
    std::thread holder([&] {
        const auto lock = GlobalNamedMutex::create("MorvaKivDisplayApp_main");
        const bool holding = lock->tryLock();
        held.set_value(holding);
        if (!holding) {
            return;
        }
        EXPECT_TRUE(text.waitFor(kWaitingLine, 10s)) << "the pass did not wait";
        std::this_thread::sleep_for(100ms);
        textAtRelease = text.text();
    });  // the holder's object releases the mutex as it goes
    if (!held.get_future().get()) {
        holder.join();
        FAIL() << "the holder could not take the family mutex";
    }

    bool found = false;
    try {
        found = orvi::runScanPass(log);
    } catch (const std::exception& error) {
        ADD_FAILURE() << error.what();
    }
    holder.join();

    EXPECT_TRUE(found);
    EXPECT_EQ(textAtRelease, kWaitingLine) << "the pass went on before the mutex was let go";
    const std::string written = text.text();
    EXPECT_EQ(written.find(std::string(kWaitingLine) + "Searching for Monitor Screens\n"), 0u) << written;
    EXPECT_EQ(written.find(kWaitingLine, 1), std::string::npos) << "waited more than once";
    EXPECT_EQ(written.substr(written.size() - 5), "Done\n");
}

}  // namespace
