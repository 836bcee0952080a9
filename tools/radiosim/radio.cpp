#include "tools/radiosim/radio.h"

#include <array>
#include <optional>
#include <utility>

namespace radiosim {
namespace {

constexpr std::array<Mode, 10> kModes{{
    {"LSB", 0x00, '1', 0x00},
    {"USB", 0x01, '2', 0x01},
    {"CW", 0x03, '3', 0x02},
    {"CW-R", 0x07, '7', 0x03},
    {"AM", 0x02, '5', 0x04},
    {"FM", 0x05, '4', 0x08},
    {"WFM", 0x06, '4', 0x06},
    {"FSK", 0x04, '6', 0x0A},
    {"FSK-R", 0x08, '9', 0x0A},
    {"PKT", 0x01, '2', 0x0C},
}};

// CI-V mode numbers some radios accept besides their own table: 11 is synchronous AM.
constexpr std::array<std::pair<std::uint8_t, std::string_view>, 1> kIcomModeAliases{{
    {0x11, "AM"},
}};

constexpr std::uint8_t kPreamble = 0xFE;
constexpr std::uint8_t kEndOfMessage = 0xFD;
constexpr std::uint8_t kCollision = 0xFC;
constexpr std::uint8_t kAck = 0xFB;
constexpr std::uint8_t kNak = 0xFA;
constexpr std::uint8_t kBroadcast = 0x00;
// Longer than any command this radio knows; a body this long lost its end byte.
constexpr std::size_t kMaxFrameBody = 32;
constexpr std::size_t kMaxKenwoodCommand = 64;

// Kenwood status fields between the frequency and the mode digit, and after the mode digit:
// step, RIT/XIT offset, RIT, XIT, memory bank and channel, TX/RX; VFO, scan, split, tone,
// tone number, shift.
constexpr std::string_view kKenwoodBeforeMode = "0000+00000000000";
constexpr std::string_view kKenwoodAfterMode = "0000000";

const Mode* ModeByName(std::string_view name) {
    for (const Mode& mode : kModes) {
        if (mode.name == name) return &mode;
    }
    return nullptr;
}

template <typename Code>
const Mode* ModeByCode(Code Mode::*field, Code code) {
    for (const Mode& mode : kModes) {
        if (mode.*field == code) return &mode;
    }
    return nullptr;
}

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// CI-V carries frequencies as five packed-decimal bytes, least significant first:
// 14 074 000 Hz is 00 40 07 14 00.
std::string IcomFrequency(std::int64_t hz) {
    std::string out;
    for (int i = 0; i < 5; ++i) {
        const int low = static_cast<int>(hz % 10);
        hz /= 10;
        const int high = static_cast<int>(hz % 10);
        hz /= 10;
        out.push_back(static_cast<char>(high << 4 | low));
    }
    return out;
}

// Packed decimal, two digits a byte, the earlier digit in the high half.
std::optional<std::int64_t> FromPackedDecimal(std::string_view bytes, bool least_first) {
    std::int64_t value = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<std::uint8_t>(bytes[least_first ? bytes.size() - 1 - i : i]);
        const int high = byte >> 4;
        const int low = byte & 0x0F;
        if (high > 9 || low > 9) return std::nullopt;
        value = value * 100 + high * 10 + low;
    }
    return value;
}

std::string KenwoodDigits(std::int64_t hz) {
    std::string digits(11, '0');
    for (int i = 10; i >= 0 && hz > 0; --i, hz /= 10) digits[i] = static_cast<char>('0' + hz % 10);
    return digits;
}

// FT-817 frequency: eight packed-decimal digits of 10 Hz, most significant byte first:
// 14 074 000 Hz is 01 40 74 00.
std::string Ft817Frequency(std::int64_t hz) {
    std::int64_t tens = hz / 10;
    std::string out(4, '\0');
    for (int i = 3; i >= 0; --i) {
        const int low = static_cast<int>(tens % 10);
        tens /= 10;
        const int high = static_cast<int>(tens % 10);
        tens /= 10;
        out[i] = static_cast<char>(high << 4 | low);
    }
    return out;
}

}  // namespace

const Mode* FindMode(std::string_view name) {
    std::string upper;
    for (char c : name) upper.push_back(Upper(c));
    return ModeByName(upper);
}

std::string ModeNames() {
    std::string names;
    for (const Mode& mode : kModes) {
        if (!names.empty()) names.push_back(' ');
        names.append(mode.name);
    }
    return names;
}

std::int64_t Radio::Limit(Protocol protocol) {
    return protocol == Protocol::kFt817 ? 1'000'000'000 : 10'000'000'000;
}

Radio::Radio(Config config, Tuning initial, Listener& listener)
    : config_(config), tuning_(initial), listener_(listener) {
    if (tuning_.mode == nullptr) tuning_.mode = ModeByName("USB");
    if (config_.protocol == Protocol::kFt817) tuning_.hz -= tuning_.hz % 10;
}

bool Radio::Tune(std::int64_t hz) {
    if (hz < 0 || hz >= Limit(config_.protocol)) return false;
    // The FT-817 synthesiser steps in 10 Hz.
    if (config_.protocol == Protocol::kFt817) hz -= hz % 10;
    tuning_.hz = hz;
    listener_.Report("freq " + std::to_string(hz));
    if (config_.transceive && config_.protocol == Protocol::kIcom) {
        IcomAnswer(kBroadcast, std::string(1, '\x00') + IcomFrequency(hz));
    }
    return true;
}

void Radio::SelectMode(const Mode& mode, std::uint8_t filter) {
    tuning_.mode = &mode;
    tuning_.filter = filter;
    listener_.Report("mode " + std::string(mode.name));
    if (config_.transceive && config_.protocol == Protocol::kIcom) {
        IcomAnswer(kBroadcast, std::string{'\x01', static_cast<char>(mode.icom),
                                           static_cast<char>(tuning_.filter)});
    }
}

void Radio::Receive(std::string_view bytes) {
    for (char c : bytes) {
        switch (config_.protocol) {
            case Protocol::kIcom:
                IcomByte(static_cast<std::uint8_t>(c));
                break;
            case Protocol::kKenwood:
                if (c == ';') {
                    KenwoodCommand(kenwood_pending_);
                    kenwood_pending_.clear();
                } else if (kenwood_pending_.size() < kMaxKenwoodCommand) {
                    kenwood_pending_.push_back(c);
                } else {
                    // Runaway text without a terminator: forget it, answer what follows.
                    kenwood_pending_.clear();
                }
                break;
            case Protocol::kFt817:
                ft817_pending_.push_back(c);
                if (ft817_pending_.size() == 5) {
                    Ft817Command();
                    ft817_pending_.clear();
                }
                break;
        }
    }
}

// ---- CI-V ----------------------------------------------------------------------------------

void Radio::IcomByte(std::uint8_t byte) {
    if (!in_frame_) {
        // Anything between frames (the 00 some controllers send after each frame, noise) is
        // skipped until two preamble bytes in a row.
        preamble_ = byte == kPreamble ? preamble_ + 1 : 0;
        if (preamble_ >= 2) {
            in_frame_ = true;
            frame_.clear();
        }
        return;
    }
    if (byte == kPreamble) {
        if (frame_.empty()) return;  // a longer preamble
        // A preamble inside a body: the previous frame lost its end; this one starts anew.
        in_frame_ = false;
        preamble_ = 1;
        return;
    }
    if (byte == kEndOfMessage) {
        in_frame_ = false;
        preamble_ = 0;
        IcomFrame();
        return;
    }
    if (byte == kCollision || frame_.size() >= kMaxFrameBody) {
        in_frame_ = false;
        preamble_ = 0;
        return;
    }
    frame_.push_back(static_cast<char>(byte));
}

void Radio::IcomAnswer(std::uint8_t to, std::string_view payload) {
    std::string frame{static_cast<char>(kPreamble), static_cast<char>(kPreamble),
                      static_cast<char>(to), static_cast<char>(config_.address)};
    frame.append(payload);
    frame.push_back(static_cast<char>(kEndOfMessage));
    listener_.Transmit(std::move(frame));
}

void Radio::IcomFrame() {
    if (frame_.size() < 3) return;
    const auto to = static_cast<std::uint8_t>(frame_[0]);
    const auto from = static_cast<std::uint8_t>(frame_[1]);
    const auto command = static_cast<std::uint8_t>(frame_[2]);
    const std::string_view data = std::string_view(frame_).substr(3);
    if (to != config_.address) return;

    const std::string ack(1, static_cast<char>(kAck));
    const std::string nak(1, static_cast<char>(kNak));
    switch (command) {
        case 0x03:
            if (!data.empty()) break;
            IcomAnswer(from, "\x03" + IcomFrequency(tuning_.hz));
            return;
        case 0x04:
            if (!data.empty()) break;
            IcomAnswer(from, std::string{'\x04', static_cast<char>(tuning_.mode->icom),
                                         static_cast<char>(tuning_.filter)});
            return;
        case 0x05: {
            if (data.size() != 4 && data.size() != 5) break;
            const auto hz = FromPackedDecimal(data, true);
            if (!hz || *hz >= Limit(config_.protocol)) break;
            // Acknowledge first: the transceive frame announces the result afterwards.
            IcomAnswer(from, ack);
            Tune(*hz);
            return;
        }
        case 0x06: {
            if (data.empty() || data.size() > 2) break;
            const auto code = static_cast<std::uint8_t>(data[0]);
            const Mode* mode = ModeByCode(&Mode::icom, code);
            for (const auto& [alias, name] : kIcomModeAliases) {
                if (alias == code) mode = ModeByName(name);
            }
            if (mode == nullptr) break;
            std::uint8_t filter = tuning_.filter;
            if (data.size() == 2) {
                filter = static_cast<std::uint8_t>(data[1]);
                if (filter < 1 || filter > 3) break;
            }
            IcomAnswer(from, ack);
            SelectMode(*mode, filter);
            return;
        }
        default:
            break;
    }
    IcomAnswer(from, nak);
}

// ---- Kenwood -------------------------------------------------------------------------------

void Radio::KenwoodCommand(std::string_view command) {
    // Line ends typed by a terminal user are not part of the command.
    while (!command.empty() &&
           (command.front() == '\r' || command.front() == '\n' || command.front() == ' ')) {
        command.remove_prefix(1);
    }
    const std::string_view name = command.substr(0, 2);
    const std::string_view params = command.size() > 2 ? command.substr(2) : std::string_view{};

    if (command == "IF") {
        std::string reply = "IF" + KenwoodDigits(tuning_.hz);
        reply.append(kKenwoodBeforeMode);
        reply.push_back(tuning_.mode->kenwood);
        reply.append(kKenwoodAfterMode);
        reply.push_back(';');
        listener_.Transmit(std::move(reply));
        return;
    }
    if (command == "FA") {
        listener_.Transmit("FA" + KenwoodDigits(tuning_.hz) + ";");
        return;
    }
    if (name == "FA" && params.size() == 11) {
        std::int64_t hz = 0;
        bool digits = true;
        for (char c : params) {
            digits = digits && IsDigit(c);
            hz = hz * 10 + (c - '0');
        }
        if (digits && hz < Limit(config_.protocol)) {
            Tune(hz);
            return;
        }
    }
    if (command == "MD") {
        listener_.Transmit(std::string("MD") + tuning_.mode->kenwood + ";");
        return;
    }
    if (name == "MD" && params.size() == 1) {
        if (const Mode* mode = ModeByCode(&Mode::kenwood, params[0])) {
            SelectMode(*mode, tuning_.filter);
            return;
        }
    }
    if (command == "ID") {
        listener_.Transmit("ID019;");
        return;
    }
    if (command == "PS") {
        listener_.Transmit("PS1;");
        return;
    }
    if (command == "AI") {
        listener_.Transmit("AI0;");
        return;
    }
    // Controllers switch auto-information off before polling; this radio never sends it.
    if (command == "AI0") return;
    listener_.Transmit("?;");
}

// ---- FT-817 --------------------------------------------------------------------------------

void Radio::Ft817Command() {
    const std::string_view params = std::string_view(ft817_pending_).substr(0, 4);
    const auto opcode = static_cast<std::uint8_t>(ft817_pending_[4]);
    switch (opcode) {
        case 0x03: {
            std::string reply = Ft817Frequency(tuning_.hz);
            reply.push_back(static_cast<char>(tuning_.mode->ft817));
            listener_.Transmit(std::move(reply));
            return;
        }
        case 0x01:
            if (const auto tens = FromPackedDecimal(params, false)) Tune(*tens * 10);
            return;
        case 0x07:
            if (const Mode* mode = ModeByCode(&Mode::ft817, static_cast<std::uint8_t>(params[0]))) {
                SelectMode(*mode, tuning_.filter);
            }
            return;
        case 0xE7:  // receiver status: squelch open, no signal
            listener_.Transmit(std::string(1, '\x00'));
            return;
        case 0xF7:  // transmitter status: not transmitting
            listener_.Transmit(std::string(1, '\xFF'));
            return;
        case 0xBB:  // memory read: two bytes from P1 P2, an erased memory here
            listener_.Transmit(std::string(2, '\x00'));
            return;
        default:
            // The radio knows many more opcodes (PTT, lock, power); none of them answers here.
            return;
    }
}

}  // namespace radiosim
