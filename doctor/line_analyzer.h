#pragma once

// The bytes on the line, cut into what they are: our commands, their echo, the radio's replies,
// refusals, frames from another radio, replies in another protocol, and bytes that form nothing.
// Both the diagnosis and the traffic monitor read this one account of the line.

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace cat::doctor {

enum class UnitKind {
    Command,        // bytes we sent
    Echo,           // our own bytes coming back (an echoing interface, a one-wire CI-V bus)
    Reply,          // a reply of the chosen protocol, from the chosen radio
    Refusal,        // the radio answers but refuses: Kenwood ?;, CI-V NG
    OtherAddress,   // a CI-V frame from a radio at another address
    OtherProtocol,  // a reply framed as another protocol frames it
    Noise,          // bytes that form no reply
};

struct LineUnit {
    double at = 0;  // seconds, on the watch of whoever feeds the analyzer
    UnitKind kind = UnitKind::Noise;
    std::string bytes;
    std::string note;                // what it is, for people: "read frequency", "reply to ..."
    int address = -1;                // OtherAddress: the radio's CI-V address
    std::int16_t otherProtocol = 0;  // OtherProtocol: the family's ProtocolCode
};

// What the diagnosis needs of the line, kept up to date unit by unit so that judging it costs the
// same after an hour as after a second.
struct LineSummary {
    std::optional<double> firstCommand;
    std::optional<double> lastReply;
    std::optional<double> firstUnanswered;  // the first command since the last reply
    // What came back since the last reply (since the start while there was none).
    int echo = 0;
    int refusals = 0;
    int noise = 0;
    std::map<int, int> otherAddresses;           // address -> frames
    std::map<std::int16_t, int> otherProtocols;  // ProtocolCode -> replies
};

class LineAnalyzer {
public:
    // `radioAddress`: the ICOM radio's address as two hexadecimal digits ("5E").
    LineAnalyzer(std::int16_t protocolCode, std::string_view radioAddress);

    void Sent(double at, std::string_view bytes);
    void Received(double at, std::string_view bytes);
    // Bytes that have waited this long for the rest of a reply are taken for what they are.
    void Settle(double now);

    // The most recent units, oldest first; at most kKeptUnits.
    const std::deque<LineUnit>& Units() const { return units_; }
    // Every unit ever added, kept or not: a reader that saw n can ask for what came since.
    std::size_t Total() const { return total_; }
    const LineSummary& Summary() const { return summary_; }

    static constexpr std::size_t kKeptUnits = 4000;
    static constexpr double kSettleSeconds = 0.3;

private:
    void Add(LineUnit unit);
    void Cut(double at, bool final);
    std::size_t CutCiv(std::string_view bytes, double at, bool final);
    std::size_t CutKenwood(std::string_view bytes, double at, bool final);
    std::size_t CutFt817(std::string_view bytes, double at, bool final);
    bool TakeForeign(std::string_view bytes, double at, std::size_t& used);
    void AddCivFrame(std::string_view frame, double at);

    std::int16_t protocol_;
    int address_;  // -1 when no valid address was given
    std::deque<LineUnit> units_;
    std::size_t total_ = 0;
    LineSummary summary_;
    std::string pending_;  // received, not yet a whole unit
    double pendingSince_ = 0;
    std::string lastCommand_;              // the FT-817 echo is the command itself
    std::deque<std::string> sentKenwood_;  // commands whose echo may still come, without ";"
    bool echoAwaited_ = false;             // a CI-V command was sent and its echo not seen
};

}  // namespace cat::doctor
