#pragma once

// The bytes on the line, cut into what they are: our commands, their echo, the radio's replies,
// refusals, frames from another radio, replies of another radio family, clean replies nothing
// here reads, and bytes that form nothing. The chosen family's reader cuts the line (the same
// reader the live link uses); what it cannot read is offered to every other family. Both the
// diagnosis and the traffic monitor read this one account of the line.

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/radio_family.h"

namespace cat::doctor {

enum class UnitKind {
    Command,        // bytes we sent
    Echo,           // our own bytes coming back (an echoing interface, a one-wire CI-V bus)
    Reply,          // a reply of the chosen family, from the chosen radio
    Refusal,        // the radio answers but refuses: ?;, CI-V NG
    OtherAddress,   // a CI-V frame from a radio at another address
    OtherProtocol,  // a reply of another radio family
    Unread,         // clean replies, framed as radios frame them, that no family here reads
    Noise,          // bytes that form no reply
};

struct LineUnit {
    double at = 0;  // seconds, on the watch of whoever feeds the analyzer
    UnitKind kind = UnitKind::Noise;
    std::string bytes;
    std::string note;  // what it is, for people: "read frequency", "reply to ..."
    int address = -1;  // OtherAddress: the radio's CI-V address
    Protocol otherProtocol = Protocol::None;  // OtherProtocol: the protocol of the reply
};

// What the diagnosis needs of the line, kept up to date unit by unit so that judging it costs the
// same after an hour as after a second.
struct LineSummary {
    std::optional<double> firstCommand;
    std::optional<double> lastReply;
    std::optional<double> lastReading;      // the last reply that carried the frequency
    std::optional<double> firstUnanswered;  // the first command since the last reply
    // The radio said something of its own (a reply, a refusal, another radio's frame or
    // protocol, clean text), and the first command it has left without a word since.
    std::optional<double> lastHeard;
    std::optional<double> firstUnheard;
    // What came back since the last reply (since the start while there was none).
    int echo = 0;
    int refusals = 0;
    int noise = 0;
    int unread = 0;
    std::map<int, int> otherAddresses;       // address -> frames
    std::map<Protocol, int> otherProtocols;  // protocol -> replies
    std::string sample;      // the last refusal, unread or other family's reply, as received
    std::string sampleNote;  // and what the reader made of it
    // What a sharing server said of itself and its radio, kept for the whole link.
    std::string identity;
};

class LineAnalyzer {
public:
    // `protocol`: the chosen family's protocol (None: none); `radioAddress`: the radio's address
    // as two hexadecimal digits ("5E"), where the family has addresses.
    LineAnalyzer(Protocol protocol, std::string_view radioAddress);

    void Sent(double at, std::string_view bytes);
    // What was sent so far asked no radio of the chosen family (a probe for a radio of another
    // family, before the link's own first command): its silence tells nothing of the radio.
    void NothingAsked();
    void Received(double at, std::string_view bytes);
    // Bytes that have waited long enough for the rest of a reply are taken for what they are.
    void Settle(double now);

    // The most recent units, oldest first; at most kKeptUnits.
    const std::deque<LineUnit>& Units() const { return units_; }
    // Every unit ever added, kept or not: a reader that saw n can ask for what came since.
    std::size_t Total() const { return total_; }
    // The bytes of every unit ever added, both ways: what a reader has not seen of them is the
    // difference.
    std::size_t Bytes() const { return bytes_; }
    const LineSummary& Summary() const { return summary_; }

    static constexpr std::size_t kKeptUnits = 4000;
    // A unit keeps at most this many of its bytes.
    static constexpr std::size_t kKeptBytes = 4096;
    // Bytes wait this long for the rest of a reply; a server's answer, as long as the link waits
    // for one (its family's AnswerPatience).
    static constexpr double kSettleSeconds = 0.3;

private:
    void Add(LineUnit unit, const Piece* piece = nullptr);
    void Cut(double at, bool final);
    // Another family's reply at the front of `bytes`: its length, and the family.
    std::size_t TakeForeign(std::string_view bytes, double at);
    // Our own bytes, whole, at the front of `bytes`: their length.
    std::size_t TakeEcho(std::string_view bytes, double at);

    static constexpr std::size_t kEchoesAwaited = 8;
    // A gap this long between received bytes is a pause on the line.
    static constexpr double kPauseSeconds = 0.02;
    static constexpr std::size_t kLongestNoise = 64;

    const RadioFamily* family_;
    std::unique_ptr<LineReader> reader_;
    double settleSeconds_;
    std::deque<LineUnit> units_;
    std::size_t total_ = 0;
    std::size_t bytes_ = 0;
    LineSummary summary_;
    std::deque<std::string> sent_;  // what we sent lately, whose echo may still come
    std::string pending_;           // received, not yet a whole unit
    double pendingSince_ = 0;
    double lastReceived_ = -1;
    bool replyMayStart_ = true;  // the front of what is pending may start a reply
    bool mergeNoise_ = false;    // the last unit is noise that more noise may join
};

}  // namespace cat::doctor
