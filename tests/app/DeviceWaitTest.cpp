#include "app/DeviceWait.h"

#include "app/ScreenWatch.h"
#include "display/DisplayConfigRefused.h"
#include "simulation/RecordedEventLog.h"

#include "tests/support/ProgressBound.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr std::int64_t kSecond = 1000000000;
constexpr std::int64_t kStart = 5 * kSecond;  // the clock's origin does not matter

// A clock that moves only when slept on (or when a scan pass says it took time).
class FakeClock final : public orvi::Clock {
public:
    std::int64_t nowNanoseconds() override {
        ++reads;
        standstill.step(now);
        return now;
    }
    void sleepMilliseconds(std::uint32_t milliseconds) override {
        standstill.step(now);
        sleeps.push_back(milliseconds);
        now += static_cast<std::int64_t>(milliseconds) * 1000000 / (shortSleeps ? 2 : 1);
    }
    std::int64_t now = kStart;
    bool shortSleeps = false;  // every sleep ends halfway, as Sleep may
    int reads = 0;
    std::vector<std::uint32_t> sleeps;
    // Reads, sleeps and listeners' waits while the time stands still.
    ProgressBound standstill{"the fake clock was read or waited on without moving"};
};

// The window system's notices of desktop changes on the fake clock: a listener's wait ends at the
// first notice within it, and a notice that comes while no listener waits is lost.
class FakeDesktopChanges final : public orvi::platform::DesktopChanges {
public:
    explicit FakeDesktopChanges(FakeClock& clock) : clock_(clock) {}

    std::unique_ptr<orvi::platform::DesktopChangeListener> listen(
        const orvi::platform::SessionEnding& sessionEnding) override {
        if (!canListen) {
            return nullptr;
        }
        return std::make_unique<Listener>(*this, sessionEnding);
    }

    std::deque<std::int64_t> notices;                       // clock readings, in order
    std::map<std::int64_t, orvi::platform::Notices> kinds;  // of the notices listed; others: screens
    std::int64_t sessionEndsAt = -1;                        // a clock reading; -1: never
    bool canListen = true;                                  // false: the window or the registration cannot be made
    int listeners = 0;                                      // alive now
    int waits = 0;
    ProgressBound waitBound{"a listener waited"};

private:
    class Listener final : public orvi::platform::DesktopChangeListener {
    public:
        Listener(FakeDesktopChanges& changes, orvi::platform::SessionEnding sessionEnding)
            : changes_(changes), sessionEnding_(std::move(sessionEnding)) {
            ++changes_.listeners;
        }
        ~Listener() override { --changes_.listeners; }

        bool sessionEnded() const override { return ended_; }

        orvi::platform::Notices waitMilliseconds(std::uint32_t milliseconds) override {
            if (ended_) {
                return {};
            }
            ++changes_.waits;
            changes_.waitBound.count();
            changes_.clock_.standstill.step(changes_.clock_.now);
            std::int64_t& now = changes_.clock_.now;
            std::deque<std::int64_t>& notices = changes_.notices;
            while (!notices.empty() && notices.front() < now) {
                notices.pop_front();
            }
            const std::int64_t end = milliseconds == INFINITE ? INT64_MAX : now + std::int64_t{milliseconds} * 1000000;
            const std::int64_t sessionEnd = changes_.sessionEndsAt;
            if (sessionEnd >= now && sessionEnd <= end && (notices.empty() || sessionEnd < notices.front())) {
                now = sessionEnd;
                ended_ = true;
                sessionEnding_(orvi::platform::Ending::SessionEnds);
                return {};
            }
            if (!notices.empty() && notices.front() <= end) {
                now = notices.front();
                notices.pop_front();
                const auto kind = changes_.kinds.find(now);
                return kind != changes_.kinds.end() ? kind->second : orvi::platform::Notices{true};
            }
            EXPECT_NE(milliseconds, INFINITE) << "a wait without a time limit with nothing to come";
            now = end;
            return {};
        }

        DWORD waitForObject(HANDLE /*object*/) override { return WAIT_OBJECT_0; }

    private:
        FakeDesktopChanges& changes_;
        orvi::platform::SessionEnding sessionEnding_;
        bool ended_ = false;
    };

    FakeClock& clock_;
};

struct Waiter {
    FakeClock clock;
    FakeDesktopChanges changes{clock};
    std::ostringstream log;
    std::vector<double> passSeconds;  // when each pass ran, in seconds after kStart
    int findOnPass = 0;               // 0: never
    std::int64_t passDuration = 0;
    ProgressBound passes{"a scan pass ran"};
    std::vector<std::string> sessionEndings;  // the log as it stood at each, in the listener's wait

    orvi::WaitOutcome wait(std::int64_t maxWait) {
        return orvi::waitForKiv(
            log, maxWait, kStart, clock,
            [this] {
                passes.count();
                EXPECT_EQ(changes.listeners, 0) << "nothing listens during a pass";
                passSeconds.push_back(static_cast<double>(clock.now - kStart) / kSecond);
                clock.now += passDuration;
                return static_cast<int>(passSeconds.size()) == findOnPass ? orvi::PassResult::KivFound
                                                                          : orvi::PassResult::NoKiv;
            },
            changes,
            [this](orvi::platform::Ending) {
                EXPECT_EQ(changes.listeners, 1) << "while the wait that heard of the end listens";
                sessionEndings.push_back(log.str());
            });
    }
};

std::string pollLine(int seconds) {
    return "Poll: Waiting for Kiv device for up to " + std::to_string(seconds) + "s\n";
}

TEST(PollInterval, GrowsByTheSinglePrecisionFactorUpTo30) {
    const std::int64_t expected[] = {10, 10, 10, 12, 14, 16, 19, 22, 26, 30, 30, 30};
    std::int64_t interval = 10;
    for (int poll = 1; poll <= 12; ++poll) {
        interval = orvi::nextPollInterval(poll, interval);
        EXPECT_EQ(interval, expected[poll - 1]) << "poll " << poll;
    }
}

TEST(DeviceWait, DefaultWaitPollsOnTheScheduleAndGivesUpAtTheDeadline) {
    for (const bool canListen : {true, false}) {
        Waiter waiter;
        waiter.changes.canListen = canListen;
        EXPECT_EQ(orvi::WaitOutcome::WaitRanOut, waiter.wait(300));
        const std::vector<double> expected = {10, 20, 30, 42, 56, 72, 91, 113, 139, 169, 199, 229, 259, 289, 300};
        EXPECT_EQ(waiter.passSeconds, expected);
        std::string lines = "Kiv device isn't found. 300s for it to apear\n";
        for (int interval : {10, 10, 10, 12, 14, 16, 19, 22, 26, 30, 30, 30, 30, 30, 30}) {
            lines += pollLine(interval);
        }
        lines += "Kiv is not connected, no more changes will be performed\n";
        EXPECT_EQ(waiter.log.str(), lines);
        EXPECT_EQ(canListen ? waiter.changes.waits : static_cast<int>(waiter.clock.sleeps.size()),
                  static_cast<int>(expected.size()))
            << "one wait per poll: no spinning";
    }
}

TEST(DeviceWait, ADesktopChangeEndsTheWaitAfterTheSettleTime) {
    struct Case {
        const char* what;
        std::int64_t maxWait;
        std::vector<double> notices;  // seconds after kStart
        bool canListen;
        std::vector<double> passes;
        std::vector<int> polls;
        double sessionEnd = -1;  // seconds after kStart; -1: never
    };
    const Case cases[] = {
        // The next wait counts from the end of that pass.
        {"a notice 3 s into a 10 s wait", 30, {3}, true, {4, 14, 24, 30}, {10, 10, 10, 12}},
        {"a burst restarts the settle time", 20, {3, 3.5, 4.25}, true, {5.25, 15.25, 20}, {10, 10, 10}},
        {"a notice near the end of a wait is cut at its end", 25, {9.5}, true, {10, 20, 25}, {10, 10, 10}},
        // A wait that ended early is not the last: the deadline still gets its pass.
        {"a notice in the last wait before the deadline", 25, {22}, true, {10, 20, 23, 25}, {10, 10, 10, 12}},
        {"no notice", 25, {}, true, {10, 20, 25}, {10, 10, 10}},
        {"a failed registration", 25, {3}, false, {10, 20, 25}, {10, 10, 10}},
        // No pass after the end, also while a notice settles.
        {"the session ends", 300, {}, true, {10}, {10, 10}, 13},
        {"the session ends while a notice settles", 300, {3}, true, {}, {10}, 3.5},
        {"an end of the session is not heard without a listener", 25, {}, false, {10, 20, 25}, {10, 10, 10}, 13},
    };
    for (const Case& c : cases) {
        Waiter waiter;
        waiter.changes.canListen = c.canListen;
        for (const double notice : c.notices) {
            waiter.changes.notices.push_back(kStart + static_cast<std::int64_t>(notice * kSecond));
        }
        if (c.sessionEnd >= 0) {
            waiter.changes.sessionEndsAt = kStart + static_cast<std::int64_t>(c.sessionEnd * kSecond);
        }
        const bool ends = c.sessionEnd >= 0 && c.canListen;
        EXPECT_EQ(waiter.wait(c.maxWait), ends ? orvi::WaitOutcome::SessionEnded : orvi::WaitOutcome::WaitRanOut)
            << c.what;
        EXPECT_EQ(waiter.passSeconds, c.passes) << c.what;
        std::string lines = "Kiv device isn't found. " + std::to_string(c.maxWait) + "s for it to apear\n";
        for (const int interval : c.polls) {
            lines += pollLine(interval);
        }
        lines += ends ? "The session is ending, no more changes will be performed\n"
                      : "Kiv is not connected, no more changes will be performed\n";
        EXPECT_EQ(waiter.log.str(), lines) << c.what;
        EXPECT_EQ(waiter.sessionEndings, ends ? std::vector<std::string>{lines} : std::vector<std::string>{})
            << c.what << ": the line is written before the end is reported, both while the session ends";
        if (ends) {
            EXPECT_EQ(waiter.clock.now, waiter.changes.sessionEndsAt) << c.what << ": ends at once";
        }
    }
}

TEST(DeviceWait, ShortWaitIsCutAtTheDeadlineForOneLastPass) {
    Waiter waiter;
    EXPECT_EQ(orvi::WaitOutcome::WaitRanOut, waiter.wait(5));
    EXPECT_EQ(waiter.passSeconds, std::vector<double>{5});
    EXPECT_EQ(waiter.log.str(), "Kiv device isn't found. 5s for it to apear\n" + pollLine(10) +
                                    "Kiv is not connected, no more changes will be performed\n");
}

TEST(DeviceWait, KivPluggedInDuringTheFourthWaitEndsTheWait) {
    Waiter waiter;
    waiter.findOnPass = 4;
    EXPECT_EQ(orvi::WaitOutcome::KivFound, waiter.wait(300));
    EXPECT_EQ(waiter.passSeconds, (std::vector<double>{10, 20, 30, 42}));
    EXPECT_EQ(waiter.log.str(), "Kiv device isn't found. 300s for it to apear\n" + pollLine(10) + pollLine(10) +
                                    pollLine(10) + pollLine(12));
}

TEST(DeviceWait, WaitsAreCountedFromTheEndOfThePreviousPass) {
    Waiter waiter;
    waiter.clock.now = kStart + 3 * kSecond;  // the first pass took 3 s: it is part of the first interval
    waiter.passDuration = 2 * kSecond;
    EXPECT_EQ(orvi::WaitOutcome::WaitRanOut, waiter.wait(25));
    // Passes run at 10 s, then 10 s after each pass ended (12 + 10), then the deadline cuts in (25).
    EXPECT_EQ(waiter.passSeconds, (std::vector<double>{10, 22, 25}));

    Waiter endingAtTheDeadline;
    endingAtTheDeadline.passDuration = 2 * kSecond;
    EXPECT_EQ(orvi::WaitOutcome::WaitRanOut, endingAtTheDeadline.wait(12));
    // The pass at 10 s ends at the deadline itself, so one more wait (cut to nothing) and pass follow.
    EXPECT_EQ(endingAtTheDeadline.passSeconds, (std::vector<double>{10, 12}));
}

TEST(DeviceWait, ADeadlineReachedDuringTheLastPassEndsTheWait) {
    Waiter waiter;
    waiter.passDuration = 1;  // the pass at the deadline ends 1 ns after it
    EXPECT_EQ(orvi::WaitOutcome::WaitRanOut, waiter.wait(10));
    EXPECT_EQ(waiter.passSeconds, std::vector<double>{10});
}

TEST(DeviceWait, AFailingPassEndsTheWaitAtOnce) {
    FakeClock clock;
    std::ostringstream log;
    int passes = 0;
    EXPECT_THROW(orvi::waitForKiv(log, 300, kStart, clock,
                                  [&]() -> orvi::PassResult {
                                      if (++passes == 2) {
                                          throw std::runtime_error("pass failed");
                                      }
                                      return orvi::PassResult::NoKiv;
                                  }),
                 std::runtime_error);
    EXPECT_EQ(passes, 2);
    EXPECT_EQ(log.str(), "Kiv device isn't found. 300s for it to apear\n" + pollLine(10) + pollLine(10));
}

// The watch sleeps without a time limit until a notice, and looks once nothing more has come for a
// second; it has no timer of its own. The notices of one burst are one look's, which acts after a
// resume or a return even where a change of the screens came after it (the same screens here, on
// which Windows made another screen primary meanwhile). The Kiv was made primary at kStart: a burst
// is within the open time of that rearrangement by its first notice.
TEST(ScreenWatch, LooksASecondAfterTheLastNoticeAndOnlyThen) {
    using orvi::platform::Notices;
    struct Case {
        const char* what;
        std::vector<double> notices;  // seconds after kStart
        double sessionEnd;
        std::vector<double> looks;
        std::vector<bool> acted;
        std::map<double, Notices> kinds = {};  // of the notices listed; others: screens
    };
    const Notices resumed{false, false, true};
    const Notices returned{false, true, false};
    const Case cases[] = {
        {"nothing happens", {}, 600, {}, {}},
        {"one notice", {30}, 600, {31}, {false}},
        {"a burst is one look", {30, 30.5, 31.25}, 600, {32.25}, {false}},
        {"notices far apart are looks of their own", {30, 300}, 600, {31, 301}, {false, false}},
        {"the end while a notice settles", {30}, 30.5, {}, {}},
        {"a resume, then the screens", {30, 30.5}, 600, {31.5}, {true}, {{30, resumed}}},
        {"a return, then the screens", {30, 30.5}, 600, {31.5}, {true}, {{30, returned}}},
        {"a re-layout burst that begins inside the open time and ends after it", {4, 4.5, 5.5}, 600, {6.5}, {true}},
    };
    for (const Case& c : cases) {
        Waiter waiter;
        for (const double notice : c.notices) {
            const std::int64_t time = kStart + static_cast<std::int64_t>(notice * kSecond);
            waiter.changes.notices.push_back(time);
            if (c.kinds.count(notice) != 0) {
                waiter.changes.kinds[time] = c.kinds.at(notice);
            }
        }
        waiter.changes.sessionEndsAt = kStart + static_cast<std::int64_t>(c.sessionEnd * kSecond);
        std::vector<double> looks;
        std::vector<bool> acted;
        orvi::LogFile noLogFile;
        orvi::ScreenWatch watch(
            waiter.log, noLogFile,
            [&](std::ostream&, const orvi::PassOptions& options) {
                looks.push_back(static_cast<double>(waiter.clock.now - kStart) / kSecond);
                acted.push_back(options.gate(orvi::ScreensSeen{{"kiv", "panel"}, "panel", "kiv", true, false}));
                return orvi::PassOutcome{orvi::PassEnd::HeldBack, true};
            },
            {}, waiter.clock, orvi::ScreensSeen{{"kiv", "panel"}, "kiv", "kiv", true, true}, true);
        const auto listener = waiter.changes.listen([](orvi::platform::Ending) {});
        watch.watch(*listener);
        EXPECT_EQ(looks, c.looks) << c.what;
        EXPECT_EQ(acted, c.acted) << c.what;
        EXPECT_EQ(waiter.clock.now, waiter.changes.sessionEndsAt) << c.what << ": ends at once";
        EXPECT_LE(waiter.changes.waits, 2 * static_cast<int>(c.notices.size()) + 1) << c.what << ": no timer";
    }
}

// Which looks of the watch act, what the others write, and what each switch's event names. Screens
// are letters: P the panel, D a monitor, K and L two Kiv screens; a look sees a set of them and the
// one that is primary. "switch" is a pass that went on, followed by its event's causes.
TEST(ScreenWatch, ActsOnlyWhenWindowsRearrangedTheScreens) {
    using Notices = orvi::platform::Notices;
    const Notices screens{true, false, false};
    const Notices returned{false, true, false};
    const Notices resumed{false, false, true};
    struct Look {
        Notices heard;
        double second;    // when the first notice came, after kStart
        const char* set;  // nullptr: the look is refused before it sees the screens
        char primary;
        const char* wrote;  // "same", "already", "no Kiv", "refused", "switch, after ...", or "" for nothing;
                            // "refused" with a set: refused after the look saw the screens and went on
        int times = 1;
        double lookedAt = 0;  // when the look is made, when later than `second`
    };
    struct Case {
        const char* what;
        const char* firstSet;  // the first outcome saw it with the Kiv primary; nullptr: it saw nothing
        bool kivJustMadePrimary;
        std::vector<Look> looks;
    };
    const Case cases[] = {
        {"200 notices about other devices leave one line", "PK", false, {{screens, 10, "PK", 'K', "same", 200}}},
        {"two resumes that find the Kiv primary write a line each",
         "PK",
         false,
         {{resumed, 10, "PK", 'K', "same"}, {resumed, 20, "PK", 'K', "same"}}},
        {"the user's choice survives a lock",
         "PK",
         false,
         {{screens, 10, "PK", 'P', "same"}, {returned, 20, "PK", 'P', "same"}}},
        {"the user's choice survives a sleep",
         "PK",
         false,
         {{screens, 10, "PK", 'P', "same"}, {resumed, 20, "PK", 'P', "same"}}},
        {"a sleep that leaves another screen primary than the user's",
         "PDK",
         false,
         {{screens, 10, "PDK", 'P', "same"}, {resumed, 20, "PDK", 'D', "switch, after the PC resumed"}}},
        {"a monitor that drops out and comes back keeps the user's choice",
         "PDK",
         false,
         {{screens, 10, "PDK", 'P', "same"}, {screens, 300, "PK", 'P', "same"}, {screens, 400, "PDK", 'P', "same"}}},
        {"each set of screens brings back its own primary",
         "PDK",
         false,
         {{screens, 10, "PDK", 'P', "same"}, {screens, 300, "PK", 'K', "already"}, {screens, 400, "PDK", 'P', "same"}}},
        {"the Kiv plugged in again after the user chose the panel",
         "PK",
         false,
         {{screens, 10, "PK", 'P', "same"},
          {screens, 20, "P", 'P', "no Kiv"},
          {screens, 30, "PK", 'P', "switch, after the screens changed"}}},
        {"the user's primary unplugged",
         "PDK",
         false,
         {{screens, 10, "PDK", 'D', "same"}, {screens, 20, "PK", 'P', "switch, after the screens changed"}}},
        {"a screen that came while the session was away",
         "PK",
         false,
         {{returned, 20, "PDK", 'D', "switch, after the screens changed and the session came back"}}},
        {"a resume before a refused look",
         "PK",
         false,
         {{resumed, 10, nullptr, ' ', "refused"}, {screens, 20, "PK", 'P', "switch, after the PC resumed"}}},
        {"a look refused after it saw the screens leaves the watch as it was",
         "PK",
         false,
         {{screens, 10, "PK", 'P', "same"},
          {resumed, 20, "PDK", 'D', "refused"},
          {screens, 30, "PDK", 'D', "switch, after the screens changed and the PC resumed"}}},
        {"a long lock leaves one refused line",
         "PK",
         false,
         {{screens, 10, nullptr, ' ', "refused", 3}, {returned, 20, "PK", 'K', "same"}}},
        {"a resume that moved nothing", "PK", false, {{resumed, 10, "PK", 'K', "same"}}},
        {"two arrivals that find a Kiv primary write a line each",
         "P",
         false,
         {{screens, 10, "PK", 'K', "already"}, {screens, 20, "PL", 'L', "already"}}},
        {"looks refused since the start, then one that sees the screens",
         nullptr,
         false,
         {{screens, 10, nullptr, ' ', "refused"},
          {returned, 20, "PK", 'P', "switch, after the screens changed and the session came back"}}},
        {"Windows lays the screens out again right after the switch: answered once, the user's change then stands",
         "PK",
         true,
         {{screens, 3, "PK", 'P', "switch, after Windows laid the screens out again"},
          {screens, 4, "PK", 'P', "same"}}},
        {"a re-layout heard exactly at the end of the open time",
         "PK",
         true,
         {{screens, 5, "PK", 'P', "switch, after Windows laid the screens out again"}}},
        {"a change heard just after the open time is the user's",
         "PK",
         true,
         {{screens, 5.000000001, "PK", 'P', "same"}}},
        {"the open time is judged by the first notice, not by the look",
         "PK",
         true,
         {{screens, 4.5, "PK", 'P', "switch, after Windows laid the screens out again", 1, 6.5}}},
        {"a change of the set inside the open time opens its own",
         "PK",
         true,
         {{screens, 2, "PDK", 'D', "switch, after the screens changed"},
          {screens, 6.5, "PDK", 'P', "switch, after Windows laid the screens out again"}}},
    };
    const auto seenOf = [](const char* set, char primary) {
        orvi::ScreensSeen seen;
        for (const char* screen = set; *screen != '\0'; ++screen) {
            seen.screens.emplace_back(1, *screen);
            if ((*screen == 'K' || *screen == 'L') && seen.kiv.empty()) {
                seen.kiv = std::string(1, *screen);
            }
        }
        seen.primary = std::string(1, primary);
        seen.kivFound = !seen.kiv.empty();
        seen.kivPrimary = seen.kivFound && seen.primary == seen.kiv;
        return seen;
    };
    for (const Case& c : cases) {
        FakeClock clock;
        std::ostringstream log;
        orvi::LogFile noLogFile;
        const Look* current = nullptr;
        orvi::ScreenWatch watch(
            log, noLogFile,
            [&](std::ostream& out, const orvi::PassOptions& options) {
                if (current->set == nullptr) {
                    throw orvi::DisplayConfigRefused(ERROR_ACCESS_DENIED, "refused");
                }
                if (!options.gate(seenOf(current->set, current->primary))) {
                    return orvi::PassOutcome{orvi::PassEnd::HeldBack, true};
                }
                if (std::string(current->wrote) == "refused") {  // the session was locked meanwhile
                    throw orvi::DisplayConfigRefused(ERROR_ACCESS_DENIED, "refused");
                }
                out << "switch\n";
                *options.finding = orvi::KivFinding{true, "Varel", "\\\\.\\DISPLAY3"};
                return orvi::PassOutcome{orvi::PassEnd::Done, true};
            },
            {}, clock, c.firstSet ? std::optional<orvi::ScreensSeen>(seenOf(c.firstSet, 'K')) : std::nullopt,
            c.kivJustMadePrimary);
        for (const Look& look : c.looks) {
            for (int time = 0; time < look.times; ++time) {
                current = &look;
                log.str("");
                orvi::simulation::forgetRecordedEvents();
                const std::int64_t heardAt = kStart + std::llround(look.second * kSecond);
                clock.now = std::max<std::int64_t>(heardAt, kStart + std::llround(look.lookedAt * kSecond));
                watch.look(look.heard, heardAt);
                std::string wrote = log.str();
                const std::string looked = "Looked at the screens again: ";
                if (wrote.rfind(looked, 0) == 0) {
                    wrote = wrote.find("same") != std::string::npos     ? "same"
                            : wrote.find("no Kiv") != std::string::npos ? "no Kiv"
                                                                        : "already";
                } else if (wrote.find("cannot be read now") != std::string::npos) {
                    wrote = "refused";
                } else if (wrote == "switch\n" && orvi::simulation::recordedEvents().size() == 1) {
                    const std::string& text = orvi::simulation::recordedEvents().front().text;
                    wrote = "switch" + text.substr(text.find("; while watching") + 16);
                }
                EXPECT_EQ(wrote, time == 0 ? look.wrote : "") << c.what << ", look at " << look.second << " s";
                if (wrote.rfind("switch", 0) != 0) {
                    EXPECT_TRUE(orvi::simulation::recordedEvents().empty()) << c.what << ": an event";
                }
            }
        }
    }
}

TEST(SleepUntil, SleepsTheRemainingTimeRoundedUpAndAgainAfterAnEarlyWakeUp) {
    struct Case {
        std::int64_t remaining;
        std::vector<std::uint32_t> sleeps;
    };
    for (const Case& c : {Case{1, {1}}, Case{2000000, {2}}, Case{2000001, {3}}, Case{0, {}}, Case{-7, {}},
                          Case{30 * kSecond, {30000}}}) {
        FakeClock clock;
        orvi::sleepUntil(clock, kStart + c.remaining);
        EXPECT_EQ(clock.sleeps, c.sleeps) << c.remaining;
    }
    FakeClock early;
    early.shortSleeps = true;
    orvi::sleepUntil(early, kStart + 8000000);
    EXPECT_EQ(early.sleeps, (std::vector<std::uint32_t>{8, 4, 2, 1, 1}));
    EXPECT_GE(early.now, kStart + 8000000);
}

}  // namespace
