#pragma once
// The transmitter operations: baud and dialect detection, identity, measurement
// and duct area. Each runs on the UI thread and blocks it for its exchange.

#include <chrono>
#include <cstdint>

#include "window/dialog_access.h"
#include "window/texts.h"
#include "protocol/dialect.h"
#include "protocol/echo.h"
#include "serial/local/receive_thread.h"
#include "serial/local/serial_port.h"

struct TransmitterState {          // the fields, in this order; all zero at construction
    std::uint8_t replyBuf[1024]{}; // each poll's reply bytes, parsed from byte 0
    std::uint8_t txFrame[1024]{};  // each request, built from byte 0 (19 bytes at most)
    std::uint8_t deviceAddress = 0;
    std::int32_t deviceBaud = 0;
    bool queryBusy = false;  // set by the read-only queries, cleared by the 300 ms timer
    bool modbusMode = false; // identity in Modbus; every frame to 0xFF
    std::uint8_t parityCode = 0, stopCheckA = 0, stopCheckB = 0;
};

class Transmitter {
public:
    Transmitter(SerialPort& port, ReceiveBlock& receive, DialogAccess& dialog);

    TransmitterState state;
    Language language = Language::Chinese; // of the message boxes

    // Waits for the next reply poll, due at `until`; tests may replace it.
    using PollSleep = void (*)(std::chrono::steady_clock::time_point until);
    PollSleep pollSleep;

    // Whether the port hands each request back, as detection learnt it; it
    // holds until the port is reopened as another port number.
    EchoKnowledge echo = EchoKnowledge::Unknown;

    // Drains stale replies, writes txFrame[0..frameLength), then polls replyRing
    // 50 times at 10 ms. 0 = no reply; otherwise the count of bytes of the first
    // batch with more than the port's echo of the request, now in state.replyBuf
    // without that echo.
    std::uint16_t exchange(std::uint16_t frameLength);

    void detectBaud();
    void queryIdentity();
    void setAddress();
    void setBaudRate();
    void readMeasurement();
    void readArea();
    void writeArea();

private:
    SerialPort& port_;
    ReceiveBlock& receive_;
    DialogAccess& dialog_;

    // Closes, sets the line parameters for the selected port and opens; nonzero on success.
    int reopen(int portIndex, std::uint32_t baud);
    void adoptIdentity(const Identity& identity, bool withLineChecks);
    // After a failed open: "串口打开失败", and why on the dialog's log line.
    void showOpenFailure();
    // The failure box once for no usable reply (0..3 bytes), twice for a rejected one.
    void showFailure(TextId text, std::uint16_t replyCount);
    // A box with a text of the table and, when given, a caption of it.
    void show(TextId text, std::optional<TextId> caption, unsigned type);
    void showDetected(Dialect found);
    // Sends the identity write of `wanted` and adopts what its acknowledgement
    // confirms; count is the reply's length, for showFailure.
    bool writeIdentity(IdentityField field, Identity wanted, std::uint16_t& count);
    Dialect dialect() const;
    // The batch's count without the echo in front of it, moved to replyBuf[0].
    // echoTaken: whether an earlier batch of the same exchange held the echo.
    std::uint16_t withoutEcho(std::uint16_t frameLength, std::uint16_t count, bool& echoTaken);
};
