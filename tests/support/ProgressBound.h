// A bound for the tests' fake clocks, listeners and passes. A wait with a fault that makes no progress
// (a remaining time cut to 0 ms, a missing sleep, a listener loop that never moves on, passes without
// end) spins on a fake clock until memory runs out or ctest's time-out ends it, without the test's
// name. With a bound the test fails at once, saying what went on too long, and an exception ends the
// wait.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>

class ProgressBound {
public:
    // Far more than any sound wait needs: a default wait of 300 s makes 15 passes and reads the clock
    // a few times for each.
    static constexpr int kLimit = 100000;

    explicit ProgressBound(std::string what) : what_(std::move(what)) {}

    // One step at `position` (a clock reading): fails after kLimit steps in a row at one position.
    void step(std::int64_t position) {
        if (position != position_) {
            position_ = position;
            steps_ = 0;
        } else if (++steps_ >= kLimit) {
            fail();
        }
    }

    // One more of something that must stay below kLimit (passes).
    void count() {
        if (++count_ >= kLimit) {
            fail();
        }
    }

private:
    [[noreturn]] void fail() {
        ADD_FAILURE() << what_ << " " << kLimit << " times: the wait makes no progress";
        throw std::runtime_error(what_);
    }

    std::string what_;
    std::int64_t position_ = -1;
    int steps_ = 0;
    int count_ = 0;
};
