#pragma once

// The transceiver itself: two VFOs and the three command languages it understands, seen from
// the radio's side of the cable. No I/O here; bytes come in through Receive() and leave through
// the Listener, so the pty loop decides about echo, delay, silence and noise.

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/radiosim/models.h"

namespace radiosim {

// One operating mode and the code each protocol uses for it. A mode a protocol has no code for
// carries the code that radio shows instead (data modes ride on USB there), so reading it back is
// always defined; a set command picks the first row whose code matches.
//   CI-V mode frame:   fe fe e0 5e 04 <icom> <filter> fd
//   Kenwood:           MD<kenwood>;
//   FT-817 reply:      <4 frequency bytes> <ft817>
//   Yaesu text:        MD0<yaesu>;
struct Mode {
    std::string_view name;
    std::uint8_t icom;
    char kenwood;
    std::uint8_t ft817;
    char yaesu;
};

// Case-blind; nullptr when the name is unknown.
const Mode* FindMode(std::string_view name);
// The modes this radio has, space-separated, for messages and help.
std::string ModeNames(const Model& model);

// One VFO.
struct Tuning {
    std::int64_t hz = 14'074'000;
    const Mode* mode = nullptr;
    std::uint8_t filter = 1;  // CI-V filter number, 1..3
    std::uint8_t data = 0;    // CI-V data mode, 0 (off) .. 3
};

// What keys the transmitter: a CAT command, a control line of the serial port wired to PTT, or
// the operator (the PTT button, VOX, a foot switch).
enum class KeySource : std::uint8_t { kCat, kRts, kDtr, kHand };

class Radio {
public:
    class Listener {
    public:
        virtual ~Listener() = default;
        // Bytes the radio puts on its transmit line.
        virtual void Transmit(std::string bytes) = 0;
        // One event line for the report channel, without newline.
        virtual void Report(std::string line) = 0;
        // A change of the transmitter: the report channel prints it with the time it happened.
        virtual void Event(std::string line) { Report(std::move(line)); }
    };

    struct Config {
        Protocol protocol = Protocol::kIcom;
        std::uint8_t address = 0x5E;
        bool transceive = false;
        const Model* model = nullptr;  // nullptr: the generic radio of the protocol
        bool refuse = false;           // every command refused (Kenwood ?;, ICOM FA)
        // ICOM: a frame to any address is taken as this radio's, and answered from the address
        // it was sent to, as some clones and interfaces do.
        bool any_address = false;
    };

    Radio(Config config, Tuning initial, Listener& listener);

    // Bytes as they arrive; `at` is when, on any steady clock. Only the FT-817's framing looks at
    // the time: a real one forgets half a command after a pause.
    void Receive(std::string_view bytes, std::chrono::milliseconds at);
    void Receive(std::string_view bytes);

    // The operator turns the dial or presses a mode key, or a set command arrived. Both report
    // the new value and, with transceive on, announce it. False when this radio cannot tune there
    // or has no such mode.
    bool Tune(std::int64_t hz);
    bool SelectMode(const Mode& mode, std::uint8_t filter);

    // Keys or releases the transmitter from one source. It transmits while any source holds it;
    // each change of that is reported, "transmit on (rts)" naming the source that keyed it.
    void Key(KeySource source, bool on);
    bool Transmitting() const { return keys_ != 0; }
    bool KeyedBy(KeySource source) const { return (keys_ & Bit(source)) != 0; }

    // The selected VFO.
    const Tuning& tuning() const { return Vfo(selected_); }
    const Model& model() const { return model_; }

    // Frequencies from 0 up to, not including, this limit fit the protocol's digits: ten CI-V
    // digits, eight FT-817 digits of 10 Hz.
    static std::int64_t Limit(Protocol protocol);

private:
    using Reply = std::optional<std::string>;  // nullopt: refused (FA, ?;); empty: no answer

    // kAlwaysWrites: the command changes something whatever data it carries. Otherwise a command
    // is a write when it carries more data than its read does.
    static constexpr int kAlwaysWrites = -1;
    static constexpr int kNeverWrites = 1 << 20;
    static bool Writes(int reads, std::size_t size) {
        return reads == kAlwaysWrites || size > static_cast<std::size_t>(reads);
    }

    struct CivCommand {
        std::uint8_t command;
        int sub;  // -1: the data starts right after the command byte
        std::uint32_t needs;
        Reply (Radio::*handle)(std::string_view data);
        int reads = 0;  // data bytes after the sub-command that a read carries
    };
    struct KenwoodCommand {
        std::string_view name;
        std::uint32_t needs;
        Reply (Radio::*handle)(std::string_view params);
        int reads = 0;  // parameter characters that a read carries (SM0;)
    };
    struct Ft817Command {
        std::uint8_t opcode;
        std::uint32_t needs;
        std::string (Radio::*handle)(std::string_view params);
    };
    static const CivCommand kCivCommands[];
    static const KenwoodCommand kKenwoodCommands[];
    static const Ft817Command kFt817Commands[];

    static std::uint8_t Bit(KeySource source) {
        return static_cast<std::uint8_t>(1u << static_cast<unsigned>(source));
    }
    // The TX/RX digit of the Kenwood and Elecraft IF answers.
    char TransmitDigit() const { return Transmitting() ? '1' : '0'; }

    bool Has(std::uint32_t feature) const { return (model_.features & feature) != 0; }
    bool Allowed(const Mode& mode) const;
    std::int64_t Quantise(std::int64_t hz) const;
    // VFO A is 0, VFO B is 1.
    Tuning& Vfo(int vfo) { return vfo_[static_cast<std::size_t>(vfo)]; }
    const Tuning& Vfo(int vfo) const { return vfo_[static_cast<std::size_t>(vfo)]; }
    bool TuneVfo(int vfo, std::int64_t hz);
    // The text families' frequency set: exactly `width` decimal digits of hertz, tuned or refused.
    Reply TuneVfoFromDigits(int vfo, std::string_view digits, std::size_t width);
    bool SetVfoMode(int vfo, const Mode& mode, std::uint8_t filter, std::uint8_t data);
    void Select(int vfo);
    void SetSplit(bool on);
    // Transceive and auto-information: what the radio sends unasked after a change.
    void Announce(std::string bytes);
    // A received command that asks for a change, taken or not: "write <language> <command>".
    void ReportWrite(std::string_view language, std::string_view command);

    // Classifying commands radiosim does not answer, from the makers' tables.
    static bool CivIsWrite(std::uint8_t command, std::string_view data);
    static bool TextIsWrite(std::string_view name, std::string_view params, bool yaesu);

    // CI-V
    void IcomByte(std::uint8_t byte);
    void IcomFrame();
    void IcomAnswer(std::uint8_t to, std::string_view payload);
    // The frame's destination is this radio: its own address, or any with --any-address.
    bool IcomMine(std::uint8_t to) const;
    std::string IcomModeBytes(const Tuning& vfo) const;
    Reply CivTakeFrequency(std::string_view data);
    Reply CivTakeMode(std::string_view data);
    Reply CivReadFrequency(std::string_view data);
    Reply CivReadMode(std::string_view data);
    Reply CivSetFrequency(std::string_view data);
    Reply CivSetMode(std::string_view data);
    Reply CivVfo(std::string_view data);
    Reply CivSplit(std::string_view data);
    Reply CivMeter(std::string_view data);
    Reply CivId(std::string_view data);
    Reply CivSettings(std::string_view data);
    Reply CivDataMode(std::string_view data);
    Reply CivTransmit(std::string_view data);
    Reply CivVfoFrequency(std::string_view data);
    Reply CivVfoMode(std::string_view data);

    // Kenwood (and the framing of Yaesu text)
    void KenwoodText(char c);
    void KenwoodCommandText(std::string_view command);
    std::string KenwoodInformation() const;
    // What auto-information sends after a change: the IF answer of the radio's language.
    std::string TextInformation() const;
    Reply KenwoodK2(std::string_view params);
    Reply KenwoodK3(std::string_view params);
    Reply KenwoodOm(std::string_view params);
    Reply KenwoodRv(std::string_view params);
    Reply KenwoodBw(std::string_view params);
    Reply KenwoodTq(std::string_view params);
    Reply KenwoodZzFa(std::string_view params);
    Reply KenwoodZzFb(std::string_view params);
    Reply KenwoodZzMd(std::string_view params);
    Reply KenwoodZzIf(std::string_view params);

    // Yaesu text
    static const KenwoodCommand kYaesuCommands[];
    void YaesuCommandText(std::string_view command);
    std::string YaesuInformation() const;
    Reply YaesuFrequency(int vfo, std::string_view params);
    Reply YaesuFa(std::string_view params) { return YaesuFrequency(0, params); }
    Reply YaesuFb(std::string_view params) { return YaesuFrequency(1, params); }
    Reply YaesuMd(std::string_view params);
    Reply YaesuIf(std::string_view params);
    Reply YaesuId(std::string_view params);
    Reply YaesuAi(std::string_view params);
    Reply YaesuPs(std::string_view params);
    Reply YaesuTx(std::string_view params);
    Reply YaesuVs(std::string_view params);
    Reply YaesuFt(std::string_view params);
    Reply YaesuEx(std::string_view params);
    Reply YaesuSetting(std::string_view name, std::string_view params, std::string_view initial);
    Reply YaesuSh(std::string_view params) { return YaesuSetting("SH", params, "00"); }
    Reply YaesuNa(std::string_view params) { return YaesuSetting("NA", params, "0"); }
    Reply YaesuRf(std::string_view params) { return YaesuSetting("RF", params, "1"); }
    Reply YaesuSt(std::string_view params);
    Reply YaesuAb(std::string_view params);
    Reply KenwoodFrequency(int vfo, std::string_view params);
    Reply KenwoodFa(std::string_view params) { return KenwoodFrequency(0, params); }
    Reply KenwoodFb(std::string_view params) { return KenwoodFrequency(1, params); }
    Reply KenwoodFr(std::string_view params);
    Reply KenwoodFt(std::string_view params);
    Reply KenwoodIf(std::string_view params);
    Reply KenwoodMd(std::string_view params);
    Reply KenwoodId(std::string_view params);
    Reply KenwoodFv(std::string_view params);
    Reply KenwoodDa(std::string_view params);
    Reply KenwoodPs(std::string_view params);
    Reply KenwoodAi(std::string_view params);
    Reply KenwoodSm(std::string_view params);
    Reply KenwoodTx(std::string_view params);
    Reply KenwoodRx(std::string_view params);

    // FT-817
    void Ft817Byte(char c, std::chrono::milliseconds at);
    void Ft817Frame();
    std::string Ft817Read(std::string_view);
    std::string Ft817SetFrequency(std::string_view params);
    std::string Ft817SetMode(std::string_view params);
    std::string Ft817RxStatus(std::string_view);
    std::string Ft817TxStatus(std::string_view);
    std::string Ft817ReadEeprom(std::string_view params);
    std::string Ft817Switch(bool& state, bool on, std::string_view report);
    std::string Ft817LockOn(std::string_view) { return Ft817Switch(lock_, true, "lock"); }
    std::string Ft817LockOff(std::string_view) { return Ft817Switch(lock_, false, "lock"); }
    std::string Ft817SplitOn(std::string_view) { return Ft817Switch(split_, true, "split"); }
    std::string Ft817SplitOff(std::string_view) { return Ft817Switch(split_, false, "split"); }
    std::string Ft817ClarOn(std::string_view) { return Ft817Switch(clarifier_, true, "clar"); }
    std::string Ft817ClarOff(std::string_view) { return Ft817Switch(clarifier_, false, "clar"); }
    std::string Ft817PttOn(std::string_view) { return Ft817Ptt(true); }
    std::string Ft817PttOff(std::string_view) { return Ft817Ptt(false); }
    std::string Ft817Ptt(bool on);
    std::string Ft817ToggleVfo(std::string_view);
    std::string Ft817PowerOn(std::string_view);
    std::string Ft817PowerOff(std::string_view);
    std::string Ft817Taken(std::string_view) { return {}; }

    Config config_;
    const Model& model_;
    Listener& listener_;
    std::array<Tuning, 2> vfo_;
    int selected_ = 0;  // VFO A or B (main or sub); Kenwood: the receive VFO
    int transmit_ = 0;  // Kenwood FT: the transmit VFO
    bool split_ = false;
    bool lock_ = false;
    bool clarifier_ = false;
    std::uint8_t keys_ = 0;  // one bit per KeySource holding the transmitter
    char auto_information_ = '0';
    char k2_mode_ = '0';  // Elecraft K2n; and K3n; command modes
    char k3_mode_ = '0';
    std::string bandwidth_ = "0270";       // Elecraft BW: the filter width in 10 Hz
    std::map<int, std::string> settings_;  // CI-V 1A 05 items, Yaesu EX menus written so far
    std::map<std::string, std::string> text_settings_;  // Yaesu filter width and narrow

    // Announcements made while a command is being answered go out after its answer.
    bool answering_ = false;
    std::vector<std::string> deferred_;

    // CI-V framing: count of preamble bytes seen, and the frame body after them.
    int preamble_ = 0;
    bool in_frame_ = false;
    std::string frame_;

    std::string kenwood_pending_;
    bool kenwood_overflow_ = false;  // the pending command outgrew the buffer
    std::string ft817_pending_;
    std::chrono::milliseconds ft817_last_{0};  // when the last byte of a block arrived
};

}  // namespace radiosim
