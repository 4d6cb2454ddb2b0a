#pragma once
// Waiting in tests for something another thread or process brings about: the
// condition is polled until it holds or the deadline passes, so a slow or
// sanitized build only makes the wait longer, never the test flaky.

#include <chrono>
#include <thread>

// True as soon as condition() is; false when it still is not after timeout.
template <class Condition>
bool waitFor(Condition condition, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}
