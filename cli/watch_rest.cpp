#include "cli/watch_rest.h"

#include <algorithm>

unsigned restGap(unsigned missesInRow, unsigned longestGap) {
    if (missesInRow < kRestAfterMisses) return 1;
    const unsigned doublings = std::min(missesInRow - kRestAfterMisses + 1, 31u);
    return std::max(1u, std::min(1u << doublings, longestGap));
}

unsigned roundsPerRest(std::chrono::milliseconds interval) {
    if (interval.count() <= 0) return 1u << 31;
    return unsigned(std::max<long long>(1, std::chrono::milliseconds(kLongestRest).count() / interval.count()));
}

bool RestSchedule::due(unsigned round, Clock::time_point now) const {
    // Rounds that run late would stretch a gap counted in rounds past the minute.
    return round >= nextRound_ || now - lastRead_ >= kLongestRest;
}

void RestSchedule::read(unsigned round, Clock::time_point now, bool answered, unsigned longestGap) {
    missesInRow_ = answered ? 0 : missesInRow_ + 1;
    nextRound_ = round + restGap(missesInRow_, longestGap);
    lastRead_ = now;
}
