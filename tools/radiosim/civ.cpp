// The ICOM side: CI-V frames FE FE <to> <from> <command> [sub] [data] FD, answered from our address
// to the address the command came from.

#include "tools/radiosim/radio.h"
#include "tools/radiosim/text.h"

namespace radiosim {
namespace {

constexpr std::uint8_t kPreamble = 0xFE;
constexpr std::uint8_t kEndOfMessage = 0xFD;
constexpr std::uint8_t kCollision = 0xFC;
constexpr std::uint8_t kEveryRadio = 0x00;
constexpr char kAck = '\xFB';
// Longer than any command this radio knows; a body this long lost its end byte.
constexpr std::size_t kMaxFrameBody = 32;
// What the S-meter reads: a steady S9 signal (0000 is S0, 0120 S9, 0241 S9+60 dB).
constexpr std::string_view kMeterS9 = "\x01\x20";

// CI-V mode numbers some radios accept besides their own table: 11 is synchronous AM.
constexpr std::array<std::pair<std::uint8_t, std::string_view>, 1> kIcomModeAliases{{
    {0x11, "AM"},
}};

// Five packed-decimal bytes, least significant first: 14 074 000 Hz is 00 40 07 14 00.
std::string Frequency(std::int64_t hz) {
    std::string out;
    for (int i = 0; i < 5; ++i, hz /= 100) {
        out.push_back(static_cast<char>((hz / 10 % 10) << 4 | hz % 10));
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

// Set-frequency data: four bytes on older radios, five on newer ones.
std::optional<std::int64_t> FrequencyData(std::string_view data) {
    if (data.size() != 4 && data.size() != 5) return std::nullopt;
    return FromPackedDecimal(data, true);
}

// 00 selects the VFO in use, 01 the other one.
std::optional<int> WhichVfo(std::string_view data) {
    if (data.empty() || static_cast<std::uint8_t>(data[0]) > 1) return std::nullopt;
    return data[0];
}

std::string Byte(int value) { return std::string(1, static_cast<char>(value)); }

}  // namespace

// Command, sub-command, the feature a radio needs for it, and its handler. The handler gets the
// data after the sub-command (after the command when there is none).
const Radio::CivCommand Radio::kCivCommands[] = {
    {0x00, -1, kCivTransceive, &Radio::CivTakeFrequency, kAlwaysWrites},
    {0x01, -1, kCivTransceive, &Radio::CivTakeMode, kAlwaysWrites},
    {0x03, -1, 0, &Radio::CivReadFrequency, kNeverWrites},
    {0x04, -1, 0, &Radio::CivReadMode, kNeverWrites},
    {0x05, -1, 0, &Radio::CivSetFrequency, kAlwaysWrites},
    {0x06, -1, 0, &Radio::CivSetMode, kAlwaysWrites},
    {0x07, -1, kCivVfo, &Radio::CivVfo, kAlwaysWrites},
    {0x0F, -1, kCivSplit, &Radio::CivSplit, 0},
    {0x15, 0x02, kCivMeter, &Radio::CivMeter, kNeverWrites},
    {0x19, 0x00, kCivId, &Radio::CivId, kNeverWrites},
    {0x1A, 0x05, kCivSettings, &Radio::CivSettings, 2},
    {0x1A, 0x06, kCivDataMode, &Radio::CivDataMode, 0},
    {0x1C, 0x00, kCivTransmit, &Radio::CivTransmit, 0},
    {0x25, -1, kCivVfoData, &Radio::CivVfoFrequency, 1},
    {0x26, -1, kCivVfoData, &Radio::CivVfoMode, 1},
};

bool Radio::CivIsWrite(std::uint8_t command, std::string_view data) {
    // Commands of the CI-V reference that radiosim does not answer, with the data bytes (the
    // sub-command included) that their read carries. Memory, scan, speech, CW and power commands
    // change something whatever follows them.
    struct Row {
        std::uint8_t command;
        int reads;
    };
    static constexpr Row kRows[] = {
        {0x08, kAlwaysWrites},
        {0x09, kAlwaysWrites},
        {0x0A, kAlwaysWrites},
        {0x0B, kAlwaysWrites},
        {0x0E, kAlwaysWrites},
        {0x10, 0},
        {0x11, 0},
        {0x12, 0},
        {0x13, kAlwaysWrites},
        {0x14, 1},
        {0x16, 1},
        {0x17, kAlwaysWrites},
        {0x18, kAlwaysWrites},
        {0x1B, 1},
        {0x1C, 1},
        {0x21, 1},
    };
    if (command == 0x1A && !data.empty()) {
        // 1A 00 memory contents and 1A 01 band stack name their entry in two more bytes, the
        // keyer memory 1A 02 in one; the rest read with the sub-command alone.
        const auto sub = static_cast<std::uint8_t>(data[0]);
        const std::size_t reads = sub <= 0x01 ? 3 : sub == 0x02 ? 2 : sub == 0x05 ? 3 : 1;
        return data.size() > reads;
    }
    for (const Row& row : kRows) {
        if (row.command == command) {
            return Writes(row.reads, data.size());
        }
    }
    return false;
}

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
        // A preamble inside a body: the previous frame lost its end, and this byte is the first
        // of the next preamble. The second must follow.
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

bool Radio::IcomMine(std::uint8_t to) const {
    return to == config_.address || (config_.any_address && to != kEveryRadio);
}

void Radio::IcomAnswer(std::uint8_t to, std::string_view payload) {
    // A radio that takes every address answers as the one it was asked at; the broadcast is
    // answered from its own.
    const auto asked = static_cast<std::uint8_t>(frame_[0]);
    const std::uint8_t from = IcomMine(asked) ? asked : config_.address;
    std::string frame{static_cast<char>(kPreamble), static_cast<char>(kPreamble),
                      static_cast<char>(to), static_cast<char>(from)};
    frame.append(payload);
    frame.push_back(static_cast<char>(kEndOfMessage));
    listener_.Transmit(std::move(frame));
}

void Radio::IcomFrame() {
    if (frame_.size() < 3) return;
    const auto to = static_cast<std::uint8_t>(frame_[0]);
    const auto from = static_cast<std::uint8_t>(frame_[1]);
    const auto command = static_cast<std::uint8_t>(frame_[2]);
    const std::string_view body = std::string_view(frame_).substr(3);
    // "Which address?" asked of every radio on the bus (to 00) is the one broadcast a radio
    // answers; everything else for 00 or for another address is not for it.
    const bool askedOfAll = to == kEveryRadio && command == 0x19;
    if (!IcomMine(to) && !askedOfAll) return;

    const CivCommand* found = nullptr;
    for (const CivCommand& row : kCivCommands) {
        const bool sub_matches =
            row.sub < 0 || (!body.empty() && static_cast<std::uint8_t>(body[0]) == row.sub);
        if (row.command == command && sub_matches && (row.needs == 0 || Has(row.needs))) {
            found = &row;
            break;
        }
    }
    if (askedOfAll && found == nullptr) return;  // a radio that has no 19 stays quiet
    const std::string_view data = found == nullptr || found->sub < 0 ? body : body.substr(1);
    const bool write =
        found == nullptr ? CivIsWrite(command, body) : Writes(found->reads, data.size());
    if (write) ReportWrite("civ", Hex(std::string_view(frame_).substr(2)));
    Reply reply;
    if (config_.refuse) {
        reply = std::nullopt;
    } else if (found == nullptr) {
        listener_.Report("unknown fe fe " + Hex(frame_) + " fd");
    } else {
        answering_ = true;
        reply = (this->*found->handle)(data);
        answering_ = false;
    }
    if (!reply) {
        IcomAnswer(from, "\xFA");
    } else if (!reply->empty()) {
        IcomAnswer(from, *reply);
    }
    // Transceive frames announce the result after the acknowledgement.
    for (std::string& frame : deferred_) listener_.Transmit(std::move(frame));
    deferred_.clear();
}

std::string Radio::IcomModeBytes(const Tuning& vfo) const {
    return Byte(vfo.mode->icom) + Byte(vfo.filter);
}

// ---- Frequency and mode ----------------------------------------------------------------------

Radio::Reply Radio::CivTakeFrequency(std::string_view data) {
    // Another station's transceive frame: taken without a word, even when it makes no sense.
    if (const auto hz = FrequencyData(data)) TuneVfo(selected_, *hz);
    return std::string();
}

Radio::Reply Radio::CivTakeMode(std::string_view data) {
    (void)CivSetMode(data);
    return std::string();
}

Radio::Reply Radio::CivReadFrequency(std::string_view data) {
    if (!data.empty()) return std::nullopt;
    return "\x03" + Frequency(tuning().hz);
}

Radio::Reply Radio::CivReadMode(std::string_view data) {
    if (!data.empty()) return std::nullopt;
    return "\x04" + IcomModeBytes(tuning());
}

Radio::Reply Radio::CivSetFrequency(std::string_view data) {
    const auto hz = FrequencyData(data);
    if (!hz || !TuneVfo(selected_, *hz)) return std::nullopt;
    return Byte(kAck);
}

Radio::Reply Radio::CivSetMode(std::string_view data) {
    if (data.empty() || data.size() > 2) return std::nullopt;
    const auto code = static_cast<std::uint8_t>(data[0]);
    const Mode* mode = nullptr;
    for (const auto& [alias, name] : kIcomModeAliases) {
        if (alias == code) mode = FindMode(name);
    }
    // The first mode this radio has with that code: PKT shares 01 with USB and is never chosen.
    for (std::string_view name : model_.modes) {
        const Mode* candidate = FindMode(name);
        if (mode == nullptr && candidate->icom == code && candidate->name != "PKT") {
            mode = candidate;
        }
    }
    if (mode == nullptr) return std::nullopt;
    std::uint8_t filter = tuning().filter;
    if (data.size() == 2) {
        filter = static_cast<std::uint8_t>(data[1]);
        if (filter < 1 || filter > 3) return std::nullopt;
    }
    if (!SetVfoMode(selected_, *mode, filter, tuning().data)) return std::nullopt;
    return Byte(kAck);
}

// ---- VFOs and split --------------------------------------------------------------------------

Radio::Reply Radio::CivVfo(std::string_view data) {
    if (data.empty()) return Byte(kAck);  // VFO mode: radiosim has no memories to leave
    if (data.size() != 1) return std::nullopt;
    const auto sub = static_cast<std::uint8_t>(data[0]);
    const bool main_sub = Has(kCivMainSub) && (sub == 0xD0 || sub == 0xD1);
    if (sub == 0x00 || sub == 0x01 || main_sub) {
        Select(sub & 1);
    } else if (sub == 0xA0) {
        Vfo(1 - selected_) = Vfo(selected_);  // A=B: the other VFO takes this one's values
        listener_.Report("vfo equal");
    } else if (sub == 0xB0) {
        std::swap(vfo_[0], vfo_[1]);
        listener_.Report("vfo exchange");
    } else {
        return std::nullopt;
    }
    return Byte(kAck);
}

Radio::Reply Radio::CivSplit(std::string_view data) {
    if (data.empty()) return "\x0F" + Byte(split_ ? 1 : 0);
    if (data.size() != 1 || static_cast<std::uint8_t>(data[0]) > 1) return std::nullopt;
    SetSplit(data[0] == 1);
    return Byte(kAck);
}

Radio::Reply Radio::CivVfoFrequency(std::string_view data) {
    const auto which = WhichVfo(data);
    if (!which) return std::nullopt;
    const int vfo = *which == 0 ? selected_ : 1 - selected_;
    if (data.size() == 1) return "\x25" + Byte(*which) + Frequency(Vfo(vfo).hz);
    const auto hz = FrequencyData(data.substr(1));
    if (!hz || data.size() != 6 || !TuneVfo(vfo, *hz)) return std::nullopt;
    return Byte(kAck);
}

Radio::Reply Radio::CivVfoMode(std::string_view data) {
    const auto which = WhichVfo(data);
    if (!which) return std::nullopt;
    const int vfo = *which == 0 ? selected_ : 1 - selected_;
    const Tuning& current = Vfo(vfo);
    if (data.size() == 1) {
        return "\x26" + Byte(*which) + Byte(current.mode->icom) + Byte(current.data) +
               Byte(current.filter);
    }
    // Mode, then optionally data mode and filter; what is left out is DATA OFF and FIL1.
    if (data.size() > 4) return std::nullopt;
    const auto code = static_cast<std::uint8_t>(data[1]);
    const std::uint8_t data_mode = data.size() > 2 ? static_cast<std::uint8_t>(data[2]) : 0;
    const std::uint8_t filter = data.size() > 3 ? static_cast<std::uint8_t>(data[3]) : 1;
    const Mode* mode = nullptr;
    for (std::string_view name : model_.modes) {
        const Mode* candidate = FindMode(name);
        if (mode == nullptr && candidate->icom == code) mode = candidate;
    }
    if (mode == nullptr || data_mode > model_.data_modes || filter < 1 || filter > 3) {
        return std::nullopt;
    }
    if (!SetVfoMode(vfo, *mode, filter, data_mode)) return std::nullopt;
    return Byte(kAck);
}

// ---- Meter, identity, settings, data mode, transmit ------------------------------------------

Radio::Reply Radio::CivMeter(std::string_view data) {
    if (!data.empty()) return std::nullopt;
    return "\x15\x02" + std::string(kMeterS9);
}

// FE FE E0 94 19 00 94 FD: the radio's own address in the data, whichever address asked. Command
// 19 00 is "Read transceiver ID" in Icom's CI-V command tables (IC-705 CI-V reference guide,
// https://manualmachine.com/icom/ic705/24279644-reference-manual; ID-31A PLUS advanced manual,
// https://manualarchiveguide.com/manuals/Icom-ID-31A-PLUS-Advanced-Manual-5200802?page=221); the
// frame layout is the IC-7300 operation manual's "Remote control (CI-V) information",
// https://www.manualshelf.com/manual/icom/ic-7300/operation-manual-english/page-155.html.
Radio::Reply Radio::CivId(std::string_view data) {
    if (!data.empty()) return std::nullopt;
    return std::string("\x19\x00", 2) + Byte(config_.address);
}

Radio::Reply Radio::CivSettings(std::string_view data) {
    // Two BCD bytes name the item; what follows is its new value. An item never written reads
    // 00: radiosim knows the items' numbers, not their factory values.
    if (data.size() < 2) return std::nullopt;
    const auto item = FromPackedDecimal(data.substr(0, 2), false);
    if (!item || *item == 0) return std::nullopt;
    if (data.size() == 2) {
        const auto stored = settings_.find(static_cast<int>(*item));
        const std::string value = stored != settings_.end() ? stored->second : Byte(0);
        return "\x1A\x05" + std::string(data.substr(0, 2)) + value;
    }
    settings_[static_cast<int>(*item)] = data.substr(2);
    listener_.Report("setting " + Hex(data.substr(0, 2)) + " " + Hex(data.substr(2)));
    return Byte(kAck);
}

Radio::Reply Radio::CivDataMode(std::string_view data) {
    const Tuning& current = tuning();
    if (data.empty()) {
        // The filter reads 00 while data mode is off.
        return "\x1A\x06" + Byte(current.data) + Byte(current.data == 0 ? 0 : current.filter);
    }
    if (data.size() > 2) return std::nullopt;
    const auto data_mode = static_cast<std::uint8_t>(data[0]);
    std::uint8_t filter = current.filter;
    if (data.size() == 2 && data_mode != 0) filter = static_cast<std::uint8_t>(data[1]);
    if (data_mode > model_.data_modes || filter < 1 || filter > 3) return std::nullopt;
    Vfo(selected_).data = data_mode;
    Vfo(selected_).filter = filter;
    listener_.Report("data " + std::to_string(data_mode));
    return Byte(kAck);
}

Radio::Reply Radio::CivTransmit(std::string_view data) {
    // The read tells transmitting from receiving whatever keyed the radio: 1C 00 01 is transmit.
    if (data.empty()) return std::string("\x1C\x00", 2) + Byte(Transmitting() ? 1 : 0);
    if (data.size() != 1 || static_cast<std::uint8_t>(data[0]) > 1) return std::nullopt;
    listener_.Report(data[0] == 1 ? "ptt on" : "ptt off");
    Key(KeySource::kCat, data[0] == 1);
    return Byte(kAck);
}

}  // namespace radiosim
