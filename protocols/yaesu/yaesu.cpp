#include "protocols/yaesu/yaesu.h"

#include <algorithm>
#include <array>
#include <memory>
#include <string>

#include "core/lookup.h"
#include "protocols/common/family_support.h"
#include "protocols/common/text_commands.h"
#include "protocols/yaesu/yaesu_codes.h"

namespace cat {

namespace {

constexpr Seconds kPollPeriod{0.25};

// The radios' CAT RATE menus offer 4800 (the factory setting) to 38400, the newer ones 115200.
constexpr std::array<int, 8> kScanSpeeds{4800, 38400, 9600, 19200, 115200, 57600, 2400, 1200};

// IF + memory channel (3) + frequency (9) + clarifier sign and offset (5) + RX and TX clarifier
// + mode + VFO/memory + tone + 2 + shift: 27 characters, the mode at position 22.
constexpr std::size_t kStatusLength = 27;
constexpr std::size_t kStatusFrequencyPos = 5;
constexpr std::size_t kStatusModePos = 21;

using text::AllDigits;
using text::DigitsValue;

std::optional<ModeIndex> ModeOf(char code) {
    for (const yaesu::ReceivedMode& row : yaesu::kReceivedModes)
        if (row.code == code) return row.mode;
    return std::nullopt;
}

bool IsFrequencyReply(std::string_view text) {
    return (text.size() == 10 || text.size() == 11) && text.substr(0, 2) == yaesu::kReadFrequency &&
           AllDigits(text.substr(2));
}

bool IsModeReply(std::string_view text) {
    return text.size() == 4 && text.substr(0, 3) == yaesu::kReadMode;
}

bool IsStatusReply(std::string_view text) {
    return text.size() == kStatusLength && text.substr(0, 2) == yaesu::kReadStatus &&
           AllDigits(text.substr(2, 3)) && AllDigits(text.substr(kStatusFrequencyPos, 9)) &&
           (text[14] == '+' || text[14] == '-');
}

bool IsIdentityReply(std::string_view text) {
    return text.size() == 6 && text.substr(0, 2) == yaesu::kReadIdentity &&
           AllDigits(text.substr(2));
}

// "TX0", "TX1", "TX2": the transmit state's reply.
bool IsTransmitReply(std::string_view text) {
    return text.size() == 3 && text.substr(0, 2) == yaesu::kTransmitState && text[2] >= '0' &&
           text[2] <= '2';
}

std::string CommandName(std::string_view text) {
    if (const auto name = Lookup(yaesu::kCommandTexts, text)) return std::string(*name);
    if (const auto name = Lookup(yaesu::kCommandNames, text.substr(0, 2)))
        return std::string(*name);
    return std::string(text.substr(0, 2));
}

void TakeMode(Piece& piece, char code) {
    piece.modeReported = true;
    piece.mode = ModeOf(code);
    piece.note += " " + (piece.mode ? std::string(ModeName(*piece.mode))
                                    : std::string("(a mode without a name here)"));
}

class YaesuReader final : public text::TextReader {
public:
    // The radio on this link has answered ID; with a Yaesu identity, and nothing since said
    // otherwise: TX; reads rather than keys there.
    bool YaesuConfirmed() const { return yaesuConfirmed_; }

protected:
    Piece ReadReply(std::string_view text) const override {
        Piece piece;
        piece.kind = PieceKind::Reply;
        piece.note = CommandName(text);
        if (const auto hertz = YaesuFrequency(text)) {
            piece.hertz = *hertz;
            piece.note = CommandName(text) + ": " + family::Megahertz(*hertz);
            if (IsStatusReply(text)) TakeMode(piece, text[kStatusModePos]);
        } else if (IsModeReply(text)) {
            piece.note = "mode:";
            TakeMode(piece, text[3]);
        } else if (IsIdentityReply(text)) {
            piece.note =
                text::IdentityNote(Lookup(yaesu::kIdentities, text.substr(2)), text.substr(2));
            yaesuConfirmed_ = true;
        } else if (IsTransmitReply(text)) {
            piece.transmitting = text[2] != '0';
            piece.note = text[2] == '0'   ? "transmit state: receiving"
                         : text[2] == '1' ? "transmit state: transmitting (keyed by CAT)"
                                          : "transmit state: transmitting";
        } else {
            // ID019;: a Kenwood radio (or one speaking its commands) is on the line.
            if (text.substr(0, 2) == yaesu::kReadIdentity) yaesuConfirmed_ = false;
            piece = text::Unread(CommandName(text));
        }
        return piece;
    }

    std::string CommandName(std::string_view text) const override { return cat::CommandName(text); }

private:
    mutable bool yaesuConfirmed_ = false;
};

YaesuReader& ReaderOf(SessionState& state) {
    if (auto* reader = dynamic_cast<YaesuReader*>(state.reader.get())) return *reader;
    auto reader = std::make_shared<YaesuReader>();
    state.reader = reader;
    return *reader;
}

void Send(SessionState& state, Platform& platform, const std::string& command) {
    text::Send(state, platform, command, ReaderOf(state));
}

// Whether the radio is a Yaesu, by its answer to ID; unless this link already knows. Only a
// radio that says so is ever sent TX;, TX1; or TX0;.
bool ConfirmYaesu(SessionState& state, Platform& platform) {
    YaesuReader& reader = ReaderOf(state);
    if (reader.YaesuConfirmed()) return true;
    const auto answers = [](const Piece& piece, std::string_view reply) {
        return piece.kind == PieceKind::Refusal ||
               (piece.kind != PieceKind::Echo && reply.substr(0, 2) == yaesu::kReadIdentity);
    };
    text::ReadAndAwait(state, platform, std::string(yaesu::kReadIdentity) + ";", reader, answers);
    return reader.YaesuConfirmed();
}

class Yaesu final : public RadioFamily {
public:
    std::string_view Name() const override { return "Yaesu"; }
    Protocol Id() const override { return Protocol::Yaesu; }

    // The radios' CAT RTS menu is on from the factory: they send only while RTS is up, and a
    // link with RTS/CTS keeps it up while we can take bytes (a port may override it).
    bool FlowControl(int) const override { return true; }
    const FamilyRecord& Record() const override { return record_; }

    std::optional<Seconds> PollPeriod() const override { return kPollPeriod; }

    void Poll(SessionState& state, Platform& platform) const override {
        Send(state, platform, std::string(yaesu::kReadFrequency));
        Send(state, platform, std::string(yaesu::kReadMode));
    }

    void Receive(SessionState& state, CommPort& port) const override {
        text::ReceivePass(state, port, ReaderOf(state));
    }

    std::optional<bool> ReadTransmitting(SessionState& state, Platform& platform) const override {
        if (!ConfirmYaesu(state, platform)) return std::nullopt;
        std::optional<bool> said;
        const auto answers = [&](const Piece& piece, std::string_view reply) {
            if (piece.kind == PieceKind::Refusal) return true;
            if (piece.kind != PieceKind::Reply || !IsTransmitReply(reply.substr(0, 3)) ||
                reply.size() != 4)
                return false;
            said = piece.transmitting;
            return true;
        };
        text::ReadAndAwait(state, platform, std::string(yaesu::kTransmitState) + ";",
                           ReaderOf(state), answers);
        return said;
    }

    // A radio that has not answered as a Yaesu gets neither: on a Kenwood radio TX0; keys too.
    void KeyByCommand(SessionState& state, Platform& platform, bool on) const override {
        if (!ConfirmYaesu(state, platform)) return;
        Send(state, platform, std::string(on ? yaesu::kTransmitOn : yaesu::kTransmitOff));
    }

    std::string UnkeyBytes(const SessionState& state) const override {
        const auto* reader = dynamic_cast<const YaesuReader*>(state.reader.get());
        return reader && reader->YaesuConfirmed() ? std::string(yaesu::kTransmitOff)
                                                  : std::string();
    }

    // Nine digits of hertz: 14.074 MHz goes out as FA014074000;.
    // FA and nine digits of hertz: FA014074000;
    void SetFrequency(SessionState& state, Platform& platform, std::int64_t hertz) const override {
        Send(state, platform,
             std::string(yaesu::kReadFrequency) + family::HertzDigits(hertz).substr(2));
    }

    void SetMode(SessionState& state, Platform& platform, ModeIndex mode,
                 bool reversed) const override {
        std::optional<char> code;
        if (reversed) code = Lookup(yaesu::kSentReverseModes, mode);
        if (!code) code = Lookup(yaesu::kSentModes, mode);
        if (!code) return;
        Send(state, platform, std::string(yaesu::kReadMode) + *code);
    }

    std::unique_ptr<LineReader> Reader(std::string_view) const override {
        return std::make_unique<YaesuReader>();
    }

    std::optional<std::size_t> Recognise(std::string_view bytes) const override {
        const std::size_t end = bytes.substr(0, text::kLongestReply + 1).find(';');
        if (end == std::string_view::npos) return std::nullopt;
        const std::string_view text = bytes.substr(0, end);
        const bool ours = IsFrequencyReply(text) || IsModeReply(text) || IsStatusReply(text) ||
                          IsIdentityReply(text);
        if (!ours) return std::nullopt;
        return end + 1;
    }

    std::string ShowBytes(std::string_view bytes) const override {
        return family::TextBytes(bytes);
    }

    std::string MenuAdvice(const std::string& speed, const std::string&) const override {
        return "On the radio, check the CAT RATE menu (" + speed +
               "), and CAT RTS: with a cable that has no RTS/CTS lines set it to DISABLE (FT-991A: "
               "menus 031 CAT RATE and 033 CAT RTS).";
    }

    std::string_view BufferClear() const override { return text::kBufferClear; }

    std::optional<Identity> Identify(std::string_view probe,
                                     std::string_view received) const override {
        YaesuReader reader;
        reader.Sent(probe);
        std::optional<Identity> found;
        family::ForEachPiece(reader, received, [&](const Piece& piece, std::string_view text) {
            if (piece.kind != PieceKind::Reply || !IsIdentityReply(text.substr(0, 6))) return false;
            found = Identity{};
            if (const auto model = Lookup(yaesu::kIdentities, text.substr(2, 4)))
                found->model = std::string(*model);
            return true;
        });
        return found;
    }

    std::string Describe(const Identity& identity) const override {
        return identity.model.empty() ? "Yaesu radio (text commands)" : "Yaesu " + identity.model;
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

std::optional<std::int64_t> YaesuFrequency(std::string_view reply) {
    if (IsFrequencyReply(reply)) return DigitsValue(reply.substr(2));
    if (IsStatusReply(reply)) return DigitsValue(reply.substr(kStatusFrequencyPos, 9));
    return std::nullopt;
}

const RadioFamily& YaesuFamily() {
    static const Yaesu family;
    return family;
}

}  // namespace cat
