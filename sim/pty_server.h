#pragma once
// The pseudo-terminal side that every software peer shares: it owns the pty,
// frames the requests that arrive on the master and hands each complete one
// to handle() on its serving thread, and writes replies, paced if asked.

#include "sim/answer.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace sim {

using Clock = std::chrono::steady_clock;

class PtyServer {
public:
    PtyServer() = default;
    // A derived class stops the server in its own destructor: the serving
    // thread calls handle().
    virtual ~PtyServer() = default;

    PtyServer(const PtyServer&) = delete;
    PtyServer& operator=(const PtyServer&) = delete;

    // Opens the pty and starts serving. False if no pty could be made.
    bool start();
    void stop();
    std::string slavePath() const;

    // Whether every byte received goes straight back, as an adapter whose
    // receiver hears its own transmitter hands the request back before the reply.
    void setEcho(bool on) { echo = on; }

    // Emits bytes now, one per 10 bit times of baud when paced.
    void send(const Bytes& bytes, bool paced, std::uint32_t baud);

    // Every complete request received, in order, answered or not.
    std::vector<LoggedRequest> requests() const;
    void clearRequests();

protected:
    // The time a byte takes on the line at baud (bit/s): 10 bit times.
    static std::chrono::nanoseconds byteTime(std::uint32_t baud);

    // Answers one complete request on the serving thread; false ends serving.
    virtual bool handle(const Bytes& request) = 0;

    // Sleeps until deadline; false when stop() interrupted the wait.
    bool waitUntil(Clock::time_point deadline);
    bool stopRequested();
    // The speed the slave side set, bit/s (0 if unknown); serving thread only.
    std::uint32_t currentSpeed();
    // Both take writeMutex from the caller; false when the write was abandoned.
    bool writeAll(const std::uint8_t* data, std::size_t size);
    bool emit(const std::uint8_t* data, std::size_t size, bool paced, std::uint32_t baud);
    // Closes both ends so the tool's slave sees a real hang-up.
    void closeFds();

    // Serialises every write to the master; masterFd and slaveFd change only
    // under it (hang-up on the serving thread, stop() after the join).
    std::mutex writeMutex;

private:
    bool open();
    void serve();
    bool takeRequests();

    int masterFd = -1;
    int slaveFd = -1;

    mutable std::mutex pathMutex;
    std::string path; // under pathMutex

    std::mutex stopMutex;
    std::condition_variable stopSignal;
    bool stopping = false; // under stopMutex

    mutable std::mutex logMutex;
    std::vector<LoggedRequest> log; // under logMutex

    std::atomic<bool> echo{false};
    std::thread server;
    // Only the serving thread touches these.
    Bytes pending;
    Clock::time_point lastByteAt;
};

} // namespace sim
