// The named mutex within one process. Another thread stands in for another process: Windows
// mutexes exclude every thread but the owner.
#include "util/GlobalNamedMutex.h"

#include "tests/support/MutexTestSupport.h"
#include "util/WinException.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using orvi::util::formatWinError;
using orvi::util::GlobalNamedMutex;
using orvi::util::WinException;

TEST(GlobalNamedMutex, RepeatedLockingOfOneObjectIsUndoneByItsDestruction) {
    const std::string name = uniqueMutexName("repeated");
    const auto keeper = GlobalNamedMutex::create(name);  // keeps the mutex in existence throughout
    auto mutex = GlobalNamedMutex::create(name);
    ASSERT_TRUE(anotherThreadCanTake(name)) << "creating does not lock";

    EXPECT_TRUE(mutex->tryLock());
    EXPECT_TRUE(mutex->tryLock());
    mutex->lock();
    mutex->lock();
    EXPECT_TRUE(mutex->tryLock());
    EXPECT_FALSE(anotherThreadCanTake(name));

    // One release undoes one acquisition: a system wait for every call would leave it owned.
    mutex.reset();
    EXPECT_TRUE(anotherThreadCanTake(name));
}

TEST(GlobalNamedMutex, ObjectsOfOneNameOnOneThreadEachEndTheirOwnLockOnly) {
    const std::string name = uniqueMutexName("two-objects");
    const auto keeper = GlobalNamedMutex::create(name);
    auto first = GlobalNamedMutex::create(name);
    first->lock();
    auto second = GlobalNamedMutex::create(name);
    EXPECT_TRUE(second->tryLock()) << "this thread owns it already";
    auto unlocked = GlobalNamedMutex::create(name);

    unlocked.reset();
    EXPECT_FALSE(anotherThreadCanTake(name)) << "an object that never locked releases nothing";
    second.reset();
    EXPECT_FALSE(anotherThreadCanTake(name)) << "the first object still holds it";
    first.reset();
    EXPECT_TRUE(anotherThreadCanTake(name));
}

TEST(GlobalNamedMutex, ANameTakenByAnotherKindOfObjectCannotBeCreated) {
    const std::string name = uniqueMutexName("taken");
    const OtherKindOfObject other(name);
    try {
        GlobalNamedMutex::create(name);
        ADD_FAILURE() << "created a mutex over an object of another kind";
    } catch (const WinException& error) {
        EXPECT_EQ(std::string(error.what()),
                  formatWinError({ERROR_INVALID_HANDLE, "Failed to create Global Named Mutex " + name}));
    }
}

}  // namespace
