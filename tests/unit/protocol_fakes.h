#pragma once
// Test doubles for the transmitter operations: a recording dialog and a serial
// port that answers each written frame from a script instead of a device.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "window/dialog_access.h"
#include "serial/local/receive_thread.h"
#include "serial/local/serial_port.h"

using Bytes = std::vector<std::uint8_t>;

struct ShownBox {
    std::string text;
    std::optional<std::string> caption;
    unsigned type;
    bool operator==(const ShownBox&) const = default;
};

class FakeDialog : public DialogAccess {
public:
    int portIndex = 0;
    std::map<int, std::string> boxes;
    std::vector<ShownBox> shown;
    std::vector<std::string> enabling;   // "pair on", "pair off", "buttons on", "buttons off"
    std::vector<std::string> logged;

    int selectedPortIndex() override { return portIndex; }
    std::string boxText(int controlId) override { return boxes[controlId]; }
    void setBoxText(int controlId, const std::string& text) override { boxes[controlId] = text; }
    void enablePortPair(bool on) override { enabling.push_back(on ? "pair on" : "pair off"); }
    void enableOperationButtons(bool on) override { enabling.push_back(on ? "buttons on" : "buttons off"); }
    void messageBox(const std::string& text, const std::optional<std::string>& caption, unsigned type) override {
        shown.push_back({text, caption, type});
    }
    void logLine(const std::string& line) override { logged.push_back(line); }
};

struct WrittenFrame {
    Bytes bytes;
    std::uint32_t baud;
};

// Answers every written frame by pushing `respond`'s bytes into replyRing as
// one completed reply, as the receive thread would after the idle gap.
class ScriptedPort : public SerialPort {
public:
    explicit ScriptedPort(ReceiveBlock& block)
        : SerialPort([](std::uint8_t) { return std::string(); }), block_(block) {}
    ~ScriptedPort() override { isOpen = false; }

    std::function<Bytes(const Bytes& frame, std::uint32_t baud)> respond = [](const Bytes&, std::uint32_t) {
        return Bytes{};
    };
    std::function<bool(std::uint8_t portNumber)> opens = [](std::uint8_t portNumber) { return portNumber != 0; };

    std::vector<std::uint32_t> openedAt;   // baud of every successful open
    std::vector<WrittenFrame> written;
    int closeCalls = 0;

    int open() override {
        if (!opens(portNumber())) return 0;
        openedAt.push_back(baudRate());
        isOpen = true;
        return 1;
    }
    bool close() override {
        ++closeCalls;
        const bool wasOpen = isOpen;
        isOpen = false;
        return wasOpen;
    }
    int write(const std::uint8_t* buffer, std::uint32_t count) override {
        if (!isOpen) return 0;
        written.push_back({Bytes(buffer, buffer + count), baudRate()});
        for (std::uint8_t byte : respond(written.back().bytes, baudRate())) ringPush(block_.replyRing, byte);
        return 1;
    }

private:
    ReceiveBlock& block_;
};
