#include "protocols/kenwood/kenwood.h"

#include <algorithm>
#include <array>
#include <memory>
#include <string_view>

#include "core/lookup.h"
#include "protocols/common/family_support.h"
#include "protocols/common/text_commands.h"
#include "protocols/kenwood/kenwood_codes.h"

namespace cat {

namespace {

// "IF00014250000" + step (5) + RIT/XIT offset (5) + RIT, XIT, memory bank, memory channel (2),
// then the transmit digit (0 receive, 1 transmit) and the mode digit, and 7 more: 37 characters
// before the ";". Elecraft's radios fill the same places.
constexpr std::size_t kIfReplyLength = 37;
constexpr std::size_t kIfFrequencyPos = 2;
constexpr std::size_t kFrequencyDigits = 11;
constexpr std::size_t kIfTransmitPos = 28;
constexpr std::size_t kIfModePos = 29;

constexpr Seconds kPollPeriod{0.25};

// A radio whose status reply cannot be read this often is asked for FA and MD instead.
constexpr int kUnreadStatusReplies = 2;

// 9600 on a COM port from the factory, 38400 on the Elecraft radios, 115200 over USB.
constexpr std::array<int, 8> kScanSpeeds{9600, 38400, 115200, 57600, 19200, 4800, 2400, 1200};

using text::AllDigits;
using text::DigitsValue;

std::string CommandName(std::string_view text) {
    if (const auto name = Lookup(kenwood::kCommandNames, text.substr(0, 2)))
        return std::string(*name);
    return std::string(text.substr(0, 2));
}

// The mode digit of IF and MD; a character the list has no name for (0, 8, the letters of newer
// radios) reports no mode rather than the one before.
void TakeMode(Piece& piece, char digit) {
    piece.modeReported = true;
    std::optional<KenwoodModeReading> reading;
    if (digit >= '0' && digit <= '9') reading = KenwoodModeOf(digit - '0');
    if (reading) piece.mode = reading->mode;
    piece.note += " " + (reading ? std::string(ModeName(reading->mode))
                                 : std::string("(a mode without a name here)"));
}

bool IsFrequencyReply(std::string_view text) {
    return text.size() == 2 + kFrequencyDigits && text.substr(0, 2) == kenwood::kReadFrequency &&
           AllDigits(text.substr(2));
}

bool IsModeReply(std::string_view text) {
    return text.size() == 3 && text.substr(0, 2) == kenwood::kReadMode;
}

bool IsIdentityReply(std::string_view text) {
    return text.size() == 5 && text.substr(0, 2) == kenwood::kReadIdentity &&
           AllDigits(text.substr(2));
}

class KenwoodReader final : public text::TextReader {
public:
    bool StatusUnreadable() const { return unreadStatus_ >= kUnreadStatusReplies; }

protected:
    Piece ReadReply(std::string_view text) const override {
        Piece piece;
        piece.kind = PieceKind::Reply;
        piece.note = CommandName(text);
        if (IsStatusReply(text)) {
            const std::int64_t hertz = DigitsValue(text.substr(kIfFrequencyPos, kFrequencyDigits));
            piece.hertz = hertz;
            piece.note = "status: " + family::Megahertz(hertz);
            TakeMode(piece, text[kIfModePos]);
            // Anything but 0 or 1 there says nothing about the transmitter.
            if (const char digit = text[kIfTransmitPos]; digit == '0' || digit == '1') {
                piece.transmitting = digit == '1';
                // Receiving is the usual state; only transmitting is worth a word in the note.
                if (digit == '1') piece.note += ", transmitting";
            }
            unreadStatus_ = 0;
        } else if (text.substr(0, 2) == kenwood::kReadStatus) {
            // Clean text, in a layout this program cannot read (another maker's IF).
            piece.kind = PieceKind::Unread;
            piece.note = "a status reply in a layout this program does not read";
            ++unreadStatus_;
        } else if (IsFrequencyReply(text)) {
            piece.hertz = DigitsValue(text.substr(2));
            piece.note = "frequency: " + family::Megahertz(*piece.hertz);
        } else if (IsModeReply(text)) {
            piece.note = "mode:";
            TakeMode(piece, text[2]);
        } else if (IsIdentityReply(text)) {
            piece.note =
                text::IdentityNote(Lookup(kenwood::kIdentities, text.substr(2)), text.substr(2));
        } else {
            piece = text::Unread(CommandName(text));
        }
        return piece;
    }

    std::string CommandName(std::string_view text) const override { return cat::CommandName(text); }

private:
    mutable int unreadStatus_ = 0;
};

// The link's reader, kept with the session so that what it learnt (an IF reply it cannot read)
// lasts from poll to poll.
KenwoodReader& ReaderOf(SessionState& state) {
    if (auto* reader = dynamic_cast<KenwoodReader*>(state.reader.get())) return *reader;
    auto reader = std::make_shared<KenwoodReader>();
    state.reader = reader;
    return *reader;
}

class Kenwood final : public RadioFamily {
public:
    std::string_view Name() const override { return "Kenwood"; }
    Protocol Id() const override { return Protocol::Kenwood; }

    // A Kenwood radio above 4800 baud wants RTS/CTS (a port may override it).
    bool FlowControl(int speed) const override { return speed > 4800; }
    const FamilyRecord& Record() const override { return record_; }

    std::optional<Seconds> PollPeriod() const override { return kPollPeriod; }

    void Poll(SessionState& state, Platform& platform) const override {
        KenwoodReader& reader = ReaderOf(state);
        if (!reader.StatusUnreadable()) {
            text::Send(state, platform, std::string(kenwood::kReadStatus), reader);
            return;
        }
        text::Send(state, platform, std::string(kenwood::kReadFrequency), reader);
        text::Send(state, platform, std::string(kenwood::kReadMode), reader);
    }

    void Receive(SessionState& state, CommPort& port) const override {
        text::ReceivePass(state, port, ReaderOf(state));
    }

    // IF; is a read on every radio that speaks these commands or Yaesu's: the one transmit read
    // that can never key a radio, whoever answers.
    std::optional<bool> ReadTransmitting(SessionState& state, Platform& platform) const override {
        std::optional<bool> said;
        const auto answers = [&](const Piece& piece, std::string_view reply) {
            if (piece.kind == PieceKind::Echo) return false;
            if (piece.kind != PieceKind::Refusal && !reply.starts_with(kenwood::kReadStatus))
                return false;
            said = piece.transmitting;
            return true;
        };
        text::ReadAndAwait(state, platform, std::string(kenwood::kReadStatus) + ";",
                           ReaderOf(state), answers);
        return said;
    }

    void KeyByCommand(SessionState& state, Platform& platform, bool on) const override {
        SendKenwoodCommand(state, platform,
                           std::string(on ? kenwood::kTransmit : kenwood::kReceive));
    }

    std::string UnkeyBytes(const SessionState&) const override {
        return std::string(kenwood::kReceive);
    }

    // FA and eleven digits of hertz: FA00014074000;
    void SetFrequency(SessionState& state, Platform& platform, std::int64_t hertz) const override {
        const std::string digits = family::HertzDigits(hertz);
        SendKenwoodCommand(state, platform, std::string(kenwood::kSetFrequency) + digits);
    }

    void SetMode(SessionState& state, Platform& platform, ModeIndex mode,
                 bool reversed) const override {
        if (mode == ModeIndex::PKT) return;
        std::optional<int> k;
        if (reversed) k = Lookup(kenwood::kSentReverseModes, mode);
        // A position the list does not have goes out as the next digit: LSB and USB are 1 and 2.
        if (!k) k = Lookup(kenwood::kSentModes, mode);
        SendKenwoodCommand(
            state, platform,
            std::string(kenwood::kSetMode) + std::to_string(k.value_or(ToInt(mode) + 1)));
    }

    std::unique_ptr<LineReader> Reader(std::string_view) const override {
        return std::make_unique<KenwoodReader>();
    }

    std::optional<std::size_t> Recognise(std::string_view bytes) const override {
        const std::size_t end = bytes.substr(0, text::kLongestReply + 1).find(';');
        if (end == std::string_view::npos) return std::nullopt;
        const std::string_view text = bytes.substr(0, end);
        const bool ours = text == kenwood::kRefusal || IsStatusReply(text) ||
                          IsFrequencyReply(text) || IsIdentityReply(text);
        if (!ours) return std::nullopt;
        return end + 1;
    }

    std::string ShowBytes(std::string_view bytes) const override {
        return family::TextBytes(bytes);
    }

    std::string MenuAdvice(const std::string& speed, const std::string&) const override {
        return "On the radio, check the baud rate of its COM or USB port (" + speed +
               ") and that nothing else uses that port.";
    }

    std::string_view BufferClear() const override { return text::kBufferClear; }

    std::optional<Identity> Identify(std::string_view probe,
                                     std::string_view received) const override {
        KenwoodReader reader;
        reader.Sent(probe);
        std::optional<Identity> found;
        family::ForEachPiece(reader, received, [&](const Piece& piece, std::string_view text) {
            // A radio that refuses ID; speaks these commands; asked again, it may say which it
            // is. The probe's leading ";" draws a refusal of its own from a radio that still
            // held bytes of an earlier probe: an identity after it wins.
            if (piece.kind == PieceKind::Refusal) found = Identity{{}, {}, std::string(probe)};
            if (piece.kind != PieceKind::Reply || !IsIdentityReply(text.substr(0, 5))) return false;
            const std::string_view number = text.substr(2, 3);
            found = Identity{};
            if (const auto model = Lookup(kenwood::kIdentities, number))
                found->model = std::string(*model);
            if (number == kenwood::kElecraftId) found->followUp = kenwood::kElecraftOptions;
            if (number == kenwood::kTs2000Id) found->followUp = kenwood::kExtendedFrequency;
            return true;
        });
        return found;
    }

    void Refine(Identity& identity, std::string_view received) const override {
        if (identity.followUp == kenwood::kElecraftOptions) {
            // OM APXSHML14---; names option modules; a K4 marks itself with a 4 among them, the
            // KX2 and KX3 end the reply in 01 and 02 (from memory; OM is in the K3S/K3/KX3/KX2
            // Programmer's Reference,
            // https://manuzoid.com/manuals/DeOmB-ELECRAFT%20K3S%20Programmer's%20Reference).
            if (received.rfind("OM", 0) != 0) return;
            const std::string_view options = received.substr(0, received.find(';'));
            if (options.ends_with("01"))
                identity.model = "Elecraft KX2";
            else if (options.ends_with("02"))
                identity.model = "Elecraft KX3";
            else if (options.find('4') != std::string_view::npos)
                identity.model = "Elecraft K4";
            else
                identity.model = "Elecraft K3";
        } else if (identity.followUp == kenwood::kExtendedFrequency) {
            if (received.rfind("ZZFA", 0) == 0)
                identity.model = "an SDR program emulating a TS-2000";
        }
    }

    std::string Describe(const Identity& identity) const override {
        const std::string& model = identity.model;
        if (model.empty()) return "Kenwood radio";
        if (model.rfind("TS-", 0) == 0) return "Kenwood " + model;
        return model + " (Kenwood commands)";
    }

private:
    const FamilyRecord record_ = [] {
        FamilyRecord r;
        r.lineSpeeds = kScanSpeeds;
        r.transmitRead = true;
        r.identityReads = {std::string(text::kIdentityProbe)};
        return r;
    }();
};

}  // namespace

bool IsStatusReply(std::string_view reply) {
    // The radio writes its frequency as eleven digits with leading zeros. Anything else there is
    // a damaged reply (noise, a wrong line speed), not a reading: the whole reply is dropped, as
    // a CI-V frame with a byte that is not packed decimal is.
    return reply.size() >= kIfReplyLength && reply.substr(0, 2) == kenwood::kReadStatus &&
           AllDigits(reply.substr(kIfFrequencyPos, kFrequencyDigits));
}

const RadioFamily& KenwoodFamily() {
    static const Kenwood family;
    return family;
}

void SendKenwoodCommand(SessionState& state, Platform& platform, const std::string& command) {
    text::Send(state, platform, command, ReaderOf(state));
}

void ReceiveKenwoodReplies(SessionState& state, CommPort& port) {
    text::ReceivePass(state, port, ReaderOf(state));
}

std::optional<KenwoodModeReading> KenwoodModeOf(int digit) {
    for (const kenwood::ReceivedMode& row : kenwood::kReceivedModes)
        if (row.digit == digit) return KenwoodModeReading{row.mode, row.reverse};
    return std::nullopt;
}

}  // namespace cat
