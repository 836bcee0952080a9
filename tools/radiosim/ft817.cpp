// The FT-817 side: five-byte commands P1 P2 P3 P4 opcode, framed by count. Most commands have no
// answer; the reads answer a fixed number of bytes, and the on/off switches one status byte.

#include <array>
#include <utility>

#include "tools/radiosim/radio.h"
#include "tools/radiosim/text.h"

namespace radiosim {
namespace {

// The switches answer 00 when they change something and F0 when it was so already.
constexpr char kChanged = '\x00';
constexpr char kAlready = '\xF0';

// EEPROM byte 0055: bit 0 tells which VFO is in use. Every other byte reads 00 here: radiosim
// knows where that bit lives, not the rest of a real radio's memory.
constexpr int kVfoByteAddress = 0x0055;

// A real radio drops a half-received block when this long passes without a byte, so a
// controller that lost count is back in step after a pause.
constexpr std::chrono::milliseconds kBlockTimeout{200};

// Every opcode of the CAT table that changes the radio, named for the report line, and the EEPROM
// write (BC) that control programs use. An opcode missing here only reads.
constexpr std::array<std::pair<std::uint8_t, std::string_view>, 20> kWrites{{
    {0x00, "lock on"},   {0x80, "lock off"},   {0x01, "freq"},      {0x07, "mode"},
    {0x08, "ptt on"},    {0x88, "ptt off"},    {0x02, "split on"},  {0x82, "split off"},
    {0x05, "clar on"},   {0x85, "clar off"},   {0xF5, "clar freq"}, {0x81, "vfo toggle"},
    {0x09, "rpt shift"}, {0xF9, "rpt offset"}, {0x0A, "tone mode"}, {0x0B, "ctcss tone"},
    {0x0C, "dcs code"},  {0x0F, "power on"},   {0x8F, "power off"}, {0xBC, "eeprom write"},
}};

// Eight packed-decimal digits of 10 Hz, most significant byte first: 14 074 000 Hz is
// 01 40 74 00.
std::string Frequency(std::int64_t hz) {
    std::int64_t tens = hz / 10;
    std::string out(4, '\0');
    for (std::size_t i = 4; i > 0; --i, tens /= 100) {
        out[i - 1] = static_cast<char>((tens / 10 % 10) << 4 | tens % 10);
    }
    return out;
}

std::optional<std::int64_t> FrequencyData(std::string_view bytes) {
    std::int64_t tens = 0;
    for (char c : bytes) {
        const auto byte = static_cast<std::uint8_t>(c);
        if ((byte >> 4) > 9 || (byte & 0x0F) > 9) return std::nullopt;
        tens = tens * 100 + (byte >> 4) * 10 + (byte & 0x0F);
    }
    return tens * 10;
}

}  // namespace

// The opcodes of the CAT command table, and the memory read (BB) control programs use at
// start-up. Without a model only the reads, set frequency and set mode are known.
const Radio::Ft817Command Radio::kFt817Commands[] = {
    {0x01, 0, &Radio::Ft817SetFrequency},
    {0x03, 0, &Radio::Ft817Read},
    {0x07, 0, &Radio::Ft817SetMode},
    {0xE7, 0, &Radio::Ft817RxStatus},
    {0xF7, 0, &Radio::Ft817TxStatus},
    {0xBB, 0, &Radio::Ft817ReadEeprom},
    {0x00, kFt817Full, &Radio::Ft817LockOn},
    {0x80, kFt817Full, &Radio::Ft817LockOff},
    {0x08, kFt817Full, &Radio::Ft817PttOn},
    {0x88, kFt817Full, &Radio::Ft817PttOff},
    {0x02, kFt817Full, &Radio::Ft817SplitOn},
    {0x82, kFt817Full, &Radio::Ft817SplitOff},
    {0x05, kFt817Full, &Radio::Ft817ClarOn},
    {0x85, kFt817Full, &Radio::Ft817ClarOff},
    {0xF5, kFt817Full, &Radio::Ft817Taken},  // clarifier offset
    {0x81, kFt817Full, &Radio::Ft817ToggleVfo},
    {0x09, kFt817Full, &Radio::Ft817Taken},  // repeater shift direction
    {0xF9, kFt817Full, &Radio::Ft817Taken},  // repeater offset
    {0x0A, kFt817Full, &Radio::Ft817Taken},  // CTCSS/DCS mode
    {0x0B, kFt817Full, &Radio::Ft817Taken},  // CTCSS tones
    {0x0C, kFt817Full, &Radio::Ft817Taken},  // DCS codes
    {0x0F, kFt817Full, &Radio::Ft817PowerOn},
    {0x8F, kFt817Full, &Radio::Ft817PowerOff},
};

void Radio::Ft817Byte(char c, std::chrono::milliseconds at) {
    if (!ft817_pending_.empty() && at - ft817_last_ >= kBlockTimeout) ft817_pending_.clear();
    ft817_last_ = at;
    ft817_pending_.push_back(c);
    if (ft817_pending_.size() == 5) {
        Ft817Frame();
        ft817_pending_.clear();
    }
}

void Radio::Ft817Frame() {
    const std::string_view params = std::string_view(ft817_pending_).substr(0, 4);
    const auto opcode = static_cast<std::uint8_t>(ft817_pending_[4]);
    for (const auto& [code, name] : kWrites) {
        if (code == opcode)
            ReportWrite("ft817", std::string(name) + " (" + Hex(ft817_pending_) + ")");
    }
    for (const Ft817Command& row : kFt817Commands) {
        if (row.opcode == opcode && (row.needs == 0 || Has(row.needs))) {
            std::string reply = (this->*row.handle)(params);
            if (!reply.empty()) listener_.Transmit(std::move(reply));
            return;
        }
    }
    // The radio ignores what it does not know; no answer tells the controller so.
    listener_.Report("unknown " + Hex(ft817_pending_));
}

std::string Radio::Ft817Read(std::string_view) {
    std::string reply = Frequency(tuning().hz);
    reply.push_back(static_cast<char>(tuning().mode->ft817));
    return reply;
}

std::string Radio::Ft817SetFrequency(std::string_view params) {
    if (const auto hz = FrequencyData(params)) Tune(*hz);
    return {};
}

std::string Radio::Ft817SetMode(std::string_view params) {
    const auto code = static_cast<std::uint8_t>(params[0]);
    for (std::string_view name : model_.modes) {
        const Mode* mode = FindMode(name);
        // FSK-R shares 0A with FSK (DIG); the set command means DIG.
        if (mode->ft817 == code && name != "FSK-R") {
            SelectMode(*mode, tuning().filter);
            return {};
        }
    }
    return {};
}

std::string Radio::Ft817RxStatus(std::string_view) {
    // Squelch open; a model shows a steady S9 in the low four bits, the generic radio no signal.
    return std::string(1, Has(kFt817Full) ? '\x09' : '\x00');
}

std::string Radio::Ft817TxStatus(std::string_view) {
    // FF while receiving. Transmitting clears bit 7 (PTT); bit 6 would flag a high SWR and bit 5
    // is clear while split is on; the low four bits are the power meter, nothing modulated here.
    if (!Transmitting()) return std::string(1, '\xFF');
    return std::string(1, split_ ? '\x00' : '\x20');
}

std::string Radio::Ft817ReadEeprom(std::string_view params) {
    const int address =
        static_cast<std::uint8_t>(params[0]) << 8 | static_cast<std::uint8_t>(params[1]);
    std::string reply(2, '\0');
    for (int i = 0; i < 2; ++i) {
        if (address + i == kVfoByteAddress && Has(kFt817Full))
            reply[static_cast<std::size_t>(i)] = selected_ == 1 ? 1 : 0;
    }
    return reply;
}

std::string Radio::Ft817Switch(bool& state, bool on, std::string_view report) {
    const bool changed = state != on;
    state = on;
    listener_.Report(std::string(report) + (on ? " on" : " off"));
    return std::string(1, changed ? kChanged : kAlready);
}

std::string Radio::Ft817Ptt(bool on) {
    const bool changed = KeyedBy(KeySource::kCat) != on;
    listener_.Report(on ? "ptt on" : "ptt off");
    Key(KeySource::kCat, on);
    return std::string(1, changed ? kChanged : kAlready);
}

std::string Radio::Ft817ToggleVfo(std::string_view) {
    Select(1 - selected_);
    return {};
}

std::string Radio::Ft817PowerOn(std::string_view) {
    listener_.Report("power on");
    return {};
}

std::string Radio::Ft817PowerOff(std::string_view) {
    // Taken and reported; the radio stays on to be useful.
    listener_.Report("power off");
    return {};
}

}  // namespace radiosim
