// What the mutex tests share: names of their own, a look from another thread, the helper program
// as another process, and a name taken by an object of another kind.
#pragma once

#include "platform/Win32.h"
#include "tests/support/ChildProcess.h"

#include <string>

// A mutex name that belongs to this test process alone, so that test runs side by side never meet.
std::string uniqueMutexName(const std::string& purpose);

// Whether another thread of this process acquires the mutex of that name without waiting; it lets
// go of it again at once.
bool anotherThreadCanTake(const std::string& name);

// The mutex tests' helper program (mutex_holder, beside the test program) running
// "mutex_holder <command> <mutexName>", with its output piped to the test.
ChildProcess mutexHolder(const std::string& command, const std::string& mutexName);
// Runs the helper with the command and returns all it wrote.
std::string answerOfAnotherProcess(const std::string& command, const std::string& mutexName);

// For its lifetime, a kernel object of another kind than a mutex under the name: an event on
// Windows; on the host a directory at the path that the mutex stand-ins give the name.
class OtherKindOfObject {
public:
    explicit OtherKindOfObject(const std::string& name);
    ~OtherKindOfObject();

    OtherKindOfObject(const OtherKindOfObject&) = delete;
    OtherKindOfObject& operator=(const OtherKindOfObject&) = delete;

private:
#ifdef _WIN32
    HANDLE event_;
#else
    std::string path_;
#endif
};

// A raw handle, closed when it goes.
struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
