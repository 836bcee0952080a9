#include <algorithm>
#include <array>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/failure_policy.h"
#include "core/lookup.h"
#include "core/text.h"
#include "protocols/civ/civ.h"
#include "protocols/civ/civ_codes.h"
#include "protocols/civ/civ_frame.h"
#include "protocols/common/bcd.h"
#include "protocols/common/family_support.h"

namespace cat {

namespace {

// A radio not heard yet: each read every 2 s, the frequency and the mode reads a second apart.
// Sent together, the two frames are fourteen bytes in one burst: an FT-817 on the line at another
// speed counts them as whole five-byte commands (at 9600 baud into a radio at 4800, "power off" on
// every poll). One seven-byte frame alone reaches such a radio as fewer than five bytes when sent
// faster than it reads, and it drops the rest during the second of silence that follows.
constexpr Seconds kPollPeriod{1.0};
// Until a new link has heard the radio answer a read, it reads again sooner, so that what the
// line shows is plain within a second of the open: a refusal repeated, or reads left unanswered.
// Each read still has more than the quarter second of silence after it that a radio framing by
// count needs to drop what reached it of the frame.
constexpr Seconds kFirstPollPeriod{0.3};
constexpr int kFirstReads = 4;
// A radio that answered a read at its own address speaks CI-V: no radio counting in fives is on
// this line, and both reads go out together often enough for the display to follow the dial.
// Each turn is about forty bytes of the line's time both ways: a fifth of it at 9600 baud leaves
// room for the radio's own announcements on a one-wire bus.
constexpr Seconds kAnsweringPollPeriod{0.2};

// Unconsumed bytes may wait between passes up to 127 bytes. More is not a frame in progress but
// noise, and is dropped so that each pass searches a short buffer.
constexpr std::size_t kMaxBufferedBytes = 127;

constexpr std::array<int, 8> kScanSpeeds{19200, 9600, 115200, 4800, 38400, 57600, 2400, 1200};

std::uint8_t Byte(char c) { return static_cast<std::uint8_t>(c); }

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// "5E" -> 0x5E; -1 for text that is not two hexadecimal digits.
int AddressValue(std::string_view text) {
    text = Trim(text);
    if (text.size() != 2) return -1;
    int value = 0;
    for (const char c : text) {
        const int digit = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                 : -1;
        if (digit < 0) return -1;
        value = value * 16 + digit;
    }
    return value;
}

// The mode byte reads as two decimal digits: 04 is RTTY, shown as FSK; 11 is eleven.
std::optional<ModeIndex> ModeOf(std::uint8_t byte) {
    const int high = byte >> 4;
    const int low = byte & 0x0F;
    if (high > 9 || low > 9) return std::nullopt;
    return Lookup(civ::kReceivedModes, high * 10 + low);
}

bool AddressedToUs(const civ::Frame& frame) {
    return frame.to == civ::kController || frame.to == civ::kBroadcast;
}

class CivReader final : public LineReader {
public:
    explicit CivReader(int address) : address_(address) {}

    int Address() const { return address_; }
    // The reads in turn while the radio has not answered: the frequency first, which shows a
    // working link soonest; then, when nothing at the chosen address replied to it, "which
    // address?" to all, which shows a radio at another address than the one chosen (it answers
    // that and never the polls); then mode and frequency.
    enum class Turn { Frequency, Address, Mode };
    Turn TakeTurn() {
        if (firstReadsLeft_ > 0) --firstReadsLeft_;
        if (turns_++ == 1 && !heard_) return Turn::Address;
        return std::exchange(modeNext_, !modeNext_) ? Turn::Mode : Turn::Frequency;
    }
    // The radio at the chosen address answered a read with a frequency or a mode.
    bool Answering() const { return answering_; }
    // The line has shown what it carries: the radio answered a read, another radio did, or
    // the radio refused more than one command; or the first reads are all out.
    bool Sure() const { return sure_ || firstReadsLeft_ == 0; }

    std::string Sent(std::string_view bytes) override {
        // Our frames end in fd and a 00 outside the frame.
        const civ::FrameCut cut = civ::CutFrame(bytes, true);
        return cut.frame ? civ::FrameName(*cut.frame) : std::string();
    }

    Piece Next(std::string_view bytes, bool final) override {
        Piece piece;
        if (bytes.empty()) return piece;
        if (echoAwaited_ && bytes[0] == '\0') {
            echoAwaited_ = false;
            piece.length = 1;
            piece.kind = PieceKind::Echo;
            piece.note = "echo of the 00 after our frame";
            return piece;
        }
        const civ::FrameCut cut = civ::CutFrame(bytes, final);
        echoAwaited_ = false;
        piece.length = cut.length;
        if (!cut.frame) {
            piece.note = std::string(cut.why);
            return piece;
        }
        Read(*cut.frame, piece);
        const bool reading = piece.kind == PieceKind::Reply && (piece.hertz || piece.modeReported);
        if (reading) answering_ = true;
        if (piece.kind == PieceKind::Reply || piece.kind == PieceKind::Refusal) heard_ = true;
        if (reading || piece.kind == PieceKind::OtherAddress ||
            (piece.kind == PieceKind::Refusal && ++refusals_ >= 2))
            sure_ = true;
        // Our frames go out with a 00 after them; its echo belongs with theirs.
        if (piece.kind == PieceKind::Echo) {
            if (cut.length < bytes.size() && bytes[cut.length] == '\0') {
                ++piece.length;
            } else {
                echoAwaited_ = true;
            }
        }
        return piece;
    }

private:
    void Read(const civ::Frame& f, Piece& piece) const {
        const std::string name = civ::CommandName(f.command);
        if (f.from == civ::kController) {
            piece.kind = PieceKind::Echo;
            piece.note = "echo of " + name;
            return;
        }
        const std::optional<int> radio = RadioOf(f);
        if (!AddressedToUs(f) || !radio) {
            piece.note = radio ? "a frame for another controller (" + family::Hex2(f.to) + ")"
                               : "a frame from 00, which is no radio's address";
            return;
        }
        // Another radio is named only for a frame a radio would send: noise that happens to
        // run from FE FE to FD must not offer a random address to use.
        if (*radio != address_ && !civ::LooksLikeAReply(f)) {
            piece.note = "forms no reply";
            return;
        }
        if (*radio != address_) {
            piece.kind = PieceKind::OtherAddress;
            piece.address = *radio;
            const std::string models = civ::ModelsAt(*radio);
            piece.note = "from a radio at " + family::Hex2(*radio) +
                         (models.empty() ? "" : " (" + models + ")") + ": " + name;
            return;
        }
        piece.kind = PieceKind::Reply;
        piece.note = name;
        if (f.command == civ::kNg) {
            piece.kind = PieceKind::Refusal;
            piece.note = "the radio refuses the command (NG)";
        } else if (f.command == civ::kFrequencyAnnounced || f.command == civ::kFrequencyRead) {
            // A frequency that is not packed decimal fails the frame's only check.
            const auto hertz = f.data.size() == 4 || f.data.size() == 5
                                   ? bcd::Decode(f.data, bcd::Order::LeastSignificantFirst)
                                   : std::nullopt;
            if (!hertz) {
                piece.kind = PieceKind::Noise;
                piece.note = "a frequency frame that is not packed decimal";
                return;
            }
            piece.hertz = *hertz;
            piece.note += ": " + family::Megahertz(*hertz);
        } else if (f.command == civ::kModeAnnounced || f.command == civ::kModeRead) {
            // A frame without a mode byte, or a code the list has no name for, shows no mode
            // rather than a made-up one.
            piece.modeReported = true;
            if (!f.data.empty()) piece.mode = ModeOf(Byte(f.data[0]));
            piece.note += ": " + (piece.mode ? std::string(ModeName(*piece.mode))
                                             : std::string("a mode without a name here"));
        } else if (f.command == civ::kReadAddress && f.data.size() >= 2) {
            piece.note += ": " + family::Hex2(Byte(f.data[1]));
        } else if (f.command == civ::kTransmitState && f.data.size() == 2 &&
                   Byte(f.data[0]) == civ::kTransmitStateSub && Byte(f.data[1]) <= 0x01) {
            piece.transmitting = Byte(f.data[1]) == 0x01;
            piece.note += *piece.transmitting ? ": transmitting" : ": receiving";
        }
    }

    int address_;               // the chosen radio; -1 when none was given
    bool echoAwaited_ = false;  // our frame came back, and the 00 after it may follow
    bool modeNext_ = false;     // the next poll reads the mode
    int turns_ = 0;             // the polls made since the link opened
    int firstReadsLeft_ = kFirstReads;
    bool answering_ = false;
    bool heard_ = false;  // the radio at the chosen address replied, if only with NG
    int refusals_ = 0;
    bool sure_ = false;
};

// The link's reader, kept with the session from pass to pass (a new one for another address).
CivReader& ReaderOf(SessionState& state) {
    const int address = AddressValue(state.radioAddress);
    auto* reader = dynamic_cast<CivReader*>(state.reader.get());
    if (reader && reader->Address() == address) return *reader;
    auto made = std::make_shared<CivReader>(address);
    state.reader = made;
    return *made;
}

// One receive pass (ReceiveCivReplies); `seen` is shown every piece taken in.
template <typename Seen>
void ReceivePass(SessionState& state, CommPort& port, Seen seen) {
    int waiting = 0;
    SkipOnFailure([&] { waiting = port.BytesWaiting(); });
    if (waiting <= 0) return;

    SkipOnFailure([&] {
        const std::string bytes = port.ReadAll();
        // Never more than the count said, and never more than Input actually returned.
        state.received.append(bytes, 0, std::min(bytes.size(), static_cast<std::size_t>(waiting)));
    });

    // A burst decodes its complete frames before the length is judged, so no good frame is lost.
    CivReader& reader = ReaderOf(state);
    std::size_t at = 0;
    while (at < state.received.size()) {
        const Piece piece = reader.Next(std::string_view(state.received).substr(at), false);
        if (piece.length == 0) break;
        family::Apply(state, piece);
        seen(piece);
        at += piece.length;
    }
    state.received.erase(0, at);
    if (state.received.size() > kMaxBufferedBytes) state.received.clear();
}

// CI-V carries the frequency least significant byte first: "00014074000" -> "0040071400".
std::string LeastSignificantFirst(const std::string& hertzDigits) {
    std::string D;
    for (std::size_t i = 0; i < 5; ++i) D += hertzDigits.substr(hertzDigits.size() - 2 - 2 * i, 2);
    return D;
}

std::string FrameTo(std::uint8_t to, std::initializer_list<std::uint8_t> body) {
    std::string frame{static_cast<char>(civ::kPreamble), static_cast<char>(civ::kPreamble),
                      static_cast<char>(to), static_cast<char>(civ::kController)};
    for (const std::uint8_t b : body) frame.push_back(static_cast<char>(b));
    frame.push_back(static_cast<char>(civ::kEndOfMessage));
    return frame;
}

// fe fe <radio> e0 1c 00 01 fd keys the radio at the chosen address, ... 1c 00 00 fd unkeys it;
// empty without a valid address.
std::string KeyFrame(const SessionState& state, bool on) {
    const int address = AddressValue(state.radioAddress);
    if (address < 0) return {};
    return FrameTo(
        static_cast<std::uint8_t>(address),
        {civ::kTransmitState, civ::kTransmitStateSub, static_cast<std::uint8_t>(on ? 0x01 : 0x00)});
}

// What a probe drew: the radios that answered, each once and in the order they did, and the
// address an address read gave (19 00 <address>).
struct Answers {
    std::vector<int> from;
    std::optional<int> own;
};

Answers AnswersIn(std::string_view received) {
    Answers answers;
    for (std::size_t at = 0; at < received.size();) {
        const civ::FrameCut cut = civ::CutFrame(received.substr(at), true);
        at += std::max<std::size_t>(cut.length, 1);
        if (!cut.frame || cut.frame->to != civ::kController) continue;
        const civ::Frame& f = *cut.frame;
        const std::optional<int> radio = RadioOf(f);
        const bool id = f.command == civ::kReadAddress;
        const bool frequency = f.command == civ::kFrequencyRead &&
                               (f.data.size() == 4 || f.data.size() == 5) &&
                               bcd::Decode(f.data, bcd::Order::LeastSignificantFirst);
        if (!radio || f.from == civ::kController || (!id && !frequency)) continue;
        if (std::find(answers.from.begin(), answers.from.end(), *radio) == answers.from.end())
            answers.from.push_back(*radio);
        if (id && !answers.own && f.data.size() >= 2 && Byte(f.data[0]) == 0x00)
            answers.own = Byte(f.data[1]);
    }
    return answers;
}

class Civ final : public RadioFamily {
public:
    std::string_view Name() const override { return "ICOM"; }
    Protocol Id() const override { return Protocol::Icom; }
    const FamilyRecord& Record() const override { return record_; }
    bool FlowControl(int) const override { return false; }

    // CI-V frames carry the address as one byte and replies are matched on its upper-case text,
    // so a one-digit or lower-case address is brought into that form here, once.
    std::optional<std::string> RadioAddress(std::string_view text) const override {
        std::string address(Trim(text));
        if (address.empty()) return "00";
        if (address.size() > 2 || !std::all_of(address.begin(), address.end(), IsHexDigit))
            return std::nullopt;
        address = UpperCase(address);
        return address.size() == 1 ? "0" + address : address;
    }
    std::string AddressRefusal(std::string_view text) const override {
        return "The ICOM address \"" + std::string(Trim(text)) +
               "\" is not valid: it must be two hexadecimal digits (00 to FF).";
    }
    std::string ControllerAddress() const override { return std::string(civ::kControllerAddress); }

    std::optional<Seconds> PollPeriod() const override { return kPollPeriod; }
    std::optional<Seconds> PollPeriodNow(const SessionState& state) const override {
        const auto* reader = dynamic_cast<const CivReader*>(state.reader.get());
        if (!reader || reader->Address() != AddressValue(state.radioAddress))
            return kFirstPollPeriod;
        if (reader->Answering()) return kAnsweringPollPeriod;
        return reader->Sure() ? kPollPeriod : kFirstPollPeriod;
    }

    void Poll(SessionState& state, Platform& platform) const override {
        CivReader& reader = ReaderOf(state);
        if (reader.Answering()) {
            SendCivCommand(state, platform, civ::kReadFrequency, "", "");
            SendCivCommand(state, platform, civ::kReadMode, "", "");
            return;
        }
        switch (reader.TakeTurn()) {
            case CivReader::Turn::Address:
                AskEveryRadioItsAddress(state, platform);
                return;
            case CivReader::Turn::Mode:
                SendCivCommand(state, platform, civ::kReadMode, "", "");
                return;
            case CivReader::Turn::Frequency:
                SendCivCommand(state, platform, civ::kReadFrequency, "", "");
                return;
        }
    }

    void Receive(SessionState& state, CommPort& port) const override {
        ReceiveCivReplies(state, port);
    }

    std::optional<bool> ReadTransmitting(SessionState& state, Platform& platform) const override {
        const int address = AddressValue(state.radioAddress);
        if (address < 0) return std::nullopt;
        // What is waiting came before our read: taken in, it cannot pass for the answer.
        ReceiveCivReplies(state, platform.port);
        const std::string read = FrameTo(static_cast<std::uint8_t>(address),
                                         {civ::kTransmitState, civ::kTransmitStateSub});
        if (!SkipOnFailure([&] { platform.port.Write(read); })) return std::nullopt;
        ReaderOf(state).Sent(read);
        std::optional<bool> said;
        bool answered = false;
        const auto seen = [&](const Piece& piece) {
            if (answered) return;
            if (piece.kind == PieceKind::Refusal || piece.transmitting) {
                said = piece.transmitting;
                answered = true;
            }
        };
        family::UntilAnswered(platform, [&] {
            ReceivePass(state, platform.port, seen);
            return answered;
        });
        return said;
    }

    void KeyByCommand(SessionState& state, Platform& platform, bool on) const override {
        const std::string command = KeyFrame(state, on);
        if (command.empty()) return;
        if (!SkipOnFailure([&] { platform.port.Write(command); })) return;
        ReaderOf(state).Sent(command);
        // The radio's FB (or FA) and an echo are taken in as any other reply is.
        SkipOnFailure([&] { platform.pause.Sleep(5); });
        ReceiveCivReplies(state, platform.port);
    }

    std::string UnkeyBytes(const SessionState& state) const override {
        return KeyFrame(state, false);
    }

    // The frequency in hertz, least significant byte first: 14.074 MHz is 00 40 07 14 00.
    void SetFrequency(SessionState& state, Platform& platform, std::int64_t hertz) const override {
        SendCivCommand(state, platform, civ::kSetFrequency, "",
                       LeastSignificantFirst(family::HertzDigits(hertz)));
    }

    void SetMode(SessionState& state, Platform& platform, ModeIndex mode,
                 bool reversed) const override {
        if (mode == ModeIndex::PKT) return;
        std::optional<int> k;
        if (reversed) k = Lookup(civ::kSentReverseModes, mode);
        if (!k) k = Lookup(civ::kSentModes, mode);
        SendCivCommand(state, platform, civ::kSetMode, "",
                       "0" + std::to_string(k.value_or(ToInt(mode))));
    }

    std::unique_ptr<LineReader> Reader(std::string_view radioAddress) const override {
        return std::make_unique<CivReader>(AddressValue(radioAddress));
    }

    std::optional<std::size_t> Recognise(std::string_view bytes) const override {
        const civ::FrameCut cut = civ::CutFrame(bytes, false);
        if (!cut.frame || !AddressedToUs(*cut.frame) || !civ::LooksLikeAReply(*cut.frame))
            return std::nullopt;
        return cut.length;
    }

    std::string ShowBytes(std::string_view bytes) const override { return family::HexBytes(bytes); }

    std::string MenuAdvice(const std::string& speed,
                           const std::string& radioAddress) const override {
        return "On the radio, check CI-V Baud Rate (" + speed + " or Auto) and CI-V Address (" +
               radioAddress +
               "), and on a radio with a USB socket the CI-V USB Port and USB baud rate.";
    }

private:
    // Every radio on the bus answers "which address?" asked of all; for one that does not, the
    // common factory addresses are asked for the frequency, each in its own frame.
    static std::vector<std::string> IdentityReads() {
        std::string train;
        for (std::size_t i = 0; i < civ::kKnownRadios.size(); ++i) {
            const std::uint8_t address = civ::kKnownRadios[i].address;
            const bool asked = std::any_of(civ::kKnownRadios.begin(), civ::kKnownRadios.begin() + i,
                                           [&](const auto& r) { return r.address == address; });
            if (!asked) train += FrameTo(address, {civ::kFrequencyRead});
        }
        return {FrameTo(civ::kBroadcast, {civ::kReadAddress, 0x00}), train};
    }

    const FamilyRecord record_ = [] {
        FamilyRecord r;
        r.addressed = true;
        r.lineSpeeds = kScanSpeeds;
        r.transmitRead = true;
        r.identityReads = IdentityReads();
        return r;
    }();

public:
    // fe fe e0 <radio> 19 00 <radio> fd, or fe fe e0 <radio> 03 <frequency> fd. The address train
    // is answered by one radio at its own address; a radio that answers several of its addresses
    // answers any, and is asked its own address where it was heard.
    std::optional<Identity> Identify(std::string_view, std::string_view received) const override {
        const Answers answers = AnswersIn(received);
        if (answers.from.empty()) return std::nullopt;
        if (answers.from.size() == 1 || answers.own) {
            const int address = answers.own.value_or(answers.from.front());
            return Identity{family::Hex2(address), civ::ModelsAt(address), {}};
        }
        Identity every;
        every.everyAddress = true;
        every.followUp =
            FrameTo(static_cast<std::uint8_t>(answers.from.front()), {civ::kReadAddress, 0x00});
        return every;
    }

    // The radio's own address, where its address read gave one: the model is named from it as
    // from any answer to that read, never from the address a frame of the train was sent to.
    void Refine(Identity& identity, std::string_view received) const override {
        if (!identity.everyAddress) return;
        if (const std::optional<int> own = AnswersIn(received).own) {
            identity.address = family::Hex2(*own);
            identity.model = civ::ModelsAt(*own);
        }
    }

    std::string Describe(const Identity& identity) const override {
        const std::string who = identity.model.empty() ? "ICOM radio" : identity.model;
        if (!identity.everyAddress) return who + " at " + identity.address;
        return who + (identity.address.empty() ? "" : " at " + identity.address) +
               " (answers every address)";
    }
};

}  // namespace

void ReceiveCivReplies(SessionState& state, CommPort& port) {
    ReceivePass(state, port, [](const Piece&) {});
}

const RadioFamily& CivFamily() {
    static const Civ family;
    return family;
}

}  // namespace cat
