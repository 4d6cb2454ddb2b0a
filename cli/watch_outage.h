#pragma once
// A watch's port that may be lost and come back: when the next attempt to
// reopen it is due, when the next round may start meanwhile, and the tally of
// outages behind the summary. Times are given, so the pacing runs without a port.

#include <chrono>
#include <string>

class PortOutages {
public:
    using Clock = std::chrono::steady_clock;

    bool lost() const { return lost_; }
    // The port was found lost at now: a new outage, whose first reopen is due at once.
    void lose(Clock::time_point now);
    bool reopenDue(Clock::time_point now) const { return lost_ && now >= nextReopen_; }
    // The reopen tried at now opened the port, or did not.
    void reopened(bool opened, Clock::time_point now);
    // One more round whose readings the lost port took.
    void countRound() { ++lostRounds_; }

    // When a round due on the grid at `grid` may start: while the port is lost,
    // not before the next reopen, so that each round of an outage is an attempt.
    Clock::time_point roundStart(Clock::time_point grid) const;
    // How long a wait until `until` may sleep before it must try a reopen.
    Clock::time_point wakeBy(Clock::time_point until) const;

    // "port lost 12 rounds, 1 outage"; "" when the port was never lost.
    std::string summary() const;

private:
    bool lost_ = false;
    Clock::time_point nextReopen_{};
    unsigned outages_ = 0;
    unsigned lostRounds_ = 0;
};
