#pragma once
// A serial port with no device behind it, for the tests of what sits above the
// port: it records what is opened and written, answers each written frame from
// a script, and serves reads from a queue the test fills.

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "serial/local/receive_thread.h"
#include "serial/local/serial_port.h"

using Bytes = std::vector<std::uint8_t>;

// Opening consults `opens` with the port number, never the device the naming
// rule gives, which only describes ports.
// Every write is recorded, open or not: the window's tests count the frames of
// operations on a port they never opened. Only an open port answers. An
// answer goes straight into `answerInto`'s replyRing as one finished reply, as
// the receive thread would publish it after the quiet gap; without that block
// it joins the read queue. The UI thread opens, closes and writes; a receive
// thread may read.
class FakePort : public SerialPort {
public:
    explicit FakePort(PortNamer namer = [](std::uint8_t) { return std::string(); });
    ~FakePort() override;

    std::function<Bytes(const Bytes& frame, std::uint32_t baud)> respond = [](const Bytes&, std::uint32_t) {
        return Bytes{};
    };
    std::function<bool(std::uint8_t portNumber)> opens = [](std::uint8_t portNumber) { return portNumber != 0; };
    ReceiveBlock* answerInto = nullptr;

    std::vector<int> openedPorts;        // the port number of every successful open
    std::vector<std::uint32_t> openedAt; // the speed of every successful open
    std::vector<Bytes> frames;           // every write
    std::atomic<long> reads{0};          // every read call, counted from any thread

    // Bytes the device has sent that wait for a read.
    void arrive(const Bytes& bytes);
    std::size_t queued() const;

    int openPath(const std::string& path) override;
    bool close() override;
    std::uint32_t read(std::uint8_t* buffer, std::uint32_t maxBytes) override;
    int write(const std::uint8_t* buffer, std::uint32_t count) override;

private:
    mutable std::mutex queueMutex_;
    std::deque<std::uint8_t> queue_; // under queueMutex_
};
