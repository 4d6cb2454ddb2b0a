#pragma once
// A Modbus TCP gateway on 127.0.0.1 in front of one serial device, as the
// boxes on a building's network are: each MBAP request goes out on the line as
// an RTU frame at 9600 bit/s, and the line's reply comes back under the
// request's header; silence is its exception 0x0B. One connection at a time,
// for as long as the object lives. POSIX only.

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

#include "tests/support/ser2net.h"

class ModbusGateway {
public:
    // With pathUnavailable, every request gets exception 0x0A, the line untouched.
    explicit ModbusGateway(std::string device, bool pathUnavailable = false);
    ~ModbusGateway();

    std::uint16_t port() const { return socket_.port; }
    std::string url() const { return "modbus-tcp://127.0.0.1:" + std::to_string(port()); }

private:
    void serve();
    void serveClient(int client);

    std::string device_;
    bool pathUnavailable_;
    LocalSocket socket_{true};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};
