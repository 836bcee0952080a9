#pragma once

// The transceiver itself: its tuning and the three command languages it understands, seen from
// the radio's side of the cable. No I/O here; bytes come in through Receive() and leave through
// the Listener, so the pty loop decides about echo, delay, silence and noise.

#include <cstdint>
#include <string>
#include <string_view>

namespace radiosim {

enum class Protocol { kIcom, kKenwood, kFt817 };

// One operating mode and the code each protocol uses for it. A mode a protocol has no code for
// carries the code that radio shows instead (data modes ride on USB there), so reading it back is
// always defined; a set command picks the first row whose code matches.
//   CI-V mode frame:   fe fe e0 5e 04 <icom> <filter> fd
//   Kenwood:           MD<kenwood>;
//   FT-817 reply:      <4 frequency bytes> <ft817>
struct Mode {
    std::string_view name;
    std::uint8_t icom;
    char kenwood;
    std::uint8_t ft817;
};

// Case-blind; nullptr when the name is unknown.
const Mode* FindMode(std::string_view name);
// The mode names, space-separated, for messages and help.
std::string ModeNames();

struct Tuning {
    std::int64_t hz = 14'074'000;
    const Mode* mode = nullptr;
    std::uint8_t filter = 1;  // CI-V filter number, 1..3
};

class Radio {
public:
    class Listener {
    public:
        virtual ~Listener() = default;
        // Bytes the radio puts on its transmit line.
        virtual void Transmit(std::string bytes) = 0;
        // One event line for the report channel, without newline.
        virtual void Report(std::string line) = 0;
    };

    struct Config {
        Protocol protocol = Protocol::kIcom;
        std::uint8_t address = 0x5E;
        bool transceive = false;
    };

    Radio(Config config, Tuning initial, Listener& listener);

    void Receive(std::string_view bytes);

    // The operator turns the dial or presses a mode key, or a set command arrived. Both report
    // the new value and, with transceive on, announce it. False when the radio cannot tune there.
    bool Tune(std::int64_t hz);
    void SelectMode(const Mode& mode, std::uint8_t filter);

    const Tuning& tuning() const { return tuning_; }

    // Frequencies from 0 up to, not including, this limit can be tuned: ten CI-V digits,
    // eight FT-817 digits of 10 Hz.
    static std::int64_t Limit(Protocol protocol);

private:
    void IcomByte(std::uint8_t byte);
    void IcomFrame();
    void IcomAnswer(std::uint8_t to, std::string_view payload);
    void KenwoodCommand(std::string_view command);
    void Ft817Command();

    Config config_;
    Tuning tuning_;
    Listener& listener_;

    // CI-V framing: count of preamble bytes seen, and the frame body after them.
    int preamble_ = 0;
    bool in_frame_ = false;
    std::string frame_;

    std::string kenwood_pending_;
    std::string ft817_pending_;
};

}  // namespace radiosim
