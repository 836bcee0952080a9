#include "tools/radiosim/com_port_server.h"

#include <utility>

namespace radiosim {
namespace {

constexpr std::uint8_t kSE = 240;
constexpr std::uint8_t kSB = 250;
constexpr std::uint8_t kWILL = 251;
constexpr std::uint8_t kWONT = 252;
constexpr std::uint8_t kDO = 253;
constexpr std::uint8_t kDONT = 254;
constexpr std::uint8_t kIAC = 255;

constexpr std::uint8_t kBinary = 0;
constexpr std::uint8_t kSuppressGoAhead = 3;
constexpr std::uint8_t kComPortOption = 44;

// The client's commands; the server answers each with the code plus 100.
constexpr std::uint8_t kSignature = 0;
constexpr std::uint8_t kSetBaudRate = 1;
constexpr std::uint8_t kSetDataSize = 2;
constexpr std::uint8_t kSetParity = 3;
constexpr std::uint8_t kSetStopSize = 4;
constexpr std::uint8_t kSetControl = 5;
constexpr std::uint8_t kNotifyModemState = 7;
constexpr std::uint8_t kSetLineStateMask = 10;
constexpr std::uint8_t kSetModemStateMask = 11;
constexpr std::uint8_t kPurgeData = 12;
constexpr std::uint8_t kServerOffset = 100;

// A subnegotiation longer than any the option defines is noise: it is dropped.
constexpr std::size_t kLongestSubnegotiation = 64;

// NOTIFY-MODEMSTATE bits; the low four mark which of the lines changed.
constexpr std::uint8_t kDcd = 0x80;
constexpr std::uint8_t kDsr = 0x20;
constexpr std::uint8_t kCts = 0x10;
constexpr std::uint8_t kDeltaDcd = 0x08;
constexpr std::uint8_t kDeltaDsr = 0x02;
constexpr std::uint8_t kDeltaCts = 0x01;

constexpr std::array<std::pair<std::uint8_t, char>, 5> kParities{{
    {1, 'N'},
    {2, 'O'},
    {3, 'E'},
    {4, 'M'},
    {5, 'S'},
}};
constexpr std::array<std::pair<std::uint8_t, char>, 3> kStopSizes{{
    {1, '1'},
    {2, '2'},
    {3, '5'},
}};

char Byte(std::uint8_t value) { return static_cast<char>(value); }

std::string Command(std::uint8_t verb, std::uint8_t option) {
    return {Byte(kIAC), Byte(verb), Byte(option)};
}

// What the server does when asked, and lets the client do.
bool WeWill(std::uint8_t option) {
    return option == kBinary || option == kSuppressGoAhead || option == kComPortOption;
}
bool WeLetHim(std::uint8_t option) {
    return option == kBinary || option == kSuppressGoAhead || option == kComPortOption;
}

template <std::size_t N>
std::uint8_t CodeOf(const std::array<std::pair<std::uint8_t, char>, N>& table, char value) {
    for (const auto& [code, letter] : table) {
        if (letter == value) return code;
    }
    return 0;
}

}  // namespace

std::string ComPortLineText(const ComPortLine& line) {
    std::string text = std::to_string(line.baud) + " " + std::to_string(line.data_bits);
    text.push_back(line.parity);
    text += line.stop_bits == '5' ? "1.5" : std::string(1, line.stop_bits);
    if (line.hardware_flow) return text + " rtscts";
    return text + (line.software_flow ? " xonxoff" : " none");
}

std::string ComPortServer::Greeting() {
    std::string out;
    const auto ask = [&](Side& side, std::uint8_t verb, std::uint8_t option) {
        side = Side::kWantYes;
        out += Command(verb, option);
    };
    ask(us_[kSuppressGoAhead], kWILL, kSuppressGoAhead);
    ask(him_[kSuppressGoAhead], kDO, kSuppressGoAhead);
    ask(him_[kBinary], kDO, kBinary);
    ask(us_[kBinary], kWILL, kBinary);
    ask(him_[kComPortOption], kDO, kComPortOption);
    return out;
}

void ComPortServer::Receive(std::string_view bytes) {
    // Data is handed on in runs, not byte by byte; a run ends where a command cuts in.
    std::string data;
    for (char c : bytes) {
        const auto b = static_cast<std::uint8_t>(c);
        if (state_ != State::kData || b == kIAC) {
            if (!data.empty()) listener_.SerialData(std::exchange(data, {}));
            const State before = state_;
            Take(c);
            // IAC IAC is a data byte 0xFF.
            if (before == State::kIac && b == kIAC) data.push_back(c);
            continue;
        }
        // Without binary, a CR on the wire is followed by a NUL that is no data.
        if (b == 0 && last_was_cr_ && him_[kBinary] != Side::kYes) {
            last_was_cr_ = false;
            continue;
        }
        last_was_cr_ = c == '\r';
        data.push_back(c);
    }
    if (!data.empty()) listener_.SerialData(data);
}

void ComPortServer::Take(char c) {
    const auto b = static_cast<std::uint8_t>(c);
    switch (state_) {
        case State::kData:
            state_ = State::kIac;  // only an IAC comes here
            return;
        case State::kIac:
            return TakeCommand(b);
        case State::kVerb:
            state_ = State::kData;
            return Negotiate(verb_, b);
        case State::kSub:
            if (b == kIAC) {
                state_ = State::kSubIac;
            } else if (sub_.size() < kLongestSubnegotiation) {
                sub_.push_back(c);
            } else {
                sub_overflow_ = true;
            }
            return;
        case State::kSubIac:
            if (b == kIAC) {
                if (sub_.size() < kLongestSubnegotiation) sub_.push_back(c);
                state_ = State::kSub;
            } else if (b == kSE) {
                state_ = State::kData;
                EndSubnegotiation();
            } else {
                // An unterminated subnegotiation: dropped, and this byte read as a command.
                TakeCommand(b);
            }
            return;
    }
}

// The byte after IAC.
void ComPortServer::TakeCommand(std::uint8_t b) {
    if (b == kIAC) {
        last_was_cr_ = false;
        state_ = State::kData;
    } else if (b == kWILL || b == kWONT || b == kDO || b == kDONT) {
        verb_ = b;
        state_ = State::kVerb;
    } else if (b == kSB) {
        sub_.clear();
        sub_overflow_ = false;
        state_ = State::kSub;
    } else {
        state_ = State::kData;  // NOP, break, go-ahead and the like change nothing here
    }
}

// Answer only to change a state, so that two ends never loop (RFC 1143, reduced).
void ComPortServer::Negotiate(std::uint8_t verb, std::uint8_t option) {
    const bool positive = verb == kWILL || verb == kDO;
    const bool about_us = verb == kDO || verb == kDONT;
    Side& side = about_us ? us_[option] : him_[option];
    const Side before = side;
    if (positive) {
        if (side == Side::kWantYes) {
            side = Side::kYes;
        } else if (side == Side::kNo) {
            const bool agree = about_us ? WeWill(option) : WeLetHim(option);
            side = agree ? Side::kYes : Side::kNo;
            const std::uint8_t yes = about_us ? kWILL : kDO;
            const std::uint8_t no = about_us ? kWONT : kDONT;
            listener_.Answer(Command(agree ? yes : no, option));
        }
    } else {
        if (side == Side::kYes) listener_.Answer(Command(about_us ? kWONT : kDONT, option));
        side = Side::kNo;
    }
    // A client that takes control of the port learns the modem lines at once, as from a port
    // server that has just opened its device.
    if (!about_us && option == kComPortOption && before != Side::kYes && side == Side::kYes) {
        NotifyModemState(0);
    }
}

void ComPortServer::EndSubnegotiation() {
    if (sub_overflow_ || sub_.size() < 2 || static_cast<std::uint8_t>(sub_[0]) != kComPortOption) {
        return;
    }
    // A client that has not agreed to control the port (WILL COM-PORT-OPTION) is not heard on
    // it, as ser2net does not hear it.
    if (him_[kComPortOption] != Side::kYes) return;
    const auto command = static_cast<std::uint8_t>(sub_[1]);
    const std::string value = sub_.substr(2);
    const auto one = [&]() -> std::uint8_t {
        return value.size() == 1 ? static_cast<std::uint8_t>(value[0]) : 0;
    };
    switch (command) {
        case kSignature:
            // Asked for ours (empty); the client's own needs no answer.
            if (value.empty()) Reply(command, "radiosim");
            return;
        case kSetBaudRate:
            return SetBaudRate(value);
        case kSetDataSize:
            if (one() >= 5 && one() <= 8) line_.data_bits = one();
            return Reply(command, std::string(1, Byte(static_cast<std::uint8_t>(line_.data_bits))));
        case kSetParity:
            for (const auto& [code, letter] : kParities) {
                if (code == one()) line_.parity = letter;
            }
            return Reply(command, std::string(1, Byte(CodeOf(kParities, line_.parity))));
        case kSetStopSize:
            for (const auto& [code, letter] : kStopSizes) {
                if (code == one()) line_.stop_bits = letter;
            }
            return Reply(command, std::string(1, Byte(CodeOf(kStopSizes, line_.stop_bits))));
        case kSetControl:
            if (value.size() == 1) SetControl(one());
            return;
        case kSetLineStateMask:
            // No line errors happen here, so nothing is ever notified.
            line_state_mask_ = one();
            return Reply(command, std::string(1, Byte(line_state_mask_)));
        case kSetModemStateMask:
            modem_mask_ = one();
            Reply(command, std::string(1, Byte(modem_mask_)));
            return NotifyModemState(0);
        case kPurgeData:
            return Reply(command, value);
        default:
            // Flow-control suspend and resume, and the server's own notifications: nothing a
            // radio on the other side needs.
            return;
    }
}

void ComPortServer::SetBaudRate(const std::string& value) {
    if (value.size() != 4) return;
    std::uint32_t baud = 0;
    for (char c : value) baud = (baud << 8) | static_cast<std::uint8_t>(c);
    // Zero asks for the speed in use; any other speed is taken, as a UART takes it.
    if (baud != 0 && baud <= 0x7FFFFFFF) line_.baud = static_cast<int>(baud);
    const auto in_use = static_cast<std::uint32_t>(line_.baud);
    const std::string bytes = {Byte(static_cast<std::uint8_t>(in_use >> 24)),
                               Byte(static_cast<std::uint8_t>(in_use >> 16)),
                               Byte(static_cast<std::uint8_t>(in_use >> 8)),
                               Byte(static_cast<std::uint8_t>(in_use))};
    Reply(kSetBaudRate, bytes);
}

void ComPortServer::SetControl(std::uint8_t value) {
    const auto answer = [&](std::uint8_t code) { Reply(kSetControl, std::string(1, Byte(code))); };
    const bool dtr = line_.dtr;
    const bool rts = line_.rts;
    switch (value) {
        case 1:
        case 2:
        case 3:
            line_.hardware_flow = value == 3;
            line_.software_flow = value == 2;
            break;
        case 5:
        case 6:
            break_on_ = value == 5;
            break;
        case 8:
        case 9:
            line_.dtr = value == 8;
            break;
        case 11:
        case 12:
            line_.rts = value == 11;
            break;
        case 14:
        case 15:
        case 16:
        case 17:
        case 18:
        case 19:
            inbound_flow_ = value;
            break;
        default:
            break;
    }
    // Requests (0, 4, 7, 10, 13) and settings alike are answered with the state now in use.
    if (value <= 3) {
        answer(line_.hardware_flow ? 3 : line_.software_flow ? 2 : 1);
    } else if (value <= 6) {
        answer(break_on_ ? 5 : 6);
    } else if (value <= 9) {
        answer(line_.dtr ? 8 : 9);
    } else if (value <= 12) {
        answer(line_.rts ? 11 : 12);
    } else if (value <= 19) {
        answer(inbound_flow_);
    }
    if (line_.dtr != dtr || line_.rts != rts) listener_.ControlLinesChanged();
}

void ComPortServer::Reply(std::uint8_t command, std::string_view value) {
    std::string out = {Byte(kIAC), Byte(kSB), Byte(kComPortOption),
                       Byte(static_cast<std::uint8_t>(command + kServerOffset))};
    for (char c : value) {
        out.push_back(c);
        if (static_cast<std::uint8_t>(c) == kIAC) out.push_back(c);
    }
    out += {Byte(kIAC), Byte(kSE)};
    listener_.Answer(std::move(out));
}

std::uint8_t ComPortServer::ModemState() const {
    return static_cast<std::uint8_t>((cts_ ? kCts : 0) | (dsr_ ? kDsr : 0) | (dcd_ ? kDcd : 0));
}

void ComPortServer::NotifyModemState(std::uint8_t deltas) {
    const auto state = static_cast<std::uint8_t>((ModemState() | deltas) & modem_mask_);
    if (modem_mask_ == 0 || him_[kComPortOption] != Side::kYes) return;
    Reply(kNotifyModemState, std::string(1, Byte(state)));
}

void ComPortServer::SetModemLines(bool cts, bool dsr, bool dcd) {
    const std::uint8_t before = ModemState();
    const auto deltas =
        static_cast<std::uint8_t>((cts != cts_ ? kDeltaCts : 0) | (dsr != dsr_ ? kDeltaDsr : 0) |
                                  (dcd != dcd_ ? kDeltaDcd : 0));
    cts_ = cts;
    dsr_ = dsr;
    dcd_ = dcd;
    // A change the client sees through its mask, in a line or in a change bit.
    if (((ModemState() | deltas) & modem_mask_) != (before & modem_mask_)) NotifyModemState(deltas);
}

std::string ComPortServer::EncodeData(std::string_view data) const {
    std::string out;
    out.reserve(data.size() + 8);
    const bool binary = us_[kBinary] == Side::kYes;
    for (char c : data) {
        out.push_back(c);
        if (static_cast<std::uint8_t>(c) == kIAC) out.push_back(c);
        if (c == '\r' && !binary) out.push_back('\0');
    }
    return out;
}

}  // namespace radiosim
