#include "shell/rfc2217.h"

#include <utility>

#include "core/lookup.h"

namespace cat {

namespace {

using namespace telnet;

// A subnegotiation longer than any the option defines is noise or hostile: it is dropped.
constexpr std::size_t kLongestSubnegotiation = 64;

constexpr std::array<std::pair<Parity, std::uint8_t>, 5> kParityValues{{
    {Parity::None, 1},
    {Parity::Odd, 2},
    {Parity::Even, 3},
    {Parity::Mark, 4},
    {Parity::Space, 5},
}};
constexpr std::array<std::pair<StopBits, std::uint8_t>, 3> kStopSizeValues{{
    {StopBits::One, 1},
    {StopBits::Two, 2},
    {StopBits::OneAndHalf, 3},
}};

// Options we agree to when the far end asks: binary and suppress-go-ahead both ways, and the
// serial-port control on our side only (the client controls, the server is controlled).
bool WeWill(std::uint8_t option) {
    return option == kBinary || option == kSuppressGoAhead || option == kComPortOption;
}
bool WeLetHim(std::uint8_t option) { return option == kBinary || option == kSuppressGoAhead; }

char Byte(std::uint8_t value) { return static_cast<char>(value); }

std::string Command(std::uint8_t verb, std::uint8_t option) {
    return {Byte(kIAC), Byte(verb), Byte(option)};
}

std::string Subnegotiation(ComPortCommand command, std::string_view value) {
    std::string out = {Byte(kIAC), Byte(kSB), Byte(kComPortOption),
                       Byte(static_cast<std::uint8_t>(command))};
    for (char c : value) {
        out.push_back(c);
        if (static_cast<std::uint8_t>(c) == kIAC) out.push_back(c);
    }
    out += {Byte(kIAC), Byte(kSE)};
    return out;
}

}  // namespace

std::string TelnetSession::Start() {
    // What the far end has offered already (ser2net greets first) is not asked for again.
    std::string out;
    const auto ask = [&](Side& side, std::uint8_t verb, std::uint8_t option) {
        if (side != Side::No) return;
        side = Side::WantYes;
        out += Command(verb, option);
    };
    ask(us_[kComPortOption], kWILL, kComPortOption);
    ask(us_[kBinary], kWILL, kBinary);
    ask(him_[kBinary], kDO, kBinary);
    return out;
}

void TelnetSession::Receive(std::string_view bytes, std::string& data, std::string& reply) {
    for (char c : bytes) Take(c, data, reply);
}

void TelnetSession::Take(char c, std::string& data, std::string& reply) {
    const auto b = static_cast<std::uint8_t>(c);
    switch (state_) {
        case State::Data:
            return TakeData(c, data);
        case State::Iac:
            return TakeCommand(c, data);
        case State::Verb:
            Negotiate(verb_, b, reply);
            state_ = State::Data;
            return;
        case State::Sub:
            if (b == kIAC)
                state_ = State::SubIac;
            else
                KeepSubnegotiationByte(c);
            return;
        case State::SubIac:
            return TakeAfterSubnegotiationIac(c, data, reply);
    }
}

void TelnetSession::TakeData(char c, std::string& data) {
    const auto b = static_cast<std::uint8_t>(c);
    if (b == kIAC) {
        state_ = State::Iac;
        return;
    }
    // Without binary, a CR on the wire is followed by a NUL that is not data.
    if (b == 0 && lastWasCr_ && him_[kBinary] != Side::Yes) {
        lastWasCr_ = false;
        return;
    }
    lastWasCr_ = b == '\r';
    data.push_back(c);
}

// The byte after IAC in the data stream.
void TelnetSession::TakeCommand(char c, std::string& data) {
    const auto b = static_cast<std::uint8_t>(c);
    if (b == kIAC) {
        data.push_back(c);
        lastWasCr_ = false;
        state_ = State::Data;
    } else if (b == kWILL || b == kWONT || b == kDO || b == kDONT) {
        verb_ = b;
        state_ = State::Verb;
    } else if (b == kSB) {
        sub_.clear();
        subOverflow_ = false;
        state_ = State::Sub;
    } else {
        state_ = State::Data;  // NOP, GA and the like carry nothing for us
    }
}

// A far end that never ends its subnegotiation must not grow it without bound.
void TelnetSession::KeepSubnegotiationByte(char c) {
    if (sub_.size() < kLongestSubnegotiation)
        sub_.push_back(c);
    else
        subOverflow_ = true;
}

void TelnetSession::TakeAfterSubnegotiationIac(char c, std::string& data, std::string& reply) {
    const auto b = static_cast<std::uint8_t>(c);
    if (b == kIAC) {
        KeepSubnegotiationByte(c);
        state_ = State::Sub;
    } else if (b == kSE) {
        EndSubnegotiation();
        state_ = State::Data;
    } else {
        // An unterminated subnegotiation: drop it and read this byte as a command.
        state_ = State::Iac;
        Take(c, data, reply);
    }
}

// RFC 1143's rules, reduced to what a client needs: answer only to change a state, so two ends
// never loop; a request we made and the far end grants needs no answer.
void TelnetSession::Negotiate(std::uint8_t verb, std::uint8_t option, std::string& reply) {
    const bool positive = verb == kWILL || verb == kDO;
    const bool aboutUs = verb == kDO || verb == kDONT;
    Side& side = aboutUs ? us_[option] : him_[option];
    const std::uint8_t yes = aboutUs ? kWILL : kDO;
    const std::uint8_t no = aboutUs ? kWONT : kDONT;
    if (positive) {
        if (side == Side::WantYes) {
            side = Side::Yes;
        } else if (side == Side::No) {
            if (aboutUs ? WeWill(option) : WeLetHim(option)) {
                side = Side::Yes;
                reply += Command(yes, option);
            } else {
                reply += Command(no, option);
            }
        }
    } else {
        if (side == Side::Yes) reply += Command(no, option);
        if (aboutUs && option == kComPortOption && side != Side::No) comPortRefused_ = true;
        side = Side::No;
    }
}

void TelnetSession::EndSubnegotiation() {
    if (subOverflow_ || sub_.size() < 2 || static_cast<std::uint8_t>(sub_[0]) != kComPortOption)
        return;
    const auto code = static_cast<std::uint8_t>(sub_[1]);
    if (code < kServerReplyOffset) return;
    const std::uint8_t command = code - kServerReplyOffset;
    const std::string_view value = std::string_view(sub_).substr(2);
    if (command == static_cast<std::uint8_t>(ComPortCommand::SetBaudRate)) {
        if (value.size() != 4) return;
        std::uint32_t baud = 0;
        for (char c : value) baud = (baud << 8) | static_cast<std::uint8_t>(c);
        reported_[command] = baud;
        return;
    }
    if (value.size() != 1) return;
    const auto byte = static_cast<std::uint8_t>(value[0]);
    if (command == static_cast<std::uint8_t>(ComPortCommand::NotifyModemState)) {
        modemState_ = byte;
    } else if (command == static_cast<std::uint8_t>(ComPortCommand::SetControl)) {
        TakeControlAnswer(byte);
    } else if (command >= static_cast<std::uint8_t>(ComPortCommand::SetDataSize) &&
               command <= static_cast<std::uint8_t>(ComPortCommand::SetStopSize)) {
        reported_[command] = byte;
    }
    // Line-state notifications and the far end's inbound flow control are not used: a CAT link
    // sends a few bytes at a time.
}

void TelnetSession::TakeControlAnswer(std::uint8_t value) {
    switch (static_cast<ComPortControl>(value)) {
        case ComPortControl::DtrOn:
        case ComPortControl::DtrOff:
            dtr_ = value == static_cast<std::uint8_t>(ComPortControl::DtrOn);
            return;
        case ComPortControl::RtsOn:
        case ComPortControl::RtsOff:
            rts_ = value == static_cast<std::uint8_t>(ComPortControl::RtsOn);
            return;
        default:
            // Outbound flow control (1 none, 2 XON/XOFF, 3 RTS/CTS) is what the line check reads.
            if (value >= 1 && value <= 3)
                reported_[static_cast<std::uint8_t>(ComPortCommand::SetControl)] = value;
    }
}

std::string TelnetSession::EncodeData(std::string_view data) const {
    std::string out;
    out.reserve(data.size() + 8);
    const bool binary = us_[kBinary] == Side::Yes;
    for (char c : data) {
        out.push_back(c);
        if (static_cast<std::uint8_t>(c) == kIAC) out.push_back(c);
        if (c == '\r' && !binary) out.push_back('\0');
    }
    return out;
}

TelnetSession::Agreement TelnetSession::ComPortAgreement() const {
    if (us_[kComPortOption] == Side::Yes) return Agreement::Accepted;
    if (comPortRefused_) return Agreement::Refused;
    return Agreement::Pending;
}

std::optional<std::uint32_t> TelnetSession::Reported(ComPortCommand command) const {
    return reported_[static_cast<std::uint8_t>(command)];
}

void TelnetSession::ForgetReports() { reported_.fill(std::nullopt); }

std::string TelnetSession::SetBaudRate(std::uint32_t baud) {
    const std::string value = {Byte(baud >> 24), Byte(baud >> 16), Byte(baud >> 8), Byte(baud)};
    return Subnegotiation(ComPortCommand::SetBaudRate, value);
}

std::string TelnetSession::SetDataSize(int bits) {
    return Subnegotiation(ComPortCommand::SetDataSize,
                          std::string(1, Byte(static_cast<std::uint8_t>(bits))));
}

std::uint8_t TelnetSession::ParityValue(Parity parity) { return *Lookup(kParityValues, parity); }

std::uint8_t TelnetSession::StopSizeValue(StopBits stopBits) {
    return *Lookup(kStopSizeValues, stopBits);
}

std::string TelnetSession::SetParity(Parity parity) {
    return Subnegotiation(ComPortCommand::SetParity, std::string(1, Byte(ParityValue(parity))));
}

std::string TelnetSession::SetStopSize(StopBits stopBits) {
    return Subnegotiation(ComPortCommand::SetStopSize,
                          std::string(1, Byte(StopSizeValue(stopBits))));
}

std::string TelnetSession::SetModemStateMask(std::uint8_t mask) {
    return Subnegotiation(ComPortCommand::SetModemStateMask, std::string(1, Byte(mask)));
}

std::string TelnetSession::SetControl(ComPortControl value) {
    return Subnegotiation(ComPortCommand::SetControl,
                          std::string(1, Byte(static_cast<std::uint8_t>(value))));
}

}  // namespace cat
