#pragma once
// The software transmitter for a test: serving on a new pseudo-terminal (under
// Wine, on ventora-sim-host's) from the moment it is returned.

#include <memory>

#include "sim/sim_transmitter.h"

// Null when no pseudo-terminal could be made.
inline std::unique_ptr<sim::SimTransmitter> startSim(const sim::Config& config = {}) {
    auto transmitter = std::make_unique<sim::SimTransmitter>(config);
    if (!transmitter->start()) return nullptr;
    return transmitter;
}
