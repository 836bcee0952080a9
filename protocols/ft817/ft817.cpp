#include "protocols/ft817/ft817.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "core/failure_policy.h"
#include "core/lookup.h"
#include "protocols/common/bcd.h"
#include "protocols/common/family_support.h"
#include "protocols/ft817/ft817_codes.h"

namespace cat {

namespace {

bool IsByte(std::int16_t value) { return value >= 0 && value <= 0xFF; }

std::int16_t Saturate16(std::size_t value) {
    return static_cast<std::int16_t>(
        std::min<std::size_t>(value, std::numeric_limits<std::int16_t>::max()));
}

std::string Command(std::int16_t P1, std::uint8_t opcode) {
    return std::string{static_cast<char>(P1), '\0', '\0', '\0', static_cast<char>(opcode)};
}

// Whatever the radio sent since the last exchange (answers to set commands, line noise) must not
// be taken for this reply.
void DiscardWaiting(CommPort& port) {
    SkipOnFailure([&] {
        if (port.BytesWaiting() > 0) port.ReadAll();
    });
}

// Waits for `expected` reply bytes under two bounds, whichever ends first: the clock, and the
// time already spent blocked in the port (a port that returns early must not stretch the wait).
//
// An interface that echoes returns the command itself ahead of the reply: five bytes equal to
// `command` at the front are dropped once, and the reply behind them is waited for.
class ReplyWait {
public:
    ReplyWait(Platform& platform, int expected, std::string command)
        : platform_(platform), expected_(expected), command_(std::move(command)) {}

    Ft817Reply Run() {
        CommPort& port = platform_.port;
        SkipOnFailure([&] { t0_ = platform_.clock.Now(); });
        for (;;) {
            int waiting = 0;
            SkipOnFailure([&] { waiting = port.BytesWaiting(); });
            if (static_cast<int>(got_.size()) + waiting >= expected_) {
                // A port that hands back fewer bytes than it counted has not delivered the reply;
                // the count returned says so, and the bytes it did deliver are all that is read.
                const bool delivered = Take(port, waiting);
                if (static_cast<int>(got_.size()) >= expected_ || !delivered) return Reply(port);
                continue;  // that was the echo: the reply is still to come
            }
            if (!Wait(port, expected_ - static_cast<int>(got_.size()))) {
                SkipOnFailure([&] { port.DiscardInput(); });
                Ft817Reply timedOut;
                timedOut.count =
                    Saturate16(got_.size() + static_cast<std::size_t>(std::max(waiting, 0)));
                return timedOut;
            }
        }
    }

private:
    // Takes what is waiting, never more than was counted; false when the port delivered less.
    bool Take(CommPort& port, int waiting) {
        std::string bytes;
        SkipOnFailure([&] { bytes = port.ReadAll(); });
        got_.append(bytes, 0, std::min(bytes.size(), static_cast<std::size_t>(waiting)));
        if (!echoDropped_ && !command_.empty() && got_.compare(0, command_.size(), command_) == 0) {
            got_.erase(0, command_.size());
            echoDropped_ = true;
        }
        return bytes.size() >= static_cast<std::size_t>(waiting);
    }

    Ft817Reply Reply(CommPort& port) {
        Ft817Reply reply;
        const std::size_t take = std::min<std::size_t>(
            {got_.size(), reply.bytes.size(), static_cast<std::size_t>(std::max(expected_, 0))});
        for (std::size_t i = 0; i < take; ++i) reply.bytes[i] = static_cast<unsigned char>(got_[i]);
        SkipOnFailure([&] { port.DiscardInput(); });
        reply.count = Saturate16(got_.size());
        return reply;
    }

    // False when the time is up (or the port cannot wait, which cannot deliver either: treat it
    // as elapsed rather than spin on a failing call for the rest of the limit).
    bool Wait(CommPort& port, int count) {
        Seconds now = t0_;
        const bool clockRead = SkipOnFailure([&] { now = platform_.clock.Now(); });
        const long byClock = std::lround((limit_ - (now - t0_)).count() * 1000.0);
        const long remainingMs = std::min(byClock, limitMs_ - blockedMs_);
        // Less than half a millisecond left counts as elapsed.
        if (!clockRead || remainingMs <= 0) return false;
        blockedMs_ += remainingMs;
        return SkipOnFailure(
            [&] { port.WaitForInput(count, std::chrono::milliseconds(remainingMs)); });
    }

    Platform& platform_;
    const int expected_;
    const std::string command_;
    const Seconds limit_{expected_ * 0.01 + 0.25};
    const long limitMs_ = std::lround(limit_.count() * 1000.0);
    Seconds t0_{0};
    long blockedMs_ = 0;
    std::string got_;  // bytes taken from the port, the echo removed
    bool echoDropped_ = false;
};

constexpr std::array<int, 3> kScanSpeeds{38400, 9600, 4800};

// 00 00 00 00 08 keys the transmitter, 00 00 00 00 88 unkeys it.
std::string KeyCommand(bool on) { return Command(0, on ? ft817::kPttOn : ft817::kPttOff); }

// "Yaesu FT-817, FT-818, FT-857 or FT-897": their five-byte replies are alike.
constexpr std::string_view kModels = "FT-817, FT-818, FT-857 or FT-897";

// The radio frames by count: every five bytes are one command, echo or reply alike.
class Ft817Reader final : public LineReader {
public:
    std::string Sent(std::string_view bytes) override {
        if (bytes.size() != 5) return "opcode";
        lastCommand_ = std::string(bytes);
        statusAwaited_ = static_cast<std::uint8_t>(bytes[4]) == ft817::kReadTransmitState;
        const auto opcode = static_cast<std::uint8_t>(bytes[4]);
        const auto name = Lookup(ft817::kOpcodeNames, opcode);
        if (!name) return "opcode";
        // The monitor shows what a set asked for: "set frequency: 14.074000 MHz".
        if (opcode == ft817::kSetFrequency)
            if (const auto tens = bcd::Decode(bytes.substr(0, 4), bcd::Order::MostSignificantFirst))
                return std::string(*name) + ": " + family::Megahertz(*tens * 10);
        return std::string(*name);
    }

    Piece Next(std::string_view bytes, bool final) override {
        Piece piece;
        if (statusAwaited_ && !bytes.empty()) {
            // The answer to the transmit read is one byte, behind our echo where the interface
            // echoes. A start that matches the echo waits for the rest while more may come.
            const std::string_view front = bytes.substr(0, std::min<std::size_t>(bytes.size(), 5));
            const bool echo = std::string_view(lastCommand_).starts_with(front);
            if (echo && front.size() < 5 && !final) return piece;
            if (!echo || front.size() < 5) return TransmitStatus(bytes[0]);
        }
        if (bytes.size() < 5) {
            if (!final) return piece;
            piece.length = bytes.size();
            piece.note = "too short for a reply";
            return piece;
        }
        const std::string_view five = bytes.substr(0, 5);
        piece.length = 5;
        if (!lastCommand_.empty() && five == lastCommand_) {
            lastCommand_.clear();  // one echo per command
            piece.kind = PieceKind::Echo;
            piece.note = "echo of our command";
            return piece;
        }
        const auto tens = TensOfHertz(five);
        if (!tens) {
            lastReading_.clear();
            piece.length = NoiseLength(bytes);
            piece.note = "not a reading";
            return piece;
        }
        // No frame and no checksum: as the link does, a reading counts once a second reply says
        // the same. Noise seldom passes the plausibility check twice alike.
        const bool confirmed = five == lastReading_;
        lastReading_ = std::string(five);
        piece.hertz = static_cast<std::int64_t>(*tens) * 10;
        const std::optional<ModeIndex> mode =
            Lookup(ft817::kReceivedModes, static_cast<std::uint8_t>(five[4]));
        const std::string reading =
            family::Megahertz(*piece.hertz) + " " +
            (mode ? std::string(ModeName(*mode)) : std::string("(a mode without a name here)"));
        if (!confirmed) {
            piece.note = "frequency and mode: " + reading + ", once the next reply says the same";
            return piece;
        }
        piece.kind = PieceKind::Reply;
        piece.modeReported = true;
        piece.mode = mode;
        piece.note = "frequency and mode: " + reading;
        return piece;
    }

private:
    Piece TransmitStatus(char byte) {
        statusAwaited_ = false;
        Piece piece;
        piece.length = 1;
        piece.transmitting = Ft817TransmitState(static_cast<std::uint8_t>(byte));
        if (!piece.transmitting) {
            piece.note = "not a transmit state";
            return piece;
        }
        piece.kind = PieceKind::Reply;
        piece.note =
            *piece.transmitting ? "transmit state: transmitting" : "transmit state: receiving";
        return piece;
    }

    static std::optional<long> TensOfHertz(std::string_view five) {
        Ft817Reply reply;
        for (std::size_t i = 0; i < 5; ++i) reply.bytes[i] = static_cast<std::uint8_t>(five[i]);
        reply.count = 5;
        return PlausibleTensOfHertz(reply);
    }

    // Blocks in a row that are neither a reading nor our echo are one piece of noise, up to a
    // dozen: a flood then costs a piece per 60 bytes, not per five.
    std::size_t NoiseLength(std::string_view bytes) const {
        std::size_t length = 5;
        while (length + 5 <= std::min<std::size_t>(bytes.size(), 60)) {
            const std::string_view next = bytes.substr(length, 5);
            if (next == lastCommand_ || TensOfHertz(next)) break;
            length += 5;
        }
        return length;
    }

    std::string lastCommand_;     // its echo is the command itself
    std::string lastReading_;     // a plausible reply that waits for a second alike
    bool statusAwaited_ = false;  // the transmit read went out: its one-byte answer is next
};

class Ft817 final : public RadioFamily {
public:
    std::string_view Name() const override { return "FT-817"; }
    Protocol Id() const override { return Protocol::Ft817; }
    const FamilyRecord& Record() const override { return record_; }
    bool FlowControl(int) const override { return false; }

    // The exchange waits for its own reply, so every tick polls and nothing is left for later.
    std::optional<Seconds> PollPeriod() const override { return std::nullopt; }

    void Poll(SessionState& state, Platform& platform) const override {
        PollFt817(state, platform);
    }

    void Receive(SessionState&, CommPort&) const override {}

    // Four bytes of packed decimal in 10 Hz steps, most significant first, then the opcode.
    void SetFrequency(SessionState&, Platform& platform, std::int64_t hertz) const override {
        const std::int64_t tens = family::SetFrequencyTens(hertz);  // the sign ignored, as by all
        std::string command;
        for (const std::uint8_t b : family::FrequencyBytes(10 * tens))
            command.push_back(static_cast<char>(b));
        command.push_back(static_cast<char>(ft817::kSetFrequency));
        SkipOnFailure([&] { platform.port.Write(command); });
    }

    void SetMode(SessionState&, Platform& platform, ModeIndex mode, bool reversed) const override {
        std::optional<std::int16_t> k;
        if (reversed) k = Lookup(ft817::kSentReverseModes, mode);
        if (!k) k = Lookup(ft817::kSentModes, mode);
        const std::int16_t code = k.value_or(ToInt(mode));
        if (!IsByte(code)) return;  // no byte to send
        // A closed port: the radio keeps its mode and the operator sees no message.
        SkipOnFailure([&] { platform.port.Write(Command(code, ft817::kSetMode)); });
    }

    // One read, one byte back; its echo, where the interface echoes, comes first. The byte has no
    // frame: only FF and a byte with bit 7 clear are taken, and only when it comes alone.
    std::optional<bool> ReadTransmitting(SessionState& state, Platform& platform) const override {
        const std::string read = Command(0, ft817::kReadTransmitState);
        DiscardWaiting(platform.port);
        if (!SkipOnFailure([&] { platform.port.Write(read); })) return std::nullopt;
        std::string got;
        bool echoDropped = false;
        const auto echoUnderway = [&] {
            return !echoDropped && got.size() < read.size() &&
                   read.compare(0, got.size(), got) == 0;
        };
        family::UntilAnswered(platform, [&] {
            int waiting = 0;
            SkipOnFailure([&] { waiting = platform.port.BytesWaiting(); });
            if (waiting > 0) SkipOnFailure([&] { got += platform.port.ReadAll(); });
            if (!echoDropped && got.compare(0, read.size(), read) == 0) {
                got.erase(0, read.size());
                echoDropped = true;
            }
            return !got.empty() && !echoUnderway();
        });
        SkipOnFailure([&] { platform.port.DiscardInput(); });
        if (got.size() != 1) return std::nullopt;
        const std::optional<bool> said = Ft817TransmitState(static_cast<std::uint8_t>(got[0]));
        if (said) state.transmitting = said;
        return said;
    }

    void KeyByCommand(SessionState&, Platform& platform, bool on) const override {
        SkipOnFailure([&] { platform.port.Write(KeyCommand(on)); });
    }

    std::string UnkeyBytes(const SessionState&) const override { return KeyCommand(false); }

    std::unique_ptr<LineReader> Reader(std::string_view) const override {
        return std::make_unique<Ft817Reader>();
    }

    // Five bytes without frame or checksum: nothing marks them as this radio's among others.
    std::optional<std::size_t> Recognise(std::string_view) const override { return std::nullopt; }

    std::string ShowBytes(std::string_view bytes) const override { return family::HexBytes(bytes); }

    std::string MenuAdvice(const std::string& speed, const std::string&) const override {
        return "On the radio, check menu 14 CAT RATE (" + speed +
               ") and that menu 19 CAT/LIN/TUN is set to CAT.";
    }

    bool ConfirmByRepeat() const override { return true; }

    std::optional<Identity> Identify(std::string_view probe,
                                     std::string_view received) const override {
        Ft817Reader reader;
        reader.Sent(probe);
        // The radio answers one read with one reading, behind the read's echo where the interface
        // echoes. Anything else beside it is noise, which holds plausible readings somewhere.
        int readings = 0;
        bool other = false;
        family::ForEachPiece(reader, received, [&](const Piece& piece, std::string_view) {
            if (piece.hertz)
                ++readings;
            else if (piece.kind != PieceKind::Echo)
                other = true;
            return other;
        });
        // One reading is enough here: the scan asks again for the second.
        if (readings != 1 || other) return std::nullopt;
        return Identity{{}, std::string(kModels), {}};
    }

    std::string Describe(const Identity&) const override {
        return "Yaesu " + std::string(kModels) + " (five-byte commands)";
    }

private:
    // Fastest first: bytes sent faster than the radio reads arrive as fewer bytes than were sent,
    // never a whole five-byte block, so a probe at another speed than the radio's can never make
    // it execute a command. The radio drops a half-received block after 200 ms without a byte.
    const FamilyRecord record_ = [] {
        FamilyRecord r;
        r.countsInFives = true;
        r.silenceBefore = 0.25;
        r.lineSpeeds = kScanSpeeds;
        r.transmitRead = true;
        r.identityReads = {Command(0, ft817::kReadFrequencyMode)};
        return r;
    }();
};

}  // namespace

Ft817Reply Ft817Exchange(Platform& platform, std::int16_t replyLength, std::int16_t parameter,
                         std::int16_t opcode) {
    DiscardWaiting(platform.port);
    // A parameter that is no byte cannot be sent; that step is skipped like any failing one.
    std::string sent;
    if (IsByte(parameter) && IsByte(opcode)) {
        const std::string command = Command(parameter, static_cast<std::uint8_t>(opcode));
        if (SkipOnFailure([&] { platform.port.Write(command); })) sent = command;
    }
    return ReplyWait(platform, replyLength, sent).Run();
}

// A reply is shown only when it can be one: packed-decimal digits, a mode byte the radio sends,
// and a frequency it can tune. Garbled bytes that pass all three are still caught by the rule that
// two replies in a row must agree.
std::optional<long> PlausibleTensOfHertz(const Ft817Reply& reply) {
    // The mode byte first: it turns most noise away for the price of one look-up.
    if (!IsByte(reply.bytes[4]) ||
        !Lookup(ft817::kReceivedModes, static_cast<std::uint8_t>(reply.bytes[4])))
        return std::nullopt;
    char digits[4];
    for (std::size_t i = 0; i < 4; ++i) {
        if (!IsByte(reply.bytes[i])) return std::nullopt;
        digits[i] = static_cast<char>(reply.bytes[i]);
    }
    const auto tens = bcd::Decode({digits, 4}, bcd::Order::MostSignificantFirst);
    if (!tens) return std::nullopt;
    for (const auto& [low, high] : ft817::kTunableRanges)
        if (*tens >= low && *tens <= high) return static_cast<long>(*tens);
    return std::nullopt;
}

std::optional<bool> Ft817TransmitState(std::uint8_t status) {
    if (status == ft817::kReceivingStatus) return false;
    if ((status & ft817::kPttBit) == 0) return true;
    return std::nullopt;
}

void PollFt817(SessionState& state, Platform& platform) {
    if (state.protocol != Protocol::Ft817) return;

    const Ft817Reply reply = Ft817Exchange(platform, 5, 0, ft817::kReadFrequencyMode);
    // A late, short or over-long reply is dropped, and so is one that cannot be a reading.
    if (reply.count != 5) return;
    const std::optional<long> tensOfHertz = PlausibleTensOfHertz(reply);
    if (!tensOfHertz) return;

    // Eight digits in units of 10 Hz, most significant byte first: 01 42 34 56 is 14.23456 MHz.
    // A new reading waits for the next reply to confirm it.
    const std::string bytes(reply.bytes.begin(), reply.bytes.end());
    if (bytes != state.unconfirmedReading) {
        state.unconfirmedReading = bytes;
        return;
    }
    state.frequencyHz = static_cast<std::int64_t>(*tensOfHertz) * 10;
    ++state.readings;
    state.mode = Lookup(ft817::kReceivedModes, reply.bytes[4]);
}

const RadioFamily& Ft817Family() {
    static const Ft817 family;
    return family;
}

}  // namespace cat
