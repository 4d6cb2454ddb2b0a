#pragma once
// A transmitter that has stopped answering rests: it is read less and less
// often, so that its timeouts do not slow the rest of its line, and at once
// again when it answers. Rounds and times are given, so the schedule runs
// without a port.

#include <chrono>

// Misses in a row after which a transmitter rests.
inline constexpr unsigned kRestAfterMisses = 3;
// A resting transmitter is still read at least this often.
inline constexpr std::chrono::seconds kLongestRest{60};

// How many rounds apart a transmitter with missesInRow misses in a row is
// read: 1 until it rests, then 2, 4, 8, ..., never more than longestGap.
unsigned restGap(unsigned missesInRow, unsigned longestGap);

// The rounds in a minute at interval, at least 1: the longest gap of a rest.
unsigned roundsPerRest(std::chrono::milliseconds interval);

class RestSchedule {
public:
    using Clock = std::chrono::steady_clock;

    // Whether the transmitter is read in round (counted from 0) at now.
    bool due(unsigned round, Clock::time_point now) const;
    // It was read in round at now, and answered or not.
    void read(unsigned round, Clock::time_point now, bool answered, unsigned longestGap);
    // A round in which it was not read.
    void skip() { ++skipped_; }

    bool resting() const { return missesInRow_ >= kRestAfterMisses; }
    unsigned skipped() const { return skipped_; }

private:
    unsigned missesInRow_ = 0;
    unsigned nextRound_ = 0;
    unsigned skipped_ = 0;
    Clock::time_point lastRead_{};
};
