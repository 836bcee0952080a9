#include "protocols/common/text_commands.h"

#include <algorithm>

#include "core/failure_policy.h"
#include "core/text.h"
#include "protocols/common/family_support.h"

namespace cat::text {

namespace {

// The longest run of received text kept waiting for its ";". A stream that never terminates a
// reply (wrong speed, another protocol on the line) would otherwise grow without end.
constexpr std::size_t kBufferLimit = 4096;

// Commands whose echo is still looked for; an interface echoes each once, soon.
constexpr std::size_t kEchoesAwaited = 8;

bool IsCapital(char c) { return c >= 'A' && c <= 'Z'; }

}  // namespace

bool AllDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::int64_t DigitsValue(std::string_view digits) {
    std::int64_t value = 0;
    for (const char c : digits) value = value * 10 + (c - '0');
    return value;
}

std::string IdentityNote(const std::optional<std::string_view>& model, std::string_view number) {
    return "identity: " + (model ? std::string(*model) : "number " + std::string(number));
}

Piece Unread(const std::string& name) {
    Piece piece;
    piece.kind = PieceKind::Unread;
    piece.note = name + " in a form this program does not read";
    return piece;
}

bool LooksLikeCommand(std::string_view text) {
    return text.size() >= 2 && IsCapital(text[0]) && IsCapital(text[1]) &&
           std::all_of(text.begin(), text.end(), family::Printable);
}

void Send(SessionState& state, Platform& platform, const std::string& command, LineReader& reader) {
    // Callers may pass the command with or without its ";"; it must not go out twice. Spaces
    // are trimmed only after joining, so a trailing space before an added ";" stays in.
    const std::string_view terminator = Trim(command).ends_with(';') ? "" : ";";
    const std::string text(Trim(command + std::string(terminator)));

    SkipOnFailure([&] { platform.port.Write(text); });
    reader.Sent(text);
    SkipOnFailure([&] { platform.pause.Sleep(5); });
    ReceivePass(state, platform.port, reader);
}

void ReceivePass(SessionState& state, CommPort& port, LineReader& reader, const ReplySeen& seen) {
    // A receive notification can arrive while a pass is running (inside a modal box); the inner
    // pass must leave the buffer to the outer one.
    if (state.parsingReplies) return;
    family::ParsingGuard guard(state.parsingReplies);

    family::TakeWaiting(state, port);
    std::string& buffer = state.received;

    // Complete replies are parsed before the size limit is applied, so a burst that arrives in
    // one piece (a busy line, a pass delayed by a modal box) loses none of its replies. Only
    // what ends in ";" is taken here: the rest may still be a reply in progress.
    std::size_t start = 0;
    while (start < buffer.size()) {
        const std::size_t end = buffer.find(';', start);
        if (end == std::string::npos) break;
        const std::string_view reply = std::string_view(buffer).substr(start, end + 1 - start);
        const Piece piece = reader.Next(reply, true);
        family::Apply(state, piece);
        if (seen) seen(piece, reply);
        start = end + 1;
    }
    buffer.erase(0, start);

    // What is left has no ";" in it; beyond the limit it is noise, not a reply in progress.
    if (buffer.size() > kBufferLimit) buffer.clear();
}

bool ReadAndAwait(SessionState& state, Platform& platform, const std::string& command,
                  LineReader& reader,
                  const std::function<bool(const Piece&, std::string_view)>& answers) {
    ReceivePass(state, platform.port, reader);
    if (!SkipOnFailure([&] { platform.port.Write(command); })) return false;
    reader.Sent(command);
    bool answered = false;
    const ReplySeen seen = [&](const Piece& piece, std::string_view reply) {
        if (!answered) answered = answers(piece, reply);
    };
    return family::UntilAnswered(platform, [&] {
        ReceivePass(state, platform.port, reader, seen);
        return answered;
    });
}

std::string TextReader::Sent(std::string_view bytes) {
    // One write may carry several commands (";ID;" is an empty one and ID): each may echo.
    std::string name;
    for (std::size_t start = 0; start < bytes.size();) {
        const std::size_t end = std::min(bytes.find(';', start), bytes.size());
        const std::string_view text = bytes.substr(start, end - start);
        start = end + 1;
        if (text.empty()) continue;
        // A read's answer looks like the set commands of its name (TX; is answered TX1;, as TX1;
        // keyed the radio): the echo of a set sent before the read has come by now, as an
        // interface echoes at once, and what comes now is the answer.
        std::erase_if(sent_, [&](const std::string& earlier) {
            return earlier.size() > text.size() && earlier.starts_with(text);
        });
        sent_.emplace_back(text);
        if (sent_.size() > kEchoesAwaited) sent_.pop_front();
        name += (name.empty() ? "" : ", ") + CommandName(text);
        // A frequency set carries its value in hertz in both text families: the monitor shows it
        // ("FA00007074000" is "frequency, set to 7.074000 MHz").
        if (text.size() > 2 && text.size() <= 13 &&
            (text.starts_with("FA") || text.starts_with("FB")) && AllDigits(text.substr(2)))
            name += ", set to " + family::Megahertz(DigitsValue(text.substr(2)));
    }
    return name;
}

Piece TextReader::Next(std::string_view bytes, bool final) {
    Piece piece;
    // Only a reply's length is searched: a flood without ";" is cut in bounded pieces, each found
    // in bounded time.
    const std::size_t end = bytes.substr(0, kLongestReply + 1).find(';');
    if (end == std::string_view::npos) {
        if (!final && bytes.size() <= kLongestReply) return piece;
        piece.length = std::min(bytes.size(), kLongestReply);
        piece.note = "no \";\" ends it";
        return piece;
    }
    piece.length = end + 1;
    const std::string_view text = bytes.substr(0, end);
    const auto echoed = std::find(sent_.begin(), sent_.end(), text);
    if (text == "?") {
        piece.kind = PieceKind::Refusal;
        piece.note = "the radio refuses the command";
    } else if (echoed != sent_.end()) {
        sent_.erase(echoed);
        piece.kind = PieceKind::Echo;
        piece.note = "echo of " + CommandName(text);
    } else if (LooksLikeCommand(text)) {
        Piece read = ReadReply(text);
        read.length = piece.length;
        return read;
    } else {
        piece.note = "forms no reply";
    }
    return piece;
}

}  // namespace cat::text
