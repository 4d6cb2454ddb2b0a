#pragma once
// The Telnet side of a network serial port (RFC 854/855 with the COM-PORT
// option of RFC 2217), free of any socket: it turns serial bytes into the
// byte stream sent to a device server and back, keeps the state of option
// negotiation, and encodes and parses the COM-PORT subnegotiations.
//
// The stream from the server may be cut anywhere (TCP segments); decode keeps
// whatever state a cut leaves, so a command split across calls still counts
// once. Nothing here allocates.

#include <cstddef>
#include <cstdint>

namespace telnet {

inline constexpr std::uint8_t kIac = 255;
inline constexpr std::uint8_t kDont = 254;
inline constexpr std::uint8_t kDo = 253;
inline constexpr std::uint8_t kWont = 252;
inline constexpr std::uint8_t kWill = 251;
inline constexpr std::uint8_t kSb = 250;
inline constexpr std::uint8_t kSe = 240;

inline constexpr std::uint8_t kBinary = 0;
inline constexpr std::uint8_t kSuppressGoAhead = 3;
inline constexpr std::uint8_t kComPort = 44;

// COM-PORT commands from client to server; the server answers each with the
// same code plus 100.
inline constexpr std::uint8_t kSetBaudRate = 1;
inline constexpr std::uint8_t kSetDataSize = 2;
inline constexpr std::uint8_t kSetParity = 3;
inline constexpr std::uint8_t kSetStopSize = 4;
inline constexpr std::uint8_t kPurgeData = 12;
inline constexpr std::uint8_t kServerOffset = 100;

// PURGE-DATA values: the server's buffer of bytes from the serial line, of
// bytes for it, or both.
inline constexpr std::uint8_t kPurgeReceive = 1;
inline constexpr std::uint8_t kPurgeTransmit = 2;
inline constexpr std::uint8_t kPurgeBoth = 3;

// The largest encoding of one line-settings message (encodeLineSettings).
inline constexpr std::size_t kMaxSettingsBytes = 4 * 14;

} // namespace telnet

// Where one side of an option stands (the "Q method" of RFC 1143, without
// its queue): asked for and not yet answered, or settled either way.
enum class OptionState : std::uint8_t { No, WantYes, Yes, WantNo };

// The line settings in COM-PORT terms, as the server reported them last.
struct ComPortReplies {
    bool baudSeen = false, dataSizeSeen = false, paritySeen = false, stopSizeSeen = false;
    std::uint32_t baud = 0;
    std::uint8_t dataSize = 0;
    std::uint8_t parity = 0;   // 1 none, 2 odd, 3 even, 4 mark, 5 space
    std::uint8_t stopSize = 0; // 1 one, 2 two, 3 one and a half
    unsigned purges = 0;       // PURGE-DATA acknowledgements

    bool allSettingsSeen() const { return baudSeen && dataSizeSeen && paritySeen && stopSizeSeen; }
};

class TelnetCodec {
public:
    TelnetCodec() { reset(); }

    // Forgets everything: for a new connection.
    void reset();

    // Writes the client's opening offers to out (at most 15 bytes): BINARY
    // and SUPPRESS-GO-AHEAD both ways, and COM-PORT-OPTION from our side.
    std::size_t encodeOpening(std::uint8_t* out);

    // Writes count serial bytes as Telnet data to out, which must hold
    // 2 * count bytes: 0xFF doubled, and CR followed by NUL while the server
    // has not agreed to take binary data. Returns the bytes written.
    std::size_t encodeData(const std::uint8_t* data, std::size_t count, std::uint8_t* out) const;

    // SET-BAUDRATE, SET-DATASIZE, SET-PARITY and SET-STOPSIZE in one go, to
    // out (kMaxSettingsBytes at most). parity 0 none, 1 odd, 2 even; stopBits
    // 1 or 2 (0 counts as 1), as SerialPort::setParams takes them.
    std::size_t encodeLineSettings(std::uint32_t baud, std::uint8_t dataBits, std::uint8_t parity,
                                   std::uint8_t stopBits, std::uint8_t* out) const;
    // PURGE-DATA with one of the telnet::kPurge values (at most 8 bytes).
    std::size_t encodePurge(std::uint8_t which, std::uint8_t* out) const;

    // Takes count bytes from the server: the serial data among them goes to
    // data (which must hold count bytes and may be in itself), commands
    // change the state below. Returns the number of data bytes.
    std::size_t decode(const std::uint8_t* in, std::size_t count, std::uint8_t* data);

    // Answers that decode owes the server (refusals and acceptances of its
    // requests); the caller sends them, then calls clearAnswers.
    const std::uint8_t* answers() const { return answers_; }
    std::size_t answerCount() const { return answerCount_; }
    void clearAnswers() { answerCount_ = 0; }

    // Our side ("WILL") and the server's side ("DO" from us) of an option.
    OptionState ours(std::uint8_t option) const { return option < kOptions ? us_[option] : OptionState::No; }
    OptionState theirs(std::uint8_t option) const { return option < kOptions ? him_[option] : OptionState::No; }

    // The server answered our COM-PORT offer: accepted (Yes) or refused (No);
    // WantYes while it has not.
    OptionState comPort() const { return us_[telnet::kComPort]; }

    const ComPortReplies& replies() const { return replies_; }
    // Forgets the settings replies, before asking for new settings.
    void clearReplies() { replies_ = ComPortReplies{}; }

private:
    static constexpr std::uint8_t kOptions = 64; // options above this are refused untracked
    static constexpr std::size_t kMaxSub = 16;   // longer subnegotiations are cut

    enum class State : std::uint8_t { Data, Cr, Iac, Verb, SubOption, Sub, SubIac };

    void receiveVerb(std::uint8_t verb, std::uint8_t option);
    void subnegotiation();
    void answer(std::uint8_t verb, std::uint8_t option);
    static bool acceptOurs(std::uint8_t option);
    static bool acceptTheirs(std::uint8_t option);

    State state_ = State::Data;
    std::uint8_t verb_ = 0; // WILL, WONT, DO or DONT awaiting its option
    std::uint8_t subOption_ = 0;
    std::uint8_t sub_[kMaxSub]{};
    std::size_t subCount_ = 0;
    OptionState us_[kOptions]{};
    OptionState him_[kOptions]{};
    std::uint8_t answers_[64]{};
    std::size_t answerCount_ = 0;
    ComPortReplies replies_;
};
