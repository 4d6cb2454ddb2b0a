#include "serial/net/telnet_codec.h"

using namespace telnet;

namespace {

constexpr std::uint8_t kCr = 13;

std::size_t putEscaped(std::uint8_t byte, std::uint8_t* out) {
    out[0] = byte;
    if (byte != kIac) return 1;
    out[1] = kIac;
    return 2;
}

// IAC SB COM-PORT command value... IAC SE, with 0xFF in the value doubled.
std::size_t putComPort(std::uint8_t command, const std::uint8_t* value, std::size_t count, std::uint8_t* out) {
    std::size_t n = 0;
    out[n++] = kIac;
    out[n++] = kSb;
    out[n++] = kComPort;
    out[n++] = command;
    for (std::size_t i = 0; i < count; ++i) n += putEscaped(value[i], out + n);
    out[n++] = kIac;
    out[n++] = kSe;
    return n;
}

} // namespace

void TelnetCodec::reset() {
    state_ = State::Data;
    verb_ = subOption_ = 0;
    subCount_ = 0;
    for (auto& s : us_) s = OptionState::No;
    for (auto& s : him_) s = OptionState::No;
    answerCount_ = 0;
    replies_ = ComPortReplies{};
}

bool TelnetCodec::acceptOurs(std::uint8_t option) {
    return option == kBinary || option == kSuppressGoAhead || option == kComPort;
}

bool TelnetCodec::acceptTheirs(std::uint8_t option) { return option == kBinary || option == kSuppressGoAhead; }

std::size_t TelnetCodec::encodeOpening(std::uint8_t* out) {
    std::size_t n = 0;
    const auto offer = [&](std::uint8_t verb, std::uint8_t option, OptionState& side) {
        if (side != OptionState::No) return;
        side = OptionState::WantYes;
        out[n++] = kIac;
        out[n++] = verb;
        out[n++] = option;
    };
    offer(kWill, kBinary, us_[kBinary]);
    offer(kDo, kBinary, him_[kBinary]);
    offer(kWill, kSuppressGoAhead, us_[kSuppressGoAhead]);
    offer(kDo, kSuppressGoAhead, him_[kSuppressGoAhead]);
    // Last, so that the answer to it also tells that the others were read.
    offer(kWill, kComPort, us_[kComPort]);
    return n;
}

std::size_t TelnetCodec::encodeData(const std::uint8_t* data, std::size_t count, std::uint8_t* out) const {
    const bool binary = us_[kBinary] == OptionState::Yes;
    std::size_t n = 0;
    for (std::size_t i = 0; i < count; ++i) {
        n += putEscaped(data[i], out + n);
        // In the network virtual terminal a bare CR is CR NUL.
        if (data[i] == kCr && !binary) out[n++] = 0;
    }
    return n;
}

std::size_t TelnetCodec::encodeLineSettings(std::uint32_t baud, std::uint8_t dataBits, std::uint8_t parity,
                                            std::uint8_t stopBits, std::uint8_t* out) const {
    const std::uint8_t rate[4] = {std::uint8_t(baud >> 24), std::uint8_t(baud >> 16), std::uint8_t(baud >> 8),
                                  std::uint8_t(baud)};
    const std::uint8_t size = dataBits;
    const std::uint8_t parityCode = parity == 1 ? 2 : parity == 2 ? 3 : 1;
    const std::uint8_t stopCode = stopBits == 2 ? 2 : 1;
    std::size_t n = putComPort(kSetBaudRate, rate, 4, out);
    n += putComPort(kSetDataSize, &size, 1, out + n);
    n += putComPort(kSetParity, &parityCode, 1, out + n);
    n += putComPort(kSetStopSize, &stopCode, 1, out + n);
    return n;
}

std::size_t TelnetCodec::encodePurge(std::uint8_t which, std::uint8_t* out) const {
    return putComPort(kPurgeData, &which, 1, out);
}

void TelnetCodec::answer(std::uint8_t verb, std::uint8_t option) {
    // A server that floods requests gets answers for what fits; it waits for none.
    if (answerCount_ + 3 > sizeof answers_) return;
    answers_[answerCount_++] = kIac;
    answers_[answerCount_++] = verb;
    answers_[answerCount_++] = option;
}

void TelnetCodec::receiveVerb(std::uint8_t verb, std::uint8_t option) {
    const bool tracked = option < kOptions;
    const bool theirSide = verb == kWill || verb == kWont;
    const bool yes = verb == kWill || verb == kDo;
    const std::uint8_t agree = theirSide ? kDo : kWill;
    const std::uint8_t refuse = theirSide ? kDont : kWont;
    if (!tracked) {
        if (yes) answer(refuse, option);
        return;
    }
    OptionState& side = theirSide ? him_[option] : us_[option];
    const bool accept = theirSide ? acceptTheirs(option) : acceptOurs(option);
    switch (side) {
    case OptionState::No:
        if (!yes) return;
        if (accept) {
            side = OptionState::Yes;
            answer(agree, option);
        } else {
            answer(refuse, option);
        }
        return;
    case OptionState::Yes:
        if (yes) return;
        side = OptionState::No;
        answer(refuse, option);
        return;
    case OptionState::WantYes:
        // The answer to our own request: it needs none back.
        side = yes ? OptionState::Yes : OptionState::No;
        return;
    case OptionState::WantNo: side = OptionState::No; return;
    }
}

void TelnetCodec::subnegotiation() {
    if (subOption_ != kComPort || subCount_ == 0) return;
    const std::uint8_t* v = sub_ + 1;
    const std::size_t size = subCount_ - 1;
    // The one-byte answers: data size, parity, stop size.
    const auto takeByte = [&](std::uint8_t& value, bool& seen) {
        if (size < 1) return;
        value = v[0];
        seen = true;
    };
    switch (sub_[0]) {
    case kServerOffset + kSetBaudRate:
        if (size < 4) return;
        replies_.baud = std::uint32_t(v[0]) << 24 | std::uint32_t(v[1]) << 16 | std::uint32_t(v[2]) << 8 | v[3];
        replies_.baudSeen = true;
        return;
    case kServerOffset + kSetDataSize: return takeByte(replies_.dataSize, replies_.dataSizeSeen);
    case kServerOffset + kSetParity: return takeByte(replies_.parity, replies_.paritySeen);
    case kServerOffset + kSetStopSize: return takeByte(replies_.stopSize, replies_.stopSizeSeen);
    case kServerOffset + kPurgeData: ++replies_.purges; return;
    default: return; // line and modem state notices, flow control: nothing we act on
    }
}

std::size_t TelnetCodec::decode(const std::uint8_t* in, std::size_t count, std::uint8_t* data) {
    std::size_t n = 0;
    const auto afterIac = [&](std::uint8_t b) {
        state_ = State::Data;
        if (b == kIac) {
            data[n++] = kIac;
        } else if (b >= kWill && b <= kDont) {
            verb_ = b;
            state_ = State::Verb;
        } else if (b == kSb) {
            state_ = State::SubOption;
        }
        // NOP, GA, DM and the like carry nothing for us.
    };
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t b = in[i];
        switch (state_) {
        case State::Cr:
            state_ = State::Data;
            if (b == 0) break;
            [[fallthrough]];
        case State::Data:
            if (b == kIac) {
                state_ = State::Iac;
                break;
            }
            data[n++] = b;
            if (b == kCr && him_[kBinary] != OptionState::Yes) state_ = State::Cr;
            break;
        case State::Iac: afterIac(b); break;
        case State::Verb:
            receiveVerb(verb_, b);
            state_ = State::Data;
            break;
        case State::SubOption:
            subOption_ = b;
            subCount_ = 0;
            state_ = State::Sub;
            break;
        case State::Sub:
            if (b == kIac)
                state_ = State::SubIac;
            else if (subCount_ < kMaxSub)
                sub_[subCount_++] = b;
            break;
        case State::SubIac:
            if (b == kIac) {
                if (subCount_ < kMaxSub) sub_[subCount_++] = kIac;
                state_ = State::Sub;
            } else if (b == kSe) {
                subnegotiation();
                state_ = State::Data;
            } else {
                afterIac(b); // an unterminated subnegotiation: drop it and read the command
            }
            break;
        }
    }
    return n;
}
