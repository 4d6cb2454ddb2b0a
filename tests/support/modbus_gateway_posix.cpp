#include "tests/support/modbus_gateway.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <utility>
#include <vector>

#include "protocol/crc16.h"
#include "serial/local/serial_port.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

// Reads exactly count bytes; false when the client went or the gateway stops.
bool readAll(int fd, std::uint8_t* into, std::size_t count, const std::atomic<bool>& stop) {
    for (std::size_t done = 0; done < count;) {
        pollfd p{fd, POLLIN, 0};
        if (stop) return false;
        if (::poll(&p, 1, 50) <= 0) continue;
        const ssize_t n = ::recv(fd, into + done, count - done, 0);
        if (n <= 0) return false;
        done += std::size_t(n);
    }
    return true;
}

// The line's reply to rtu: what comes until it has been quiet for 5 ms (3.5 characters at 9600).
Bytes exchangeOnLine(SerialPort& line, const Bytes& rtu) {
    std::uint8_t buffer[512];
    while (line.readWait(buffer, sizeof buffer, 0ms).count > 0) {}
    line.write(rtu.data(), std::uint32_t(rtu.size()));
    Bytes reply;
    for (auto wait = 300ms;; wait = 5ms) {
        const WaitedRead got = line.readWait(buffer, sizeof buffer, wait);
        if (got.count == 0) return reply;
        reply.insert(reply.end(), buffer, buffer + got.count);
    }
}

} // namespace

ModbusGateway::ModbusGateway(std::string device, bool pathUnavailable)
    : device_(std::move(device)),
      pathUnavailable_(pathUnavailable),
      thread_([this] { serve(); }) {}

ModbusGateway::~ModbusGateway() {
    stop_ = true;
    thread_.join();
}

void ModbusGateway::serve() {
    while (!stop_) {
        pollfd p{socket_.fd, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        const int client = ::accept(socket_.fd, nullptr, nullptr);
        if (client < 0) continue;
        serveClient(client);
        ::close(client);
    }
}

void ModbusGateway::serveClient(int client) {
    SerialPort line;
    line.setLineSettings(8, 0, 0, 9600);
    const bool lineOpen = !pathUnavailable_ && line.openPath(device_) != 0;
    std::uint8_t header[7];
    while (readAll(client, header, sizeof header, stop_)) {
        const std::size_t length = std::size_t(header[4] << 8 | header[5]);
        if (header[2] != 0 || header[3] != 0 || length < 2 || length > 254) return;
        Bytes rtu(header + 6, header + 7);
        rtu.resize(length);
        if (!readAll(client, rtu.data() + 1, length - 1, stop_)) return;
        Bytes reply =
            lineOpen ? exchangeOnLine(line,
                                      [&] {
                                          Bytes frame = rtu;
                                          const std::uint16_t crc = crc16(frame.data(), frame.size());
                                          frame.insert(frame.end(), {std::uint8_t(crc & 0xFF), std::uint8_t(crc >> 8)});
                                          return frame;
                                      }())
                     : Bytes{};
        Bytes pdu;
        if (reply.size() >= 4 && crc16(reply.data(), reply.size()) == 0 && reply[0] == rtu[0])
            pdu.assign(reply.begin() + 1, reply.end() - 2);
        else
            pdu = {std::uint8_t(rtu[1] | 0x80), std::uint8_t(pathUnavailable_ ? 0x0A : 0x0B)};
        Bytes adu{header[0], header[1], 0, 0, std::uint8_t((pdu.size() + 1) >> 8), std::uint8_t(pdu.size() + 1),
                  rtu[0]};
        adu.insert(adu.end(), pdu.begin(), pdu.end());
        if (::send(client, adu.data(), adu.size(), MSG_NOSIGNAL) != ssize_t(adu.size())) return;
    }
}
