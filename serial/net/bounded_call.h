#pragma once
// A call that may block for longer than its caller can wait, such as
// getaddrinfo with a name server that does not answer: it runs on a thread of
// its own, and the caller waits for it until a deadline only. A call that
// outlives the deadline is abandoned; its thread ends when the call returns
// and drops the result.

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

// work() -> Result, run by deadline; nullopt when it did not finish in time
// or no thread could be started. Result must be copyable.
template <class Result, class Work>
std::optional<Result> callBefore(std::chrono::steady_clock::time_point deadline, Work work) {
    struct Shared {
        std::mutex mutex;
        std::condition_variable done;
        std::optional<Result> result;
    };
    auto shared = std::make_shared<Shared>();
    try {
        std::thread([shared, work = std::move(work)]() mutable {
            Result result = work();
            std::lock_guard lock(shared->mutex);
            shared->result = std::move(result);
            shared->done.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        return std::nullopt;
    }
    std::unique_lock lock(shared->mutex);
    shared->done.wait_until(lock, deadline, [&] { return shared->result.has_value(); });
    return shared->result;
}
