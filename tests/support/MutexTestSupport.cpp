#include "tests/support/MutexTestSupport.h"

#include "tests/support/TestThread.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include "simulation/MutexStandIns.h"

#include <sys/stat.h>
#include <unistd.h>
#endif

std::string uniqueMutexName(const std::string& purpose) {
#ifdef _WIN32
    const unsigned long process = GetCurrentProcessId();
#else
    const long process = getpid();
#endif
    return "KivMutexTest_" + std::to_string(process) + "_" + purpose;
}

bool anotherThreadCanTake(const std::string& name) {
    bool taken = false;
    runOnAnotherThread("another thread's look at mutex " + name, [&] {
        const HANDLE mutex = CreateMutexA(nullptr, FALSE, name.c_str());
        if (mutex == nullptr) {
            return;
        }
        const DWORD result = WaitForSingleObject(mutex, 0);
        taken = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
        if (taken) {
            ReleaseMutex(mutex);
        }
        CloseHandle(mutex);
    });
    return taken;
}

ChildProcess mutexHolder(const std::string& command, const std::string& mutexName) {
    return ChildProcess(programBesideTests("mutex_holder"), {command, mutexName});
}

std::string answerOfAnotherProcess(const std::string& command, const std::string& mutexName) {
    return mutexHolder(command, mutexName).readToEnd();
}

#ifdef _WIN32

OtherKindOfObject::OtherKindOfObject(const std::string& name)
    : event_(CreateEventA(nullptr, TRUE, FALSE, name.c_str())) {
    if (event_ == nullptr) {
        ADD_FAILURE() << "CreateEventA failed: " << GetLastError();
    }
}

OtherKindOfObject::~OtherKindOfObject() {
    if (event_ != nullptr) {
        CloseHandle(event_);
    }
}

#else

OtherKindOfObject::OtherKindOfObject(const std::string& name) : path_(orvi::simulation::namedObjectPath(name.c_str())) {
    if (path_.empty() || mkdir(path_.c_str(), 0700) != 0) {
        ADD_FAILURE() << "cannot make the directory for " << name;
    }
}

OtherKindOfObject::~OtherKindOfObject() {
    if (!path_.empty()) {
        rmdir(path_.c_str());
    }
}

#endif
