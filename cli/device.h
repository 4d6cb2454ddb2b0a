#pragma once
// The operations of the command-line tool on one transmitter: detection,
// identity, measurement, duct area, and the settings with their read-back.
// Frames, validators, tables, decoding and the dialects are shared with the
// window (protocol/); only the framing of replies (Link) and the reporting
// differ.

#include <cstdint>
#include <iterator>
#include <optional>
#include <string>

#include "cli/link.h"
#include "protocol/dialect.h"

// The exit statuses of ventora-cli.
enum class Status : int {
    Ok = 0,
    Usage = 2,      // bad usage or a value out of range; nothing was sent
    OpenFailed = 3, // the port could not be opened
    NoAnswer = 4,   // no transmitter answered
    Refused = 5,    // a reply was refused or invalid, or a read-back did not match
    // Cut short by SIGINT or SIGTERM; the exit status is the signal's (stopStatus).
    Interrupted = 130,
};

struct DeviceIdentity {
    Dialect dialect = Dialect::Fd;
    std::int32_t baud = 0;
    std::uint8_t address = 0;
    std::uint8_t parityCode = 0; // Modbus dialect only
    bool stopBitsOk = true;      // Modbus dialect only
};

// Why the area is out of reach in the Modbus dialect.
inline constexpr const char* kNoModbusArea =
    "the Modbus dialect has no duct area: its register 0x0200 holds the bus address, and writing it would "
    "re-address the transmitter";

// Why nothing usable came, when the port's echo of the request did.
inline constexpr const char* kEchoOnly = "the adapter echoes what is sent; no transmitter answered after it";

const char* dialectName(Dialect dialect);

// Why a transmitter is not given baud: "" when it may be; otherwise the rates
// it may be given in the dialect, or in either when the dialect is not known.
std::string rateRefusal(std::optional<Dialect> dialect, std::int32_t baud);

class Device;
// After a Modbus-dialect setBaud: "answers at the new rate now" or "takes
// effect when the transmitter restarts".
const char* baudTakesEffect(const Device& device);

class Device {
public:
    explicit Device(Link& link) : link_(link) {}

    // Detection in the window's order: FD at 2400, 4800, 9600, then Modbus at
    // 9600; then Modbus at the further rates set baud may give it. OpenFailed
    // at the first port that will not open; NoAnswer when nothing at all came;
    // Refused when only unusable replies came; Interrupted by a stop between
    // attempts. why() names every attempt made.
    Status detect(DeviceIdentity& found);

    // Opens at identity.baud and takes the transmitter as given. With
    // learnAddress, one identity query learns its address (in the Modbus
    // dialect, the one its identity block holds; its frames name none).
    Status attach(DeviceIdentity& identity, bool learnAddress);

    // One identity query under the current dialect; updates identity.
    Status queryIdentity(DeviceIdentity& identity);
    Status readMeasurement(const DeviceIdentity& identity, Measurement& out);
    // The FD dialect only: Usage, sending nothing, in the Modbus dialect.
    Status readArea(const DeviceIdentity& identity, std::uint16_t& area);

    // Each writes, checks the acknowledgement, then reads the value back;
    // Refused when the read-back differs. identity follows the transmitter.
    // An FD identity write (address, baud) goes first through checkAlone.
    Status setAddress(DeviceIdentity& identity, std::uint8_t address);
    // A Modbus transmitter's new rate is read back where it answers: at the
    // old rate first, and only when nothing answers there at the new one. A
    // rate detection would not find again is Usage, sending nothing.
    Status setBaud(DeviceIdentity& identity, std::int32_t baud);
    // After setBaud: whether the transmitter answers at the new rate already,
    // or takes it when it restarts (Modbus dialect).
    bool baudTakenNow() const { return baudNow_; }
    Status setArea(const DeviceIdentity& identity, std::uint16_t area);

    // Behind a device server whose serial rate is its own: detection tries
    // the dialects at that one rate (baud, 0 when not known), Modbus only
    // when modbusOnly, and an FD baud write is not read back at a rate the
    // server does not speak.
    void setFixedRate(std::uint32_t baud, bool modbusOnly) {
        fixedRate_ = true;
        fixedBaud_ = baud;
        modbusOnly_ = modbusOnly;
    }
    bool fixedRate() const { return fixedRate_; }

    // Ends an operation with status for a reason found above the device.
    Status refuseAs(Status status, const std::string& why);

    // What went wrong with the last operation that did not succeed, for a
    // person to read ("no reply within 220 ms", "Modbus exception 2", ...).
    const char* why() const { return why_; }

    Link& link() { return link_; }

    // The FD identity write carries no address: every FD transmitter on the
    // line obeys it. Ok only when the unaddressed identity query gets one clean
    // reply and nothing more comes within the timeout; Refused, with nothing
    // written, when several answer.
    Status checkAlone();

private:
    // Sends frame[0..length) and sorts the reply; Ok leaves it in reply_.
    Status exchange(std::uint16_t length);
    Status refuse(const char* why);
    Status modbusHasNoArea();
    // Sends the identity write of `wanted` and checks its acknowledgement.
    Status writeIdentity(const DeviceIdentity& identity, IdentityField field, Identity wanted);
    // A write is never judged by a copy of itself: while the port's echo is
    // unknown, a read learns it. Ok unless the port failed.
    Status learnEcho(const DeviceIdentity& identity);
    Status verifyModbusBaud(DeviceIdentity& identity, std::int32_t baud);
    Status verifyFdBaud(DeviceIdentity& identity, std::int32_t baud);
    Status checkBaudReadBack(const DeviceIdentity& readBack, std::int32_t baud);
    Status detectAtFixedRate(DeviceIdentity& found);
    // Detection's end when no attempt found a transmitter.
    Status detectionFailed(Status worst, const char* refusedWhy);

    Link& link_;
    std::uint8_t frame_[kMaxFrameLength + 1]{};
    Reply reply_;
    const char* why_ = "";
    char whyText_[256]{};
    DetectionAttempt tried_[std::size(kDetectionPlan) + std::size(kFurtherModbusAttempts)]{};
    std::size_t triedCount_ = 0;
    bool baudNow_ = true;
    bool fixedRate_ = false;
    bool modbusOnly_ = false;
    std::uint32_t fixedBaud_ = 0;
};
