// The named mutex between processes: the helper program mutex_holder is the other process (under
// Wine a Windows process of the same prefix).
#include "util/GlobalNamedMutex.h"

#include "tests/support/MutexTestSupport.h"
#include "tests/support/TestThread.h"
#include "util/WinException.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

namespace {

using orvi::util::formatWinError;
using orvi::util::GlobalNamedMutex;

constexpr int kDiedHoldingIt = 3;  // mutex_holder's exit code for "die"

TEST(GlobalNamedMutexAcrossProcesses, HeldByAnotherProcessTryLockIsFalseUntilItLetsGo) {
    const std::string name = uniqueMutexName("held");
    ChildProcess holder = mutexHolder("hold", name);
    ASSERT_EQ(holder.readLine(), "locked");

    const auto mutex = GlobalNamedMutex::create(name);
    EXPECT_FALSE(mutex->tryLock());
    EXPECT_FALSE(mutex->tryLock()) << "a failed try leaves the object unlocked";

    holder.endInput();
    EXPECT_EQ(holder.readLine(), "released");
    EXPECT_EQ(holder.waitForExit(), 0);
    EXPECT_TRUE(mutex->tryLock());
    EXPECT_EQ(answerOfAnotherProcess("try", name), "busy\n");
}

TEST(GlobalNamedMutexAcrossProcesses, DestructionHandsTheMutexToAWaitingProcess) {
    const std::string name = uniqueMutexName("handed-on");
    const auto keeper = GlobalNamedMutex::create(name);  // closing the locked object's handle alone frees nothing
    auto mutex = GlobalNamedMutex::create(name);
    mutex->lock();
    ChildProcess waiter = mutexHolder("hold", name);
    EXPECT_EQ(answerOfAnotherProcess("try", name), "busy\n");

    mutex.reset();
    ASSERT_EQ(waiter.readLine(), "locked");
    waiter.endInput();
    EXPECT_EQ(waiter.readLine(), "released");
    EXPECT_EQ(answerOfAnotherProcess("try", name), "acquired\n");
}

TEST(GlobalNamedMutexAcrossProcesses, AnOwnerThatDiesLeavesTheMutexAbandoned) {
    const std::string name = uniqueMutexName("abandoned-raw");
    const std::unique_ptr<void, HandleCloser> mutex(CreateMutexA(nullptr, FALSE, name.c_str()));
    ASSERT_NE(mutex.get(), nullptr);
    ChildProcess dying = mutexHolder("die", name);
    ASSERT_EQ(dying.readLine(), "locked");
    ASSERT_EQ(dying.waitForExit(), kDiedHoldingIt);

    EXPECT_EQ(WaitForSingleObject(mutex.get(), 0), WAIT_ABANDONED);
    EXPECT_EQ(WaitForSingleObject(mutex.get(), 0), WAIT_OBJECT_0) << "abandonment is told once";
    EXPECT_TRUE(ReleaseMutex(mutex.get()));
    EXPECT_TRUE(ReleaseMutex(mutex.get()));
}

TEST(GlobalNamedMutexAcrossProcesses, BothLockOperationsAcquireAnAbandonedMutex) {
    const struct {
        const char* operation;
        std::function<bool(GlobalNamedMutex&)> acquire;
    } cases[] = {
        {"tryLock", [](GlobalNamedMutex& mutex) { return mutex.tryLock(); }},
        {"lock",
         [](GlobalNamedMutex& mutex) {
             mutex.lock();
             return true;
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.operation);
        const std::string name = uniqueMutexName(std::string("abandoned-") + c.operation);
        auto mutex = GlobalNamedMutex::create(name);  // our handle keeps the mutex while its owner dies
        ChildProcess dying = mutexHolder("die", name);
        ASSERT_EQ(dying.readLine(), "locked");
        ASSERT_EQ(dying.waitForExit(), kDiedHoldingIt);

        // On a thread with a time limit: a lock that is never given must fail the case, not hang it.
        runOnAnotherThread(std::string("the abandoned mutex to be acquired by ") + c.operation, [&] {
            EXPECT_TRUE(c.acquire(*mutex));
            EXPECT_EQ(answerOfAnotherProcess("try", name), "busy\n");
            mutex.reset();
        });
        EXPECT_EQ(answerOfAnotherProcess("try", name), "acquired\n");
    }
}

TEST(GlobalNamedMutexAcrossProcesses, ANameTakenByAnotherKindOfObjectFailsWithTheTextAndCode) {
    const std::string name = uniqueMutexName("taken");
    const OtherKindOfObject other(name);
    EXPECT_EQ(answerOfAnotherProcess("try", name),
              "error: " + formatWinError({ERROR_INVALID_HANDLE, "Failed to create Global Named Mutex " + name}) + "\n");
}

}  // namespace
