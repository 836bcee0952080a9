#include "doctor/line_analyzer.h"

#include <algorithm>

#include "protocols/families.h"

namespace cat::doctor {

namespace {

UnitKind KindOf(PieceKind kind) {
    switch (kind) {
        case PieceKind::Echo:
            return UnitKind::Echo;
        case PieceKind::Reply:
            return UnitKind::Reply;
        case PieceKind::Refusal:
            return UnitKind::Refusal;
        case PieceKind::OtherAddress:
            return UnitKind::OtherAddress;
        case PieceKind::Unread:
            return UnitKind::Unread;
        case PieceKind::Noise:
            break;
    }
    return UnitKind::Noise;
}

// A unit longer than a kept one keeps its start and its end (where a server's answer says how it
// ended), and says how much of its middle went: a flood costs bounded memory per unit.
void KeepBounded(LineUnit& unit, std::size_t most) {
    if (unit.bytes.size() <= most) return;
    const std::size_t tail = most / 16;
    const std::size_t dropped = unit.bytes.size() - most;
    unit.note += (unit.note.empty() ? "" : " ") + std::string("(") +
                 std::to_string(unit.bytes.size()) + " bytes; " + std::to_string(dropped) +
                 " of the middle not kept)";
    unit.bytes.erase(most - tail, dropped);
}

}  // namespace

LineAnalyzer::LineAnalyzer(Protocol protocol, std::string_view radioAddress)
    : family_(FamilyFor(protocol)),
      reader_(family_ ? family_->Reader(radioAddress) : nullptr),
      settleSeconds_(family_ && family_->AnswerPatience()
                         ? std::max(kSettleSeconds, family_->AnswerPatience()->count())
                         : kSettleSeconds) {}

namespace {

// What one unit adds to the count of the line.
void Count(LineSummary& s, const LineUnit& unit, const Piece* piece) {
    switch (unit.kind) {
        case UnitKind::Command:
            if (!s.firstCommand) s.firstCommand = unit.at;
            if (!s.firstUnanswered) s.firstUnanswered = unit.at;
            if (!s.firstUnheard) s.firstUnheard = unit.at;
            break;
        case UnitKind::Reply: {
            // A reply starts the count of what came back afresh.
            LineSummary fresh;
            fresh.firstCommand = s.firstCommand;
            fresh.lastReply = unit.at;
            fresh.lastHeard = unit.at;
            fresh.lastReading = piece && piece->hertz ? unit.at : s.lastReading;
            fresh.identity = std::move(s.identity);
            s = std::move(fresh);
            break;
        }
        case UnitKind::Echo:
            ++s.echo;
            break;
        case UnitKind::Refusal:
            ++s.refusals;
            s.sample = unit.bytes;
            s.sampleNote = unit.note;
            break;
        case UnitKind::Noise:
            ++s.noise;
            break;
        case UnitKind::Unread:
            ++s.unread;
            s.sample = unit.bytes;
            s.sampleNote = unit.note;
            break;
        case UnitKind::OtherAddress:
            ++s.otherAddresses[unit.address];
            break;
        case UnitKind::OtherProtocol:
            ++s.otherProtocols[unit.otherProtocol];
            s.sample = unit.bytes;
            s.sampleNote = unit.note;
            break;
    }
}

}  // namespace

void LineAnalyzer::Add(LineUnit unit, const Piece* piece) {
    bytes_ += unit.bytes.size();
    KeepBounded(unit, kKeptBytes);
    LineSummary& s = summary_;
    replyMayStart_ = unit.kind != UnitKind::Noise && unit.kind != UnitKind::Unread;
    Count(s, unit, piece);
    if (piece && !piece->identity.empty()) s.identity = piece->identity;
    if (unit.kind != UnitKind::Command && unit.kind != UnitKind::Echo &&
        unit.kind != UnitKind::Noise && unit.kind != UnitKind::Reply) {
        s.lastHeard = unit.at;
        s.firstUnheard.reset();
    }
    // Noise in a row is one unit up to a reply's length: a flood cut in small pieces (five bytes
    // at a time for a radio that frames by count) costs few units and reads as what it is.
    if (unit.kind == UnitKind::Noise && !units_.empty() && mergeNoise_ &&
        units_.back().kind == UnitKind::Noise && units_.back().at == unit.at &&
        units_.back().bytes.size() + unit.bytes.size() <= kLongestNoise) {
        units_.back().bytes += unit.bytes;
        return;
    }
    mergeNoise_ = unit.kind == UnitKind::Noise;
    units_.push_back(std::move(unit));
    ++total_;
    if (units_.size() > kKeptUnits) units_.pop_front();
}

void LineAnalyzer::Sent(double at, std::string_view bytes) {
    LineUnit unit{at, UnitKind::Command, std::string(bytes), {}, -1, Protocol::None};
    if (reader_) unit.note = reader_->Sent(bytes);
    sent_.emplace_back(bytes);
    if (sent_.size() > kEchoesAwaited) sent_.pop_front();
    Add(std::move(unit));
}

void LineAnalyzer::NothingAsked() {
    summary_.firstUnanswered.reset();
    summary_.firstUnheard.reset();
}

std::size_t LineAnalyzer::TakeEcho(std::string_view bytes, double at) {
    for (auto it = sent_.begin(); it != sent_.end(); ++it) {
        if (it->empty() || !bytes.starts_with(*it)) continue;
        const std::size_t length = it->size();
        Add({at, UnitKind::Echo, std::string(bytes.substr(0, length)), "echo of our bytes", -1,
             Protocol::None});
        sent_.erase(it);
        return length;
    }
    return 0;
}

void LineAnalyzer::Received(double at, std::string_view bytes) {
    if (bytes.empty()) return;
    // After a pause the line starts afresh: what comes may be a reply whatever came before.
    if (pending_.empty() && at - lastReceived_ >= kPauseSeconds) replyMayStart_ = true;
    lastReceived_ = at;
    if (pending_.empty()) pendingSince_ = at;
    pending_.append(bytes);
    Cut(at, false);
}

void LineAnalyzer::Settle(double now) {
    if (!pending_.empty() && now - pendingSince_ >= settleSeconds_) Cut(now, true);
}

std::size_t LineAnalyzer::TakeForeign(std::string_view bytes, double at) {
    for (const RadioFamily* other : Families()) {
        if (other == family_) continue;
        const std::optional<std::size_t> length = other->Recognise(bytes);
        if (!length) continue;
        Add({at, UnitKind::OtherProtocol, std::string(bytes.substr(0, *length)),
             "a reply in the " + std::string(other->Name()) + " commands", -1, other->Id()});
        return *length;
    }
    return 0;
}

void LineAnalyzer::Cut(double at, bool final) {
    // The front is consumed by an offset and erased once: cutting stays linear in the bytes.
    std::size_t done = 0;
    while (done < pending_.size()) {
        const std::string_view rest = std::string_view(pending_).substr(done);
        if (!reader_) {
            Add({at, UnitKind::Noise, std::string(rest), "no protocol chosen", -1, Protocol::None});
            done = pending_.size();
            break;
        }
        Piece piece = reader_->Next(rest, final);
        // Inside noise, a reply is where a pause or a whole unit ends, as another family's reply
        // is: a flood holds every short reply's pattern somewhere, which no radio sent.
        if (!replyMayStart_ && piece.kind == PieceKind::Reply) {
            piece.kind = PieceKind::Noise;
            piece.hertz.reset();
            piece.modeReported = false;
        }
        // What the chosen family cannot read (or waits on) may be another family's reply.
        if (piece.length == 0 || piece.kind == PieceKind::Noise ||
            piece.kind == PieceKind::Unread) {
            // Our own bytes back that the family does not know as its own (another family's
            // read, sent before the link's first command), or another family's reply.
            if (const std::size_t echo = TakeEcho(rest, at)) {
                done += echo;
                continue;
            }
            // Another family's reply starts where the line was quiet or a whole unit ended,
            // never inside noise: a flood holds every short pattern somewhere.
            if (const std::size_t foreign = replyMayStart_ ? TakeForeign(rest, at) : 0) {
                done += foreign;
                continue;
            }
        }
        if (piece.length == 0) break;
        Add({at, KindOf(piece.kind), std::string(rest.substr(0, piece.length)), piece.note,
             piece.address, Protocol::None},
            &piece);
        done += piece.length;
    }
    if (done == 0) return;
    pending_.erase(0, done);
    pendingSince_ = at;
}

}  // namespace cat::doctor
