#include "protocols/rigctld/rigctld.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "core/failure_policy.h"
#include "core/lookup.h"
#include "core/text.h"
#include "protocols/common/family_support.h"
#include "protocols/rigctld/rigctld_codes.h"

namespace cat {

namespace {

constexpr Seconds kPollPeriod{0.25};

// The server answers one command after the other, and a read that the radio leaves unanswered
// holds the next ones back for its whole timeout and retries (almost seven seconds for an ICOM
// model). Polls wait for the last exchange, so that they do not pile up behind it; this long
// without an answer, the server is asked afresh.
constexpr Seconds kAnswerPatience{10.0};

// Longer than any answer of the server (its capability list is some ten thousand characters);
// a run this long without its RPRT line is not one.
constexpr std::size_t kLongestAnswer = 64 * 1024;
// A line that is no part of an answer is cut at its end, or here; a header line is no longer.
constexpr std::size_t kLongestNoise = 256;
// A value the server sends is shown up to this long: a mode name, the radio's model.
constexpr std::size_t kLongestValue = 64;

// An answer still coming is known again by this much of its front.
constexpr std::size_t kRememberedFront = 64;

// The monitor shows this much of one answer, the last line's end among it.
constexpr std::size_t kLongestShown = 160;
constexpr std::size_t kShownTail = 16;

std::string ShowText(std::string_view bytes) {
    std::string out;
    for (const char c : bytes) {
        if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else if (family::Printable(c))
            out.push_back(c);
        else
            out += "\\x" + family::Hex2(static_cast<unsigned char>(c));
    }
    return out;
}

bool IsAnswerText(char c) { return family::Printable(c) || c == '\n' || c == '\t'; }

bool IsNameCharacter(char c) { return (c >= 'a' && c <= 'z') || c == '_' || c == '\\'; }

// "-5" -> -5; nothing for anything but an optional sign and one to four digits.
std::optional<int> ResultCode(std::string_view text) {
    const bool negative = !text.empty() && text.front() == '-';
    if (negative) text.remove_prefix(1);
    if (text.empty() || text.size() > 4 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    int value = 0;
    for (const char c : text) value = value * 10 + (c - '0');
    return negative ? -value : value;
}

// "7074000", "7074000.000000" -> 7074000; nothing for anything else.
std::optional<std::int64_t> Hertz(std::string_view text) {
    if (const std::size_t point = text.find('.'); point != std::string_view::npos) {
        const std::string_view fraction = text.substr(point + 1);
        if (!std::all_of(fraction.begin(), fraction.end(), [](char c) { return c == '0'; }))
            return std::nullopt;
        text = text.substr(0, point);
    }
    if (text.empty() || text.size() > 12 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    std::int64_t value = 0;
    for (const char c : text) value = value * 10 + (c - '0');
    return value;
}

// One whole answer: its name ("get_freq"), its "Key: value" lines and its result.
struct Answer {
    std::size_t length = 0;
    std::string_view name;  // empty for an answer that is only its RPRT line
    std::vector<std::pair<std::string_view, std::string_view>> values;
    int code = 0;

    std::optional<std::string_view> Value(std::string_view key) const {
        for (const auto& [k, v] : values)
            if (k == key) return v;
        return std::nullopt;
    }
};

// The first line of an answer names the command: "get_freq:" or, for a set, "set_freq: 7074000".
std::optional<std::string_view> HeaderName(std::string_view line) {
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) return std::nullopt;
    const std::string_view name = line.substr(0, colon);
    if (!std::all_of(name.begin(), name.end(), IsNameCharacter)) return std::nullopt;
    const std::string_view rest = line.substr(colon + 1);
    if (!rest.empty() && rest.front() != ' ') return std::nullopt;
    return name.front() == '\\' ? name.substr(1) : name;
}

// "Frequency: 7074000", "Model name:\tDummy": the key and its value, blanks trimmed.
std::pair<std::string_view, std::string_view> KeyAndValue(std::string_view line) {
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) return {Trim(line, " \t"), {}};
    return {Trim(line.substr(0, colon), " \t"), Trim(line.substr(colon + 1), " \t")};
}

enum class Cut { Whole, Partial, NotOurs };

// What the cutter found at the front of the bytes. NotOurs: `length` bytes are no answer, nor the
// start of one. Partial: the lines before `checked` are an answer's, none its RPRT line, and the
// line that starts there is an answer's text up to `scanned`.
struct CutResult {
    Cut cut = Cut::NotOurs;
    std::size_t length = 0;
    std::size_t checked = 0;
    std::size_t scanned = 0;
};

// The first line of what is not an answer, and no more than kLongestNoise of it.
std::size_t NoiseLength(std::string_view bytes) {
    const std::size_t end = bytes.substr(0, kLongestNoise).find('\n');
    return end == std::string_view::npos ? std::min(bytes.size(), kLongestNoise) : end + 1;
}

CutResult NotOurs(std::size_t length) { return {Cut::NotOurs, length, 0, 0}; }

// The answer's header line, searched no further than a header can run: a long line without its
// end costs a bounded look, whatever follows. Its length with the line end; 0 when `bytes` holds
// no whole header yet, nothing when no answer starts here.
std::optional<std::size_t> HeaderLength(std::string_view bytes) {
    const std::size_t end = bytes.substr(0, kLongestNoise).find('\n');
    if (end == std::string_view::npos) {
        const std::string_view start = bytes.substr(0, kLongestNoise);
        if (bytes.size() >= kLongestNoise || !std::all_of(start.begin(), start.end(), IsAnswerText))
            return std::nullopt;
        return 0;
    }
    const std::string_view line = bytes.substr(0, end);
    if (!line.starts_with(rigctld::kResult) &&
        (!std::all_of(line.begin(), line.end(), IsAnswerText) || !HeaderName(line)))
        return std::nullopt;
    return end + 1;
}

// Looks for the RPRT line from the line start `from` on, the bytes before `scanned` looked at
// already: each byte is looked at once however the answer arrives.
CutResult FindResult(std::string_view bytes, std::size_t from, std::size_t scanned) {
    const std::string_view scan = bytes.substr(0, kLongestAnswer);
    for (std::size_t at = from, look = std::max(from, scanned);;) {
        const std::size_t end = std::min(scan.find('\n', look), scan.size());
        const std::string_view fresh = scan.substr(look, end - look);
        // Every answer that starts before this line would hold it: none does.
        if (!std::all_of(fresh.begin(), fresh.end(), IsAnswerText)) return NotOurs(at);
        const std::string_view line = scan.substr(at, end - at);
        if (end == scan.size()) {
            if (scan.size() < kLongestAnswer) return {Cut::Partial, 0, at, end};
            // Longer than any answer without its RPRT line: the whole run is a flood, not a
            // string of answers each cut a line further on.
            return NotOurs(at);
        }
        if (line.starts_with(rigctld::kResult)) {
            if (!ResultCode(line.substr(rigctld::kResult.size()))) return NotOurs(at);
            return {Cut::Whole, end + 1, 0, 0};
        }
        at = look = end + 1;
    }
}

// The name, values and code of a whole answer of `length` bytes, each line checked before.
void ReadAnswer(std::string_view bytes, std::size_t length, Answer& answer) {
    answer.length = length;
    const std::string_view text = bytes.substr(0, length - 1);
    const std::size_t last = text.rfind('\n');
    const std::string_view result = text.substr(last == std::string_view::npos ? 0 : last + 1);
    answer.code = ResultCode(result.substr(rigctld::kResult.size())).value_or(0);
    if (last == std::string_view::npos) return;
    for (std::size_t at = 0; at <= last;) {
        const std::size_t end = text.find('\n', at);
        const std::string_view line = text.substr(at, end - at);
        if (at == 0)
            answer.name = HeaderName(line).value_or("");
        else if (!line.empty())
            answer.values.push_back(KeyAndValue(line));
        at = end + 1;
    }
}

// Cuts the answer at the front of `bytes`, as far as a look before found it an answer's (see
// CutResult), or from its start.
CutResult CutAnswer(std::string_view bytes, Answer& answer, const CutResult& before = {}) {
    const std::optional<std::size_t> header = HeaderLength(bytes);
    if (!header) return NotOurs(NoiseLength(bytes));
    if (*header == 0) return {Cut::Partial, 0, 0, 0};
    const std::size_t firstLine = bytes.starts_with(rigctld::kResult) ? 0 : *header;
    const CutResult cut = FindResult(bytes, std::max(before.checked, firstLine), before.scanned);
    if (cut.cut == Cut::Whole) ReadAnswer(bytes, cut.length, answer);
    // A run whose first line alone is no answer is cut at that line's end, as noise always is.
    if (cut.cut == Cut::NotOurs && cut.length == 0) return NotOurs(NoiseLength(bytes));
    return cut;
}

std::string CommandName(std::string_view line) {
    const std::string_view word = line.substr(0, line.find(' '));
    if (const auto name = Lookup(rigctld::kCommandNames, word)) return std::string(*name);
    return family::TextBytes(line);
}

std::optional<ModeIndex> ModeNamed(std::string_view name) {
    for (const rigctld::ReceivedMode& row : rigctld::kReceivedModes)
        if (row.name == name) return row.mode;
    return std::nullopt;
}

class RigctldReader final : public LineReader {
public:
    std::string Sent(std::string_view bytes) override {
        std::string names;
        for (std::size_t at = 0; at < bytes.size();) {
            const std::size_t end = std::min(bytes.find('\n', at), bytes.size());
            const std::string_view line = bytes.substr(at, end - at);
            at = end + 1;
            if (line.empty()) continue;
            ++awaiting_;
            std::string name = CommandName(line);
            if (line.starts_with(rigctld::kSetFrequency))
                if (const auto hertz = Hertz(line.substr(rigctld::kSetFrequency.size())))
                    name += " to " + family::Megahertz(*hertz);
            if (line.starts_with(rigctld::kSetMode))
                name += " to " + Bounded(line.substr(rigctld::kSetMode.size()), kLongestValue);
            names += (names.empty() ? "" : ", ") + name;
        }
        return names;
    }

    Piece Next(std::string_view bytes, bool final) override {
        Piece piece;
        if (bytes.empty()) return piece;
        Answer answer;
        const CutResult cut = CutAnswer(bytes, answer, Resume(bytes));
        Remember(bytes, cut);
        if (cut.cut == Cut::Partial && !final) return piece;
        if (cut.cut != Cut::Whole) {
            // Nothing more is coming for now: no answer starts anywhere in what is there.
            piece.length = cut.cut == Cut::Partial ? bytes.size() : cut.length;
            piece.note = "not an answer of rigctld";
            return piece;
        }
        if (awaiting_ > 0) --awaiting_;
        piece = Read(answer);
        piece.length = answer.length;
        return piece;
    }

    // Answers still owed for what was sent.
    int Awaiting() const { return awaiting_; }
    void Forget() { awaiting_ = 0; }

    std::optional<Seconds> askedAt;  // when the last command went out

private:
    // Where the look for the RPRT line of the answer still coming goes on: the bytes given are
    // that answer's again, with more behind (their front is the one remembered).
    CutResult Resume(std::string_view bytes) const {
        if (partial_.checked == 0 || bytes.size() < partial_.scanned || !bytes.starts_with(front_))
            return {};
        return partial_;
    }
    void Remember(std::string_view bytes, const CutResult& cut) {
        partial_ = cut.cut == Cut::Partial ? cut : CutResult{};
        front_ = partial_.checked > 0 ? std::string(bytes.substr(0, kRememberedFront)) : "";
    }

    Piece Read(const Answer& answer) {
        Piece piece;
        const std::string name =
            answer.name.empty() ? "the server" : Bounded(answer.name, kLongestValue);
        if (answer.code != 0) {
            // A read the radio lacks or a value it refuses comes from a radio the server
            // reached; only a failing link to it is the server refusing for its radio.
            piece.kind =
                rigctld::RadioReached(answer.code) ? PieceKind::Unread : PieceKind::Refusal;
            piece.note = name + ": " + RigctldErrorText(answer.code);
            return piece;
        }
        piece.kind = PieceKind::Reply;
        if (answer.name == rigctld::kGetFrequency) {
            const std::optional<std::string_view> value = answer.Value(rigctld::kFrequencyKey);
            piece.hertz = value ? Hertz(*value) : std::nullopt;
            if (!piece.hertz) return Unread(name);
            piece.note = "frequency: " + family::Megahertz(*piece.hertz);
        } else if (answer.name == rigctld::kGetMode) {
            const std::optional<std::string_view> mode = answer.Value(rigctld::kModeKey);
            if (!mode) return Unread(name);
            piece.modeReported = true;
            piece.mode = ModeNamed(*mode);
            piece.note = "mode: " + Bounded(*mode, kLongestValue);
            if (!piece.mode) piece.note += " (a mode without a name here)";
        } else if (answer.name == rigctld::kGetTransmit) {
            const std::optional<std::string_view> ptt = answer.Value(rigctld::kTransmitKey);
            const std::optional<int> keyed = ptt ? ResultCode(*ptt) : std::nullopt;
            if (!keyed || *keyed < 0) return Unread(name);
            // 1 is keyed by command, 2 and 3 by the microphone's or the data input's PTT.
            piece.transmitting = *keyed != 0;
            piece.note = *keyed != 0 ? "transmit state: transmitting" : "transmit state: receive";
        } else if (answer.name == rigctld::kCapabilities) {
            // The server's own table: it says nothing of whether the radio answers.
            piece.kind = PieceKind::Unread;
            const auto model = answer.Value(rigctld::kModelKey).value_or("");
            const auto maker = answer.Value(rigctld::kMakerKey).value_or("");
            const auto backend = answer.Value(rigctld::kBackendKey).value_or("");
            piece.identity =
                Bounded(Trim(std::string(maker) + " " + std::string(model)), 2 * kLongestValue);
            if (!backend.empty())
                piece.identity += ", backend version " + Bounded(backend, kLongestValue);
            piece.note = "the server's radio: " + piece.identity;
        } else if (answer.name == rigctld::kInfo) {
            piece.note = "the radio's information: " +
                         Bounded(answer.Value(rigctld::kInfoKey).value_or(""), kLongestValue);
        } else if (answer.name.starts_with("set_")) {
            piece.note = name + ": done";
        } else {
            return Unread(name);
        }
        return piece;
    }

    static Piece Unread(const std::string& name) {
        Piece piece;
        piece.kind = PieceKind::Unread;
        piece.note = name + " in a form this program does not read";
        return piece;
    }

    int awaiting_ = 0;
    CutResult partial_;  // how far the answer still coming was looked at
    std::string front_;
};

// The link's reader, kept with the session so that it knows what is still owed from poll to poll.
RigctldReader& ReaderOf(SessionState& state) {
    if (auto* reader = dynamic_cast<RigctldReader*>(state.reader.get())) return *reader;
    auto reader = std::make_shared<RigctldReader>();
    state.reader = reader;
    return *reader;
}

using AnswerSeen = std::function<void(const Piece&, std::string_view)>;

// Moves the waiting bytes into the receive buffer and takes every whole answer out of it.
void ReceivePass(SessionState& state, CommPort& port, RigctldReader& reader,
                 const AnswerSeen& seen = {}) {
    if (state.parsingReplies) return;
    family::ParsingGuard guard(state.parsingReplies);
    family::TakeWaiting(state, port);
    std::string& buffer = state.received;
    std::size_t start = 0;
    while (start < buffer.size()) {
        const std::string_view rest = std::string_view(buffer).substr(start);
        // An answer still coming is waited for, up to the longest there is.
        Piece piece = reader.Next(rest, false);
        if (piece.length == 0 && rest.size() > kLongestAnswer) piece = reader.Next(rest, true);
        if (piece.length == 0) break;
        family::Apply(state, piece);
        if (seen) seen(piece, rest.substr(0, piece.length));
        start += piece.length;
    }
    buffer.erase(0, start);
}

void Send(SessionState& state, Platform& platform, std::string_view command) {
    RigctldReader& reader = ReaderOf(state);
    SkipOnFailure([&] { platform.port.Write(std::string(command)); });
    reader.Sent(command);
    SkipOnFailure([&] { reader.askedAt = platform.clock.Now(); });
    SkipOnFailure([&] { platform.pause.Sleep(5); });
    ReceivePass(state, platform.port, reader);
}

class Rigctld final : public RadioFamily {
public:
    std::string_view Name() const override { return "rigctld"; }
    Protocol Id() const override { return Protocol::Rigctld; }

    bool FlowControl(int) const override { return false; }
    const FamilyRecord& Record() const override { return record_; }

    std::optional<Seconds> PollPeriod() const override { return kPollPeriod; }
    std::optional<Seconds> AnswerPatience() const override { return kAnswerPatience; }

    void Poll(SessionState& state, Platform& platform) const override {
        RigctldReader& reader = ReaderOf(state);
        ReceivePass(state, platform.port, reader);
        Seconds now{0};
        if (!SkipOnFailure([&] { now = platform.clock.Now(); })) return;
        if (reader.Awaiting() > 0 && reader.askedAt && now - *reader.askedAt < kAnswerPatience)
            return;
        reader.Forget();
        reader.askedAt = now;
        Send(state, platform,
             std::string(rigctld::kReadFrequency) + std::string(rigctld::kReadMode));
    }

    // The server's account of the radio it serves: the doctor names the model, and a wrong -m
    // shows at once.
    void ReadAtOpen(SessionState& state, Platform& platform) const override {
        Send(state, platform, rigctld::kReadCapabilities);
    }

    void Receive(SessionState& state, CommPort& port) const override {
        ReceivePass(state, port, ReaderOf(state));
    }

    // The same 10 Hz step the radios' commands carry, in hertz: F 14074000
    void SetFrequency(SessionState& state, Platform& platform, std::int64_t hertz) const override {
        const std::int64_t sent = 10 * family::SetFrequencyTens(hertz);
        Send(state, platform, std::string(rigctld::kSetFrequency) + std::to_string(sent) + "\n");
    }

    void SetMode(SessionState& state, Platform& platform, ModeIndex mode,
                 bool reversed) const override {
        std::optional<std::string_view> name;
        if (reversed) name = Lookup(rigctld::kSentReverseModes, mode);
        if (!name) name = Lookup(rigctld::kSentModes, mode);
        // A list position without a name has no mode of the server's either.
        if (!name) return;
        Send(state, platform,
             std::string(rigctld::kSetMode) + std::string(*name) +
                 std::string(rigctld::kKeepPassband) + "\n");
    }

    std::optional<bool> ReadTransmitting(SessionState& state, Platform& platform) const override {
        RigctldReader& reader = ReaderOf(state);
        ReceivePass(state, platform.port, reader);
        if (!SkipOnFailure([&] { platform.port.Write(std::string(rigctld::kReadTransmit)); }))
            return std::nullopt;
        reader.Sent(rigctld::kReadTransmit);
        std::optional<bool> said;
        bool answered = false;
        const AnswerSeen seen = [&](const Piece& piece, std::string_view bytes) {
            if (answered || !bytes.starts_with(std::string(rigctld::kGetTransmit) + ":")) return;
            answered = true;
            said = piece.transmitting;
        };
        family::UntilAnswered(platform, [&] {
            ReceivePass(state, platform.port, reader, seen);
            return answered;
        });
        return said;
    }

    void KeyByCommand(SessionState& state, Platform& platform, bool on) const override {
        Send(state, platform, on ? rigctld::kTransmit : rigctld::kReceive);
    }

    std::string UnkeyBytes(const SessionState&) const override {
        return std::string(rigctld::kReceive);
    }

    std::unique_ptr<LineReader> Reader(std::string_view) const override {
        return std::make_unique<RigctldReader>();
    }

    std::optional<std::size_t> Recognise(std::string_view bytes) const override {
        Answer answer;
        if (CutAnswer(bytes, answer).cut != Cut::Whole) return std::nullopt;
        return answer.length;
    }

    // Text as it is, with the line ends that frame the commands shown as \n. A long answer (the
    // capability list runs to some ten thousand characters) shows its start and its result.
    std::string ShowBytes(std::string_view bytes) const override {
        if (bytes.size() <= kLongestShown) return ShowText(bytes);
        const std::size_t lastLine = bytes.substr(0, bytes.size() - 1).rfind('\n') + 1;
        const std::size_t tail = std::min(bytes.size() - lastLine, kShownTail);
        return ShowText(bytes.substr(0, kLongestShown - kShownTail)) + "..." +
               ShowText(bytes.substr(bytes.size() - tail)) + " (" + std::to_string(bytes.size()) +
               " bytes)";
    }

    std::string MenuAdvice(const std::string&, const std::string&) const override {
        return "On the computer that runs rigctld, check its -m model, -r device and -s speed "
               "against the radio, and that the radio is on.";
    }

    std::optional<Identity> Identify(std::string_view, std::string_view) const override {
        return std::nullopt;
    }
    std::string Describe(const Identity& identity) const override {
        return identity.model.empty() ? "rigctld" : identity.model + " through rigctld";
    }

private:
    // Hamlib's rigctld: a server the port entry rigctld://host[:port] reaches. Its default port and
    // its options (-m, -r, -s, -t) from rigctld's own --help (Hamlib 4.5).
    const FamilyRecord record_ = [] {
        FamilyRecord r;
        r.server = ServerFacts{
            .portKind = PortKind::Rigctld,
            .scheme = "rigctld://",
            .defaultPort = kRigctldPort,
            .processName = "rigctld",
            .startAdvice =
                "Start rigctld there with the radio's model, port and speed, for example "
                "rigctld -m 3073 -r /dev/ttyUSB0 -s 19200 (rigctl -l lists the models); it "
                "listens on port 4532 unless started with -t.",
            .setupAdvice =
                "Check rigctld's radio model (-m), port (-r) and speed (-s), and that "
                "the radio is on.",
            .portRemark = "a rigctld rig-sharing server; it sets the radio's line itself",
            .options = rigctld::kOptions,
            .abbreviatedOptions = true,
            .addressOption = "listen-addr",
            .portOption = "port",
            // WSJT-X ships its own build as rigctld-wsjtx; it takes the same options.
            .renamedBuilds = true};
        r.transmitRead = true;
        return r;
    }();
};

}  // namespace

std::string RigctldErrorText(int code) {
    std::string text = std::string(rigctld::kResult) + std::to_string(code);
    if (const auto words = Lookup(rigctld::kErrors, code)) text += ": " + std::string(*words);
    return text;
}

const RadioFamily& RigctldFamily() {
    static const Rigctld family;
    return family;
}

}  // namespace cat
