#include "cli/watch_outage.h"

#include <algorithm>

#include "cli/link.h"

void PortOutages::lose(Clock::time_point now) {
    if (!lost_) ++outages_;
    lost_ = true;
    nextReopen_ = now;
}

void PortOutages::reopened(bool opened, Clock::time_point now) {
    lost_ = !opened;
    nextReopen_ = now + kReopenPeriod;
}

PortOutages::Clock::time_point PortOutages::roundStart(Clock::time_point grid) const {
    return lost_ ? std::max(grid, nextReopen_) : grid;
}

PortOutages::Clock::time_point PortOutages::wakeBy(Clock::time_point until) const {
    return lost_ ? std::min(until, nextReopen_) : until;
}

std::string PortOutages::summary() const {
    if (outages_ == 0) return "";
    return "port lost " + std::to_string(lostRounds_) + (lostRounds_ == 1 ? " round, " : " rounds, ") +
           std::to_string(outages_) + (outages_ == 1 ? " outage" : " outages");
}
