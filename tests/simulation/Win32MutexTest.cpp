// The Windows mutex behaviour that the named mutex relies on, pinned on Windows (Wine) and held to
// by the host stand-ins.
#include "platform/Win32.h"

#include "tests/support/MutexTestSupport.h"
#include "tests/support/TestThread.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#ifndef _WIN32
#include "simulation/MutexStandIns.h"

#include <sys/stat.h>
#endif

namespace {

using Handle = std::unique_ptr<void, HandleCloser>;

Handle createMutex(const std::string& name) { return Handle(CreateMutexA(nullptr, FALSE, name.c_str())); }

TEST(Win32Mutex, OneNameIsOneMutexAndTheSecondCreateSaysSo) {
    const std::string name = uniqueMutexName("one-name");
    SetLastError(ERROR_GEN_FAILURE);
    const Handle first = createMutex(name);
    ASSERT_NE(first.get(), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    const Handle second = createMutex(name);
    ASSERT_NE(second.get(), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);

    ASSERT_EQ(WaitForSingleObject(first.get(), 0), WAIT_OBJECT_0);
    EXPECT_FALSE(anotherThreadCanTake(name));
    EXPECT_TRUE(ReleaseMutex(second.get())) << "the owner releases through any handle";
    EXPECT_TRUE(anotherThreadCanTake(name));
}

TEST(Win32Mutex, TheOwningThreadAcquiresAgainAndReleasesAsOftenAsItAcquired) {
    const std::string name = uniqueMutexName("recursive");
    const Handle mutex = createMutex(name);
    ASSERT_EQ(WaitForSingleObject(mutex.get(), 0), WAIT_OBJECT_0);
    ASSERT_EQ(WaitForSingleObject(mutex.get(), INFINITE), WAIT_OBJECT_0);

    EXPECT_TRUE(ReleaseMutex(mutex.get()));
    EXPECT_FALSE(anotherThreadCanTake(name));
    EXPECT_TRUE(ReleaseMutex(mutex.get()));
    EXPECT_TRUE(anotherThreadCanTake(name));

    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(ReleaseMutex(mutex.get()));
    EXPECT_EQ(GetLastError(), ERROR_NOT_OWNER);
}

TEST(Win32Mutex, OnlyTheOwningThreadReleases) {
    const std::string name = uniqueMutexName("not-owner");
    const Handle mutex = createMutex(name);
    ASSERT_EQ(WaitForSingleObject(mutex.get(), 0), WAIT_OBJECT_0);
    BOOL released = TRUE;
    DWORD error = ERROR_SUCCESS;
    DWORD waited = WAIT_FAILED;
    runOnAnotherThread("another thread's release and wait", [&] {
        released = ReleaseMutex(mutex.get());
        error = GetLastError();
        waited = WaitForSingleObject(mutex.get(), 50);
    });
    EXPECT_FALSE(released);
    EXPECT_EQ(error, ERROR_NOT_OWNER);
    EXPECT_EQ(waited, static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_TRUE(ReleaseMutex(mutex.get()));
}

#ifndef _WIN32

TEST(HostMutexStandIns, NamesStayInsideTheFolderAndApartFromEachOther) {
    using orvi::simulation::namedObjectPath;
    const std::string folder = namedObjectPath("");
    ASSERT_FALSE(folder.empty());
    ASSERT_EQ(folder.back(), '/');
    for (const char* name : {"../../etc/passwd", "a/b", "..", ".", "a%2Fb", "Global\\x y"}) {
        SCOPED_TRACE(name);
        const std::string path = namedObjectPath(name);
        EXPECT_EQ(path.compare(0, folder.size(), folder), 0);
        EXPECT_EQ(path.find('/', folder.size()), std::string::npos);
        EXPECT_NE(path, folder);
    }
    EXPECT_NE(namedObjectPath("a/b"), namedObjectPath("a%2Fb"));
    EXPECT_NE(namedObjectPath("a.b"), namedObjectPath("a_b"));
}

TEST(HostMutexStandIns, TheLastHandleTakesTheFileAlong) {
    const std::string name = uniqueMutexName("../file/..");
    const std::string path = orvi::simulation::namedObjectPath(name.c_str());
    struct stat status {};
    {
        const Handle mutex = createMutex(name);
        ASSERT_NE(mutex.get(), nullptr);
        ASSERT_EQ(lstat(path.c_str(), &status), 0);
        EXPECT_TRUE(S_ISREG(status.st_mode));
    }
    EXPECT_NE(lstat(path.c_str(), &status), 0);
}

#endif

}  // namespace
