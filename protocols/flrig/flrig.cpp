#include "protocols/flrig/flrig.h"

#include <algorithm>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/failure_policy.h"
#include "core/lookup.h"
#include "core/text.h"
#include "protocols/common/family_support.h"
#include "protocols/flrig/flrig_codes.h"
#include "protocols/flrig/xml_rpc.h"

namespace cat {

namespace {

constexpr Seconds kPollPeriod{0.25};

// A call unanswered this long is given up: the next goes out, and an answer that still comes is
// read by what it carries. flrig answers from its own record within milliseconds.
constexpr Seconds kAnswerLimit{2.0};

// One poll asks for the frequency, then, once that is answered, the mode.
constexpr int kCallsPerPoll = 2;

// Noise is cut in pieces of at most this much, each ending where an answer may start.
constexpr std::size_t kLongestNoise = 64;

// Beyond this much waiting without a whole answer in it, the receive buffer holds no answer.
constexpr std::size_t kBufferLimit = 128 * 1024;

// Calls whose answers are awaited; more are never out at once (one call at a time).
constexpr std::size_t kAwaitedLimit = 8;

std::string MethodName(std::string_view method) {
    if (const auto name = Lookup(flrig::kMethodNames, method)) return std::string(*name);
    return std::string(method);
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// flrig names no transceiver with an empty answer, or NONE before one was ever chosen.
bool NamesNoTransceiver(std::string_view name) {
    name = Trimmed(name);
    return name.empty() || name == "NONE";
}

// "14070000" (flrig sends whole hertz as a string); "14070000.0" from a server that sends the
// double it was given. Nothing for anything else.
std::optional<std::int64_t> HertzOf(std::string_view text) {
    text = Trimmed(text);
    const std::size_t point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    if (whole.empty() || whole.size() > 12 ||
        !std::all_of(whole.begin(), whole.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    std::int64_t hertz = 0;
    for (const char c : whole) hertz = hertz * 10 + (c - '0');
    if (point != std::string_view::npos) {
        const std::string_view fraction = text.substr(point + 1);
        if (!std::all_of(fraction.begin(), fraction.end(),
                         [](char c) { return c >= '0' && c <= '9'; }))
            return std::nullopt;
        if (!fraction.empty() && fraction.front() >= '5') ++hertz;
    }
    return hertz;
}

// A few words of a value for a note, never a whole table, with a count of what is left out.
std::string Shortened(std::string_view text) {
    constexpr std::size_t kShown = 40;
    return Bounded(text, kShown);
}

Piece Noted(PieceKind kind, std::string note) {
    Piece piece;
    piece.kind = kind;
    piece.note = std::move(note);
    return piece;
}

class FlrigReader final : public LineReader {
public:
    std::string Sent(std::string_view bytes) override {
        const std::string method = flrig::MethodOf(bytes);
        if (method.empty()) return "not a call of flrig's";
        awaiting_.push_back(method);
        if (awaiting_.size() > kAwaitedLimit) awaiting_.pop_front();
        const std::string param = flrig::FirstParamOf(bytes);
        if (method == flrig::kSetFrequency) {
            if (const auto hertz = HertzOf(param))
                return "set frequency to " + family::Megahertz(*hertz);
        } else if (method == flrig::kSetMode) {
            return "set mode " + Shortened(param);
        } else if (method == flrig::kSetTransmitting) {
            return param == "0" ? "receive (PTT off)" : "transmit (PTT on)";
        }
        return MethodName(method);
    }

    Piece Next(std::string_view bytes, bool final) override {
        const flrig::HttpCut cut = flrig::CutHttpAnswer(bytes);
        if (cut.kind == flrig::HttpCut::Kind::Partial && !final) return {};
        if (cut.kind != flrig::HttpCut::Kind::Whole) {
            Piece piece = Noted(PieceKind::Noise, cut.kind == flrig::HttpCut::Kind::Partial
                                                      ? "an answer cut short"
                                                      : "not an answer of flrig's");
            piece.length =
                cut.length > 0 ? cut.length : flrig::NoiseBeforeAnswer(bytes, kLongestNoise);
            return piece;
        }
        // Answers come in the order of the calls, one each.
        std::string method;
        if (!awaiting_.empty()) {
            method = std::move(awaiting_.front());
            awaiting_.pop_front();
        }
        lastAnswered_ = method;
        const auto answer = flrig::ParseAnswer(cut.body);
        Piece piece = answer ? Read(method, *answer)
                             : Noted(PieceKind::Noise, "an HTTP answer (status " +
                                                           std::to_string(cut.status) +
                                                           ") without XML-RPC in it");
        piece.length = cut.length;
        return piece;
    }

    bool Awaiting() const { return !awaiting_.empty(); }
    void GiveUpAwaited() { awaiting_.clear(); }
    // The method whose answer the last whole answer was; empty for one nobody asked for.
    const std::string& LastAnswered() const { return lastAnswered_; }
    bool NoTransceiver() const { return noTransceiver_; }

    // The name of `mode` in the radio's table as flrig sent it, or the usual one.
    std::string_view ModeNameFor(ModeIndex mode, bool reversed) const {
        const flrig::SentMode* row = nullptr;
        for (const flrig::SentMode& candidate : flrig::kSentModes) {
            if (candidate.mode == mode && candidate.reversed == reversed) row = &candidate;
        }
        if (row == nullptr && reversed) return ModeNameFor(mode, false);
        if (row == nullptr) return {};
        for (const std::string_view name : row->names) {
            if (!name.empty() && std::find(modes_.begin(), modes_.end(), name) != modes_.end())
                return name;
        }
        return row->names.front();
    }

    // The link's turn: calls to make before the poll's own, when the last went out, and which of
    // the poll's two reads is next.
    std::deque<std::string_view> queued;
    std::optional<Seconds> sentAt;
    bool modeNext = false;

private:
    Piece ReadFrequency(std::string_view text) const {
        const auto hertz = HertzOf(text);
        if (!hertz)
            return Noted(PieceKind::Unread, "frequency in a form this program does not read");
        // Without a transceiver flrig answers its own starting frequency, which no radio sent.
        if (noTransceiver_)
            return Noted(PieceKind::Refusal,
                         "flrig has no transceiver (" + family::Megahertz(*hertz) + " is its own)");
        Piece piece = Noted(PieceKind::Reply, "frequency: " + family::Megahertz(*hertz));
        piece.hertz = hertz;
        return piece;
    }

    Piece ReadMode(std::string_view text) const {
        if (text.empty()) return Noted(PieceKind::Unread, "an empty mode");
        if (noTransceiver_)
            return Noted(PieceKind::Refusal,
                         "flrig has no transceiver (" + Shortened(text) + " is its own)");
        Piece piece = Noted(PieceKind::Reply, "mode: " + Shortened(text));
        piece.modeReported = true;
        piece.mode = Lookup(flrig::kReceivedModes, text);
        if (!piece.mode)
            piece.note += " (a mode without a name here)";
        else if (ModeName(*piece.mode) != text)
            piece.note += " (" + std::string(ModeName(*piece.mode)) + ")";
        return piece;
    }

    Piece Read(const std::string& method, const flrig::RpcAnswer& answer) {
        if (answer.fault) {
            return Noted(
                PieceKind::Refusal,
                (method.empty() ? "flrig refuses a call" : "flrig refuses " + MethodName(method)) +
                    ": " + Shortened(answer.faultText));
        }
        const std::string_view text = Trimmed(answer.text);
        if (method == flrig::kReadTransceiver) {
            noTransceiver_ = NamesNoTransceiver(text);
            if (noTransceiver_) return Noted(PieceKind::Refusal, "flrig has no transceiver");
            transceiver_ = Shortened(text);
            // flrig's own settings: they say nothing of whether the radio answers.
            return Noted(PieceKind::Unread, "transceiver: " + transceiver_);
        }
        if (method == flrig::kReadVersion) {
            // The server and its radio in one line, for the doctor's report.
            std::string note = "flrig " + Shortened(text);
            if (noTransceiver_)
                note += " without a transceiver";
            else if (!transceiver_.empty())
                note += " with " + transceiver_;
            Piece piece = Noted(PieceKind::Unread, note);
            piece.identity = note;
            return piece;
        }
        if (method == flrig::kReadModes) {
            if (!answer.array)
                return Noted(noTransceiver_ ? PieceKind::Refusal : PieceKind::Unread,
                             noTransceiver_ ? "flrig has no transceiver" : "no mode table");
            modes_ = answer.items;
            std::string names;
            for (const std::string& name : modes_) names += (names.empty() ? "" : " ") + name;
            return Noted(PieceKind::Reply, "mode table: " + Shortened(names));
        }
        if (method == flrig::kReadFrequency) return ReadFrequency(text);
        if (method == flrig::kReadMode) return ReadMode(text);
        if (method == flrig::kReadTransmitting) {
            if (noTransceiver_) return Noted(PieceKind::Refusal, "flrig has no transceiver");
            if (text != "0" && text != "1")
                return Noted(PieceKind::Unread,
                             "transmit state in a form this program does not read");
            Piece piece = Noted(PieceKind::Reply, text == "1" ? "transmitting" : "receiving");
            piece.transmitting = text == "1";
            return piece;
        }
        if (method == flrig::kSetFrequency || method == flrig::kSetMode ||
            method == flrig::kSetTransmitting) {
            // flrig takes a set without a transceiver, and nothing changes.
            if (noTransceiver_) return Noted(PieceKind::Refusal, "flrig has no transceiver");
            return Noted(PieceKind::Reply, MethodName(method) + ": taken");
        }
        return Noted(PieceKind::Unread,
                     (method.empty() ? "an answer to nothing asked: " : MethodName(method) + ": ") +
                         Shortened(answer.array ? "(a table)" : text));
    }

    std::deque<std::string> awaiting_;
    std::string lastAnswered_;
    std::string transceiver_;
    bool noTransceiver_ = false;
    std::vector<std::string> modes_;
};

// The link's reader, kept with the session: it pairs each answer with its call, and knows what
// flrig said of its transceiver.
FlrigReader& ReaderOf(SessionState& state) {
    if (auto* reader = dynamic_cast<FlrigReader*>(state.reader.get())) return *reader;
    auto reader = std::make_shared<FlrigReader>();
    state.reader = reader;
    return *reader;
}

using AnswerSeen = std::function<void(const Piece&)>;

// Moves the waiting bytes into the receive buffer and takes each whole answer into the session.
void ReceiveAnswers(SessionState& state, CommPort& port, FlrigReader& reader,
                    const AnswerSeen& seen = {}) {
    // A receive notification inside a modal box leaves the buffer to the pass it interrupted.
    if (state.parsingReplies) return;
    family::ParsingGuard guard(state.parsingReplies);
    family::TakeWaiting(state, port);
    std::string& buffer = state.received;
    std::size_t start = 0;
    while (start < buffer.size()) {
        const Piece piece = reader.Next(std::string_view(buffer).substr(start), false);
        if (piece.length == 0) break;
        family::Apply(state, piece);
        if (seen) seen(piece);
        start += piece.length;
    }
    buffer.erase(0, start);
    if (buffer.size() > kBufferLimit) buffer.clear();
}

// Whether the next call may go: flrig has answered the last, or given up on it.
bool ReadyForCall(Platform& platform, FlrigReader& reader) {
    if (!reader.Awaiting()) return true;
    Seconds now{0};
    if (!SkipOnFailure([&] { now = platform.clock.Now(); })) return false;
    if (reader.sentAt && now - *reader.sentAt <= kAnswerLimit) return false;
    reader.GiveUpAwaited();
    return true;
}

// Writes one call, pauses 5 ms and takes in what came.
void Call(SessionState& state, Platform& platform, FlrigReader& reader,
          const std::string& request) {
    if (!SkipOnFailure([&] { platform.port.Write(request); })) return;
    reader.Sent(request);
    SkipOnFailure([&] { reader.sentAt = platform.clock.Now(); });
    SkipOnFailure([&] { platform.pause.Sleep(5); });
    ReceiveAnswers(state, platform.port, reader);
}

// Takes in answers until the last call is answered, at most the transmit read's time; an operator's
// set waits so that flrig reads it on its own.
void AwaitTurn(SessionState& state, Platform& platform, FlrigReader& reader) {
    family::UntilAnswered(platform, [&] {
        ReceiveAnswers(state, platform.port, reader);
        return !reader.Awaiting();
    });
}

void OperatorCall(SessionState& state, Platform& platform, const std::string& request) {
    FlrigReader& reader = ReaderOf(state);
    AwaitTurn(state, platform, reader);
    Call(state, platform, reader, request);
}

std::string_view NextRead(FlrigReader& reader) {
    if (!reader.queued.empty()) {
        const std::string_view method = reader.queued.front();
        reader.queued.pop_front();
        return method;
    }
    // flrig's frequency and mode without a transceiver are its own: ask for the radio instead,
    // and read again once flrig has one.
    if (reader.NoTransceiver()) return flrig::kReadTransceiver;
    reader.modeNext = !reader.modeNext;
    return reader.modeNext ? flrig::kReadFrequency : flrig::kReadMode;
}

std::string PttRequest(bool on) {
    return flrig::Request(flrig::kSetTransmitting, flrig::Param("i4", on ? "1" : "0"));
}

class Flrig final : public RadioFamily {
public:
    std::string_view Name() const override { return "flrig"; }
    Protocol Id() const override { return Protocol::Flrig; }

    bool FlowControl(int) const override { return false; }
    const FamilyRecord& Record() const override { return record_; }

    std::optional<Seconds> PollPeriod() const override { return kPollPeriod; }
    std::optional<Seconds> AnswerPatience() const override { return kAnswerLimit; }

    void Poll(SessionState& state, Platform& platform) const override {
        FlrigReader& reader = ReaderOf(state);
        ReceiveAnswers(state, platform.port, reader);
        for (int call = 0; call < kCallsPerPoll; ++call) {
            if (!ReadyForCall(platform, reader)) return;
            const std::string_view method = NextRead(reader);
            Call(state, platform, reader, flrig::Request(method));
            // Asking flrig for its transceiver once a poll is enough.
            if (method == flrig::kReadTransceiver && reader.NoTransceiver() &&
                reader.queued.empty())
                return;
        }
    }

    // Whether flrig has a transceiver, at once: without one its other answers are its own. Then
    // its version, and the mode table, so that a set uses the radio's own names; the poll makes
    // the calls after the first, one at a time.
    void ReadAtOpen(SessionState& state, Platform& platform) const override {
        FlrigReader& reader = ReaderOf(state);
        reader.queued = {flrig::kReadVersion, flrig::kReadModes};
        if (ReadyForCall(platform, reader))
            Call(state, platform, reader, flrig::Request(flrig::kReadTransceiver));
    }

    void Receive(SessionState& state, CommPort& port) const override {
        ReceiveAnswers(state, port, ReaderOf(state));
    }

    std::optional<bool> ReadTransmitting(SessionState& state, Platform& platform) const override {
        FlrigReader& reader = ReaderOf(state);
        bool sent = false;
        bool answered = false;
        std::optional<bool> said;
        const AnswerSeen seen = [&](const Piece& piece) {
            if (!sent || answered || reader.LastAnswered() != flrig::kReadTransmitting) return;
            answered = true;
            said = piece.transmitting;
        };
        family::UntilAnswered(platform, [&] {
            ReceiveAnswers(state, platform.port, reader, seen);
            if (!sent && !reader.Awaiting()) {
                const std::string request = flrig::Request(flrig::kReadTransmitting);
                if (!SkipOnFailure([&] { platform.port.Write(request); })) return true;
                reader.Sent(request);
                SkipOnFailure([&] { reader.sentAt = platform.clock.Now(); });
                sent = true;
                ReceiveAnswers(state, platform.port, reader, seen);
            }
            return answered;
        });
        return said;
    }

    void KeyByCommand(SessionState& state, Platform& platform, bool on) const override {
        OperatorCall(state, platform, PttRequest(on));
    }

    std::string UnkeyBytes(const SessionState&) const override { return PttRequest(false); }

    void SetFrequency(SessionState& state, Platform& platform, std::int64_t hertz) const override {
        // flrig takes the frequency as a double of hertz, on the radios' 10 Hz step.
        const std::int64_t sent = 10 * family::SetFrequencyTens(hertz);
        OperatorCall(state, platform,
                     flrig::Request(flrig::kSetFrequency,
                                    flrig::Param("double", std::to_string(sent) + ".0")));
    }

    void SetMode(SessionState& state, Platform& platform, ModeIndex mode,
                 bool reversed) const override {
        // A list position without a name has no name in flrig's tables either: nothing is sent.
        const std::string_view name = ReaderOf(state).ModeNameFor(mode, reversed);
        if (name.empty()) return;
        OperatorCall(state, platform,
                     flrig::Request(flrig::kSetMode, flrig::Param("string", name)));
    }

    std::unique_ptr<LineReader> Reader(std::string_view) const override {
        return std::make_unique<FlrigReader>();
    }

    std::optional<std::size_t> Recognise(std::string_view bytes) const override {
        const flrig::HttpCut cut = flrig::CutHttpAnswer(bytes);
        if (cut.kind != flrig::HttpCut::Kind::Whole || !flrig::ParseAnswer(cut.body))
            return std::nullopt;
        return cut.length;
    }

    // HTTP's line ends and the tab before a value would fill the monitor with escapes: each is
    // shown as one blank.
    std::string ShowBytes(std::string_view bytes) const override {
        std::string text;
        for (std::size_t at = 0; at < bytes.size(); ++at) {
            const char c = bytes[at];
            if (c == '\r' && at + 1 < bytes.size() && bytes[at + 1] == '\n') continue;
            text.push_back(c == '\n' || c == '\t' ? ' ' : c);
        }
        return family::TextBytes(text);
    }

    std::string MenuAdvice(const std::string&, const std::string&) const override {
        return "In flrig, check that the transceiver is chosen and connected (Config, Setup, "
               "Transceiver) and that its XML-RPC port is the one given here.";
    }

    std::optional<Identity> Identify(std::string_view, std::string_view) const override {
        return std::nullopt;
    }

    std::string Describe(const Identity& identity) const override {
        return identity.model.empty() ? "flrig" : "flrig with " + identity.model;
    }

private:
    // flrig's XML-RPC server, reached by flrig://host[:port]; 12345 is its own default port.
    const FamilyRecord record_ = [] {
        FamilyRecord r;
        r.server = ServerFacts{
            .portKind = PortKind::Flrig,
            .scheme = "flrig://",
            .defaultPort = kFlrigPort,
            .processName = "flrig",
            .startAdvice =
                "Start flrig there with its transceiver set up; it serves on port 12345 "
                "unless set otherwise.",
            .setupAdvice =
                "Check the transceiver, port and speed in flrig's own setup, and that "
                "the radio is on.",
            .portRemark = "an flrig rig-sharing server; it sets the radio's line itself",
            .options = flrig::kOptions,
            .abbreviatedOptions = false,
            .addressOption = "xmlrpc-server-address",
            .portOption = "xmlrpc-server-port",
            .renamedBuilds = false};
        r.transmitRead = true;
        return r;
    }();
};

}  // namespace

const RadioFamily& FlrigFamily() {
    static const Flrig family;
    return family;
}

}  // namespace cat
